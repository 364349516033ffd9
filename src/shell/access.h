#pragma once
// What a screen reader gets of the main window: the pages in both panes, and a name
// for every part of the window that says what it is.
class QToolButton;
class TForm1;

// Lets the engine give a screen reader each page's headings, lists and links. It builds
// them only while a screen reader has switched accessibility on; before the application
// object is made. QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY=0 keeps it off.
void enablePageAccessibility();

// Names of the panes and the status bar, and the Tab order from the navigation bar
// through the list pane to the page pane; at the end of the main window's layout.
void nameMainWindow(TForm1& form);

// A site button without a label still says which site it is.
void nameSiteButton(QToolButton* button, int site);

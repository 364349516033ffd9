#pragma once
// What a screen reader gets of the main window: a name for every part of the window
// that says what it is.
class QToolButton;
class TForm1;

// Names of the status bar's parts; at the end of the main window's layout.
void nameMainWindow(TForm1& form);

// A site button without a label still says which site it is.
void nameSiteButton(QToolButton* button, int site);

#pragma once
// What a screen reader and a keyboard get of the setup window: a name for every control
// that says what it is, and a button editor that holds the keyboard while it is open.
class QObject;
class QToolButton;
class TForm3;

// Names and descriptions of the setup window's controls; at the end of its layout.
void nameSetupControls(TForm3& form);

// A row's picture button carries the label it shows, and says which site button it is.
void namePictureButton(QToolButton* button, int row);

// Where the keyboard goes, once the layout is made: to the page tabs when the password
// opens the pages; into the button editor when it opens, where Tab and Shift+Tab go round
// its own controls, Enter confirms it and Escape cancels it; back to the picture button
// that opened it when it closes. The guide reads the window's controls: the window deletes
// it before they go.
QObject* guideKeyboard(TForm3& form);

#pragma once
// Creates the program's three windows in their order: the main window, the setup
// window (hidden), the About box (hidden).
#include "shell/pane.h"

#include <QStringList>

#include <memory>
#include <string>

class Dialogs;
class TAboutBox;
class TForm1;
class TForm3;
class Records;

struct ProgramWindows {
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TAboutBox> aboutBox;

    ProgramWindows();
    ProgramWindows(ProgramWindows&&) noexcept;
    ProgramWindows& operator=(ProgramWindows&& other) noexcept;
    ~ProgramWindows();
    // About box, then setup window, then main window: the setup window refers to it.
    void close();
};

// Names the application after the QApplication is made. Only the name: a display name
// would be added to every window's title ("Wenlow Explorer - Learn — Wenlow Explorer")
// and to every message box's caption ("Error — Wenlow Explorer").
void nameApplication();

ProgramWindows createWindows(Dialogs& dialogs, std::string programDir, QStringList arguments, PaneFactory panes,
                             Records* records = nullptr);

#pragma once
// The browser as the program runs it: the default profile closed by the rules of the main
// window, and the program's windows on it. Torn down in one order: first nothing asks the
// windows' rules or counts into them any more (the engine may still send a request while
// a page closes, and the main window's rules read the setup window), then the windows go,
// then the profile lets go of the engine and the proxy, all while the application object
// lives.
#include "shell/requestgate.h"
#include "shell/windows.h"

#include <QStringList>

#include <string>

class Dialogs;
class GateProxy;
class Records;
class TForm1;

class Browser {
public:
    // With records (which outlive the browser), the windows keep them and the request
    // gate's refusals are counted there.
    Browser(Dialogs& dialogs, std::string programDir, QStringList arguments, GateProxy* proxy,
            Records* records = nullptr);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    TForm1& form1() { return *windows_.form1; }
    ProgramWindows& windows() { return windows_; }
    ProtectedProfile& profile() { return profile_; }

private:
    TForm1* live_ = nullptr;  // the main window, while it may be asked
    ProtectedProfile profile_;
    ProgramWindows windows_;
};

#include "shell/windows.h"

#include "setup/form3.h"
#include "shell/about.h"
#include "shell/form1.h"

#include <QCoreApplication>

ProgramWindows::ProgramWindows() = default;
ProgramWindows::ProgramWindows(ProgramWindows&&) noexcept = default;
ProgramWindows::~ProgramWindows() { close(); }

ProgramWindows& ProgramWindows::operator=(ProgramWindows&& other) noexcept {
    close();
    form1 = std::move(other.form1);
    form3 = std::move(other.form3);
    aboutBox = std::move(other.aboutBox);
    return *this;
}

void ProgramWindows::close() {
    aboutBox.reset();
    form3.reset();
    form1.reset();
}

void nameApplication() { QCoreApplication::setApplicationName("Wenlow Explorer"); }

ProgramWindows createWindows(Dialogs& dialogs, std::string programDir, QStringList arguments, PaneFactory panes,
                             Records* records) {
    ProgramWindows w;
    w.form1 = std::make_unique<TForm1>(
        TForm1::Context{dialogs, programDir, std::move(arguments), std::move(panes), records});
    w.form3 = std::make_unique<TForm3>(*w.form1, dialogs, programDir);
    w.aboutBox = std::make_unique<TAboutBox>();
    w.form1->setSetupWindow(w.form3.get());
    w.form1->setAboutBox(w.aboutBox.get());
    return w;
}

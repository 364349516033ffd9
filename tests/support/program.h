#pragma once
// The program's windows on a temporary program folder, with scripted panes and
// recording dialogs.
#include "setup/form3.h"
#include "setup/predefmodel.h"
#include "shell/form1.h"
#include "shell/scriptedpane.h"
#include "shell/windows.h"
#include "support/recorder.h"
#include "support/tempdir.h"

#include <QLineEdit>
#include <gtest/gtest.h>

class ProgramTest : public ::testing::Test {
protected:
    ProgramFolder dir{true};
    RecordingDialogs dialogs;
    ProgramWindows windows;
    TForm1* form1 = nullptr;
    TForm3* form3 = nullptr;
    ScriptedPane* left = nullptr;
    ScriptedPane* right = nullptr;

    void create(QStringList arguments = {}) {
        windows = createWindows(dialogs, dir.path(), std::move(arguments),
                                [](QWidget* parent) -> BrowserPane* { return new ScriptedPane(parent); });
        form1 = windows.form1.get();
        form3 = windows.form3.get();
        left = static_cast<ScriptedPane*>(form1->WebBrowser1);
        right = static_cast<ScriptedPane*>(form1->WebBrowser2);
    }

    // Created and started as at the first activation.
    void start(QStringList arguments = {}) {
        create(std::move(arguments));
        form1->FormActivate();
    }

    // A setup.dat with all options set but the update time ("when pressed"), the given
    // verify and buttons lines, and addresses.
    void writeSetup(const std::string& verify, const std::string& buttons, const std::vector<std::string>& addresses,
                    const std::string& options = "11111101") {
        std::string s = "\r\n" + options + "\r\n\r\n" + verify + "\r\n" + buttons + "\r\n";
        for (const auto& a : addresses) s += a + "\r\n";
        dir.write("setup.dat", s);
    }

    // "Parent Setup" with the sample's password given: the pages open.
    void openSetup() {
        form1->Setup1Click();
        form3->Edit1->setText("parent");
        form3->Button4Click();
    }

    std::string leftPage() const { return left->current.toStdString(); }
};

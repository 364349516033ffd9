// The windows as a screen reader and a keyboard meet them: Qt's accessibility interfaces
// (what Qt's bridge hands the accessibility bus), real key presses.
#include "shell/about.h"
#include "support/access.h"
#include "support/program.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

class Access : public ProgramTest {
protected:
    void SetUp() override {
        start({"PARENT"});
        ASSERT_TRUE(dialogs.shown.empty());
    }

    void openSetup() {
        form1->Setup1Click();
        QApplication::setActiveWindow(form3);
    }

    void enter() {
        form3->Edit1->setText("parent");
        form3->Button4Click();
    }

    TForm3* openPage(QWidget* page) {
        openSetup();
        enter();
        form3->SetupTabs->setCurrentWidget(page);
        return form3;
    }

    // A key pressed where the focus is.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        QTest::keyClick(at, static_cast<Qt::Key>(key), modifiers);
    }
    void type(const char* text) { QTest::keyClicks(QApplication::focusWidget(), text); }

    static QAccessibleInterface* of(QObject* o) { return QAccessible::queryAccessibleInterface(o); }
};

struct WindowState {
    std::string name;
    std::function<QWidget*()> show;
};

}  // namespace

// Every window in each of its states, every page of the setup included, walked as a
// screen reader walks it: each control has a name, no two say the same, and nothing
// under the gate can be acted on.
TEST_F(Access, EveryControlSaysWhatItIsAndTheGateCoversEverything) {
    std::vector<WindowState> states = {
        {"main window",
         [this] {
             form1->show();
             return form1;
         }},
        {"main window: buttons without labels, lists updated, both pages loading",
         [this] {
             dir.write("buttons.dat", "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
             form3->FormShow();
             form1->Shape1->show();
             form1->WebBrowser1ProgressChange(10, 100);
             form1->WebBrowser2ProgressChange(10, 100);
             form1->show();
             return form1;
         }},
        {"setup at the gate",
         [this] {
             openSetup();
             return form3;
         }},
        {"setup: Predefined Blocked Links, the address below chosen",
         [this] {
             openPage(form3->TabSheet2);
             form3->RadioButton2->click();
             return form3;
         }},
        {"setup: the button editor",
         [this] {
             openPage(form3->TabSheet4);
             form3->pictureButton[4]->click();
             return form3;
         }},
        {"About box",
         [this] {
             form1->AboutBox->show();
             return static_cast<QWidget*>(form1->AboutBox);
         }},
    };
    for (int i = 0; i < form3->SetupTabs->count(); ++i)
        states.push_back({"setup: " + form3->SetupTabs->tabText(i).toStdString(),
                          [this, i] { return openPage(form3->SetupTabs->widget(i)); }});
    for (const auto& state : states) {
        SCOPED_TRACE(state.name);
        QWidget* window = state.show();
        ASSERT_TRUE(window->isVisible());
        const TreeFindings found = readTree(of(window));
        EXPECT_EQ(found.unnamed, std::vector<std::string>()) << "controls without a name";
        EXPECT_EQ(found.alike, std::vector<std::string>()) << "controls that sound alike";
        EXPECT_GT(found.controls, 0);
        if (window == form3 && !form3->Panel4->isHidden()) {
            // What the gate does not cover: the gate and the bottom bar.
            const auto reachable =
                actionable(of(form3), [&](QObject* o) { return o == form3->Panel4 || o == form3->Panel5; });
            EXPECT_EQ(reachable, std::vector<std::string>()) << "enabled under the gate";
        }
        form3->hide();
        form1->AboutBox->hide();
        form1->hide();
    }
}

// The parts that say how things stand, and which site each row of the Buttons page is.
TEST_F(Access, StatusBarAndButtonRowsSayWhatTheyAre) {
    EXPECT_EQ(of(form1->Shape1)->text(QAccessible::Name), "Link lists updated");
    EXPECT_FALSE(of(form1->Panel2)->text(QAccessible::Description).isEmpty());
    form1->Panel2->setText("Downloading the link lists: 1.0 MB");
    EXPECT_EQ(of(form1->Panel2)->text(QAccessible::Name), "Downloading the link lists: 1.0 MB");  // its text is read
    EXPECT_NE(of(form1->ProgressBar1)->text(QAccessible::Name), of(form1->ProgressBar2)->text(QAccessible::Name));
    for (int i = 1; i <= 9; ++i) {
        const QString site = QString("site button %1").arg(i);
        for (QWidget* w : std::initializer_list<QWidget*>{form3->enableBox[i], form3->pictureButton[i], form3->addressBox[i],
                                                          form3->verifyBox[i], form3->defaultButton[i]})
            EXPECT_TRUE(of(w)->text(QAccessible::Name).contains(site, Qt::CaseInsensitive))
                << w->objectName().toStdString() << ": " << of(w)->text(QAccessible::Name).toStdString();
    }
    // The picture button reads the label it shows; captions stay as they are.
    EXPECT_EQ(of(form3->pictureButton[2])->text(QAccessible::Name), "Site button 2: Learn");
    EXPECT_EQ(form3->verifyBox[2]->text(), "Verify");
    EXPECT_EQ(form3->defaultButton[2]->text(), "Default");
}

// Before the password, what a screen reader can do to the hidden pages (toggle a box,
// press a button, write into a box) changes nothing, in force or on disk, and a save
// writes back what was loaded.
TEST_F(Access, NothingUnderTheGateCanBeActedOn) {
    openSetup();
    const std::string setup = dir.read("setup.dat");
    const std::string parent = dir.read("pardata.dat");
    const std::string sites = dir.read("sites.dat");
    ASSERT_TRUE(form3->CheckBox1->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{form3->CheckBox1, form3->Button3, form3->Button6, form3->enableBox[1],
                                                      form3->pictureButton[1], form3->OnlyApprovedButton,
                                                      form3->SafeSearchBox}) {
        if (auto* actions = of(w)->actionInterface())
            for (const QString& action : actions->actionNames()) actions->doAction(action);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{form3->addressBox[1], form3->Edit11, form3->Edit12, form3->ApprovedEdit}) {
        of(w)->setText(QAccessible::Value, "http://bad.example");
        if (auto* edit = of(w)->editableTextInterface()) edit->insertText(0, "x");
    }
    EXPECT_TRUE(form3->option(OptEmail));
    EXPECT_TRUE(form3->option(OptFtp));
    EXPECT_TRUE(form3->Panel6->isHidden());
    of(form3->Button1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());  // "Save Setup & Close"
    for (int i = 0; i < 100 && form3->isVisible(); ++i) QTest::qWait(10);  // pressed as a click is shown
    EXPECT_FALSE(form3->isVisible());
    EXPECT_EQ(dir.read("setup.dat"), setup);
    EXPECT_EQ(dir.read("pardata.dat"), parent);
    EXPECT_EQ(dir.read("sites.dat"), sites);
    EXPECT_EQ(form1->startAddresses[1], "list1.html");
}

// Space on a row's picture button opens the editor with the focus in it; Tab and
// Shift+Tab go round the editor alone; Escape cancels it, Enter confirms it, and the
// focus goes back to the row.
TEST_F(Access, TheButtonEditorHoldsTheKeyboardWhileOpen) {
    openSetup();
    enter();
    form3->SetupTabs->setCurrentWidget(form3->TabSheet4);
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        form3->pictureButton[3]->setFocus();
        press(Qt::Key_Space);
        ASSERT_FALSE(form3->Panel6->isHidden());
        EXPECT_EQ(QApplication::focusWidget(), form3->Edit13);
        EXPECT_FALSE(form3->ScrollBox1->isVisible()) << "the rows under the editor are still in reach";
        QWidgetList seen;
        for (int i = 0; i < 16; ++i) {
            press(i < 8 ? Qt::Key_Tab : Qt::Key_Backtab, i < 8 ? Qt::NoModifier : Qt::ShiftModifier);
            QWidget* at = QApplication::focusWidget();
            ASSERT_TRUE(form3->Panel6->isAncestorOf(at)) << "Tab left the editor for " << at->objectName().toStdString();
            if (!seen.contains(at)) seen << at;
        }
        EXPECT_EQ(seen.size(), 8);  // two boxes, six buttons
        form3->Edit13->setFocus();
        form3->Edit13->selectAll();
        type("Animals");
        press(key);
        EXPECT_TRUE(form3->Panel6->isHidden());
        EXPECT_TRUE(form3->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), form3->pictureButton[3]);
        EXPECT_EQ(form3->ButtonLabels[3], key == Qt::Key_Escape ? "Zoo" : "Animals");
    }
}

// A parent who uses only the keyboard: the password, an option, an entry of their own
// list, a button's label, and the save.
TEST_F(Access, ParentSetupByKeyboardAlone) {
    openSetup();
    ASSERT_EQ(QApplication::focusWidget(), form3->Edit1);
    type("parent");
    press(Qt::Key_Return);
    ASSERT_TRUE(form3->Panel4->isHidden());
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), form3->SetupTabs->tabBar());  // on "Options"
    const auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i) press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), target) << target->objectName().toStdString();
    };
    const auto nextPage = [&](QWidget* page) {
        while (form3->SetupTabs->currentWidget() != page) press(Qt::Key_Tab, Qt::ControlModifier);
    };

    tabTo(form3->CheckBox14);
    press(Qt::Key_Space);  // FTP links allowed
    EXPECT_FALSE(form3->option(OptFtp));

    nextPage(form3->TabSheet3);
    tabTo(form3->Edit12);
    type("chat.example/");
    tabTo(form3->Button6);
    press(Qt::Key_Space);  // "Add To List"
    EXPECT_EQ(form3->parentList().back(), "http://chat.example");

    nextPage(form3->TabSheet4);
    tabTo(form3->pictureButton[2]);
    press(Qt::Key_Space);
    form3->Edit13->selectAll();
    type("Stars");
    press(Qt::Key_Return);  // the editor's OK
    tabTo(form3->Button1);
    press(Qt::Key_Space);  // "Save Setup & Close"

    EXPECT_FALSE(form3->isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(dir.read("setup.dat").substr(0, 18), "o`qdms\r\n10111101\r\n");
    EXPECT_NE(dir.read("pardata.dat").find("http://chat.example\r\n"), std::string::npos);
    EXPECT_NE(dir.read("buttons.dat").find("\r\nStars\r\n"), std::string::npos);
    EXPECT_EQ(form1->siteButton[2]->text(), "Stars");
}

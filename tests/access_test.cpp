// The windows as a screen reader and a keyboard meet them: Qt's accessibility interfaces
// (what Qt's bridge hands the accessibility bus), real key presses.
#include "shell/about.h"
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

}  // namespace

// Before the password, what a screen reader can do to the hidden pages (toggle a box,
// press a button, write into a box) changes nothing, in force or on disk, and a save
// writes back what was loaded.
TEST_F(Access, NothingUnderTheGateCanBeActedOn) {
    openSetup();
    const std::string setup = dir.read("setup.dat");
    const std::string parent = dir.read("pardata.dat");
    ASSERT_TRUE(form3->CheckBox1->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{form3->CheckBox1, form3->Button3, form3->Button6, form3->enableBox[1],
                                                      form3->pictureButton[1]}) {
        if (auto* actions = of(w)->actionInterface())
            for (const QString& action : actions->actionNames()) actions->doAction(action);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form3->addressBox[1], form3->Edit11, form3->Edit12}) {
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
    EXPECT_EQ(form1->startAddresses[1], "list1.html");
}

// The setup window: password gate, password change, save, options and the parent list.
#include "support/limits.h"
#include "support/program.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "platform/messages.h"

#include <algorithm>
#include <functional>

namespace {

class Setup : public ProgramTest {
protected:
    void SetUp() override {
        start({"PARENT"});
        ASSERT_TRUE(dialogs.shown.empty());
        form1->Setup1Click();
        ASSERT_TRUE(form3->isVisible());
    }

    void enter(const QString& password) {
        form3->Edit1->setText(password);
        form3->Button4Click();
    }

    static Shown box(const char* text, const char* caption = "Error") { return {"message", text, caption}; }
};

}  // namespace

TEST_F(Setup, RightPasswordOpensTheOptionsPage) {
    EXPECT_TRUE(form3->Panel4->isVisible());
    EXPECT_TRUE(form3->Button4->isDefault());
    EXPECT_EQ(form3->HelpTopic, 15);
    form3->SetupTabs->setCurrentIndex(3);
    enter("parent");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form3->Panel4->isVisible());
    EXPECT_EQ(form3->SetupTabs->currentWidget(), form3->TabSheet1);
    EXPECT_EQ(form3->HelpTopic, 10);
    EXPECT_TRUE(form3->Button1->isDefault());
    EXPECT_FALSE(form3->Button4->isDefault());
    EXPECT_EQ(form3->Edit1->text(), "parent");
}

TEST_F(Setup, WrongPasswordKeepsTheGate) {
    enter("Parent");
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{box("Wrong Password")});
    EXPECT_TRUE(form3->Panel4->isVisible());
    EXPECT_EQ(form3->Edit1->text(), "Parent");
}

TEST_F(Setup, EmptyPasswordOpensWithAnEmptyBox) {
    dir.write("setup.dat", "\r\n11111101\r\n\r\n111111111\r\n100000000\r\nlist1.html\r\n");
    form3->hide();
    form1->Setup1Click();
    enter("");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form3->Panel4->isVisible());
}

TEST_F(Setup, HidingOrClosingReArmsTheGateAndEmptiesEveryPasswordBox) {
    for (auto closeIt : {std::function<void()>([&] { form3->Button8Click(); }), std::function<void()>([&] { form3->close(); })}) {
        enter("parent");
        for (QLineEdit* box : {form3->Edit15, form3->Edit16, form3->Edit17}) box->setText("typed");
        closeIt();
        EXPECT_FALSE(form3->isVisible());
        EXPECT_TRUE(form3->Panel4->isVisibleTo(form3));
        for (QLineEdit* box : {form3->Edit1, form3->Edit15, form3->Edit16, form3->Edit17})
            EXPECT_EQ(box->text(), "") << box->objectName().toStdString();
        form1->Setup1Click();
        EXPECT_EQ(form3->focusWidget(), form3->Edit1);  // every opening starts at the password
    }
}

// Tab after Tab from the password box, Ctrl+Tab and Space on each stop: nothing under
// the gate takes the focus or changes.
TEST_F(Setup, TheKeyboardReachesNothingUnderTheGate) {
    const SetupValues before = form3->setupValues();
    const std::vector<std::string> parentBefore = form3->parentList();
    QWidget* buttons[] = {form3->Button1, form3->Button4, form3->Button8, form3->Button15, form3->Button16};
    form3->Edit1->setFocus();
    for (int i = 0; i < 20; ++i) {
        QWidget* at = form3->focusWidget();
        ASSERT_NE(at, nullptr);
        EXPECT_FALSE(form3->SetupTabs->isAncestorOf(at)) << at->objectName().toStdString();
        if (std::find(std::begin(buttons), std::end(buttons), at) == std::end(buttons)) QTest::keyClick(at, Qt::Key_Space);
        QTest::keyClick(at, Qt::Key_Tab, i % 3 == 0 ? Qt::ControlModifier : Qt::NoModifier);
    }
    EXPECT_EQ(form3->setupValues().options, before.options);
    EXPECT_EQ(form3->setupValues().verify, before.verify);
    EXPECT_EQ(form3->parentList(), parentBefore);
    EXPECT_TRUE(form3->Panel4->isVisible());
}

TEST_F(Setup, ParentSetupRestoresAMinimisedWindowAndClosingTheMainWindowEndsTheProgram) {
    form3->showMinimized();
    form1->Setup1Click();
    EXPECT_FALSE(form3->isMinimized());
    EXPECT_TRUE(form3->isVisible());

    ClearTerminated();
    form1->close();
    EXPECT_TRUE(Terminated());
    ClearTerminated();
}

TEST_F(Setup, ParentSetupWhileOpenOnlyBringsItToTheFront) {
    enter("parent");
    form3->CheckBox1->setChecked(false);
    form1->Setup1Click();
    EXPECT_FALSE(form3->Panel4->isVisible());  // no load ran
    EXPECT_FALSE(form3->CheckBox1->isChecked());
}

TEST_F(Setup, DefaultButtonFollowsTheBoxClickedInto) {
    form3->Edit15Click();
    EXPECT_TRUE(form3->Button16->isDefault());
    EXPECT_FALSE(form3->Button4->isDefault());
    form3->Edit1Click();
    EXPECT_TRUE(form3->Button4->isDefault());
    EXPECT_FALSE(form3->Button16->isDefault());
}

TEST_F(Setup, PasswordChangeMessagesAndTheSaveThatFollows) {
    form3->Edit15->setText("wrong");
    form3->Button16Click();
    form3->Edit15->setText("parent");
    form3->Edit16->setText("new");
    form3->Edit17->setText("New");
    form3->Button16Click();
    form3->Edit16->setText(QString::fromUtf8("\u043f\u0430\u0440\u043e\u043b\u044c1"));  // stored as "??????1"
    form3->Edit17->setText(form3->Edit16->text());
    form3->Button16Click();
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{box("Wrong Current Password"),
                                                 box("The new passwords you entered do not match"),
                                                 box("The new password can only have Western European letters, "
                                                     "digits and signs. Please choose another.")}));
    EXPECT_EQ(form3->Password, "parent");
    form3->Edit16->setText("new");
    dialogs.clear();
    form3->Edit15Click();
    form3->Edit17->setText("new");
    {
        const FileSizeLimit limit(0);  // the save is refused: nothing is said to have changed
        guarded([&] { form3->Button16Click(); });
    }
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot create file " + dir.file("setup.dat") + "."});
    EXPECT_EQ(form3->Password, "parent");
    EXPECT_EQ(form3->Edit17->text(), "new");
    dialogs.clear();
    form3->Button16Click();
    EXPECT_EQ(dialogs.shown,
              std::vector<Shown>{box("Password Changed. Select Parent Setup again to enter setup using your new "
                                     "password.",
                                     "Password Changed")});
    EXPECT_FALSE(form3->Button16->isDefault());
    EXPECT_EQ(form3->Edit15->text(), "");
    EXPECT_EQ(form3->Edit16->text(), "");
    EXPECT_FALSE(form3->isVisible());
    EXPECT_EQ(dir.read("setup.dat").substr(0, 5), "mdv\r\n");  // "new" scrambled
    EXPECT_EQ(dir.read("setup.bak").substr(0, 8), "o`qdms\r\n");
    EXPECT_EQ(form3->Password, "new");  // read back by the load after the save

    form1->Setup1Click();
    enter("new");
    EXPECT_FALSE(form3->Panel4->isVisible());
}

TEST_F(Setup, SaveWritesTheControlsInTheStoredLayout) {
    enter("parent");
    form3->Button3Click();                 // all six rules off
    form3->CheckBox14->setChecked(true);
    form3->RadioButton2->setChecked(true);
    form3->RadioButton2Click();
    form3->Edit11->setText("lists.example/data.dat");
    form3->RadioButton4->setChecked(true);
    for (int i = 1; i <= 9; ++i) form3->verifyBox[i]->setChecked(i % 2 == 0);
    form3->enableBox[2]->setChecked(false);
    form3->enableBox[6]->setChecked(true);
    form3->addressBox[6]->setText(" six.html ");
    form3->Button1Click();
    EXPECT_EQ(dir.read("setup.dat"),
              "o`qdms\r\n01000000\r\nlists.example/data.dat\r\n010101010\r\n101101000\r\n"
              "list1.html\r\nlist3.html\r\nlist4.html\r\n six.html \r\n");
    EXPECT_EQ(dir.read("buttons.dat"), dir.read("buttons.bak"));  // labels unchanged
    EXPECT_FALSE(form3->isVisible());
    // The load after the save reached the main window.
    EXPECT_FALSE(form1->siteSlot[2]->isVisibleTo(form1));
    EXPECT_TRUE(form1->siteSlot[6]->isVisibleTo(form1));
    EXPECT_EQ(form1->startAddresses[6], " six.html ");
    // An unchecked row's address stays in its box for this run, but was not stored.
    EXPECT_EQ(form3->addressBox[2]->text(), "list2.html");
    EXPECT_FALSE(form3->addressBox[2]->isEnabled());
}

TEST_F(Setup, DefaultServerSavesAnEmptyAddressLine) {
    dir.write("setup.dat", "o`qdms\r\n11111001\r\nkept.example\r\n111111111\r\n000000000\r\n");
    form3->FormShow();
    enter("parent");
    form3->RadioButton1->setChecked(true);
    form3->RadioButton1Click();
    EXPECT_FALSE(form3->Edit11->isEnabled());
    EXPECT_EQ(form3->Edit11->text(), "kept.example");
    form3->Button1Click();
    EXPECT_EQ(dir.read("setup.dat"), "o`qdms\r\n11111101\r\n\r\n111111111\r\n000000000\r\n");
    EXPECT_EQ(form3->Edit11->text(), "kept.example");  // kept in the box for this run
}

TEST_F(Setup, SaveBeforeThePasswordWritesBackWhatWasLoaded) {
    const std::string setup = dir.read("setup.dat");
    const std::string buttons = dir.read("buttons.dat");
    form3->Button1Click();
    EXPECT_EQ(dir.read("setup.dat"), setup);
    EXPECT_EQ(dir.read("buttons.dat"), buttons);
    EXPECT_EQ(dir.read("setup.bak"), setup);
    // A second save leaves the backups as they are.
    form1->Setup1Click();
    enter("parent");
    form3->CheckBox1->setChecked(false);
    form3->Button1Click();
    EXPECT_EQ(dir.read("setup.bak"), setup);
    EXPECT_NE(dir.read("setup.dat"), setup);
}

TEST_F(Setup, AFailedSaveStopsThereAndKeepsTheFiles) {
    const std::string setup = dir.read("setup.dat");
    {
        const FileSizeLimit limit(0);
        form3->CheckBox1->setChecked(false);
        guarded([&] { form3->Button1Click(); });
    }
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot create file " + dir.file("setup.dat") + "."});
    EXPECT_EQ(dir.read("setup.dat"), setup);
    EXPECT_TRUE(form3->isVisible());  // no hide, no load
    EXPECT_FALSE(form3->CheckBox1->isChecked());
}

TEST_F(Setup, CancelKeepsUnsavedChangesLiveUntilTheNextLoad) {
    enter("parent");
    form3->Button2Click();
    form3->CheckBox15->setChecked(false);
    form3->Button8Click();
    const std::string before = dir.read("setup.dat");
    EXPECT_FALSE(form3->option(OptVerification));
    EXPECT_TRUE(form3->option(OptNewWindow));
    EXPECT_EQ(dir.read("setup.dat"), before);
    form1->Setup1Click();  // the next showing reloads
    EXPECT_TRUE(form3->option(OptVerification));
}

TEST_F(Setup, MostAndLeastRestrictiveTouchOnlyTheSixBoxes) {
    form3->verifyBox[5]->setChecked(true);
    form3->RadioButton4->setChecked(true);
    form3->Button3Click();
    for (int pos : {OptEmail, OptFtp, OptPredefined, OptParent, OptNewWindow, OptVerification})
        EXPECT_FALSE(form3->option(pos)) << pos;
    EXPECT_TRUE(form3->verify(5));
    EXPECT_TRUE(form3->RadioButton4->isChecked());
    form3->Button2Click();
    for (int pos : {OptEmail, OptFtp, OptPredefined, OptParent, OptNewWindow, OptVerification})
        EXPECT_TRUE(form3->option(pos)) << pos;
}

TEST_F(Setup, HelpTopicsPerPage) {
    const int expected[] = {10, 11, 12, 13};
    for (int page : {1, 2, 3, 0}) {
        form3->SetupTabs->setCurrentIndex(page);
        EXPECT_EQ(form3->HelpTopic, expected[page]);
    }
    form3->Button15Click();
    EXPECT_EQ(dialogs.shown.back(), (Shown{"help", dir.file("wenlow.hlp"), "10"}));
}

TEST(ParentEntry, FormOfAnAddedLink) {
    EXPECT_EQ(parentEntry("www.chat.example/"), "http://www.chat.example");
    EXPECT_EQ(parentEntry("  //www.chat.example/room/ /"), "http://www.chat.example/room");
    EXPECT_EQ(parentEntry("HtTp://Chat.Example"), "HtTp://Chat.Example");
    EXPECT_EQ(parentEntry("https://chat.example"), "http://chat.example");
    EXPECT_EQ(parentEntry(" HTTPS://Chat.Example/"), "http://Chat.Example");
    // In the form the addresses it names are compared in.
    EXPECT_EQ(parentEntry("Bücher.example/x#top"), "http://xn--bcher-kva.example/x");
    EXPECT_EQ(parentEntry("http://kid@par.example:80/a/../page"), "http://par.example/page");
    EXPECT_EQ(parentEntry("http://-a.example/x"), "http://-a.example/x");  // cannot be read: as typed
    EXPECT_EQ(parentEntry("/ / /"), "");
    EXPECT_EQ(parentEntry(""), "");
}

TEST_F(Setup, AddAndDeleteWriteTheFileAtOnce) {
    form3->Edit12->setText("www.games.example/");
    form3->Button6Click();
    form3->Button6Click();  // twice: two equal entries
    EXPECT_EQ(form3->Edit12->text(), "www.games.example/");
    EXPECT_EQ(dir.read("pardata.dat"),
              "http://www.chatroom.example\r\nhttp://kids.example.org/forum\r\nhttp://www.games.example\r\n"
              "http://www.games.example\r\n");
    form3->Edit12->setText(" / ");
    form3->Button6Click();
    form3->Edit12->clear();
    form3->Button6Click();
    EXPECT_EQ(form3->ParentBlocks->count(), 4);

    form3->Button7Click();  // nothing selected
    EXPECT_EQ(form3->ParentBlocks->count(), 4);
    form3->ParentBlocks->setCurrentRow(2);
    form3->Button7Click();
    EXPECT_EQ(dir.read("pardata.dat"),
              "http://www.chatroom.example\r\nhttp://kids.example.org/forum\r\nhttp://www.games.example\r\n");
    EXPECT_EQ(form3->parentList().size(), 3u);
    // The change survives "Cancel Changes & Close" and counts for approval at once.
    form3->Button8Click();
    EXPECT_FALSE(form1->urlok("http://www.games.example/"));
    form1->Setup1Click();
    EXPECT_EQ(form3->ParentBlocks->count(), 3);
}

TEST_F(Setup, UnwritableListFileKeepsTheChangeInTheList) {
    const std::string before = dir.read("pardata.dat");
    form3->Edit12->setText("blocked.example");
    {
        const FileSizeLimit limit(0);
        guarded([&] { form3->Button6Click(); });
    }
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot create file " + dir.file("pardata.dat") + "."});
    EXPECT_EQ(form3->ParentBlocks->count(), 3);
    EXPECT_EQ(dir.read("pardata.dat"), before);
}

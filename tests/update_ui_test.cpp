// The download from the windows: the automatic start-up update and "Update Now".
#include "support/peer.h"
#include "support/program.h"
#include "update/download.h"
#include "update/signature.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace {

class Updates : public ProgramTest {
protected:
    LoopbackPeer peer;

    void SetUp() override { wsock::AddTestRoute("lists.ui.invalid", 80, peer.port()); }
    void TearDown() override { wsock::ClearTestRoutes(); }

    void serve(const std::string& list, const std::string& head = "HTTP/1.0 200 OK\r\n\r\n") {
        ASSERT_TRUE(peer.accept());
        peer.receive(10);
        peer.send(head + list);
        peer.close();
    }
};

const std::string NewList = "starturls\r\n1http://newly.blocked\r\nmainurls\r\nendurls\r\n";

}  // namespace

TEST_F(Updates, AutomaticUpdateAtStartFillsTheListsAndShowsTheIndicator) {
    // The address below, automatically.
    dir.write("setup.dat", "\r\n11111011\r\nlists.ui.invalid/list.dat\r\n111111111\r\n100000000\r\nlist1.html\r\n");
    start();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().front();
    EXPECT_FALSE(form1->firstActivation);
    EXPECT_EQ(leftPage(), dir.file("list1.html"));
    // The rules of data.dat are in force while it runs.
    EXPECT_FALSE(form1->urlok("http://www.badsite.example/"));
    EXPECT_TRUE(form1->Shape1->isHidden());
    serve(NewList);
    ASSERT_TRUE(pumpUntil([&] { return !form1->Shape1->isHidden(); }));
    EXPECT_EQ(form1->lists.predefined(), std::vector<std::string>{"1HTTP://NEWLY.BLOCKED"});
    EXPECT_FALSE(form1->urlok("http://newly.blocked/page"));
}

TEST_F(Updates, AnErrorWhileStartingIsShownAndTheListPageOpensUnderTheRules) {
    writeSetup("111111111", "100000000", {"list1.html"}, "11111111");  // default server, automatic
    start();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"Error 11001 (Host not found) finding address for host."});
    EXPECT_FALSE(form1->firstActivation);
    EXPECT_EQ(leftPage(), dir.file("list1.html"));
    EXPECT_FALSE(form1->urlok("http://www.badsite.example/"));
    // The parent is told before choosing "Automatically" that this copy has no server,
    // and that lists are not checked until there is a key.
    EXPECT_FALSE(form3->UpdateNote->isHidden());
    EXPECT_EQ(form3->UpdateNote->text().contains("no default web server"), !defaultUpdateHostSet());
    EXPECT_TRUE(form3->UpdateNote->text().contains("not checked"));
    dir.write("update.key", keyText(generateKeyPair().publicKey));
    form3->FormShow();
    EXPECT_FALSE(form3->UpdateNote->text().contains("not checked"));
}

TEST_F(Updates, UpdateNowHidesTheIndicatorAndDownloadsWhateverTheUpdateTime) {
    start({"PARENT"});
    form1->Shape1->show();
    form1->Setup1Click();
    form3->RadioButton2->setChecked(true);
    form3->Edit11->setText("lists.ui.invalid/list.dat");  // not saved: counts all the same
    form3->Button5Click();
    EXPECT_TRUE(form1->Shape1->isHidden());
    const int shownBefore = form3->predefModel->rowCount();
    serve(NewList);
    ASSERT_TRUE(pumpUntil([&] { return !form1->Shape1->isHidden(); }));
    EXPECT_EQ(form1->lists.predefined(), std::vector<std::string>{"1HTTP://NEWLY.BLOCKED"});
    EXPECT_NE(shownBefore, 1);
    EXPECT_EQ(form3->predefModel->rowCount(), 1);  // the page shows the new list at once
    form3->FormShow();
    EXPECT_EQ(form3->predefModel->rowCount(), 1);
}

// The status bar tells how far the download is while it runs, and the window answers.
TEST_F(Updates, TheStatusBarShowsTheDownloadsProgress) {
    start({"PARENT"});
    form1->Setup1Click();
    form3->RadioButton2->setChecked(true);
    form3->Edit11->setText("lists.ui.invalid/list.dat");
    form3->Button5Click();
    std::string body = "starturls\r\n";
    while (body.size() < 2000000) body += "2host" + std::to_string(body.size()) + ".example\r\n";
    body += "mainurls\r\nendurls\r\n";
    const std::string whole = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    ASSERT_TRUE(peer.accept());
    peer.receive(10);
    peer.send(whole.substr(0, whole.size() / 2));
    const QString half = QString::fromStdString(downloadProgressText(whole.size() / 2, static_cast<std::int64_t>(whole.size())));
    ASSERT_TRUE(pumpUntil([&] { return form1->Panel2->text() == half; })) << form1->Panel2->text().toStdString();
    EXPECT_EQ(form3->UpdateOutcome->text(), half);
    EXPECT_EQ(downloadProgressText(1500000, 3000000), "Downloading the link lists: 1.5 MB of 3.0 MB (50 %)");
    EXPECT_EQ(downloadProgressText(1500000, -1), "Downloading the link lists: 1.5 MB");
    peer.send(whole.substr(whole.size() / 2));
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return !form1->Shape1->isHidden(); }, 20000));
    EXPECT_TRUE(form1->Panel2->text().isEmpty());
    EXPECT_FALSE(form1->urlok("http://www.host11.example/"));
}

// "Update Now", clicked or pressed, says in the setup window how it went, in the download's
// own words; a stored list shows on the page at once. Errors that start no download are
// still shown in their box.
TEST_F(Updates, UpdateNowSaysWhatHappenedInTheSetupWindow) {
    start({"PARENT"});
    openSetup();
    form3->SetupTabs->setCurrentWidget(form3->TabSheet2);
    QTest::mouseClick(form3->RadioButton2, Qt::LeftButton);
    const struct {
        const char* name;
        const char* address;
        std::string head;  // empty: no server at all
        bool keyed;          // update.key in the folder
        std::string said;    // after the date and time
        std::vector<std::string> box;
    } cases[] = {
        {"a new list", "lists.ui.invalid/list.dat", "HTTP/1.0 200 OK\r\n\r\n", false,
         "stored " + std::to_string(NewList.size() + 19) + " bytes: 1 entry, not checked (there is no update.key)", {}},
        {"a missing list", "lists.ui.invalid/gone.dat", "HTTP/1.0 404 Not Found\r\n\r\n", false, "HTTP/1.0 404 Not Found", {}},
        {"a list without a signature", "lists.ui.invalid/list.dat", "HTTP/1.0 200 OK\r\n\r\n", true,
         "The list has no signature", {}},
        {"a host not found", "nowhere.ui.invalid/list.dat", "", false,
         "Error 11001 (Host not found) finding address for host nowhere.ui.invalid",
         {"Error 11001 (Host not found) finding address for host."}},
    };
    bool keyboard = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.keyed) dir.write("update.key", keyText(generateKeyPair().publicKey));
        dialogs.shown.clear();
        form3->Edit11->setText(c.address);
        keyboard = !keyboard;
        if (keyboard) {
            form3->Button5->setFocus();
            QTest::keyClick(form3->Button5, Qt::Key_Space);
        } else {
            QTest::mouseClick(form3->Button5, Qt::LeftButton);
        }
        if (!c.head.empty()) {
            EXPECT_EQ(form3->UpdateOutcome->text(), "Downloading the link lists...");
            serve(NewList, c.head);
        }
        const bool stored = c.said.substr(0, 7) == "stored ";
        const QString start = stored ? "Lists updated " : "Lists not updated ";
        ASSERT_TRUE(pumpUntil([&] { return form3->UpdateOutcome->text().startsWith(start); }))
            << form3->UpdateOutcome->text().toStdString();
        EXPECT_TRUE(form3->UpdateOutcome->text().endsWith(": " + QString::fromStdString(c.said)))
            << form3->UpdateOutcome->text().toStdString();
        EXPECT_EQ(form3->predefModel->rowCount(), 1);  // the new list's one entry, from the first on
        EXPECT_EQ(dialogs.texts(), c.box);
        dir.remove("update.key");
    }
}

// A data.dat another process puts in place is followed within seconds, renamed over the
// old one (as the tools write it) or rewritten where it is; one that goes away leaves the
// rules as they were.
TEST_F(Updates, TheRunningBrowserFollowsDataDatWrittenByAnotherProcess) {
    start();
    const struct {
        const char* name;
        const char* command;
        const char* blocked;  // afterwards, and nothing else; null: the rules stay
    } cases[] = {
        {"renamed over it", "printf 'starturls\\r\\n1http://renamed.example\\r\\nmainurls\\r\\nendurls\\r\\n' > d.new && mv d.new data.dat",
         "http://renamed.example/"},
        {"rewritten in place", "printf 'starturls\\r\\n1http://inplace.example\\r\\nmainurls\\r\\nendurls\\r\\n' > data.dat",
         "http://inplace.example/"},
        {"removed", "rm data.dat", nullptr},
    };
    std::string before = "http://www.badsite.example/";  // the sample's rules
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(form1->urlok(QString::fromStdString(before)));
        QProcess other;
        other.setWorkingDirectory(QString::fromStdString(dir.path()));
        other.start("sh", {"-c", c.command});
        ASSERT_TRUE(other.waitForFinished());
        if (!c.blocked) {
            pumpFor(2500);
            EXPECT_FALSE(form1->urlok(QString::fromStdString(before)));
            continue;
        }
        EXPECT_TRUE(pumpUntil([&] { return !form1->urlok(c.blocked); }, 10000));
        EXPECT_TRUE(form1->urlok(QString::fromStdString(before)));
        EXPECT_EQ(form1->lists.predefined().size(), 1u);
        before = c.blocked;
    }
}

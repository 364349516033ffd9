// The navigation handlers, the site buttons and the navigation bar, with scripted panes.
#include "approval/urlok.h"
#include "shell/requestgate.h"
#include "support/program.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

namespace {

class Navigation : public ProgramTest {
protected:
    void SetUp() override {
        // Sites 1, 3 and 7 shown; only site 7 verifies; all rules on.
        writeSetup("000000100", "101000100", {"one.html", "three.html", "seven.html"});
        dir.write("data.dat",
                  "starturls\r\n1http://bad.example\r\n3http://exact.example/page\r\n1http://ads.\r\n"
                  "4http://ads.kidsafe\r\nmainurls\r\nhttp://approved.example/a\r\nendurls\r\n");
        dir.write("pardata.dat", "http://parent.example\r\n");
        start();
        ASSERT_TRUE(dialogs.shown.empty());
        dialogs.clear();
    }

    static Shown error(const char* text) { return {"message", text, "Error"}; }
};

}  // namespace

TEST_F(Navigation, ApprovedLeftClickOpensInTheRightPane) {
    const QString link = "https://www.nasa.gov/kids/";
    EXPECT_FALSE(left->clickLink(link));  // the left pane never follows a link itself
    EXPECT_EQ(leftPage(), dir.file("one.html"));
    EXPECT_EQ(right->navigateCalls, QStringList{link});  // as received, not normalised
    EXPECT_EQ(right->current, link);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Navigation, LeftClickRefusedByTheRulesShowsOneMessage) {
    EXPECT_FALSE(left->clickLink("http://bad.example/games"));
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{error(RefusedLeftText)});
    EXPECT_TRUE(right->navigateCalls.isEmpty());
    EXPECT_EQ(leftPage(), dir.file("one.html"));
}

TEST_F(Navigation, VerificationRefusalShowsBothMessagesInOrder) {
    form1->siteClick(7);
    EXPECT_FALSE(left->clickLink("http://elsewhere.example"));
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{error(VerifyRefusedText), error(RefusedLeftText)}));
    EXPECT_TRUE(right->navigateCalls.isEmpty());

    dialogs.clear();
    left->clickLink("HTTP://Approved.Example/a/");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(right->current, "HTTP://Approved.Example/a/");
}

TEST_F(Navigation, VerificationFollowsTheCurrentSite) {
    form1->siteClick(3);
    form1->siteClick(7);
    EXPECT_EQ(form1->currentSite, 7);
    EXPECT_TRUE(form1->siteButton[3]->autoRaise());
    EXPECT_FALSE(form1->siteButton[7]->autoRaise());
    left->clickLink("http://elsewhere.example");
    EXPECT_EQ(dialogs.shown.size(), 2u);
    form1->siteClick(3);
    dialogs.clear();
    left->clickLink("http://elsewhere.example");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Navigation, EmptyMainListRefusesEveryVerifiedLeftLink) {
    LinkLists noMain;
    noMain.append(form1->lists.predefined(), {});
    form1->lists = noMain;
    form1->siteClick(7);
    left->clickLink("http://approved.example/a");
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{error(VerifyRefusedText), error(RefusedLeftText)}));
}

TEST_F(Navigation, RightPaneRefusalStopsAndStaysOnItsPage) {
    right->clickLink("http://fine.example");
    EXPECT_FALSE(right->clickLink("http://exact.example/page/"));
    EXPECT_EQ(right->current, "http://fine.example");
    EXPECT_EQ(right->stopCalls, 1);
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{error(RefusedRightText)});
    // The right pane never verifies and does not look at the program flag.
    EXPECT_TRUE(right->clickLink("http://exact.example/page/more"));
}

TEST_F(Navigation, ALinkApprovedOnTheLeftIsTestedAgainOnTheRight) {
    // Unchecking the parent switch only for the left test is impossible; instead check
    // that the right pane raised its own test: a refusal there shows its own message.
    form3->CheckBox13->setChecked(false);
    left->clickLink("http://parent.example");
    EXPECT_EQ(right->current, "http://parent.example");
    form3->CheckBox13->setChecked(true);
    EXPECT_FALSE(right->clickLink("http://parent.example/"));
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{error(RefusedRightText)});
}

TEST_F(Navigation, LiveSwitchesCountAtOnce) {
    EXPECT_FALSE(right->clickLink("mailto:friend@example.com"));
    form3->CheckBox1->setChecked(false);
    EXPECT_TRUE(right->clickLink("mailto:friend@example.com"));
    form3->CheckBox2->setChecked(false);
    EXPECT_TRUE(right->clickLink("http://bad.example"));
}

TEST_F(Navigation, NewWindowsRefusedWhenTheSwitchIsOn) {
    left->requestNewWindow("http://fine.example");
    right->requestNewWindow("http://fine.example/2");
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{error(NewWindowText), error(NewWindowText)}));
    EXPECT_TRUE(right->navigateCalls.isEmpty());
    EXPECT_EQ(right->current, "");
}

TEST_F(Navigation, NewWindowsLeftToThePaneAreStillApproved) {
    form3->CheckBox3->setChecked(false);
    // From the left pane: as a link clicked there.
    left->requestNewWindow("http://fine.example");
    EXPECT_EQ(leftPage(), dir.file("one.html"));
    EXPECT_EQ(right->current, "http://fine.example");
    left->requestNewWindow("http://bad.example");
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{error(RefusedLeftText)});
    // From the right pane: in the right pane, through its own test.
    dialogs.clear();
    right->requestNewWindow("http://bad.example/x");
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{error(RefusedRightText)});
    right->requestNewWindow("http://fine.example/2");
    EXPECT_EQ(right->current, "http://fine.example/2");
}

TEST_F(Navigation, ASitesListPageLoadsWhateverTheLists) {
    dir.write("setup.dat", "\r\n11111101\r\n\r\n111111111\r\n100000000\r\nhttp://bad.example/list\r\n");
    form3->FormShow();
    form1->siteClick(1);
    EXPECT_EQ(leftPage(), "http://bad.example/list");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form1->programNavigating);
    // Clicking the raised button loads its page again.
    form1->siteClick(1);
    EXPECT_EQ(left->navigateCalls.size(), 3);
}

TEST_F(Navigation, NavigationBarActsOnTheRightPaneOnly) {
    form1->SpeedButton5Click();  // no history: nothing shown
    form1->SpeedButton6Click();
    form1->SpeedButton8Click();
    EXPECT_TRUE(dialogs.shown.empty());
    right->clickLink("http://a.example");
    right->clickLink("http://b.example");
    form1->SpeedButton5Click();
    EXPECT_EQ(right->current, "http://a.example");
    form1->SpeedButton6Click();
    EXPECT_EQ(right->current, "http://b.example");
    form1->SpeedButton7Click();
    EXPECT_EQ(right->stopCalls, 1);
    EXPECT_EQ(leftPage(), dir.file("one.html"));
    EXPECT_EQ(left->stopCalls, 0);
}

// The request gate reads the rules of the moment: a switch changed in the setup window,
// saved or not, counts at the next request; frames, pictures and sockets alike.
TEST_F(Navigation, TheRequestGateFollowsTheLiveSwitches) {
    RequestGate gate([this](std::string_view address, RequestKind kind) { return form1->allows(address, kind); },
                     [this] { return form1->rulesState(); });
    using Info = QWebEngineUrlRequestInfo;
    using Outcome = RequestGate::Outcome;
    const QUrl bad("http://bad.example/picture.png"), parent("http://parent.example"), good("http://good.example/");
    const struct {
        QUrl url;
        Info::ResourceType type;
        Outcome on, off;  // with the predefined and parent switches on, then off
    } cases[] = {
        {bad, Info::ResourceTypeImage, Outcome::Drop, Outcome::Pass},
        {bad, Info::ResourceTypeSubFrame, Outcome::RefusedFrame, Outcome::Pass},
        {QUrl("ws://bad.example/chat"), Info::ResourceTypeWebSocket, Outcome::Drop, Outcome::Pass},
        {parent, Info::ResourceTypeXhr, Outcome::Drop, Outcome::Pass},
        {good, Info::ResourceTypeScript, Outcome::Pass, Outcome::Pass},
        {bad, Info::ResourceTypeMainFrame, Outcome::Pass, Outcome::Pass},  // the pane's own BeforeNavigate decides
        // Their sockets never meet the gate: pages run no such workers, whatever the rules.
        {good, Info::ResourceTypeServiceWorker, Outcome::Drop, Outcome::Drop},
        {good, Info::ResourceTypeSharedWorker, Outcome::Drop, Outcome::Drop},
        {QUrl("file:///etc/passwd"), Info::ResourceTypeSubFrame, Outcome::RefusedFrame, Outcome::RefusedFrame},
        {QUrl::fromLocalFile(QString::fromStdString(dir.file("one.html"))), Info::ResourceTypeImage, Outcome::Pass,
         Outcome::Pass},
    };
    // Asked twice each time: a remembered decision never outlives the rules it was made on.
    for (bool on : {true, false, true}) {
        form3->CheckBox2->setChecked(on);
        form3->CheckBox13->setChecked(on);
        for (int again = 0; again < 2; ++again)
            for (const auto& c : cases)
                EXPECT_EQ(gate.decide(c.url, c.type), on ? c.on : c.off) << c.url.toString().toStdString() << " " << on;
    }
    // A changed list or parent list counts at the next request too.
    form1->lists.clear();
    EXPECT_EQ(gate.decide(bad, Info::ResourceTypeImage), Outcome::Pass);
    form3->Edit12->setText("good.example");
    form3->Button6Click();
    EXPECT_EQ(gate.decide(good, Info::ResourceTypeScript), Outcome::Drop);
}

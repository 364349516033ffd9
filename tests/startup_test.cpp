// The main window: start-up sequence, status bar, caption, menu.
#include "support/program.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

using Startup = ProgramTest;

TEST(StartAddress, ResolutionAgainstTheProgramDirectory) {
    const std::string dir = "/opt/wenlow/";
    struct Case {
        const char* address;
        std::string resolved;
    } cases[] = {
        {"http://kids.example/list.html", "http://kids.example/list.html"},
        {"HtTp://kids.example", "HtTp://kids.example"},
        {"https://kids.example/list", "https://kids.example/list"},
        {"c:\\kids\\list.htm", "c:\\kids\\list.htm"},
        {"/srv/lists/one.html", "/srv/lists/one.html"},
        {"list1.html", dir + "list1.html"},
        {"abc", dir + "abc"},
        {"ab", "ab"},
        {"a", "a"},
        {"", ""},
        {"d:\\x", "d:\\x"},
        {"file:///srv/list.html", dir + "file:///srv/list.html"},
    };
    for (const auto& c : cases) EXPECT_EQ(resolveStartAddress(c.address, dir), c.resolved) << c.address;
}

TEST_F(Startup, FirstActivationOpensTheFirstSitesListPage) {
    create();
    EXPECT_TRUE(form1->firstActivation);
    EXPECT_EQ(form1->currentSite, 1);
    EXPECT_TRUE(left->navigateCalls.isEmpty());  // nothing happens at creation

    form1->FormActivate();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().front();
    EXPECT_FALSE(form1->firstActivation);
    EXPECT_EQ(form1->currentSite, 1);
    EXPECT_EQ(leftPage(), dir.file("list1.html"));
    EXPECT_EQ(form1->startAddresses[2], dir.file("list2.html"));
    EXPECT_TRUE(right->navigateCalls.isEmpty());
    EXPECT_FALSE(form1->programNavigating);
    // The lists were read from data.dat.
    EXPECT_EQ(form1->lists.predefined()[0], "1HTTP://ADS.");
    EXPECT_EQ(form1->lists.main()[0], "HTTP://WWW.NASA.GOV/KIDS");
    // No site button is raised at start.
    for (int n = 1; n <= 9; ++n) EXPECT_TRUE(form1->siteButton[n]->autoRaise()) << n;

    // Later activations do nothing.
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_EQ(left->navigateCalls.size(), 1);
}

TEST_F(Startup, FirstShownSiteWithAnAddressIsOpened) {
    writeSetup("111111111", "001000100", {"three.html", "seven.html"});
    start();
    EXPECT_EQ(form1->currentSite, 3);
    EXPECT_EQ(leftPage(), dir.file("three.html"));
    EXPECT_FALSE(form1->siteSlot[1]->isVisibleTo(form1));
    EXPECT_TRUE(form1->siteSlot[3]->isVisibleTo(form1));
}

TEST_F(Startup, AShownSiteWithAnEmptyAddressIsPassedOver) {
    writeSetup("111111111", "110000000", {"", "two.html"});
    start();
    EXPECT_EQ(form1->currentSite, 2);
    EXPECT_EQ(leftPage(), dir.file("two.html"));
}

TEST_F(Startup, NoSiteAddressShowsAnEmptyPage) {
    writeSetup("111111111", "000000000", {});
    start();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(form1->currentSite, 0);
    EXPECT_EQ(leftPage(), "about:blank");
    EXPECT_FALSE(form1->firstActivation);
}

TEST_F(Startup, MissingDataFileStopsTheSequenceAndItRunsAgainLater) {
    dir.remove("data.dat");
    start();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0], (Shown{"error", "Cannot open file " + dir.file("data.dat") + ".", "Wenlow Explorer"}));
    EXPECT_TRUE(left->navigateCalls.isEmpty());
    EXPECT_TRUE(form1->firstActivation);

    // Closing the error box activates the main window again: that alone does not
    // start another round.
    form1->FormActivate();
    EXPECT_EQ(dialogs.shown.size(), 1u);

    // The next activation after leaving the window runs the whole sequence again.
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_EQ(dialogs.shown.size(), 2u);

    dir.write("data.dat", "starturls\r\n1http://bad\r\nendurls\r\n");
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(form1->firstActivation);
    EXPECT_EQ(leftPage(), dir.file("list1.html"));
    EXPECT_EQ(form1->lists.predefined(), std::vector<std::string>{"1HTTP://BAD"});  // read once, not twice
}

TEST_F(Startup, MissingSetupFileIsFileNotFound) {
    dir.remove("setup.dat");
    start();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"File not found."});
    EXPECT_TRUE(form1->firstActivation);
    EXPECT_FALSE(dir.exists("setup.dat"));  // no file is made up
}

TEST_F(Startup, MissingPardataNamesItsPath) {
    dir.remove("pardata.dat");
    start();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot open file " + dir.file("pardata.dat") + "."});
}

TEST_F(Startup, ParentSetupOnlyWithParentAsFirstArgument) {
    struct Case {
        QStringList args;
        bool enabled;
    } cases[] = {
        {{}, false},          {{"PARENT"}, true},         {{"parent"}, true},        {{"Parent"}, true},
        {{"PARENTS"}, false}, {{"x", "PARENT"}, false}, {{"PARENT", "x"}, true},
    };
    for (const auto& c : cases) {
        create(c.args);
        EXPECT_EQ(form1->Setup1->isEnabled(), c.enabled) << c.args.join(' ').toStdString();
        form1->Setup1Click();
        EXPECT_EQ(form3->isVisible(), c.enabled) << c.args.join(' ').toStdString();
        form3->hide();
    }
}

TEST_F(Startup, ProgressRuleForEachPaneWithItsOwnBar) {
    create();
    EXPECT_TRUE(form1->ProgressBar1->isHidden());
    EXPECT_FALSE(form1->ProgressBar2->isHidden());
    EXPECT_TRUE(form1->Shape1->isHidden());

    form1->WebBrowser1ProgressChange(0, 0);
    EXPECT_FALSE(form1->ProgressBar1->isHidden());
    EXPECT_EQ(form1->ProgressBar1->maximum(), 0);
    EXPECT_EQ(form1->ProgressBar1->value(), 0);
    EXPECT_EQ(left->widget()->cursor().shape(), Qt::BusyCursor);
    form1->WebBrowser1ProgressChange(30, 60);
    EXPECT_EQ(form1->ProgressBar1->maximum(), 60);
    EXPECT_EQ(form1->ProgressBar1->value(), 30);
    form1->WebBrowser1ProgressChange(-1, 60);
    EXPECT_TRUE(form1->ProgressBar1->isHidden());
    EXPECT_EQ(left->widget()->cursor().shape(), Qt::ArrowCursor);

    form1->WebBrowser2ProgressChange(-1, 100);
    EXPECT_TRUE(form1->ProgressBar2->isHidden());
    form1->WebBrowser2ProgressChange(5, 100);
    EXPECT_FALSE(form1->ProgressBar2->isHidden());
    // Completion hides the left bar only.
    form1->WebBrowser1ProgressChange(5, 100);
    form1->WebBrowser2NavigateComplete("x");
    EXPECT_FALSE(form1->ProgressBar2->isHidden());
    form1->WebBrowser1NavigateComplete("x");
    EXPECT_TRUE(form1->ProgressBar1->isHidden());
}

TEST_F(Startup, LeftPaneProgressBarShowsWhileItsListPageLoads) {
    create();
    left->completeLoads = false;
    form1->FormActivate();
    EXPECT_FALSE(form1->ProgressBar1->isHidden());
}

TEST_F(Startup, CaptionAndStatusTextFollowTheRightPaneOnly) {
    create();
    EXPECT_EQ(form1->windowTitle(), "Wenlow Explorer");
    form1->WebBrowser2TitleChange("Dinosaurs");
    EXPECT_EQ(form1->windowTitle(), "Wenlow Explorer - Dinosaurs");
    form1->WebBrowser2TitleChange("");
    EXPECT_EQ(form1->windowTitle(), "Wenlow Explorer - ");
    form1->WebBrowser2StatusTextChange(QString::fromUtf8("http://caf\xc3\xa9/\xe2\x82\xac"));
    EXPECT_EQ(form1->Panel2->text(), QString::fromUtf8("http://caf\xc3\xa9/?"));  // through 8-bit text
    // The left pane's title and status text have no handler.
    EXPECT_FALSE(static_cast<bool>(left->TitleChange));
    EXPECT_FALSE(static_cast<bool>(left->StatusTextChange));
}

TEST_F(Startup, HelpContentsOpensContextOne) {
    create();
    form1->Contents1Click();
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"help", dir.file("wenlow.hlp"), "1"}}));
}

TEST_F(Startup, WindowLayoutAndCaptions) {
    create();
    EXPECT_EQ(form1->size(), QSize(640, 450));
    EXPECT_EQ(form1->siteButton[1]->objectName(), "SpeedButton1");
    EXPECT_EQ(form1->siteButton[5]->objectName(), "SpeedButton10");
    EXPECT_EQ(form1->siteSlot[5]->objectName(), "Panel10");
    EXPECT_EQ(form1->siteButton[2]->toolTip(), "Show me a cool list of Web Sites");
    EXPECT_EQ(form1->SpeedButton7->toolTip(), "I changed my mind- I don't want to see that page now");
    EXPECT_EQ(form1->SpeedButton8->font().pixelSize(), 10);
    EXPECT_EQ(form1->Setup1->text(), "Parent Setup");
    EXPECT_EQ(form1->About1->text(), "&About...");
}

// A site's list page on a secure server is the program's own load even where the rules
// refuse its host whole: the connection to that host stays open, and only to it.
TEST_F(Startup, TheSecureHostOfAListPageStaysOpen) {
    writeSetup("111111111", "110000000", {"https://lists.bad.example/page.html", "two.html"});
    dir.write("data.dat", "starturls\r\n2bad.example\r\nmainurls\r\nendurls\r\n");
    start();
    EXPECT_TRUE(form1->allows("https://lists.bad.example", RequestKind::Tunnel));
    EXPECT_TRUE(form1->allows("https://LISTS.bad.example:443", RequestKind::Tunnel));
    EXPECT_FALSE(form1->allows("https://other.bad.example", RequestKind::Tunnel));
    EXPECT_FALSE(form1->allows("https://lists.bad.example/page.html", RequestKind::Resource));
}

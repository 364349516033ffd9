// The parent's own sites in the setup window, driven as a parent drives it (keyboard and
// mouse): only the approved sites, whole sites and single pages, safe search, and what a
// save says of settings that refuse every site. wenlow-check must agree with the window.
#include "approval/urlok.h"
#include "records/store.h"
#include "records/records.h"
#include "setup/recordspage.h"
#include "support/program.h"
#include "support/tool.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTabBar>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <set>

#include <sys/mount.h>

namespace {

std::vector<QString> rows(const QListWidget* list) {
    std::vector<QString> r;
    for (int i = 0; i < list->count(); ++i) r.push_back(list->item(i)->text());
    return r;
}

class ParentSites : public ProgramTest {
protected:
    void SetUp() override {
        start({"PARENT"});
        ASSERT_TRUE(dialogs.shown.empty());
        openSetup();
    }

    // "Parent Setup", the password typed and Enter.
    void openSetup() {
        form1->Setup1Click();
        QTest::keyClicks(form3->Edit1, "parent");
        QTest::keyClick(form3->Edit1, Qt::Key_Return);
        ASSERT_FALSE(form3->Panel4->isVisible()) << "the password did not open the setup";
    }

    static void type(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClicks(box, text);
    }

    // What the panes do with a link: "allow"/"refuse" for the left pane (a click in a
    // list page), then for the right pane, as wenlow-check prints it.
    std::string panes(const QString& address) {
        right->navigateCalls.clear();
        left->clickLink(address);
        const bool leftOk = right->navigateCalls == QStringList{address} && right->current == address;
        const bool rightOk = right->clickLink(address);
        dialogs.clear();
        return std::string(leftOk ? "allow " : "refuse ") + (rightOk ? "allow " : "refuse ") + address.toStdString();
    }

    std::string check(const std::vector<QString>& addresses) {
        std::string args;
        for (const QString& a : addresses) args += " '" + a.toStdString() + "'";
        return runTool(WENLOW_CHECK " --dir '" + dir.path() + "' --site " + std::to_string(form1->currentSite) + args).out;
    }
};

}  // namespace

TEST_F(ParentSites, OnlyApprovedSitesChosenAndEditedCountAtOnceAndAfterReopening) {
    // Options: "Only The Sites I Approve", by mouse; it counts before any save.
    QTest::mouseClick(form3->OnlyApprovedButton, Qt::LeftButton);
    EXPECT_TRUE(form3->onlyApproved());
    EXPECT_FALSE(form1->urlok("http://www.kids.example/"));

    // "Approved Sites..." by keyboard; a whole site typed and Enter, an address by mouse.
    form3->ApprovedSitesButton->setFocus();
    QTest::keyClick(form3->ApprovedSitesButton, Qt::Key_Space);
    ASSERT_TRUE(form3->ApprovedDialog->isVisible());
    QTest::keyClicks(form3->ApprovedEdit, "www.kids.example");
    QTest::keyClick(form3->ApprovedEdit, Qt::Key_Return);
    QTest::mouseClick(form3->AddressButton, Qt::LeftButton);
    type(form3->ApprovedEdit, "learn.example/maths/");
    QTest::mouseClick(form3->ApproveButton, Qt::LeftButton);
    type(form3->ApprovedEdit, "kids example");
    QTest::keyClick(form3->ApprovedEdit, Qt::Key_Enter);
    const Shown notASite{"message", "\"kids example\" is not the address of a site, so nothing was added.", "Error"};
    EXPECT_EQ(dialogs.shown, std::vector<Shown>{notASite});
    dialogs.clear();
    EXPECT_EQ(rows(form3->ApprovedSites),
              (std::vector<QString>{"Whole site: kids.example", "Address and below: http://learn.example/maths"}));
    EXPECT_TRUE(form3->ApprovedDialog->isVisible());  // Enter added; it closed nothing
    EXPECT_TRUE(form3->isVisible());
    EXPECT_TRUE(form1->urlok("http://www.kids.example/"));
    EXPECT_TRUE(form1->urlok("https://learn.example/maths/fractions"));
    EXPECT_FALSE(form1->urlok("https://learn.example/history"));
    QTest::keyClick(form3->ApprovedDialog, Qt::Key_Escape);
    EXPECT_FALSE(form3->ApprovedDialog->isVisible());

    // A whole site and a page blocked on "Parent Defined Blocked Links", Enter in the box.
    form3->SetupTabs->setCurrentWidget(form3->TabSheet3);
    QTest::mouseClick(form3->BlockSiteButton, Qt::LeftButton);
    type(form3->Edit12, "chat.kids.example");
    QTest::keyClick(form3->Edit12, Qt::Key_Return);
    QTest::mouseClick(form3->BlockPageButton, Qt::LeftButton);
    type(form3->Edit12, "www.kids.example/forum");
    QTest::keyClick(form3->Edit12, Qt::Key_Return);
    EXPECT_TRUE(form3->isVisible());
    EXPECT_EQ(rows(form3->ParentBlocks),
              (std::vector<QString>{"This page: http://www.chatroom.example", "This page: http://kids.example.org/forum",
                                    "This page: http://www.kids.example/forum", "Whole site: chat.kids.example"}));
    EXPECT_FALSE(form1->urlok("http://chat.kids.example/room/1"));
    EXPECT_FALSE(form1->urlok("http://www.kids.example/forum"));
    EXPECT_TRUE(form1->urlok("http://www.kids.example/forum/topic"));
    // The entries are kept at once; the choice with the save.
    EXPECT_EQ(dir.read("sites.dat"), "only-approved 0\r\nsafe-search 1\r\nallow-site kids.example\r\n"
                                     "allow-address http://learn.example/maths\r\nblock-site chat.kids.example\r\n");
    EXPECT_EQ(dir.read("pardata.dat"), "http://www.chatroom.example\r\nhttp://kids.example.org/forum\r\n"
                                       "http://www.kids.example/forum\r\n");

    // Saved with Enter, reopened: as chosen.
    form3->SetupTabs->setCurrentWidget(form3->TabSheet1);
    form3->CheckBox1->setFocus();
    QTest::keyClick(form3->CheckBox1, Qt::Key_Return);
    EXPECT_FALSE(form3->isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(dir.read("sites.dat").substr(0, 17), "only-approved 1\r\n");
    openSetup();
    EXPECT_TRUE(form3->OnlyApprovedButton->isChecked());
    EXPECT_EQ(form3->ApprovedSites->count(), 2);
    EXPECT_EQ(form3->ParentBlocks->count(), 4);

    // The panes decide so, and wenlow-check as the panes do. Site 1 verifies against the
    // main list, which the parent's approvals join.
    const std::vector<std::pair<QString, const char*>> decided = {
        {"http://www.kids.example/", "allow allow"},
        {"https://kids.example/games", "allow allow"},
        {"http://chat.kids.example/room/1", "refuse refuse"},
        {"http://www.kids.example/forum", "refuse refuse"},
        {"http://learn.example/maths/1", "allow allow"},
        {"http://learn.example/mathsgames", "refuse refuse"},
        {"https://www.nasa.gov/kids", "refuse refuse"},  // in the main list, but not approved
        {"http://other.example/", "refuse refuse"},
        {"http://ads.kids.example/", "allow allow"},  // approved over a "1http://ads." entry
    };
    std::vector<QString> addresses;
    std::string expected;
    for (const auto& [address, both] : decided) {
        EXPECT_EQ(panes(address), both + (" " + address.toStdString()));
        addresses.push_back(address);
        expected += both + (" " + address.toStdString()) + "\n";
    }
    EXPECT_EQ(check(addresses), expected);

    // Deleted by keyboard and mouse: the whole site block goes, and so does its refusal.
    form3->SetupTabs->setCurrentWidget(form3->TabSheet3);
    form3->ParentBlocks->setFocus();
    form3->ParentBlocks->setCurrentRow(3);
    QTest::mouseClick(form3->Button7, Qt::LeftButton);
    EXPECT_EQ(form3->ParentBlocks->count(), 3);
    EXPECT_TRUE(form1->urlok("http://chat.kids.example/room/1"));
    form3->ApprovedDialog->open();
    form3->ApprovedSites->setCurrentRow(0);
    QTest::mouseClick(form3->UnapproveButton, Qt::LeftButton);
    EXPECT_EQ(rows(form3->ApprovedSites), std::vector<QString>{"Address and below: http://learn.example/maths"});
    EXPECT_FALSE(form1->urlok("http://www.kids.example/"));
    EXPECT_EQ(dir.read("sites.dat"), "only-approved 1\r\nsafe-search 1\r\nallow-address http://learn.example/maths\r\n");
}

// A remembered answer of the request gate is made anew when a choice or a list changes.
// The program folder read-only to this process, as a child's account finds the system's:
// a bind mount in the test's own mount namespace (support/ownmounts.sh), undone at the end.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& dir) : dir_(dir) {
        const auto ns = [](const char* p) { return QFileInfo(p).symLinkTarget(); };
        if (!std::getenv("WENLOW_OWN_MOUNTS") || ns("/proc/self/ns/mnt") == ns("/proc/1/ns/mnt")) return;
        mounted_ = ::mount(dir_.c_str(), dir_.c_str(), nullptr, MS_BIND, nullptr) == 0;
        made_ = mounted_ && ::mount(nullptr, dir_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool made() const { return made_; }

private:
    std::string dir_;
    bool mounted_ = false, made_ = false;
};

// A child who knows the password (setup.dat is readable) opens the pages in an account
// that cannot write the program folder: nothing they change counts, stored or not.
TEST_F(ParentSites, InAnAccountThatCannotStoreOnlyWhatIsStoredCounts) {
    QTest::mouseClick(form3->Button8, Qt::LeftButton);
    // Stored meanwhile: the e-mail switch off.
    std::string setup = dir.read("setup.dat");
    setup[setup.find("\r\n1") + 2] = '0';
    dir.write("setup.dat", setup);
    const ReadOnlyFolder readOnly(dir.path());
    if (!readOnly.made()) GTEST_SKIP() << "no mount namespace of the test's own here (support/ownmounts.sh)";
    openSetup();
    // The rules are the ones stored: read by the load, not left over from the one before.
    EXPECT_FALSE(form3->option(OptEmail));
    EXPECT_TRUE(form3->option(OptPredefined));
    const std::vector<QString> addresses = {"http://www.badsite.example/", "http://kids.example.org/forum",
                                            "http://other.example/"};
    std::vector<std::string> before;
    for (const QString& a : addresses) before.push_back(panes(a));
    ASSERT_EQ(before[0], "refuse refuse http://www.badsite.example/");
    ASSERT_EQ(before[1], "refuse refuse http://kids.example.org/forum");

    QTest::mouseClick(form3->CheckBox2, Qt::LeftButton);  // the predefined list off
    form3->CheckBox13->setFocus();
    QTest::keyClick(form3->CheckBox13, Qt::Key_Space);    // the parent's list off
    form3->ParentBlocks->setCurrentRow(1);
    QTest::mouseClick(form3->Button7, Qt::LeftButton);     // "Delete Selected URL": refused
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(form3->ParentBlocks->count(), 2);
    QTest::mouseClick(form3->Button1, Qt::LeftButton);     // "Save Setup & Close": refused
    EXPECT_EQ(dialogs.shown.size(), 2u);
    for (std::size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(panes(addresses[i]), before[i]) << "window open";
    QTest::mouseClick(form3->Button8, Qt::LeftButton);     // "Cancel Changes & Close"
    for (std::size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(panes(addresses[i]), before[i]) << "window closed";
}

TEST_F(ParentSites, TheRequestGatesRulesStateFollowsEveryChange) {
    RulesState before = form1->rulesState();
    const std::function<void()> changes[] = {
        [&] { QTest::mouseClick(form3->OnlyApprovedButton, Qt::LeftButton); },
        [&] { form3->addParentEntry(ParentKind::ApproveSite, "kids.example"); },
        [&] { form3->addParentEntry(ParentKind::BlockSite, "chat.example"); },
        [&] { form3->addParentEntry(ParentKind::BlockPage, "chat.example/x"); },
        [&] {
            form3->ApprovedSites->setCurrentRow(0);
            form3->UnapproveButtonClick();
        },
        [&] { QTest::mouseClick(form3->EverySiteButton, Qt::LeftButton); },
    };
    for (const auto& change : changes) {
        change();
        const RulesState now = form1->rulesState();
        EXPECT_FALSE(now == before);
        before = now;
    }
}

TEST_F(ParentSites, SavingSettingsThatRefuseEverySiteSaysSo) {
    const std::string nothingApproved =
        "Saved. But \"Only The Sites I Approve\" is chosen and no site is approved yet, so children cannot open any "
        "site. Add the sites they may open on the \"Approved Sites\" page.";
    const auto nothingVerified = [](const char* sites) {
        return "Saved. But \"Verify\" is ticked for site " + std::string(sites) +
               " on the \"Buttons\" page and the list of approved addresses is empty, so children cannot open any "
               "link of that list page. Download the lists with \"Update Now\", untick \"Verify\", or approve the "
               "sites on the \"Approved Sites\" page.";
    };
    const struct {
        const char* name;
        bool onlyApproved;
        const char* approved;  // a site approved, or nothing
        bool mainList;         // the downloaded list of approved addresses has entries
        const char* verify;    // the Verify boxes
        std::vector<std::string> said;
    } cases[] = {
        {"the sample", false, nullptr, true, "100000000", {}},
        {"only approved, none", true, nullptr, true, "100000000", {nothingApproved}},
        {"only approved, one", true, "kids.example", true, "100000000", {}},
        {"Verify, no main list", false, nullptr, false, "101000000", {nothingVerified("1, 3")}},
        {"Verify of hidden sites", false, nullptr, false, "000010001", {}},
        {"Verify, an approved site", false, "kids.example", false, "100000000", {}},
        {"both", true, nullptr, false, "100000000", {nothingApproved, nothingVerified("1")}},
    };
    const std::string sample = dir.read("data.dat");
    for (const auto& c : cases) {
        form3->hide();
        dir.write("data.dat", c.mainList ? sample : "starturls\r\nmainurls\r\nendurls\r\n");
        dir.write("sites.dat", "");
        form1->lists.clear();
        form1->ReadSetupFromData();
        openSetup();
        (c.onlyApproved ? form3->OnlyApprovedButton : form3->EverySiteButton)->setChecked(true);
        if (c.approved) form3->addParentEntry(ParentKind::ApproveSite, c.approved);
        for (int i = 1; i <= 9; ++i) form3->verifyBox[i]->setChecked(c.verify[i - 1] == '1');
        dialogs.clear();
        form3->Button1Click();
        std::vector<std::string> said;
        for (const Shown& s : dialogs.shown) {
            EXPECT_EQ(s.caption, "Error") << c.name;
            said.push_back(s.text);
        }
        EXPECT_EQ(said, c.said) << c.name;
        EXPECT_FALSE(form3->isVisible()) << c.name;  // saved and closed all the same
    }
}

// Every control a parent can reach has a name a screen reader says; Tab reaches each new
// one, and the arrow keys choose between the choices of a group.
TEST_F(ParentSites, EveryControlHasANameAndTheNewOnesAreReachedByTheKeyboard) {
    form3->ApprovedDialog->open();
    for (QWidget* window : {static_cast<QWidget*>(form3), static_cast<QWidget*>(form3->ApprovedDialog)}) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->focusPolicy() == Qt::NoFocus || w->window() != window || !w->isVisibleTo(window)) continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->metaObject()->className() << " "
                                                                << w->objectName().toStdString();
        }
    }
    form3->ApprovedDialog->accept();

    // Tab from the page's tab through the page: the new controls on each.
    const auto reached = [&](QWidget* page, QWidget* window, QWidget* from) {
        if (page) form3->SetupTabs->setCurrentWidget(page);
        std::set<QWidget*> seen;
        from->setFocus();
        for (int i = 0; i < 40; ++i) {
            QWidget* at = window->focusWidget();
            if (!at) break;
            seen.insert(at);
            QTest::keyClick(at, Qt::Key_Tab);
        }
        return seen;
    };
    const struct {
        QWidget* page;
        std::vector<QWidget*> controls;
    } pages[] = {
        {form3->TabSheet1, {form3->SafeSearchBox, form3->EverySiteButton, form3->ApprovedSitesButton}},
        {form3->TabSheet2, {form3->PredefFilter, form3->PredefBlocks}},
        {form3->TabSheet3, {form3->Edit12, form3->BlockPageButton, form3->Button6}},
    };
    for (const auto& p : pages) {
        const std::set<QWidget*> seen = reached(p.page, form3, form3->SetupTabs->tabBar());
        for (QWidget* w : p.controls) EXPECT_TRUE(seen.count(w)) << w->objectName().toStdString();
    }
    form3->ApprovedDialog->open();
    const std::set<QWidget*> seen = reached(nullptr, form3->ApprovedDialog, form3->ApprovedEdit);
    for (QWidget* w : std::initializer_list<QWidget*>{form3->ApprovedEdit, form3->WholeSiteButton, form3->ApproveButton,
                                                      form3->ApprovedSites, form3->UnapproveButton, form3->ApprovedClose})
        EXPECT_TRUE(seen.count(w)) << w->objectName().toStdString();
    form3->ApprovedDialog->accept();

    // The arrow keys move a choice (of the window that has the keyboard).
    form3->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form3));
    form3->SetupTabs->setCurrentWidget(form3->TabSheet1);
    form3->EverySiteButton->setFocus();
    QTest::keyClick(form3->EverySiteButton, Qt::Key_Down);
    EXPECT_TRUE(form3->onlyApproved());
    form3->SetupTabs->setCurrentWidget(form3->TabSheet3);
    form3->BlockPageButton->setFocus();
    QTest::keyClick(form3->BlockPageButton, Qt::Key_Down);
    EXPECT_TRUE(form3->BlockSiteButton->isChecked());
}

// README.md's "Allow only chosen sites, step by step", followed from the sample folder:
// every link of the first list page opens at the first click, and nothing else does.
TEST_F(ParentSites, TheReadmeRecipeOpensTheApprovedSitesAtTheFirstClick) {
    QTest::mouseClick(form3->OnlyApprovedButton, Qt::LeftButton);
    QTest::mouseClick(form3->ApprovedSitesButton, Qt::LeftButton);
    for (const char* site : {"www.nasa.gov", "kids.nationalgeographic.com", "pbskids.org", "kids.britannica.com"}) {
        type(form3->ApprovedEdit, site);
        QTest::keyClick(form3->ApprovedEdit, Qt::Key_Return);
    }
    QTest::mouseClick(form3->ApprovedClose, Qt::LeftButton);
    QTest::mouseClick(form3->Button1, Qt::LeftButton);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(form3->isVisible());

    const QString page = QString::fromStdString(dir.read("list1.html"));
    const QRegularExpression href("href=\"([^\"]+)\"");
    int links = 0;
    for (auto m = href.globalMatch(page); m.hasNext(); ++links) {
        const QString link = m.next().captured(1);
        right->navigateCalls.clear();
        left->clickLink(link);
        EXPECT_EQ(right->navigateCalls, QStringList{link});
        EXPECT_EQ(right->current, link);
        EXPECT_TRUE(dialogs.shown.empty()) << link.toStdString() << ": " << dialogs.texts().front();
        dialogs.clear();
    }
    EXPECT_EQ(links, 4);
    left->clickLink("https://www.example.com/");
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{RefusedLeftText});
}

// The "Refusals" page's actions write the same entries as the parent's own lists, which
// count at once.
TEST(RefusalsPage, ItsActionsAddTheParentsEntries) {
    ProgramFolder dir{true};
    RecordingDialogs dialogs;
    Records records(std::make_unique<FileStore>(dir.path()));
    ProgramWindows windows = createWindows(dialogs, dir.path(), {"PARENT"},
                                           [](QWidget* parent) -> BrowserPane* { return new ScriptedPane(parent); },
                                           &records);
    TForm1& form1 = *windows.form1;
    TForm3& form3 = *windows.form3;
    form1.FormActivate();
    form1.Setup1Click();  // the page's actions wait for the password
    form3.Edit1->setText("parent");
    form3.Button4Click();
    auto* right = static_cast<ScriptedPane*>(form1.WebBrowser2);
    const struct {
        const char* refused;
        QPushButton* RecordsPage::*action;
        const char* approvedRow;  // as the approved sites then list it, or nothing
        const char* blockedRow;   // as the blocked links then list it, or nothing
        bool opens;               // the refused address, afterwards
    } cases[] = {
        {"http://www.badsite.example/games", &RecordsPage::AllowSite, "Whole site: badsite.example", nullptr, true},
        {"http://ads.example/banner", &RecordsPage::AllowPage, "Address and below: http://ads.example/banner", nullptr,
         true},
        {"http://www.gambling.example/poker", &RecordsPage::BlockSite, nullptr, "Whole site: gambling.example",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        EXPECT_FALSE(right->clickLink(c.refused));
        form1.flushRecords();
        form3.RecordsTab->refresh();
        QTreeWidget* list = form3.RecordsTab->RecordList;
        ASSERT_GE(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));  // the newest refusal
        QPushButton* action = form3.RecordsTab->*c.action;
        ASSERT_TRUE(action->isEnabled());
        action->click();
        if (c.approvedRow) {
            EXPECT_EQ(rows(form3.ApprovedSites).back(), c.approvedRow);
        }
        if (c.blockedRow) {
            EXPECT_EQ(rows(form3.ParentBlocks).back(), c.blockedRow);
        }
        EXPECT_EQ(form1.urlok(c.refused), c.opens);
    }
    EXPECT_EQ(dir.read("sites.dat"), "only-approved 0\r\nsafe-search 1\r\nallow-site badsite.example\r\n"
                                     "allow-address http://ads.example/banner\r\nblock-site gambling.example\r\n");
}

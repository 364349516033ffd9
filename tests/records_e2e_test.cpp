// What the real engine's refusals leave in the records, and a child's request on its way
// to a parent's page and back.
#include "records/desk.h"
#include "setup/form3.h"
#include "setup/recordspage.h"
#include "support/endtoend.h"
#include "support/httpserver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>

namespace {

// The test's own journal when it has one (tests/support/journal.sh), else the file.
std::unique_ptr<Records> testRecords(const std::string& dir) {
    if (std::getenv("WENLOW_TEST_JOURNAL")) return std::make_unique<Records>(std::make_unique<JournalStore>());
    return std::make_unique<Records>(std::make_unique<FileStore>(dir));
}

class RecordsEndToEnd : public EndToEnd {
protected:
    LoopbackHttpServer server;

    void startWithRecords() {
        records = testRecords(dir.path());
        std::string pictures;
        for (int i = 0; i < 200; ++i) pictures += "<img src='/no/picture" + std::to_string(i) + ".gif'>";
        server.page("/page", ("<html><head><title>Page</title></head><body><iframe src='/no/frame'></iframe>" +
                              pictures + "</body></html>")
                                 .c_str());
        server.page("/no/page", "<html><head><title>Refused</title></head><body>no</body></html>");
        dir.write("list1.html", "<html><head><title>List</title></head><body><a id='no' href='" +
                                    server.url("/no/link").toStdString() + "'>no</a></body></html>");
        dir.write("setup.dat", "\r\n11111100\r\n\r\n000000000\r\n100000000\r\nlist1.html\r\n");
        dir.write("data.dat", "starturls\r\n1" + server.url("/no/").toStdString() + "\r\nmainurls\r\nendurls\r\n");
        start();
    }

    // This test's records (the journal may hold other tests').
    std::vector<Record> mine(RecordKind kind) {
        std::vector<Record> out;
        const std::string prefix = server.url("/").toStdString();
        for (Record& r : records->recent(100000))
            if (r.kind == kind && (r.address.rfind(prefix, 0) == 0)) out.push_back(std::move(r));
        return out;
    }
    // Waits until the journal shows it: it writes a moment after it is told.
    std::vector<Record> waitForRecords(RecordKind kind, std::size_t count = 1) {
        std::vector<Record> got;
        waitFor([&] {
            form1->flushRecords();
            got = mine(kind);
            return got.size() >= count;
        }, 10000);
        return got;
    }
};

}  // namespace

TEST_F(RecordsEndToEnd, EachKindOfRefusalIsRecordedWithWhereAndWhy) {
    startWithRecords();
    const std::string base = server.url("/").toStdString();
    click(left, "no");
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    form1->WebBrowser2->Navigate(server.url("/no/page"));
    form1->WebBrowser2->Navigate(server.url("/page"));
    ASSERT_TRUE(waitFor([&] { return right->view()->title() == "Page"; }));
    waitFor([] { return false; }, 1000);  // every picture asked for by now

    const struct {
        const char* name;
        RecordKind kind;
        std::string address;  // the (first) refused address
        const char* pane;
        std::string page;
        std::uint64_t count;
    } kinds[] = {
        {"a link of the list pane", RecordKind::Navigation, base + "no/link", "left", "", 1},
        {"a navigation of the right pane", RecordKind::Navigation, base + "no/page", "right", "", 1},
        {"a frame", RecordKind::Frame, base + "no/frame", "right", base + "page", 1},
        {"200 pictures, one record", RecordKind::Subresources, base + "no/picture", "right", base + "page", 200},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        const auto got = waitForRecords(k.kind, k.kind == RecordKind::Navigation ? 2 : 1);
        const auto found = std::find_if(got.begin(), got.end(), [&](const Record& r) {
            return r.address.rfind(k.address, 0) == 0 && r.pane == k.pane;
        });
        ASSERT_NE(found, got.end());
        EXPECT_EQ(found->site, "127.0.0.1");
        EXPECT_EQ(found->page, k.page);
        EXPECT_EQ(found->count, k.count);
        EXPECT_EQ(found->button, 1);
        EXPECT_EQ(found->rule, "predefined 1" + server.url("/no/").toUpper().toStdString());
        EXPECT_EQ(found->account, thisAccount());
        EXPECT_GT(found->time, nowMicroseconds() - 120'000'000);
    }
    EXPECT_EQ(mine(RecordKind::Subresources).size(), 1u);
}

TEST_F(RecordsEndToEnd, AChildsRequestReachesTheParentsPageOnceUntilAnswered) {
    startWithRecords();
    const QString refused = server.url("/no/page");
    dialogs.askAnswer = "for my homework";
    form1->WebBrowser2->Navigate(refused);
    ASSERT_TRUE(waitFor([&] { return dialogs.shown.size() >= 2; }));
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{{"message", RefusedRightText, "Error"},
                                                 {"message", RequestSentText, AskCaption}}));
    const auto asked = waitForRecords(RecordKind::Request);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].note, "for my homework");
    EXPECT_EQ(asked[0].pane, "right");

    // One request an address: asked again, the box does not offer it.
    dialogs.clear();
    form1->WebBrowser2->Navigate(refused);
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.couldAsk.back(), false);
    EXPECT_EQ(dialogs.shown.size(), 1u);

    // The parent's page, behind the password: the request first, with the child's note.
    TForm3& setup = *form1->Form3;
    form1->Setup1Click();
    setup.Edit1->setText(QString::fromStdString(setup.Password));
    setup.Button4Click();
    setup.RecordsTab->refresh();
    ASSERT_GE(setup.RecordsTab->RecordList->topLevelItemCount(), 2);
    QTreeWidgetItem* first = setup.RecordsTab->RecordList->topLevelItem(0);
    EXPECT_EQ(first->text(0), "Asked: " + refused + " \"for my homework\"");
    EXPECT_EQ(setup.RecordsTab->RecordList->topLevelItem(1)->text(0), "127.0.0.1");
    setup.RecordsTab->RecordList->setCurrentItem(first);
    ASSERT_TRUE(setup.RecordsTab->Decline->isEnabled());
    setup.RecordsTab->Decline->click();
    EXPECT_EQ(setup.RecordsTab->RecordList->topLevelItem(0)->text(0), "127.0.0.1");
    EXPECT_EQ(waitForRecords(RecordKind::Declined).size(), 1u);

    // Declined, the child may ask again.
    dialogs.clear();
    form1->WebBrowser2->Navigate(refused);
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.couldAsk.back(), true);

    // Approved on the parent's page, the page opens for the child at once.
    ASSERT_EQ(waitForRecords(RecordKind::Request, 2).size(), 2u);  // asked again
    setup.RecordsTab->refresh();
    setup.RecordsTab->RecordList->setCurrentItem(setup.RecordsTab->RecordList->topLevelItem(0));
    ASSERT_TRUE(setup.RecordsTab->AllowPage->isEnabled());
    setup.RecordsTab->AllowPage->click();
    dialogs.clear();
    form1->WebBrowser2->Navigate(refused);
    EXPECT_TRUE(waitFor([&] { return right->view()->title() == "Refused"; }));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(waitForRecords(RecordKind::Approved).size(), 1u);
}

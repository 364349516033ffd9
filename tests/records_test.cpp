// Records of refusals and requests: the bounded file, the journal (when the test has one
// of its own), the writer thread, the summary a parent reads and the tally of a page.
#include "records/records.h"
#include "records/summary.h"
#include "records/tally.h"
#include "support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

Record refusal(RecordKind kind, std::string address, std::int64_t time, std::uint64_t count = 1) {
    Record r;
    r.kind = kind;
    r.site = siteOf(address);
    r.address = std::move(address);
    r.time = time;
    r.count = count;
    r.account = "kid";
    r.rule = "1HTTP://BAD";
    return r;
}

// With the journal the test started (tests/support/journal.sh), else the file.
bool ownJournal() { return std::getenv("WENLOW_TEST_JOURNAL") != nullptr; }

}  // namespace

TEST(RecordFile, EveryFieldComesBackAsWritten) {
    ProgramFolder dir;
    FileStore store(dir.path());
    Record odd = refusal(RecordKind::Request, "http://a.example/x?q=1#f", 1700000000123456);
    odd.note = "tab\there, line\nbreak, back\\slash, \xe9t\xe9";
    odd.pane = "right";
    odd.button = 9;
    odd.page = "http://page.example/";
    Record empty = refusal(RecordKind::Declined, "", 1);
    empty.rule.clear();
    empty.site.clear();
    const std::vector<Record> written = {refusal(RecordKind::Navigation, "http://bad.example/", 1700000000000000),
                                         odd, empty, refusal(RecordKind::Subresources, "http://ads.example/p.gif", 5, 200)};
    store.write(written);
    EXPECT_EQ(store.recent(100), written);
    EXPECT_EQ(store.recent(2), std::vector<Record>(written.end() - 2, written.end()));
}

TEST(RecordFile, StaysWithinItsBoundUnderAFloodAndKeepsTheNewest) {
    ProgramFolder dir;
    const std::uint64_t limit = 16 * 1024;
    FileStore store(dir.path(), limit);
    for (int batch = 0; batch < 300; ++batch) {
        std::vector<Record> records;
        for (int i = 0; i < 50; ++i)
            records.push_back(refusal(RecordKind::Subresources, "http://ads" + std::to_string(i) + ".example/banner.gif",
                                      batch * 100 + i));
        store.write(records);
        const auto size = [&](const char* name) { return QFileInfo(QString::fromStdString(dir.file(name))).size(); };
        ASSERT_LE(size("records.log"), static_cast<qint64>(limit));
        ASSERT_LE(size("records.old"), static_cast<qint64>(limit));
    }
    const auto kept = store.recent(1000000);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.back().time, 299 * 100 + 49);
    for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_LT(kept[i - 1].time, kept[i].time);
}

TEST(RecordFile, DamagedLinesAreSkipped) {
    ProgramFolder dir;
    FileStore store(dir.path());
    const Record good = refusal(RecordKind::Frame, "http://f.example/", 7);
    dir.write("records.log", "# header\nnot a record\n2024-13-99T00:00:00.000000Z\tx\n" + FileStore::line(good) +
                                 FileStore::line(good).substr(0, 20));  // the last one cut short
    EXPECT_EQ(store.recent(10), std::vector<Record>{good});
}

TEST(RecordJournal, EveryFieldComesBackWithTheTrustedAccount) {
    if (!ownJournal()) GTEST_SKIP() << "no journal of the test's own here; the file is tested above";
    JournalStore store;
    Record r = refusal(RecordKind::Request, "http://asked.example/page", 0);
    r.note = "for homework\nplease";
    r.pane = "right";
    r.button = 3;
    r.account = "forged";  // the journal's own _UID counts, not this
    r.address += std::to_string(nowMicroseconds());
    store.write({r});
    std::vector<Record> back;
    QElapsedTimer clock;
    clock.start();
    while ((back.empty() || back.back().address != r.address) && clock.elapsed() < 5000) back = store.recent(5);
    ASSERT_FALSE(back.empty());
    Record got = back.back();
    EXPECT_EQ(got.account, thisAccount());
    EXPECT_NEAR(static_cast<double>(got.time), static_cast<double>(nowMicroseconds()), 10e6);
    got.time = r.time;
    got.account = r.account;
    EXPECT_EQ(got, r);
}

TEST(Records, WrittenOnTheirOwnThreadAndReadBack) {
    ProgramFolder dir;
    Records records(std::make_unique<FileStore>(dir.path()));
    Record r = refusal(RecordKind::Navigation, "http://x.example/", 0);
    r.account.clear();
    r.address += std::string(5000, 'a');  // cut to a line's room
    records.add(r);
    const auto back = records.recent(10);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].account, thisAccount());
    EXPECT_GT(back[0].time, 0);
    EXPECT_EQ(back[0].address.size(), 2000u);
}

TEST(Summary, RequestsWaitUntilAnsweredAndSitesGroupNewestFirst) {
    const auto rec = [](RecordKind kind, const char* address, std::int64_t time, std::uint64_t count = 1) {
        return refusal(kind, address, time, count);
    };
    const struct {
        const char* name;
        std::vector<Record> records;
        std::vector<std::string> pending;  // addresses, newest first
        std::vector<std::pair<std::string, std::uint64_t>> sites;  // newest first
    } cases[] = {
        {"nothing", {}, {}, {}},
        {"refusals add up by site, frames and subresources too",
         {rec(RecordKind::Navigation, "http://a.example/1", 1), rec(RecordKind::Subresources, "http://b.example/x", 2, 40),
          rec(RecordKind::Frame, "http://a.example/2", 3)},
         {},
         {{"a.example", 2}, {"b.example", 40}}},
        {"a request waits", {rec(RecordKind::Request, "http://a.example/", 1)}, {"http://a.example/"}, {}},
        {"approved or declined, it is answered",
         {rec(RecordKind::Request, "http://a.example/", 1), rec(RecordKind::Request, "http://b.example/", 2),
          rec(RecordKind::Request, "http://c.example/", 3), rec(RecordKind::Approved, "http://a.example/", 4),
          rec(RecordKind::Declined, "http://b.example/", 5)},
         {"http://c.example/"},
         {}},
        {"asked again after a decline, it waits again; asked twice, it is one",
         {rec(RecordKind::Request, "http://a.example/", 1), rec(RecordKind::Declined, "http://a.example/", 2),
          rec(RecordKind::Request, "http://a.example/", 3), rec(RecordKind::Request, "http://b.example/", 4),
          rec(RecordKind::Request, "http://a.example/", 5)},
         {"http://a.example/", "http://b.example/"},
         {}},
        {"an address without a host is its own group", {rec(RecordKind::Navigation, "mailto:x@y.example", 1)}, {},
         {{"mailto:x@y.example", 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordSummary s = summarise(c.records);
        std::vector<std::string> pending;
        for (const auto& r : s.pending) pending.push_back(r.address);
        EXPECT_EQ(pending, c.pending);
        std::vector<std::pair<std::string, std::uint64_t>> sites;
        for (const auto& g : s.sites) sites.emplace_back(g.site, g.count);
        EXPECT_EQ(sites, c.sites);
    }
}

TEST(RefusalTally, APageOfRefusedPicturesIsOneRecordASite) {
    ProgramFolder dir;
    Records records(std::make_unique<FileStore>(dir.path()));
    int completed = 0;
    RefusalTally tally(records, [&](Record& r) {
        ++completed;
        r.pane = "right";
        r.rule = "2ads.example";
    }, 60000);
    const QUrl page("http://news.example/story?id=7#top");
    for (int i = 0; i < 200; ++i) tally.count(page, QUrl(QString("http://ads.example/%1.gif").arg(i)), false);
    tally.count(page, QUrl("http://cdn.tracker.example/t.js"), false);
    tally.count(page, QUrl("http://frames.example/ad"), true);
    tally.count(page, QUrl("http://frames.example/ad"), true);
    for (int i = 0; i < RefusalTally::KeyLimit + 50; ++i)
        tally.count(QUrl("http://flood.example/"), QUrl(QString("http://s%1.example/").arg(i)), false);
    tally.flush();
    auto back = records.recent(10000);
    EXPECT_EQ(completed, static_cast<int>(back.size()));
    std::map<std::string, Record> bySite;
    std::uint64_t flood = 0;
    for (const auto& r : back) {
        if (r.page == "http://flood.example/")
            flood += r.count;
        else
            bySite[r.site] = r;
    }
    ASSERT_EQ(bySite.size(), 3u);
    EXPECT_EQ(bySite["ads.example"].count, 200u);
    EXPECT_EQ(bySite["ads.example"].kind, RecordKind::Subresources);
    EXPECT_EQ(bySite["ads.example"].page, "http://news.example/story");
    EXPECT_EQ(bySite["ads.example"].address, "http://ads.example/0.gif");
    EXPECT_EQ(bySite["ads.example"].rule, "2ads.example");
    EXPECT_EQ(bySite["frames.example"].kind, RecordKind::Frame);
    EXPECT_EQ(bySite["frames.example"].count, 2u);
    EXPECT_EQ(flood, static_cast<std::uint64_t>(RefusalTally::KeyLimit + 50));
    EXPECT_LE(back.size(), static_cast<std::size_t>(RefusalTally::KeyLimit + 3));
}

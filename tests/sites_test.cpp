// The parent's own sites: sites.dat, what a parent types, and what the entries decide
// between the predefined list and the parent's single pages.
#include "approval/gate.h"
#include "approval/sites.h"
#include "approval/urlok.h"
#include "data/sitesfile.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "support/tempdir.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

SitesValues values(bool only, bool safe, std::vector<SiteEntry> entries, std::vector<std::string> other = {}) {
    return {only, safe, std::move(entries), std::move(other)};
}

void expectEqual(const SitesValues& a, const SitesValues& b, const std::string& what) {
    EXPECT_EQ(a.onlyApproved, b.onlyApproved) << what;
    EXPECT_EQ(a.safeSearch, b.safeSearch) << what;
    EXPECT_EQ(a.entries, b.entries) << what;
    EXPECT_EQ(a.otherLines, b.otherLines) << what;
}

}  // namespace

TEST(SitesFile, ReadAsMeantAndWrittenBackWithWhatItDoesNotKnow) {
    const auto site = [](ParentKind k, const char* t) { return SiteEntry{k, t}; };
    const struct {
        const char* text;
        SitesValues read;
        const char* written;
    } cases[] = {
        {"", values(false, false, {}), "only-approved 0\r\nsafe-search 0\r\n"},
        {"only-approved 1\nsafe-search 1\n", values(true, true, {}), "only-approved 1\r\nsafe-search 1\r\n"},
        // A damaged switch never opens more: anything but "0" is on.
        {"only-approved yes\r\nsafe-search\r\n", values(true, true, {}), "only-approved 1\r\nsafe-search 1\r\n"},
        {"\r\n  allow-site  kids.example \r\nallow-address\thttp://learn.example/maths\rblock-site chat.example\r\n",
         values(false, false,
                {site(ParentKind::ApproveSite, "kids.example"),
                 site(ParentKind::ApproveAddress, "http://learn.example/maths"),
                 site(ParentKind::BlockSite, "chat.example")}),
         "only-approved 0\r\nsafe-search 0\r\nallow-site kids.example\r\nallow-address http://learn.example/maths\r\n"
         "block-site chat.example\r\n"},
        // A later version's lines, and an entry without a site, are kept as they were.
        {"block-page http://x.example\r\nallow-site\r\nsafe-search 0\r\n",
         values(false, false, {}, {"block-page http://x.example", "allow-site"}),
         "only-approved 0\r\nsafe-search 0\r\nblock-page http://x.example\r\nallow-site\r\n"},
    };
    for (const auto& c : cases) {
        const SitesValues v = parseSites(c.text);
        expectEqual(v, c.read, c.text);
        EXPECT_EQ(sitesFileBytes(v), c.written) << c.text;
        expectEqual(parseSites(sitesFileBytes(v)), v, c.text);
    }
}

TEST(SitesFile, AMissingFileIsTheDefaultsAndAnUnreadableOneAnError) {
    ProgramFolder dir;
    expectEqual(readSitesFile(dir.path()), SitesValues{}, "missing");
    writeSitesFile(dir.path(), values(true, true, {{ParentKind::BlockSite, "chat.example"}}));
    EXPECT_EQ(dir.read("sites.dat"), "only-approved 1\r\nsafe-search 1\r\nblock-site chat.example\r\n");
    expectEqual(readSitesFile(dir.path()), values(true, true, {{ParentKind::BlockSite, "chat.example"}}), "written");
    dir.remove("sites.dat");
    QDir(QString::fromStdString(dir.path())).mkdir("sites.dat");
    try {
        readSitesFile(dir.path());
        ADD_FAILURE() << "a folder read as sites.dat";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.file("sites.dat"));
    }
}

TEST(SiteEntries, WhatAParentTypesBecomes) {
    const struct {
        ParentKind kind;
        const char* typed;
        const char* entry;  // "" for no entry
    } cases[] = {
        {ParentKind::ApproveSite, "www.Kids.Example/games/", "kids.example"},
        {ParentKind::ApproveSite, " https://user:pw@m.kids.example.:8080/x ", "m.kids.example"},
        {ParentKind::ApproveSite, "//www.example", "www.example"},  // "www." is the name itself here
        {ParentKind::ApproveSite, "b\xC3\xBC" "cher.example", "xn--bcher-kva.example"},
        {ParentKind::ApproveSite, "192.168.1.10", "192.168.1.10"},
        {ParentKind::ApproveSite, "kids", "kids"},
        {ParentKind::ApproveSite, "  ", ""},
        {ParentKind::ApproveSite, "kids example", ""},
        {ParentKind::ApproveSite, "*.kids.example", "kids.example"},  // as block lists write a whole site
        {ParentKind::BlockSite, "..kids.example", "kids.example"},
        {ParentKind::ApproveSite, "http://", ""},
        {ParentKind::ApproveSite, "mailto:kid@kids.example", ""},
        {ParentKind::ApproveAddress, "learn.example/maths/", "http://learn.example/maths"},
        {ParentKind::ApproveAddress, "HTTPS://Learn.Example/Maths#top", "https://learn.example/Maths"},
        {ParentKind::ApproveAddress, "http://user@learn.example/a b", "http://learn.example/a%20b"},
        {ParentKind::BlockSite, "http://www.chat.example/rooms/1", "chat.example"},
        {ParentKind::BlockPage, "http://www.chat.example/rooms/1", ""},  // pardata.dat's form: parentEntry
    };
    for (const auto& c : cases) {
        const auto entry = siteEntryFrom(c.kind, c.typed);
        EXPECT_EQ(entry ? entry->text : std::string(), c.entry) << c.typed;
        if (entry) {
            EXPECT_EQ(entry->kind, c.kind) << c.typed;
        }
    }
    EXPECT_EQ(entryInWords({ParentKind::BlockSite, "chat.example"}), "Whole site: chat.example");
    EXPECT_EQ(entryInWords({ParentKind::BlockPage, "http://chat.example/x"}), "This page: http://chat.example/x");
    EXPECT_EQ(entryInWords({ParentKind::ApproveAddress, "http://a.example/b"}), "Address and below: http://a.example/b");
}

namespace {

// A public list that blocks a domain and opens one address below it, the parent's own
// single page, and the parent's sites.
struct Family {
    LinkLists lists;
    PlainSettings settings;
    Family(bool only, bool blocks) {
        lists.append({"1HTTP://ADS.", "2BAD.COM", "4HTTP://GAMES.BAD.COM/CHESS"}, {});
        settings.setup.options.fill(true);
        settings.setup.options[OptParent - 1] = blocks;
        settings.setup.verify.fill(true);
        settings.parent = {"http://kids.example/chat"};
        settings.setSites(values(only, false,
                                 {{ParentKind::ApproveSite, "kids.example"},
                                  {ParentKind::ApproveSite, "good.bad.com"},
                                  {ParentKind::ApproveAddress, "http://learn.example/maths"},
                                  {ParentKind::BlockSite, "chat.kids.example"},
                                  {ParentKind::BlockSite, "games.bad.com"},
                                  {ParentKind::BlockSite, "tie.example"},
                                  {ParentKind::ApproveSite, "tie.example"}}));
    }
};

}  // namespace

TEST(ParentSites, DecideBetweenThePredefinedListAndTheSinglePages) {
    const struct {
        const char* address;
        bool only, blocks;  // only the approved sites; the parent's blocks switched on
        bool ok;
        const char* rule;
    } cases[] = {
        {"http://www.kids.example/", false, true, true, "approved site kids.example"},
        {"https://www.kids.example:8443/x", false, true, true, "approved site kids.example"},
        {"http://chat.kids.example/room", false, true, false, "blocked site chat.kids.example"},  // the nearer name
        {"http://kids.example/chat", false, true, false, "parent http://kids.example/chat"},      // a page beats it
        {"http://good.bad.com/x", false, true, true, "approved site good.bad.com"},   // over a "2" entry
        {"http://games.bad.com/chess", false, true, false, "blocked site games.bad.com"},  // over a "4" entry
        {"http://tie.example/", false, true, false, "blocked site tie.example"},      // the block, at equal names
        {"http://learn.example/maths/fractions", false, true, true, "approved address http://learn.example/maths"},
        {"http://ads.kids.example/", false, true, true, "approved site kids.example"},  // over a "1" entry
        {"http://learn.example/mathsgames", false, true, true, "no rule"},
        {"http://kids.example.evil.com/", false, true, true, "no rule"},
        {"http://bad.com/", false, true, false, "predefined 2BAD.COM"},
        // Only the approved sites.
        {"http://other.example/", true, true, false, "only approved sites"},
        {"http://learn.example/mathsgames", true, true, false, "only approved sites"},
        {"http://learn.example/maths?level=2", true, true, true, "approved address http://learn.example/maths"},
        {"http://learn.example/maths#top", true, true, true, "approved address http://learn.example/maths"},
        {"http://www.kids.example/", true, true, true, "approved site kids.example"},
        {"http://chat.kids.example/", true, true, false, "blocked site chat.kids.example"},
        {"c:\\kids\\page.htm", true, true, false, "only approved sites"},
        {"mailto:kid@kids.example", true, true, false, "e-mail switch"},
        // The parent's blocks switched off: whole sites as well as pages.
        {"http://chat.kids.example/room", false, false, true, "approved site kids.example"},
        {"http://games.bad.com/chess", false, false, true, "predefined 4HTTP://GAMES.BAD.COM/CHESS"},
        {"http://kids.example/chat", false, false, true, "approved site kids.example"},
        {"http://chat.kids.example/room", true, false, true, "approved site kids.example"},
    };
    for (const auto& c : cases) {
        const Family f(c.only, c.blocks);
        const Verdict v = urlokVerdict(c.address, f.settings, f.lists);
        EXPECT_EQ(v.ok, c.ok) << c.address << " only=" << c.only;
        EXPECT_EQ(v.rule, c.rule) << c.address << " only=" << c.only;
        EXPECT_EQ(urlokScan(c.address, f.settings, f.lists), c.ok) << c.address << " only=" << c.only;
    }
}

// sites.dat as a school's administrator might write it by hand: each entry means, and is
// shown and written back as, what the setup window stores for it, whatever its spelling
// and the letter case of its key; one that names no site is kept, deciding nothing.
TEST(ParentSites, EntriesWrittenByHandMeanWhatTheWindowWouldStore) {
    const SitesValues file = parseSites("Only-Approved 1\r\n"
                                        "Block-Site http://bad1.example/x\r\nblock-site *.bad2.example\r\n"
                                        "block-site bad3.example:80\r\nblock-site caf\xC3\xA9.example\r\n"
                                        "block-site .bad5.example\r\nBLOCK-SITE BAD6.example.\r\n"
                                        "allow-site *.kids.example\r\nALLOW-ADDRESS learn.example/maths/\r\n"
                                        "allow-site kids example\r\nallow-site www.fun.example\r\n");
    const SitesValues read = storedForm(file);
    std::vector<std::string> texts;
    for (const SiteEntry& e : read.entries) texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"bad1.example", "bad2.example", "bad3.example", "xn--caf-dma.example",
                                               "bad5.example", "bad6.example", "kids.example",
                                               "http://learn.example/maths", "www.fun.example"}));
    EXPECT_EQ(read.otherLines, std::vector<std::string>{"# names no site: allow-site kids example"});
    PlainSettings settings;
    settings.setup.options.fill(true);
    settings.setSites(file);  // as the browser and wenlow-check read it
    const LinkLists lists;
    const struct {
        const char* address;
        bool only;  // only the approved sites
        bool ok;
    } cases[] = {
        {"http://bad1.example/", false, false},       {"http://www.x.bad2.example/", false, false},
        {"http://bad3.example/", false, false},       {"http://xn--caf-dma.example/", false, false},
        {"http://a.bad5.example/", false, false},     {"http://bad6.example/", false, false},
        {"http://www.kids.example/", true, true},     {"http://learn.example/maths/1", true, true},
        {"http://learn.example/music", true, false},  {"http://www.fun.example/", true, true},
        {"http://chat.fun.example/", true, false},    // "www." kept
    };
    for (const auto& c : cases) {
        settings.onlyApprovedSites = c.only;
        EXPECT_EQ(urlokVerdict(c.address, settings, lists).ok, c.ok) << c.address;
        EXPECT_EQ(urlokScan(c.address, settings, lists), c.ok) << c.address;
    }
    EXPECT_TRUE(read.onlyApproved);
    // Nothing that could ever open a site does not count as an approval.
    EXPECT_FALSE(SiteList(storedForm(parseSites("allow-site kids example\r\nallow-address http://\r\n")).entries)
                     .approvesAny());
}

// A secure connection is refused only when nothing on its host could be opened, and
// the left pane's verification takes the parent's approvals as approved addresses.
TEST(ParentSites, HostsOfSecureConnectionsAndVerification) {
    const struct {
        const char* address;
        bool only;
        bool tunnel;    // the host of a secure connection
        bool verified;  // the left pane, verification on, no main list
    } cases[] = {
        {"https://learn.example", true, true, false},
        {"https://learn.example/maths", true, true, true},
        {"https://www.kids.example", true, true, true},
        {"https://chat.kids.example", true, false, false},
        {"https://other.example", true, false, false},
        {"https://other.example", false, true, false},
        {"https://bad.com", false, false, false},
        {"https://good.bad.com", false, true, true},
        {"https://games.bad.com", false, false, false},
    };
    for (const auto& c : cases) {
        const Family f(c.only, true);
        EXPECT_EQ(requestAllowed(c.address, RequestKind::Tunnel, f.settings, f.lists, "/opt/wenlow/"), c.tunnel)
            << c.address << " only=" << c.only;
        EXPECT_EQ(MainUrlOk(c.address, 1, f.settings, f.lists), c.verified) << c.address << " only=" << c.only;
        EXPECT_EQ(mainUrlOkScan(c.address, 1, f.settings, f.lists), c.verified) << c.address << " only=" << c.only;
    }
    const Family f(true, true);
    EXPECT_EQ(mainUrlOkVerdict("http://www.kids.example/", 1, f.settings, f.lists).rule, "approved site kids.example");
    EXPECT_EQ(hostVerdict("https://learn.example", f.settings, f.lists).rule,
              "approved address http://learn.example/maths");
}

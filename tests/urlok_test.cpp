#include "approval/urlok.h"

#include "approval/engineform.h"
#include "approval/gate.h"

#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

struct Case {
    const char* url;
    bool ok;
};

// All switches on, no verification flags.
PlainSettings allOn(std::vector<std::string> parent = {}) {
    PlainSettings s;
    s.setup.options.fill(true);
    s.parent = std::move(parent);
    return s;
}

LinkLists predefined(std::vector<std::string> entries) {
    LinkLists l;
    l.append(std::move(entries), {});
    return l;
}

void expectCases(const std::vector<Case>& cases, const SettingsView& s, const LinkLists& l) {
    for (const Case& c : cases) EXPECT_EQ(urlok(c.url, s, l), c.ok) << c.url;
}

}  // namespace

TEST(Urlok, NormalisedAddress) {
    EXPECT_EQ(normalisedAddress("www.site.com/a/"), "HTTP://WWW.SITE.COM/A");
    EXPECT_EQ(normalisedAddress("http://Site.com///"), "HTTP://SITE.COM");
    EXPECT_EQ(normalisedAddress("c:\\kids\\list.htm"), "C:\\KIDS\\LIST.HTM");
    EXPECT_EQ(normalisedAddress("file:///x/list.html"), "HTTP://FILE:///X/LIST.HTML");
    EXPECT_EQ(normalisedAddress("about:blank"), "HTTP://ABOUT:BLANK");
    // A secure address meets the lists in plain web form.
    EXPECT_EQ(normalisedAddress("https://Site.com/"), "HTTP://SITE.COM");
    EXPECT_EQ(normalisedAddress(""), "HTTP:");  // the slashes of the added prefix go too
    // Only a to z change, whatever the place of a letter in the text and whatever byte is
    // beside it ('`', '{', '@', '[' and 8-bit letters stay); a fragment goes.
    EXPECT_EQ(normalisedAddress("http://site.com/tv/#top/"), "HTTP://SITE.COM/TV");
    std::string all;
    for (int c = 1; c < 256; ++c)
        if (c != '#') all += static_cast<char>(c);
    const std::string upper = normalisedAddress("http://" + all + "x");
    ASSERT_EQ(upper.size(), 7 + all.size() + 1);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char c = all[i];
        EXPECT_EQ(upper[7 + i], c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) << i;
    }
    EXPECT_EQ(normalisedAddress(std::string(1000, 'a') + "/"), "HTTP://" + std::string(1000, 'A'));
}

TEST(Urlok, MailAndFtpAreDecidedByTheirSwitchesAlone) {
    const LinkLists l = predefined({"1", "1MAILTO:"});
    PlainSettings s = allOn({"mailto:kid@example.com", "ftp://files.example"});
    expectCases({{"MailTo:kid@example.com", false}, {"ftp://files.example", false}, {"Ftp:x", false}}, s, l);
    s.setup.options[OptEmail - 1] = false;
    s.setup.options[OptFtp - 1] = false;
    // Off: approved even though the parent list and a bare "1" entry name them.
    expectCases({{"mailto:kid@example.com", true}, {"FTP://files.example", true}}, s, l);
}

TEST(Urlok, PrefixEntriesBlockByPlainCharacterPrefix) {
    const LinkLists l = predefined({"1HTTP://WWW.BAD", "1HTTP://ADS."});
    expectCases({{"http://www.bad.com/page", false},
                 {"www.badminton.org", false},       // the prefix ends inside a host name
                 {"http://ads.example.com", false},
                 {"http://www.ba", true},            // shorter than the entry
                 {"http://www.good.com", true}},
                allOn(), l);
}

TEST(Urlok, ExactEntriesBlockOnlyTheirOwnAddress) {
    const LinkLists l = predefined({"3HTTP://SITE.COM/CHAT"});
    expectCases({{"http://site.com/chat", false},
                 {"HTTP://SITE.COM/CHAT///", false},
                 {"site.com/chat", false},
                 {"https://site.com/chat", false},
                 {"http://site.com/chat/room", true},
                 {"http://site.com", true}},
                allOn(), l);
}

TEST(Urlok, AllowEntriesReapproveWhateverTheFileOrder) {
    const LinkLists l = predefined({"4HTTP://ADS.KIDSAFE", "1HTTP://ADS.", "3HTTP://X.COM", "4HTTP://X.CO"});
    expectCases({{"http://ads.kidsafe.example", true},
                 {"http://ads.other.example", false},
                 {"http://x.com", true},
                 {"http://ads.kidsaf", false}},
                allOn(), l);
}

TEST(Urlok, AllowEntriesDoNotOverruleTheParentList) {
    const LinkLists l = predefined({"4HTTP://"});
    expectCases({{"http://chat.example", false}, {"http://chat.example/room", true}}, allOn({"http://chat.example"}), l);
}

TEST(Urlok, EntriesWithTrailingSlashNeverMatchExactly) {
    const LinkLists l = predefined({"3HTTP://SITE.COM/"});
    expectCases({{"http://site.com/", true}, {"http://site.com", true}}, allOn(), l);
}

TEST(Urlok, BareKindCodes) {
    expectCases({{"http://anything", false}, {"c:\\local\\page.htm", false}, {"mailto:x", false}}, allOn(),
                predefined({"1"}));
    expectCases({{"http://anything", true}}, allOn(), predefined({"1", "3HTTP://ANYTHING", "4"}));
    expectCases({{"http://anything", true}}, allOn(), predefined({"9HTTP://ANYTHING", "A"}));
}

TEST(Urlok, PredefinedSwitchOffIgnoresEveryEntry) {
    PlainSettings s = allOn({"http://parent.example"});
    s.setup.options[OptPredefined - 1] = false;
    expectCases({{"http://anything", true}, {"http://parent.example", false}}, s, predefined({"1"}));
}

TEST(Urlok, ParentListComparesUpperCasedWholeAddresses) {
    PlainSettings s = allOn({"http://Chat.Example", "http://games.example/x"});
    const LinkLists none;
    expectCases({{"HTTP://CHAT.EXAMPLE/", false},
                 {"chat.example", false},
                 {"https://chat.example", false},
                 {"http://chat.example/room", true},
                 {"http://games.example/x", false}},
                s, none);
    s.setup.options[OptParent - 1] = false;
    expectCases({{"http://chat.example", true}}, s, none);
}

// "2" refuses a domain and every host below it, "5" approves the same set over every
// refusal of the predefined list; hosts are read properly out of the address.
TEST(Urlok, DomainEntriesCoverTheDomainAndEveryHostBelowIt) {
    std::vector<std::string> entries = {"2bad.com", "2Ads.Example.", "2127.0.0.1", "2", "5", "1http://prefix.org",
                                        "3http://exact.org/x", "5kids.bad.com", "5prefix.org", "5exact.org"};
    for (auto& e : entries) e = upperAZ(e);  // as the list's reader keeps them
    const LinkLists l = predefined(entries);
    const PlainSettings s = allOn({"http://safe.kids.bad.com/no"});
    expectCases({{"http://bad.com", false},
                 {"http://m.cdn.bad.com/x", false},
                 {"https://BAD.COM/", false},
                 {"http://bad.com./a", false},
                 {"http://bad.com:8080/a", false},
                 {"http://ok.org@bad.com/", false},
                 {"http://bad.com@ok.org/", true},
                 {"http://notbad.com", true},
                 {"http://bad.com.other.org", true},
                 {"http://bad.community", true},
                 {"http://ok.org/?bad.com", true},
                 {"http://ok.org/#.bad.com", true},
                 {"http://ok.org\\.bad.com", true},
                 {"http://ads.example/b", false},
                 {"http://x.ads.example", false},
                 {"http://127.0.0.1/", false},
                 {"http://10.127.0.0.1/", true},
                 {"http://kids.bad.com/", true},       // "5" over "2"
                 {"http://www.kids.bad.com/", true},
                 {"http://prefix.org/y", true},        // "5" over "1"
                 {"http://exact.org/x", true},         // "5" over "3"
                 {"http://safe.kids.bad.com/no", false},  // the parent's list is not overridden
                 {"mailto:x@kids.bad.com", false},     // nor the e-mail switch
                 {"http://anything.else", true},
                 {"c:\\bad.com", true}},
                s, l);
    EXPECT_EQ(urlokVerdict("http://a.b.bad.com/", s, l).rule, "predefined 2BAD.COM");
    EXPECT_EQ(urlokVerdict("http://x.kids.bad.com/", s, l).rule, "predefined 5KIDS.BAD.COM");
}

TEST(Urlok, SecureParentEntriesOfEitherStoredFormBlockBothSchemes) {
    // "http://https://..." is how "Add To List" once stored a secure address.
    const PlainSettings s = allOn({"http://https://Chat.Example", "https://games.example/x"});
    expectCases({{"https://chat.example/", false},
                 {"http://chat.example", false},
                 {"http://games.example/x", false},
                 {"https://games.example/x", false},
                 {"http://https://chat.example", true},
                 {"https://chat.example/room", true}},
                s, LinkLists());
}

// Addresses as the engine reports them, and as wenlow-check is given them, meet the lists
// in the form the engine fetches: no user info, "xn--" hosts, IPv4 as IPv4.
TEST(Urlok, AddressesAreDecidedInTheFormTheEngineFetches) {
    const LinkLists l = predefined({"1HTTP://REFUSED.EXAMPLE", "1HTTP://XN--BCHER-KVA.EXAMPLE", "1HTTP://127.0.0.1",
                                    "3HTTP://SHOP.EXAMPLE/%C3%A4", "4HTTP://OK.EXAMPLE/FINE"});
    const PlainSettings s = allOn({"http://chat.example"});
    const struct {
        const char* given;
        const char* fetched;
        bool ok;
    } cases[] = {
        {"http://approved.example@refused.example/", "http://refused.example/", false},
        {"http://x:y@refused.example/a", "http://refused.example/a", false},
        {"http://refused.example%2f@ok.example/fine", "http://ok.example/fine", true},
        {"http://user@chat.example/", "http://chat.example/", false},
        {"http://b\xc3\xbc" "cher.example/", "http://xn--bcher-kva.example/", false},
        {"http://[::ffff:127.0.0.1]/", "http://127.0.0.1/", false},
        {"http://[::ffff:7f00:1]:8080/", "http://127.0.0.1:8080/", false},
        {"http://2130706433/", "http://127.0.0.1/", false},
        {"http://shop.example/\xc3\xa4", "http://shop.example/%C3%A4", false},
        {"http://b%61d.example/", "http://bad.example/", true},
        {"refused.example", "http://refused.example/", false},
        {"mailto:a@chat.example", "mailto:a@chat.example", false},
        {"c:\\kids\\x.htm", "c:\\kids\\x.htm", true},
        {"", "", false},  // no address at all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EngineAddress(c.given).text(), c.fetched) << c.given;
        EXPECT_EQ(requestAllowed(c.given, RequestKind::Navigation, s, l, "/opt/wenlow/"), c.ok) << c.given;
    }
}

// The engine fetches "/a//b", "/a?" and "/a/..%2Fb" as they stand; nginx and Apache serve
// "/a/b", "/a" and "/b" for them. Each address is refused when the server's reading is.
TEST(Urlok, AnAddressAServerReadsAsARefusedOneIsRefused) {
    const LinkLists l = predefined({"3HTTP://KIDS.EXAMPLE/GAMES/CHAT", "1HTTP://WWW.NASA.GOV/CHAT", "2HARD.EXAMPLE",
                                    "4HTTP://HARD.EXAMPLE/OPEN"});
    const PlainSettings lists = allOn({"http://kids.example/forum"});
    PlainSettings approvedOnly = allOn();
    approvedOnly.setSites(SitesValues{true,
                                      false,
                                      {SiteEntry{ParentKind::ApproveAddress, "http://learn.example/maths"},
                                       SiteEntry{ParentKind::ApproveAddress, "http://learn.example/Sammy_Davis_Jr."},
                                       SiteEntry{ParentKind::ApproveAddress, "http://learn.example/catalog;section=kids"}},
                                      {}});
    const struct {
        const char* url;
        bool ok;
        const PlainSettings& settings;
    } cases[] = {
        {"http://kids.example/games/chat?", false, lists},
        {"http://kids.example//games/chat", false, lists},
        {"http://kids.example/games//chat/", false, lists},
        {"https://kids.example/games/%2e/chat", false, lists},
        {"http://kids.example/forum?", false, lists},
        {"http://kids.example//forum#top", false, lists},
        {"http://www.nasa.gov//chat", false, lists},
        {"https://www.nasa.gov:443//chat/room", false, lists},
        {"http://hard.example/open/..%2Fshut", false, lists},
        {"http://learn.example/maths/..%2fadmin", false, approvedOnly},
        {"http://learn.example/maths/..%5Cadmin", false, approvedOnly},
        {"http://learn.example/maths/.%2e%2fadmin", false, approvedOnly},
        // "..;" as a Java server reads it.
        {"http://kids.example/games/chat/..;/chat", false, lists},
        {"http://kids.example/games/x/..;a=1/.;b/chat", false, lists},
        {"http://learn.example/maths/..;/admin", false, approvedOnly},
        // What the server reads as approved stays approved.
        {"http://kids.example/games/chat?room=1", true, lists},
        {"http://kids.example/games/chatroom", true, lists},
        {"http://hard.example/open//x", true, lists},
        {"http://learn.example/maths//sums?", true, approvedOnly},
        {"http://learn.example/maths/a%2fb", true, approvedOnly},
        {"http://learn.example/maths/sums;page=2", true, approvedOnly},
        {"http://learn.example/maths/v1.2./x", true, approvedOnly},
        {"http://learn.example/Sammy_Davis_Jr.", true, approvedOnly},  // approved as it stands
        {"http://learn.example/catalog;section=kids", true, approvedOnly},
        {"http://kids.example/games/chat.html", true, lists},
        {"http://kids.example/games/chat;jsessionid=1", true, lists},  // another address, as "?room=1" is
    };
    for (const auto& c : cases)
        EXPECT_EQ(requestAllowed(c.url, RequestKind::Navigation, c.settings, l, "/opt/wenlow/"), c.ok) << c.url;
}

TEST(Urlok, LocalPathsAreComparedWithoutTheWebPrefix) {
    const LinkLists l = predefined({"1C:\\PRIVATE", "1HTTP://C:\\KIDS"});
    expectCases({{"c:\\private\\x.htm", false}, {"c:\\kids\\x.htm", true}}, allOn(), l);
}

TEST(Urlok, VerdictNamesTheDecidingRule) {
    const LinkLists l = predefined({"1HTTP://ADS.", "4HTTP://ADS.OK"});
    EXPECT_EQ(urlokVerdict("http://ads.x", allOn(), l).rule, "predefined 1HTTP://ADS.");
    EXPECT_EQ(urlokVerdict("http://ads.ok", allOn(), l).rule, "predefined 4HTTP://ADS.OK");
    EXPECT_EQ(urlokVerdict("mailto:a", allOn(), l).rule, "e-mail switch");
    EXPECT_EQ(urlokVerdict("http://p", allOn({"http://p"}), l).rule, "parent http://p");
    EXPECT_EQ(urlokVerdict("http://fine", allOn(), l).rule, "no rule");
}

TEST(MainUrlOk, VerifiesOnlyForASiteWithVerifyAndTheSwitchOn) {
    PlainSettings s = allOn();
    s.setup.verify[2] = true;  // site 3
    LinkLists l;
    l.append({}, {"HTTP://GOOD.COM/PAGE"});
    EXPECT_TRUE(MainUrlOk("http://good.com/page/", 3, s, l));
    EXPECT_TRUE(MainUrlOk("HTTP://Good.Com/Page", 3, s, l));
    EXPECT_FALSE(MainUrlOk("http://good.com/page/more", 3, s, l));
    EXPECT_FALSE(MainUrlOk("good.com/page", 3, s, l));  // no scheme is added here
    EXPECT_TRUE(MainUrlOk("http://other", 2, s, l));    // site 2 has no Verify
    EXPECT_TRUE(MainUrlOk("http://other", 0, s, l));    // no site chosen
    s.setup.options[OptVerification - 1] = false;
    EXPECT_TRUE(MainUrlOk("http://other", 3, s, l));
}

TEST(MainUrlOk, EmptyMainListRefusesEveryVerifiedLink) {
    PlainSettings s = allOn();
    s.setup.verify.fill(true);
    const LinkLists empty;
    EXPECT_FALSE(MainUrlOk("http://good.com", 1, s, empty));
    EXPECT_FALSE(MainUrlOk("", 9, s, empty));
}

namespace {

// Short texts over few characters, so that prefixes and equal texts are common.
std::string randomText(std::mt19937& rng, size_t maxLength) {
    static const std::string alphabet = "AB.c/ :\\hT";
    std::string s;
    const size_t n = rng() % (maxLength + 1);
    for (size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
    return s;
}

// A host of a few short labels, so that hosts below one another are common.
std::string randomHost(std::mt19937& rng) {
    static const char* const labels[] = {"a", "B", "ab", "1", "b"};
    std::string h = labels[rng() % 5];
    for (size_t i = rng() % 4; i > 0; --i) h = labels[rng() % 5] + ("." + h);
    return h;
}

// What a page or the engine may hand in: hosts the engine reads otherwise than they are
// written or cannot read, ports, slashes, escapes, dot segments, fragments.
std::string oddAddress(std::mt19937& rng) {
    static const char* const schemes[] = {"http://", "HTTPS://", "http:", "http:\\\\", "http:///", "", " http://", "ws://"};
    static const char* const hosts[] = {"a", "-a", "a-", "a+b", "a_b", "a..b", ".a", "", "B%2eA", "b\xc3\xbc", "0x7f.1", "127.1",
                                        "1.2.3.08", "[::ffff:7f00:1]", "xn--a", "a.", "..", "a\tb", "1.2.3.4"};
    static const char* const ports[] = {"", "", ":80", ":443", ":8080", ":0080", ":", ":65536"};
    static const char* const rests[] = {"", "/", "/p", "/p#f", "#f", "?q", "/a/../p", "/%2e/p", "/%70", "/p q", "\\p",
                                        "/p?q#f", "/'", "/?'"};
    std::string host;
    for (size_t i = 1 + rng() % 3; i > 0; --i) host += (host.empty() ? "" : ".") + std::string(hosts[rng() % 19]);
    if (rng() % 16 == 0) host = std::string(64, 'a') + "." + host;
    if (rng() % 16 == 0)
        for (int i = 0; i < 70; ++i) host = "a." + host;
    return std::string(schemes[rng() % 8]) + (rng() % 8 == 0 ? "u@" : "") + host + ports[rng() % 8] + rests[rng() % 14];
}

std::string randomAddress(std::mt19937& rng) {
    if (rng() % 4 == 0) return oddAddress(rng);
    if (rng() % 3 == 0) {
        // A host far into the address (after long user info) as well.
        static const std::string around[] = {"", "x@", "a.b@", "", std::string(300, 'u') + "@"};
        static const char* const after[] = {"", ".", ":8", "/p", "?q", "#f", "\\x", "./"};
        return (rng() % 2 ? "http://" : "https://") + around[rng() % 5] + randomHost(rng) + after[rng() % 8];
    }
    static const char* const starts[] = {"", "http://", "HTTP://", "https://", "mailto:", "FTP:", "c:\\", "Ab"};
    std::string a = starts[rng() % 8] + randomText(rng, 6);
    if (rng() % 4 == 0) a += "/";
    if (rng() % 8 == 0) a += "//";
    return a;
}

std::string randomEntry(std::mt19937& rng) {
    if (rng() % 3 == 0) {
        static const char* const dots[] = {"", "", ".", ""};
        return (rng() % 2 ? "2" : "5") + upperAZ(dots[rng() % 4] + randomHost(rng) + dots[rng() % 4]);
    }
    static const char kinds[] = {'1', '3', '4', '9', 'x'};
    std::string body = rng() % 2 ? upperAZ(normalisedAddress(randomText(rng, 5))) : upperAZ(randomText(rng, 8));
    if (rng() % 6 == 0) body += ' ';
    return kinds[rng() % 5] + body;
}

}  // namespace

TEST(ApprovalIndex, DecidesExactlyAsTheEntryByEntryScan) {
    std::mt19937 rng(20261207);
    int checked = 0, refused = 0, unverified = 0, fast = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> predefined, main;
        for (size_t i = rng() % 30; i > 0; --i) predefined.push_back(randomEntry(rng));
        for (size_t i = rng() % 10; i > 0; --i) main.push_back(rng() % 2 ? randomAddress(rng) : upperAZ(randomAddress(rng)));
        LinkLists lists;
        lists.append(predefined, main);
        PlainSettings s;
        for (bool& o : s.setup.options) o = rng() % 4 != 0;
        for (bool& v : s.setup.verify) v = rng() % 2;
        for (size_t i = rng() % 4; i > 0; --i) s.parent.push_back(randomAddress(rng));
        for (int q = 0; q < 100; ++q) {
            const std::string a = q % 10 == 0 && !s.parent.empty() ? s.parent[0] : randomAddress(rng);
            const int site = static_cast<int>(rng() % 10);
            ASSERT_EQ(urlok(a, s, lists), urlokScan(a, s, lists)) << a << " round " << round;
            ASSERT_EQ(MainUrlOk(a, site, s, lists), mainUrlOkScan(a, site, s, lists)) << a << " round " << round;
            // An address the fast path takes as it is decides as its full conversion.
            if (inEngineForm(a)) {
                const Converted full = convertAddress(a);
                ASSERT_TRUE(full.ok()) << a;
                ASSERT_EQ(urlok(full.text, s, lists), urlok(a, s, lists)) << a << " round " << round;
                ASSERT_EQ(MainUrlOk(full.text, site, s, lists), MainUrlOk(a, site, s, lists)) << a << " round " << round;
                ++fast;
            }
            ++checked;
            refused += !urlokScan(a, s, lists);
            unverified += !mainUrlOkScan(a, site, s, lists);
        }
    }
    EXPECT_EQ(checked, 40000);
    // Both answers are common, so the comparison means something.
    EXPECT_GT(refused, 4000);
    EXPECT_LT(refused, 36000);
    EXPECT_GT(unverified, 4000);
    EXPECT_GT(fast, 2000);
}

// Hosts of many labels, or of empty ones, as fuzzing found them: the index reads the
// host as the scan does, whatever its labels.
TEST(ApprovalIndex, HostsOfManyOrEmptyLabels) {
    PlainSettings all;
    all.setup.options.fill(true);
    PlainSettings fromFuzz = all;  // the switches of the fuzzer's input: 0xff
    const std::string dots58(58, '.'), dots64(64, '.');
    const std::string manyLabels = [] {
        std::string h = "bad.com";
        for (int i = 0; i < 70; ++i) h = "a." + h;
        return h;
    }();
    const struct {
        std::string entry;
        std::string address;
        bool ok;
    } cases[] = {
        // A "2" line of 58 dots and a letter, read as an address (data target).
        {"2" + dots58 + "P", dots58 + "P", false},
        {"2" + dots64 + "P", dots64 + "P", false},
        // An address of 64 dots and a zero byte; a "2" line of a zero byte (urlok target).
        {std::string("2\0", 2), dots64 + std::string(1, '\0'), false},
        {"2BAD.COM", "http://" + manyLabels + "/", false},
        {"2A.A.BAD.COM", "http://" + manyLabels + "/", false},
        {"5A.BAD.COM", "http://" + manyLabels + "/", true},
        {"2BAD.COM", "http://a..b.bad.com/", false},
        {"2BAD.COM", "http://....bad.com/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        LinkLists lists;
        lists.append({c.entry, "2BAD.COM"}, {});
        EXPECT_EQ(urlok(c.address, fromFuzz, lists), c.ok);
        EXPECT_EQ(urlokScan(c.address, fromFuzz, lists), c.ok);
    }
    // The data target's input as it came, through the reader of data.dat.
    LinkLists read;
    scanDataText("starturls\r2" + dots58 + "p\r", read);
    ASSERT_EQ(read.predefined().size(), 1u);
    const std::string address(read.predefined()[0].substr(1));
    EXPECT_EQ(urlok(address, all, read), urlokScan(address, all, read));
}

TEST(ApprovalIndex, EmptyTextsMatchEmptyAddresses) {
    // An empty main entry and an empty address: found, with no bytes to compare (the
    // sanitizer run once caught a null pointer handed to the comparison here).
    PlainSettings s = allOn();
    s.setup.verify.fill(true);
    LinkLists lists;
    lists.append({}, {""});
    EXPECT_TRUE(MainUrlOk("", 1, s, lists));
    EXPECT_TRUE(MainUrlOk("///", 1, s, lists));
    EXPECT_FALSE(MainUrlOk("x", 1, s, lists));
}

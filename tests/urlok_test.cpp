#include "approval/urlok.h"

#include <gtest/gtest.h>

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
    l.predefined = std::move(entries);
    std::sort(l.predefined.begin(), l.predefined.end());
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
    l.main = {"HTTP://GOOD.COM/PAGE"};
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

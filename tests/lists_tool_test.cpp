// wenlow-lists on small samples of each kind of source.
#include "approval/gate.h"
#include "data/linklists.h"
#include "support/tempdir.h"
#include "support/tool.h"
#include "update/signature.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Standard output only, or with errors: standard error only.
ToolRun run(const std::string& args, bool errors = false) {
    return runTool(std::string(WENLOW_LISTS) + " " + args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null"));
}

const std::string Data = WENLOW_TEST_DATA;

}  // namespace

TEST(ListsTool, EachSourceKindBecomesItsEntries) {
    const std::string args = "--hosts " + Data + "/hosts.txt --domains " + Data + "/domains.txt --urls " + Data +
                             "/urls.txt --allow " + Data + "/allow.txt --main " + Data + "/main.txt";
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "starturls\r\n"  // in the browser's order, so it need not sort them
              "1http://files.example/download\r\n"
              "1http://gallery.example/private\r\n"
              "2ads.example.com\r\n"
              "2bad.com\r\n"
              "2dotted.example\r\n"
              "2extra.example.org\r\n"
              "2popups.example.org\r\n"
              "2tracker.example.net\r\n"
              "2www.worse.example\r\n"
              "5kids.bad.com\r\n"
              "mainurls\r\n"
              "https://kids.example\r\n"
              "http://learn.example/a\r\n"
              "endurls\r\n");
    EXPECT_EQ(run(args, true).out,
              "wenlow-lists: 9 blocked, 1 allowed, 2 approved, 3 duplicates dropped, 4 names skipped\n");
}

TEST(ListsTool, WritesAProgramFoldersListThatTheBrowserReadsAsMeant) {
    ProgramFolder dir;
    dir.write("data.dat", "old");
    const ToolRun r = run("--domains " + Data + "/domains.txt --allow " + Data + "/allow.txt --out " + dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("data.bak"), "old");
    LinkLists lists;
    std::string work;
    readDataFile(dir.path(), work, lists);
    PlainSettings s;
    s.setup.options.fill(true);
    EXPECT_FALSE(urlok("https://bad.com/games", s, lists));
    EXPECT_FALSE(urlok("http://www.bad.com", s, lists));
    EXPECT_FALSE(urlok("http://m.cdn.bad.com/", s, lists));  // every host below the domain
    EXPECT_TRUE(urlok("http://kids.bad.com/", s, lists));
    EXPECT_TRUE(urlok("http://www.kids.bad.com/", s, lists));
    EXPECT_TRUE(urlok("http://notbad.com", s, lists));
    EXPECT_TRUE(urlok("http://bad.com.evil.org", s, lists));  // a domain, not a prefix
}

// Entries as the addresses they name are compared: Unicode names, user info, default
// ports; what has no such form (a wildcard, a host the browser cannot read, a domain with
// a port) is skipped and counted.
TEST(ListsTool, EntriesTakeTheFormOfTheAddressesTheyName) {
    ProgramFolder dir;
    dir.write("domains", "café.example\n*.wild.example\n-bad.example\nok.example:8080\n");
    dir.write("urls", "http://u:p@host.example:80/x\nhost.example/\xc3\xa4\n");
    const std::string args = "--domains " + dir.file("domains") + " --urls " + dir.file("urls");
    const ToolRun r = run(args + " --out " + dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("data.dat"),
              "starturls\r\n"
              "1http://host.example/%C3%A4\r\n"
              "1http://host.example/x\r\n"
              "2xn--caf-dma.example\r\n"
              "mainurls\r\nendurls\r\n");
    EXPECT_EQ(run(args, true).out,
              "wenlow-lists: 3 blocked, 0 allowed, 0 approved, 0 duplicates dropped, 3 names skipped\n");
    LinkLists lists;
    readDataFile(dir.path(), lists);
    PlainSettings s;
    s.setup.options.fill(true);
    for (const char* named : {"http://café.example/", "http://host.example:80/x/y",
                              "http://host.example/ä"})
        EXPECT_FALSE(requestAllowed(named, RequestKind::Navigation, s, lists, "/opt/wenlow/")) << named;
}

TEST(ListsTool, FailuresAreClear) {
    EXPECT_EQ(run("").status, 2);
    ToolRun r = run("--hosts /nonexistent/list", true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "wenlow-lists: Cannot open file /nonexistent/list\n");
    r = run("--bogus x", true);
    EXPECT_NE(r.out.find("unknown option --bogus"), std::string::npos);
}

TEST(ListsTool, ALargeListIsWrittenWithTheIndexTheBrowserMaps) {
    ProgramFolder dir;
    std::string hosts;
    for (int i = 0; hosts.size() < 1800000; ++i) hosts += "0.0.0.0 host" + std::to_string(i) + ".example\n";
    dir.write("hosts.txt", hosts);
    ASSERT_EQ(run("--hosts " + dir.file("hosts.txt") + " --out " + dir.path()).status, 0);
    ASSERT_TRUE(dir.exists("data.idx"));
    LinkLists lists;
    std::string work;
    readDataFile(dir.path(), work, lists);
    EXPECT_TRUE(lists.predefined().isView());
    PlainSettings s;
    s.setup.options.fill(true);
    EXPECT_FALSE(urlok("http://host123.example/page", s, lists));
    EXPECT_TRUE(urlok("http://host.example", s, lists));
}

// A publisher's key pair, and a list signed with it that the download accepts.
TEST(ListsTool, KeysAndSignedLists) {
    ProgramFolder keys;
    ASSERT_EQ(run("--keygen " + keys.path()).status, 0);
    struct stat secret {};
    ASSERT_EQ(::stat(keys.file("update.secret").c_str(), &secret), 0);
    EXPECT_EQ(secret.st_mode & 0777, 0600u);  // the owner's only
    const auto publicKey = keyFromText(keys.read("update.key"));
    ASSERT_TRUE(publicKey);
    const std::string before = keys.read("update.secret");
    EXPECT_EQ(run("--keygen " + keys.path()).status, 2);  // never over an existing key
    EXPECT_EQ(keys.read("update.secret"), before);

    const std::uint64_t from = signingTime();
    const ToolRun r = run("--domains " + Data + "/domains.txt --sign " + keys.file("update.secret"));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("wenlow-signature ed25519 ", 0), 0u);
    const SignatureCheck check = checkSignature(r.out, *publicKey);
    EXPECT_EQ(check.problem, "");
    ASSERT_TRUE(check.number);  // the time of signing
    EXPECT_GE(*check.number, from);
    EXPECT_LE(*check.number, signingTime());
    const ToolRun numbered = run("--domains " + Data + "/domains.txt --sign " + keys.file("update.secret") + " --serial 42");
    EXPECT_EQ(checkSignature(numbered.out, *publicKey).number, std::optional<std::uint64_t>(42));
    EXPECT_EQ(run("--domains " + Data + "/domains.txt --sign " + keys.file("update.secret") + " --serial 4x2", true).status, 2);

    // A folder that is not there yet is made.
    const ToolRun fresh = run("--keygen " + keys.path() + "new/keys");
    EXPECT_EQ(fresh.status, 0);
    EXPECT_TRUE(keyFromText(keys.read("new/keys/update.key")));
    EXPECT_EQ(run("--domains " + Data + "/domains.txt --sign " + keys.file("update.key"), true).status, 2);
    EXPECT_EQ(run("--domains " + Data + "/domains.txt --sign /nonexistent", true).status, 2);
}

// Only chosen sites for a publisher, and the lists that would block nothing refused with
// the reason instead of written.
TEST(ListsTool, OnlyChosenSitesAndListsThatWouldBlockNothing) {
    ProgramFolder dir;
    dir.write("sites.txt", "# the children's sites\nkids.example\nwww.Learn.Example.\n");
    dir.write("star.txt", "*\n");
    dir.write("starhost.txt", "http://*.example/x\n");
    dir.write("none.txt", "# nothing yet\n");
    const struct {
        std::string args;
        int status;
        const char* out;    // standard output
        const char* error;  // the start of standard error
    } cases[] = {
        {"--allow-only " + dir.file("sites.txt"), 0,
         "starturls\r\n1\r\n5kids.example\r\n5www.learn.example\r\nmainurls\r\nendurls\r\n", "wenlow-lists: 1 blocked, 2"},
        {"--allow-only " + dir.file("sites.txt") + " --domains " + Data + "/domains.txt", 0, nullptr, "wenlow-lists: 4 blocked"},
        {"--allow " + dir.file("sites.txt"), 2, "", "wenlow-lists: --allow alone blocks nothing"},
        {"--urls " + dir.file("star.txt"), 2, "", "wenlow-lists: no line of the lists names a host or an address"},
        // A wildcard beside other entries is one line skipped, and counted.
        {"--urls " + dir.file("starhost.txt") + " --domains " + Data + "/domains.txt", 0, nullptr, "wenlow-lists: 3 blocked"},
        {"--allow-only " + dir.file("none.txt"), 2, "", "wenlow-lists: --allow-only names no site"},
        {"--allow " + Data + "/allow.txt --domains " + Data + "/domains.txt", 0, nullptr, "wenlow-lists: 3 blocked, 1"},
    };
    for (const auto& c : cases) {
        const ToolRun out = run(c.args);
        EXPECT_EQ(out.status, c.status) << c.args;
        if (c.out) {
            EXPECT_EQ(out.out, c.out) << c.args;
        }
        const std::string error = run(c.args, true).out;
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << c.args << ": " << error;
    }
    // The browser reads the publisher's list as meant: only the chosen sites open.
    ASSERT_EQ(run("--allow-only " + dir.file("sites.txt") + " --out " + dir.path()).status, 0);
    LinkLists lists;
    readDataFile(dir.path(), lists);
    PlainSettings s;
    s.setup.options.fill(true);
    EXPECT_TRUE(urlok("https://www.kids.example/games", s, lists));
    EXPECT_TRUE(urlok("http://www.learn.example/", s, lists));
    EXPECT_FALSE(urlok("http://learn.example/", s, lists));
    EXPECT_FALSE(urlok("http://other.example/", s, lists));
}

// wenlow-lists --sources against a real https server (nginx with a test authority's
// certificate): what it asks for, what it keeps, and what it does when a list fails.
#include "data/linklists.h"
#include "data/sources.h"
#include "support/authority.h"
#include "support/nginx.h"
#include "support/peer.h"
#include "support/tempdir.h"
#include "support/tool.h"
#include "update/signature.h"

#include <QDir>

#include <fcntl.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class ListServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NginxSite::installed()) GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(ca.made()) << "openssl could not make the test authority";
        web.files.write("hosts.txt", "# hosts\n0.0.0.0 ads.example.com\n127.0.0.1 tracker.example.net\n");
        web.files.write("ads.txt", "[Adblock Plus 2.0]\n||pop.example^\n@@||ok.pop.example^\n||x.example^$popup\n");
        std::string domains;
        for (int i = 0; i < 200; ++i) domains += "casino" + std::to_string(i) + ".example\n";
        web.files.write("domains.txt", domains + "203.0.113.7\n");
        web.files.write("kids.txt", "kids.casino1.example\n");
        web.httpExtra = "log_format asked '$uri $status [$http_if_none_match] $gzip_ratio';";
        ASSERT_TRUE(web.startSecure(ca.certificate(), ca.key(),
                                    "access_log " + web.files.file("asked.log") +
                                        " asked; "
                                        "gzip on; gzip_types text/plain; gzip_min_length 1; "
                                        "location = /moved { return 301 /ads.txt; } location = /big.txt { gzip off; } "
                                        "location = /plain { return 301 http://127.0.0.1:" +
                                        std::to_string(web.port()) + "/hosts.txt; }"))
            << web.log();
        base = "https://localhost:" + std::to_string(web.port()) + "/";
        folder.write("data.dat", "starturls\r\n2old.example\r\nmainurls\r\nendurls\r\n");
    }

    void name(const std::string& lines) { folder.write(SourcesFileName, lines); }
    std::string command(const std::string& args = "", bool trusted = true) {
        return (trusted ? "WENLOW_TEST_CA=" + ca.caFile() + " " : std::string("WENLOW_TEST_CA= ")) + WENLOW_LISTS +
               " --sources --dir " + folder.path() + " " + args + " 2>&1";
    }
    ToolRun lists(const std::string& args = "", bool trusted = true) { return runTool(command(args, trusted)); }
    // What the server was asked since the last look, one line a request.
    std::string asked() {
        const std::string all = web.files.read("asked.log");
        std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }
    std::string predefined() {
        LinkLists l;
        readDataFile(folder.path(), l);
        std::string out;
        for (std::string_view e : l.predefined()) out += std::string(e) + " ";
        return out;
    }

    TestAuthority ca;
    NginxSite web;
    ProgramFolder folder;
    std::string base;

private:
    std::size_t seen_ = 0;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(ListServer, FetchesEachListAndAsksAgainOnlyForWhatChanged) {
    ProgramFolder keys;
    ASSERT_EQ(runTool(std::string(WENLOW_LISTS) + " --keygen " + keys.path() + " 2>&1").status, 0);
    name(base + "hosts.txt hosts block\n" + base + "moved adblock block\n" + base + "domains.txt domains block\n" +
         base + "kids.txt domains allow\n");
    const std::string sign = "--sign " + keys.file("update.secret");

    ToolRun r = lists(sign);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, base + "domains.txt: fetched, ")) << r.out;
    EXPECT_TRUE(has(r.out, base + "moved: fetched, ")) << r.out;
    EXPECT_TRUE(has(r.out,
                    "204 blocked, 2 allowed, 0 approved, 0 duplicates dropped, 0 names skipped, "
                    "1 adblock rules skipped (1 with options, 0 element hiding, 0 other)"))
        << r.out;
    EXPECT_FALSE(has(r.out, "\r")) << r.out;  // no progress into a log
    std::string a = asked();
    EXPECT_TRUE(has(a, "/moved 301 [-] ")) << a;  // followed to where the list is
    EXPECT_TRUE(has(a, "/ads.txt 200 [-] ")) << a;
    EXPECT_FALSE(has(a, "/domains.txt 200 [-] -")) << a;  // compressed on the way
    const std::string list = folder.read("data.dat");
    EXPECT_EQ(signatureProblem(list, *keyFromText(keys.read("update.key"))), "");
    const std::string entries = predefined();
    for (const char* e : {"2ADS.EXAMPLE.COM", "2TRACKER.EXAMPLE.NET", "2POP.EXAMPLE", "5OK.POP.EXAMPLE",
                          "2CASINO199.EXAMPLE", "2203.0.113.7", "5KIDS.CASINO1.EXAMPLE"})
        EXPECT_TRUE(has(entries, std::string(e) + " ")) << e;
    EXPECT_FALSE(has(entries, "OLD.EXAMPLE"));
    EXPECT_EQ(folder.read("data.bak"), "starturls\r\n2old.example\r\nmainurls\r\nendurls\r\n");

    // Again: each list is asked for with the version kept, and none has changed.
    r = lists(sign);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, base + "hosts.txt: not changed, 2 entries")) << r.out;
    EXPECT_TRUE(has(r.out, "data.dat is up to date")) << r.out;
    a = asked();
    for (const std::string file : {"/hosts.txt", "/ads.txt", "/domains.txt", "/kids.txt"})
        EXPECT_TRUE(has(a, file + " 304 [") && !has(a, file + " 304 [-]")) << file << "\n" << a;
    EXPECT_EQ(folder.read("data.dat"), list);

    // A list changed on the server is fetched whole; the others are not.
    web.files.write("domains.txt", "new.example\n");
    r = lists();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, base + "domains.txt: fetched, ")) << r.out;
    EXPECT_TRUE(has(r.out, base + "kids.txt: not changed")) << r.out;
    EXPECT_TRUE(has(predefined(), "2NEW.EXAMPLE ")) << predefined();
    EXPECT_FALSE(has(predefined(), "CASINO199")) << predefined();
    const auto states = readSourceStates(folder.path());
    ASSERT_EQ(states.size(), 4u);
    EXPECT_GT(states[2].fetched, 0);
    EXPECT_EQ(states[2].fetched, states[2].tried);
    EXPECT_EQ(states[2].problem, "");
}

TEST_F(ListServer, ProgressIsShownOnATerminal) {
    std::string big;
    for (int i = 0; big.size() < 300000; ++i) big += "site" + std::to_string(i) + ".example\n";
    web.files.write("big.txt", big);
    name(base + "big.txt domains block\n");
    const ToolRun r = runTool("script -qec '" + command() + "' /dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "\rwenlow-lists: " + base + "big.txt: " + std::to_string(big.size()) + " of " +
                               std::to_string(big.size()) + " bytes\r\n"))
        << r.out;
}

TEST_F(ListServer, AFailingListKeepsItsLastGoodCopyAndTheOthersStillCount) {
    name(base + "hosts.txt hosts block\n" + base + "domains.txt domains block\n" + base + "ads.txt adblock block\n");
    ASSERT_EQ(lists().status, 0);
    const std::string kept = copyFileOf(folder.path(), base + "hosts.txt");
    ASSERT_TRUE(folder.exists("sources/" + kept.substr(kept.rfind('/') + 1)));

    web.files.remove("hosts.txt");                                            // now a 404
    web.files.write("domains.txt", std::string(3000, 'x') + ".example\n");    // too large
    web.files.write("ads.txt", "<html><body>We are sorry.</body></html>\n");  // no list at all
    web.files.write("new.txt", "<html></html>");
    name(base + "hosts.txt hosts block\n" + base + "domains.txt domains block\n" + base + "ads.txt adblock block\n" +
         base + "missing.txt domains block\n" + base + "new.txt domains block\n" + base + "kids.txt domains allow\n");
    const ToolRun r = lists("--max-bytes 2500");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r.out, base + "hosts.txt: the server answered with status 404; using the copy kept from 20"))
        << r.out;
    EXPECT_TRUE(has(r.out, base + "domains.txt: the list is larger than 2500 bytes; using the copy kept from"))
        << r.out;
    EXPECT_TRUE(has(r.out, base + "ads.txt: the answer holds no adblock entry; using the copy kept")) << r.out;
    EXPECT_TRUE(has(r.out, base + "missing.txt: the server answered with status 404; no copy to use, left out"))
        << r.out;
    EXPECT_TRUE(has(r.out, base + "new.txt: the answer holds no domains entry; no copy to use, left out")) << r.out;
    const std::string entries = predefined();
    for (const char* e : {"2ADS.EXAMPLE.COM ", "2CASINO0.EXAMPLE ", "2POP.EXAMPLE ", "5KIDS.CASINO1.EXAMPLE "})
        EXPECT_TRUE(has(entries, e)) << e;
    const auto states = readSourceStates(folder.path());
    ASSERT_EQ(states.size(), 6u);
    EXPECT_EQ(states[0].problem, "the server answered with status 404");
    EXPECT_GT(states[0].fetched, 0);  // when the kept copy came
    EXPECT_NE(states[0].etag, "");    // still the kept copy's version
    EXPECT_EQ(states[3].fetched, 0);

    // A list no longer named leaves nothing behind.
    name(base + "kids.txt domains block\n");
    EXPECT_EQ(lists().status, 0);
    EXPECT_FALSE(folder.exists("sources/" + kept.substr(kept.rfind('/') + 1)));
    EXPECT_EQ(readSourceStates(folder.path()).size(), 1u);
}

TEST_F(ListServer, NothingItCannotTrustReplacesTheLists) {
    const std::string before = folder.read("data.dat");
    LoopbackPeer silent;  // takes the connection and never answers
    struct Row {
        std::string sources, args;
        bool trusted;
        int status;
        std::string says;
    };
    const Row rows[] = {
        {base + "hosts.txt hosts block\n", "", false, 1, "hosts.txt: SSL certificate problem"},
        {base + "plain hosts block\n", "", true, 1, "plain: Protocol \"http\" not supported"},  // redirected to http
        {"https://127.0.0.1:" + std::to_string(silent.port()) + "/l hosts block\n", "--time-limit 2", true, 1,
         "timed out after 2"},
        {"https://localhost:1/l hosts block\n", "", true, 1, "Failed to connect to localhost port 1"},
        {base + "hosts.txt hosts block\nhttp://localhost/l hosts block\n", "", true, 2,
         "sources.txt line 2: http://localhost/l is not an https address"},
        {"# none yet\n", "", true, 2, "sources.txt names no list"},
        // Its block list cut off, the allow list alone would open everything.
        {base + "kids.txt domains allow\nhttps://localhost:1/l hosts block\n", "", true, 1,
         "the lists that could be read block nothing; "},
        {base + "kids.txt domains allow\n", "", true, 2, "the lists that could be read block nothing; "},
        {base + "hosts.txt hosts block\n", "--out " + folder.path(), true, 2, "--dir"},
    };
    for (const Row& r : rows) {
        name(r.sources);
        const ToolRun run = lists(r.args, r.trusted);
        EXPECT_EQ(run.status, r.status) << r.sources << run.out;
        EXPECT_TRUE(has(run.out, r.says)) << r.sources << run.out;
        EXPECT_TRUE(has(run.out, "data.dat is left as it is") || r.status == 2) << run.out;
        EXPECT_EQ(folder.read("data.dat"), before) << r.sources;
    }
    // One run at a time in a folder.
    name(base + "hosts.txt hosts block\n");
    QDir().mkpath(QString::fromStdString(folder.file("sources")));
    const int held = ::open(folder.file("sources/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ToolRun run = lists();
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(has(run.out, "are being fetched already")) << run.out;
    ::close(held);
    folder.remove(SourcesFileName);
    run = lists();
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(has(run.out, "Cannot open file " + folder.path() + "sources.txt")) << run.out;
    EXPECT_EQ(folder.read("data.dat"), before);
    // A folder that is not there is no matter of a parent's account.
    run = runTool(std::string(WENLOW_LISTS) + " --sources --dir /nonexistent/folder 2>&1");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "wenlow-lists: Cannot open file /nonexistent/folder/sources.txt\n");
}

// wenlow-check, run as a parent would run it.
#include "support/engineforms.h"
#include "support/tempdir.h"
#include "support/tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

ToolRun run(const std::string& args, const std::string& input = "") {
    return runTool("printf '%s' '" + input + "' | " WENLOW_CHECK " " + args + " 2>&1");
}

class CheckTool : public ::testing::Test {
protected:
    ProgramFolder dir{true};
    std::string folder() const { return "--dir " + dir.path(); }
};

}  // namespace

TEST_F(CheckTool, DecidesForBothPanes) {
    const ToolRun r = run(folder() + " https://www.nasa.gov/kids http://ads.example.com https://unlisted.example "
                                 "http://www.chatroom.example/");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "allow allow https://www.nasa.gov/kids\n"
              "refuse refuse http://ads.example.com\n"
              "refuse allow https://unlisted.example\n"   // site 1 verifies: not in the main list
              "refuse refuse http://www.chatroom.example/\n");
}

TEST_F(CheckTool, ExplainsAndTakesTheSiteAndStandardInput) {
    const ToolRun r = run(folder() + " --explain --site 2", "https://unlisted.example\r\nmailto:me@example.com\nhttp://ads.kidsafe.example\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "allow allow https://unlisted.example\tno rule\n"
              "refuse refuse mailto:me@example.com\te-mail switch\n"
              "allow allow http://ads.kidsafe.example\tpredefined 4HTTP://ADS.KIDSAFE.EXAMPLE\n");
    EXPECT_EQ(run(folder() + " --explain https://unlisted.example").out,
              "refuse allow https://unlisted.example\tverification\n");
    EXPECT_EQ(run(folder() + " --explain https://www.nasa.gov/kids").out,
              "allow allow https://www.nasa.gov/kids\tmain list\n");
}

TEST_F(CheckTool, BadArgumentsAndMissingFilesFailClearly) {
    ToolRun r = run(folder() + " --site 12 x");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("--site takes a number from 0 to 9"), std::string::npos);
    r = run(folder() + " --bogus");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("unknown option --bogus"), std::string::npos);
    dir.remove("data.dat");
    r = run(folder() + " x");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "wenlow-check: Cannot open file " + dir.file("data.dat") + "\n");
    EXPECT_EQ(run("--help").status, 0);
}

TEST_F(CheckTool, StandardInputOfManyBlocksIsDecidedInOrder) {
    // Megabytes of addresses: decided in blocks on every core, yet answered line by line
    // in input order, exactly as the one-line-at-a-time reading does.
    std::string input;
    const char* const kinds[] = {"http://ads.example.com/banner%d\n", "https://www.nasa.gov/kids\r\n",
                                 "http://unlisted%d.example/page\n", "\n", "mailto:kid%d@example.com\n"};
    for (int i = 0; input.size() < 3 * 1024 * 1024; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, kinds[i % 5], i);
        input += line;
    }
    input += "http://ads.example.com/last-without-line-end";
    dir.write("in.txt", input);
    const ToolRun blocks = runTool(WENLOW_CHECK " " + folder() + " < " + dir.file("in.txt"));
    const ToolRun lines = runTool(WENLOW_CHECK " " + folder() + " --flush < " + dir.file("in.txt"));
    EXPECT_EQ(blocks.status, 0);
    EXPECT_EQ(blocks.out.size(), lines.out.size());
    EXPECT_TRUE(blocks.out == lines.out);
    EXPECT_EQ(std::count(blocks.out.begin(), blocks.out.end(), '\n'), std::count(input.begin(), input.end(), '\n') + 1);
    const std::string head = "refuse refuse http://ads.example.com/banner0\nallow allow https://www.nasa.gov/kids\n";
    EXPECT_EQ(blocks.out.substr(0, head.size()), head);
    EXPECT_NE(blocks.out.find("refuse refuse http://ads.example.com/last-without-line-end\n"), std::string::npos);
}

// Each address as the browser's engine reads it, whatever way it is written: the parent
// who checks an address gets the browser's answer.
TEST_F(CheckTool, ReadsAddressesAsTheEngineDoes) {
    std::string data = "starturls\r\n";
    for (const std::string& e : EngineLists) data += e + "\r\n";
    dir.write("data.dat", data + "mainurls\r\nendurls\r\n");
    dir.write("pardata.dat", std::string(EngineParentEntry) + "\r\n");
    std::string input, expected;
    auto add = [&](const std::string& given, bool ok) {
        input += given + "\n";
        expected += std::string(ok ? "allow allow " : "refuse refuse ") + given + "\n";
    };
    for (const EngineForm& f : EngineForms)
        if (std::string(f.given).find('\n') == std::string::npos) add(f.given, f.ok);
    add("ftp.kids.example", true);  // a web address, not a file-transfer link
    add("kids.example:8080/x", true);
    add("pre.example/x#top", false);
    dir.write("in.txt", input);
    const ToolRun r = runTool(WENLOW_CHECK " " + folder() + " --site 0 < " + dir.file("in.txt"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    // Why an address that cannot be read is refused.
    EXPECT_EQ(run(folder() + " --explain http://a+b.bad.com/").out,
              "refuse refuse http://a+b.bad.com/\tthe host cannot be read\n");
}

// The parent's sites decide as in the browser and are named; a search is decided in its
// safe form, which is shown.
TEST_F(CheckTool, ExplainsTheParentsSitesAndSafeSearch) {
    dir.write("sites.dat", "only-approved 1\r\nsafe-search 1\r\nallow-site kids.example\r\n"
                           "allow-address http://learn.example/maths\r\nblock-site chat.kids.example\r\n"
                           "allow-site google.com\r\nallow-site youtube.com\r\n");
    const ToolRun r = run(folder() + " --explain --site 2 https://www.kids.example/ http://chat.kids.example/ "
                                     "http://learn.example/maths/1 http://other.example/ "
                                     "'https://www.google.com/search?q=cats&safe=off' https://www.youtube.com/");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "allow allow https://www.kids.example/\tapproved site kids.example\n"
              "refuse refuse http://chat.kids.example/\tblocked site chat.kids.example\n"
              "allow allow http://learn.example/maths/1\tapproved address http://learn.example/maths\n"
              "refuse refuse http://other.example/\tonly approved sites\n"
              "allow allow https://www.google.com/search?q=cats&safe=off\tapproved site google.com"
              "\tsafe search: https://www.google.com/search?q=cats&safe=active\n"
              "allow allow https://www.youtube.com/\tapproved site youtube.com\tsafe search: YouTube-Restrict: Strict\n");
    // Site 1 verifies against the main list, which the parent's approvals join; only the
    // approved sites open, listed or not.
    EXPECT_EQ(run(folder() + " https://www.kids.example/ https://www.nasa.gov/kids").out,
              "allow allow https://www.kids.example/\nrefuse refuse https://www.nasa.gov/kids\n");
}

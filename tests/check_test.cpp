// wenlow-check, run as a parent would run it.
#include "support/tempdir.h"
#include "support/tool.h"

#include <gtest/gtest.h>

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

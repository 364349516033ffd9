#include "data/linklists.h"
#include "platform/errors.h"
#include "support/expect.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

LinkLists scan(std::string_view text) {
    LinkLists lists;
    scanDataText(text, lists);
    return lists;
}

}  // namespace

// The head of a stored answer is never list lines, whatever it holds; a damaged head
// gives no list at all.
TEST(DataFile, HttpHeaderLinesBeforeTheSectionsAreIgnored) {
    const std::string body = "starturls\r\n1http://bad\r\nmainurls\r\nhttp://good\r\nendurls\r\n";
    const LinkLists plain = scan(body);
    EXPECT_EQ(plain.predefined(), Lines{"1HTTP://BAD"});
    EXPECT_EQ(plain.main(), Lines{"HTTP://GOOD"});
    const struct {
        const char* name;
        std::string head;
        bool read;  // false: nothing at all
    } cases[] = {
        {"plain headers", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n", true},
        {"bare line ends", "HTTP/1.0 200 OK\nServer: x\n\n", true},
        {"an LF after CR LF", "HTTP/1.0 200 OK\r\nServer: x\r\n\n", true},
        {"a CR LF after LF", "HTTP/1.0 200 OK\nServer: x\n\r\n", true},
        {"a header line mainurls", "HTTP/1.0 200 OK\r\nmainurls\r\n\r\n", true},
        {"a header line starturls and an approval", "HTTP/1.0 200 OK\r\nstarturls\r\n4http:\r\n\r\n", true},
        {"keywords cut out of a header by CRs", "HTTP/1.0 200 OK\r\nX: a\rendurls\rstarturls\r4http:\r\n\r\n", true},
        {"a zero byte in a header", std::string("HTTP/1.0 200 OK\r\nX: a") + '\0' + "b\r\n\r\n", false},
        {"a head that never ends", "HTTP/1.0 200 OK\r\nX: a\r\n", false},
    };
    for (const auto& c : cases) {
        const LinkLists l = scan(c.head + body);
        EXPECT_EQ(l.predefined(), c.read ? plain.predefined() : Lines{}) << c.name;
        EXPECT_EQ(l.main(), c.read ? plain.main() : Lines{}) << c.name;
    }
}

TEST(DataFile, KeywordsMustBeExactLowerCaseLines) {
    EXPECT_TRUE(scan("STARTURLS\n1a\nmainurls\nb\nendurls\n").predefined().empty());
    EXPECT_TRUE(scan(" starturls\n1a\nendurls\n").predefined().empty());
    EXPECT_TRUE(scan("starturls \n1a\nendurls\n").predefined().empty());
}

TEST(DataFile, MainurlsBeforeStarturlsSwitchesTheTargetAtOnce) {
    const LinkLists l = scan("mainurls\nstarturls\n1a\nb\nendurls\n");
    EXPECT_TRUE(l.predefined().empty());
    EXPECT_EQ(l.main(), (Lines{"1A", "B"}));
}

TEST(DataFile, SecondStarturlsIsAnEntryAndMainurlsNever) {
    const LinkLists l = scan("starturls\nstarturls\n1a\nmainurls\nmainurls\nx\nendurls\n");
    EXPECT_EQ(l.predefined(), (Lines{"1A", "STARTURLS"}));
    EXPECT_EQ(l.main(), Lines{"X"});
}

TEST(DataFile, AnyControlCharacterEndsALine) {
    const LinkLists l = scan("starturls\n1a\tb\r\n\r\n3c\x01\x02\x1f" "4d\nendurls\n");
    EXPECT_EQ(l.predefined(), (Lines{"1A", "3C", "4D", "B"}));
}

TEST(DataFile, LastLineWithoutLineEndIsLost) {
    EXPECT_EQ(scan("starturls\n1a\n1b").predefined(), Lines{"1A"});
}

TEST(DataFile, ZeroByteEndsTheText) {
    EXPECT_EQ(scan(std::string_view("starturls\n1a\n\0" "1b\n", 16)).predefined(), Lines{"1A"});
}

TEST(DataFile, PredefinedInAscendingOrderMainInFileOrder) {
    const LinkLists l = scan("starturls\n4http://z\n1http://y\n3http://x\n1http://a\nmainurls\nc\na\nb\nendurls\n");
    EXPECT_EQ(l.predefined(), (Lines{"1HTTP://A", "1HTTP://Y", "3HTTP://X", "4HTTP://Z"}));
    EXPECT_EQ(l.main(), (Lines{"C", "A", "B"}));
}

TEST(DataFile, UpperCasesAToZOnlyAndKeepsBlanks) {
    EXPECT_EQ(scan("starturls\n1http://\xe9t\xe9 \nendurls\n").predefined(), Lines{"1HTTP://\xe9T\xe9 "});
}

TEST(DataFile, SectionEdges) {
    EXPECT_TRUE(scan("1a\nmainurls\nb\n").predefined().empty());      // no starturls: nothing
    EXPECT_EQ(scan("starturls\n1a\n3b\n").predefined(), (Lines{"1A", "3B"}));  // no mainurls, no endurls
    const LinkLists after = scan("starturls\n1a\nendurls\n1b\nstarturls\n1c\n");
    EXPECT_EQ(after.predefined(), (Lines{"1A", "1C"}));
}

TEST(DataFile, ReadingAppendsAndKeepsTheOrder) {
    ProgramFolder dir;
    dir.write("data.dat", "starturls\n1b\n1d\nmainurls\nm2\nendurls\n");
    LinkLists lists;
    lists.append({"1A", "1C", "1E"}, {"M1"});
    std::string work = "old";
    readDataFile(dir.path(), work, lists);
    EXPECT_EQ(lists.predefined(), (Lines{"1A", "1B", "1C", "1D", "1E"}));
    EXPECT_EQ(lists.main(), (Lines{"M1", "M2"}));
    EXPECT_EQ(work, "starturls\n1b\n1d\nmainurls\nm2\nendurls\n");
}

TEST(DataFile, WorkTextEndsAtTheFirstZeroByte) {
    ProgramFolder dir;
    dir.write("data.dat", std::string("starturls\n1a\n\0junk", 18));
    LinkLists lists;
    std::string work;
    readDataFile(dir.path(), work, lists);
    EXPECT_EQ(work, "starturls\n1a\n");
}

TEST(DataFile, MissingFileRaisesBeforeAnythingChanges) {
    ProgramFolder dir;
    LinkLists lists;
    lists.append({"1A"}, {});
    std::string work = "old";
    EXPECT_ERROR(readDataFile(dir.path(), work, lists), EFileError, "Cannot open file " + dir.file("data.dat"));
    EXPECT_EQ(lists.predefined(), Lines{"1A"});
}

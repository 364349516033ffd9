#include "data/files.h"
#include "data/flags.h"
#include "data/setupfiles.h"
#include "platform/errors.h"
#include "support/expect.h"
#include "support/limits.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> readLines(LineReader in, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(in.next());
    return out;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(LineReading, CrEndsALineAndSwallowsTheLfAfterIt) {
    EXPECT_EQ(readLines(LineReader("a\r\nb\rc"), 4), (Lines{"a", "b", "c", ""}));
}

TEST(LineReading, LoneLfIsAnOrdinaryCharacter) {
    EXPECT_EQ(readLines(LineReader("a\nb\r\nc"), 2), (Lines{"a\nb", "c"}));
    // An LF that follows the CR LF of a line end starts the next line.
    EXPECT_EQ(readLines(LineReader("a\r\n\nb\r"), 2), (Lines{"a", "\nb"}));
}

TEST(LineReading, Code26EndsTheText) {
    EXPECT_EQ(readLines(LineReader("a\r\nb\x1a\r\nc\r\n"), 3), (Lines{"a", "b", ""}));
}

TEST(LineReading, ReadingPastTheEndYieldsEmptyLines) {
    LineReader in("");
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(readLines(in, 3), (Lines{"", "", ""}));
}

TEST(LineReading, MissingFileIsFileNotFound) {
    ProgramFolder dir;
    EXPECT_ERROR(LineReader::open(dir.file("setup.dat")), EFileError, "File not found");
}

TEST(ListReading, EveryLineEndKindAndEmptyLinesCount) {
    EXPECT_EQ(splitList("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(splitList("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitList("a\n\rb"), (Lines{"a", "", "b"}));  // LF then CR: two line ends
    EXPECT_EQ(splitList(""), Lines{});
}

TEST(ListReading, ZeroByteEndsTheText) {
    EXPECT_EQ(splitList(std::string("a\r\nb\0c\r\nd", 9)), (Lines{"a", "b"}));
}

TEST(ListReading, MissingFileNamesTheFullPath) {
    ProgramFolder dir;
    EXPECT_ERROR(readListFile(dir.file("pardata.dat")), EFileError, "Cannot open file " + dir.file("pardata.dat"));
}

TEST(Flags, SetOnlyByOneAndClearPastTheEnd) {
    EXPECT_TRUE(flagAt("01", 2));
    EXPECT_FALSE(flagAt("0x", 2));
    EXPECT_FALSE(flagAt("1", 2));
    EXPECT_FALSE(flagAt("1", 0));
    EXPECT_EQ(padFlags("11111", 6, "11111111"), "1111111111111");
    EXPECT_EQ(padFlags("000000", 6, "11111111"), "000000");
    EXPECT_EQ(flagsLine(std::array<bool, 3>{true, false, true}), "101");
}

TEST(Password, ScramblingShiftsEveryCodeByOneModulo256) {
    const std::string plain = std::string("ab\0\xff Z", 6);
    const std::string stored = scramble(plain);
    EXPECT_EQ(stored, std::string("`a\xff\xfe\x1fY", 6));
    EXPECT_EQ(unscramble(stored), plain);
}

TEST(SetupFile, OptionsLineShorterThanSixGetsOnesAppended) {
    ProgramFolder dir;
    dir.write("setup.dat", "pw\r\n00000\r\n");
    SetupValues v = readSetupFile(dir.file("setup.dat"));
    EXPECT_FALSE(v.option(OptEmail));
    EXPECT_TRUE(v.option(OptDefaultServer));
    EXPECT_TRUE(v.option(OptAutomatic));
    EXPECT_TRUE(v.option(OptVerification));

    dir.write("setup.dat", "pw\r\n000001\r\n");
    v = readSetupFile(dir.file("setup.dat"));
    EXPECT_TRUE(v.option(OptDefaultServer));
    EXPECT_FALSE(v.option(OptAutomatic));
    EXPECT_FALSE(v.option(OptVerification));
}

TEST(SetupFile, EmptyFileLoadsTheDefaults) {
    ProgramFolder dir;
    dir.write("setup.dat", "");
    const SetupValues v = readSetupFile(dir.file("setup.dat"));
    EXPECT_EQ(v.password, "");
    for (int pos = 1; pos <= 8; ++pos) EXPECT_TRUE(v.option(pos)) << pos;
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(v.verify[i]);
        EXPECT_FALSE(v.shown[i]);
    }
}

TEST(SetupFile, ShortVerifyAndButtonsLinesArePadded) {
    ProgramFolder dir;
    dir.write("setup.dat", "\r\n11111111\r\n\r\n0\r\n1\r\nfirst\r\n");
    const SetupValues v = readSetupFile(dir.file("setup.dat"));
    EXPECT_FALSE(v.verify[0]);
    EXPECT_TRUE(v.verify[1]);   // "0" + "111111111"
    EXPECT_TRUE(v.shown[0]);
    EXPECT_FALSE(v.shown[1]);   // "1" + "000000000"
    EXPECT_EQ(v.addresses[0], "first");
}

TEST(SetupFile, OnlyShownButtonsTakeAddressLines) {
    ProgramFolder dir;
    dir.write("setup.dat", "\r\n11111111\r\nhttp://up\r\n111111111\r\n100000001\r\none\r\nnine\r\nextra\r\n");
    const SetupValues v = readSetupFile(dir.file("setup.dat"));
    EXPECT_EQ(v.updateAddress, "http://up");
    EXPECT_EQ(v.addresses[0], "one");
    EXPECT_EQ(v.addresses[8], "nine");
    for (int i = 1; i < 8; ++i) EXPECT_EQ(v.addresses[i], "");
}

TEST(SetupFile, MissingAddressLinesReadEmpty) {
    ProgramFolder dir;
    dir.write("setup.dat", "\r\n11111111\r\n\r\n111111111\r\n110000000\r\nonly");
    const SetupValues v = readSetupFile(dir.file("setup.dat"));
    EXPECT_EQ(v.addresses[0], "only");
    EXPECT_EQ(v.addresses[1], "");
}

TEST(SetupFile, WritesTheStoredLayout) {
    SetupValues v;
    v.password = "pa";
    v.options = {true, false, true, false, true, false, false, true};
    v.updateAddress = "http://lists.example/x";
    v.verify = {true, false, false, false, false, false, false, false, true};
    v.shown = {true, false, true, false, false, false, false, false, false};
    v.addresses = {"a.html", "hidden", "", "", "", "", "", "", ""};
    EXPECT_EQ(setupFileBytes(v),
              "o`\r\n10101001\r\nhttp://lists.example/x\r\n100000001\r\n101000000\r\na.html\r\n\r\n");
    // The default server chosen: line 3 is written empty.
    v.options[OptDefaultServer - 1] = true;
    EXPECT_EQ(setupFileBytes(v).substr(0, 18), "o`\r\n10101101\r\n\r\n10");
}

TEST(SetupFile, ReadsBackWhatItWrites) {
    ProgramFolder dir;
    SetupValues v;
    v.password = std::string("p\0w", 3);
    v.options = {false, true, false, true, false, false, true, false};
    v.updateAddress = "server/list";
    v.verify[4] = true;
    v.shown = {false, true, false, false, false, false, false, true, false};
    v.addresses[1] = "two";
    v.addresses[7] = "eight";
    dir.write("setup.dat", setupFileBytes(v));
    const SetupValues r = readSetupFile(dir.file("setup.dat"));
    EXPECT_EQ(r.password, v.password);
    EXPECT_EQ(r.options, v.options);
    EXPECT_EQ(r.updateAddress, v.updateAddress);
    EXPECT_EQ(r.verify, v.verify);
    EXPECT_EQ(r.shown, v.shown);
    EXPECT_EQ(r.addresses, v.addresses);
}

TEST(ButtonsFile, EighteenLinesPictureThenLabel) {
    ProgramFolder dir;
    dir.write("buttons.dat", "p1.bmp\r\nOne\r\n\r\nTwo\r\n");
    const ButtonsValues b = readButtonsFile(dir.file("buttons.dat"));
    EXPECT_EQ(b.pictures[0], "p1.bmp");
    EXPECT_EQ(b.labels[0], "One");
    EXPECT_EQ(b.pictures[1], "");
    EXPECT_EQ(b.labels[1], "Two");
    EXPECT_EQ(b.labels[8], "");
    std::string expected = "p1.bmp\r\nOne\r\n\r\nTwo\r\n";
    for (int i = 0; i < 14; ++i) expected += "\r\n";
    EXPECT_EQ(buttonsFileBytes(b), expected);
    EXPECT_ERROR(readButtonsFile(dir.file("none.dat")), EFileError, "File not found");
}

TEST(DefaultsFile, FlagsAreNotPaddedAndAllNineAddressesAreRead) {
    ProgramFolder dir;
    dir.write("default.dat", "0001\r\n0001\r\na1\r\na2\r\na3\r\na4\r\n");
    const DefaultsValues d = readDefaultsFile(dir.file("default.dat"));
    EXPECT_TRUE(flagAt(d.verifyLine, 4));
    EXPECT_FALSE(flagAt(d.enableLine, 5));
    EXPECT_EQ(d.addresses[3], "a4");
    EXPECT_EQ(d.addresses[4], "");
}

TEST(Backup, TheFirstBackupIsNeverReplaced) {
    ProgramFolder dir;
    const SetupValues setup;
    const ButtonsValues buttons;
    dir.write("setup.dat", "first");
    dir.write("buttons.dat", "first buttons");
    writeSetupFiles(dir.path(), setup, buttons);
    EXPECT_EQ(dir.read("setup.bak"), "first");
    EXPECT_EQ(dir.read("buttons.bak"), "first buttons");
    EXPECT_EQ(dir.read("setup.dat"), setupFileBytes(setup));

    dir.write("setup.dat", "second");
    writeSetupFiles(dir.path(), setup, buttons);
    EXPECT_EQ(dir.read("setup.bak"), "first");
    EXPECT_EQ(dir.read("setup.dat"), setupFileBytes(setup));
}

TEST(Backup, NothingToBackUpIsNotAnError) {
    ProgramFolder dir;
    writeSetupFiles(dir.path(), SetupValues{}, ButtonsValues{});
    EXPECT_FALSE(dir.exists("setup.bak"));
    EXPECT_TRUE(dir.exists("setup.dat"));
    EXPECT_TRUE(dir.exists("buttons.dat"));
}

TEST(SafeWrite, UnwritableFolderIsCannotCreateFile) {
    ProgramFolder dir;
    const std::string path = dir.path() + "missing/pardata.dat";
    EXPECT_ERROR(writeFileSafely(path, "x"), EFileError, "Cannot create file " + path);
}

TEST(SafeWrite, AWriteThatFailsMidwayLeavesTheOldFileWhole) {
    ProgramFolder dir;
    dir.write("pardata.dat", "http://old\r\n");
    std::vector<std::string> many(200, "http://www.example.com/some/long/address");
    bool failed = false;
    {
        const FileSizeLimit limit(512);
        ASSERT_TRUE(limit.ok());
        try {
            writeParentList(dir.path(), many);
        } catch (const EFileError& e) {
            failed = true;
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.file("pardata.dat"));
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(dir.read("pardata.dat"), "http://old\r\n");
    EXPECT_EQ(dir.entries(), QStringList{"pardata.dat"});  // no temporary file left behind
}

TEST(ParentList, WholeListWithCrLfAndNoBackup) {
    ProgramFolder dir;
    dir.write("pardata.dat", "old\r\n");
    writeParentList(dir.path(), {"http://a", "", "http://b"});
    EXPECT_EQ(dir.read("pardata.dat"), "http://a\r\n\r\nhttp://b\r\n");
    EXPECT_FALSE(dir.exists("pardata.bak"));
    writeParentList(dir.path(), {});
    EXPECT_EQ(dir.read("pardata.dat"), "");
}

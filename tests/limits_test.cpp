// Files far larger than any family needs: handled without a crash, with a clear message
// where the program cannot use them.
#include "support/program.h"

#include <QImage>
#include <QLineEdit>
#include <QListWidget>

#include <chrono>

using Limits = ProgramTest;

TEST_F(Limits, AHundredMegabyteListFileLoads) {
    std::string data = "starturls\r\n";
    for (int i = 0; data.size() < 100u << 20; ++i) data += "1http://blocked-" + std::to_string(i) + ".example.org\r\n";
    data += "mainurls\r\nhttp://fine.example\r\nendurls\r\n";
    dir.write("data.dat", data);
    start();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_GT(form1->lists.predefined().size(), 2500000u);
    EXPECT_FALSE(form1->urlok("http://blocked-12345.example.org/"));
    EXPECT_TRUE(form1->urlok("http://fine.example"));
}

TEST_F(Limits, AHundredThousandParentEntriesLoadAndCount) {
    std::string list;
    for (int i = 0; i < 100000; ++i) list += "http://parent-" + std::to_string(i) + ".example\r\n";
    dir.write("pardata.dat", list);
    start();
    EXPECT_EQ(form3->ParentBlocks->count(), 100000);
    EXPECT_FALSE(form1->urlok("http://parent-99999.example"));
}

TEST_F(Limits, ATenMegabyteLineInTheSetupFile) {
    const std::string huge(10u << 20, 'x');
    dir.write("setup.dat", "\r\n11111101\r\n" + huge + "\r\n111111111\r\n110000000\r\nlist1.html\r\n" + huge + "\r\n");
    start();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().front();
    EXPECT_EQ(form1->startAddresses[2].size(), huge.size() + dir.path().size());
    // Kept whole through a save.
    form3->Button1Click();
    EXPECT_NE(dir.read("setup.dat").find(huge), std::string::npos);
}

TEST_F(Limits, PicturesThatAreNoBitmapsOrTooLarge) {
    QImage big(10000, 10000, QImage::Format_Mono);
    big.fill(0);
    ASSERT_TRUE(big.save(QString::fromStdString(dir.file("image2.bmp")), "BMP"));
    start();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Bitmap image is not valid."});
    dialogs.clear();
    dir.write("image2.bmp", "GIF89a not a bitmap at all");
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Bitmap image is not valid."});
}

// The real dialogs where they can run without a person: the help viewer and the filter.
#include "platform/bitmap.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "support/expect.h"

#include <QApplication>
#include <QTextBrowser>

#include <gtest/gtest.h>

TEST(HelpViewer, OpensTheHelpFileAtAContext) {
    QtDialogs dialogs;
    dialogs.showHelp(std::string(WENLOW_SAMPLE_DIR) + "/wenlow.hlp", 13);
    QTextBrowser* viewer = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QTextBrowser*>(w)) viewer = b;
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->source().fragment(), "context-13");
    EXPECT_TRUE(viewer->toPlainText().contains("Each row is one button"));
    EXPECT_ERROR(dialogs.showHelp("/nowhere/wenlow.hlp", 1), EFileError, "Cannot open file /nowhere/wenlow.hlp");
    delete viewer;
}

TEST(PictureDialog, FilterInTheToolkitsForm) {
    EXPECT_EQ(qtFileFilter("Bitmaps (*.bmp)|*.bmp"), "Bitmaps (*.bmp)");
    EXPECT_EQ(qtFileFilter("Pictures|*.bmp;*.dib|All|*.*"), "Pictures (*.bmp *.dib);;All (*.*)");
}

// The supplied pictures: nine, each of the size the buttons take, with a twice as large
// one for screens of double density that is chosen only there.
TEST(Pictures, SuppliedForBothScreenDensities) {
    const std::string sample = WENLOW_SAMPLE_DIR;
    for (int i = 1; i <= 9; ++i) {
        const std::string one = sample + "/image" + std::to_string(i) + ".bmp";
        EXPECT_EQ(readBitmap(one).size(), QSize(32, 28)) << one;
        EXPECT_EQ(bitmapForDensity(one, 1.0), one);
        const std::string two = bitmapForDensity(one, 2.0);
        EXPECT_NE(two, one);
        EXPECT_EQ(readBitmap(two).size(), QSize(64, 56)) << two;
    }
    EXPECT_EQ(bitmapForDensity("/nowhere/own.bmp", 2.0), "/nowhere/own.bmp");  // none drawn for it
    EXPECT_EQ(bitmapForDensity(sample + "/wenlow.hlp", 2.0), sample + "/wenlow.hlp");
}

// The real dialogs where they can run without a person: the help viewer and the filter.
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

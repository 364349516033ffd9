// The Buttons page: rows, "Default", and the label-and-picture editor.
#include "support/program.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

class Buttons : public ProgramTest {
protected:
    void SetUp() override {
        dir.write("default.dat", "000100001\r\n100100000\r\nd1.html\r\nd2.html\r\nd3.html\r\nd4.html\r\nd5.html\r\n"
                                 "d6.html\r\nd7.html\r\nd8.html\r\nd9.html\r\n");
        start({"PARENT"});
        ASSERT_TRUE(dialogs.shown.empty());
        form1->Setup1Click();
        form3->Edit1->setText("parent");  // the pages answer only past the gate
        form3->Button4Click();
    }
};

}  // namespace

TEST_F(Buttons, DefaultRestoresAnEnabledRowFromItsOwnLine) {
    form3->enableBox[4]->setChecked(false);
    form3->verifyBox[4]->setChecked(false);
    form3->ButtonDefault(4);
    EXPECT_TRUE(form3->verifyBox[4]->isChecked());
    EXPECT_TRUE(form3->enableBox[4]->isChecked());
    EXPECT_TRUE(form3->addressBox[4]->isEnabled());
    EXPECT_EQ(form3->addressBox[4]->text(), "d4.html");  // line 6 of default.dat
}

TEST_F(Buttons, DefaultOfADisabledRowEmptiesAndDisablesIt) {
    form3->ButtonDefault(2);
    EXPECT_FALSE(form3->enableBox[2]->isChecked());
    EXPECT_FALSE(form3->addressBox[2]->isEnabled());
    EXPECT_EQ(form3->addressBox[2]->text(), "");
    EXPECT_FALSE(form3->verifyBox[2]->isChecked());
    form3->ButtonDefault(9);  // a verify flag past the enabled ones
    EXPECT_TRUE(form3->verifyBox[9]->isChecked());
    EXPECT_FALSE(form3->enableBox[9]->isChecked());
}

TEST_F(Buttons, DefaultWithoutDefaultsFileChangesNothing) {
    dir.remove("default.dat");
    form3->verifyBox[3]->setChecked(true);
    guarded([&] { form3->ButtonDefault(3); });
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"File not found."});
    EXPECT_TRUE(form3->verifyBox[3]->isChecked());
    EXPECT_EQ(form3->addressBox[3]->text(), "list3.html");
}

TEST_F(Buttons, EnableBoxTwiceLeavesTheRowAsItWas) {
    form3->enableBox[3]->click();
    EXPECT_FALSE(form3->addressBox[3]->isEnabled());
    EXPECT_EQ(form3->addressBox[3]->text(), "list3.html");
    form3->enableBox[3]->click();
    EXPECT_TRUE(form3->addressBox[3]->isEnabled());
    EXPECT_EQ(form3->addressBox[3]->text(), "list3.html");
}

TEST_F(Buttons, EditorOpensWithTheButtonsLabelAndPicture) {
    form3->pictureButton[2]->click();
    EXPECT_EQ(form3->SelectedButton, 2);
    EXPECT_EQ(form3->HelpTopic, 14);
    EXPECT_FALSE(form3->Panel6->isHidden());
    EXPECT_EQ(form3->Edit13->text(), "Learn");
    EXPECT_EQ(form3->Edit14->text(), "");        // the stored entry, empty
    EXPECT_FALSE(form3->SpeedButton5->icon().isNull());  // its default picture
    EXPECT_EQ(form3->SpeedButton5->text(), "Learn");
}

TEST_F(Buttons, OkAppliesToBothWindowsAtOnceAndCancelKeepsTheFields) {
    form3->pictureButton[3]->click();
    form3->Edit13->setText("Animals");
    form3->Button9Click();
    EXPECT_EQ(form3->SpeedButton5->text(), "Animals");
    form3->Button13Click();  // Cancel
    EXPECT_EQ(form3->HelpTopic, 13);
    EXPECT_FALSE(form3->Panel6->isVisible());
    EXPECT_EQ(form3->ButtonLabels[3], "Zoo");
    EXPECT_EQ(form1->siteButton[3]->text(), "Zoo");
    EXPECT_EQ(form3->Edit13->text(), "Animals");  // kept until the editor opens again

    form3->pictureButton[3]->click();
    form3->Edit13->setText("Animals");
    form3->Edit14->setText("image7.bmp");
    form3->Button12Click();  // OK
    EXPECT_EQ(form3->ButtonLabels[3], "Animals");
    EXPECT_EQ(form3->PictureFiles[3], "image7.bmp");
    EXPECT_EQ(form1->siteButton[3]->text(), "Animals");
    EXPECT_EQ(form3->pictureButton[3]->text(), "Animals");
    EXPECT_FALSE(form3->Panel6->isVisible());

    // "Cancel Changes & Close" does not take it back; the next load does.
    form3->Button8Click();
    EXPECT_EQ(form1->siteButton[3]->text(), "Animals");
    form1->Setup1Click();
    EXPECT_EQ(form1->siteButton[3]->text(), "Zoo");
}

TEST_F(Buttons, SaveStoresLabelsAndPicturesNotTheUnconfirmedEditor) {
    form3->pictureButton[1]->click();
    form3->Edit13->setText("Home");
    form3->Edit14->setText(QString::fromStdString(dir.file("image6.bmp")));
    form3->Button12Click();
    form3->pictureButton[2]->click();
    form3->Edit13->setText("Unsaved");
    form3->Button1Click();
    EXPECT_EQ(dir.read("buttons.dat").substr(0, dir.file("image6.bmp").size() + 17),
              dir.file("image6.bmp") + "\r\nHome\r\n\r\nLearn\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(form3->Panel6->isHidden());
}

TEST_F(Buttons, PictureButtonsOfTheEditor) {
    form3->pictureButton[1]->click();
    dialogs.pictureAnswer = dir.file("image4.bmp");
    form3->Button10Click();  // Browse
    EXPECT_EQ(dialogs.shown.back(), (Shown{"picture", "Bitmaps (*.bmp)|*.bmp", ""}));
    EXPECT_EQ(form3->Edit14->text().toStdString(), dir.file("image4.bmp"));
    form3->Button11Click();  // Preview
    EXPECT_TRUE(dialogs.shown.size() == 1);

    dialogs.pictureAnswer.reset();
    form3->Button10Click();  // nothing chosen: the box keeps its text
    EXPECT_EQ(form3->Edit14->text().toStdString(), dir.file("image4.bmp"));

    form3->Button14Click();  // Default
    EXPECT_EQ(form3->Edit14->text(), "image1.bmp");

    form3->Edit14->setText("missing.bmp");
    const qint64 before = form3->SpeedButton5->icon().cacheKey();
    guarded([&] { form3->Button11Click(); });
    EXPECT_EQ(dialogs.texts().back(), "Cannot open file " + dir.file("missing.bmp") + ".");
    EXPECT_EQ(form3->SpeedButton5->icon().cacheKey(), before);  // the preview keeps its picture
}

TEST_F(Buttons, EditorStaysClosedWhenThePictureFails) {
    form3->PictureFiles[5] = "nowhere/x.bmp";
    form3->ButtonLabels[5] = "Five";
    guarded([&] { form3->pictureButtonClick(5); });
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot open file nowhere/x.bmp."});
    EXPECT_FALSE(form3->Panel6->isVisible());
    EXPECT_EQ(form3->HelpTopic, 14);
    EXPECT_EQ(form3->SpeedButton5->text(), "Five");
}

TEST_F(Buttons, LabelBoxTakesTenTypedCharactersButKeepsALongerStoredLabel) {
    form3->pictureButton[1]->click();
    form3->Edit13->clear();
    QTest::keyClicks(form3->Edit13, "abcdefghijklmn");
    EXPECT_EQ(form3->Edit13->text(), "abcdefghij");

    form3->ButtonLabels[2] = "A label of 17 chr";
    form3->pictureButtonClick(2);
    EXPECT_EQ(form3->Edit13->text(), "A label of 17 chr");
    form3->Edit13->end(false);
    QTest::keyClick(form3->Edit13, Qt::Key_Backspace);
    QTest::keyClicks(form3->Edit13, "xy");
    EXPECT_EQ(form3->Edit13->text(), "A label of 17 ch");
}

TEST_F(Buttons, LoadClosesTheEditor) {
    form3->pictureButton[1]->click();
    form3->FormShow();
    EXPECT_FALSE(form3->Panel6->isVisible());
}

// A label of up to ten letters, typed in the editor, shows whole on the main window's
// button, on the row's button and on the preview: smaller, down to a size still easy to
// read, and then on a wider button, never cut to "Ho...!!".
TEST_F(Buttons, TenLetterLabelsShowWhole) {
    const struct {
        const char* label;
        int mainWidth;  // of the main window's button and its slot
        bool smaller;   // in a font smaller than the design's 13 pixels
    } cases[] = {
        {"Zoo", 47, false},
        {"Homework!!", 57, true},
        {"WWWWWWWWWW", 80, true},
        {"Learn", 47, false},
    };
    const auto whole = [](const QToolButton* b) {
        return QFontMetrics(b->font()).horizontalAdvance(b->text()) + 4 <= b->width();
    };
    form3->Edit1->setText("parent");
    form3->Button4Click();
    for (const auto& c : cases) {
        form3->pictureButtonClick(2);
        form3->Edit13->selectAll();
        QTest::keyClicks(form3->Edit13, c.label);
        QTest::mouseClick(form3->Button9, Qt::LeftButton);  // "Preview"
        EXPECT_EQ(form3->SpeedButton5->text(), c.label);
        EXPECT_TRUE(whole(form3->SpeedButton5)) << c.label;
        QTest::mouseClick(form3->Button12, Qt::LeftButton);  // "OK"
        for (const QToolButton* b : {form1->siteButton[2], form3->pictureButton[2]}) {
            EXPECT_EQ(b->text(), c.label);
            EXPECT_TRUE(whole(b)) << c.label << " on " << b->objectName().toStdString();
            EXPECT_EQ(b->font().pixelSize() < 13, c.smaller) << c.label;
            EXPECT_GE(b->font().pixelSize(), std::string(c.label) == "Homework!!" ? 10 : 6) << c.label;
        }
        EXPECT_EQ(form1->siteButton[2]->width(), c.mainWidth) << c.label;
        EXPECT_EQ(form1->siteSlot[2]->width(), c.mainWidth) << c.label;
        // The row's button stays clear of the row's enable box and address box.
        EXPECT_GT(form3->pictureButton[2]->geometry().left(), form3->enableBox[2]->geometry().right());
        EXPECT_LT(form3->pictureButton[2]->geometry().right(), form3->addressBox[2]->geometry().left());
    }
}

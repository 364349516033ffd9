// The setup window: its load and the settings it holds for the running program.
#include "data/sources.h"
#include "platform/text.h"
#include "setup/predefmodel.h"
#include "setup/sourcespage.h"
#include "support/program.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <ctime>

using SetupLoad = ProgramTest;

TEST_F(SetupLoad, ControlsTakeTheStoredSettings) {
    dir.write("setup.dat", "o`qdms\r\n10100001\r\nlists.example/data.dat\r\n101000000\r\n100000001\r\none.html\r\nnine.html\r\n");
    start();
    EXPECT_EQ(form3->Password, "parent");
    EXPECT_TRUE(form3->CheckBox1->isChecked());
    EXPECT_FALSE(form3->CheckBox14->isChecked());
    EXPECT_TRUE(form3->CheckBox2->isChecked());
    EXPECT_FALSE(form3->CheckBox13->isChecked());
    EXPECT_FALSE(form3->CheckBox3->isChecked());
    EXPECT_TRUE(form3->CheckBox15->isChecked());
    EXPECT_TRUE(form3->RadioButton2->isChecked());  // position 6 clear: the address below
    EXPECT_TRUE(form3->Edit11->isEnabledTo(form3->SetupTabs));  // once the gate lets the pages be used
    EXPECT_EQ(form3->Edit11->text(), "lists.example/data.dat");
    EXPECT_TRUE(form3->RadioButton4->isChecked());  // position 7 clear: when pressed
    EXPECT_TRUE(form3->verifyBox[1]->isChecked());
    EXPECT_FALSE(form3->verifyBox[2]->isChecked());
    EXPECT_TRUE(form3->verifyBox[3]->isChecked());
    EXPECT_TRUE(form3->enableBox[1]->isChecked());
    EXPECT_FALSE(form3->enableBox[2]->isChecked());
    EXPECT_FALSE(form3->addressBox[2]->isEnabled());
    EXPECT_EQ(form3->addressBox[9]->text(), "nine.html");
    EXPECT_TRUE(form1->siteSlot[9]->isVisibleTo(form1));
    EXPECT_FALSE(form1->siteSlot[4]->isVisibleTo(form1));
    EXPECT_EQ(form3->HelpTopic, 15);
    EXPECT_TRUE(form3->Button4->isDefault());
    EXPECT_FALSE(form3->Button1->isDefault());
}

TEST_F(SetupLoad, DefaultServerKeepsTheAddressBoxTextButDisablesIt) {
    create();
    form3->Edit11->setText("typed before");
    form1->FormActivate();  // sample: default server
    EXPECT_TRUE(form3->RadioButton1->isChecked());
    EXPECT_FALSE(form3->Edit11->isEnabled());
    EXPECT_EQ(form3->Edit11->text(), "typed before");
}

TEST_F(SetupLoad, ListsShownAsStored) {
    dir.write("pardata.dat", "http://Chat.example\r\n\r\nhttp://b\r\n");
    start();
    ASSERT_EQ(form3->ParentBlocks->count(), 3);
    EXPECT_EQ(form3->ParentBlocks->item(0)->text(), "This page: http://Chat.example");
    EXPECT_EQ(form3->ParentBlocks->item(1)->text(), "This page: ");
    EXPECT_EQ(form3->parentList(), (std::vector<std::string>{"http://Chat.example", "", "http://b"}));
    // The predefined list as it was when the load ran: at the first activation the
    // lists are read after the load, so a second load shows them.
    EXPECT_EQ(form3->predefModel->rowCount(), 0);
    form3->FormShow();
    ASSERT_EQ(form3->predefModel->rowCount(), static_cast<int>(form1->lists.predefined().size()));
    EXPECT_EQ(form3->predefModel->index(0, 0).data().toString(), "Blocks: begins with");
    EXPECT_EQ(form3->predefModel->index(0, 1).data().toString(), "http://ads.");
    EXPECT_EQ(form3->PredefCount->text(), "7 entries");
}

// Each kind in words, the address in lower case as it was written.
TEST(PredefRows, KindsInWords) {
    const struct {
        const char* entry;
        const char* words;
        const char* address;
    } rows[] = {
        {"1HTTP://ADS.", "Blocks: begins with", "http://ads."},
        {"1", "Blocks: begins with", "(every address)"},
        {"2BAD.COM", "Blocks: whole site", "bad.com"},
        {"3HTTP://X.COM/\xC9", "Blocks: this page", "http://x.com/\xC9"},
        {"4HTTP://KIDS.EXAMPLE", "Allows: begins with", "http://kids.example"},
        {"5KIDS.BAD.COM", "Allows: whole site", "kids.bad.com"},
        {"9HTTP://ODD", "Not used", "http://odd"},
    };
    PredefModel model;
    std::vector<std::string> entries;
    for (const auto& r : rows) entries.push_back(r.entry);
    model.setEntries(TextList(entries));
    ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(rows)));
    for (int i = 0; i < model.rowCount(); ++i) {
        EXPECT_EQ(model.index(i, 0).data().toString(), fromAnsi(rows[i].words)) << rows[i].entry;
        EXPECT_EQ(model.index(i, 1).data().toString(), fromAnsi(rows[i].address)) << rows[i].entry;
    }
    EXPECT_EQ(model.countText(), "7 entries");
}

TEST_F(SetupLoad, LabelsAndPicturesReachBothWindows) {
    start();
    EXPECT_EQ(form1->siteButton[2]->text(), "Learn");
    EXPECT_EQ(form3->pictureButton[2]->text(), "Learn");
    EXPECT_FALSE(form1->siteButton[9]->icon().isNull());
    EXPECT_FALSE(form3->pictureButton[9]->icon().isNull());
}

TEST_F(SetupLoad, LaterLoadsStoreAddressesUnresolved) {
    start();
    EXPECT_EQ(form1->startAddresses[1], dir.file("list1.html"));
    form3->FormShow();
    EXPECT_EQ(form1->startAddresses[1], "list1.html");
    EXPECT_EQ(form1->startAddresses[5], "");
}

TEST_F(SetupLoad, PicturePathRules) {
    create();
    dir.write("buttons.dat", "\r\nA\r\nsub/pic.bmp\r\nB\r\n");  // 2: a folder part, used unchanged
    form1->FormActivate();
    ASSERT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot open file sub/pic.bmp."});
    EXPECT_EQ(form3->pictureButton[2]->text(), "B");  // set before the picture failed
    EXPECT_NE(form1->siteButton[2]->text(), "B");     // not reached

    dialogs.clear();
    dir.write("buttons.dat", "\r\nA\r\n\r\nB\r\nown.bmp\r\nC\r\n");  // 3: in the program folder
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Cannot open file " + dir.file("own.bmp") + "."});
    EXPECT_EQ(form1->siteButton[2]->text(), "B");

    dialogs.clear();
    dir.write("own.bmp", dir.read("image5.bmp"));
    form1->FormDeactivate();
    form1->FormActivate();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(form1->siteButton[3]->text(), "C");
}

TEST_F(SetupLoad, BadBitmapStopsTheUpdateThere) {
    dir.write("image4.bmp", "BM this is no bitmap");
    dir.write("buttons.dat", "\r\nL1\r\n\r\nL2\r\n\r\nL3\r\n\r\nL4\r\n\r\nL5\r\n");
    start();
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Bitmap image is not valid."});
    EXPECT_EQ(form1->siteButton[3]->text(), "L3");
    EXPECT_EQ(form1->siteButton[4]->text(), "Site 4");  // not reached: keeps its look
    EXPECT_EQ(form1->siteButton[5]->text(), "Site 5");
    EXPECT_TRUE(form1->firstActivation);
}

TEST_F(SetupLoad, SettingsCountAtOnceSavedOrNot) {
    start();
    EXPECT_TRUE(form3->option(OptEmail));
    form3->CheckBox1->setChecked(false);
    EXPECT_FALSE(form3->option(OptEmail));
    form3->verifyBox[4]->setChecked(true);
    EXPECT_TRUE(form3->verify(4));
    EXPECT_FALSE(form3->verify(0));
    form3->RadioButton4->setChecked(true);
    EXPECT_FALSE(form3->option(OptAutomatic));
    // The next load takes the stored settings again.
    form3->FormShow();
    EXPECT_TRUE(form3->option(OptEmail));
}

TEST_F(SetupLoad, ListSourcesShowWhatTheDailyUpdateFetchedAndWhen) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "UTC");
    ::tzset();
    start();
    SourcesPage& page = *form3->Sources;
    EXPECT_EQ(form3->SetupTabs->tabText(form3->SetupTabs->indexOf(&page)), "List Sources");
    EXPECT_TRUE(page.note->text().startsWith("No sources.txt in the program folder")) << page.note->text().toStdString();
    EXPECT_EQ(page.sources->topLevelItemCount(), 0);

    const std::string named = "https://a.example/l domains block\nhttps://b.example/h hosts allow  # school\n"
                              "https://c.example/x adblock block\n";
    dir.write("sources.txt", named);
    QDir().mkpath(QString::fromStdString(dir.file("sources")));
    writeSourceStates(dir.path(), {{"https://a.example/l", 1700000000, 1700000000, "", "\"e\"", ""},
                                   {"https://b.example/h", 1700000000, 1700086400, "the server answered with status 404", "", ""},
                                   {"https://gone.example/l", 1, 1, "", "", ""}});
    form3->FormShow();
    const char* const rows[][4] = {
        {"https://a.example/l", "domains", "block", "2023-11-14 22:13"},
        {"https://b.example/h", "hosts", "allow", "2023-11-14 22:13 (2023-11-15 22:13 failed: the server answered with status 404)"},
        {"https://c.example/x", "adblock", "block", "not yet"},
    };
    ASSERT_EQ(page.sources->topLevelItemCount(), 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(page.sources->topLevelItem(r)->text(c).toStdString(), rows[r][c]);

    // Shown only: the keyboard changes nothing there.
    form3->SetupTabs->setCurrentWidget(&page);
    page.sources->setFocus();
    page.sources->setCurrentItem(page.sources->topLevelItem(1));
    for (const auto key : {Qt::Key_F2, Qt::Key_Delete, Qt::Key_Return, Qt::Key_X}) QTest::keyClick(page.sources, key);
    EXPECT_EQ(page.sources->topLevelItemCount(), 3);
    EXPECT_EQ(page.sources->topLevelItem(1)->text(0), "https://b.example/h");
    EXPECT_EQ(dir.read("sources.txt"), named);

    dir.write("sources.txt", "http://a.example/l domains block\n");
    form3->FormShow();
    EXPECT_EQ(page.sources->topLevelItemCount(), 0);
    EXPECT_TRUE(page.note->text().startsWith("sources.txt line 1: http://a.example/l is not an https address."))
        << page.note->text().toStdString();
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    ::tzset();
}

// Typed into the filter box, a text finds its entry among a million; the search goes on
// between the window's other events, and the rows change when it has seen every entry.
TEST_F(SetupLoad, TheFilterFindsAnEntryAmongAMillionBetweenOtherEvents) {
    start();
    openSetup();
    TextList entries;
    for (int i = 0; i < 1000000; ++i) entries.push_back("1HTTP://HOST" + std::to_string(i) + ".EXAMPLE/PAGE");
    form3->predefModel->setEntries(std::move(entries));
    EXPECT_EQ(form3->PredefCount->text(), "1,000,000 entries");
    QTest::keyClicks(form3->PredefFilter, "Host777777.");
    EXPECT_TRUE(form3->predefModel->searching());
    EXPECT_EQ(form3->PredefCount->text(), "Searching...");
    EXPECT_EQ(form3->predefModel->rowCount(), 1000000);  // until the search has ended
    int turns = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++turns; });
    other.start(0);
    while (form3->predefModel->searching()) QCoreApplication::processEvents();
    EXPECT_GE(turns, 10);  // the window went on while a million entries were looked at
    ASSERT_EQ(form3->predefModel->rowCount(), 1);
    EXPECT_EQ(form3->predefModel->index(0, 1).data().toString(), "http://host777777.example/page");
    EXPECT_EQ(form3->PredefCount->text(), "1 of 1,000,000 entries");
    QTest::keyClick(form3->PredefFilter, Qt::Key_Return);  // nothing to do: the rows are there
    EXPECT_EQ(dialogs.shown.size(), 0u);
    form3->PredefFilter->clear();
    EXPECT_EQ(form3->predefModel->rowCount(), 1000000);
    EXPECT_EQ(form3->PredefCount->text(), "1,000,000 entries");
}

#include "setup/form3.h"

#include "approval/engineform.h"
#include "data/files.h"
#include "data/programdir.h"
#include "data/flags.h"
#include "data/setupfiles.h"
#include "platform/bitmap.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/text.h"
#include "setup/access.h"
#include "setup/controls.h"
#include "setup/mainlink.h"
#include "setup/parentwrite.h"
#include "setup/predefmodel.h"
#include "setup/recordspage.h"
#include "setup/sourcespage.h"
#include "update/download.h"
#include "update/signature.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QCloseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QValidator>

#include <limits>
#include <utility>

#include <unistd.h>

namespace {

// Control names of the nine rows, in site order.
const char* const AddressBoxNames[] = {"Edit2", "Edit3", "Edit4", "Edit5", "Edit9", "Edit8", "Edit7", "Edit6", "Edit10"};
const int PictureButtonNumbers[] = {1, 2, 3, 4, 8, 9, 10, 7, 6};

// At most `limit` characters can be typed; a longer text put in by the program is kept
// whole and can still be shortened.
class TypedLength : public QValidator {
public:
    TypedLength(QLineEdit* edit, int limit) : QValidator(edit), limit_(limit) {
        // The box's text already holds the edit being checked; remember the last one.
        QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { accepted_ = t.size(); });
    }
    State validate(QString& input, int&) const override {
        return input.size() > limit_ && input.size() > accepted_ ? Invalid : Acceptable;
    }

private:
    int limit_;
    qsizetype accepted_ = 0;
};

QToolButton* pictureButton(QWidget* parent, int x, int y, const QString& name) {
    auto* b = new QToolButton(parent);
    b->setGeometry(x, y, 47, 47);
    b->setObjectName(name);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

}  // namespace

TForm3::TForm3(MainWindowLink& main, Dialogs& dialogs, std::string programDir, QWidget* parent)
    : QDialog(parent), main_(main), dialogs_(dialogs), programDir_(std::move(programDir)) {
    buildLayout();
    connectHandlers();
    FormCreate();
    loaded_ = setupValues();
}

// The keyboard's guide first: the controls it reads still send it events as they go.
TForm3::~TForm3() { delete keyboardGuide_; }

void TForm3::buildLayout() {
    setObjectName("Form3");
    setWindowTitle("Wenlow Explorer Setup For Parents");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(designFont(13));
    setFixedSize(536, 343);

    Panel5 = place(new QWidget(this), 0, 302, 536, 41, "Panel5");
    Button1 = button(Panel5, "Save Setup && Close", 8, 8, 153, 25, "Button1");
    Button8 = button(Panel5, "Cancel Changes && Close", 168, 8, 169, 25, "Button8");
    Button15 = button(Panel5, "Help", 344, 8, 75, 25, "Button15");

    SetupTabs = place(new QTabWidget(this), 0, 0, 536, 302, "SetupTabs");
    SetupTabs->setAccessibleName("Setup pages");
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet4 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    TabSheet2->setObjectName("TabSheet2");
    TabSheet3->setObjectName("TabSheet3");
    TabSheet4->setObjectName("TabSheet4");
    SetupTabs->addTab(TabSheet1, "Options");
    SetupTabs->addTab(TabSheet2, "Predefined Blocked Links");
    SetupTabs->addTab(TabSheet3, "Parent Defined Blocked Links");
    SetupTabs->addTab(TabSheet4, "Buttons");
    RecordsTab = new RecordsPage;
    RecordsTab->setDesk(main_.requests());
    // Its actions write the same entries as the parent's own lists, and count at once.
    RecordsTab->setEntries({
        [this](const std::string& site) { addParentEntry(ParentKind::ApproveSite, fromAnsi(site)); },
        [this](const std::string& address) { addParentEntry(ParentKind::ApproveAddress, fromAnsi(address)); },
        [this](const std::string& site) { addParentEntry(ParentKind::BlockSite, fromAnsi(site)); },
    });
    SetupTabs->addTab(RecordsTab, "Refusals");
    Sources = new SourcesPage(programDir_);
    SetupTabs->addTab(Sources, "List Sources");

    // Options.
    CheckBox1 = checkBox(TabSheet1, "Prevent Kids From Using E-Mail Links", 16, 16, 400, "CheckBox1");
    CheckBox14 = checkBox(TabSheet1, "Prevent Kids From Using File Transfer (FTP) Links", 16, 40, 400, "CheckBox14");
    CheckBox2 = checkBox(TabSheet1, "Prevent Kids From Using Predefined Blocked Links", 16, 64, 400, "CheckBox2");
    CheckBox13 = checkBox(TabSheet1, "Prevent Kids From Using Parent-Defined Blocked Links", 16, 88, 400, "CheckBox13");
    CheckBox3 = checkBox(TabSheet1, "Disable Opening Links In New Window", 16, 104, 400, "CheckBox3");
    CheckBox15 =
        checkBox(TabSheet1, "Enable Verification Of Links In Left Browser Window", 16, 136, 400, "CheckBox15");
    SafeSearchBox = checkBox(TabSheet1, "Use Safe Search On Search Engines And Video Sites", 16, 160, 400, "SafeSearchBox");
    Button2 = button(TabSheet1, "Most Restrictive", 56, 184, 193, 25, "Button2");
    Button3 = button(TabSheet1, "Least Restrictive", 56, 224, 193, 25, "Button3");

    // Predefined blocked links.
    auto* left2 = place(new QWidget(TabSheet2), 0, 0, 185, 272, "Panel1");
    auto* from = place(new QGroupBox("Download Update From:", left2), 0, 0, 185, 112, "GroupBox1");
    RadioButton1 = place(new QRadioButton("Default Web Server(s)", from), 8, 24, 170, 17, "RadioButton1");
    RadioButton2 = place(new QRadioButton("URL Specified Below", from), 8, 48, 170, 17, "RadioButton2");
    Edit11 = edit(from, 24, 72, 145, "Edit11");
    Edit11->setAccessibleName("Address to download the update from");
    RadioButton1->setChecked(true);
    auto* when = place(new QGroupBox("When To Update:", left2), 0, 112, 185, 112, "GroupBox2");
    RadioButton3 = place(new QRadioButton("Automatically", when), 8, 24, 170, 17, "RadioButton3");
    RadioButton4 = place(new QRadioButton("When I Press This Button:", when), 8, 48, 170, 17, "RadioButton4");
    Button5 = button(when, "Update Now", 64, 72, 97, 25, "Button5");
    RadioButton3->setChecked(true);
    // Told before "Automatically" is chosen: whether there is a default server, and
    // whether lists from any server are checked.
    UpdateNote = place(new QLabel(left2), 4, 226, 177, 46, "UpdateNote");
    UpdateNote->setWordWrap(true);
    UpdateNote->setFont(designFont(11));
    PredefFilter = edit(TabSheet2, 189, 3, 200, "PredefFilter");
    PredefFilter->setPlaceholderText("Find an address");
    PredefFilter->setAccessibleName("Find in the predefined links");
    PredefFilter->setClearButtonEnabled(true);
    PredefCount = place(new QLabel(TabSheet2), 395, 3, 135, 21, "PredefCount");
    PredefCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PredefBlocks = place(new QTreeView(TabSheet2), 185, 28, 345, 196, "PredefBlocks");
    PredefBlocks->setAccessibleName("Predefined links");
    // What the last download did, or how far the running one is.
    UpdateOutcome = place(new QLabel(TabSheet2), 189, 226, 337, 46, "UpdateOutcome");
    UpdateOutcome->setWordWrap(true);
    UpdateOutcome->setFont(designFont(11));
    UpdateOutcome->setTextFormat(Qt::PlainText);
    predefModel = new PredefModel(PredefBlocks);
    PredefBlocks->setModel(predefModel);
    PredefBlocks->setRootIsDecorated(false);
    PredefBlocks->setUniformRowHeights(true);
    PredefBlocks->setAllColumnsShowFocus(true);
    PredefBlocks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PredefBlocks->header()->resizeSection(0, 125);
    predefModel->onChanged = [this] { PredefCount->setText(fromAnsi(predefModel->countText())); };

    // Parent defined blocked links.
    auto* left3 = place(new QWidget(TabSheet3), 0, 0, 185, 272, "Panel2");
    Edit12 = edit(left3, 8, 8, 169, "Edit12");
    Edit12->setAccessibleName("Address to block");
    // What "Add To List" blocks, chosen before it is pressed: the page, or the whole site.
    auto* blockScope = place(new QWidget(left3), 8, 72, 172, 44, "BlockScope");
    BlockPageButton = radioButton(blockScope, "This Page Only", 0, 0, 172, "BlockPageButton");
    BlockSiteButton = radioButton(blockScope, "The Whole Site", 0, 24, 172, "BlockSiteButton");
    BlockPageButton->setChecked(true);
    Button6 = button(left3, "Add To List", 24, 40, 137, 25, "Button6");
    Button7 = button(left3, "Delete Selected URL", 16, 160, 145, 25, "Button7");
    ParentBlocks = place(new QListWidget(TabSheet3), 185, 0, 345, 272, "ParentBlocks");
    ParentBlocks->setAccessibleName("Parent-defined blocked links");
    QWidget::setTabOrder(Edit12, BlockPageButton);
    QWidget::setTabOrder(BlockSiteButton, Button6);

    // Buttons.
    ScrollBox1 = place(new QScrollArea(TabSheet4), 0, 0, 530, 240, "ScrollBox1");
    ScrollBox1->setAccessibleName("Site buttons");
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget;
    rows->resize(510, 5 + 48 * 9);
    for (int i = 1; i <= 9; ++i) {
        const int y = 5 + 48 * (i - 1);
        enableBox[i] = checkBox(rows, "", 8, y + 11, 17, QString("CheckBox%1").arg(3 + i).toLatin1().constData());
        enableBox[i]->setAccessibleName(QString("Show site %1").arg(i));
        pictureButton[i] = ::pictureButton(rows, 32, y, QString("SpeedButton%1").arg(PictureButtonNumbers[i - 1]));
        addressBox[i] = edit(rows, 90, y + 11, 247, AddressBoxNames[i - 1]);
        addressBox[i]->setAccessibleName(QString("Start address of site %1").arg(i));
        verifyBox[i] = checkBox(rows, "Verify", 352, y + 11, 57, QString("CheckBox%1").arg(15 + i).toLatin1().constData());
        defaultButton[i] = button(rows, "Default", 416, y + 11, 75, 17, QString("Button%1").arg(16 + i).toLatin1().constData());
        QObject::connect(enableBox[i], &QCheckBox::toggled, this, [this, i] { CheckBoxEnableClick(i); });
    }
    ScrollBox1->setWidget(rows);
    Panel3 = place(new QWidget(TabSheet4), 0, 240, 530, 31, "Panel3");

    Panel6 = place(new QWidget(TabSheet4), 0, 0, 530, 240, "Panel6");
    Panel6->setAutoFillBackground(true);
    SpeedButton5 = ::pictureButton(Panel6, 16, 13, "SpeedButton5");
    SpeedButton5->setToolTip("Show me cool list of Web Sites");
    auto* labelGroup = place(new QGroupBox("Button Label", Panel6), 16, 88, 145, 105, "GroupBox3");
    Edit13 = edit(labelGroup, 8, 24, 129, "Edit13");
    Edit13->setAccessibleName("Button label");
    Edit13->setValidator(new TypedLength(Edit13, 10));
    Button9 = button(labelGroup, "Preview", 32, 64, 75, 25, "Button9");
    auto* pictureGroup = place(new QGroupBox("Picture File Name ", Panel6), 176, 88, 337, 105, "GroupBox4");
    Edit14 = edit(pictureGroup, 8, 24, 233, "Edit14");
    Edit14->setAccessibleName("Picture file name");
    Button10 = button(pictureGroup, "Browse", 248, 24, 75, 25, "Button10");
    Button11 = button(pictureGroup, "Preview", 80, 64, 75, 25, "Button11");
    Button14 = button(pictureGroup, "Default", 176, 64, 75, 25, "Button14");
    Button12 = button(Panel6, "OK", 160, 208, 75, 25, "Button12");
    Button13 = button(Panel6, "Cancel", 256, 208, 75, 25, "Button13");
    Panel6->hide();

    buildSitesPage();

    // The gate covers the tab area, tab strip included, but not the bottom bar.
    Panel4 = place(new QWidget(this), 0, 0, 536, 302, "Panel4");
    Panel4->setAutoFillBackground(true);
    auto* enter = place(new QGroupBox("To Enter Setup:", Panel4), 8, 8, 233, 145, "GroupBox5");
    place(new QLabel("Enter your password and click OK:", enter), 15, 32, 216, 16, "Label1");
    Edit1 = edit(enter, 16, 57, 201, "Edit1", true);
    Edit1->setAccessibleName("Password");
    Edit1->setFocus();
    Button4 = button(enter, "OK", 16, 96, 201, 25, "Button4");
    auto* change = place(new QGroupBox("To Change Your Password:", Panel4), 256, 8, 233, 281, "GroupBox6");
    place(new QLabel("Enter You Current Password:", change), 15, 32, 216, 16, "Label2");
    Edit15 = edit(change, 16, 57, 201, "Edit15", true);
    Edit15->setAccessibleName("Current password");
    place(new QLabel("Enter Your New Password Twice:", change), 15, 112, 216, 16, "Label3");
    Edit16 = edit(change, 16, 137, 201, "Edit16", true);
    Edit17 = edit(change, 16, 169, 201, "Edit17", true);
    Edit16->setAccessibleName("New password");
    Edit17->setAccessibleName("New password again");
    place(new QLabel("And then click  Change Password:", change), 16, 216, 216, 16, "Label4");
    Button16 = button(change, "Change Password", 16, 240, 201, 25, "Button16");
    closeGate(true);
    nameSetupControls(*this);
    keyboardGuide_ = guideKeyboard(*this);
}

void TForm3::connectHandlers() {
    onClick(Button1, this, [this] { Button1Click(); });
    onClick(Button8, this, [this] { Button8Click(); });
    onClick(Button15, this, [this] { Button15Click(); });
    onClick(Button4, this, [this] { Button4Click(); });
    onClick(Button16, this, [this] { Button16Click(); });
    onClick(Button2, this, [this] { Button2Click(); });
    onClick(Button3, this, [this] { Button3Click(); });
    onClick(RadioButton1, this, [this] { RadioButton1Click(); });
    onClick(RadioButton2, this, [this] { RadioButton2Click(); });
    onClick(Button6, this, [this] { Button6Click(); });
    onClick(Button7, this, [this] { Button7Click(); });
    onClick(ApproveButton, this, [this] { ApproveButtonClick(); });
    onClick(ApprovedSitesButton, this, [this] { ApprovedDialog->open(); });
    onClick(UnapproveButton, this, [this] { UnapproveButtonClick(); });
    connect(PredefFilter, &QLineEdit::textChanged, this,
            [this](const QString& text) { predefModel->setFilter(toAnsi(text)); });
    onClick(Button5, this, [this] { Button5Click(); });
    for (int i = 1; i <= 9; ++i) {
        onClick(pictureButton[i], this, [this, i] { pictureButtonClick(i); });
        onClick(defaultButton[i], this, [this, i] { ButtonDefault(i); });
    }
    onClick(Button9, this, [this] { Button9Click(); });
    onClick(Button10, this, [this] { Button10Click(); });
    onClick(Button11, this, [this] { Button11Click(); });
    onClick(Button14, this, [this] { Button14Click(); });
    onClick(Button12, this, [this] { Button12Click(); });
    onClick(Button13, this, [this] { Button13Click(); });
    connect(SetupTabs, &QTabWidget::currentChanged, this, [this] { guarded([this] { SetupTabsChange(); }); });
    for (QLineEdit* e : {Edit1, Edit15, Edit16, Edit17, Edit12, ApprovedEdit, PredefFilter}) e->installEventFilter(this);
}

bool TForm3::eventFilter(QObject* watched, QEvent* e) {
    // Enter in a box that adds to a list adds to it, and in the filter box it has done
    // its work already: neither saves and closes the window.
    if (e->type() == QEvent::KeyPress && (watched == Edit12 || watched == ApprovedEdit || watched == PredefFilter)) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == Edit12) guarded([this] { Button6Click(); });
            if (watched == ApprovedEdit) guarded([this] { ApproveButtonClick(); });
            return true;
        }
    }
    if (e->type() == QEvent::MouseButtonPress) {
        if (watched == Edit1)
            guarded([this] { Edit1Click(); });
        else if (watched == Edit15 || watched == Edit16 || watched == Edit17)
            guarded([this] { Edit15Click(); });
    }
    return QDialog::eventFilter(watched, e);
}

void TForm3::FormCreate() {
    for (int i = 1; i <= 9; ++i) DefaultPictures[i] = "image" + std::to_string(i) + ".bmp";
}

bool TForm3::option(int position) const {
    if (!changesCountAtOnce_) return position >= 1 && position <= 8 && loaded_.option(position);
    return shownOption(position);
}

bool TForm3::shownOption(int position) const {
    switch (position) {
    case OptEmail: return CheckBox1->isChecked();
    case OptFtp: return CheckBox14->isChecked();
    case OptPredefined: return CheckBox2->isChecked();
    case OptParent: return CheckBox13->isChecked();
    case OptNewWindow: return CheckBox3->isChecked();
    case OptDefaultServer: return RadioButton1->isChecked();
    case OptAutomatic: return RadioButton3->isChecked();
    case OptVerification: return CheckBox15->isChecked();
    default: return false;
    }
}

bool TForm3::verify(int site) const {
    return site >= 1 && site <= 9 && (changesCountAtOnce_ ? verifyBox[site]->isChecked() : loaded_.verify[site - 1]);
}

std::string TForm3::updateAddress() const { return changesCountAtOnce_ ? toAnsi(Edit11->text()) : loaded_.updateAddress; }

void TForm3::setParentBlocks(std::vector<std::string> entries) {
    parentBlocks_ = std::move(entries);
    ++parentRevision_;
    showSiteEntries();
}

void TForm3::showUpdateNote() {
    QStringList notes;
    if (!defaultUpdateHostSet()) notes << "This copy has no default web server: choose \"URL Specified Below\".";
    bool checked = false;
    try {
        checked = !trustedKey(programDir_).empty();
    } catch (const std::exception&) {
        checked = true;  // a damaged key refuses every list, which the download says
    }
    if (!checked) notes << "Lists from the server are not checked: there is no update.key.";
    UpdateNote->setText(notes.join(' '));
    UpdateNote->setVisible(!notes.isEmpty());
}

void TForm3::setDefaultButton(QPushButton* button) {
    for (QPushButton* b : {Button1, Button4, Button16}) b->setDefault(b == button);
}

void TForm3::FormShow() {
    HelpTopic = 15;
    // In a child's account the parent's password alone must not change the rules: what
    // cannot be stored from here does not count.
    changesCountAtOnce_ = ::access(programDir_.c_str(), W_OK) == 0;
    showUpdateNote();
    setDefaultButton(Button4);
    Panel6->hide();

    predefModel->clear();
    main_.clearStartAddresses();
    predefModel->setEntries(main_.predefinedList());
    Sources->reload();

    setParentBlocks({});
    setParentBlocks(parentEntries(readListFile(programDir_ + "pardata.dat")));
    loadSites();

    const SetupValues s = readSetupFile(programDir_ + "setup.dat");
    Password = s.password;
    CheckBox1->setChecked(s.option(OptEmail));
    CheckBox14->setChecked(s.option(OptFtp));
    CheckBox2->setChecked(s.option(OptPredefined));
    CheckBox13->setChecked(s.option(OptParent));
    CheckBox3->setChecked(s.option(OptNewWindow));
    CheckBox15->setChecked(s.option(OptVerification));
    if (s.option(OptDefaultServer)) {
        RadioButton1->setChecked(true);
        Edit11->setEnabled(false);
    } else {
        RadioButton2->setChecked(true);
        Edit11->setEnabled(true);
        Edit11->setText(fromAnsi(s.updateAddress));
    }
    (s.option(OptAutomatic) ? RadioButton3 : RadioButton4)->setChecked(true);
    for (int i = 1; i <= 9; ++i) verifyBox[i]->setChecked(s.verify[i - 1]);
    for (int i = 1; i <= 9; ++i) {
        const bool shown = s.shown[i - 1];
        enableBox[i]->setChecked(shown);
        CheckBoxEnableClick(i);
        if (shown) addressBox[i]->setText(fromAnsi(s.addresses[i - 1]));
        main_.showSiteSlot(i, shown);
        if (shown) main_.setStartAddress(i, s.addresses[i - 1]);
    }
    loaded_ = setupValues();

    const ButtonsValues b = readButtonsFile(programDir_ + "buttons.dat");
    for (int i = 1; i <= 9; ++i) {
        PictureFiles[i] = b.pictures[i - 1];
        ButtonLabels[i] = b.labels[i - 1];
    }
    UpdateButtons();
}

void TForm3::FormHide() {
    closeGate(true);
    // No password typed here outlives the opening it was typed in.
    for (QLineEdit* box : {Edit1, Edit15, Edit16, Edit17}) box->clear();
}

void TForm3::closeGate(bool closed) {
    Panel4->setVisible(closed);
    // Painted over is not enough: neither the keyboard nor an accessibility action may
    // reach the pages either.
    SetupTabs->setVisible(!closed);
    SetupTabs->setEnabled(!closed);
}

void TForm3::closeEvent(QCloseEvent* e) {
    // Closing only hides the window; the hide re-arms the gate.
    e->accept();
    hide();
}

void TForm3::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    if (!e->spontaneous()) guarded([this] { FormHide(); });
}

void TForm3::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    guarded([this] { FormShow(); });
    Edit1->setFocus();
}

void TForm3::Button4Click() {
    if (toAnsi(Edit1->text()) != Password) {
        dialogs_.messageBox("Wrong Password", "Error");
        return;
    }
    setDefaultButton(Button1);
    closeGate(false);
    SetupTabs->setCurrentWidget(TabSheet1);
    HelpTopic = 10;
}

void TForm3::Button16Click() {
    if (toAnsi(Edit15->text()) != Password) {
        dialogs_.messageBox("Wrong Current Password", "Error");
        return;
    }
    if (Edit16->text() != Edit17->text()) {
        dialogs_.messageBox("The new passwords you entered do not match", "Error");
        return;
    }
    // setup.dat keeps one byte a letter: any other letter would be stored as "?", and any
    // such letter would then open setup.
    if (fromAnsi(toAnsi(Edit16->text())) != Edit16->text()) {
        dialogs_.messageBox("The new password can only have Western European letters, digits and signs. "
                            "Please choose another.",
                            "Error");
        return;
    }
    // Said once stored: a refused save keeps the old password, and what was typed.
    const std::string before = std::exchange(Password, toAnsi(Edit16->text()));
    try {
        storeSetup();
    } catch (...) {
        Password = before;
        throw;
    }
    Button16->setDefault(false);
    Edit15->clear();
    Edit16->clear();
    Edit17->clear();
    dialogs_.messageBox("Password Changed. Select Parent Setup again to enter setup using your new password.",
                        "Password Changed");
    closeAfterSave();
}

void TForm3::Edit1Click() { setDefaultButton(Button4); }

void TForm3::Edit15Click() { setDefaultButton(Button16); }

SetupValues TForm3::setupValues() const {
    SetupValues v;
    v.password = Password;
    for (int pos = 1; pos <= 8; ++pos) v.options[pos - 1] = shownOption(pos);
    v.updateAddress = toAnsi(Edit11->text());
    for (int i = 1; i <= 9; ++i) {
        v.verify[i - 1] = verifyBox[i]->isChecked();
        v.shown[i - 1] = enableBox[i]->isChecked();
        if (v.shown[i - 1]) v.addresses[i - 1] = toAnsi(addressBox[i]->text());
    }
    return v;
}

ButtonsValues TForm3::buttonsValues() const {
    ButtonsValues v;
    for (int i = 1; i <= 9; ++i) {
        v.pictures[i - 1] = PictureFiles[i];
        v.labels[i - 1] = ButtonLabels[i];
    }
    return v;
}

void TForm3::Button1Click() {
    storeSetup();
    closeAfterSave();
}

void TForm3::closeAfterSave() {
    warnOfRefusingSettings();
    hide();
    FormShow();
}

void TForm3::storeSetup() {
    // Before the password the parent cannot have changed the pages: what was loaded goes
    // back, whatever a box was made to say (a disabled one still takes a screen reader's
    // text).
    SetupValues setup = Panel4->isHidden() ? setupValues() : loaded_;
    setup.password = Password;
    const ButtonsValues buttons = buttonsValues();
    SitesValues sites = storedSites_;
    if (Panel4->isHidden()) {
        sites.onlyApproved = onlyApproved();
        sites.safeSearch = safeSearch();
        sites.entries = sites_.entries();
    }
    // In a child's account, a parent may allow it on the spot.
    saveProgramFiles(programDir_,
                     {{"setup.dat", setupFileBytes(setup)},
                      {"buttons.dat", buttonsFileBytes(buttons)},
                      {SitesFileName, sitesFileBytes(sites)}},
                     [&] {
                         writeSetupFiles(programDir_, setup, buttons);
                         writeSitesFile(programDir_, sites);
                     });
    loaded_ = setup;
    storedSites_ = std::move(sites);
}

void TForm3::Button8Click() { hide(); }

void TForm3::Button15Click() { dialogs_.showHelp(programDir_ + "wenlow.hlp", HelpTopic); }

void TForm3::SetupTabsChange() {
    const int topics[] = {10, 11, 12, 13};
    const int page = SetupTabs->currentIndex();
    if (page >= 0 && page < 4) HelpTopic = topics[page];
}


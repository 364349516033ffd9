// The "Options", "Predefined Blocked Links" and "Parent Defined Blocked Links" pages of
// the setup window: the switches, the update source and the parent's own list.
#include "setup/form3.h"

#include "approval/engineform.h"
#include "data/files.h"
#include "data/programdir.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "setup/mainlink.h"
#include "setup/parentwrite.h"
#include "data/setupfiles.h"

#include "setup/predefmodel.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

void TForm3::Button2Click() {
    for (QCheckBox* box : {CheckBox1, CheckBox14, CheckBox2, CheckBox13, CheckBox3, CheckBox15}) box->setChecked(true);
}

void TForm3::Button3Click() {
    for (QCheckBox* box : {CheckBox1, CheckBox14, CheckBox2, CheckBox13, CheckBox3, CheckBox15}) box->setChecked(false);
}

void TForm3::RadioButton1Click() { Edit11->setEnabled(false); }

void TForm3::RadioButton2Click() { Edit11->setEnabled(true); }

std::string parentEntry(std::string text) {
    size_t start = text.find_first_not_of("/ ");
    text.erase(0, start == std::string::npos ? text.size() : start);
    if (text.empty()) return text;  // only slashes and blanks: nothing to block
    // A secure address is blocked in the plain web form approval compares it in.
    if (upperAZ(text.substr(0, 8)) == "HTTPS://")
        text = "http://" + text.substr(8);
    else if (upperAZ(text.substr(0, 7)) != "HTTP://")
        text = "http://" + text;
    while (!text.empty() && (text.back() == '/' || text.back() == ' ')) text.pop_back();
    // In the form addresses are compared in; one that differs from it only in letter case,
    // or cannot be read, stays as typed (the address it names is refused anyway).
    if (Converted c = convertEntry(text, EntryKind::Exact); c.ok() && !equalsNoCase(c.text, text))
        text = stripTrailingSlashes(std::move(c.text));
    return text;
}

void TForm3::Button6Click() {
    addTyped(BlockSiteButton->isChecked() ? ParentKind::BlockSite : ParentKind::BlockPage, Edit12);
}

void TForm3::Button7Click() {
    const int row = ParentBlocks->currentRow();
    if (row < 0 || !ParentBlocks->item(row)->isSelected()) return;
    // The pages come first, then the whole sites.
    if (row >= static_cast<int>(parentBlocks_.size())) {
        removeSiteEntry(false, row - static_cast<int>(parentBlocks_.size()));
        return;
    }
    std::vector<std::string> pages = parentBlocks_;
    pages.erase(pages.begin() + row);
    storeParentBlocks(std::move(pages));
}

void TForm3::Button5Click() {
    main_.hideUpdateIndicator();
    showUpdateProgress("Downloading the link lists...");
    main_.UpdateData();
}

void TForm3::showUpdateProgress(const QString& text) { UpdateOutcome->setText(text); }

void TForm3::showUpdateOutcome(bool stored, const std::string& outcome) {
    const QString when = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm");
    UpdateOutcome->setText((stored ? "Lists updated " : "Lists not updated ") + when + ": " + fromAnsi(outcome));
    if (stored) predefModel->setEntries(main_.predefinedList());
}

void TForm3::storeParentBlocks(std::vector<std::string> pages) {
    const auto apply = [&] {
        parentBlocks_ = pages;
        ++parentRevision_;
        showSiteEntries();
    };
    if (changesCountAtOnce_) apply();
    saveProgramFiles(programDir_, {{"pardata.dat", listFileBytes(pages)}},
                     [&] { writeParentList(programDir_, pages); });
    if (!changesCountAtOnce_) apply();
}

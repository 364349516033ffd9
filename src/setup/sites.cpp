// The parent's own sites in the setup window: which sites children may open (every site
// not blocked, or only the approved ones) and the approved sites' window, the whole sites
// blocked on the "Parent Defined Blocked Links" page, and the words a save says when its
// settings would refuse every site.
#include "setup/form3.h"

#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/text.h"
#include "setup/controls.h"
#include "setup/mainlink.h"
#include "setup/parentwrite.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace {

const char* const NotASiteText = "\"%s\" is not the address of a site, so nothing was added.";
const char* const NothingApprovedText =
    "Saved. But \"Only The Sites I Approve\" is chosen and no site is approved yet, so children cannot open any "
    "site. Add the sites they may open on the \"Approved Sites\" page.";
const char* const NothingVerifiedText =
    "Saved. But \"Verify\" is ticked for site %s on the \"Buttons\" page and the list of approved addresses is "
    "empty, so children cannot open any link of that list page. Download the lists with \"Update Now\", untick "
    "\"Verify\", or approve the sites on the \"Approved Sites\" page.";

bool approves(ParentKind kind) { return kind == ParentKind::ApproveSite || kind == ParentKind::ApproveAddress; }

// The index in the list of the row-th entry that a list of the window shows.
std::size_t entryOfRow(const SiteList& list, bool approvals, int row) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (approves(list[i].kind) == approvals && row-- == 0) return i;
    return list.size();
}

}  // namespace

void TForm3::buildSitesPage() {
    // On the Options page, beside "Most Restrictive" and "Least Restrictive".
    auto* choice = place(new QGroupBox("Children May Open:", TabSheet1), 264, 180, 266, 92, "GroupBox7");
    EverySiteButton = radioButton(choice, "Every Site Not Blocked", 8, 20, 250, "EverySiteButton");
    OnlyApprovedButton = radioButton(choice, "Only The Sites I Approve", 8, 42, 250, "OnlyApprovedButton");
    EverySiteButton->setChecked(true);
    ApprovedSitesButton = button(choice, "Approved Sites...", 8, 64, 130, 23, "ApprovedSitesButton");

    // The approved sites have a window of their own: five pages' tabs do not fit this one.
    ApprovedDialog = new QDialog(this);
    ApprovedDialog->setObjectName("ApprovedDialog");
    ApprovedDialog->setWindowTitle("Approved Sites");
    ApprovedDialog->setFont(designFont(13));
    ApprovedDialog->setFixedSize(400, 299);
    auto* intro = place(new QLabel("Children may always open these sites; with \"Only The Sites I Approve\" "
                                   "nothing else. Each change is kept at once.",
                                   ApprovedDialog),
                        8, 8, 384, 40, "Label5");
    intro->setWordWrap(true);
    ApprovedEdit = edit(ApprovedDialog, 8, 58, 250, "ApprovedEdit");
    ApprovedEdit->setAccessibleName("Site or address to approve");
    // What "Add To List" approves, chosen before it is pressed.
    auto* scope = place(new QWidget(ApprovedDialog), 8, 86, 384, 17, "ApproveScope");
    WholeSiteButton = radioButton(scope, "The Whole Site", 0, 0, 130, "WholeSiteButton");
    AddressButton = radioButton(scope, "This Address And Below", 140, 0, 230, "AddressButton");
    WholeSiteButton->setChecked(true);
    ApproveButton = button(ApprovedDialog, "Add To List", 266, 56, 126, 25, "ApproveButton");
    ApprovedSites = place(new QListWidget(ApprovedDialog), 8, 110, 384, 148, "ApprovedSites");
    ApprovedSites->setAccessibleName("Approved sites");
    UnapproveButton = button(ApprovedDialog, "Delete Selected Site", 8, 266, 145, 25, "UnapproveButton");
    ApprovedClose = button(ApprovedDialog, "Close", 312, 266, 80, 25, "ApprovedClose");
    QObject::connect(ApprovedClose, &QPushButton::clicked, ApprovedDialog, &QDialog::accept);
}

bool TForm3::onlyApproved() const {
    return changesCountAtOnce_ ? OnlyApprovedButton->isChecked() : storedSites_.onlyApproved;
}

bool TForm3::safeSearch() const { return changesCountAtOnce_ ? SafeSearchBox->isChecked() : storedSites_.safeSearch; }

void TForm3::loadSites() {
    storedSites_ = storedForm(readSitesFile(programDir_));
    sites_ = SiteList(storedSites_.entries);
    ++parentRevision_;
    (storedSites_.onlyApproved ? OnlyApprovedButton : EverySiteButton)->setChecked(true);
    SafeSearchBox->setChecked(storedSites_.safeSearch);
    showSiteEntries();
}

void TForm3::showSiteEntries() {
    QStringList blocked, approved;
    for (const std::string& page : parentBlocks_) blocked << fromAnsi(entryInWords({ParentKind::BlockPage, page}));
    for (const SiteEntry& e : sites_.entries()) (approves(e.kind) ? approved : blocked) << fromAnsi(entryInWords(e));
    ParentBlocks->clear();
    ParentBlocks->addItems(blocked);
    ApprovedSites->clear();
    ApprovedSites->addItems(approved);
}

void TForm3::storeSites(SiteList sites) {
    // The switches as they were stored: they change only with "Save Setup & Close".
    SitesValues stored = storedSites_;
    stored.entries = sites.entries();
    const auto apply = [&] {
        sites_ = sites;
        ++parentRevision_;
        showSiteEntries();
    };
    if (changesCountAtOnce_) apply();
    saveProgramFiles(programDir_, {{SitesFileName, sitesFileBytes(stored)}},
                     [&] { writeSitesFile(programDir_, stored); });
    storedSites_ = std::move(stored);
    if (!changesCountAtOnce_) apply();
}

bool TForm3::addParentEntry(ParentKind kind, const QString& typed) {
    if (kind == ParentKind::BlockPage) {
        const std::string page = parentEntry(toAnsi(typed));
        if (page.empty()) return false;
        std::vector<std::string> pages = parentBlocks_;
        pages.push_back(page);
        storeParentBlocks(std::move(pages));
        return true;
    }
    const auto entry = siteEntryFrom(kind, typed.toUtf8().toStdString());
    if (!entry || sites_.contains(*entry)) return false;
    SiteList sites = sites_;
    sites.add(*entry);
    storeSites(std::move(sites));
    return true;
}

void TForm3::addTyped(ParentKind kind, const QLineEdit* box) {
    const QString typed = box->text();
    if (addParentEntry(kind, typed) || kind == ParentKind::BlockPage || typed.trimmed().isEmpty()) return;
    // Not added: there already (the list shows it), or no site at all, which is said.
    if (!siteEntryFrom(kind, typed.toUtf8().toStdString())) dialogs_.messageBox(fillIn(NotASiteText, toAnsi(typed)), "Error");
}

void TForm3::ApproveButtonClick() {
    addTyped(WholeSiteButton->isChecked() ? ParentKind::ApproveSite : ParentKind::ApproveAddress, ApprovedEdit);
}

void TForm3::UnapproveButtonClick() {
    const int row = ApprovedSites->currentRow();
    if (row >= 0 && ApprovedSites->item(row)->isSelected()) removeSiteEntry(true, row);
}

void TForm3::removeSiteEntry(bool approvals, int row) {
    SiteList sites = sites_;
    sites.remove(entryOfRow(sites_, approvals, row));
    storeSites(std::move(sites));
}

void TForm3::warnOfRefusingSettings() {
    const bool anyApproved = sites_.approvesAny();
    if (onlyApproved() && !anyApproved) dialogs_.messageBox(NothingApprovedText, "Error");
    if (!option(OptVerification) || !main_.mainList().empty() || anyApproved) return;
    std::string verified;
    for (int i = 1; i <= 9; ++i)
        if (enableBox[i]->isChecked() && verify(i)) verified += (verified.empty() ? "" : ", ") + std::to_string(i);
    if (!verified.empty()) dialogs_.messageBox(fillIn(NothingVerifiedText, verified), "Error");
}

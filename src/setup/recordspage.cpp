#include "setup/recordspage.h"

#include "platform/errors.h"
#include "platform/text.h"
#include "records/desk.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

namespace {

enum Column { SiteColumn, TimesColumn, LastColumn, RuleColumn };
enum Role { RequestRole = Qt::UserRole, AddressRole, SiteRole };

QPushButton* actionButton(QWidget* parent, const char* caption, int x, const char* name) {
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, 238, 102, 25);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

RecordsPage::RecordsPage(QWidget* parent) : QWidget(parent) {
    setObjectName("RecordsPage");
    Note = new QLabel(this);
    Note->setObjectName("RecordsNote");
    Note->setGeometry(8, 2, 514, 30);
    Note->setWordWrap(true);
    RecordList = new QTreeWidget(this);
    RecordList->setObjectName("RecordList");
    RecordList->setAccessibleName("Requests and refused sites");
    RecordList->setGeometry(0, 34, 530, 198);
    RecordList->setRootIsDecorated(false);
    RecordList->setHeaderLabels({"Site or request", "Times", "Last", "Refused by"});
    RecordList->header()->resizeSection(SiteColumn, 230);
    RecordList->header()->resizeSection(TimesColumn, 45);
    RecordList->header()->resizeSection(LastColumn, 110);
    AllowSite = actionButton(this, "Allow this site", 2, "AllowSite");
    AllowPage = actionButton(this, "Allow this page", 107, "AllowPage");
    BlockSite = actionButton(this, "Block the whole site", 212, "BlockSite");
    Decline = actionButton(this, "Decline", 317, "Decline");
    Refresh = actionButton(this, "Refresh", 422, "Refresh");
    const auto onClick = [this](QPushButton* b, void (RecordsPage::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    onClick(AllowSite, &RecordsPage::allowSiteClick);
    onClick(AllowPage, &RecordsPage::allowPageClick);
    onClick(BlockSite, &RecordsPage::blockSiteClick);
    onClick(Decline, &RecordsPage::declineClick);
    onClick(Refresh, &RecordsPage::refresh);
    connect(RecordList, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    updateButtons();
}

void RecordsPage::setEntries(Entries entries) {
    entries_ = std::move(entries);
    updateButtons();
}

void RecordsPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    guarded([this] { refresh(); });
}

void RecordsPage::refresh() {
    RecordList->clear();
    if (!desk_) {
        Note->setText(QString("%1 Nothing is recorded here.").arg(PrivacyText));
        updateButtons();
        return;
    }
    const RecordSummary summary = desk_->summary();
    Note->setText(QString("%1 Requests come first.").arg(PrivacyText));
    const auto add = [this](bool request, const std::string& shown, const std::string& address, const std::string& site,
                            const QString& times, std::int64_t last, const std::string& rule, const QString& tip) {
        auto* item = new QTreeWidgetItem(RecordList);
        item->setText(SiteColumn, fromAnsi(shown));
        item->setText(TimesColumn, times);
        item->setText(LastColumn, fromAnsi(localTime(last)));
        item->setText(RuleColumn, fromAnsi(rule));
        item->setToolTip(SiteColumn, tip);
        item->setData(SiteColumn, RequestRole, request);
        item->setData(SiteColumn, AddressRole, fromAnsi(address));
        item->setData(SiteColumn, SiteRole, fromAnsi(site));
    };
    for (const Record& r : summary.pending)
        add(true, "Asked: " + r.address + (r.note.empty() ? "" : " \"" + r.note + "\""), r.address, r.site, "",
            r.time, "waiting for you",
            fromAnsi(r.account + " asked for " + r.address + (r.note.empty() ? "" : ": " + r.note)));
    for (const SiteRefusals& s : summary.sites)
        add(false, s.site, s.address, s.site, QString::number(s.count), s.last, s.rule,
            fromAnsi("Last refused: " + s.address + " (" + s.account + ")"));
    if (RecordList->topLevelItemCount() > 0) RecordList->setCurrentItem(RecordList->topLevelItem(0));
    updateButtons();
}

bool RecordsPage::chosen(Chosen& c) const {
    const QTreeWidgetItem* item = RecordList->currentItem();
    if (!item) return false;
    c.request = item->data(SiteColumn, RequestRole).toBool();
    c.address = toAnsi(item->data(SiteColumn, AddressRole).toString());
    c.site = toAnsi(item->data(SiteColumn, SiteRole).toString());
    return true;
}

void RecordsPage::updateButtons() {
    Chosen c;
    const bool any = chosen(c);
    AllowSite->setEnabled(any && entries_.allowSite && !c.site.empty());
    AllowPage->setEnabled(any && entries_.allowPage);
    BlockSite->setEnabled(any && entries_.blockSite && !c.site.empty());
    Decline->setEnabled(any && c.request);
}

void RecordsPage::answer(const Chosen& c, bool approved, bool wholeSite) {
    if (!desk_) return;
    const char* what = approved ? (wholeSite ? "site" : "page") : "";
    for (const Record& r : desk_->summary().pending)
        if (r.address == c.address || (wholeSite && r.site == c.site)) desk_->answer(r.address, approved, what);
}

void RecordsPage::allowSiteClick() {
    Chosen c;
    if (!chosen(c) || !entries_.allowSite || c.site.empty()) return;
    entries_.allowSite(c.site);
    answer(c, true, true);
    refresh();
}

void RecordsPage::allowPageClick() {
    Chosen c;
    if (!chosen(c) || !entries_.allowPage) return;
    entries_.allowPage(c.address);
    answer(c, true, false);
    refresh();
}

void RecordsPage::blockSiteClick() {
    Chosen c;
    if (!chosen(c) || !entries_.blockSite || c.site.empty()) return;
    entries_.blockSite(c.site);
    answer(c, false, true);
    refresh();
}

void RecordsPage::declineClick() {
    Chosen c;
    if (!chosen(c) || !c.request) return;
    answer(c, false, false);
    refresh();
}

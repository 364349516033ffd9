// What the main window records: its panes' refused navigations (with the child's way to
// ask a parent), and the request gate's refused frames and subresources, counted while
// the request waits and recorded later.
#include "approval/gate.h"
#include "approval/urlok.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "records/desk.h"
#include "records/tally.h"
#include "setup/form3.h"
#include "shell/form1.h"

namespace {

// The entry or switch that refused, as wenlow-check --explain names it.
std::string refusingRule(const std::string& address, bool leftPane, int site, const SettingsView& settings,
                         const LinkLists& lists, const std::string& programDir) {
    const Verdict general = requestVerdict(address, RequestKind::Navigation, settings, lists, programDir);
    if (!general.ok || !leftPane) return general.rule;
    return mainUrlOkVerdict(address, site, settings, lists).rule;
}

}  // namespace

void TForm1::refuse(const QString& url, const char* pane, const char* text) {
    if (!desk_) {
        message(text);
        return;
    }
    Record r;
    r.address = toAnsi(url);
    r.site = siteOf(r.address);
    r.pane = pane;
    r.button = currentSite;
    r.rule = refusingRule(r.address, r.pane == "left", currentSite, *Form3, lists, programDir);
    records_->add(r);
    const std::optional<std::string> note = dialogs_.refusalBox(text, "Error", !desk_->waiting(r.address));
    if (!note) return;
    r.note = *note;
    desk_->ask(std::move(r));
    dialogs_.messageBox(RequestSentText, AskCaption);
}

void TForm1::completeRecord(Record& r) const {
    r.pane = r.page == leftPage_ ? "left" : "right";
    r.button = currentSite;
    r.rule = requestVerdict(r.address, r.kind == RecordKind::Frame ? RequestKind::Navigation : RequestKind::Resource,
                            *Form3, lists, programDir)
                 .rule;
}

void TForm1::countRefused(const QUrl& page, const QUrl& address, bool frame) {
    if (tally_) tally_->count(page, address, frame);
}

void TForm1::flushRecords() {
    if (tally_) tally_->flush();
    if (records_) records_->flush();
}

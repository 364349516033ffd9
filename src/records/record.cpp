#include "records/record.h"

#include <QUrl>

namespace {

const std::string_view KindNames[] = {"navigation", "frame", "subresources", "request", "approved", "declined"};

}  // namespace

std::string_view kindName(RecordKind kind) { return KindNames[static_cast<int>(kind)]; }

bool kindFromName(std::string_view name, RecordKind& kind) {
    for (int k = 0; k < static_cast<int>(std::size(KindNames)); ++k)
        if (KindNames[k] == name) {
            kind = static_cast<RecordKind>(k);
            return true;
        }
    return false;
}

std::string siteOf(std::string_view address) {
    const QUrl url = QUrl::fromEncoded(QByteArray(address.data(), static_cast<qsizetype>(address.size())));
    QString host = url.host(QUrl::FullyEncoded).toLower();
    while (host.endsWith('.')) host.chop(1);
    return host.toStdString();
}

std::string pageOf(std::string_view address) { return std::string(address.substr(0, address.find_first_of("?#"))); }

std::string describe(const Record& r) {
    const std::string pane = r.pane.empty() ? std::string() : " in the " + r.pane + " pane";
    const std::string why = r.rule.empty() ? std::string() : " (" + r.rule + ")";
    switch (r.kind) {
    case RecordKind::Navigation: return "refused " + r.address + pane + why;
    case RecordKind::Frame: return "refused the frame " + r.address + " on " + r.page + why;
    case RecordKind::Subresources:
        return "refused " + std::to_string(r.count) + " request" + (r.count == 1 ? "" : "s") + " to " + r.site +
               " on " + r.page + ", as " + r.address + why;
    case RecordKind::Request:
        return "asked a parent for " + r.address + (r.note.empty() ? std::string() : ": \"" + r.note + "\"");
    case RecordKind::Approved: return "a parent allowed " + r.address + (r.note.empty() ? "" : " (" + r.note + ")");
    case RecordKind::Declined: return "a parent declined " + r.address;
    }
    return {};
}

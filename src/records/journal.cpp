// Records in the systemd journal: one entry a record, with structured fields that
// journalctl shows and filters on, and the journal's trusted fields (_UID, _COMM, _EXE,
// _HOSTNAME) beside them, which no sender can set.
#include "records/store.h"

#include "platform/errors.h"

#include <systemd/sd-journal.h>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

namespace {

std::string accountName(uid_t uid) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

std::string field(sd_journal* j, const char* name) {
    const void* data = nullptr;
    size_t length = 0;
    if (sd_journal_get_data(j, name, &data, &length) < 0) return {};
    const std::string_view all(static_cast<const char*>(data), length);
    const std::size_t eq = all.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(all.substr(eq + 1));
}

}  // namespace

bool journalRuns() { return ::access("/run/systemd/journal/socket", W_OK) == 0; }

void JournalStore::write(const std::vector<Record>& records) {
    for (const Record& r : records) {
        std::vector<std::string> fields = {
            "MESSAGE=" + describe(r),
            std::string("MESSAGE_ID=") + RecordMessageId,
            r.kind == RecordKind::Request ? "PRIORITY=5" : "PRIORITY=6",
            "SYSLOG_IDENTIFIER=wenlow",
            "WENLOW_KIND=" + std::string(kindName(r.kind)),
            "WENLOW_ADDRESS=" + r.address,
            "WENLOW_SITE=" + r.site,
            "WENLOW_BUTTON=" + std::to_string(r.button),
            "WENLOW_COUNT=" + std::to_string(r.count),
            "WENLOW_ACCOUNT=" + accountName(::getuid()),
        };
        for (const auto& [name, value] : {std::pair{"WENLOW_PAGE=", &r.page}, {"WENLOW_PANE=", &r.pane},
                                          {"WENLOW_RULE=", &r.rule}, {"WENLOW_NOTE=", &r.note}})
            if (!value->empty()) fields.push_back(name + *value);
        std::vector<iovec> parts;
        for (auto& f : fields) parts.push_back({f.data(), f.size()});
        sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    }
}

std::vector<Record> JournalStore::recent(std::size_t limit) const {
    sd_journal* j = nullptr;
    if (sd_journal_open(&j, SD_JOURNAL_LOCAL_ONLY) < 0) throw Exception("The journal cannot be opened");
    struct Close {
        sd_journal* j;
        ~Close() { sd_journal_close(j); }
    } close{j};
    sd_journal_add_match(j, (std::string("MESSAGE_ID=") + RecordMessageId).c_str(), 0);
    std::vector<Record> out;
    sd_journal_seek_tail(j);
    while (out.size() < limit && sd_journal_previous(j) > 0) {
        Record r;
        if (!kindFromName(field(j, "WENLOW_KIND"), r.kind)) continue;
        r.address = field(j, "WENLOW_ADDRESS");
        r.site = field(j, "WENLOW_SITE");
        r.page = field(j, "WENLOW_PAGE");
        r.pane = field(j, "WENLOW_PANE");
        r.rule = field(j, "WENLOW_RULE");
        r.note = field(j, "WENLOW_NOTE");
        r.button = std::atoi(field(j, "WENLOW_BUTTON").c_str());
        r.count = std::strtoull(field(j, "WENLOW_COUNT").c_str(), nullptr, 10);
        // The account from the trusted field: what the sender says of itself is not used.
        const std::string uid = field(j, "_UID");
        r.account = uid.empty() ? "?" : accountName(static_cast<uid_t>(std::stoul(uid)));
        std::uint64_t usec = 0;
        sd_journal_get_realtime_usec(j, &usec);
        r.time = static_cast<std::int64_t>(usec);
        out.push_back(std::move(r));
    }
    std::reverse(out.begin(), out.end());
    return out;
}

std::string JournalStore::where() const { return "the system journal (journalctl -t wenlow)"; }

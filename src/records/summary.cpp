#include "records/summary.h"

#include <algorithm>
#include <ctime>
#include <map>

RecordSummary summarise(const std::vector<Record>& records) {
    RecordSummary out;
    std::map<std::string, Record> waiting;
    std::map<std::string, SiteRefusals> sites;
    for (const Record& r : records) {
        switch (r.kind) {
        case RecordKind::Request: waiting[r.address] = r; break;
        case RecordKind::Approved:
        case RecordKind::Declined: waiting.erase(r.address); break;
        case RecordKind::Navigation:
        case RecordKind::Frame:
        case RecordKind::Subresources: {
            const std::string key = r.site.empty() ? r.address : r.site;
            SiteRefusals& s = sites[key];
            s.site = key;
            s.count += r.count;
            if (r.time >= s.last) {
                s.last = r.time;
                s.rule = r.rule;
                s.address = r.address;
                s.account = r.account;
            }
            break;
        }
        }
    }
    for (auto& [address, r] : waiting) out.pending.push_back(std::move(r));
    for (auto& [key, s] : sites) out.sites.push_back(std::move(s));
    std::stable_sort(out.pending.begin(), out.pending.end(), [](const Record& a, const Record& b) { return a.time > b.time; });
    std::stable_sort(out.sites.begin(), out.sites.end(),
                     [](const SiteRefusals& a, const SiteRefusals& b) { return a.last > b.last; });
    return out;
}

std::string localTime(std::int64_t usec) {
    const std::time_t seconds = static_cast<std::time_t>(usec / 1000000);
    std::tm tm {};
    localtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

std::string summaryText(const RecordSummary& summary) {
    std::string out;
    for (const Record& r : summary.pending)
        out += "request  " + localTime(r.time) + "  " + r.account + "  " + r.address +
               (r.note.empty() ? std::string() : "  \"" + r.note + "\"") + "\n";
    for (const SiteRefusals& s : summary.sites)
        out += "refused  " + localTime(s.last) + "  " + std::to_string(s.count) + "x  " + s.site + "  (" + s.rule +
               ")  " + s.address + "\n";
    return out;
}

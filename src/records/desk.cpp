#include "records/desk.h"

#include <algorithm>

bool RequestDesk::waiting(const std::string& address) {
    const RecordSummary s = summary();
    return std::any_of(s.pending.begin(), s.pending.end(), [&](const Record& r) { return r.address == address; });
}

void RequestDesk::ask(Record request) {
    request.kind = RecordKind::Request;
    request.time = nowMicroseconds();
    asked_[request.address] = request;
    records_.add(std::move(request));
}

void RequestDesk::answer(const std::string& address, bool approved, const std::string& what) {
    Record r;
    r.kind = approved ? RecordKind::Approved : RecordKind::Declined;
    r.address = address;
    r.site = siteOf(address);
    r.note = what;
    r.time = nowMicroseconds();
    asked_.erase(address);
    answered_[address] = r.time;
    records_.add(std::move(r));
    if (approved && onApproved) onApproved(address);
}

RecordSummary RequestDesk::summary() {
    std::vector<Record> all;
    try {
        all = records_.recent(ReadLimit);
    } catch (const std::exception&) {
        // Records this account cannot read: this run's own requests still count.
    }
    RecordSummary s = summarise(all);
    std::erase_if(s.pending, [&](const Record& r) {
        const auto a = answered_.find(r.address);
        return a != answered_.end() && a->second >= r.time;
    });
    for (const auto& asked : asked_)
        if (std::none_of(s.pending.begin(), s.pending.end(), [&](const Record& p) { return p.address == asked.first; }))
            s.pending.insert(s.pending.begin(), asked.second);
    return s;
}

#pragma once
// A child's requests to a parent and the parent's answers. The records hold them for
// good; this run's own requests and answers count at once, before a journal that
// writes later shows them.
#include "records/records.h"
#include "records/summary.h"

#include <functional>
#include <map>
#include <string>

class RequestDesk {
public:
    explicit RequestDesk(Records& records) : records_(records) {}

    // Whether a request for this address waits for an answer: one at a time.
    bool waiting(const std::string& address);
    // Records a request (kind, address and where filled in by the caller).
    void ask(Record request);
    // Records the parent's answer; `what` says what was allowed ("site", "page").
    void answer(const std::string& address, bool approved, const std::string& what = {});
    // The parent's view: waiting requests first, then refusals by site.
    RecordSummary summary();

    // Told of each approval, so the child's browser can open the page.
    std::function<void(const std::string& address)> onApproved;

    static constexpr std::size_t ReadLimit = 5000;

private:
    Records& records_;
    std::map<std::string, Record> asked_;           // this run's requests, by address
    std::map<std::string, std::int64_t> answered_;  // this run's answers: when
};

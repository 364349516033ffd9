#pragma once
// What a parent reads of the records: the requests still waiting for an answer, and
// the refusals grouped by site, newest first.
#include "records/record.h"

#include <string>
#include <vector>

struct SiteRefusals {
    std::string site;     // the host, or the address where it has none
    std::uint64_t count = 0;
    std::int64_t last = 0;
    std::string rule;     // what refused the newest
    std::string address;  // the newest address refused there
    std::string account;  // whose it was
};

struct RecordSummary {
    std::vector<Record> pending;      // one request per address, newest first
    std::vector<SiteRefusals> sites;  // newest first
};

// From records oldest first: a request waits until an approval or a decline of its
// address comes after it.
RecordSummary summarise(const std::vector<Record>& records);

// The summary as text for a terminal, one line a request or site.
std::string summaryText(const RecordSummary& summary);

// A time as the parent's clock shows it: "2024-05-01 14:03".
std::string localTime(std::int64_t usec);

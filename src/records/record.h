#pragma once
// What the browser records: every refusal, a page's refused subresources counted by
// site, a child's request to a parent and the parent's answer. Never an approved page
// for its own sake: a page is named only where something on it was refused.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class RecordKind {
    Navigation,    // a pane's navigation refused (its message was shown)
    Frame,         // a frame of a page refused (the program's own page shown in it)
    Subresources,  // pictures, scripts, styles... of a page refused on one site, counted
    Request,       // the child asked a parent to allow an address
    Approved,      // a parent allowed what was asked, or allowed it from the list
    Declined,      // a parent declined a request
};

// The stored name of a kind ("navigation", "frame", ...), and back; false for a name
// that is none of them.
std::string_view kindName(RecordKind kind);
bool kindFromName(std::string_view name, RecordKind& kind);

struct Record {
    RecordKind kind = RecordKind::Navigation;
    std::string address;  // as the engine fetches it
    std::string site;     // host of the address, lower case; empty when it has none
    std::string page;     // the page it was on (frames, subresources), without query or fragment
    std::string pane;     // "left", "right"
    int button = 0;       // the site button chosen (0..9)
    std::string rule;     // the entry or switch that decided (as wenlow-check --explain)
    std::uint64_t count = 1;
    std::string note;     // the child's note with a request; what was allowed with an answer

    // Filled when a record is read back; a new record takes the time and account of the
    // moment it is written.
    std::int64_t time = 0;  // microseconds since 1970 (UTC)
    std::string account;

    bool operator==(const Record&) const = default;
};

// The host of an address in lower case, without user info, port or trailing dots;
// empty when the address has none (about:, mailto:).
std::string siteOf(std::string_view address);
// An address without its query and fragment: what a record names of a page.
std::string pageOf(std::string_view address);

// One line of text for people: what happened and why.
std::string describe(const Record& r);

// Room in a record for a child's note.
inline constexpr std::size_t NoteLimit = 200;

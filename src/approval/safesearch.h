#pragma once
// Safe search: the search engines and the video site asked in the form their makers
// document for schools and families. Searches carry the engine's forced safe-search
// parameter (Google "safe=active", Bing "adlt=strict", DuckDuckGo "kp=1", Yahoo "vm=r"),
// any other value of it taken out, so a child who edits the address gets the safe form
// again; YouTube gets the header "YouTube-Restrict: Strict" on every request.
#include <string>
#include <string_view>
#include <vector>

struct SafeForm {
    std::string address;           // the address to ask for instead; empty: it stays
    const char* header = nullptr;  // a header to send with the request, and its value
    const char* value = nullptr;
    bool any() const { return !address.empty() || header; }
};

// For an address in the engine's form (address.h). The safe form of a safe form is
// nothing: asking again never sends a request elsewhere a second time.
SafeForm safeSearchForm(std::string_view address);
// Whether a host (lower case, as the engine writes it) is one the safe forms are for: a
// quick test before the whole address is looked at.
bool safeSearchHost(std::string_view host);
// One host name of each search engine and of the video site, for tests that route them.
std::vector<std::string> safeSearchExampleHosts();

inline constexpr const char* RestrictHeader = "YouTube-Restrict";
inline constexpr const char* RestrictValue = "Strict";

#pragma once
// Every request of either pane meets the rules. First what a pane may open at all: web
// addresses, the program's own files, an empty page, mail and file-transfer links as
// their switches say, and (inside a page) its own data; then the lists, through urlok.
// The panes' navigations, the request gate and wenlow-check all decide through this.
#include "approval/engineform.h"
#include "approval/urlok.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class RequestKind {
    Navigation,  // what a pane or a frame of it shows
    Resource,    // what a page loads or sends: pictures, scripts, fetches, sockets, ...
    Tunnel,      // a secure connection to "https://host[:port]", before its addresses are seen
};

// What the rules of a moment are made of, to tell whether a decision made earlier still
// holds: the lists' revision, the parent list's, and the switches urlok reads.
struct RulesState {
    std::uint64_t lists = 0;
    std::uint64_t parent = 0;
    unsigned switches = 0;
    bool operator==(const RulesState&) const = default;
};

// An address as the engine reports it or as it is written: decided in the form the engine
// fetches (engineform.h); one that cannot be read is refused. programDir ends with "/".
Verdict requestVerdict(std::string_view address, RequestKind kind, const SettingsView& settings,
                       const LinkLists& lists, std::string_view programDir);
bool requestAllowed(std::string_view address, RequestKind kind, const SettingsView& settings, const LinkLists& lists,
                    std::string_view programDir);
// The same for an address put in that form already.
Verdict requestVerdict(const EngineAddress& address, RequestKind kind, const SettingsView& settings,
                       const LinkLists& lists, std::string_view programDir);
bool requestAllowed(const EngineAddress& address, RequestKind kind, const SettingsView& settings,
                    const LinkLists& lists, std::string_view programDir);

// Whether a file address names a file inside the program folder.
bool insideProgramFolder(std::string_view fileAddress, std::string_view programDir);

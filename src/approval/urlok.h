#pragma once
// The two approval tests, as functions of the address, the settings and the lists.
#include "approval/settings.h"
#include "data/linklists.h"

#include <string>
#include <string_view>

struct Verdict {
    bool ok = true;
    std::string rule;  // which rule decided, for explanations
};

// General approval of a navigation of either pane.
Verdict urlokVerdict(std::string_view url, const SettingsView& settings, const LinkLists& lists);
bool urlok(std::string_view url, const SettingsView& settings, const LinkLists& lists);

// For a secure connection to "https://host[:port]", of which only the host is known:
// refused only when every address on the host would be refused.
Verdict hostVerdict(std::string_view url, const SettingsView& settings, const LinkLists& lists);

// Verification of a link clicked in the left pane against the main list, for the
// current site (0..9). The caller shows the message when it refuses.
Verdict mainUrlOkVerdict(std::string_view url, int currentSite, const SettingsView& settings, const LinkLists& lists);
bool MainUrlOk(std::string_view url, int currentSite, const SettingsView& settings, const LinkLists& lists);

// The same decisions by going through every entry in list order, as the rules are
// written: the measure the indexed tests are checked and timed against.
bool urlokScan(std::string_view url, const SettingsView& settings, const LinkLists& lists);
bool mainUrlOkScan(std::string_view url, int currentSite, const SettingsView& settings, const LinkLists& lists);

// Upper case (a to z), without a fragment, "HTTP://" in front unless already there or a local path with
// ":\" as 2nd and 3rd characters, no trailing "/". A secure web address compares as
// the same address in plain web form.
std::string normalisedAddress(std::string_view url);

// The host of a normalised web address: after "HTTP://", up to the first "/", "?", "#"
// or "\", without user info, port or trailing dots. Empty for any other address.
std::string_view hostOf(std::string_view normalised);

inline constexpr const char* RefusedLeftText =
    "Cannot go to that site. Download update to browse all approved links. Click OK to continue.";
inline constexpr const char* VerifyRefusedText = "Please download the update files.";
inline constexpr const char* RefusedRightText = "Cannot go to that site. Click OK to continue.";
inline constexpr const char* NewWindowText = "Feature Disabled. Click OK to Continue";

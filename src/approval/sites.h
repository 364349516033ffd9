#pragma once
// What the parent's own site entries and the choice "only the approved sites" say of an
// address. Urlok asks this between the predefined list and the parent's single pages:
// - an approved address covers itself and everything under it ("/", "?" or "#" next);
// - otherwise the site entry nearest the host decides (the longest name the host is, or
//   lies below): an approved site opens, a blocked one (with the parent's blocks
//   switched on) refuses; at equal names the block wins;
// - with no entry for it, "only the approved sites" refuses the address.
// So a parent's approval overrides the predefined list, a whole-site block overrides a
// predefined approval, and a single blocked page (pardata.dat) overrides everything.
#include "approval/settings.h"

#include <optional>
#include <string>
#include <string_view>

struct SiteVerdict {
    bool decides = false;
    bool ok = true;
    const char* rule = "";
    const std::string* entry = nullptr;  // the entry's text, when an entry decided
};

// `normalised` as urlok compares it (normalisedAddress).
SiteVerdict siteVerdict(std::string_view normalised, const SettingsView& settings);
// For a secure connection to "HTTP://HOST[:PORT]", of which only the host is known:
// refused only when every address on the host would be refused.
SiteVerdict siteHostVerdict(std::string_view normalisedRoot, const SettingsView& settings);

// The stored form of what a parent typed, or nothing when it makes no entry. A whole
// site is the host name alone (a leading "www." dropped: "www.kids.example" means the
// site kids.example); an address is the engine's form of it, without "#fragment" or
// trailing "/". A single blocked page is not made here: it keeps the form pardata.dat has
// always had (parentEntry of the setup window).
std::optional<SiteEntry> siteEntryFrom(ParentKind kind, const std::string& typed);

// An entry in words, as the setup window lists it.
std::string entryInWords(const SiteEntry& entry);

// The host of an address in the engine's form, lower case; empty when it has none.
std::string hostOfAddress(std::string_view address);

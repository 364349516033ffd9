#include "approval/sites.h"

#include "approval/engineform.h"
#include "approval/urlok.h"
#include "data/linkindex.h"
#include "platform/text.h"

namespace {

std::string comparedForm(const SiteEntry& e) {
    if (e.kind == ParentKind::ApproveAddress) return normalisedAddress(e.text);
    return upperAZ(std::string(domainName(e.text)));
}

// The address itself, or it followed by "/", "?" or "#": what lies under it.
bool under(std::string_view a, std::string_view entry) {
    return !entry.empty() && startsWith(a, entry) &&
           (a.size() == entry.size() || std::string_view("/?#").find(a[entry.size()]) != std::string_view::npos);
}

struct Nearest {
    const std::string* entry = nullptr;
    bool approves = false;
};

// An address, not a name: no top-level domain is a number, so an IPv4 host has no names
// above it.
bool isIpv4(std::string_view host) {
    const std::string_view last = host.substr(std::min(host.rfind('.') + 1, host.size()));
    return !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
}

// The site entry with the longest name that the host is, or lies below; at one name a
// block (when blocks count) before an approval.
Nearest nearestSite(std::string_view host, const SiteList& list, bool blocks) {
    for (std::string_view name = host; !name.empty();) {
        Nearest found;
        if (const auto* at = list.named(name)) {
            for (const std::uint32_t i : *at) {
                const ParentKind kind = list[i].kind;
                if (kind == ParentKind::BlockSite && blocks) return {&list[i].text, false};
                if (kind == ParentKind::ApproveSite && !found.entry) found = {&list[i].text, true};
            }
        }
        if (found.entry) return found;
        const std::size_t dot = name.find('.');
        if (dot == std::string_view::npos || isIpv4(host)) break;
        name.remove_prefix(dot + 1);
    }
    return {};
}

// Decides by the nearest site entry, else by the choice of only approved sites.
SiteVerdict bySiteOrChoice(std::string_view host, const SettingsView& settings) {
    if (!host.empty()) {
        const Nearest n = nearestSite(host, settings.siteList(), settings.option(OptParent));
        if (n.entry) return {true, n.approves, n.approves ? "approved site" : "blocked site", n.entry};
    }
    if (settings.onlyApproved()) return {true, false, "only approved sites"};
    return {};
}

// An approved address on the host that the address lies under; any one, for a tunnel
// (whose address is the host's root, and `whole` false).
const std::string* approvedAddress(std::string_view a, std::string_view host, const SiteList& list, bool whole) {
    if (const auto* at = host.empty() ? nullptr : list.named(host))
        for (const std::uint32_t i : *at)
            if (list[i].kind == ParentKind::ApproveAddress && (!whole || under(a, list.compared(i)))) return &list[i].text;
    return nullptr;
}

SiteVerdict verdict(std::string_view a, const SettingsView& settings, bool whole) {
    const SiteList& list = settings.siteList();
    // Most decisions: nothing of the parent's to ask.
    if (list.empty() && !settings.onlyApproved()) return {};
    const std::string_view host = hostOf(a);
    if (const std::string* address = approvedAddress(a, host, list, whole)) return {true, true, "approved address", address};
    return bySiteOrChoice(host, settings);
}

}  // namespace

SiteList::SiteList(std::vector<SiteEntry> entries) {
    for (SiteEntry& e : entries) add(std::move(e));
}

void SiteList::index(std::uint32_t i) {
    const std::string& form = compared_[i];
    const std::string_view name = entries_[i].kind == ParentKind::ApproveAddress ? hostOf(form) : std::string_view(form);
    byName_[std::string(name)].push_back(i);
}

const std::vector<std::uint32_t>* SiteList::named(std::string_view name) const {
    const auto at = byName_.find(name);
    return at == byName_.end() ? nullptr : &at->second;
}

bool SiteList::contains(const SiteEntry& e) const {
    const std::string form = comparedForm(e);
    for (std::size_t i = 0; i < size(); ++i)
        if (entries_[i].kind == e.kind && compared_[i] == form) return true;
    return false;
}

bool SiteList::approvesAny() const {
    for (const SiteEntry& e : entries_)
        if (e.kind == ParentKind::ApproveSite || e.kind == ParentKind::ApproveAddress) return true;
    return false;
}

void SiteList::add(SiteEntry e) {
    compared_.push_back(comparedForm(e));
    entries_.push_back(std::move(e));
    index(static_cast<std::uint32_t>(entries_.size() - 1));
}

void SiteList::remove(std::size_t i) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    compared_.erase(compared_.begin() + static_cast<std::ptrdiff_t>(i));
    byName_.clear();
    for (std::uint32_t n = 0; n < entries_.size(); ++n) index(n);
}

SiteVerdict siteVerdict(std::string_view a, const SettingsView& settings) { return verdict(a, settings, true); }

SiteVerdict siteHostVerdict(std::string_view root, const SettingsView& settings) {
    return verdict(root, settings, false);
}

std::string hostOfAddress(std::string_view address) {
    const std::string scheme = upperAZ(std::string(address.substr(0, 8)));
    if (!startsWith(scheme, "HTTP://") && scheme != "HTTPS://") return {};
    return lowerAZ(std::string(hostOf(normalisedAddress(address))));
}

namespace {

// A site or address in its stored form; as a parent types it (`asTyped`),
// "www.kids.example" means the site kids.example.
std::optional<SiteEntry> storedEntry(ParentKind kind, const std::string& typed, bool asTyped) {
    if (kind == ParentKind::BlockPage) return std::nullopt;  // pardata.dat's own form: parentEntry
    std::string text = typed;
    text.erase(0, std::min(text.find_first_not_of("/ \t"), text.size()));
    // "*.kids.example" and ".kids.example", as block lists write a whole site, are the
    // site kids.example.
    if (kind != ParentKind::ApproveAddress) {
        if (startsWith(text, "*.")) text.erase(0, 1);
        text.erase(0, std::min(text.find_first_not_of('.'), text.size()));
    }
    // In the form the engine fetches: a text without a scheme is a web address, and one
    // whose host the engine could not reach ("kids example") is no site.
    const Converted address = convertAddress(text);
    std::string host = address.ok() ? hostOfAddress(address.text) : std::string();
    if (host.empty()) return std::nullopt;
    if (kind == ParentKind::ApproveAddress) return SiteEntry{kind, stripTrailingSlashes(address.text)};
    if (asTyped && startsWith(host, "www.") && host.find('.', 4) != std::string::npos) host.erase(0, 4);
    return SiteEntry{kind, std::move(host)};
}

}  // namespace

std::optional<SiteEntry> siteEntryFrom(ParentKind kind, const std::string& typed) {
    return storedEntry(kind, typed, true);
}

SitesValues storedForm(SitesValues v) {
    std::vector<SiteEntry> entries;
    for (SiteEntry& e : v.entries) {
        // A "www." written into the file stays: the entry has always meant that host.
        if (auto stored = storedEntry(e.kind, e.text, false))
            entries.push_back(std::move(*stored));
        else  // set aside as a remark, so that no later reading takes it for an entry
            v.otherLines.push_back("# names no site: " + sitesLine(e));
    }
    v.entries = std::move(entries);
    return v;
}

std::string entryInWords(const SiteEntry& e) {
    switch (e.kind) {
    case ParentKind::ApproveSite:
    case ParentKind::BlockSite: return "Whole site: " + e.text;
    case ParentKind::ApproveAddress: return "Address and below: " + e.text;
    case ParentKind::BlockPage: return "This page: " + e.text;
    }
    return e.text;
}

#include "approval/sites.h"

#include "approval/address.h"
#include "approval/urlok.h"
#include "data/linkindex.h"
#include "platform/text.h"

#include <QUrl>

namespace {

bool isSite(EntryKind k) { return k == EntryKind::ApproveSite || k == EntryKind::BlockSite; }

std::string comparedForm(const SiteEntry& e) {
    if (e.kind == EntryKind::ApproveAddress) return normalisedAddress(e.text);
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
    std::size_t length = 0;
};

// The site entry with the longest name that the host is, or lies below.
Nearest nearestSite(std::string_view host, const SiteList& list, bool blocks) {
    Nearest best;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const EntryKind kind = list[i].kind;
        if (!isSite(kind) || (kind == EntryKind::BlockSite && !blocks)) continue;
        const std::string_view name = list.compared(i);
        if (!hostInDomain(host, name)) continue;
        const bool approves = kind == EntryKind::ApproveSite;
        if (!best.entry || name.size() > best.length || (name.size() == best.length && !approves))
            best = {&list[i].text, approves, name.size()};
    }
    return best;
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

}  // namespace

SiteList::SiteList(std::vector<SiteEntry> entries) {
    for (SiteEntry& e : entries) add(std::move(e));
}

bool SiteList::contains(const SiteEntry& e) const {
    const std::string form = comparedForm(e);
    for (std::size_t i = 0; i < size(); ++i)
        if (entries_[i].kind == e.kind && compared_[i] == form) return true;
    return false;
}

bool SiteList::approvesAny() const {
    for (const SiteEntry& e : entries_)
        if (e.kind == EntryKind::ApproveSite || e.kind == EntryKind::ApproveAddress) return true;
    return false;
}

void SiteList::add(SiteEntry e) {
    compared_.push_back(comparedForm(e));
    entries_.push_back(std::move(e));
}

void SiteList::remove(std::size_t i) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    compared_.erase(compared_.begin() + static_cast<std::ptrdiff_t>(i));
}

SiteVerdict siteVerdict(std::string_view a, const SettingsView& settings) {
    const SiteList& list = settings.siteList();
    // Most decisions: nothing of the parent's to ask.
    if (list.empty() && !settings.onlyApproved()) return {};
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].kind == EntryKind::ApproveAddress && under(a, list.compared(i)))
            return {true, true, "approved address", &list[i].text};
    return bySiteOrChoice(hostOf(a), settings);
}

SiteVerdict siteHostVerdict(std::string_view root, const SettingsView& settings) {
    const SiteList& list = settings.siteList();
    if (list.empty() && !settings.onlyApproved()) return {};
    const std::string_view host = hostOf(root);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].kind == EntryKind::ApproveAddress && !host.empty() && hostOf(list.compared(i)) == host)
            return {true, true, "approved address", &list[i].text};
    return bySiteOrChoice(host, settings);
}

std::string hostOfAddress(std::string_view address) {
    const std::string scheme = upperAZ(std::string(address.substr(0, 8)));
    if (!startsWith(scheme, "HTTP://") && scheme != "HTTPS://") return {};
    return lowerAZ(std::string(hostOf(normalisedAddress(address))));
}

std::optional<SiteEntry> siteEntryFrom(EntryKind kind, const std::string& typed) {
    if (kind == EntryKind::BlockPage) return std::nullopt;  // pardata.dat's own form: parentEntry
    std::string text = typed;
    text.erase(0, std::min(text.find_first_not_of("/ \t"), text.size()));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    if (text.empty()) return std::nullopt;
    // "mailto:kid@kids.example" names no site; "kids.example:8080" and "localhost:8080" do.
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && text.find("://") == std::string::npos && text.find_first_of("./") > colon &&
        !(colon + 1 < text.size() && text[colon + 1] >= '0' && text[colon + 1] <= '9'))
        return std::nullopt;
    if (text.find("://") == std::string::npos) text = "http://" + text;
    // A host the engine could never reach ("kids example", "*.kids.example") is no site.
    if (const QUrl typedUrl(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        !typedUrl.isValid() || typedUrl.host().isEmpty())
        return std::nullopt;
    std::string address = engineAddress(text);
    std::string host = hostOfAddress(address);
    if (host.empty() || host.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-_[]:") != std::string::npos)
        return std::nullopt;
    if (kind == EntryKind::ApproveAddress) {
        address.resize(std::min(address.find('#'), address.size()));
        while (address.back() == '/') address.pop_back();
        return SiteEntry{kind, std::move(address)};
    }
    if (startsWith(host, "www.") && host.find('.', 4) != std::string::npos) host.erase(0, 4);
    return SiteEntry{kind, std::move(host)};
}

std::string entryInWords(const SiteEntry& e) {
    switch (e.kind) {
    case EntryKind::ApproveSite:
    case EntryKind::BlockSite: return "Whole site: " + e.text;
    case EntryKind::ApproveAddress: return "Address and below: " + e.text;
    case EntryKind::BlockPage: return "This page: " + e.text;
    }
    return e.text;
}

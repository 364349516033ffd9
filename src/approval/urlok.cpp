#include "approval/urlok.h"

#include "platform/text.h"

namespace {

// The switches decide mail and file transfer links before any list is asked.
// Begins with an upper-case prefix, letters a to z compared without their case.
bool beginsWith(std::string_view s, std::string_view upperPrefix) {
    if (s.size() < upperPrefix.size()) return false;
    for (std::size_t i = 0; i < upperPrefix.size(); ++i) {
        char c = s[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upperPrefix[i]) return false;
    }
    return true;
}

bool decidedBySwitch(const std::string& url, const SettingsView& settings, Verdict& v) {
    if (beginsWith(url, "MAILTO:")) {
        v = settings.option(OptEmail) ? Verdict{false, "e-mail switch"} : Verdict{true, "e-mail switch off"};
        return true;
    }
    if (beginsWith(url, "FTP:")) {
        v = settings.option(OptFtp) ? Verdict{false, "FTP switch"} : Verdict{true, "FTP switch off"};
        return true;
    }
    return false;
}

Verdict parentList(const std::string& a, const SettingsView& settings, Verdict v) {
    if (v.ok && settings.option(OptParent)) {
        for (const std::string& entry : settings.parentList())
            if (upperAZ(entry) == a) return {false, "parent " + entry};
    }
    return v;
}

std::string entryName(char kind, std::string_view text) { return "predefined " + (kind + std::string(text)); }

}  // namespace

std::string normalisedAddress(const std::string& url) {
    std::string_view rest = url;
    std::string a;
    a.reserve(url.size() + 7);
    // Secure addresses meet the lists in the form every list entry is written in.
    if (beginsWith(rest, "HTTPS://")) {
        a.append("HTTP://");
        rest.remove_prefix(8);
    } else if (!beginsWith(rest, "HTTP://") && !(rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\')) {
        a.append("HTTP://");
    }
    a.append(rest);
    for (char& c : a)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    while (!a.empty() && a.back() == '/') a.pop_back();
    return a;
}

Verdict urlokVerdict(const std::string& url, const SettingsView& settings, const LinkLists& lists) {
    Verdict v{true, "no rule"};
    if (decidedBySwitch(url, settings, v)) return v;
    const std::string a = normalisedAddress(url);
    if (!lists.predefined().empty() && settings.option(OptPredefined)) {
        const LinkIndex& index = lists.index();
        const TextSet::Address address(a);
        // Every entry counts and the list's order puts "4" last: an allow entry that
        // matches wins over any block entry.
        if (const auto allow = index.allowPrefixes.prefixOf(address)) {
            v = {true, entryName('4', *allow)};
        } else if (const auto exact = index.blockExact.equalTo(address)) {
            v = {false, entryName('3', *exact)};
        } else if (const auto block = index.blockPrefixes.prefixOf(address)) {
            v = {false, entryName('1', *block)};
        }
    }
    return parentList(a, settings, v);
}

Verdict mainUrlOkVerdict(const std::string& url, int currentSite, const SettingsView& settings,
                         const LinkLists& lists) {
    const bool verify = currentSite >= 1 && currentSite <= 9 && settings.verify(currentSite);
    if (!verify || !settings.option(OptVerification)) return {true, "verification off"};
    const std::string b = upperAZ(stripTrailingSlashes(url));
    if (lists.index().mainList.equalTo(TextSet::Address(b))) return {true, "main list"};
    return {false, "verification"};
}

bool urlokScan(const std::string& url, const SettingsView& settings, const LinkLists& lists) {
    Verdict v{true, ""};
    if (decidedBySwitch(url, settings, v)) return v.ok;
    const std::string a = normalisedAddress(url);
    if (!lists.predefined().empty() && settings.option(OptPredefined)) {
        for (std::string_view entry : lists.predefined()) {
            if (entry.empty()) continue;
            const std::string_view text = entry.substr(1);
            if (entry[0] == '1' && startsWith(a, text))
                v.ok = false;
            else if (entry[0] == '3' && a == text)
                v.ok = false;
            else if (entry[0] == '4' && startsWith(a, text))
                v.ok = true;
        }
    }
    return parentList(a, settings, v).ok;
}

bool mainUrlOkScan(const std::string& url, int currentSite, const SettingsView& settings, const LinkLists& lists) {
    const bool verify = currentSite >= 1 && currentSite <= 9 && settings.verify(currentSite);
    if (!verify || !settings.option(OptVerification)) return true;
    const std::string b = upperAZ(stripTrailingSlashes(url));
    for (std::string_view entry : lists.main())
        if (upperAZ(std::string(entry)) == b) return true;
    return false;
}

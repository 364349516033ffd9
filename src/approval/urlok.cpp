#include "approval/urlok.h"

#include "platform/text.h"

namespace {

bool isLocalPath(const std::string& a) { return a.size() >= 3 && a[1] == ':' && a[2] == '\\'; }

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    return upperAZ(a) == upperAZ(b);
}

}  // namespace

std::string normalisedAddress(const std::string& url) {
    std::string a = upperAZ(url);
    // Secure addresses meet the lists in the form every list entry is written in.
    if (startsWith(a, "HTTPS://")) a = "HTTP://" + a.substr(8);
    if (!startsWith(a, "HTTP://") && !isLocalPath(a)) a = "HTTP://" + a;
    return stripTrailingSlashes(std::move(a));
}

Verdict urlokVerdict(const std::string& url, const SettingsView& settings, const LinkLists& lists) {
    const std::string upper = upperAZ(url);
    if (startsWith(upper, "MAILTO:"))
        return settings.option(OptEmail) ? Verdict{false, "e-mail switch"} : Verdict{true, "e-mail switch off"};
    if (startsWith(upper, "FTP:"))
        return settings.option(OptFtp) ? Verdict{false, "FTP switch"} : Verdict{true, "FTP switch off"};

    const std::string a = normalisedAddress(url);
    Verdict v{true, "no rule"};
    if (!lists.predefined.empty() && settings.option(OptPredefined)) {
        for (const std::string& entry : lists.predefined) {
            if (entry.empty()) continue;
            const char kind = entry[0];
            const std::string_view text = std::string_view(entry).substr(1);
            if (kind == '1' && startsWith(a, text))
                v = {false, "predefined " + entry};
            else if (kind == '3' && a == text)
                v = {false, "predefined " + entry};
            else if (kind == '4' && startsWith(a, text))
                v = {true, "predefined " + entry};
        }
    }
    if (v.ok && settings.option(OptParent)) {
        for (const std::string& entry : settings.parentList())
            if (upperAZ(entry) == a) return {false, "parent " + entry};
    }
    return v;
}

Verdict mainUrlOkVerdict(const std::string& url, int currentSite, const SettingsView& settings,
                         const LinkLists& lists) {
    const bool verify = currentSite >= 1 && currentSite <= 9 && settings.verify(currentSite);
    if (!verify || !settings.option(OptVerification)) return {true, "verification off"};
    const std::string b = upperAZ(stripTrailingSlashes(url));
    for (const std::string& entry : lists.main)
        if (equalsIgnoringCase(entry, b)) return {true, "main list"};
    return {false, "verification"};
}

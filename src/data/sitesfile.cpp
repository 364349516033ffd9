#include "data/sitesfile.h"

#include "data/files.h"
#include "platform/text.h"

namespace {

struct KindWord {
    ParentKind kind;
    std::string_view word;
};
constexpr KindWord KindWords[] = {
    {ParentKind::ApproveSite, "allow-site"},
    {ParentKind::ApproveAddress, "allow-address"},
    {ParentKind::BlockSite, "block-site"},
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

void line(std::string& out, std::string_view a, std::string_view b) {
    out.append(a).append(" ").append(b).append("\r\n");
}

}  // namespace

SitesValues parseSites(std::string_view text) {
    SitesValues v;
    for (const std::string& raw : splitList(std::string(text))) {
        const std::string_view l = trimmed(raw);
        if (l.empty()) continue;
        const std::size_t blank = l.find_first_of(" \t");
        const std::string_view key = l.substr(0, blank);
        const std::string_view value = blank == std::string_view::npos ? std::string_view() : trimmed(l.substr(blank));
        if (equalsNoCase(key, "only-approved")) {
            v.onlyApproved = value != "0";
            continue;
        }
        if (equalsNoCase(key, "safe-search")) {
            v.safeSearch = value != "0";
            continue;
        }
        bool known = false;
        for (const KindWord& k : KindWords)
            if (equalsNoCase(key, k.word) && !value.empty()) {
                v.entries.push_back({k.kind, std::string(value)});
                known = true;
            }
        if (!known) v.otherLines.emplace_back(raw);
    }
    return v;
}

std::string sitesLine(const SiteEntry& e) {
    for (const KindWord& k : KindWords)
        if (e.kind == k.kind) return std::string(k.word) + " " + e.text;
    return {};
}

std::string sitesFileBytes(const SitesValues& v) {
    std::string out;
    line(out, "only-approved", v.onlyApproved ? "1" : "0");
    line(out, "safe-search", v.safeSearch ? "1" : "0");
    for (const SiteEntry& e : v.entries)
        if (const std::string l = sitesLine(e); !l.empty()) out.append(l).append("\r\n");
    for (const std::string& other : v.otherLines) out.append(other).append("\r\n");
    return out;
}

SitesValues readSitesFile(const std::string& programDir) {
    const std::string path = programDir + SitesFileName;
    if (!fileExists(path)) return {};
    return parseSites(readFileBytes(path));
}

void writeSitesFile(const std::string& programDir, const SitesValues& v) {
    writeFileSafely(programDir + SitesFileName, sitesFileBytes(v));
}

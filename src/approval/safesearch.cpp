#include "approval/safesearch.h"

#include "platform/text.h"

#include <optional>

namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool onDomain(std::string_view host, std::string_view domain) {
    return host == domain || (endsWith(host, domain) && host[host.size() - domain.size() - 1] == '.');
}

bool shortLetters(std::string_view s, std::size_t most) {
    return s.size() >= 2 && s.size() <= most && s.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string_view::npos;
}

// google.com, www.google.de, google.co.uk, www.google.com.au: each country's search.
bool googleHost(std::string_view h) {
    if (startsWith(h, "www.")) h.remove_prefix(4);
    if (!startsWith(h, "google.")) return false;
    const std::string_view tld = h.substr(7);
    const std::size_t dot = tld.find('.');
    if (dot == std::string_view::npos) return shortLetters(tld, 3);
    const std::string_view second = tld.substr(0, dot);
    return (second == "co" || second == "com") && shortLetters(tld.substr(dot + 1), 2);
}
bool bingHost(std::string_view h) { return onDomain(h, "bing.com"); }
bool duckHost(std::string_view h) { return onDomain(h, "duckduckgo.com"); }
bool yahooHost(std::string_view h) { return onDomain(h, "search.yahoo.com"); }
// The names Google lists for restricting YouTube on a network.
bool youtubeHost(std::string_view h) {
    for (std::string_view name : {"youtube.com", "www.youtube.com", "m.youtube.com", "youtubei.googleapis.com",
                                  "youtube.googleapis.com", "www.youtube-nocookie.com"})
        if (h == name) return true;
    return false;
}

bool googlePath(std::string_view p) { return p == "/" || p == "/search" || p == "/webhp" || p == "/imghp"; }
bool bingPath(std::string_view p) { return endsWith(p, "/search"); }
bool duckPath(std::string_view p) { return p == "/" || p == "/html" || p == "/lite"; }
bool yahooPath(std::string_view p) { return startsWith(p, "/search"); }

struct Engine {
    bool (*host)(std::string_view);
    bool (*path)(std::string_view);
    std::string_view key, value;
};
constexpr Engine Engines[] = {
    {googleHost, googlePath, "safe", "active"},
    {bingHost, bingPath, "adlt", "strict"},
    {duckHost, duckPath, "kp", "1"},
    {yahooHost, yahooPath, "vm", "r"},
};

// As the site reads it: "+" a blank, percent escapes decoded, letters in lower case.
std::string decoded(std::string_view s) {
    std::string plain(s);
    for (char& c : plain)
        if (c == '+') c = ' ';
    return lowerAZ(percentDecoded(plain));
}

std::string hostKey(std::string_view host) {
    while (!host.empty() && host.back() == '.') host.remove_suffix(1);
    return lowerAZ(std::string(host));
}

// The query with `key` holding `value` alone, at the end, every other spelling or value
// of it taken out; nothing when it is so already.
std::optional<std::string> withParameter(std::string_view query, std::string_view key, std::string_view value) {
    const std::string wanted = std::string(key) + "=" + std::string(value);
    std::string kept;
    int found = 0;
    bool exact = false;
    for (std::size_t start = 0; start <= query.size();) {
        const std::size_t amp = std::min(query.find('&', start), query.size());
        const std::string_view part = query.substr(start, amp - start);
        start = amp + 1;
        if (part.empty()) continue;
        if (decoded(part.substr(0, part.find('='))) == key) {
            ++found;
            exact = part == wanted;
        } else {
            kept.append(kept.empty() ? "" : "&").append(part);
        }
    }
    if (found == 1 && exact) return std::nullopt;
    return kept.empty() ? wanted : kept + "&" + wanted;
}

}  // namespace

bool safeSearchHost(std::string_view host) {
    const std::string h = hostKey(host);
    if (youtubeHost(h)) return true;
    for (const Engine& e : Engines)
        if (e.host(h)) return true;
    return false;
}

SafeForm safeSearchForm(std::string_view a) {
    const std::size_t sep = a.find("://");
    if (sep == std::string_view::npos || !(equalsNoCase(a.substr(0, sep), "http") || equalsNoCase(a.substr(0, sep), "https")))
        return {};
    const std::size_t pathAt = std::min(a.find_first_of("/?#", sep + 3), a.size());
    std::string_view authority = a.substr(sep + 3, pathAt - sep - 3);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    const std::string host = hostKey(authority.substr(0, authority.find(':')));

    if (youtubeHost(host)) return {{}, RestrictHeader, RestrictValue};
    for (const Engine& e : Engines) {
        if (!e.host(host)) continue;
        const std::size_t fragmentAt = std::min(a.find('#', pathAt), a.size());
        const std::size_t queryAt = std::min(a.find('?', pathAt), fragmentAt);
        std::string path = decoded(a.substr(pathAt, queryAt - pathAt));
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        if (!e.path(path.empty() ? "/" : path)) return {};
        const std::string_view query = queryAt < fragmentAt ? a.substr(queryAt + 1, fragmentAt - queryAt - 1) : "";
        const auto safe = withParameter(query, e.key, e.value);
        if (!safe) return {};
        std::string to(a.substr(0, queryAt));
        if (queryAt == pathAt) to += '/';
        return {to + "?" + *safe + std::string(a.substr(fragmentAt))};
    }
    return {};
}

std::vector<std::string> safeSearchExampleHosts() {
    return {"www.google.com", "www.bing.com", "duckduckgo.com", "search.yahoo.com", "www.youtube.com"};
}

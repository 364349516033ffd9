#include "approval/urlok.h"

#include "approval/sites.h"
#include "platform/text.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Upper-cases a to z, eight bytes at a time: it runs for every decision.
void upperAZInPlace(char* p, std::size_t n) {
    constexpr std::uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        const std::uint64_t low7 = w & ~Highs;
        const std::uint64_t atLeastA = low7 + (0x80 - 'a') * Ones;      // high bit: byte >= 'a'
        const std::uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * Ones;    // high bit: byte > 'z'
        const std::uint64_t letters = atLeastA & ~aboveZ & ~w & Highs;  // a to z, no byte above 127
        w ^= letters >> 2;                                              // 0x20 off each
        std::memcpy(p + i, &w, 8);
    }
    for (; i < n; ++i)
        if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 'a' + 'A');
}

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

// Which rule decided: a fixed name, or an entry of a list. The name is written out only
// for explanations; deciding alone allocates nothing for it.
struct Decision {
    bool ok = true;
    const char* rule = "no rule";
    char kind = 0;           // of the predefined entry that decided
    const std::string* parent = nullptr;  // the parent entry that decided
    const std::string* site = nullptr;    // the parent's site entry that decided, after `rule`
    std::string_view entry;  // the predefined entry, without its kind

    static Decision fixed(bool ok, const char* rule) {
        Decision d;
        d.ok = ok;
        d.rule = rule;
        return d;
    }
    static Decision predefined(bool ok, char kind, std::string_view entry) {
        Decision d;
        d.ok = ok;
        d.kind = kind;
        d.entry = entry;
        return d;
    }
    static Decision bySite(const SiteVerdict& s) {
        Decision d = fixed(s.ok, s.rule);
        d.site = s.entry;
        return d;
    }
    static Decision byParent(const std::string& entry) {
        Decision d;
        d.ok = false;
        d.parent = &entry;
        return d;
    }

    Verdict verdict() const {
        if (kind != 0) return {ok, "predefined " + (kind + std::string(entry))};
        if (parent) return {ok, "parent " + *parent};
        if (site) return {ok, rule + (" " + *site)};
        return {ok, rule};
    }
};

// The switches decide mail and file transfer links before any list is asked.
bool decidedBySwitch(std::string_view url, const SettingsView& settings, Decision& d) {
    const char first = url.empty() ? '\0' : static_cast<char>(url[0] | 0x20);
    if (first != 'm' && first != 'f') return false;  // most addresses: neither
    if (beginsWith(url, "MAILTO:")) {
        d = settings.option(OptEmail) ? Decision::fixed(false, "e-mail switch") : Decision::fixed(true, "e-mail switch off");
        return true;
    }
    if (beginsWith(url, "FTP:")) {
        d = settings.option(OptFtp) ? Decision::fixed(false, "FTP switch") : Decision::fixed(true, "FTP switch off");
        return true;
    }
    return false;
}

// The address is upper-cased already; the entry is compared as if it were.
bool equalsUpperAZ(std::string_view entry, std::string_view upper) {
    return entry.size() == upper.size() && beginsWith(entry, upper);
}

// A parent entry meets the address in the same plain web form: one typed as a secure
// address was once stored with "http://" in front of its own scheme.
bool parentEntryMatches(std::string_view entry, std::string_view a) {
    entry = withoutFragment(entry);
    if (beginsWith(entry, "HTTP://HTTPS://"))
        entry.remove_prefix(15);
    else if (beginsWith(entry, "HTTPS://"))
        entry.remove_prefix(8);
    else
        return equalsUpperAZ(entry, a);
    return beginsWith(a, "HTTP://") && equalsUpperAZ(entry, a.substr(7));
}

// The normalised address, kept on the stack when it is of a usual length: one is made for
// every decision.
class Normalised {
public:
    explicit Normalised(std::string_view url) {
        url = withoutFragment(url);
        std::string_view prefix;
        // Secure addresses meet the lists in the form every list entry is written in.
        if (beginsWith(url, "HTTPS://")) {
            prefix = "HTTP://";
            url.remove_prefix(8);
        } else if (!beginsWith(url, "HTTP://") && !(url.size() >= 3 && url[1] == ':' && url[2] == '\\')) {
            prefix = "HTTP://";
        }
        std::size_t n = prefix.size() + url.size();
        char* out = short_;
        if (n > sizeof short_) {
            long_.resize(n);
            out = long_.data();
        }
        if (!prefix.empty()) std::memcpy(out, prefix.data(), prefix.size());
        if (!url.empty()) std::memcpy(out + prefix.size(), url.data(), url.size());
        upperAZInPlace(out, n);
        while (n > 0 && out[n - 1] == '/') --n;
        text_ = std::string_view(out, n);
    }
    Normalised(const Normalised&) = delete;
    Normalised& operator=(const Normalised&) = delete;
    std::string_view text() const { return text_; }

private:
    char short_[384];
    std::string long_;
    std::string_view text_;
};

Decision parentList(std::string_view a, const SettingsView& settings, Decision d) {
    if (const SiteVerdict s = siteVerdict(a, settings); s.decides) d = Decision::bySite(s);
    if (d.ok && settings.option(OptParent)) {
        for (const std::string& entry : settings.parentList())
            if (parentEntryMatches(entry, a)) return Decision::byParent(entry);
    }
    return d;
}

// How a lenient web server reads a normalised web address: "%2F" and "%5C" in the path
// as "/" and "%2E" as ".", runs of "/" as one, "." and ".." segments resolved (with any
// ";parameters", as Java servers read "..;"), an empty query as none. The engine fetches
// the address as it stands, so "/a//b", "/a?", "/a/..%2Fb" and "/a/..;/b" reach "/a/b",
// "/a", "/b" and "/b" on such a server. Nothing when it reads the address as it stands.
std::optional<std::string> serverReading(std::string_view a) {
    if (!beginsWith(a, "HTTP://")) return std::nullopt;
    const std::size_t pathAt = a.find_first_of("/?\\", 7);
    if (pathAt == std::string_view::npos) return std::nullopt;
    const std::size_t queryAt = std::min(a.size(), a.find('?', pathAt));
    const std::string_view path = a.substr(pathAt, queryAt - pathAt), query = a.substr(queryAt);
    const bool emptyQuery = query == "?";
    const auto readOtherwise = [](std::string_view code) { return code == "%2F" || code == "%5C" || code == "%2E"; };
    bool plain = !emptyQuery && path.find("//") == std::string_view::npos &&
                 path.find_first_of("\\;") == std::string_view::npos;
    for (std::size_t i = path.find('%'); plain && i != std::string_view::npos; i = path.find('%', i + 1))
        plain = !readOtherwise(path.substr(i, 3));
    if (plain) return std::nullopt;
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const std::string_view code = path.substr(i, 3);
        if (readOtherwise(code)) {
            decoded += code == "%2E" ? '.' : '/';
            i += 2;
        } else {
            decoded += path[i] == '\\' ? '/' : path[i];
        }
    }
    std::vector<std::string_view> segments;
    for (std::size_t at = 0; at <= decoded.size();) {
        const std::size_t end = std::min(decoded.size(), decoded.find('/', at));
        const std::string_view segment = std::string_view(decoded).substr(at, end - at);
        const std::string_view name = segment.substr(0, segment.find(';'));
        if (name == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && name != ".") {
            segments.push_back(segment);
        }
        at = end + 1;
    }
    std::string read(a.substr(0, pathAt));
    for (const std::string_view segment : segments) (read += '/') += segment;
    if (!emptyQuery) read += query;
    if (read == a) return std::nullopt;
    return read;
}

Decision decideNormalised(std::string_view a, const SettingsView& settings, const LinkLists& lists) {
    Decision d;
    if (!lists.predefined().empty() && settings.option(OptPredefined)) {
        const LinkIndex& index = lists.index();
        const TextSet::Address address(a);
        std::optional<HostLookup> host;
        if (!index.blockDomains.empty() || !index.allowDomains.empty()) host.emplace(address, hostOf(a));
        // Every entry counts and the list's order puts "4" and "5" last: an allow entry
        // that matches wins over any block entry.
        if (const auto allow = index.allowPrefixes.empty() ? std::nullopt : index.allowPrefixes.prefixOf(address)) {
            d = Decision::predefined(true, '4', *allow);
        } else if (const auto allowed = host ? host->in(index.allowDomains) : std::nullopt) {
            d = Decision::predefined(true, '5', *allowed);
        } else if (const auto exact = index.blockExact.empty() ? std::nullopt : index.blockExact.equalTo(address)) {
            d = Decision::predefined(false, '3', *exact);
        } else if (const auto blocked = host ? host->in(index.blockDomains) : std::nullopt) {
            // Before the prefixes: a host has a few labels, an address many lengths.
            d = Decision::predefined(false, '2', *blocked);
        } else if (const auto block = index.blockPrefixes.empty() ? std::nullopt : index.blockPrefixes.prefixOf(address)) {
            d = Decision::predefined(false, '1', *block);
        }
    }
    return parentList(a, settings, d);
}

// An address is approved only if the server's reading of it is approved too.
template <class Decide>
auto decideAsRead(std::string_view a, Decide decide) {
    auto d = decide(a);
    if (!d.ok) return d;
    if (const auto read = serverReading(a)) {
        auto r = decide(*read);
        if (!r.ok) return r;
    }
    return d;
}

Decision decideUrlok(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    Decision d;
    if (decidedBySwitch(url, settings, d)) return d;
    const Normalised normalised(url);
    return decideAsRead(normalised.text(), [&](std::string_view a) { return decideNormalised(a, settings, lists); });
}

// A "4" entry that approves some address on the host of `root` ("HTTP://HOST[:PORT]"):
// one that begins with it, found among the sorted entries.
std::optional<std::string_view> approvalOnHost(std::string_view root, const TextList& predefined) {
    std::string key = "4";
    key += root;
    std::size_t low = 0, high = predefined.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (predefined[mid] < key)
            low = mid + 1;
        else
            high = mid;
    }
    // Entries for longer host names that begin alike come first at most a few times.
    for (std::size_t i = low, seen = 0; i < predefined.size() && seen < 64; ++i, ++seen) {
        const std::string_view e = predefined[i];
        if (!startsWith(e, key)) break;
        if (e.size() == key.size() || std::string_view("/?#\\").find(e[key.size()]) != std::string_view::npos)
            return e.substr(1);
    }
    return std::nullopt;
}

// Whether anything on a host could be approved, for a secure connection to it, of
// which only the host is known: refused only when the predefined list refuses every
// address there (the parent's list names single addresses).
Decision decideHost(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    const Normalised normalised(url);
    std::string_view root = normalised.text();
    if (!beginsWith(root, "HTTP://")) return Decision::fixed(true, "not a web host");
    root = root.substr(0, std::min(root.size(), root.find_first_of("/?#\\", 7)));
    if (const SiteVerdict s = siteHostVerdict(root, settings); s.decides) return Decision::bySite(s);
    if (lists.predefined().empty() || !settings.option(OptPredefined)) return Decision::fixed(true, "no list");
    const LinkIndex& index = lists.index();
    const TextSet::Address address(root);
    const HostLookup host(address, hostOf(root));
    if (const auto allow = index.allowPrefixes.prefixOf(address)) return Decision::predefined(true, '4', *allow);
    if (const auto allowed = host.in(index.allowDomains)) return Decision::predefined(true, '5', *allowed);
    if (const auto some = approvalOnHost(root, lists.predefined())) return Decision::predefined(true, '4', *some);
    if (const auto blocked = host.in(index.blockDomains)) return Decision::predefined(false, '2', *blocked);
    if (const auto block = index.blockPrefixes.prefixOf(address)) return Decision::predefined(false, '1', *block);
    return Decision::fixed(true, "host open");
}

Decision decideMainUrlOk(std::string_view url, int currentSite, const SettingsView& settings,
                         const LinkLists& lists) {
    const bool verify = currentSite >= 1 && currentSite <= 9 && settings.verify(currentSite);
    if (!verify || !settings.option(OptVerification)) return Decision::fixed(true, "verification off");
    const std::string b = upperAZ(stripTrailingSlashes(std::string(withoutFragment(url))));
    if (lists.index().mainList.equalTo(TextSet::Address(b))) return Decision::fixed(true, "main list");
    // The parent's own approvals count as approved addresses too.
    if (const SiteVerdict s = siteVerdict(normalisedAddress(url), settings); s.decides && s.ok) return Decision::bySite(s);
    return Decision::fixed(false, "verification");
}

}  // namespace

std::string_view hostOf(std::string_view a) {
    if (!beginsWith(a, "HTTP://")) return {};
    std::string_view host = a.substr(7);
    for (std::size_t i = 0; i < host.size(); ++i) {
        const char c = host[i];
        if (c == '/' || c == '?' || c == '#' || c == '\\') {
            host = host.substr(0, i);
            break;
        }
    }
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
    if (startsWith(host, "[")) {
        host = host.substr(0, std::min(host.size(), host.find(']') + 1));
    } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        host = host.substr(0, colon);
    }
    while (!host.empty() && host.back() == '.') host.remove_suffix(1);
    return host;
}

std::string normalisedAddress(std::string_view url) { return std::string(Normalised(url).text()); }

Verdict urlokVerdict(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    return decideUrlok(url, settings, lists).verdict();
}

Verdict hostVerdict(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    return decideHost(url, settings, lists).verdict();
}

bool urlok(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    return decideUrlok(url, settings, lists).ok;
}

Verdict mainUrlOkVerdict(std::string_view url, int currentSite, const SettingsView& settings,
                         const LinkLists& lists) {
    return decideMainUrlOk(url, currentSite, settings, lists).verdict();
}

bool MainUrlOk(std::string_view url, int currentSite, const SettingsView& settings, const LinkLists& lists) {
    return decideMainUrlOk(url, currentSite, settings, lists).ok;
}

bool urlokScan(std::string_view url, const SettingsView& settings, const LinkLists& lists) {
    Decision v;
    if (decidedBySwitch(url, settings, v)) return v.ok;
    return decideAsRead(normalisedAddress(url), [&](std::string_view a) {
               Decision d;
               if (!lists.predefined().empty() && settings.option(OptPredefined)) {
                   for (std::string_view entry : lists.predefined()) {
                       if (entry.empty()) continue;
                       const std::string_view text = withoutFragment(entry.substr(1));
                       if (entry[0] == '1' && startsWith(a, text))
                           d.ok = false;
                       else if (entry[0] == '3' && a == text)
                           d.ok = false;
                       else if (entry[0] == '4' && startsWith(a, text))
                           d.ok = true;
                       else if ((entry[0] == '2' || entry[0] == '5') && hostInDomain(hostOf(a), domainName(text)))
                           d.ok = entry[0] == '5';
                   }
               }
               return parentList(a, settings, d);
           }).ok;
}

bool mainUrlOkScan(std::string_view url, int currentSite, const SettingsView& settings, const LinkLists& lists) {
    const bool verify = currentSite >= 1 && currentSite <= 9 && settings.verify(currentSite);
    if (!verify || !settings.option(OptVerification)) return true;
    const std::string b = upperAZ(stripTrailingSlashes(std::string(withoutFragment(url))));
    for (std::string_view entry : lists.main())
        if (upperAZ(std::string(withoutFragment(entry))) == b) return true;
    const SiteVerdict s = siteVerdict(normalisedAddress(url), settings);
    return s.decides && s.ok;
}

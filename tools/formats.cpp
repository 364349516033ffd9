#include "tools/formats.h"

#include "approval/engineform.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace {

// Every entry passes here on its way into a list: the one place where a list's text is
// put in the form the engine fetches addresses in.
std::string engineForm(const std::string& address) {
    Converted c = convertAddress(address);
    return c.ok() ? std::move(c.text) : std::string();
}

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Hosts files, domain and address lists end a line at "#".
std::string_view withoutComment(std::string_view line) { return trim(line.substr(0, line.find('#'))); }

// A host as the engine writes one, with at least two labels, or an IP address: a host
// name of one label is never a published site.
bool plausibleHost(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.find_first_not_of("0123456789abcdef:.", 1) == host.size() - 1;
    if (host.find('.') == std::string_view::npos) return false;
    std::size_t start = 0;
    while (start <= host.size()) {
        const std::size_t end = std::min(host.find('.', start), host.size());
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() ||
            label.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_") != std::string_view::npos)
            return false;
        start = end + 1;
    }
    return true;
}

// An IP address, which a hosts file maps names to and never blocks by itself.
bool isAddress(std::string_view host) {
    return host.front() == '[' ||
           host.substr(host.rfind('.') + 1).find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view withoutScheme(std::string_view s) {
    if (equalsNoCase(s.substr(0, 7), "http://")) return s.substr(7);
    if (equalsNoCase(s.substr(0, 8), "https://")) return s.substr(8);
    return s;
}

bool isSinkhole(std::string_view address) {
    return address == "0.0.0.0" || address == "127.0.0.1" || address == "::" || address == "::1";
}

// Element hiding and scriptlet rules ("##", "#@#", "#?#", "#$#", "#%#", "#@$#", ...).
bool isCosmetic(std::string_view rule) {
    for (std::size_t i = rule.find('#'); i != std::string_view::npos; i = rule.find('#', i + 1)) {
        std::size_t j = i + 1;
        while (j < rule.size() && j - i <= 3 && std::string_view("@?$%").find(rule[j]) != std::string_view::npos) ++j;
        if (j < rule.size() && rule[j] == '#') return true;
    }
    return false;
}

char kindFor(bool domain, bool exact, bool allow) {
    if (domain) return allow ? '5' : '2';
    if (exact) return allow ? 0 : '3';  // no entry approves one address alone
    return allow ? '4' : '1';
}

void addEntry(char kind, const std::string& text, const EntrySink& add, std::size_t& failed) {
    if (kind == 0 || text.empty()) {
        ++failed;
        return;
    }
    std::string entry(1, kind);
    entry += text;
    add(entry);
}

// An address rule after its anchor: "/path", ":port/path", "^" or nothing after the host
// of "||host", or the whole address of "|http://...". Wildcards other than a trailing one
// and separators other than the one ending a host cannot be honoured.
void adblockRule(std::string_view rule, bool allow, const EntrySink& add, LineCounts& counts) {
    if (startsWith(rule, "||")) {
        rule.remove_prefix(2);
        const std::size_t end = std::min(rule.find_first_of("/^:*|?"), rule.size());
        const std::string_view host = rule.substr(0, end), tail = rule.substr(end);
        if (tail.empty() || tail == "^" || tail == "^|") {
            addEntry(kindFor(true, false, allow), domainEntry(host), add, counts.unsupported);
            return;
        }
        if (tail[0] != '/' && tail[0] != ':') {
            ++counts.unsupported;
            return;
        }
    } else if (startsWith(rule, "|")) {
        rule.remove_prefix(1);
        if (withoutScheme(rule).size() == rule.size()) {
            ++counts.unsupported;
            return;
        }
    } else {
        ++counts.unsupported;  // matched anywhere in an address
        return;
    }
    const bool exact = rule.size() > 1 && rule.back() == '|';
    if (exact) rule.remove_suffix(1);
    while (!exact && !rule.empty() && rule.back() == '*') rule.remove_suffix(1);
    if (rule.find_first_of("*^|") != std::string_view::npos) {
        ++counts.unsupported;
        return;
    }
    addEntry(kindFor(false, exact, allow), addressEntry(rule), add, counts.unsupported);
}

void adblockLine(std::string_view line, ListUse use, const EntrySink& add, LineCounts& counts) {
    line = trim(line);
    if (line.empty() || line[0] == '!' || line[0] == '[') return;  // comments, the "[Adblock Plus 2.0]" head
    if (isCosmetic(line)) {
        ++counts.cosmetic;
        return;
    }
    const bool exception = startsWith(line, "@@");
    if (exception) line.remove_prefix(2);
    if (line.find('$') != std::string_view::npos) {
        ++counts.withOptions;
        return;
    }
    // Exceptions approve; in a list of approvals there is nothing for one to undo.
    if (exception && use == ListUse::Allow) {
        ++counts.unsupported;
        return;
    }
    adblockRule(line, exception || use == ListUse::Allow, add, counts);
}

}  // namespace

LineCounts& LineCounts::operator+=(const LineCounts& o) {
    notNames += o.notNames;
    withOptions += o.withOptions;
    cosmetic += o.cosmetic;
    unsupported += o.unsupported;
    return *this;
}

std::string domainEntry(std::string_view name) {
    std::string n = lowerAZ(std::string(withoutScheme(trim(name))));
    while (!n.empty() && (n.back() == '.' || n.back() == '/')) n.pop_back();
    // squidGuard's ".example.org" means the whole domain too.
    n.erase(0, std::min(n.find_first_not_of('.'), n.size()));
    if (n.empty() || n.find_first_of(" \t") != std::string::npos) return {};
    if (n.find(':') != std::string::npos && n[0] != '[') n = "[" + n + "]";  // an IPv6 address
    const std::string e = engineForm("http://" + n + "/");
    if (!startsWith(e, "http://") || e.size() < 9 || e.back() != '/') return {};
    std::string host = e.substr(7, e.size() - 8);
    while (!host.empty() && host.back() == '.') host.pop_back();
    return plausibleHost(host) ? host : std::string();
}

std::string addressEntry(std::string_view address) {
    const std::string_view a = withoutScheme(trim(address));
    if (a.empty() || a.find_first_of(" \t") != std::string_view::npos) return {};
    // Secure addresses meet the lists in their plain web form.
    std::string e = engineForm("http://" + std::string(a));
    if (!startsWith(e, "http://")) return {};
    // The host, without a port, must be one.
    const std::size_t hostEnd = std::min(e.find_first_of("/?#", 7), e.size());
    std::string_view host = std::string_view(e).substr(7, hostEnd - 7);
    if (const std::size_t colon = host.rfind(':');
        colon != std::string_view::npos && host.back() != ']' &&
        host.find_first_not_of("0123456789", colon + 1) == std::string_view::npos)
        host = host.substr(0, colon);
    while (!host.empty() && host.back() == '.') host.remove_suffix(1);
    if (!plausibleHost(host)) return {};
    while (e.back() == '/') e.pop_back();
    return e;
}

bool eachLine(std::FILE* in, const std::function<void(std::string_view line)>& take, std::size_t& overlong) {
    std::string buffer(4 * MaxLineLength, '\0');
    std::size_t held = 0;
    bool dropping = false;  // the rest of a line too long to hold
    bool afterCr = false;
    auto line = [&](std::size_t start, std::size_t end) {
        if (dropping || end - start > MaxLineLength)
            overlong += dropping ? 0 : 1;
        else
            take(std::string_view(buffer).substr(start, end - start));
        dropping = false;
    };
    while (true) {
        const std::size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, in);
        std::size_t start = 0;
        for (std::size_t i = held; i < held + got; ++i) {
            const bool lf = buffer[i] == '\n';
            if (!lf && buffer[i] != '\r') {
                afterCr = false;
                continue;
            }
            if (!(lf && afterCr)) line(start, i);  // CR LF ends one line
            afterCr = !lf;
            start = i + 1;
        }
        held += got;
        if (got == 0) {
            if (start < held) line(start, held);
            return std::ferror(in) == 0;
        }
        held -= start;
        std::memmove(buffer.data(), buffer.data() + start, held);
        if (held > MaxLineLength) {
            overlong += dropping ? 0 : 1;
            dropping = true;
            held = 0;
        }
    }
}

void readListLine(ListFormat format, ListUse use, std::string_view line, const EntrySink& add, LineCounts& counts) {
    const bool allow = use == ListUse::Allow;
    switch (format) {
    case ListFormat::Adblock:
        adblockLine(line, use, add, counts);
        return;
    case ListFormat::Hosts: {
        line = withoutComment(line);
        if (line.empty()) return;
        const std::size_t gap = std::min(line.find_first_of(" \t"), line.size());
        if (!isSinkhole(line.substr(0, gap))) {
            ++counts.notNames;  // a name mapped to a real address is no block
            return;
        }
        for (std::size_t i = line.find_first_not_of(" \t", gap); i != std::string_view::npos;) {
            const std::size_t end = std::min(line.find_first_of(" \t", i), line.size());
            const std::string name = domainEntry(line.substr(i, end - i));
            addEntry(name.empty() || isAddress(name) ? 0 : kindFor(true, false, allow), name, add, counts.notNames);
            i = line.find_first_not_of(" \t", end);
        }
        return;
    }
    case ListFormat::Domains:
        line = withoutComment(line);
        if (!line.empty()) addEntry(kindFor(true, false, allow), domainEntry(line), add, counts.notNames);
        return;
    case ListFormat::Urls:
        line = withoutComment(line);
        if (!line.empty()) addEntry(kindFor(false, false, allow), addressEntry(line), add, counts.notNames);
        return;
    }
}

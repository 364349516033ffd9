#include "approval/gate.h"

#include "platform/text.h"

namespace {

enum class Scheme { None, Web, Socket, MailOrFtp, File, About, PageData, Own, Other };

// The scheme before the first ":"; a drive path ("c:\") has none.
Scheme schemeOf(std::string_view a, std::size_t& colon) {
    colon = schemeLength(a);
    if (colon == 0 || (colon == 1 && a.substr(1, 2) == ":\\")) return Scheme::None;
    const std::string_view s = a.substr(0, colon);
    if (equalsNoCase(s, "http") || equalsNoCase(s, "https")) return Scheme::Web;
    if (equalsNoCase(s, "ws") || equalsNoCase(s, "wss")) return Scheme::Socket;
    if (equalsNoCase(s, "mailto") || equalsNoCase(s, "ftp")) return Scheme::MailOrFtp;
    if (equalsNoCase(s, "file")) return Scheme::File;
    if (equalsNoCase(s, "about")) return Scheme::About;
    if (equalsNoCase(s, "data") || equalsNoCase(s, "blob")) return Scheme::PageData;
    if (equalsNoCase(s, "wenlow")) return Scheme::Own;
    return Scheme::Other;
}

}  // namespace

bool insideProgramFolder(std::string_view fileAddress, std::string_view programDir) {
    if (programDir.empty() || programDir.back() != '/') return false;
    std::size_t colon;
    if (schemeOf(fileAddress, colon) != Scheme::File) return false;
    std::string_view rest = fileAddress.substr(colon + 1);
    if (!startsWith(rest, "//")) return false;
    rest.remove_prefix(2);
    // A file on this machine: no host, or "localhost".
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return false;
    if (slash != 0 && !equalsNoCase(rest.substr(0, slash), "localhost")) return false;
    rest.remove_prefix(slash);
    rest = rest.substr(0, std::min(rest.find('?'), rest.find('#')));
    const std::string path = percentDecoded(rest);
    if (path.find("/../") != std::string::npos || path.find('\0') != std::string::npos) return false;
    return path.size() > programDir.size() && startsWith(path, programDir);
}

Verdict requestVerdict(std::string_view given, RequestKind kind, const SettingsView& settings,
                       const LinkLists& lists, std::string_view programDir) {
    return requestVerdict(EngineAddress(given), kind, settings, lists, programDir);
}

bool requestAllowed(std::string_view given, RequestKind kind, const SettingsView& settings, const LinkLists& lists,
                    std::string_view programDir) {
    return requestAllowed(EngineAddress(given), kind, settings, lists, programDir);
}

Verdict requestVerdict(const EngineAddress& engine, RequestKind kind, const SettingsView& settings,
                       const LinkLists& lists, std::string_view programDir) {
    if (!engine.readable()) return {false, engine.error()};
    const std::string_view address = engine.text();
    std::size_t colon;
    const Scheme scheme = schemeOf(address, colon);
    if (kind == RequestKind::Tunnel)
        return scheme == Scheme::Web ? hostVerdict(address, settings, lists) : Verdict{false, "scheme"};
    switch (scheme) {
    case Scheme::None:
    case Scheme::Web:
    case Scheme::MailOrFtp: return urlokVerdict(address, settings, lists);
    case Scheme::Socket:
        // A socket to a site is a request to that site: it compares as its web address.
        return urlokVerdict("http" + std::string(address.substr(colon)), settings, lists);
    case Scheme::File:
        if (insideProgramFolder(address, programDir)) return {true, "program folder"};
        return {false, "file outside the program folder"};
    case Scheme::About:
        if (equalsNoCase(address, "about:blank") || equalsNoCase(address, "about:srcdoc")) return {true, "empty page"};
        return {false, "scheme"};
    case Scheme::PageData:
        if (kind == RequestKind::Resource) return {true, "page's own data"};
        return {false, "scheme"};
    case Scheme::Own: return {true, "program's own page"};
    case Scheme::Other: break;
    }
    return {false, "scheme"};
}

bool requestAllowed(const EngineAddress& engine, RequestKind kind, const SettingsView& settings,
                    const LinkLists& lists, std::string_view programDir) {
    if (!engine.readable()) return false;
    std::size_t colon;
    const Scheme scheme = schemeOf(engine.text(), colon);
    if (kind != RequestKind::Tunnel && (scheme == Scheme::None || scheme == Scheme::Web || scheme == Scheme::MailOrFtp))
        return urlok(engine.text(), settings, lists);  // the common case, without rule texts
    return requestVerdict(engine, kind, settings, lists, programDir).ok;
}

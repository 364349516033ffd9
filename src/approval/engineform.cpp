#include "approval/engineform.h"

#include "platform/text.h"

#include <QStringDecoder>
#include <QUrl>

#include <cstdint>
#include <vector>

namespace {

constexpr const char* Unreadable = "the address cannot be read";
constexpr const char* BadHost = "the host cannot be read";
constexpr const char* BadPort = "the port cannot be read";

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isAlnum(char c) { return isDigit(c) || isAlpha(c); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%" and two hex digits at `at`: the byte they stand for, or -1.
int escapedByte(std::string_view s, std::size_t at) {
    if (at + 2 >= s.size() || s[at] != '%') return -1;
    const int high = hexValue(s[at + 1]), low = hexValue(s[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The characters the engine writes as they are, escaped or not: it writes them plain.
bool unreserved(int c) { return (c < 128 && isAlnum(static_cast<char>(c))) || c == '-' || c == '.' || c == '_' || c == '~'; }

bool startsWithNoCase(std::string_view s, std::string_view lowerPrefix) {
    if (s.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i)
        if (lower(s[i]) != lowerPrefix[i]) return false;
    return true;
}

void appendEscaped(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
}

// The text as the engine's parser takes it: without blanks and controls at either end or
// tabs and line breaks anywhere, in UTF-8 (8-bit text that is not UTF-8 is Latin-1, as
// the browser keeps it).
std::string prepared(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    std::string s;
    s.reserve(end - begin);
    bool ascii = true;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r') continue;
        s += c;
        ascii = ascii && static_cast<unsigned char>(c) < 128;
    }
    if (ascii) return s;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    if (!utf8.hasError()) return s;
    const QByteArray recoded = QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())).toUtf8();
    return std::string(recoded.constData(), static_cast<std::size_t>(recoded.size()));
}

}  // namespace

std::size_t schemeLength(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) return 0;
    std::size_t i = 1;
    while (i < s.size() && (isAlnum(s[i]) || s[i] == '+' || s[i] == '-' || s[i] == '.')) ++i;
    if (i >= s.size() || s[i] != ':') return 0;
    // A name with a dot, or "localhost", and a number after the colon: a host and its port.
    const std::string_view name = s.substr(0, i);
    if (name.find('.') == std::string_view::npos && !(name.size() == 9 && startsWithNoCase(name, "localhost"))) return i;
    std::size_t d = i + 1;
    while (d < s.size() && isDigit(s[d])) ++d;
    if (d > i + 1 && (d == s.size() || s[d] == '/' || s[d] == '?' || s[d] == '#')) return 0;
    return i;
}

namespace {

// The default port of a scheme whose addresses have a host, or nullptr.
const char* defaultPort(std::string_view scheme) {
    if (scheme == "http" || scheme == "ws") return "80";
    if (scheme == "https" || scheme == "wss") return "443";
    if (scheme == "ftp") return "21";
    return nullptr;
}

// An IPv4 address as the engine reads a host whose last label is a number: up to four
// parts, decimal, octal ("0" in front) or hexadecimal ("0x"), the last filling the bytes
// left. False when it is no address (the engine refuses such a host).
bool readIpv4(std::string_view host, std::string& out) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    std::vector<std::uint64_t> parts;
    for (std::size_t start = 0;;) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        std::string_view part = host.substr(start, dot - start);
        if (part.empty() || parts.size() == 4) return false;
        int base = 10;
        if (part.size() >= 2 && part[0] == '0' && lower(part[1]) == 'x') {
            base = 16;
            part.remove_prefix(2);
        } else if (part.size() >= 2 && part[0] == '0') {
            base = 8;
            part.remove_prefix(1);
        }
        std::uint64_t value = 0;
        for (char c : part) {
            const int digit = hexValue(c);
            if (digit < 0 || digit >= base) return false;
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFFull) return false;
        }
        parts.push_back(value);
        if (dot == host.size()) break;
        start = dot + 1;
    }
    std::uint64_t address = 0;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] > 255) return false;
        address = address << 8 | parts[i];
    }
    const std::size_t lastBytes = 5 - parts.size();
    if (parts.back() >> (8 * lastBytes)) return false;
    address = address << (8 * lastBytes) | parts.back();
    out = std::to_string(address >> 24) + '.' + std::to_string(address >> 16 & 255) + '.' +
          std::to_string(address >> 8 & 255) + '.' + std::to_string(address & 255);
    return true;
}

// Whether the host's last label (a trailing dot aside) is a number, which makes the
// engine read the host as an IPv4 address.
bool endsInNumber(std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    const std::size_t dot = host.rfind('.');
    std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
    if (last.empty()) return false;
    if (last.find_first_not_of("0123456789") == std::string_view::npos) return true;
    if (last.size() < 2 || last[0] != '0' || lower(last[1]) != 'x') return false;
    last.remove_prefix(2);
    for (char c : last)
        if (hexValue(c) < 0) return false;
    return true;
}

// Labels of letters, digits, "_" and inner "-", none empty (but after a last dot) or over
// 63 long, and no "xn--" name: Qt's mapping of such a name only lowers its letters.
bool plainName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    for (std::size_t label = 0; label <= name.size();) {
        const std::size_t end = std::min(name.find('.', label), name.size());
        const std::size_t n = end - label;
        if (n == 0 || n > 63 || name[label] == '-' || name[end - 1] == '-') return false;
        if (n >= 4 && name[label + 2] == '-' && name[label + 3] == '-') return false;
        for (std::size_t i = label; i < end; ++i)
            if (!isAlnum(name[i]) && name[i] != '_' && name[i] != '-') return false;
        label = end + 1;
    }
    return true;
}

// The host as the engine reads it; false when it cannot be read.
bool readHost(std::string_view raw, std::string& out) {
    if (raw.empty()) return false;
    if (raw.front() == '[') {
        // An IPv6 address: written out by Qt below, from the engine's report of it.
        if (raw.size() < 3 || raw.back() != ']') return false;
        for (char c : raw.substr(1, raw.size() - 2))
            if (!(hexValue(c) >= 0 || c == ':' || c == '.')) return false;
        out = raw;
        return true;
    }
    std::string decoded;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            decoded += raw[i];
            continue;
        }
        const int byte = escapedByte(raw, i);
        if (byte < 0) return false;
        decoded += static_cast<char>(byte);
        i += 2;
    }
    if (plainName(decoded)) {
        // Most names: nothing to map but letter case.
        out = std::move(decoded);
        for (char& c : out) c = lower(c);
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = utf8(QByteArrayView(decoded.data(), static_cast<qsizetype>(decoded.size())));
        if (utf8.hasError()) return false;
        // The engine's mapping of names: transitional, as it reads "faß" as "fass".
        const QByteArray ace = QUrl::toAce(name, QUrl::AceTransitionalProcessing);
        if (ace.isEmpty()) return false;
        out.assign(ace.constData(), static_cast<std::size_t>(ace.size()));
    }
    if (out.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.") != std::string::npos) return false;
    if (endsInNumber(out)) return readIpv4(out, out);
    return true;
}

// The path as the engine writes it: "\" as "/", characters it escapes escaped, escaped
// plain characters plain, "." and ".." segments resolved. False for a zero byte, escaped
// or not, which the engine refuses.
bool writePath(std::string_view raw, std::string& out) {
    std::vector<std::string> segments;
    std::size_t at = raw.empty() ? 0 : 1;  // past the first separator
    for (bool more = true; more;) {
        std::size_t end = raw.find_first_of("/\\", at);
        more = end != std::string_view::npos;
        if (!more) end = raw.size();
        std::string segment;
        for (std::size_t i = at; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(raw[i]);
            const int byte = escapedByte(raw, i);
            if (byte == 0 || c == 0) return false;
            if (byte > 0 && unreserved(byte)) {
                segment += static_cast<char>(byte);
                i += 2;
            } else if (c <= ' ' || c >= 0x7F || std::string_view("\"<>^`{|}").find(static_cast<char>(c)) != std::string_view::npos) {
                appendEscaped(segment, c);
            } else {
                segment += static_cast<char>(c);
            }
        }
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
            if (!more) segments.emplace_back();
        } else if (segment == ".") {
            if (!more) segments.emplace_back();
        } else {
            segments.push_back(std::move(segment));
        }
        at = end + 1;
    }
    out += '/';
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '/';
        out += segments[i];
    }
    return true;
}

void writeQuery(std::string_view raw, std::string& out) {
    for (char ch : raw) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c >= 0x7F || std::string_view("\"<>'").find(ch) != std::string_view::npos)
            appendEscaped(out, c);
        else
            out += ch;
    }
}

// Qt's report of what the engine fetches: the form every part of the program compares.
bool asReported(const std::string& built, std::string& out) {
    const QUrl url = QUrl::fromEncoded(QByteArray(built.data(), static_cast<qsizetype>(built.size())));
    if (!url.isValid()) return false;
    QByteArray bytes = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    const qsizetype hostStart = bytes.indexOf("//") + 2;
    qsizetype hostEnd = hostStart;
    if (bytes.mid(hostStart, 8) == "[::ffff:") {
        // An IPv4 address written as IPv6 reaches the IPv4 host.
        const qsizetype close = bytes.indexOf(']', hostStart);
        const QByteArray inner = bytes.mid(hostStart + 8, close - hostStart - 8);
        if (close > 0 && inner.contains('.')) bytes = bytes.left(hostStart) + inner + bytes.mid(close + 1);
    }
    while (hostEnd < bytes.size() && bytes[hostEnd] != '/' && bytes[hostEnd] != ':' && bytes[hostEnd] != '?') {
        if (bytes[hostEnd] == '[') hostEnd = bytes.indexOf(']', hostEnd);
        ++hostEnd;
    }
    // "name." is the name itself.
    if (hostEnd > hostStart + 1 && bytes[hostEnd - 1] == '.') bytes.remove(hostEnd - 1, 1);
    out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

Converted failed(const char* why) { return {std::string(), why}; }

// A web address, its scheme known to be one with a host.
Converted convertWeb(std::string_view scheme, std::string_view rest) {
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    const std::size_t authorityEnd = std::min(rest.find_first_of("/\\?#"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::size_t colon = authority.find(':');
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        colon = close == std::string_view::npos ? std::string_view::npos : authority.find(':', close);
    }
    std::string host;
    if (!readHost(authority.substr(0, colon), host)) return failed(BadHost);
    std::string port;
    if (colon != std::string_view::npos) {
        std::string_view digits = authority.substr(colon + 1);
        if (digits.find_first_not_of("0123456789") != std::string_view::npos) return failed(BadPort);
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        if (digits.size() > 5 || (!digits.empty() && std::stoul(std::string(digits)) > 65535)) return failed(BadPort);
        if (digits != defaultPort(scheme)) port = digits;
    }
    rest.remove_prefix(authorityEnd);
    const std::size_t fragment = std::min(rest.find('#'), rest.size());
    const std::size_t question = std::min(rest.find('?'), fragment);
    std::string built(scheme);
    built += "://";
    built += host;
    if (!port.empty()) built += ':' + port;
    if (!writePath(rest.substr(0, question), built)) return failed(Unreadable);
    if (question < fragment) {
        built += '?';
        writeQuery(rest.substr(question + 1, fragment - question - 1), built);
    }
    // What is in engine form already Qt reports as it is (letter case aside).
    if (inEngineForm(built)) return {std::move(built)};
    Converted c;
    if (!asReported(built, c.text)) return failed(BadHost);
    return c;
}

}  // namespace

Converted convertAddress(std::string_view text) {
    // A drive path is compared as written; the engine never reports one.
    if (text.size() >= 3 && text[1] == ':' && text[2] == '\\') return {std::string(text)};
    const std::string s = prepared(text);
    if (s.empty()) return failed(Unreadable);
    const std::size_t length = schemeLength(s);
    if (length == 0) return convertWeb("http", s);
    std::string scheme = s.substr(0, length);
    for (char& c : scheme) c = lower(c);
    if (defaultPort(scheme)) return convertWeb(scheme, std::string_view(s).substr(length + 1));
    // Without its fragment. Blanks and control bytes that then end it are escaped: as they
    // stand, the end of a text drops them, and read again it would be another address.
    const std::string_view address = std::string_view(s).substr(0, s.find('#'));
    std::size_t kept = address.size();
    while (kept > 0 && static_cast<unsigned char>(address[kept - 1]) <= ' ') --kept;
    std::string out(address.substr(0, kept));
    for (const char c : address.substr(kept)) appendEscaped(out, static_cast<unsigned char>(c));
    return {std::move(out)};
}

namespace {

// Characters the engine and Qt both leave as they are in a path or a query ("'" only in
// a path, "?" only in a query), looked up: it runs for every address.
struct PlainCharacters {
    bool path[256] = {}, query[256] = {};
    constexpr PlainCharacters() {
        for (int c = 0; c < 256; ++c) path[c] = query[c] = c < 128 && isAlnum(static_cast<char>(c));
        for (char c : std::string_view("-._~!$&()*+,;=:@/")) path[static_cast<unsigned char>(c)] = query[static_cast<unsigned char>(c)] = true;
        path[static_cast<unsigned char>('\'')] = true;
        query[static_cast<unsigned char>('?')] = true;
    }
};
constexpr PlainCharacters plain;

// A part of plain characters, and escapes of characters that the engine and Qt leave escaped.
bool plainPart(std::string_view s, const bool (&allowed)[256]) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (allowed[c]) continue;
        if (c != '%') return false;
        const int byte = escapedByte(s, i);
        if (byte <= 0 || unreserved(byte)) return false;
        i += 2;
    }
    return true;
}

// Four decimal numbers of 0 to 255, none with a "0" in front.
bool plainIpv4(std::string_view host) {
    int parts = 0;
    for (std::size_t at = 0; at <= host.size(); ++parts) {
        std::size_t end = at;
        while (end < host.size() && isDigit(host[end])) ++end;
        const std::size_t n = end - at;
        if (n == 0 || n > 3 || (n > 1 && host[at] == '0') || std::stoi(std::string(host.substr(at, n))) > 255) return false;
        if (end < host.size() && host[end] != '.') return false;
        at = end + 1;
    }
    return parts == 4;
}

}  // namespace

bool inEngineForm(std::string_view t) {
    std::size_t i;
    const char* port;
    if (startsWithNoCase(t, "http://")) {
        i = 7, port = "80";
    } else if (startsWithNoCase(t, "https://")) {
        i = 8, port = "443";
    } else {
        return false;
    }
    // Labels of letters, digits, "_" and inner "-", none empty or over 63 long, and no
    // "xn--" name (the full conversion checks those).
    const std::size_t hostStart = i;
    std::size_t label = i;
    for (;; ++i) {
        const char c = i < t.size() ? t[i] : '/';
        if (c == '.' || c == '/' || c == ':' || c == '?') {
            const std::size_t n = i - label;
            if (n == 0 || n > 63 || t[label] == '-' || t[i - 1] == '-') return false;
            if (n >= 4 && t[label + 2] == '-' && t[label + 3] == '-') return false;
            if (c != '.') break;
            label = i + 1;
        } else if (!isAlnum(c) && c != '_' && c != '-') {
            return false;
        }
    }
    const std::string_view host = t.substr(hostStart, i - hostStart);
    if (endsInNumber(host) && !plainIpv4(host)) return false;
    if (i < t.size() && t[i] == ':') {
        const std::size_t start = ++i;
        while (i < t.size() && isDigit(t[i])) ++i;
        const std::string_view digits = t.substr(start, i - start);
        if (digits.empty() || digits.size() > 5 || digits[0] == '0' || digits == port ||
            std::stoul(std::string(digits)) > 65535)
            return false;
    }
    if (i == t.size()) return true;
    if (t[i] != '/') return false;  // a query right after the host gets a "/" first
    const std::size_t query = std::min(t.find('?', i), t.size());
    const std::string_view path = t.substr(i, query - i);
    if (!plainPart(path, plain.path)) return false;
    // "." and ".." segments are resolved.
    for (std::size_t at = 1; at <= path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view segment = path.substr(at, end - at);
        if (segment == "." || segment == "..") return false;
        at = end + 1;
    }
    return query == t.size() || plainPart(t.substr(query + 1), plain.query);
}

EngineAddress::EngineAddress(std::string_view text) {
    if (inEngineForm(text)) {
        text_ = text;
        return;
    }
    Converted c = convertAddress(text);
    error_ = c.error;
    converted_ = std::move(c.text);
    text_ = converted_;
}

Converted convertEntry(std::string_view entry, EntryKind kind) {
    std::string_view e = entry;
    while (!e.empty() && static_cast<unsigned char>(e.front()) <= ' ') e.remove_prefix(1);
    while (!e.empty() && static_cast<unsigned char>(e.back()) <= ' ') e.remove_suffix(1);
    if (e.empty()) return failed("the entry is empty");
    if (kind == EntryKind::Domain) {
        if (const std::size_t scheme = schemeLength(e); scheme > 0 && e.substr(scheme, 3) == "://")
            e.remove_prefix(scheme + 3);
        e = e.substr(0, e.find_first_of("/\\?#"));
        if (startsWith(e, "*.")) e.remove_prefix(2);
        while (!e.empty() && e.front() == '.') e.remove_prefix(1);
        if (e.empty()) return failed("the entry names no host");
        Converted c = convertAddress("http://" + std::string(e) + "/");
        if (!c.ok()) return c;
        c.text = c.text.substr(7, c.text.size() - 8);
        const std::size_t close = c.text.rfind(']');
        if (c.text.find(':', close == std::string::npos ? 0 : close) != std::string::npos)
            return failed("a domain has no port");
        return c;
    }
    const std::string written(e.substr(0, e.find('#')));
    const std::size_t scheme = schemeLength(written);
    std::string_view rest = std::string_view(written).substr(scheme == 0 ? 0 : scheme + 1);
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    // An entry that ends in its host and port, or in its host.
    const bool bareHost = rest.find_first_of("/\\?") == std::string_view::npos;
    if (kind == EntryKind::Prefix && bareHost && rest.find(':') == std::string_view::npos) {
        // The entry may end inside a name ("http://ads." is a prefix of "http://ads.example"):
        // only its letters are put in engine form.
        std::string_view host = rest.substr(rest.rfind('@') == std::string_view::npos ? 0 : rest.rfind('@') + 1);
        QByteArray name = QUrl::toAce(QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size())),
                                      QUrl::AceTransitionalProcessing);
        if (name.isEmpty() && !host.empty()) {
            std::string ascii(host);
            for (char& c : ascii) c = lower(c);
            if (ascii.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.") != std::string::npos)
                return failed(BadHost);
            name = QByteArray::fromStdString(ascii);
        }
        return {"http://" + name.toStdString()};
    }
    Converted c = convertAddress(written);
    if (!c.ok()) return c;
    // Secure and socket addresses are compared in plain web form.
    for (const char* web : {"https://", "wss://", "ws://"})
        if (startsWith(c.text, web)) c.text = "http://" + c.text.substr(std::string_view(web).size());
    // Addresses are compared without trailing slashes: not with the "/" put after a bare host.
    if (kind == EntryKind::Exact && bareHost && startsWith(c.text, "http://") && c.text.find('/', 7) == c.text.size() - 1)
        c.text.pop_back();
    return c;
}

std::vector<std::string> parentEntries(std::vector<std::string> entries) {
    for (std::string& e : entries) {
        std::string_view written = e;
        if (startsWithNoCase(written, "http://https://")) written.remove_prefix(7);
        Converted c = convertEntry(written, EntryKind::Exact);
        // Letter case aside it is compared as written: shown so.
        if (c.ok() && !equalsNoCase(c.text, e)) e = std::move(c.text);
    }
    return entries;
}

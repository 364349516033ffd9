#pragma once
// Addresses and list entries in the form the engine fetches, so that every part of the
// program (panes, request gate, proxy, wenlow-check) reads an address as the engine
// does, and an entry meets the addresses it names.
//
// The engine form of a web address (http, https, ws, wss, ftp):
//   - read as the engine's parser reads it: blanks and controls at either end dropped,
//     tabs and line breaks dropped anywhere, "\" as "/", any number of slashes after the
//     scheme ("http:h", "http:\\h", "http:///h");
//   - no user info, no default port, no fragment ("#..." is never fetched);
//   - the host in lower case, "xn--" names for Unicode ones (the engine's mapping: "faß"
//     is "fass"), an IPv4 address in any spelling ("0x7f.1", "2130706433", "127.0.0.1.")
//     as four decimal numbers, an IPv4 address written as IPv6 as IPv4, no trailing dot;
//   - the path with "." and ".." segments resolved, and the path and query
//     percent-encoded as the engine encodes them and Qt then re-encodes the engine's
//     report of them (so "%7e" is "~", "a b" is "a%20b", "ä" is "%C3%A4").
// A text without a scheme is a web address ("http://" in front); "example.org:8080/..."
// is a host and a port. A drive path ("c:\...") stays as written. Any other scheme keeps its
// text, without a fragment.
//
// An address cannot be read when the engine's parser refuses it ("http://a;b/", a port
// over 65535, "http://1.2.3.08/") or when Qt cannot hold the host the engine reads
// ("-a.example", "a+b.example", "a..b.example", a label over 63 letters): the engine then
// reports it to the program as an empty address. Such an address is refused.
#include <string>
#include <string_view>
#include <vector>

struct Converted {
    std::string text;
    const char* error = nullptr;  // why it could not be converted; null when it could
    bool ok() const { return error == nullptr; }
};

// The length of the scheme a text begins with, or 0: "example.org:8080" and
// "localhost:8080" are a host and its port, as a parent types them.
std::size_t schemeLength(std::string_view text);

// The full conversion of an address given as text.
Converted convertAddress(std::string_view text);

// Whether a text is in engine form already, letter case and trailing slashes aside (an
// http or https address of plain host labels, a port that is not the default, and a path
// and query of characters the engine and Qt leave as they are): then convertAddress
// gives the same text but for those, and every decision on the two is the same. Most
// addresses are; deciding them needs no conversion.
bool inEngineForm(std::string_view text);

// An address to decide on: the text itself when it is in engine form, else its
// conversion. Allocates nothing on the fast path.
class EngineAddress {
public:
    explicit EngineAddress(std::string_view text);
    EngineAddress(const EngineAddress&) = delete;
    EngineAddress& operator=(const EngineAddress&) = delete;

    bool readable() const { return error_ == nullptr; }
    const char* error() const { return error_; }
    std::string_view text() const { return text_; }  // empty when it cannot be read

private:
    std::string converted_;
    std::string_view text_;
    const char* error_ = nullptr;
};

// List entries, put in the form the addresses they name are compared in:
//   Prefix ("1", "4"): an address or the beginning of one ("http://www.bad" is a
//     prefix of "http://www.badminton.org"). Converted as an address; no "/" is added
//     after a host that the entry leaves open, and a trailing "/" of its own stays.
//   Exact ("3", a parent's entry): a whole address, converted as an address; a "/" that
//     the conversion adds after a bare host is not kept (addresses are compared without
//     trailing slashes).
//   Domain ("2", "5"): a host name or IP address: the host of the address it names,
//     without a scheme, path, "*." or leading dots ("*.example.org" is example.org and
//     every host below it) or a trailing dot; a name with a port is refused.
// Web addresses are given in plain web form ("https://" and "ws://" become "http://"),
// the form secure addresses are compared in. The entry's text without its kind code;
// the error says why it cannot be converted.
enum class EntryKind { Prefix, Exact, Domain };
Converted convertEntry(std::string_view entry, EntryKind kind);

// The parent's entries as read from pardata.dat, each in the form addresses are compared
// in (an exact address; one stored as "http://https://..." by an old version is the
// secure address). An entry that differs from that form only in letter case, or cannot be
// converted, stays as it is (the address it names cannot be read, and is refused anyway).
std::vector<std::string> parentEntries(std::vector<std::string> entries);

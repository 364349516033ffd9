#pragma once
// Request and answer heads, read as the engine reads them and written on in one form.
// The engine ends a line at LF (with or without a CR before it) and splits lines at a
// lone CR too, takes a line that starts with a space as the rest of the header before it,
// and skips a line that has no proper name. The proxy reads the same way, and sends on
// only what it understood, each line ended by CRLF, with framing of its own making: so the
// engine behind it reads every message exactly as the proxy did, and the two can never
// disagree on where an answer ends.
#include <cstddef>
#include <string>
#include <string_view>

namespace relay {

inline constexpr std::size_t MaxHead = 64 * 1024;

// Just past the empty line that ends the head at the start of `buf`, or npos while the
// head is not complete.
std::size_t headEnd(std::string_view buf);

// How far a body goes.
struct Body {
    enum Kind { None, Length, Chunked, UntilClose } kind = None;
    unsigned long long length = 0;
};

struct Head {
    bool valid = false;        // a start line of at least two words, no NUL, no stray continuation
    std::string first, second, rest;  // "GET", "http://…", "HTTP/1.1"; "HTTP/1.1", "200", "OK"
    std::string kept;          // "Name: value\r\n" for each header but connection, framing and pass
    std::string pass;          // the value of the pass header, when there was one
    bool close = false, keepAlive = false, upgrade = false;  // what "Connection" said
    bool hasUpgrade = false;   // an "Upgrade" line
    bool hasEncoding = false;  // a "Transfer-Encoding" line
    bool chunked = false;      // "Transfer-Encoding" said exactly "chunked", once
    bool hasLength = false;    // a "Content-Length" line
    bool badLength = false;    // one that is not a number, or two that differ
    unsigned long long length = 0;

    bool asksUpgrade() const { return upgrade && hasUpgrade; }
};

// A head up to and with its empty line.
Head readHead(std::string_view head, std::string_view passHeader);

// How far a request's body goes; false when that is not certain (a coding other than
// chunked alone, a length that is not one, or both a coding and a length).
bool requestBody(const Head& request, Body& body);
// How far an answer's body goes; false when that is not certain. A length beside
// "chunked" is dropped, as the engine drops it.
bool answerBody(const Head& answer, std::string_view method, Body& body);

// The line that frames `body` on the way on ("Content-Length: 12\r\n", …); for an answer
// without a body, the length it announced.
std::string framing(const Body& body, const Head& head);

}  // namespace relay

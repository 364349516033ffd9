#pragma once
// The plumbing of the proxy: sockets read through a buffer, heads, and carrying a
// message's body from one end to the other exactly as far as it goes, so that a
// connection can carry the next request after it.
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace relay {

inline constexpr int Tick = 200;                   // ms between looks at whether to stop
inline constexpr std::size_t MaxHead = 64 * 1024;  // a request or answer head

// One end of a connection, read through a buffer. Every wait gives up when `stopping`
// is set or after `quietMs` without a byte.
class Stream {
public:
    Stream(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    int fd() const { return fd_; }
    std::string& buffered() { return buf_; }
    // Reads more; false at the end, on an error or after quietMs.
    bool fill(int quietMs);
    // Up to and with the blank line that ends a head; false when the connection ends
    // first, stays quiet or the head is too long. `gotAny` says whether a byte came.
    bool readHead(std::string& head, int quietMs, bool* gotAny = nullptr);
    bool send(std::string_view data);
    bool stopped() const { return stopping_; }

private:
    int fd_;
    const std::atomic<bool>& stopping_;
    std::string buf_;
};

// How far a body goes.
struct Body {
    enum Kind { None, Length, Chunked, UntilClose } kind = None;
    unsigned long long length = 0;
};

// What the proxy needs of a head's header lines.
struct Headers {
    std::string kept;  // every line but those that manage connections, each with "\r\n"
    std::string pass;  // the value of the pass header, when there was one
    bool close = false, keepAlive = false;  // what "Connection" said
    bool chunked = false;
    bool hasLength = false, badLength = false;
    unsigned long long length = 0;
};
Headers readHeaders(std::string_view lines, std::string_view passHeader);

// Carries the body from `from` to `to`; false when either end failed first.
bool carryBody(Stream& from, Stream& to, const Body& body, int quietMs);
// Carries bytes both ways until one end closes.
void tunnel(Stream& a, Stream& b, int quietMs);

// A connection to host:port, tried address by address; -1 when none answers.
int connectTo(const std::string& host, const std::string& port, int waitMs, const std::atomic<bool>& stopping);
// host and port of an authority ("example.org:8080", "[::1]:80", "example.org").
bool splitAuthority(std::string_view authority, std::string_view defaultPort, std::string& host, std::string& port);

}  // namespace relay

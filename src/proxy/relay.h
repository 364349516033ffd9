#pragma once
// The plumbing of the proxy: sockets read through a buffer, and carrying a message's body
// from one end to the other exactly as far as it goes, so that a connection can carry the
// next request after it.
#include "proxy/heads.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace relay {

inline constexpr int Tick = 200;           // ms between looks at whether to stop
inline constexpr int Quiet = 5 * 60'000;   // ms without a byte either way that ends a request under way

// One end of a connection, read through a buffer. Every wait gives up when `stopping`
// is set or after `quietMs` without a byte.
class Stream {
public:
    Stream(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    int fd() const { return fd_; }
    std::string& buffered() { return buf_; }
    // Reads more; false at the end, on an error or after quietMs.
    bool fill(int quietMs);
    // Up to and with the empty line that ends a head (empty lines before it skipped);
    // false when the connection ends first, stays quiet or the head is too long.
    // `gotAny` says whether a byte came.
    bool readHead(std::string& head, int quietMs, bool* gotAny = nullptr);
    // False when the other end is gone, or takes nothing for Quiet.
    bool send(std::string_view data);
    bool stopped() const { return stopping_; }

private:
    int fd_;
    const std::atomic<bool>& stopping_;
    std::string buf_;
};

// Carries the body from `from` to `to`, a chunked one in chunks of the proxy's own
// framing (its trailer dropped); false when either end failed first or the chunks were
// not well formed.
bool carryBody(Stream& from, Stream& to, const Body& body, int quietMs);
// Carries bytes both ways until both ends have closed.
void tunnel(Stream& a, Stream& b, int quietMs);

// A connection to host:port, tried address by address; -1 when none answers.
int connectTo(const std::string& host, const std::string& port, int waitMs, const std::atomic<bool>& stopping);
// host and port of an authority ("example.org:8080", "[::1]:80", "example.org").
bool splitAuthority(std::string_view authority, std::string_view defaultPort, std::string& host, std::string& port);

}  // namespace relay

#include "proxy/relay.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace relay {

namespace {

// A line ending in LF, taken from the stream with its end.
bool readLine(Stream& from, std::string& line, int quietMs) {
    for (;;) {
        std::string& buf = from.buffered();
        if (const std::size_t end = buf.find('\n'); end != std::string::npos) {
            line.assign(buf, 0, end + 1);
            buf.erase(0, end + 1);
            return true;
        }
        if (buf.size() > MaxHead || !from.fill(quietMs)) return false;
    }
}

bool emptyLine(std::string_view line) { return line == "\n" || line == "\r\n"; }

bool carryLength(Stream& from, Stream& to, unsigned long long length, int quietMs) {
    while (length > 0) {
        std::string& buf = from.buffered();
        if (buf.empty() && !from.fill(quietMs)) return false;
        const std::size_t n = static_cast<std::size_t>(std::min<unsigned long long>(length, buf.size()));
        if (!to.send(std::string_view(buf).substr(0, n))) return false;
        buf.erase(0, n);
        length -= n;
    }
    return true;
}

// The size of a chunk line, its extensions and the spaces around it left aside.
bool chunkSize(std::string_view line, unsigned long long& size) {
    line = line.substr(0, line.find(';'));
    while (!line.empty() && std::string_view(" \t\r\n").find(line.back()) != std::string_view::npos) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.size() > 15) return false;
    size = 0;
    for (const char c : line) {
        const int d = (c >= '0' && c <= '9')   ? c - '0'
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                               : -1;
        if (d < 0) return false;
        size = size * 16 + static_cast<unsigned>(d);
    }
    return true;
}

// Each chunk goes on framed anew, so that what the receiver reads is what was understood
// here, whatever the sender's spacing, extensions, line ends or trailer.
bool carryChunks(Stream& from, Stream& to, int quietMs) {
    std::string line;
    for (;;) {
        unsigned long long size = 0;
        if (!readLine(from, line, quietMs) || !chunkSize(line, size)) return false;
        if (size == 0) {
            do {
                if (!readLine(from, line, quietMs)) return false;
            } while (!emptyLine(line));
            return to.send("0\r\n\r\n");
        }
        char sizeLine[24];
        const int n = std::snprintf(sizeLine, sizeof sizeLine, "%llx\r\n", size);
        if (!to.send(std::string_view(sizeLine, static_cast<std::size_t>(n))) || !carryLength(from, to, size, quietMs) ||
            !readLine(from, line, quietMs) || !emptyLine(line) || !to.send("\r\n"))
            return false;
    }
}

}  // namespace

bool Stream::fill(int quietMs) {
    char chunk[64 * 1024];
    for (int quiet = 0; !stopping_ && quiet <= quietMs;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buf_.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, Tick) == 0) quiet += Tick;
    }
    return false;
}

bool Stream::readHead(std::string& head, int quietMs, bool* gotAny) {
    for (;;) {
        // Empty lines before a head are allowed and mean nothing.
        buf_.erase(0, std::min(buf_.find_first_not_of("\r\n"), buf_.size()));
        if (gotAny && !buf_.empty()) *gotAny = true;
        if (const std::size_t end = headEnd(buf_); end != std::string::npos) {
            head.assign(buf_, 0, end);
            buf_.erase(0, end);
            return true;
        }
        if (buf_.size() > MaxHead || !fill(quietMs)) return false;
    }
}

bool Stream::send(std::string_view data) {
    for (int quiet = 0; !data.empty();) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            quiet = 0;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, Tick) == 0) quiet += Tick;
        if (stopping_ || quiet > Quiet) return false;
    }
    return true;
}

bool carryBody(Stream& from, Stream& to, const Body& body, int quietMs) {
    switch (body.kind) {
    case Body::None: return true;
    case Body::Length: return carryLength(from, to, body.length, quietMs);
    case Body::Chunked: return carryChunks(from, to, quietMs);
    case Body::UntilClose:
        for (;;) {
            std::string& buf = from.buffered();
            if (!buf.empty() && !to.send(buf)) return false;
            buf.clear();
            if (!from.fill(quietMs)) return true;
        }
    }
    return false;
}

void tunnel(Stream& a, Stream& b, int quietMs) {
    if (!b.send(a.buffered()) || !a.send(b.buffered())) return;
    a.buffered().clear();
    b.buffered().clear();
    // Each way ends on its own: an end that has said all passes that on, and the other
    // way goes on until its end is done too.
    bool open[2] = {true, true};
    char chunk[64 * 1024];
    for (int quiet = 0; (open[0] || open[1]) && quiet <= quietMs && !a.stopped();) {
        pollfd p[2] = {{open[0] ? a.fd() : -1, POLLIN, 0}, {open[1] ? b.fd() : -1, POLLIN, 0}};
        const int r = ::poll(p, 2, Tick);
        if (r < 0 && errno != EINTR) return;
        if (r <= 0) {
            quiet += Tick;
            continue;
        }
        quiet = 0;
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Stream& from = i == 0 ? a : b;
            Stream& to = i == 0 ? b : a;
            const ssize_t n = ::recv(from.fd(), chunk, sizeof chunk, 0);
            if (n > 0) {
                if (!to.send(std::string_view(chunk, static_cast<std::size_t>(n)))) return;
            } else if (n == 0) {
                open[i] = false;
                ::shutdown(to.fd(), SHUT_WR);
            } else if (errno != EAGAIN && errno != EINTR) {
                return;
            }
        }
    }
}

int connectTo(const std::string& host, const std::string& port, int waitMs, const std::atomic<bool>& stopping) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int result = -1;
    for (addrinfo* a = found; a && result < 0 && !stopping; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (s < 0) continue;
        bool up = ::connect(s, a->ai_addr, a->ai_addrlen) == 0;
        for (int waited = 0; !up && errno == EINPROGRESS && waited < waitMs && !stopping; waited += Tick) {
            pollfd p{s, POLLOUT, 0};
            if (::poll(&p, 1, Tick) == 0) continue;
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len);
            up = error == 0;
            break;
        }
        if (up) {
            result = s;
            const int on = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        } else {
            ::close(s);
        }
    }
    ::freeaddrinfo(found);
    return result;
}

bool splitAuthority(std::string_view authority, std::string_view defaultPort, std::string& host, std::string& port) {
    if (authority.empty()) return false;
    std::size_t portAt = std::string_view::npos;
    if (authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return false;
            portAt = close + 2;
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) portAt = colon + 1;
    }
    port = portAt == std::string_view::npos ? std::string(defaultPort) : std::string(authority.substr(portAt));
    if (host.empty() || port.empty() || port.size() > 5) return false;
    return std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace relay

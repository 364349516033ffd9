#include "shell/relay.h"

#include "platform/text.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace relay {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// Calls each(token) for the comma-separated tokens of a header value.
template <typename F>
void forEachToken(std::string_view value, F each) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        each(trimmed(value.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
}

// A line ending in "\r\n" (or "\n"), taken from the stream with its end.
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

bool carryChunks(Stream& from, Stream& to, int quietMs) {
    std::string line;
    for (;;) {
        if (!readLine(from, line, quietMs) || !to.send(line)) return false;
        const std::string_view size = trimmed(std::string_view(line).substr(0, line.find(';')));
        if (size.empty() || size.size() > 15) return false;
        unsigned long long length = 0;
        for (char c : size) {
            const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                      : -1;
            if (d < 0) return false;
            length = length * 16 + static_cast<unsigned>(d);
        }
        if (length == 0) {
            // The trailer, up to its blank line.
            do {
                if (!readLine(from, line, quietMs) || !to.send(line)) return false;
            } while (trimmed(line).size() > 0);
            return true;
        }
        if (!carryLength(from, to, length, quietMs) || !readLine(from, line, quietMs) || !to.send(line)) return false;
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
        // Blank lines before a request are allowed and mean nothing.
        while (buf_.size() >= 2 && buf_[0] == '\r' && buf_[1] == '\n') buf_.erase(0, 2);
        if (gotAny && !buf_.empty()) *gotAny = true;
        if (const std::size_t end = buf_.find("\r\n\r\n"); end != std::string::npos) {
            head.assign(buf_, 0, end + 4);
            buf_.erase(0, end + 4);
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
        if (stopping_ || quiet > 10 * 60'000) return false;
    }
    return true;
}

Headers readHeaders(std::string_view lines, std::string_view passHeader) {
    Headers h;
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end == std::string_view::npos ? lines.size() : end + 2);
        lines.remove_prefix(line.size());
        const std::size_t colon = line.find(':');
        const std::string_view name = colon == std::string_view::npos ? line : line.substr(0, colon);
        const std::string_view value = colon == std::string_view::npos ? std::string_view() : trimmed(line.substr(colon + 1));
        if (equalsNoCase(name, passHeader)) {
            h.pass = value;
            continue;
        }
        if (equalsNoCase(name, "Connection") || equalsNoCase(name, "Proxy-Connection")) {
            forEachToken(value, [&](std::string_view t) {
                h.close = h.close || equalsNoCase(t, "close");
                h.keepAlive = h.keepAlive || equalsNoCase(t, "keep-alive");
            });
            continue;
        }
        if (equalsNoCase(name, "Keep-Alive")) continue;
        if (equalsNoCase(name, "Transfer-Encoding")) {
            bool last = false;
            forEachToken(value, [&](std::string_view t) { last = equalsNoCase(t, "chunked"); });
            h.chunked = last;
        } else if (equalsNoCase(name, "Content-Length")) {
            unsigned long long n = 0;
            bool digits = !value.empty() && value.size() <= 18;
            for (char c : value) {
                if (c < '0' || c > '9') digits = false;
                n = n * 10 + static_cast<unsigned>(c - '0');
            }
            if (!digits || (h.hasLength && n != h.length)) h.badLength = true;
            h.hasLength = true;
            h.length = n;
        }
        h.kept += line;
    }
    return h;
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

#include "shell/proxy.h"

#include <QRandomGenerator>
#include <QUrl>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <string_view>

namespace {

constexpr int Tick = 200;                     // ms between looks at whether to stop
constexpr std::size_t MaxHead = 64 * 1024;    // a request or answer head
constexpr std::size_t Chunk = 64 * 1024;      // what one read moves
constexpr int HeadWait = 30'000;              // ms for a request head to arrive
constexpr int ConnectWait = 30'000;           // ms for the other end to answer
constexpr int Quiet = 10 * 60'000;            // ms of silence both ways that ends a connection

const char* const RefusedAnswer =
    "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: 29\r\nConnection: close\r\n"
    "Proxy-Connection: close\r\n\r\nThis address is not approved.";
const char* const BadAnswer =
    "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n";
const char* const UnreachableAnswer =
    "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n";

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool setNonBlocking(int fd) { return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// Writes all of data, waiting while the other end is slow; false when it went away.
bool sendAll(int fd, std::string_view data, const std::atomic<bool>& stopping) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, Tick) < 0 && errno != EINTR) return false;
        if (stopping) return false;
    }
    return true;
}

// Reads until the blank line that ends a head; what came after it stays in `head` too.
std::size_t readHead(int fd, std::string& head, const std::atomic<bool>& stopping) {
    int waited = 0;
    for (;;) {
        if (const std::size_t end = head.find("\r\n\r\n"); end != std::string::npos) return end + 4;
        if (head.size() > MaxHead || stopping || waited > HeadWait) return 0;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, Tick);
        if (r < 0 && errno != EINTR) return 0;
        if (r <= 0) {
            waited += Tick;
            continue;
        }
        char buf[8192];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return 0;
        if (n > 0) head.append(buf, static_cast<std::size_t>(n));
    }
}

// A connection to host:port, tried address by address; -1 when none answers.
int connectTo(const std::string& host, const std::string& port, const std::atomic<bool>& stopping) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int result = -1;
    for (addrinfo* a = found; a && result < 0 && !stopping; a = a->ai_next) {
        Fd s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (s.fd < 0 || !setNonBlocking(s.fd)) continue;
        if (::connect(s.fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) continue;
        for (int waited = 0; waited < ConnectWait && !stopping; waited += Tick) {
            pollfd p{s.fd, POLLOUT, 0};
            if (::poll(&p, 1, Tick) == 0) continue;
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error == 0) {
                result = s.fd;
                s.fd = -1;
            }
            break;
        }
    }
    ::freeaddrinfo(found);
    if (result >= 0) {
        const int on = 1;
        ::setsockopt(result, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return result;
}

// host and port of an authority ("example.org:8080", "[::1]:80", "example.org").
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
    for (char c : port)
        if (c < '0' || c > '9') return false;
    return true;
}

// The header block of a head with the lines that manage connections left out, each as a
// whole line with its "\r\n"; the pass header's value goes to `pass`.
std::string withoutHopHeaders(std::string_view lines, std::string* pass) {
    std::string kept;
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end == std::string_view::npos ? lines.size() : end + 2);
        lines.remove_prefix(line.size());
        const std::size_t colon = line.find(':');
        const std::string_view name = colon == std::string_view::npos ? line : line.substr(0, colon);
        if (equalsNoCase(name, GateProxy::PassHeader)) {
            if (pass) *pass = trimmed(line.substr(colon + 1));
            continue;
        }
        if (equalsNoCase(name, "Connection") || equalsNoCase(name, "Proxy-Connection") ||
            equalsNoCase(name, "Keep-Alive"))
            continue;
        kept += line;
    }
    return kept;
}

// Moves bytes both ways until either end has gone or both are quiet too long. The
// answer's heads (before any body) are told that the connection ends with it, so the
// engine never sends a second request down a connection that was decided for one.
void relay(int client, int origin, bool markAnswerHeads, const std::atomic<bool>& stopping) {
    setNonBlocking(client);
    setNonBlocking(origin);
    std::string toOrigin, toClient, answerHead;
    bool answerHeadsDone = !markAnswerHeads;
    bool clientOpen = true, originOpen = true;
    int quiet = 0;
    while (!stopping && quiet < Quiet) {
        if (!originOpen && toClient.empty()) return;
        if (!clientOpen) return;
        pollfd p[2] = {{client, 0, 0}, {origin, 0, 0}};
        if (toOrigin.size() < Chunk) p[0].events |= POLLIN;
        if (!toClient.empty()) p[0].events |= POLLOUT;
        if (originOpen && toClient.size() < Chunk) p[1].events |= POLLIN;
        if (originOpen && !toOrigin.empty()) p[1].events |= POLLOUT;
        const int r = ::poll(p, 2, Tick);
        if (r < 0 && errno != EINTR) return;
        if (r <= 0) {
            quiet += Tick;
            continue;
        }
        quiet = 0;
        char buf[Chunk];
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n > 0)
                toOrigin.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                clientOpen = false;  // the engine gave up on it
        }
        if (originOpen && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(origin, buf, sizeof buf, 0);
            if (n > 0) {
                if (answerHeadsDone) {
                    toClient.append(buf, static_cast<std::size_t>(n));
                } else {
                    answerHead.append(buf, static_cast<std::size_t>(n));
                    // Interim answers (100 Continue) come before the one that counts.
                    while (!answerHeadsDone) {
                        const std::size_t end = answerHead.find("\r\n\r\n");
                        if (end == std::string::npos) {
                            if (answerHead.size() > MaxHead) return;
                            break;
                        }
                        const std::size_t lineEnd = answerHead.find("\r\n");
                        const std::string_view status(answerHead.data(), lineEnd);
                        toClient += status;
                        toClient += "\r\n";
                        toClient += withoutHopHeaders(std::string_view(answerHead).substr(lineEnd + 2, end - lineEnd),
                                                      nullptr);
                        const bool interim = status.size() > 9 && status[9] == '1';
                        if (!interim) toClient += "Connection: close\r\nProxy-Connection: close\r\n";
                        toClient += "\r\n";
                        answerHead.erase(0, end + 4);
                        answerHeadsDone = !interim;
                    }
                    if (answerHeadsDone) {
                        toClient += answerHead;
                        answerHead.clear();
                    }
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                originOpen = false;
            }
        }
        if (!toClient.empty() && (p[0].revents & POLLOUT)) {
            const ssize_t n = ::send(client, toClient.data(), toClient.size(), MSG_NOSIGNAL);
            if (n > 0)
                toClient.erase(0, static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
        if (originOpen && !toOrigin.empty() && (p[1].revents & POLLOUT)) {
            const ssize_t n = ::send(origin, toOrigin.data(), toOrigin.size(), MSG_NOSIGNAL);
            if (n > 0)
                toOrigin.erase(0, static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                originOpen = false;
        }
    }
}

}  // namespace

GateProxy::GateProxy() : home_(std::make_unique<QObject>()) {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    token_ = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();

    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    if (s.fd < 0 || ::bind(s.fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s.fd, 128) != 0 ||
        ::getsockname(s.fd, reinterpret_cast<sockaddr*>(&at), &len) != 0)
        return;
    port_ = ntohs(at.sin_port);
    listener_ = s.fd;
    s.fd = -1;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

GateProxy::~GateProxy() {
    stopping_ = true;
    home_.reset();  // no question still queued reaches rules that are gone
    if (acceptor_.joinable()) acceptor_.join();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return serving_ == 0; });
    if (listener_ >= 0) ::close(listener_);
}

QStringList GateProxy::engineSwitches() const {
    if (!listening()) return {};
    // "<-loopback>": the engine would otherwise send loopback addresses past any proxy.
    return {"--webEngineArgs", QString("--proxy-server=http://127.0.0.1:%1").arg(port_), "--proxy-bypass-list=<-loopback>"};
}

void GateProxy::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, Tick) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        {
            std::lock_guard lock(mutex_);
            ++serving_;
        }
        std::thread([this, client] {
            serve(client);
            ::close(client);
            std::lock_guard lock(mutex_);
            if (--serving_ == 0) idle_.notify_all();
        }).detach();
    }
}

bool GateProxy::ask(const QByteArray& address) {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> decided = answer->get_future();
    QMetaObject::invokeMethod(
        home_.get(), [this, address, answer] { answer->set_value(decide_ && decide_(address)); },
        Qt::QueuedConnection);
    while (decided.wait_for(std::chrono::milliseconds(Tick)) != std::future_status::ready)
        if (stopping_) return false;
    return decided.get();
}

void GateProxy::serve(int client) {
    std::string head;
    const std::size_t headEnd = readHead(client, head, stopping_);
    if (headEnd == 0) return;
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line(head.data(), lineEnd);
    const std::size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 <= sp1) {
        sendAll(client, BadAnswer, stopping_);
        return;
    }
    const std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1),
                           version = line.substr(sp2 + 1);
    std::string host, port;
    if (method == "CONNECT") {
        // A tunnel to a secure site or socket: its addresses are the request gate's.
        if (!splitAuthority(target, "443", host, port)) {
            sendAll(client, BadAnswer, stopping_);
            return;
        }
        Fd origin(connectTo(host, port, stopping_));
        if (origin.fd < 0) {
            sendAll(client, UnreachableAnswer, stopping_);
            return;
        }
        if (!sendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n", stopping_)) return;
        if (headEnd < head.size() && !sendAll(origin.fd, std::string_view(head).substr(headEnd), stopping_)) return;
        relay(client, origin.fd, false, stopping_);
        return;
    }
    constexpr std::string_view web = "http://";
    const std::size_t pathAt = target.find('/', web.size());
    if (target.size() <= web.size() || !equalsNoCase(target.substr(0, web.size()), web) ||
        !splitAuthority(target.substr(web.size(), (pathAt == std::string_view::npos ? target.size() : pathAt) -
                                                      web.size()),
                        "80", host, port)) {
        sendAll(client, BadAnswer, stopping_);
        return;
    }
    std::string pass;
    const std::string headers =
        withoutHopHeaders(std::string_view(head).substr(lineEnd + 2, headEnd - 2 - (lineEnd + 2)), &pass);
    const bool passes = !pass.empty() && pass == std::string_view(token_.constData(), token_.size());
    if (!passes && !ask(QByteArray(target.data(), static_cast<qsizetype>(target.size())))) {
        sendAll(client, RefusedAnswer, stopping_);
        return;
    }
    Fd origin(connectTo(host, port, stopping_));
    if (origin.fd < 0) {
        sendAll(client, UnreachableAnswer, stopping_);
        return;
    }
    std::string request;
    request.reserve(head.size() + 32);
    request.append(method).append(" ");
    request.append(pathAt == std::string_view::npos ? std::string_view("/") : target.substr(pathAt));
    request.append(" ").append(version).append("\r\n").append(headers).append("Connection: close\r\n\r\n");
    request.append(head, headEnd);
    if (!sendAll(origin.fd, request, stopping_)) return;
    relay(client, origin.fd, true, stopping_);
}

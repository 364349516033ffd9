#include "platform/winsock.h"

#include "platform/modules.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace wsock {

namespace {

// ---- state -------------------------------------------------------------------------

thread_local std::int32_t lastError = 0;
std::atomic<int> startups{0};

// One socket. Touched on the GUI thread only.
struct Sock {
    int fd = -1;
    bool stream = true;
    bool nonBlocking = false;
    WindowHandle window = 0;
    std::uint32_t message = 0;
    std::int32_t events = 0;
    std::unique_ptr<QSocketNotifier> readable, writable;
    // While an FD_READ waits for recv the socket is not watched for reading; this
    // looks for the peer's close meanwhile.
    std::unique_ptr<QTimer> hangupWatch;
    bool connecting = false;
    bool connected = false;
    bool listening = false;
    bool readPosted = false;    // FD_READ or FD_ACCEPT posted, waiting for recv or accept
    bool closePosted = false;
    bool writeWanted = false;   // a send would have blocked
};

std::map<SOCKET, std::unique_ptr<Sock>>& sockets() {
    static std::map<SOCKET, std::unique_ptr<Sock>> s;
    return s;
}
SOCKET nextHandle = 0x100;

struct Routes {
    std::mutex lock;
    std::map<std::string, std::uint32_t> hosts;                       // name -> address (network order)
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint16_t> ports;  // (address, port) -> loopback port
    std::uint32_t nextHost = 1;
};
Routes& routes() {
    static Routes r;
    return r;
}

template <class T>
T fail(std::int32_t code, T result) {
    lastError = code;
    return result;
}
std::int32_t fail(std::int32_t code) { return fail(code, SOCKET_ERROR); }
std::int32_t failErrno() { return fail(errnoToWinsock(errno)); }

bool started() { return startups.load() > 0; }

Sock* find(SOCKET s) {
    auto it = sockets().find(s);
    return it == sockets().end() ? nullptr : it->second.get();
}

::sockaddr_in toPosix(const sockaddr_in& a) {
    ::sockaddr_in p{};
    p.sin_family = AF_INET;
    p.sin_port = a.sin_port;
    p.sin_addr.s_addr = a.sin_addr.s_addr;
    return p;
}

sockaddr_in fromPosix(const ::sockaddr_in& p) {
    sockaddr_in a{};
    a.sin_family = static_cast<std::int16_t>(p.sin_family);
    a.sin_port = p.sin_port;
    a.sin_addr.s_addr = p.sin_addr.s_addr;
    return a;
}

// ---- notification ------------------------------------------------------------------

void post(SOCKET s, const Sock& k, std::int32_t event, std::int32_t error) {
    if (k.window && (k.events & event))
        PostMessage(k.window, k.message, s, WSAMAKESELECTREPLY(static_cast<std::uint16_t>(event),
                                                               static_cast<std::uint16_t>(error)));
}

// The peer closed (or reset) its side: 0 when it has not, else the FD_CLOSE error + 1.
int hungUp(const Sock& k) {
    pollfd p{k.fd, POLLRDHUP, 0};
    if (::poll(&p, 1, 0) != 1) return 0;
    if (p.revents & POLLERR) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(k.fd, SOL_SOCKET, SO_ERROR, &err, &len);
        return (err ? errnoToWinsock(err) : WSAECONNRESET) + 1;
    }
    return (p.revents & (POLLRDHUP | POLLHUP)) ? 1 : 0;
}

void onHangupWatch(SOCKET s);

void update(Sock& k) {
    if (k.readable) {
        bool on;
        if (k.listening)
            on = (k.events & FD_ACCEPT) && !k.readPosted;
        else if (k.stream)
            on = k.connected && (k.events & (FD_READ | FD_CLOSE)) && !k.readPosted && !k.closePosted;
        else
            on = (k.events & FD_READ) && !k.readPosted;
        k.readable->setEnabled(on);
    }
    if (k.writable) k.writable->setEnabled(k.connecting || (k.writeWanted && (k.events & FD_WRITE)));
    if (k.hangupWatch) {
        const bool watching = k.stream && k.connected && k.readPosted && !k.closePosted && (k.events & FD_CLOSE);
        if (watching && !k.hangupWatch->isActive())
            k.hangupWatch->start();
        else if (!watching)
            k.hangupWatch->stop();
    }
}

void onReadable(SOCKET s) {
    Sock* k = find(s);
    if (!k) return;
    if (k->listening) {
        post(s, *k, FD_ACCEPT, 0);
        k->readPosted = true;
    } else {
        int waiting = 0;
        ::ioctl(k->fd, FIONREAD, &waiting);
        char probe;
        const ssize_t peek = waiting > 0 ? 1 : ::recv(k->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peek > 0) {
            // One notice until the program calls recv; data still waiting then brings another.
            if (k->events & FD_READ) post(s, *k, FD_READ, 0);
            k->readPosted = true;
            // A close behind the data is told right after it: every byte has been offered.
            if (const int closed = k->stream ? hungUp(*k) : 0) {
                post(s, *k, FD_CLOSE, closed - 1);
                k->closePosted = true;
            }
        } else if (peek == 0 && k->stream) {
            // The peer closed, and everything it sent has been offered.
            post(s, *k, FD_CLOSE, 0);
            k->closePosted = true;
        } else if (peek < 0 && errno != EAGAIN && errno != EWOULDBLOCK && k->stream) {
            post(s, *k, FD_CLOSE, errnoToWinsock(errno));
            k->closePosted = true;
        }
    }
    update(*k);
}

void onHangupWatch(SOCKET s) {
    Sock* k = find(s);
    if (!k) return;
    if (const int closed = hungUp(*k)) {
        post(s, *k, FD_CLOSE, closed - 1);
        k->closePosted = true;
    }
    update(*k);
}

void onWritable(SOCKET s) {
    Sock* k = find(s);
    if (!k) return;
    if (k->connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(k->fd, SOL_SOCKET, SO_ERROR, &err, &len);
        k->connecting = false;
        if (err == 0) {
            k->connected = true;
            post(s, *k, FD_CONNECT, 0);
            post(s, *k, FD_WRITE, 0);
        } else {
            post(s, *k, FD_CONNECT, errnoToWinsock(err));
        }
    } else if (k->writeWanted) {
        k->writeWanted = false;
        post(s, *k, FD_WRITE, 0);
    }
    update(*k);
}

void watch(SOCKET s, Sock& k) {
    if (!k.readable) {
        k.readable = std::make_unique<QSocketNotifier>(k.fd, QSocketNotifier::Read);
        QObject::connect(k.readable.get(), &QSocketNotifier::activated, [s] { onReadable(s); });
    }
    if (!k.writable) {
        k.writable = std::make_unique<QSocketNotifier>(k.fd, QSocketNotifier::Write);
        QObject::connect(k.writable.get(), &QSocketNotifier::activated, [s] { onWritable(s); });
    }
    if (!k.hangupWatch) {
        k.hangupWatch = std::make_unique<QTimer>();
        k.hangupWatch->setInterval(50);
        QObject::connect(k.hangupWatch.get(), &QTimer::timeout, [s] { onHangupWatch(s); });
    }
}

SOCKET adopt(int fd, bool stream) {
    auto k = std::make_unique<Sock>();
    k->fd = fd;
    k->stream = stream;
    const SOCKET s = nextHandle++;
    sockets()[s] = std::move(k);
    return s;
}

void closeAll() {
    for (auto& [s, k] : sockets()) {
        k->readable.reset();
        k->writable.reset();
        k->hangupWatch.reset();
        ::close(k->fd);
    }
    sockets().clear();
}

// Test routes: a connect to a routed (address, port) goes to 127.0.0.1 instead.
::sockaddr_in routed(::sockaddr_in to) {
    auto& r = routes();
    std::lock_guard g(r.lock);
    auto it = r.ports.find({to.sin_addr.s_addr, ntohs(to.sin_port)});
    if (it != r.ports.end()) {
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(it->second);
    }
    return to;
}

// ---- functions ---------------------------------------------------------------------

SOCKET ws_socket(std::int32_t af, std::int32_t type, std::int32_t protocol) {
    if (!started()) return fail(WSANOTINITIALISED, INVALID_SOCKET);
    if (af != WS_AF_INET) return fail(10047, INVALID_SOCKET);
    if (type != WS_SOCK_STREAM && type != WS_SOCK_DGRAM) return fail(10044, INVALID_SOCKET);
    const int fd = ::socket(AF_INET, (type == WS_SOCK_STREAM ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, protocol);
    if (fd < 0) return fail(errnoToWinsock(errno), INVALID_SOCKET);
    return adopt(fd, type == WS_SOCK_STREAM);
}

std::int32_t ws_closesocket(SOCKET s) {
    if (!started()) return fail(WSANOTINITIALISED);
    auto it = sockets().find(s);
    if (it == sockets().end()) return fail(WSAENOTSOCK);
    it->second->readable.reset();
    it->second->writable.reset();
    it->second->hangupWatch.reset();
    ::close(it->second->fd);
    sockets().erase(it);
    return 0;
}

std::int32_t ws_bind(SOCKET s, const sockaddr_in* name, std::int32_t len) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (!name || len < static_cast<std::int32_t>(sizeof(sockaddr_in))) return fail(WSAEFAULT);
    const ::sockaddr_in p = toPosix(*name);
    const int on = 1;
    ::setsockopt(k->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(k->fd, reinterpret_cast<const ::sockaddr*>(&p), sizeof p) != 0) return failErrno();
    return 0;
}

std::int32_t ws_listen(SOCKET s, std::int32_t backlog) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (::listen(k->fd, backlog) != 0) return failErrno();
    k->listening = true;
    update(*k);
    return 0;
}

SOCKET ws_accept(SOCKET s, sockaddr_in* addr, std::int32_t* len) {
    if (!started()) return fail(WSANOTINITIALISED, INVALID_SOCKET);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK, INVALID_SOCKET);
    ::sockaddr_in peer{};
    socklen_t plen = sizeof peer;
    const int fd = ::accept4(k->fd, reinterpret_cast<::sockaddr*>(&peer), &plen, SOCK_CLOEXEC);
    k->readPosted = false;  // FD_ACCEPT again for the next one
    update(*k);
    if (fd < 0) return fail(errnoToWinsock(errno), INVALID_SOCKET);
    if (addr && len && *len >= static_cast<std::int32_t>(sizeof(sockaddr_in))) {
        *addr = fromPosix(peer);
        *len = sizeof(sockaddr_in);
    }
    // The new socket has the listening socket's selection.
    const SOCKET a = adopt(fd, true);
    Sock& n = *sockets()[a];
    n.connected = true;
    n.window = k->window;
    n.message = k->message;
    n.events = k->events;
    if (k->nonBlocking) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        n.nonBlocking = true;
    }
    if (n.window) {
        watch(a, n);
        update(n);
    }
    return a;
}

std::int32_t ws_connect(SOCKET s, const sockaddr_in* name, std::int32_t len) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (!name || len < static_cast<std::int32_t>(sizeof(sockaddr_in))) return fail(WSAEFAULT);
    if (k->connected && k->stream) return fail(10056);
    const ::sockaddr_in to = routed(toPosix(*name));
    const int r = ::connect(k->fd, reinterpret_cast<const ::sockaddr*>(&to), sizeof to);
    if (!k->nonBlocking || !k->stream) {
        if (r != 0) return failErrno();
        k->connected = true;
        update(*k);
        return 0;
    }
    // Non-blocking: the outcome always arrives as FD_CONNECT.
    if (r == 0) {
        k->connected = true;
        post(s, *k, FD_CONNECT, 0);
        post(s, *k, FD_WRITE, 0);
    } else if (errno == EINPROGRESS) {
        k->connecting = true;
    } else if (errno == ECONNREFUSED || errno == ENETUNREACH || errno == EHOSTUNREACH || errno == ETIMEDOUT) {
        post(s, *k, FD_CONNECT, errnoToWinsock(errno));
    } else {
        return failErrno();
    }
    update(*k);
    return fail(WSAEWOULDBLOCK);
}

std::int32_t ws_send(SOCKET s, const char* buf, std::int32_t len, std::int32_t flags) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    const ssize_t n = ::send(k->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (flags & MSG_OOB));
    if (n < 0) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            k->writeWanted = true;
            update(*k);
        }
        return fail(errnoToWinsock(err));
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t ws_recv(SOCKET s, char* buf, std::int32_t len, std::int32_t flags) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    const ssize_t n = ::recv(k->fd, buf, static_cast<size_t>(len), flags & (MSG_PEEK | MSG_OOB));
    const int err = errno;
    k->readPosted = false;  // recv re-enables FD_READ
    update(*k);
    if (n < 0) return fail(errnoToWinsock(err));
    return static_cast<std::int32_t>(n);
}

std::int32_t ws_sendto(SOCKET s, const char* buf, std::int32_t len, std::int32_t flags, const sockaddr_in* to,
                       std::int32_t tolen) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (!to || tolen < static_cast<std::int32_t>(sizeof(sockaddr_in))) return fail(WSAEFAULT);
    const ::sockaddr_in p = routed(toPosix(*to));
    const ssize_t n = ::sendto(k->fd, buf, static_cast<size_t>(len), MSG_NOSIGNAL | (flags & MSG_OOB),
                               reinterpret_cast<const ::sockaddr*>(&p), sizeof p);
    if (n < 0) return failErrno();
    return static_cast<std::int32_t>(n);
}

std::int32_t ws_recvfrom(SOCKET s, char* buf, std::int32_t len, std::int32_t flags, sockaddr_in* from,
                         std::int32_t* fromlen) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    ::sockaddr_in p{};
    socklen_t plen = sizeof p;
    const ssize_t n = ::recvfrom(k->fd, buf, static_cast<size_t>(len), flags & (MSG_PEEK | MSG_OOB),
                                 reinterpret_cast<::sockaddr*>(&p), &plen);
    const int err = errno;
    k->readPosted = false;
    update(*k);
    if (n < 0) return fail(errnoToWinsock(err));
    if (from && fromlen && *fromlen >= static_cast<std::int32_t>(sizeof(sockaddr_in))) {
        *from = fromPosix(p);
        *fromlen = sizeof(sockaddr_in);
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t ws_getsockname(SOCKET s, sockaddr_in* name, std::int32_t* len) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (!name || !len || *len < static_cast<std::int32_t>(sizeof(sockaddr_in))) return fail(WSAEFAULT);
    ::sockaddr_in p{};
    socklen_t plen = sizeof p;
    if (::getsockname(k->fd, reinterpret_cast<::sockaddr*>(&p), &plen) != 0) return failErrno();
    *name = fromPosix(p);
    *len = sizeof(sockaddr_in);
    return 0;
}

std::int32_t ws_ioctlsocket(SOCKET s, std::int32_t cmd, std::uint32_t* arg) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (!arg) return fail(WSAEFAULT);
    if (cmd == WS_FIONREAD) {
        int waiting = 0;
        if (::ioctl(k->fd, FIONREAD, &waiting) != 0) return failErrno();
        *arg = static_cast<std::uint32_t>(waiting);
        return 0;
    }
    if (cmd == WS_FIONBIO) {
        const int flags = ::fcntl(k->fd, F_GETFL);
        ::fcntl(k->fd, F_SETFL, *arg ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
        k->nonBlocking = *arg != 0;
        return 0;
    }
    return fail(WSAEINVAL);
}

std::int32_t ws_WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, std::int32_t events) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    const int flags = ::fcntl(k->fd, F_GETFL);
    ::fcntl(k->fd, F_SETFL, flags | O_NONBLOCK);
    k->nonBlocking = true;
    k->window = window;
    k->message = message;
    k->events = events;
    k->readPosted = false;
    watch(s, *k);
    if (k->connected && (events & FD_WRITE)) post(s, *k, FD_WRITE, 0);
    update(*k);
    return 0;
}

std::uint16_t ws_htons(std::uint16_t v) { return htons(v); }
std::uint16_t ws_ntohs(std::uint16_t v) { return ntohs(v); }
std::uint32_t ws_ntohl(std::uint32_t v) { return ntohl(v); }
std::uint32_t ws_inet_addr(const char* text) { return text ? ::inet_addr(text) : WS_INADDR_NONE; }
char* ws_inet_ntoa(in_addr a) {
    thread_local char buf[16];
    ::in_addr p{};
    p.s_addr = a.s_addr;
    std::strncpy(buf, ::inet_ntoa(p), sizeof buf - 1);
    return buf;
}

std::int32_t ws_WSAStartup(std::uint16_t version, WSADATA* data) {
    const int major = version & 0xFF, minor = version >> 8;
    if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
    if (!data) return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strcpy(data->szDescription, "Windows Sockets 1.1 over POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 1024;
    data->iMaxUdpDg = 65467;
    data->lpVendorInfo = nullptr;
    ++startups;
    return 0;
}

std::int32_t ws_WSACleanup() {
    if (!started()) return fail(WSANOTINITIALISED);
    if (--startups == 0) closeAll();
    return 0;
}

std::int32_t ws_WSAGetLastError() { return lastError; }
std::int32_t ws_WSAIsBlocking() { return 0; }
std::int32_t ws_WSACancelBlockingCall() { return started() ? 0 : fail(WSANOTINITIALISED); }

// ---- asynchronous look-ups ---------------------------------------------------------

// A reply laid out for the caller's buffer: pointers point inside that buffer.
class Layout {
public:
    Layout(char* base, std::int32_t size) : base_(base), bytes_(static_cast<size_t>(std::max(size, 0))) {}
    // Reserves n bytes aligned for pointers; nullptr when the buffer is too small.
    char* reserve(size_t n, size_t align = alignof(void*)) {
        used_ = (used_ + align - 1) / align * align;
        if (used_ + n > bytes_.size()) {
            overflow_ = true;
            return nullptr;
        }
        char* at = bytes_.data() + used_;
        used_ += n;
        return at;
    }
    char* text(const std::string& s) {
        char* at = reserve(s.size() + 1, 1);
        if (at) std::memcpy(at, s.c_str(), s.size() + 1);
        return at;
    }
    // Where a local address ends up in the caller's buffer.
    template <class T>
    T* there(T* local) const {
        return local ? reinterpret_cast<T*>(base_ + (reinterpret_cast<char*>(local) - bytes_.data())) : nullptr;
    }
    bool overflow() const { return overflow_; }
    size_t used() const { return used_; }
    const char* data() const { return bytes_.data(); }

private:
    char* base_;
    std::vector<char> bytes_;
    size_t used_ = 0;
    bool overflow_ = false;
};

struct Reply {
    std::int32_t error = 0;
    std::vector<char> bytes;
};

Reply hostReply(char* base, std::int32_t size, const std::string& name, const std::vector<std::uint32_t>& addresses) {
    Layout l(base, size);
    auto* h = reinterpret_cast<hostent*>(l.reserve(sizeof(hostent)));
    auto** aliases = reinterpret_cast<char**>(l.reserve(sizeof(char*)));
    auto** list = reinterpret_cast<char**>(l.reserve(sizeof(char*) * (addresses.size() + 1)));
    std::vector<char*> at;
    for (std::uint32_t a : addresses) {
        char* p = l.reserve(4, 4);
        if (p) std::memcpy(p, &a, 4);
        at.push_back(p);
    }
    char* n = l.text(name);
    if (l.overflow()) return {WSAENOBUFS, {}};
    aliases[0] = nullptr;
    for (size_t i = 0; i < at.size(); ++i) list[i] = l.there(at[i]);
    list[at.size()] = nullptr;
    h->h_name = l.there(n);
    h->h_aliases = l.there(aliases);
    h->h_addrtype = WS_AF_INET;
    h->h_length = 4;
    h->h_addr_list = l.there(list);
    return {0, std::vector<char>(l.data(), l.data() + l.used())};
}

Reply servReply(char* base, std::int32_t size, const std::string& name, std::uint16_t portNet,
                const std::string& proto) {
    Layout l(base, size);
    auto* s = reinterpret_cast<servent*>(l.reserve(sizeof(servent)));
    auto** aliases = reinterpret_cast<char**>(l.reserve(sizeof(char*)));
    char* n = l.text(name);
    char* p = l.text(proto);
    if (l.overflow()) return {WSAENOBUFS, {}};
    aliases[0] = nullptr;
    s->s_name = l.there(n);
    s->s_aliases = l.there(aliases);
    s->s_port = static_cast<std::int16_t>(portNet);
    s->s_proto = l.there(p);
    return {0, std::vector<char>(l.data(), l.data() + l.used())};
}

std::int32_t gaiError(int e) {
    switch (e) {
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    default: return WSAHOST_NOT_FOUND;
    }
}

std::atomic<int> lookupDelay{0};

Reply lookUpHost(char* base, std::int32_t size, const std::string& name) {
    if (const int ms = lookupDelay.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    {
        auto& r = routes();
        std::lock_guard g(r.lock);
        if (auto it = r.hosts.find(name); it != r.hosts.end()) return hostReply(base, size, name, {it->second});
    }
    ::in_addr dotted{};
    if (::inet_aton(name.c_str(), &dotted)) return hostReply(base, size, name, {dotted.s_addr});
    // Reserved names never resolve: no query leaves the machine for them.
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "invalid" || (lower.size() > 8 && lower.compare(lower.size() - 8, 8, ".invalid") == 0))
        return {WSAHOST_NOT_FOUND, {}};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (name.empty()) return {WSAHOST_NOT_FOUND, {}};
    if (int e = ::getaddrinfo(name.c_str(), nullptr, &hints, &found); e != 0) return {gaiError(e), {}};
    std::vector<std::uint32_t> addresses;
    for (addrinfo* a = found; a; a = a->ai_next)
        addresses.push_back(reinterpret_cast<::sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    const std::string canonical = found->ai_canonname ? found->ai_canonname : name;
    ::freeaddrinfo(found);
    return hostReply(base, size, canonical, addresses);
}

Reply lookUpAddress(char* base, std::int32_t size, std::uint32_t address) {
    ::sockaddr_in p{};
    p.sin_family = AF_INET;
    p.sin_addr.s_addr = address;
    char host[NI_MAXHOST];
    const int e = ::getnameinfo(reinterpret_cast<::sockaddr*>(&p), sizeof p, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (e != 0) return {gaiError(e), {}};
    return hostReply(base, size, host, {address});
}

Reply lookUpService(char* base, std::int32_t size, const std::string& name, const std::string& proto) {
    ::servent entry{}, *found = nullptr;
    char work[1024];
    ::getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, work, sizeof work, &found);
    if (!found) return {WSANO_DATA, {}};
    return servReply(base, size, found->s_name, static_cast<std::uint16_t>(found->s_port), found->s_proto);
}

Reply lookUpPort(char* base, std::int32_t size, std::int32_t portNet, const std::string& proto) {
    ::servent entry{}, *found = nullptr;
    char work[1024];
    ::getservbyport_r(portNet, proto.empty() ? nullptr : proto.c_str(), &entry, work, sizeof work, &found);
    if (!found) return {WSANO_DATA, {}};
    return servReply(base, size, found->s_name, static_cast<std::uint16_t>(found->s_port), found->s_proto);
}

struct Task {
    HANDLE id = 0;
    WindowHandle window = 0;
    std::uint32_t message = 0;
    char* buf = nullptr;
    std::mutex lock;
    bool cancelled = false;
    bool done = false;
};

struct Tasks {
    std::mutex lock;
    std::map<HANDLE, std::shared_ptr<Task>> live;
    HANDLE next = 1;
};
Tasks& tasks() {
    static Tasks t;
    return t;
}

// Runs a look-up on a helper thread; its reply is written and posted only while the
// request is live.
HANDLE startTask(WindowHandle window, std::uint32_t message, char* buf, std::int32_t buflen,
                 std::function<Reply(char*, std::int32_t)> work) {
    if (!started()) return fail(WSANOTINITIALISED, HANDLE(0));
    if (!buf || buflen <= 0) return fail(WSAEFAULT, HANDLE(0));
    auto task = std::make_shared<Task>();
    task->window = window;
    task->message = message;
    task->buf = buf;
    {
        auto& t = tasks();
        std::lock_guard g(t.lock);
        task->id = t.next++;
        t.live[task->id] = task;
    }
    std::thread([task, buflen, work = std::move(work)] {
        const Reply reply = work(task->buf, buflen);
        {
            std::lock_guard g(task->lock);
            if (!task->cancelled) {
                if (reply.error == 0) std::memcpy(task->buf, reply.bytes.data(), reply.bytes.size());
                task->done = true;
                const std::uint16_t used = reply.error == 0 ? static_cast<std::uint16_t>(reply.bytes.size()) : 0;
                PostMessage(task->window, task->message, task->id,
                            WSAMAKESELECTREPLY(used, static_cast<std::uint16_t>(reply.error)));
            }
        }
        auto& t = tasks();
        std::lock_guard g(t.lock);
        t.live.erase(task->id);
    }).detach();
    return task->id;
}

HANDLE ws_WSAAsyncGetHostByName(WindowHandle window, std::uint32_t message, const char* name, char* buf,
                                std::int32_t buflen) {
    const std::string n = name ? name : "";
    return startTask(window, message, buf, buflen, [n](char* b, std::int32_t s) { return lookUpHost(b, s, n); });
}

HANDLE ws_WSAAsyncGetHostByAddr(WindowHandle window, std::uint32_t message, const char* addr, std::int32_t len,
                                std::int32_t type, char* buf, std::int32_t buflen) {
    if (!addr || len != 4 || type != WS_AF_INET) return fail(WSAEINVAL, HANDLE(0));
    std::uint32_t a;
    std::memcpy(&a, addr, 4);
    return startTask(window, message, buf, buflen, [a](char* b, std::int32_t s) { return lookUpAddress(b, s, a); });
}

HANDLE ws_WSAAsyncGetServByName(WindowHandle window, std::uint32_t message, const char* name, const char* proto,
                                char* buf, std::int32_t buflen) {
    const std::string n = name ? name : "", p = proto ? proto : "";
    return startTask(window, message, buf, buflen,
                     [n, p](char* b, std::int32_t s) { return lookUpService(b, s, n, p); });
}

HANDLE ws_WSAAsyncGetServByPort(WindowHandle window, std::uint32_t message, std::int32_t port, const char* proto,
                                char* buf, std::int32_t buflen) {
    const std::string p = proto ? proto : "";
    return startTask(window, message, buf, buflen,
                     [port, p](char* b, std::int32_t s) { return lookUpPort(b, s, port, p); });
}

std::int32_t ws_WSACancelAsyncRequest(HANDLE id) {
    if (!started()) return fail(WSANOTINITIALISED);
    std::shared_ptr<Task> task;
    {
        auto& t = tasks();
        std::lock_guard g(t.lock);
        auto it = t.live.find(id);
        if (it == t.live.end()) return fail(WSAEINVAL);
        task = it->second;
    }
    std::lock_guard g(task->lock);
    if (task->done) return fail(10037);
    task->cancelled = true;
    return 0;
}

template <class F>
void* entry(F f) {
    return reinterpret_cast<void*>(f);
}

}  // namespace

std::int32_t errnoToWinsock(int err) {
    switch (err) {
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EINPROGRESS: return 10035;
    case EALREADY: return 10037;
    case ENOTSOCK:
    case EBADF: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case EMFILE: return 10024;
    case EINVAL: return 10022;
    case EFAULT: return 10014;
    case EACCES: return 10013;
    case EINTR: return 10004;
    default: return 10022;
    }
}

void RegisterWinsockModule() {
    static const bool once = [] {
        RegisterModule("WSOCK32.DLL",
                       {
                           {"accept", entry(&ws_accept)},
                           {"bind", entry(&ws_bind)},
                           {"closesocket", entry(&ws_closesocket)},
                           {"connect", entry(&ws_connect)},
                           {"ioctlsocket", entry(&ws_ioctlsocket)},
                           {"getsockname", entry(&ws_getsockname)},
                           {"htons", entry(&ws_htons)},
                           {"inet_addr", entry(&ws_inet_addr)},
                           {"inet_ntoa", entry(&ws_inet_ntoa)},
                           {"listen", entry(&ws_listen)},
                           {"ntohl", entry(&ws_ntohl)},
                           {"ntohs", entry(&ws_ntohs)},
                           {"recv", entry(&ws_recv)},
                           {"recvfrom", entry(&ws_recvfrom)},
                           {"send", entry(&ws_send)},
                           {"sendto", entry(&ws_sendto)},
                           {"socket", entry(&ws_socket)},
                           {"WSAStartup", entry(&ws_WSAStartup)},
                           {"WSACleanup", entry(&ws_WSACleanup)},
                           {"WSAGetLastError", entry(&ws_WSAGetLastError)},
                           {"WSAIsBlocking", entry(&ws_WSAIsBlocking)},
                           {"WSACancelBlockingCall", entry(&ws_WSACancelBlockingCall)},
                           {"WSAAsyncGetServByName", entry(&ws_WSAAsyncGetServByName)},
                           {"WSAAsyncGetServByPort", entry(&ws_WSAAsyncGetServByPort)},
                           {"WSAAsyncGetHostByName", entry(&ws_WSAAsyncGetHostByName)},
                           {"WSAAsyncGetHostByAddr", entry(&ws_WSAAsyncGetHostByAddr)},
                           {"WSACancelAsyncRequest", entry(&ws_WSACancelAsyncRequest)},
                           {"WSAAsyncSelect", entry(&ws_WSAAsyncSelect)},
                       });
        return true;
    }();
    (void)once;
}

void AddTestRoute(const std::string& host, std::uint16_t port, std::uint16_t loopbackPort) {
    auto& r = routes();
    std::lock_guard g(r.lock);
    ::in_addr dotted{};
    std::uint32_t address;
    if (::inet_aton(host.c_str(), &dotted)) {
        address = dotted.s_addr;
    } else if (auto it = r.hosts.find(host); it != r.hosts.end()) {
        address = it->second;
    } else {
        // Each routed name gets an address of its own in the loopback range.
        address = htonl(0x7F4D0000u | r.nextHost++);
        r.hosts[host] = address;
    }
    r.ports[{address, port}] = loopbackPort;
}

void SetTestLookupDelay(int milliseconds) { lookupDelay = milliseconds; }

void ClearTestRoutes() {
    auto& r = routes();
    std::lock_guard g(r.lock);
    r.hosts.clear();
    r.ports.clear();
}

}  // namespace wsock

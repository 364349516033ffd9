// The Winsock 1.1 layer: sockets over POSIX sockets whose events are posted as window
// messages, the socket functions, and the module table entry "WSOCK32.DLL".
#include "platform/winsock.h"

#include "platform/modules.h"
#include "platform/wsshared.h"

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
#include <utility>
#include <vector>

namespace wsock {

thread_local std::int32_t lastError = 0;

// Never destroyed, as the look-up threads that read it may outlive the static objects.
Routes& routes() {
    static Routes* const r = new Routes;
    return *r;
}

namespace {

// ---- state -------------------------------------------------------------------------

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

std::int32_t failErrno() { return fail(errnoToWinsock(errno)); }

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

std::int32_t testReceiveError = 0;

std::int32_t ws_recv(SOCKET s, char* buf, std::int32_t len, std::int32_t flags) {
    if (!started()) return fail(WSANOTINITIALISED);
    Sock* k = find(s);
    if (!k) return fail(WSAENOTSOCK);
    if (const std::int32_t code = std::exchange(testReceiveError, 0); code != 0 && k->stream) {
        k->readPosted = false;
        update(*k);
        return fail(code);
    }
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

template <class F>
void* entry(F f) {
    return reinterpret_cast<void*>(f);
}

}  // namespace

bool started() { return startups.load() > 0; }

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

void SetTestReceiveError(std::int32_t code) { testReceiveError = code; }

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


}  // namespace wsock

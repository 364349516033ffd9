#pragma once
// The far end of a connection for socket tests: a plain POSIX socket on 127.0.0.1,
// driven from the test while Qt's event loop keeps the program's side going.
#include <QCoreApplication>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// Runs the event loop until the condition holds; false after the time limit.
inline bool pumpUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ::usleep(1000);
    }
    return true;
}

// Runs the event loop for a while.
inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

class LoopbackPeer {
public:
    LoopbackPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPeer() {
        if (conn_ >= 0) ::close(conn_);
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }

    bool accept(int ms = 5000) {
        return pumpUntil(
            [this] {
                pollfd p{listener_, POLLIN, 0};
                if (::poll(&p, 1, 0) != 1) return false;
                conn_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                return conn_ >= 0;
            },
            ms);
    }
    // Stops accepting: later connects are refused.
    void stopListening() {
        ::close(listener_);
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    }

    void send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(conn_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent += static_cast<size_t>(n);
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    // Everything that arrives within the time, until `count` bytes are there.
    std::string receive(size_t count, int ms = 5000) {
        std::string got;
        pumpUntil(
            [&] {
                char buf[65536];
                const ssize_t n = ::recv(conn_, buf, sizeof buf, MSG_DONTWAIT);
                if (n > 0) got.append(buf, static_cast<size_t>(n));
                return got.size() >= count;
            },
            ms);
        return got;
    }
    void close() {
        ::close(conn_);
        conn_ = -1;
    }
    // Closes with a reset instead of an orderly end.
    void reset() {
        linger l{1, 0};
        ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }
    void smallReceiveBuffer() {
        const int size = 4096;
        ::setsockopt(conn_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    int fd() const { return conn_; }

private:
    int listener_ = -1;
    int conn_ = -1;
    std::uint16_t port_ = 0;
};

// A plain client for server tests.
inline int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

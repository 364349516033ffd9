#pragma once
// One connection of the engine to the proxy, served request after request: each plain-web
// address is put to the rules (or carries a pass for exactly that address) before a byte
// of it leaves; a tunnel goes only to a host the rules do not refuse whole, on a port a
// page may use, and carries a secure connection or a WebSocket whose own address the
// rules let through. Answers are read and framed anew as the engine reads them.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace relay {

inline constexpr int HeadWait = 5'000;  // ms for a connection's first request, or a tunnel's first bytes
inline constexpr int IdleWait = 60'000;  // ms for each further request

struct Serving {
    const std::atomic<bool>& stopping;
    // Whether the rules let an address through; for a tunnel "https://host[:port]".
    std::function<bool(std::string address, bool tunnel)> ask;
    // Whether `pass` was made for exactly this address.
    std::function<bool(std::string_view address, std::string_view pass)> passes;
    // A connection to host:port, or -1.
    std::function<int(const std::string& host, const std::string& port)> connect;
    std::string_view passHeader;
};

// Serves the connection until either end is done; the caller closes it.
void serve(int client, const Serving& how);

// Whether a page may use this port at all (the well-known ports of other services are
// closed to it).
bool portForPages(std::string_view port);

}  // namespace relay

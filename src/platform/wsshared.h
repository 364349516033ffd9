#pragma once
// What the socket functions and the asynchronous look-ups of the Winsock layer share:
// the last error, whether the library is started, and the test routes.
#include "platform/winsock.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace wsock {

extern thread_local std::int32_t lastError;
bool started();

template <class T>
T fail(std::int32_t code, T result) {
    lastError = code;
    return result;
}
inline std::int32_t fail(std::int32_t code) { return fail(code, SOCKET_ERROR); }

struct Routes {
    std::mutex lock;
    std::map<std::string, std::uint32_t> hosts;                              // name -> address (network order)
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint16_t> ports;  // (address, port) -> loopback port
    std::uint32_t nextHost = 1;
};
Routes& routes();

// The look-ups, for the module table.
HANDLE ws_WSAAsyncGetHostByName(WindowHandle window, std::uint32_t message, const char* name, char* buf,
                                std::int32_t buflen);
HANDLE ws_WSAAsyncGetHostByAddr(WindowHandle window, std::uint32_t message, const char* addr, std::int32_t len,
                                std::int32_t type, char* buf, std::int32_t buflen);
HANDLE ws_WSAAsyncGetServByName(WindowHandle window, std::uint32_t message, const char* name, const char* proto,
                                char* buf, std::int32_t buflen);
HANDLE ws_WSAAsyncGetServByPort(WindowHandle window, std::uint32_t message, std::int32_t port, const char* proto,
                                char* buf, std::int32_t buflen);
std::int32_t ws_WSACancelAsyncRequest(HANDLE id);

}  // namespace wsock

#pragma once
// A Windows Sockets 1.1 library over POSIX sockets: the functions, records and
// notification rules that the socket subsystem expects of "WSOCK32.DLL". It is
// registered in the module table under that name and reached only through it.
#include "platform/messages.h"

#include <cstdint>
#include <string>

namespace wsock {

using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr std::int32_t SOCKET_ERROR = -1;
// The standard's values under names that the system's own socket macros cannot touch.
constexpr std::uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;

constexpr std::int32_t WS_AF_INET = 2;
constexpr std::int32_t WS_SOCK_STREAM = 1;
constexpr std::int32_t WS_SOCK_DGRAM = 2;

constexpr std::int32_t WS_FIONREAD = 0x4004667F;
constexpr std::int32_t WS_FIONBIO = static_cast<std::int32_t>(0x8004667Eu);

constexpr std::int32_t FD_READ = 1;
constexpr std::int32_t FD_WRITE = 2;
constexpr std::int32_t FD_OOB = 4;
constexpr std::int32_t FD_ACCEPT = 8;
constexpr std::int32_t FD_CONNECT = 16;
constexpr std::int32_t FD_CLOSE = 32;

constexpr int MAXGETHOSTSTRUCT = 1024;

// Error codes used by the layer itself.
constexpr std::int32_t WSAEINTR = 10004;
constexpr std::int32_t WSAEFAULT = 10014;
constexpr std::int32_t WSAEINVAL = 10022;
constexpr std::int32_t WSAEWOULDBLOCK = 10035;
constexpr std::int32_t WSAENOTSOCK = 10038;
constexpr std::int32_t WSAENOBUFS = 10055;
constexpr std::int32_t WSAENOTCONN = 10057;
constexpr std::int32_t WSAECONNRESET = 10054;
constexpr std::int32_t WSAETIMEDOUT = 10060;
constexpr std::int32_t WSAECONNREFUSED = 10061;
constexpr std::int32_t WSAVERNOTSUPPORTED = 10092;
constexpr std::int32_t WSANOTINITIALISED = 10093;
constexpr std::int32_t WSAHOST_NOT_FOUND = 11001;
constexpr std::int32_t WSATRY_AGAIN = 11002;
constexpr std::int32_t WSANO_RECOVERY = 11003;
constexpr std::int32_t WSANO_DATA = 11004;

struct in_addr {
    std::uint32_t s_addr;  // network order
};

// The 16-byte IPv4 socket address of the standard.
struct sockaddr_in {
    std::int16_t sin_family;
    std::uint16_t sin_port;  // network order
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16);

struct WSADATA {
    std::uint16_t wVersion;
    std::uint16_t wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char* lpVendorInfo;
};

struct hostent {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

struct servent {
    char* s_name;
    char** s_aliases;
    std::int16_t s_port;  // network order
    char* s_proto;
};

// The message-parameter macros of the standard.
inline std::uint16_t WSAGETSELECTEVENT(std::intptr_t l) { return static_cast<std::uint16_t>(l & 0xFFFF); }
inline std::uint16_t WSAGETSELECTERROR(std::intptr_t l) { return static_cast<std::uint16_t>((l >> 16) & 0xFFFF); }
inline std::uint16_t WSAGETASYNCBUFLEN(std::intptr_t l) { return static_cast<std::uint16_t>(l & 0xFFFF); }
inline std::uint16_t WSAGETASYNCERROR(std::intptr_t l) { return static_cast<std::uint16_t>((l >> 16) & 0xFFFF); }
inline std::intptr_t WSAMAKESELECTREPLY(std::uint16_t event, std::uint16_t error) {
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(error) << 16 | event);
}

// The errno of a failed POSIX call as a Windows Sockets code.
std::int32_t errnoToWinsock(int err);

// Registers the library in the module table as "WSOCK32.DLL" (once).
void RegisterWinsockModule();

// Tests: a host name (or dotted address) and port that lead to a port on 127.0.0.1.
// Look-ups of a routed name never leave the machine.
void AddTestRoute(const std::string& host, std::uint16_t port, std::uint16_t loopbackPort);
void ClearTestRoutes();
// Tests: every host look-up answers only after this many milliseconds.
void SetTestLookupDelay(int milliseconds);
// Tests: the next receive of a stream socket fails with this code, as one on a connection
// that timed out does on the network (0: none).
void SetTestReceiveError(std::int32_t code);

}  // namespace wsock

// The entry points as the module table hands them out, by the functions' own names.
namespace wsock {
using accept_t = SOCKET (*)(SOCKET, sockaddr_in*, std::int32_t*);
using bind_t = std::int32_t (*)(SOCKET, const sockaddr_in*, std::int32_t);
using closesocket_t = std::int32_t (*)(SOCKET);
using connect_t = std::int32_t (*)(SOCKET, const sockaddr_in*, std::int32_t);
using ioctlsocket_t = std::int32_t (*)(SOCKET, std::int32_t, std::uint32_t*);
using getsockname_t = std::int32_t (*)(SOCKET, sockaddr_in*, std::int32_t*);
using htons_t = std::uint16_t (*)(std::uint16_t);
using inet_addr_t = std::uint32_t (*)(const char*);
using inet_ntoa_t = char* (*)(in_addr);
using listen_t = std::int32_t (*)(SOCKET, std::int32_t);
using ntohl_t = std::uint32_t (*)(std::uint32_t);
using ntohs_t = std::uint16_t (*)(std::uint16_t);
using recv_t = std::int32_t (*)(SOCKET, char*, std::int32_t, std::int32_t);
using recvfrom_t = std::int32_t (*)(SOCKET, char*, std::int32_t, std::int32_t, sockaddr_in*, std::int32_t*);
using send_t = std::int32_t (*)(SOCKET, const char*, std::int32_t, std::int32_t);
using sendto_t = std::int32_t (*)(SOCKET, const char*, std::int32_t, std::int32_t, const sockaddr_in*, std::int32_t);
using socket_t = SOCKET (*)(std::int32_t, std::int32_t, std::int32_t);
using WSAStartup_t = std::int32_t (*)(std::uint16_t, WSADATA*);
using WSACleanup_t = std::int32_t (*)();
using WSAGetLastError_t = std::int32_t (*)();
using WSAIsBlocking_t = std::int32_t (*)();
using WSACancelBlockingCall_t = std::int32_t (*)();
using WSAAsyncGetServByName_t = HANDLE (*)(WindowHandle, std::uint32_t, const char*, const char*, char*, std::int32_t);
using WSAAsyncGetServByPort_t = HANDLE (*)(WindowHandle, std::uint32_t, std::int32_t, const char*, char*, std::int32_t);
using WSAAsyncGetHostByName_t = HANDLE (*)(WindowHandle, std::uint32_t, const char*, char*, std::int32_t);
using WSAAsyncGetHostByAddr_t = HANDLE (*)(WindowHandle, std::uint32_t, const char*, std::int32_t, std::int32_t, char*,
                                           std::int32_t);
using WSACancelAsyncRequest_t = std::int32_t (*)(HANDLE);
using WSAAsyncSelect_t = std::int32_t (*)(SOCKET, WindowHandle, std::uint32_t, std::int32_t);
}  // namespace wsock

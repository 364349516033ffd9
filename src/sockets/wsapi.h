#pragma once
// The run-time binding of the socket library: loaded on first use, each function bound
// by name on its first call and kept.
#include "platform/modules.h"
#include "platform/winsock.h"

#include <cstdint>
#include <string>

using wsock::HANDLE;
using wsock::SOCKET;

class tWinsockAPI {
public:
    tWinsockAPI();
    ~tWinsockAPI();
    tWinsockAPI(const tWinsockAPI&) = delete;
    tWinsockAPI& operator=(const tWinsockAPI&) = delete;

    void SetDLLName(const std::string& name);
    std::string GetDLLName() const { return DLLName; }
    void* GetProc(const char* functionName);

    SOCKET accept(SOCKET s, wsock::sockaddr_in* addr, std::int32_t* addrlen);
    std::int32_t bind(SOCKET s, const wsock::sockaddr_in* name, std::int32_t namelen);
    std::int32_t closesocket(SOCKET s);
    std::int32_t connect(SOCKET s, const wsock::sockaddr_in* name, std::int32_t namelen);
    std::int32_t ioctlsocket(SOCKET s, std::int32_t cmd, std::uint32_t* arg);
    std::int32_t getsockname(SOCKET s, wsock::sockaddr_in* name, std::int32_t* namelen);
    std::uint16_t htons(std::uint16_t v);
    std::uint32_t inet_addr(const char* text);
    char* inet_ntoa(wsock::in_addr a);
    std::int32_t listen(SOCKET s, std::int32_t backlog);
    std::uint32_t ntohl(std::uint32_t v);
    std::uint16_t ntohs(std::uint16_t v);
    std::int32_t recv(SOCKET s, char* buf, std::int32_t len, std::int32_t flags);
    std::int32_t recvfrom(SOCKET s, char* buf, std::int32_t len, std::int32_t flags, wsock::sockaddr_in* from,
                          std::int32_t* fromlen);
    std::int32_t send(SOCKET s, const char* buf, std::int32_t len, std::int32_t flags);
    std::int32_t sendto(SOCKET s, const char* buf, std::int32_t len, std::int32_t flags, const wsock::sockaddr_in* to,
                        std::int32_t tolen);
    SOCKET socket(std::int32_t af, std::int32_t type, std::int32_t protocol);
    std::int32_t WSAStartup(std::uint16_t version, wsock::WSADATA* data);
    std::int32_t WSACleanup();
    std::int32_t WSAGetLastError();
    bool WSAIsBlocking();
    std::int32_t WSACancelBlockingCall();
    HANDLE WSAAsyncGetServByName(WindowHandle w, std::uint32_t msg, const char* name, const char* proto, char* buf,
                                 std::int32_t buflen);
    HANDLE WSAAsyncGetServByPort(WindowHandle w, std::uint32_t msg, std::int32_t port, const char* proto, char* buf,
                                 std::int32_t buflen);
    HANDLE WSAAsyncGetHostByName(WindowHandle w, std::uint32_t msg, const char* name, char* buf, std::int32_t buflen);
    HANDLE WSAAsyncGetHostByAddr(WindowHandle w, std::uint32_t msg, const char* addr, std::int32_t len,
                                 std::int32_t type, char* buf, std::int32_t buflen);
    std::int32_t WSACancelAsyncRequest(HANDLE task);
    std::int32_t WSAAsyncSelect(SOCKET s, WindowHandle w, std::uint32_t msg, std::int32_t events);

    // The text, cut at 101 characters, is something inet_addr accepts (so not
    // "255.255.255.255").
    bool IsIPAddress(const std::string& text);
    // The text is an integer other than -1.
    static bool IsNumber(const std::string& text);
    std::string AddressText(const wsock::sockaddr_in& address);

    static std::uint16_t WSAGETSELECTEVENT(std::intptr_t l) { return wsock::WSAGETSELECTEVENT(l); }
    static std::uint16_t WSAGETSELECTERROR(std::intptr_t l) { return wsock::WSAGETSELECTERROR(l); }
    static std::uint16_t WSAGETASYNCBUFLEN(std::intptr_t l) { return wsock::WSAGETASYNCBUFLEN(l); }
    static std::uint16_t WSAGETASYNCERROR(std::intptr_t l) { return wsock::WSAGETASYNCERROR(l); }

    ModuleHandle LibHandle = 0;
    std::string DLLName;  // empty: none set
    bool Started = false;
    std::uint16_t MaxSockets = 0;
    std::uint16_t MaxUdpDg = 0;
    std::uint16_t Version = 0;
    std::uint16_t HighVersion = 0;
    std::string Description;
    std::string SystemStatus;
    char* VendorInfo = nullptr;

private:
    template <class Fn>
    Fn bound(Fn& cache, const char* name) {
        if (!cache) cache = reinterpret_cast<Fn>(GetProc(name));
        return cache;
    }

    wsock::accept_t accept_ = nullptr;
    wsock::bind_t bind_ = nullptr;
    wsock::closesocket_t closesocket_ = nullptr;
    wsock::connect_t connect_ = nullptr;
    wsock::ioctlsocket_t ioctlsocket_ = nullptr;
    wsock::getsockname_t getsockname_ = nullptr;
    wsock::htons_t htons_ = nullptr;
    wsock::inet_addr_t inet_addr_ = nullptr;
    wsock::inet_ntoa_t inet_ntoa_ = nullptr;
    wsock::listen_t listen_ = nullptr;
    wsock::ntohl_t ntohl_ = nullptr;
    wsock::ntohs_t ntohs_ = nullptr;
    wsock::recv_t recv_ = nullptr;
    wsock::recvfrom_t recvfrom_ = nullptr;
    wsock::send_t send_ = nullptr;
    wsock::sendto_t sendto_ = nullptr;
    wsock::socket_t socket_ = nullptr;
    wsock::WSAStartup_t WSAStartup_ = nullptr;
    wsock::WSACleanup_t WSACleanup_ = nullptr;
    wsock::WSAGetLastError_t WSAGetLastError_ = nullptr;
    wsock::WSAIsBlocking_t WSAIsBlocking_ = nullptr;
    wsock::WSACancelBlockingCall_t WSACancelBlockingCall_ = nullptr;
    wsock::WSAAsyncGetServByName_t WSAAsyncGetServByName_ = nullptr;
    wsock::WSAAsyncGetServByPort_t WSAAsyncGetServByPort_ = nullptr;
    wsock::WSAAsyncGetHostByName_t WSAAsyncGetHostByName_ = nullptr;
    wsock::WSAAsyncGetHostByAddr_t WSAAsyncGetHostByAddr_ = nullptr;
    wsock::WSACancelAsyncRequest_t WSACancelAsyncRequest_ = nullptr;
    wsock::WSAAsyncSelect_t WSAAsyncSelect_ = nullptr;
};

// The one shared binding, or none.
extern tWinsockAPI* WinsockAPI;
extern wsock::WSADATA WinsockData;

// Creates the binding when there is none; whether Windows Sockets is started.
bool WinsockStarted();
// Starts Windows Sockets 1.1 unless started; raises "Error %d (%s) starting up WinSock".
void StartWinsock();
// Cancels a blocking call, cleans up, empties the event queue, waits 200 ms, frees the
// binding with its library.
void StopWinsock();

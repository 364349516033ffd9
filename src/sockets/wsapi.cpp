#include "sockets/wsapi.h"

#include "platform/text.h"
#include "sockets/eventqueue.h"
#include "sockets/wserrors.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

tWinsockAPI* WinsockAPI = nullptr;
wsock::WSADATA WinsockData{};

namespace {
// The library this program brings; registered once, before anything is loaded.
const bool winsockRegistered = (wsock::RegisterWinsockModule(), true);
}  // namespace

tWinsockAPI::tWinsockAPI() { (void)winsockRegistered; }

tWinsockAPI::~tWinsockAPI() {
    if (LibHandle >= MinModuleHandle) {
        FreeLibrary(LibHandle);
        LibHandle = 0;
    }
}

void tWinsockAPI::SetDLLName(const std::string& name) {
    if (LibHandle != 0) throw ESockError(ErrorText(msgDllLoaded));
    if (!DLLName.empty() && upperAZ(DLLName) == upperAZ(name)) return;
    DLLName.clear();
    if (name.empty()) return;
    const size_t slash = name.find_last_of("/\\");
    const bool hasExtension = name.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
    DLLName = hasExtension ? name : name + ".DLL";
}

void* tWinsockAPI::GetProc(const char* functionName) {
    if (LibHandle < MinModuleHandle) {
        if (DLLName.empty()) SetDLLName("WSOCK32.DLL");
        LibHandle = LoadLibrary(DLLName);
        if (LibHandle < MinModuleHandle)
            throw Exception("Unable to load Library \"" + DLLName + "\" Error " + std::to_string(LibHandle));
    }
    void* entry = GetProcAddress(LibHandle, functionName);
    if (!entry) throw Exception("Unable to locate function in DLL");
    return entry;
}

SOCKET tWinsockAPI::accept(SOCKET s, wsock::sockaddr_in* a, std::int32_t* l) { return bound(accept_, "accept")(s, a, l); }
std::int32_t tWinsockAPI::bind(SOCKET s, const wsock::sockaddr_in* n, std::int32_t l) { return bound(bind_, "bind")(s, n, l); }
std::int32_t tWinsockAPI::closesocket(SOCKET s) { return bound(closesocket_, "closesocket")(s); }
std::int32_t tWinsockAPI::connect(SOCKET s, const wsock::sockaddr_in* n, std::int32_t l) {
    return bound(connect_, "connect")(s, n, l);
}
std::int32_t tWinsockAPI::ioctlsocket(SOCKET s, std::int32_t c, std::uint32_t* a) {
    return bound(ioctlsocket_, "ioctlsocket")(s, c, a);
}
std::int32_t tWinsockAPI::getsockname(SOCKET s, wsock::sockaddr_in* n, std::int32_t* l) {
    return bound(getsockname_, "getsockname")(s, n, l);
}
std::uint16_t tWinsockAPI::htons(std::uint16_t v) { return bound(htons_, "htons")(v); }
std::uint32_t tWinsockAPI::inet_addr(const char* t) { return bound(inet_addr_, "inet_addr")(t); }
char* tWinsockAPI::inet_ntoa(wsock::in_addr a) { return bound(inet_ntoa_, "inet_ntoa")(a); }
std::int32_t tWinsockAPI::listen(SOCKET s, std::int32_t b) { return bound(listen_, "listen")(s, b); }
std::uint32_t tWinsockAPI::ntohl(std::uint32_t v) { return bound(ntohl_, "ntohl")(v); }
std::uint16_t tWinsockAPI::ntohs(std::uint16_t v) { return bound(ntohs_, "ntohs")(v); }
std::int32_t tWinsockAPI::recv(SOCKET s, char* b, std::int32_t l, std::int32_t f) { return bound(recv_, "recv")(s, b, l, f); }
std::int32_t tWinsockAPI::recvfrom(SOCKET s, char* b, std::int32_t l, std::int32_t f, wsock::sockaddr_in* from,
                                   std::int32_t* fl) {
    return bound(recvfrom_, "recvfrom")(s, b, l, f, from, fl);
}
std::int32_t tWinsockAPI::send(SOCKET s, const char* b, std::int32_t l, std::int32_t f) {
    return bound(send_, "send")(s, b, l, f);
}
std::int32_t tWinsockAPI::sendto(SOCKET s, const char* b, std::int32_t l, std::int32_t f, const wsock::sockaddr_in* to,
                                 std::int32_t tl) {
    return bound(sendto_, "sendto")(s, b, l, f, to, tl);
}
SOCKET tWinsockAPI::socket(std::int32_t af, std::int32_t type, std::int32_t p) { return bound(socket_, "socket")(af, type, p); }

std::int32_t tWinsockAPI::WSAStartup(std::uint16_t version, wsock::WSADATA* data) {
    const std::int32_t result = bound(WSAStartup_, "WSAStartup")(version, data);
    Started = result == 0;
    MaxSockets = data->iMaxSockets;
    MaxUdpDg = data->iMaxUdpDg;
    Version = data->wVersion;
    HighVersion = data->wHighVersion;
    VendorInfo = data->lpVendorInfo;
    Description = data->szDescription;
    SystemStatus = data->szSystemStatus;
    return result;
}

std::int32_t tWinsockAPI::WSACleanup() {
    const std::int32_t result = bound(WSACleanup_, "WSACleanup")();
    Started = result != 0;
    return result;
}

std::int32_t tWinsockAPI::WSAGetLastError() { return bound(WSAGetLastError_, "WSAGetLastError")(); }
bool tWinsockAPI::WSAIsBlocking() { return bound(WSAIsBlocking_, "WSAIsBlocking")() != 0; }
std::int32_t tWinsockAPI::WSACancelBlockingCall() { return bound(WSACancelBlockingCall_, "WSACancelBlockingCall")(); }
HANDLE tWinsockAPI::WSAAsyncGetServByName(WindowHandle w, std::uint32_t m, const char* n, const char* p, char* b,
                                          std::int32_t l) {
    return bound(WSAAsyncGetServByName_, "WSAAsyncGetServByName")(w, m, n, p, b, l);
}
HANDLE tWinsockAPI::WSAAsyncGetServByPort(WindowHandle w, std::uint32_t m, std::int32_t port, const char* p, char* b,
                                          std::int32_t l) {
    return bound(WSAAsyncGetServByPort_, "WSAAsyncGetServByPort")(w, m, port, p, b, l);
}
HANDLE tWinsockAPI::WSAAsyncGetHostByName(WindowHandle w, std::uint32_t m, const char* n, char* b, std::int32_t l) {
    return bound(WSAAsyncGetHostByName_, "WSAAsyncGetHostByName")(w, m, n, b, l);
}
HANDLE tWinsockAPI::WSAAsyncGetHostByAddr(WindowHandle w, std::uint32_t m, const char* a, std::int32_t len,
                                          std::int32_t type, char* b, std::int32_t l) {
    return bound(WSAAsyncGetHostByAddr_, "WSAAsyncGetHostByAddr")(w, m, a, len, type, b, l);
}
std::int32_t tWinsockAPI::WSACancelAsyncRequest(HANDLE t) {
    return bound(WSACancelAsyncRequest_, "WSACancelAsyncRequest")(t);
}
std::int32_t tWinsockAPI::WSAAsyncSelect(SOCKET s, WindowHandle w, std::uint32_t m, std::int32_t e) {
    return bound(WSAAsyncSelect_, "WSAAsyncSelect")(s, w, m, e);
}

bool tWinsockAPI::IsIPAddress(const std::string& text) {
    return inet_addr(text.substr(0, 101).c_str()) != wsock::WS_INADDR_NONE;
}

bool tWinsockAPI::IsNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && n >= INT32_MIN && n <= INT32_MAX && n != -1;
}

std::string tWinsockAPI::AddressText(const wsock::sockaddr_in& address) { return inet_ntoa(address.sin_addr); }

bool WinsockStarted() {
    if (!WinsockAPI) WinsockAPI = new tWinsockAPI;
    return WinsockAPI->Started;
}

void StartWinsock() {
    if (WinsockStarted()) return;
    ResetSocketControls();
    const std::int32_t result = WinsockAPI->WSAStartup(0x0101, &WinsockData);
    if (result != 0) RaiseSockError(result, msgStartingUp);
}

void StopWinsock() {
    if (WinsockAPI && WinsockAPI->Started) {
        if (WinsockAPI->WSAIsBlocking()) WinsockAPI->WSACancelBlockingCall();
        WinsockAPI->WSACleanup();
    }
    ClearEventQueue();
    if (WinsockAPI) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        delete WinsockAPI;
        WinsockAPI = nullptr;
    }
}

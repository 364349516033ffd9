#include "sockets/sockobj.h"

#include "platform/messages.h"
#include "sockets/sockctrl.h"
#include "sockets/wsapi.h"
#include "sockets/wserrors.h"

#include <cstring>

const char* const SockInfoText[13] = {
    "Inactive",           "Looking-up a host name", "Connecting",           "Connection",
    "Listening",          "Receiving Data",         "Sending Data",         "Closed",
    "Connection timed out", "Accepting connection", "Error: No such socket", "Rejecting Connection",
    "Disconnected",
};

std::int32_t SocketCounter = 0;

namespace {
std::string cut255(std::string s) {
    if (s.size() > 255) s.resize(255);
    return s;
}
}  // namespace

TSocketBase::TSocketBase(TSockCtrl* Control) : SockCtrl(Control) {
    SockAddr.sin_family = wsock::WS_AF_INET;
}

TSocketBase::~TSocketBase() {
    if (Handle != wsock::INVALID_SOCKET && WinsockAPI) WinsockAPI->closesocket(Handle);
}

void TSocketBase::DoRead() {
    if (SockCtrl->OnRead) SockCtrl->OnRead(SockCtrl, this);
}

void TSocketBase::DoWrite() {
    if (SockCtrl->OnWrite) SockCtrl->OnWrite(SockCtrl, this);
}

void TSocketBase::DoAccept() {
    if (auto* server = dynamic_cast<TCustomBasicServerSocket*>(SockCtrl); server && server->OnAccept)
        server->OnAccept(SockCtrl, this);
}

void TSocketBase::DoConnect() {
    if (auto* client = dynamic_cast<TCustomClientSocket*>(SockCtrl); client && client->OnConnect)
        client->OnConnect(SockCtrl, this);
}

void TSocketBase::DoDisconnect() {
    DoInfo(siDisconnected);
    if (SockCtrl->OnDisconnect) SockCtrl->OnDisconnect(SockCtrl, this);
    Close();
}

void TSocketBase::DoInfo(TSockInfo Code) {
    if (Code == siListening) State = ssListening;
    if (Code == siClosed) State = ssClosed;
    if (SockCtrl->OnInfo) SockCtrl->OnInfo(SockCtrl, Code, this);
}

void TSocketBase::DoTimeOut() {
    if (SockCtrl->OnTimeOut) SockCtrl->OnTimeOut(SockCtrl, this);
}

void TSocketBase::DoReject() {
    if (auto* server = dynamic_cast<TCustomBasicServerSocket*>(SockCtrl); server && server->OnReject)
        server->OnReject(SockCtrl, this);
}

std::string TSocketBase::GetName() {
    if (Name.empty()) Name = "socket" + std::to_string(SocketCounter++);
    return Name;
}

std::int32_t TSocketBase::CheckError(std::int32_t Result, std::int32_t Tolerated, std::int32_t MessageCode) {
    if (Result == wsock::SOCKET_ERROR) {
        const std::int32_t err = WinsockAPI->WSAGetLastError();
        LastError = err;
        if (err == Tolerated) return 0;
        RaiseSockError(err, MessageCode);
    }
    LastError = 0;
    return Result;
}

void TSocketBase::Resolve(std::string& HostName, std::uint16_t& Port, std::string& ServiceName, std::string& IPAddress) {
    if (!HostName.empty()) {
        const std::uint32_t address = SockCtrl->LookupHost(HostName);
        SockAddr.sin_addr.s_addr = address;
        IPAddress = cut255(WinsockAPI->inet_ntoa(wsock::in_addr{address}));
    } else {
        if (IPAddress.empty()) throw ESockError(ErrorText(msgNoAddress));
        SockAddr.sin_addr.s_addr = 0;
        // "0.0.0.0" stands for the any-address.
        if (IPAddress != "0.0.0.0") SockAddr.sin_addr.s_addr = WinsockAPI->inet_addr(IPAddress.substr(0, 31).c_str());
    }
    if (!ServiceName.empty()) Port = SockCtrl->LookupService(ServiceName);
    SockAddr.sin_port = WinsockAPI->htons(Port);
}

std::uint16_t TSocketBase::BytesAvailable() {
    std::uint32_t waiting = 0;
    CheckError(WinsockAPI->ioctlsocket(Handle, wsock::WS_FIONREAD, &waiting), 0, msgBytesInBuffer);
    return static_cast<std::uint16_t>(waiting & 0xFFFF);
}

void TSocketBase::DrainReads() {
    if (!SockCtrl->OnRead) return;
    // A handler that takes nothing would keep this going for ever.
    for (std::uint16_t waiting = BytesAvailable(), last = 0xFFFF; waiting > 0 && waiting != last;) {
        last = waiting;
        TSocketBase* self = this;
        SockCtrl->HandleRead(self);
        waiting = BytesAvailable();
    }
}

void TSocketBase::Bind() {
    CheckError(WinsockAPI->bind(Handle, &SockAddr, sizeof SockAddr), 0, msgBinding);
    // The port the system chose goes back to the control (0 when it cannot be asked).
    wsock::sockaddr_in local{};
    std::int32_t len = sizeof local;
    std::uint16_t port = 0;
    if (WinsockAPI->getsockname(Handle, &local, &len) == 0) port = WinsockAPI->ntohs(local.sin_port);
    SockCtrl->PortNumber = port;
    SockCtrl->Port = std::to_string(port);
}

void TSocketBase::Close() {
    if (!WinsockStarted() || Handle == wsock::INVALID_SOCKET) return;
    const bool wasConnected = State == ssConnected;
    State = ssClosing;
    if (wasConnected) DrainReads();
    WinsockAPI->closesocket(Handle);
    DoInfo(siClosed);
    Handle = wsock::INVALID_SOCKET;
    PostMessage(SockCtrl->Window, WM_SOCKCLOSED, 0, reinterpret_cast<std::intptr_t>(this));
}

// ---- stream socket -----------------------------------------------------------------

void TStreamSocket::SetSockType(std::int32_t Value) {
    if (Value != wsock::WS_SOCK_STREAM) throw ESockError(ErrorText(msgStreamType));
    SockType = Value;
}

std::int32_t TStreamSocket::Send(const void* Buf, std::int32_t Count) { return StreamSend(Buf, Count); }
std::int32_t TStreamSocket::Recv(void* Buf, std::int32_t Count) { return StreamRecv(Buf, Count); }

std::int32_t TStreamSocket::StreamSend(const void* Buf, std::int32_t Count) {
    if (Count == 0) return 0;
    DoInfo(siSend);
    if (Handle == wsock::INVALID_SOCKET || !Connected()) return 0;
    return CheckError(WinsockAPI->send(Handle, static_cast<const char*>(Buf), Count, 0), wsock::WSAEWOULDBLOCK,
                      msgSending);
}

std::int32_t TStreamSocket::StreamRecv(void* Buf, std::int32_t Count) {
    DoInfo(siRecv);
    if (Handle == wsock::INVALID_SOCKET || (State != ssConnected && State != ssClosing))
        throw ESockError(ErrorText(msgNotOpen));
    return CheckError(WinsockAPI->recv(Handle, static_cast<char*>(Buf), Count, 0), wsock::WSAEWOULDBLOCK,
                      msgReceiving);
}

void TStreamSocket::Connect(std::string& HostName, TAsyncOptions Options, std::uint16_t Port, std::string& ServiceName,
                            std::string& IPAddress) {
    if (!WinsockStarted()) RaiseSockError(wsock::WSANOTINITIALISED, 0);
    if (Connected()) RaiseSockError(10056, 0);
    // A handle left open by an earlier failed attempt is closed before a new one is made.
    if (Handle != wsock::INVALID_SOCKET) {
        WinsockAPI->closesocket(Handle);
        Handle = wsock::INVALID_SOCKET;
    }
    Handle = WinsockAPI->socket(wsock::WS_AF_INET, SockType, 0);
    if (Handle == wsock::INVALID_SOCKET) RaiseSockError(WinsockAPI->WSAGetLastError(), msgCreating);
    DoInfo(siLookUp);
    Resolve(HostName, Port, ServiceName, IPAddress);
    PrepareSocket();
    WinsockAPI->WSAAsyncSelect(Handle, SockCtrl->Window, WM_SOCKSELECT,
                               (Options & (csoRead | csoWrite | csoOOB)) | wsock::FD_CONNECT | wsock::FD_CLOSE);
    try {
        SockCtrl->StartTimer();
        DoInfo(siConnect);
        try {
            CheckError(WinsockAPI->connect(Handle, &SockAddr, sizeof SockAddr), wsock::WSAEWOULDBLOCK, msgConnecting);
        } catch (const ESockError&) {
            if (Handle != wsock::INVALID_SOCKET) Close();
            throw;
        }
    } catch (...) {
        SockCtrl->StopTimer();
        throw;
    }
}

void TStreamSocket::Listen(std::string& HostName, std::int32_t Backlog, std::uint16_t Port, std::string& ServiceName,
                           std::string& IPAddress) {
    if (!WinsockStarted()) RaiseSockError(wsock::WSANOTINITIALISED, 0);
    Handle = WinsockAPI->socket(wsock::WS_AF_INET, SockType, 0);
    if (Handle == wsock::INVALID_SOCKET) RaiseSockError(WinsockAPI->WSAGetLastError(), msgCreating);
    Resolve(HostName, Port, ServiceName, IPAddress);
    PrepareSocket();
    try {
        Bind();
    } catch (const ESockError&) {
        Close();
        throw;
    }
    WinsockAPI->WSAAsyncSelect(Handle, SockCtrl->Window, WM_SOCKSELECT, wsock::FD_ACCEPT | wsock::FD_CLOSE);
    try {
        CheckError(WinsockAPI->listen(Handle, Backlog), 0, msgListening);
        DoInfo(siListening);
    } catch (const ESockError&) {
        if (Handle != wsock::INVALID_SOCKET) Close();
        throw;
    }
}

void TStreamSocket::Close() {
    TSocketBase::Close();
    SockCtrl->StopTimer();
}

// ---- datagram socket ---------------------------------------------------------------

TDatagramSocket::TDatagramSocket(TSockCtrl* Control) : TSocketBase(Control) {
    SockType = wsock::WS_SOCK_DGRAM;
    if (!WinsockStarted()) RaiseSockError(wsock::WSANOTINITIALISED, 0);
    OpenHandle();
}

void TDatagramSocket::OpenHandle() {
    Handle = WinsockAPI->socket(wsock::WS_AF_INET, wsock::WS_SOCK_DGRAM, 0);
    if (Handle == wsock::INVALID_SOCKET) RaiseSockError(WinsockAPI->WSAGetLastError(), msgCreating);
}

void TDatagramSocket::Close() {
    TSocketBase::Close();
    // The object always holds a handle.
    if (WinsockStarted() && Handle == wsock::INVALID_SOCKET) OpenHandle();
}

void TDatagramSocket::Connect(std::string& HostName, TAsyncOptions Options, std::uint16_t Port,
                              std::string& ServiceName, std::string& IPAddress) {
    if (!WinsockStarted()) RaiseSockError(wsock::WSANOTINITIALISED, 0);
    if (Connected()) RaiseSockError(10056, 0);
    Resolve(HostName, Port, ServiceName, IPAddress);
    PrepareSocket();
    WinsockAPI->WSAAsyncSelect(Handle, SockCtrl->Window, WM_SOCKSELECT,
                               (Options & (csoRead | csoWrite | csoOOB)) | wsock::FD_CONNECT | wsock::FD_CLOSE);
    DoInfo(siLookUp);
    DoInfo(siConnect);
    CheckError(WinsockAPI->connect(Handle, &SockAddr, sizeof SockAddr), wsock::WSAEWOULDBLOCK, msgConnecting);
    State = ssConnected;  // only fixes the default peer
}

void TDatagramSocket::Listen(std::string& HostName, std::int32_t, std::uint16_t Port, std::string& ServiceName,
                             std::string& IPAddress) {
    Resolve(HostName, Port, ServiceName, IPAddress);
    PrepareSocket();
    Bind();
    WinsockAPI->WSAAsyncSelect(Handle, SockCtrl->Window, WM_SOCKSELECT, wsock::FD_READ | wsock::FD_WRITE);
}

void TDatagramSocket::CheckSize(std::int32_t Count) {
    if (WinsockData.iMaxUdpDg != 0 && Count > WinsockData.iMaxUdpDg) throw ESockError(ErrorText(msgDatagramTooLong));
}

std::int32_t TDatagramSocket::Send(const void* Buf, std::int32_t Count) {
    if (!Connected()) throw ESockError(ErrorText(msgNotOpen));
    DoInfo(siSend);
    CheckSize(Count);
    return CheckError(WinsockAPI->send(Handle, static_cast<const char*>(Buf), Count, 0), wsock::WSAEWOULDBLOCK,
                      msgSending);
}

std::int32_t TDatagramSocket::Recv(void* Buf, std::int32_t Count) {
    DoInfo(siRecv);
    if (Handle == wsock::INVALID_SOCKET) throw ESockError(ErrorText(msgNotOpen));
    return CheckError(WinsockAPI->recv(Handle, static_cast<char*>(Buf), Count, 0), wsock::WSAEWOULDBLOCK,
                      msgReceiving);
}

std::int32_t TDatagramSocket::RecvFrom(void* Buf, std::int32_t Count, wsock::sockaddr_in& From) {
    DoInfo(siRecv);
    std::int32_t len = sizeof From;
    return CheckError(WinsockAPI->recvfrom(Handle, static_cast<char*>(Buf), Count, 0, &From, &len),
                      wsock::WSAEWOULDBLOCK, msgReceiving);
}

std::int32_t TDatagramSocket::SendTo(const std::string& Address, const void* Buf, std::int32_t Count) {
    return SendTo(Address, SockCtrl->PortNumber, Buf, Count);
}

std::int32_t TDatagramSocket::SendTo(const std::string& Address, std::uint16_t Port, const void* Buf,
                                     std::int32_t Count) {
    CheckSize(Count);
    std::string host, ip, service;
    if (WinsockAPI->IsIPAddress(Address))
        ip = Address;
    else
        host = Address;
    Resolve(host, Port, service, ip);
    DoInfo(siSend);
    return CheckError(WinsockAPI->sendto(Handle, static_cast<const char*>(Buf), Count, 0, &SockAddr, sizeof SockAddr),
                      wsock::WSAEWOULDBLOCK, msgSending);
}

// ---- class references --------------------------------------------------------------

const TSocketClass TStreamSocketClass{"TStreamSocket", [](TSockCtrl* c) -> TSocketBase* { return new TStreamSocket(c); }};
const TSocketClass TDatagramSocketClass{"TDatagramSocket",
                                        [](TSockCtrl* c) -> TSocketBase* { return new TDatagramSocket(c); }};

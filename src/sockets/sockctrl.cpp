#include "sockets/sockctrl.h"

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "sockets/eventqueue.h"
#include "sockets/wsapi.h"
#include "sockets/wserrors.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

TSockCtrl* TimedList = nullptr;
std::int32_t TimerUsers = 0;

namespace {

Timer* SockTimer = nullptr;

// Host and service names fit fixed buffers of the look-up requests.
constexpr size_t MaxName = 64;

std::string cut255(std::string s) {
    if (s.size() > 255) s.resize(255);
    return s;
}

struct ProtocolEntry {
    const char* name;
    std::int32_t number;
};
const ProtocolEntry Protocols[] = {{"IP", 0},   {"ICMP", 1}, {"GGP", 2}, {"TCP", 6},   {"PUP", 12},
                                   {"UDP", 17}, {"IDP", 22}, {"ND", 77}, {"RAW", 255}};

bool toInteger(const std::string& text, std::int32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || n < INT32_MIN || n > INT32_MAX) return false;
    value = static_cast<std::int32_t>(n);
    return true;
}

}  // namespace

// ---- life ----------------------------------------------------------------------------

TSockCtrl::TSockCtrl() : SocketClass(&TStreamSocketClass) {
    window_ = std::make_unique<MessageWindow>([this](Msg& m) { WndProc(m); });
    Window = window_->handle();
    StartWinsock();
    SetProtocol("tcp");
    ++ControlCount;
}

TSockCtrl::~TSockCtrl() {
    StopTimer();
    delete Socket;
    Socket = nullptr;
    if (AsyncList)
        for (TAsyncInfo* info : *AsyncList) delete info;
    AsyncList.reset();
    PurgeEvents();  // a parked notice never reaches a destroyed control
    window_.reset();
    if (--ControlCount <= 0) StopWinsock();
}

TCustomClientSocket::TCustomClientSocket() { Options = csoRead | csoWrite; }

// ---- properties ----------------------------------------------------------------------

void TSockCtrl::SetAddress(const std::string& Value) {
    Address = cut255(Value);
    if (WinsockStarted() && WinsockAPI->IsIPAddress(Address)) {
        IPAddress = Address;
        HostName.clear();
    } else {
        HostName = Address;
        IPAddress.clear();
    }
}

void TSockCtrl::SetPort(const std::string& Value) {
    Port = cut255(Value);
    std::int32_t number;
    if (tWinsockAPI::IsNumber(Port) && toInteger(Port, number)) {
        PortNumber = static_cast<std::uint16_t>(number & 0xFFFF);
        ServiceName.clear();
        if (WinsockStarted()) {
            try {
                ServiceName = LookupPort(PortNumber);
            } catch (const ESockError&) {
                ServiceName.clear();
            }
        }
    } else {
        ServiceName = Port;
        PortNumber = 0;
        if (WinsockStarted()) {
            try {
                PortNumber = LookupService(Port);
            } catch (const ESockError&) {
                PortNumber = 0;
            }
        }
    }
}

void TSockCtrl::SetProtocol(const std::string& Value) {
    Protocol = cut255(Value);
    std::int32_t number;
    if (toInteger(Protocol, number) && number != -1) {
        ProtocolNumber = number;
        ProtocolName.clear();
        for (const auto& p : Protocols)
            if (p.number == number) ProtocolName = p.name;
    } else {
        ProtocolName = Protocol;
        ProtocolNumber = -1;
        const std::string upper = upperAZ(Protocol);
        for (const auto& p : Protocols)
            if (upper == p.name) ProtocolNumber = p.number;
    }
}

TSocketBase* TSockCtrl::GetSocket() {
    if (!Socket) Socket = CreateSocket();
    return Socket;
}

void TSockCtrl::SetSocketClass(const TSocketClass* Class) {
    if (Class != SocketClass) {
        delete Socket;
        Socket = nullptr;
        SocketClass = Class;
    }
    GetSocket();
}

TSocketBase* TSockCtrl::CreateSocket() {
    if (!SocketClass) throw ESockError(ErrorText(msgNoSocketClass));
    return SocketClass->create(this);
}

// ---- window procedure ----------------------------------------------------------------

void TSockCtrl::WndProc(Msg& msg) {
    if (!Terminated() || msg.message == WM_SOCKCLOSED) {
        try {
            switch (msg.message) {
            case WM_SOCKSELECT:
                if (WaitDepth == 0 && EventQueue.empty())
                    SelectEvent(msg);
                else
                    EventQueue.push_back({msg, this});
                break;
            case WM_SOCKCLOSED: SocketClosed(reinterpret_cast<TSocketBase*>(msg.lParam)); break;
            case WM_SOCKASYNC: AsyncEvent(msg); break;
            case WM_SOCKLOOKUP:
                AsyncHandle = msg.wParam;
                AsyncError = wsock::WSAGETASYNCERROR(msg.lParam);
                AsyncBufLen = wsock::WSAGETASYNCBUFLEN(msg.lParam);
                break;
            default: break;
            }
        } catch (const std::exception& e) {
            showApplicationError(e.what());
        }
        // One parked notice per message handled, in arrival order.
        if (WaitDepth == 0 && !EventQueue.empty()) {
            QueuedEvent node = EventQueue.front();
            EventQueue.pop_front();
            if (!EventQueue.empty()) PostMessage(Window, WM_SOCKRESUME, 0, 0);
            if (node.target) node.target->SelectEvent(node.msg);
        }
    }
    msg.result = 0;
}

void TSockCtrl::PurgeEvents() {
    for (QueuedEvent& e : EventQueue)
        if (e.target == this) e.target = nullptr;
}

void TSockCtrl::SocketClosed(TSocketBase*) { PurgeEvents(); }

void TSockCtrl::AsyncEvent(Msg& msg) {
    if (!AsyncList) return;
    auto it = std::find_if(AsyncList->begin(), AsyncList->end(),
                           [&](TAsyncInfo* i) { return i->TaskHandle == msg.wParam; });
    if (it == AsyncList->end()) return;
    StopTimer();
    TAsyncInfo* info = *it;
    info->Error = wsock::WSAGETASYNCERROR(msg.lParam);
    if (OnAsyncComplete) OnAsyncComplete(this, info);
    AsyncList->erase(std::find(AsyncList->begin(), AsyncList->end(), info));
    delete info;
    if (AsyncList->empty()) AsyncList.reset();
}

// ---- handlers ------------------------------------------------------------------------

void TSockCtrl::HandleClose(TSocketBase*& Socket) { Socket->DoDisconnect(); }
void TSockCtrl::Info(TSocketBase* Socket, TSockInfo Code) { Socket->DoInfo(Code); }
void TSockCtrl::HandleRead(TSocketBase*& Socket) { Socket->DoRead(); }
void TSockCtrl::HandleWrite(TSocketBase*& Socket) { Socket->DoWrite(); }

void TSockCtrl::HandleTimeOut(TSocketBase*& Socket) {
    TimedOut = true;
    Socket->DoTimeOut();
}

void TCustomClientSocket::SelectEvent(Msg& msg) {
    const std::uint16_t event = wsock::WSAGETSELECTEVENT(msg.lParam);
    const std::uint16_t error = wsock::WSAGETSELECTERROR(msg.lParam);
    TSocketBase* s = GetSocket();
    if (msg.wParam != s->Handle) return;  // a late notice of a replaced handle
    s->LastError = error;
    switch (event) {
    case wsock::FD_READ:
        if (!Socket->Connected()) HandleConnect(Socket);
        if (Socket) HandleRead(Socket);
        break;
    case wsock::FD_WRITE: HandleWrite(Socket); break;
    case wsock::FD_CONNECT:
        if (!Socket->Connected()) HandleConnect(Socket);
        break;
    case wsock::FD_CLOSE: HandleClose(Socket); break;
    default: break;
    }
}

void TCustomClientSocket::HandleConnect(TSocketBase*& Socket) {
    StopTimer();
    if (Socket->LastError == 0) {
        Socket->State = ssConnected;
        Info(Socket, siConnected);
    }
    Socket->DoConnect();
}

void TCustomClientSocket::HandleClose(TSocketBase*& Socket) {
    if (Socket->Connected()) StopTimer();
    Socket->DoDisconnect();
}

void TCustomClientSocket::Open(const TSocketClass* Class) {
    if (Socket && Socket->Connected()) throw ESockError(ErrorText(msgAlreadyOpened));
    SetSocketClass(Class);
    Socket->Connect(HostName, Options, PortNumber, ServiceName, IPAddress);
}

// ---- look-ups ------------------------------------------------------------------------

std::uint16_t TSockCtrl::WaitForAsync(wsock::HANDLE TaskHandle) {
    ++WaitDepth;
    AsyncHandle = 0;
    AsyncError = 0;
    AsyncBufLen = 0;
    bool aborted = false;
    while (AsyncHandle != TaskHandle && !TimedOut && !aborted) {
        // Sleeps until a message or event arrives: the reply, a timer tick, input.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (Socket) aborted = Socket->State == ssClosing;
        if (Terminated()) aborted = true;
        if (aborted) {
            TimeLeft = 0;
            WinsockAPI->WSACancelAsyncRequest(TaskHandle);
        }
    }
    if (--WaitDepth >= 0) {
        WaitDepth = 0;
        PostMessage(Window, WM_SOCKRESUME, 0, 0);
    }
    if (AsyncHandle != TaskHandle && TimedOut) {
        AsyncError = wsock::WSAETIMEDOUT;
        WinsockAPI->WSACancelAsyncRequest(TaskHandle);
    }
    // Ended without a reply: a failed look-up, never an unfilled reply taken as found.
    if (AsyncHandle != TaskHandle && AsyncError == 0) AsyncError = wsock::WSAEINTR;
    return AsyncError;
}

std::uint16_t TSockCtrl::lookUp(std::vector<char>& reply, std::int32_t callingMessage,
                                const std::function<wsock::HANDLE(char* buffer)>& request) {
    reply.assign(wsock::MAXGETHOSTSTRUCT, 0);
    StartTimer();
    struct Stop {
        TSockCtrl* c;
        ~Stop() { c->StopTimer(); }
    } stop{this};
    const wsock::HANDLE task = request(reply.data());
    if (task == 0) RaiseSockError(WinsockAPI->WSAGetLastError(), callingMessage);
    return WaitForAsync(task);
}

std::uint32_t TSockCtrl::LookupHost(const std::string& Name) {
    if (Name.size() > MaxName) RaiseSockError(10063, msgFindingAddress);
    std::vector<char> reply;
    const std::uint16_t err = lookUp(reply, msgCallingGetHostByName, [&](char* buffer) {
        return WinsockAPI->WSAAsyncGetHostByName(Window, WM_SOCKLOOKUP, Name.c_str(), buffer, wsock::MAXGETHOSTSTRUCT);
    });
    if (err != 0) RaiseSockError(err, msgFindingAddress);
    std::uint32_t address;
    std::memcpy(&address, reinterpret_cast<const wsock::hostent*>(reply.data())->h_addr_list[0], 4);
    return address;
}

std::uint16_t TSockCtrl::LookupService(const std::string& Name) {
    if (Name.size() > MaxName || ProtocolName.size() > 32) return 0;
    std::vector<char> reply;
    const std::uint16_t err = lookUp(reply, msgCallingGetServByName, [&](char* buffer) {
        return WinsockAPI->WSAAsyncGetServByName(Window, WM_SOCKLOOKUP, Name.c_str(), ProtocolName.c_str(), buffer,
                                                 wsock::MAXGETHOSTSTRUCT);
    });
    if (err != 0) return 0;
    return WinsockAPI->ntohs(static_cast<std::uint16_t>(reinterpret_cast<const wsock::servent*>(reply.data())->s_port));
}

std::string TSockCtrl::LookupPort(std::uint16_t PortNumber) {
    if (ProtocolName.size() > 31) return {};
    std::vector<char> reply;
    const std::uint16_t err = lookUp(reply, msgCallingGetServByPort, [&](char* buffer) {
        return WinsockAPI->WSAAsyncGetServByPort(Window, WM_SOCKLOOKUP, WinsockAPI->htons(PortNumber),
                                                 ProtocolName.c_str(), buffer, wsock::MAXGETHOSTSTRUCT);
    });
    if (err != 0) return {};
    return cut255(reinterpret_cast<const wsock::servent*>(reply.data())->s_name);
}

std::string TSockCtrl::LookupAddress(const std::string& Address) {
    const std::uint32_t address = WinsockAPI->inet_addr(Address.c_str());
    if (address == 0) throw ESockError(ErrorText(msgNoReverseLookup));
    std::vector<char> reply;
    const std::uint16_t err = lookUp(reply, msgCallingGetHostByAddr, [&](char* buffer) {
        return WinsockAPI->WSAAsyncGetHostByAddr(Window, WM_SOCKLOOKUP, reinterpret_cast<const char*>(&address), 4,
                                                 wsock::WS_AF_INET, buffer, wsock::MAXGETHOSTSTRUCT);
    });
    if (err != 0) RaiseSockError(err, msgFindingHost);
    return reinterpret_cast<const wsock::hostent*>(reply.data())->h_name;
}

// ---- time-out timer ------------------------------------------------------------------

void TSockCtrl::StartTimer() {
    if (TimeOut == 0 || !OnTimeOut) return;
    if (Timing) {
        // Already counting (Open again while a timed connect is pending): count anew.
        TimeLeft = TimeOut;
        TimedOut = false;
        return;
    }
    if (!SockTimer) {
        SockTimer = new Timer;
        SockTimer->setInterval(1000);
    }
    PrevTimed = nullptr;
    NextTimed = TimedList;
    if (TimedList) TimedList->PrevTimed = this;
    TimedList = this;
    SockTimer->onTimer = [] {
        if (TimedList) TimedList->TimerTick();
    };
    Timing = true;
    TimeLeft = TimeOut;
    ++TimerUsers;
    TimedOut = false;
    if (TimerUsers == 1) SockTimer->setEnabled(true);
}

void TSockCtrl::StopTimer() {
    if (!Timing) return;
    if (PrevTimed) PrevTimed->NextTimed = NextTimed;
    if (NextTimed) NextTimed->PrevTimed = PrevTimed;
    if (TimedList == this) TimedList = NextTimed;
    --TimerUsers;
    Timing = false;
    if (TimerUsers == 0 && SockTimer) {
        SockTimer->setEnabled(false);
        SockTimer->onTimer = nullptr;
    }
    PrevTimed = nullptr;
    NextTimed = nullptr;
}

void TSockCtrl::TimerTick() {
    if (NextTimed) NextTimed->TimerTick();  // every control ticks, the oldest first
    if (TimeLeft > 0) --TimeLeft;
    if (TimeLeft == 0) {
        StopTimer();
        Info(GetSocket(), siTimedOut);
        HandleTimeOut(Socket);
    }
}

// ---- server --------------------------------------------------------------------------

bool AddressPatternMatches(const std::string& pattern, const std::string& address) {
    auto parts = [](const std::string& s) {
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t dot; (dot = s.find('.', start)) != std::string::npos; start = dot + 1) out.push_back(s.substr(start, dot - start));
        out.push_back(s.substr(start));
        return out;
    };
    const auto p = parts(upperAZ(pattern)), a = parts(upperAZ(address));
    if (p.size() != a.size()) return false;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] != "*" && p[i] != a[i]) return false;
    return true;
}

TCustomBasicServerSocket::TCustomBasicServerSocket() = default;

TCustomBasicServerSocket::~TCustomBasicServerSocket() {
    for (TSocketBase* s : SocketList) delete s;
    SocketList.clear();
}

void TCustomBasicServerSocket::Listen(const TSocketClass* Class, std::int32_t Backlog) {
    SetSocketClass(Class);
    Socket->Listen(HostName, Backlog, PortNumber, ServiceName, IPAddress);
}

bool TCustomBasicServerSocket::AddressAllowed(const std::string& Address) {
    const bool numeric = Address.find_first_not_of("0123456789.") == std::string::npos;
    for (const std::string& pattern : AddressFilter) {
        if (pattern.empty()) continue;
        const bool byNumber = pattern.find_first_not_of("0123456789.*") == std::string::npos;
        if (byNumber && numeric && AddressPatternMatches(pattern, Address)) return true;
        if (!byNumber && !numeric && AddressPatternMatches(pattern, Address)) return true;
    }
    return false;
}

void TCustomBasicServerSocket::HandleAccept(TSocketBase*& Listening) {
    TSocketBase* s = CreateSocket();
    wsock::sockaddr_in peer{};
    std::int32_t len = sizeof peer;
    s->Handle = WinsockAPI->accept(Listening->Handle, &peer, &len);
    if (s->Handle == wsock::INVALID_SOCKET) {
        delete s;
        return;
    }
    s->SockAddr = peer;
    SocketList.push_back(s);
    WinsockAPI->WSAAsyncSelect(s->Handle, Window, WM_SOCKSELECT, wsock::FD_CLOSE | (AcceptOptions & 7));
    s->State = ssConnected;

    const std::string dotted = WinsockAPI->AddressText(peer);
    bool refuse = static_cast<std::int32_t>(SocketList.size()) > MaxSockets;
    std::string name;
    if (!refuse && ReverseLookup) {
        try {
            name = LookupAddress(dotted);
        } catch (const ESockError&) {
        }
        refuse = name.empty();
    }
    if (!refuse && !AddressFilter.empty()) {
        const bool matches = AddressAllowed(dotted) || (!name.empty() && AddressAllowed(name));
        refuse = FilterMode == 1 ? matches : !matches;
    }
    if (refuse) {
        Info(s, siReject);
        HandleReject(s);
    } else {
        Info(s, siAccept);
        s->DoAccept();
    }
}

void TCustomBasicServerSocket::HandleReject(TSocketBase*& Socket) {
    Socket->DoReject();
    Socket->Close();
}

void TCustomBasicServerSocket::SelectEvent(Msg& msg) {
    const std::uint16_t event = wsock::WSAGETSELECTEVENT(msg.lParam);
    const std::uint16_t error = wsock::WSAGETSELECTERROR(msg.lParam);
    if (Socket && msg.wParam == Socket->Handle) {
        Socket->LastError = error;
        if (event == wsock::FD_ACCEPT) HandleAccept(Socket);
        return;
    }
    auto it = std::find_if(SocketList.begin(), SocketList.end(), [&](TSocketBase* s) { return s->Handle == msg.wParam; });
    if (it == SocketList.end()) {
        if (OnInfo) OnInfo(this, siNoSuchSocket, nullptr);
        return;
    }
    TSocketBase* s = *it;
    s->LastError = error;
    switch (event) {
    case wsock::FD_READ: HandleRead(s); break;
    case wsock::FD_WRITE: HandleWrite(s); break;
    case wsock::FD_CLOSE: HandleClose(s); break;
    default: break;
    }
}

void TCustomBasicServerSocket::HandleClose(TSocketBase*& Socket) {
    if (!Socket->Connected()) return;
    StopTimer();
    Socket->DoDisconnect();
}

void TCustomBasicServerSocket::SocketClosed(TSocketBase* Closed) {
    PurgeEvents();
    if (Closed == Socket) return;
    auto it = std::find(SocketList.begin(), SocketList.end(), Closed);
    if (it == SocketList.end()) return;
    SocketList.erase(it);
    delete Closed;
}

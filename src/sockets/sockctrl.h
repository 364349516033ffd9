#pragma once
// The socket control: a hidden window receiving the socket notices, turned into calls on
// the current socket object and into the control's events; look-ups as asynchronous
// requests with a modal wait; one shared one-second time-out timer.
#include "platform/messages.h"
#include "sockets/sockobj.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr std::uint32_t WM_SOCKSELECT = WM_USER + 1111;
constexpr std::uint32_t WM_SOCKCLOSED = WM_USER + 1112;
constexpr std::uint32_t WM_SOCKASYNC = WM_USER + 1113;
constexpr std::uint32_t WM_SOCKLOOKUP = WM_USER + 1114;
constexpr std::uint32_t WM_SOCKRESUME = WM_USER + 1115;

class TSockCtrl;

using TSocketEvent = std::function<void(TSockCtrl* Sender, TSocketBase* Socket)>;
using TSockInfoEvent = std::function<void(TSockCtrl* Sender, TSockInfo icode, TSocketBase* Socket)>;

struct TAsyncInfo {
    wsock::HANDLE TaskHandle = 0;
    std::uint16_t Error = 0;
};
using TSockeTAsyncEvent = std::function<void(TSockCtrl* Sender, TAsyncInfo* AsyncInfo)>;

class TSockCtrl {
public:
    TSockCtrl();
    virtual ~TSockCtrl();
    TSockCtrl(const TSockCtrl&) = delete;
    TSockCtrl& operator=(const TSockCtrl&) = delete;

    // Virtual operations, in slot order.
    virtual void SocketClosed(TSocketBase* Socket);
    virtual void SelectEvent(Msg& msg) = 0;
    virtual void AsyncEvent(Msg& msg);
    virtual std::uint16_t WaitForAsync(wsock::HANDLE TaskHandle);
    virtual TSocketBase* CreateSocket();
    virtual void HandleClose(TSocketBase*& Socket);
    virtual void Info(TSocketBase* Socket, TSockInfo Code);
    virtual void HandleRead(TSocketBase*& Socket);
    virtual void HandleWrite(TSocketBase*& Socket);
    virtual void HandleTimeOut(TSocketBase*& Socket);

    // Properties.
    void SetAddress(const std::string& Value);
    void SetPort(const std::string& Value);
    void SetProtocol(const std::string& Value);
    void SetTimeOut(std::int32_t Value) { TimeOut = Value < 0 ? 0 : Value; }
    const std::string& GetAddress() const { return Address; }
    const std::string& GetPort() const { return Port; }

    TSocketBase* GetSocket();
    void SetSocketClass(const TSocketClass* Class);

    // Look-ups with a modal wait.
    std::uint32_t LookupHost(const std::string& Name);
    std::uint16_t LookupService(const std::string& Name);
    std::string LookupPort(std::uint16_t PortNumber);
    std::string LookupAddress(const std::string& Address);

    void StartTimer();
    void StopTimer();
    void TimerTick();
    void PurgeEvents();

    WindowHandle Window = 0;
    const TSocketClass* SocketClass;
    TSockInfoEvent OnInfo;
    TSocketEvent OnDisconnect;
    TSocketEvent OnRead;
    TSocketEvent OnWrite;
    TSocketEvent OnTimeOut;
    TSockeTAsyncEvent OnAsyncComplete;
    bool TimedOut = false;
    std::unique_ptr<std::vector<TAsyncInfo*>> AsyncList;
    TSockCtrl* PrevTimed = nullptr;
    TSockCtrl* NextTimed = nullptr;
    std::int32_t TimeLeft = 0;
    bool Timing = false;
    std::string HostName;
    std::string IPAddress = "0.0.0.0";
    std::string ServiceName;
    std::uint16_t PortNumber = 0;
    std::string Address;
    std::string Port;
    TSocketBase* Socket = nullptr;
    std::int32_t TimeOut = 0;
    std::string Protocol;
    std::int32_t ProtocolNumber = -1;
    std::string ProtocolName;
    wsock::HANDLE AsyncHandle = 0;
    std::uint16_t AsyncError = 0;
    std::uint16_t AsyncBufLen = 0;

protected:
    void WndProc(Msg& msg);
    // One look-up: a reply buffer, the time-out running around it, the modal wait.
    // Raises the calling message when the request cannot be started; the reply's error.
    std::uint16_t lookUp(std::vector<char>& reply, std::int32_t callingMessage,
                         const std::function<wsock::HANDLE(char* buffer)>& request);

private:
    std::unique_ptr<MessageWindow> window_;
};

class TCustomClientSocket : public TSockCtrl {
public:
    TCustomClientSocket();
    void SelectEvent(Msg& msg) override;
    void HandleClose(TSocketBase*& Socket) override;
    virtual void HandleConnect(TSocketBase*& Socket);

    // Starts a connection with a socket object of the class; returns once the connect
    // is under way.
    void Open(const TSocketClass* Class);

    TSocketEvent OnConnect;
    TAsyncOptions Options = csoRead | csoWrite;
};

// Listens, accepts, limits and filters connections; not used by the program.
class TCustomBasicServerSocket : public TSockCtrl {
public:
    TCustomBasicServerSocket();
    ~TCustomBasicServerSocket() override;
    void SocketClosed(TSocketBase* Socket) override;
    void SelectEvent(Msg& msg) override;
    void HandleClose(TSocketBase*& Socket) override;
    virtual void HandleAccept(TSocketBase*& Socket);
    virtual void HandleReject(TSocketBase*& Socket);
    // Whether any pattern of the address filter matches.
    virtual bool AddressAllowed(const std::string& Address);

    void Listen(const TSocketClass* Class, std::int32_t Backlog = 5);

    std::vector<TSocketBase*> SocketList;
    std::int32_t MaxSockets = 16;
    TAsyncOptions AcceptOptions = csoRead | csoWrite;
    std::vector<std::string> AddressFilter;  // one pattern a line
    std::int32_t FilterMode = 1;             // 1: a matching address is refused; else only those admitted
    bool ReverseLookup = false;
    TSocketEvent OnAccept;
    TSocketEvent OnReject;

private:
    std::string peerName_;  // of the connection being accepted
};

// One pattern against one address or host name, part by part at the "." separators.
bool AddressPatternMatches(const std::string& pattern, const std::string& address);

// The one-second timer shared by all controls, and the controls whose time-out runs.
extern TSockCtrl* TimedList;
extern std::int32_t TimerUsers;

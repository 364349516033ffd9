#pragma once
// Socket objects: one Windows Sockets handle for its owning socket control, its address,
// state and last error, the socket calls, and the row of Do operations through which
// the control's events fire.
#include "platform/winsock.h"

#include <cstdint>
#include <string>

class TSockCtrl;

// Progress codes reported through the control's OnInfo.
enum TSockInfo : std::uint8_t {
    siInactive = 0,
    siLookUp = 1,
    siConnect = 2,
    siConnected = 3,
    siListening = 4,
    siRecv = 5,
    siSend = 6,
    siClosed = 7,
    siTimedOut = 8,
    siAccept = 9,
    siNoSuchSocket = 10,
    siReject = 11,
    siDisconnected = 12,
};
extern const char* const SockInfoText[13];

// The select options of a client control: FD_READ, FD_WRITE, FD_OOB.
enum TAsyncOption : std::uint8_t { csoRead = 1, csoWrite = 2, csoOOB = 4 };
using TAsyncOptions = std::uint8_t;

// Shared by all socket objects for their names.
extern std::int32_t SocketCounter;

enum : std::uint8_t { ssClosed = 0, ssConnected = 1, ssClosing = 2, ssListening = 3 };

class TSocketBase {
public:
    explicit TSocketBase(TSockCtrl* Control);  // Create
    // Closes a valid handle, with no info, event or message.
    virtual ~TSocketBase();
    TSocketBase(const TSocketBase&) = delete;
    TSocketBase& operator=(const TSocketBase&) = delete;

    virtual void DoRead();
    virtual void DoWrite();
    virtual void DoAccept();
    virtual void DoConnect();
    virtual void DoDisconnect();
    virtual void DoInfo(TSockInfo Code);
    virtual void DoTimeOut();
    virtual void DoReject();
    virtual std::string GetName();
    virtual bool Connected() { return State == ssConnected; }
    virtual void SetSockType(std::int32_t Value) { SockType = Value; }
    virtual std::int32_t Send(const void* Buf, std::int32_t Count) = 0;
    virtual std::int32_t Recv(void* Buf, std::int32_t Count) = 0;
    virtual void PrepareSocket() {}
    virtual void Listen(std::string& HostName, std::int32_t Backlog, std::uint16_t Port, std::string& ServiceName,
                        std::string& IPAddress) = 0;
    virtual void Connect(std::string& HostName, TAsyncOptions Options, std::uint16_t Port, std::string& ServiceName,
                         std::string& IPAddress) = 0;
    virtual void Close();

    // The common check after a socket call: SOCKET_ERROR raises for the message code
    // unless the error is the tolerated one (then 0); anything else is the result.
    std::int32_t CheckError(std::int32_t Result, std::int32_t Tolerated, std::int32_t MessageCode);
    void Resolve(std::string& HostName, std::uint16_t& Port, std::string& ServiceName, std::string& IPAddress);
    std::uint16_t BytesAvailable();
    void DrainReads();
    // Binds to SockAddr and writes the local port back to the control.
    void Bind();

    std::int32_t LastError = 0;
    wsock::SOCKET Handle = wsock::INVALID_SOCKET;
    TSockCtrl* SockCtrl;
    wsock::sockaddr_in SockAddr{};
    std::uint8_t State = ssClosed;
    std::int32_t SockType = wsock::WS_SOCK_STREAM;
    std::string Name;
};

class TStreamSocket : public TSocketBase {
public:
    using TSocketBase::TSocketBase;
    void SetSockType(std::int32_t Value) override;
    std::int32_t Send(const void* Buf, std::int32_t Count) override;
    std::int32_t Recv(void* Buf, std::int32_t Count) override;
    void Listen(std::string& HostName, std::int32_t Backlog, std::uint16_t Port, std::string& ServiceName,
                std::string& IPAddress) override;
    void Connect(std::string& HostName, TAsyncOptions Options, std::uint16_t Port, std::string& ServiceName,
                 std::string& IPAddress) override;
    void Close() override;

protected:
    // The stream socket's own transfers, which the buffered socket calls directly.
    std::int32_t StreamSend(const void* Buf, std::int32_t Count);
    std::int32_t StreamRecv(void* Buf, std::int32_t Count);
};

// UDP; not used by the program.
class TDatagramSocket : public TSocketBase {
public:
    explicit TDatagramSocket(TSockCtrl* Control);
    void SetSockType(std::int32_t Value) override { SockType = Value; }
    std::int32_t Send(const void* Buf, std::int32_t Count) override;
    std::int32_t Recv(void* Buf, std::int32_t Count) override;
    void Listen(std::string& HostName, std::int32_t Backlog, std::uint16_t Port, std::string& ServiceName,
                std::string& IPAddress) override;
    void Connect(std::string& HostName, TAsyncOptions Options, std::uint16_t Port, std::string& ServiceName,
                 std::string& IPAddress) override;
    void Close() override;
    virtual std::int32_t SendTo(const std::string& Address, const void* Buf, std::int32_t Count);
    virtual std::int32_t SendTo(const std::string& Address, std::uint16_t Port, const void* Buf, std::int32_t Count);
    virtual std::int32_t RecvFrom(void* Buf, std::int32_t Count, wsock::sockaddr_in& From);

private:
    void CheckSize(std::int32_t Count);
    void OpenHandle();
};

// A class reference: how a control makes socket objects of one class.
struct TSocketClass {
    const char* name;
    TSocketBase* (*create)(TSockCtrl* Control);
};
extern const TSocketClass TStreamSocketClass;
extern const TSocketClass TDatagramSocketClass;

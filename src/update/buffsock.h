#pragma once
// The buffered client socket: a read buffer and a write buffer between the program and
// an asynchronous stream socket, taken from and added to as bytes, blocks, records or
// lines, with events when a buffer empties, fills or changes through traffic.
#include "platform/errors.h"
#include "sockets/sockctrl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QIODevice;
class TBufferedSocketBase;

class EBufferedSocketException : public Exception {
public:
    using Exception::Exception;
};

using TBufferedSocketNotifyEvent = std::function<void(TBufferedSocketBase* socket)>;

// The largest 32-bit signed value: no complete delimiter held.
constexpr std::int32_t NotFound = 2147483647;

class TBufferedSocketBase : public TStreamSocket {
public:
    explicit TBufferedSocketBase(TSockCtrl* Control);
    ~TBufferedSocketBase() override;

    void DoRead() override;
    void DoWrite() override;
    std::int32_t Send(const void* Buf, std::int32_t Count) override;
    std::int32_t Recv(void* Buf, std::int32_t Count) override;
    void Close() override;

    virtual void DoReadBufferEmpty();
    virtual void DoReadBufferFull();
    virtual void DoWriteBufferEmpty();
    virtual void DoWriteBufferFull();
    virtual void DoWriteBufferChange();
    virtual void DoReadBufferChange();
    virtual void DoFileSent();
    virtual void DoFileReceived();
    virtual std::int32_t BufRead(void* Buf, std::uint32_t Count);
    virtual std::int32_t BufReadToStream(QIODevice* Stream, std::uint32_t Count);
    virtual bool BufReadBlock(void* Buf, std::uint32_t Count);
    virtual bool BufReadRecord(void* Buf);
    virtual std::int32_t BufWrite(const void* Buf, std::uint32_t Count);
    virtual std::int32_t BufWriteFromStream(QIODevice* Stream, std::uint32_t Count);
    virtual bool BufWriteBlock(const void* Buf, std::uint32_t Count);
    virtual bool BufWriteRecord(const void* Buf);
    virtual bool ReadLine(std::string& S, const std::string& Delimiter, bool KeepDelimiter);
    virtual bool WriteLine(const std::string& S, const std::string& Delimiter);
    virtual bool ReadLineBuf(char* Buf, std::uint32_t BufSize, const std::string& Delimiter, bool KeepDelimiter);
    virtual bool WriteLineBuf(const char* Text, const std::string& Delimiter);
    virtual void FlushWriteBuffer();
    virtual void FillReadBuffer();

    void SetReadBufferSize(std::uint32_t NewSize);
    void SetWriteBufferSize(std::uint32_t NewSize);
    void SetRecordSize(std::uint32_t NewSize);
    std::uint32_t ReadBufferFree() const { return ReadBufferSize - ReadCount; }
    std::uint32_t WriteBufferFree() const { return WriteBufferSize - WriteCount; }
    void PullUpReadBuffer(std::uint32_t N);
    void PullUpWriteBuffer(std::uint32_t N);
    std::int32_t FindInReadBuffer(std::uint32_t Start, const std::string& Delimiter) const;

    // File transfer through the buffers. Sending refills the write buffer from the stream
    // after each send and fires OnFileSent once the stream is exhausted and the buffer
    // empty; receiving moves arriving bytes into the stream up to the expected size and
    // then fires OnFileReceived. An owned stream is freed when the transfer ends, also
    // by Close.
    void SendFile(QIODevice* Stream, bool Owned);
    void ReceiveFile(QIODevice* Stream, std::uint32_t Size, bool Owned);

    TBufferedSocketNotifyEvent OnWriteBufferEmpty;
    TBufferedSocketNotifyEvent OnWriteBufferFull;
    TBufferedSocketNotifyEvent OnReadBufferEmpty;
    TBufferedSocketNotifyEvent OnReadBufferFull;
    TBufferedSocketNotifyEvent OnWriteBufferChange;
    TBufferedSocketNotifyEvent OnReadBufferChange;
    TBufferedSocketNotifyEvent OnFileSent;
    TBufferedSocketNotifyEvent OnFileReceived;
    bool OwnsSendStream = false;
    bool OwnsReceiveStream = false;
    bool SendingFile = false;
    bool ReceivingFile = false;
    std::unique_ptr<char[]> ReadBuffer;
    std::unique_ptr<char[]> WriteBuffer;
    std::uint32_t ReadBufferSize = 1024;
    std::uint32_t WriteBufferSize = 1024;
    std::uint32_t ReadCount = 0;
    std::uint32_t WriteCount = 0;
    std::uint32_t RecordSize = 16;
    QIODevice* ReceiveStream = nullptr;
    QIODevice* SendStream = nullptr;
    std::uint32_t ReceiveSize = 0;  // bytes still expected

private:
    static void resize(std::unique_ptr<char[]>& buffer, std::uint32_t& size, std::uint32_t count, std::uint32_t newSize);
    void refillFromSendStream();
    void moveToReceiveStream();
    void endSend();
    void endReceive();
};

class TBufferedSocket : public TBufferedSocketBase {
public:
    using TBufferedSocketBase::TBufferedSocketBase;
    virtual std::int32_t Read(void* Buf, std::uint32_t Count) { return BufRead(Buf, Count); }
    virtual std::int32_t ReadToStream(QIODevice* Stream, std::uint32_t Count) { return BufReadToStream(Stream, Count); }
    virtual bool ReadBlock(void* Buf, std::uint32_t Count) { return BufReadBlock(Buf, Count); }
    virtual bool ReadRecord(void* Buf) { return BufReadRecord(Buf); }
    virtual std::int32_t Write(const void* Buf, std::uint32_t Count) { return BufWrite(Buf, Count); }
    virtual std::int32_t WriteFromStream(QIODevice* Stream, std::uint32_t Count) {
        return BufWriteFromStream(Stream, Count);
    }
    virtual bool WriteBlock(const void* Buf, std::uint32_t Count) { return BufWriteBlock(Buf, Count); }
    virtual bool WriteRecord(const void* Buf) { return BufWriteRecord(Buf); }
};

extern const TSocketClass TBufferedSocketBaseClass;
extern const TSocketClass TBufferedSocketClass;

class TBufferedClientBase : public TCustomClientSocket {
public:
    TBufferedClientBase();
    TSocketBase* CreateSocket() override;

    TBufferedSocketNotifyEvent OnWriteBufferEmpty;
    TBufferedSocketNotifyEvent OnReadBufferEmpty;
    TBufferedSocketNotifyEvent OnWriteBufferFull;
    TBufferedSocketNotifyEvent OnReadBufferFull;
    TBufferedSocketNotifyEvent OnWriteBufferChange;
    TBufferedSocketNotifyEvent OnReadBufferChange;
    TBufferedSocketNotifyEvent OnFileSent;
    TBufferedSocketNotifyEvent OnFileReceived;
    std::uint32_t ReadBufferSize = 1024;
    std::uint32_t WriteBufferSize = 1024;
    std::uint32_t RecordSize = 16;
};

// The buffered client with its properties published; the main window's HttpClient.
class TBinaryClient : public TBufferedClientBase {
public:
    using TBufferedClientBase::TBufferedClientBase;
};

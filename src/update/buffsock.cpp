#include "update/buffsock.h"

#include "sockets/wserrors.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

const char* const TextSendRecv = "Recv or Send cannot be called on a buffered socket.";
const char* const TextSizeChange = "Cannot change buffer size - data will be lost.";
const char* const TextPullUp = "Cannot pull up buffer - amount to pull up larger than total buffer.";
const char* const TextReadFull = "Read buffer full, user did not flush";
const char* const TextWriteFull = "Write buffer full, user did not flush";
const char* const TextBlockSize = "Block size is larger than buffer size.";
const char* const TextZeroBlock = "Cannot read block/record - size is zero.";

void fire(const TBufferedSocketNotifyEvent& event, TBufferedSocketBase* socket) {
    if (event) event(socket);
}

std::unique_ptr<char[]> zeroed(std::uint32_t size) { return std::make_unique<char[]>(size); }

}  // namespace

TBufferedSocketBase::TBufferedSocketBase(TSockCtrl* Control)
    : TStreamSocket(Control), ReadBuffer(zeroed(1024)), WriteBuffer(zeroed(1024)) {}

TBufferedSocketBase::~TBufferedSocketBase() {
    endSend();
    endReceive();
}

void TBufferedSocketBase::DoRead() {
    FillReadBuffer();
    TStreamSocket::DoRead();
}

void TBufferedSocketBase::DoWrite() {
    FlushWriteBuffer();
    TStreamSocket::DoWrite();
}

std::int32_t TBufferedSocketBase::Send(const void*, std::int32_t) { throw EBufferedSocketException(TextSendRecv); }
std::int32_t TBufferedSocketBase::Recv(void*, std::int32_t) { throw EBufferedSocketException(TextSendRecv); }

void TBufferedSocketBase::Close() {
    TStreamSocket::Close();
    endSend();
    endReceive();
}

void TBufferedSocketBase::DoReadBufferEmpty() { fire(OnReadBufferEmpty, this); }

void TBufferedSocketBase::DoReadBufferFull() {
    fire(OnReadBufferFull, this);
    if (ReadCount >= ReadBufferSize) throw EBufferedSocketException(TextReadFull);
}

void TBufferedSocketBase::DoWriteBufferEmpty() {
    if (SendingFile && SendStream->atEnd()) {
        endSend();
        DoFileSent();
    }
    fire(OnWriteBufferEmpty, this);
}

void TBufferedSocketBase::DoWriteBufferFull() { fire(OnWriteBufferFull, this); }
void TBufferedSocketBase::DoWriteBufferChange() { fire(OnWriteBufferChange, this); }
void TBufferedSocketBase::DoReadBufferChange() { fire(OnReadBufferChange, this); }
void TBufferedSocketBase::DoFileSent() { fire(OnFileSent, this); }
void TBufferedSocketBase::DoFileReceived() { fire(OnFileReceived, this); }

// ---- sizes ---------------------------------------------------------------------------

void TBufferedSocketBase::resize(std::unique_ptr<char[]>& buffer, std::uint32_t& size, std::uint32_t count,
                                 std::uint32_t newSize) {
    // A buffer of no bytes could never hold anything; it is refused like a size that
    // would lose data.
    if (newSize < count || newSize == 0) throw EBufferedSocketException(TextSizeChange);
    if (newSize == size) return;
    auto fresh = zeroed(newSize);
    std::memcpy(fresh.get(), buffer.get(), count);
    buffer = std::move(fresh);
    size = newSize;
}

void TBufferedSocketBase::SetReadBufferSize(std::uint32_t NewSize) { resize(ReadBuffer, ReadBufferSize, ReadCount, NewSize); }

void TBufferedSocketBase::SetWriteBufferSize(std::uint32_t NewSize) {
    resize(WriteBuffer, WriteBufferSize, WriteCount, NewSize);
}

void TBufferedSocketBase::SetRecordSize(std::uint32_t NewSize) {
    if (NewSize > WriteBufferSize || NewSize > ReadBufferSize) throw EBufferedSocketException(TextSizeChange);
    RecordSize = NewSize;
}

void TBufferedSocketBase::PullUpReadBuffer(std::uint32_t N) {
    if (N > ReadBufferSize) throw EBufferedSocketException(TextPullUp);
    N = std::min(N, ReadCount);  // no more than is held
    std::memmove(ReadBuffer.get(), ReadBuffer.get() + N, ReadCount - N);
    ReadCount -= N;
    if (ReadCount == 0) DoReadBufferEmpty();
}

void TBufferedSocketBase::PullUpWriteBuffer(std::uint32_t N) {
    if (N > WriteBufferSize) throw EBufferedSocketException(TextPullUp);
    N = std::min(N, WriteCount);
    std::memmove(WriteBuffer.get(), WriteBuffer.get() + N, WriteCount - N);
    WriteCount -= N;
    if (WriteCount == 0) DoWriteBufferEmpty();
}

// ---- network -------------------------------------------------------------------------

void TBufferedSocketBase::FillReadBuffer() {
    try {
        // A buffer that is full already cannot take what the notice announced.
        if (ReadBufferFree() == 0) DoReadBufferFull();
        std::int32_t n;
        do {
            n = StreamRecv(ReadBuffer.get() + ReadCount, static_cast<std::int32_t>(ReadBufferFree()));
            if (n > 0) {
                ReadCount += static_cast<std::uint32_t>(n);
                DoReadBufferChange();
                if (ReceivingFile) moveToReceiveStream();
                if (ReadCount == ReadBufferSize) DoReadBufferFull();
            }
        } while (n > 0 && Connected() && ReadBufferFree() > 0);
    } catch (const ESockError&) {
        if (LastError != wsock::WSAECONNRESET) throw;
        DoDisconnect();
    }
}

void TBufferedSocketBase::FlushWriteBuffer() {
    if (WriteCount == 0) return;
    try {
        std::int32_t n;
        do {
            n = StreamSend(WriteBuffer.get(), static_cast<std::int32_t>(WriteCount));
            if (n > 0) {
                PullUpWriteBuffer(static_cast<std::uint32_t>(n));
                DoWriteBufferChange();
                if (SendingFile) refillFromSendStream();
            }
        } while (n > 0 && WriteCount > 0);
    } catch (const ESockError&) {
        if (LastError != wsock::WSAECONNRESET) throw;
        DoDisconnect();
    }
}

// ---- taking bytes --------------------------------------------------------------------

std::int32_t TBufferedSocketBase::BufRead(void* Buf, std::uint32_t Count) {
    const std::uint32_t n = std::min(Count, ReadCount);
    if (n > 0) {
        std::memcpy(Buf, ReadBuffer.get(), n);
        PullUpReadBuffer(n);
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t TBufferedSocketBase::BufReadToStream(QIODevice* Stream, std::uint32_t Count) {
    const std::uint32_t n = std::min(Count, ReadCount);
    if (n > 0) {
        Stream->write(ReadBuffer.get(), n);
        PullUpReadBuffer(n);
    }
    return static_cast<std::int32_t>(n);
}

bool TBufferedSocketBase::BufReadBlock(void* Buf, std::uint32_t Count) {
    if (Count > ReadBufferSize) throw EBufferedSocketException(TextBlockSize);
    if (Count > ReadCount) return false;
    if (Count == 0) throw EBufferedSocketException(TextZeroBlock);
    std::memcpy(Buf, ReadBuffer.get(), Count);
    PullUpReadBuffer(Count);
    return true;
}

bool TBufferedSocketBase::BufReadRecord(void* Buf) { return BufReadBlock(Buf, RecordSize); }

// ---- adding bytes --------------------------------------------------------------------

std::int32_t TBufferedSocketBase::BufWrite(const void* Buf, std::uint32_t Count) {
    if (Count > WriteBufferSize) throw EBufferedSocketException(TextWriteFull);
    const std::uint32_t n = std::min(Count, WriteBufferFree());
    std::memcpy(WriteBuffer.get() + WriteCount, Buf, n);
    WriteCount += n;
    if (WriteCount == WriteBufferSize) DoWriteBufferFull();
    return static_cast<std::int32_t>(n);
}

std::int32_t TBufferedSocketBase::BufWriteFromStream(QIODevice* Stream, std::uint32_t Count) {
    if (Count > WriteBufferSize) throw EBufferedSocketException(TextWriteFull);
    const std::uint32_t want = std::min(Count, WriteBufferFree());
    const qint64 got = Stream->read(WriteBuffer.get() + WriteCount, want);
    const std::uint32_t n = got > 0 ? static_cast<std::uint32_t>(got) : 0;
    WriteCount += n;
    if (WriteCount == WriteBufferSize) DoWriteBufferFull();
    return static_cast<std::int32_t>(n);
}

bool TBufferedSocketBase::BufWriteBlock(const void* Buf, std::uint32_t Count) {
    if (Count > WriteBufferFree()) throw EBufferedSocketException(TextBlockSize);
    if (Count == 0) return true;
    std::memcpy(WriteBuffer.get() + WriteCount, Buf, Count);
    WriteCount += Count;
    if (WriteCount == WriteBufferSize) DoWriteBufferFull();
    return true;
}

bool TBufferedSocketBase::BufWriteRecord(const void* Buf) { return BufWriteBlock(Buf, RecordSize); }

// ---- lines ---------------------------------------------------------------------------

std::int32_t TBufferedSocketBase::FindInReadBuffer(std::uint32_t Start, const std::string& Delimiter) const {
    if (!ReadBuffer || Start >= ReadCount || Delimiter.empty()) return NotFound;
    const char* begin = ReadBuffer.get();
    const char* end = begin + ReadCount;
    const char* at = std::search(begin + Start, end, Delimiter.begin(), Delimiter.end());
    if (at == end) return NotFound;
    return static_cast<std::int32_t>(at - begin + static_cast<std::ptrdiff_t>(Delimiter.size()));
}

bool TBufferedSocketBase::ReadLine(std::string& S, const std::string& Delimiter, bool KeepDelimiter) {
    const std::int32_t n = FindInReadBuffer(0, Delimiter);
    if (n == NotFound) return false;
    std::string line(ReadBuffer.get(), static_cast<size_t>(n));
    PullUpReadBuffer(static_cast<std::uint32_t>(n));
    if (!KeepDelimiter) line.resize(line.size() - Delimiter.size());
    S = std::move(line);
    return true;
}

bool TBufferedSocketBase::ReadLineBuf(char* Buf, std::uint32_t BufSize, const std::string& Delimiter,
                                      bool KeepDelimiter) {
    const std::int32_t n = FindInReadBuffer(0, Delimiter);
    if (n == NotFound || BufSize == 0 || static_cast<std::uint32_t>(n) > BufSize - 1) return false;
    const size_t length = KeepDelimiter ? static_cast<size_t>(n) : static_cast<size_t>(n) - Delimiter.size();
    std::memcpy(Buf, ReadBuffer.get(), length);
    Buf[length] = '\0';
    PullUpReadBuffer(static_cast<std::uint32_t>(n));
    return true;
}

bool TBufferedSocketBase::WriteLine(const std::string& S, const std::string& Delimiter) {
    if (WriteBufferFree() < S.size() + Delimiter.size()) return false;
    bool done = BufWriteBlock(S.data(), static_cast<std::uint32_t>(S.size()));
    if (done && !Delimiter.empty()) done = BufWriteBlock(Delimiter.data(), static_cast<std::uint32_t>(Delimiter.size()));
    return done;
}

bool TBufferedSocketBase::WriteLineBuf(const char* Text, const std::string& Delimiter) {
    return WriteLine(std::string(Text), Delimiter);
}

// ---- file transfer -------------------------------------------------------------------

void TBufferedSocketBase::SendFile(QIODevice* Stream, bool Owned) {
    endSend();
    SendStream = Stream;
    OwnsSendStream = Owned;
    SendingFile = true;
    refillFromSendStream();
    if (WriteCount == 0) {
        // Nothing to send: done at once.
        endSend();
        DoFileSent();
        return;
    }
    FlushWriteBuffer();
}

void TBufferedSocketBase::ReceiveFile(QIODevice* Stream, std::uint32_t Size, bool Owned) {
    endReceive();
    ReceiveStream = Stream;
    OwnsReceiveStream = Owned;
    ReceiveSize = Size;
    ReceivingFile = true;
    moveToReceiveStream();
}

void TBufferedSocketBase::refillFromSendStream() {
    const qint64 left = SendStream->bytesAvailable();
    if (left > 0 && WriteBufferFree() > 0)
        BufWriteFromStream(SendStream, static_cast<std::uint32_t>(std::min<qint64>(left, WriteBufferFree())));
}

void TBufferedSocketBase::moveToReceiveStream() {
    if (ReceiveSize > 0 && ReadCount > 0)
        ReceiveSize -= static_cast<std::uint32_t>(BufReadToStream(ReceiveStream, ReceiveSize));
    if (ReceivingFile && ReceiveSize == 0) {
        endReceive();
        DoFileReceived();
    }
}

void TBufferedSocketBase::endSend() {
    if (OwnsSendStream) delete SendStream;
    SendStream = nullptr;
    OwnsSendStream = false;
    SendingFile = false;
}

void TBufferedSocketBase::endReceive() {
    if (OwnsReceiveStream) delete ReceiveStream;
    ReceiveStream = nullptr;
    OwnsReceiveStream = false;
    ReceivingFile = false;
    ReceiveSize = 0;
}

// ---- the component -------------------------------------------------------------------

const TSocketClass TBufferedSocketBaseClass{
    "TBufferedSocketBase", [](TSockCtrl* c) -> TSocketBase* { return new TBufferedSocketBase(c); }};
const TSocketClass TBufferedSocketClass{"TBufferedSocket",
                                        [](TSockCtrl* c) -> TSocketBase* { return new TBufferedSocket(c); }};

TBufferedClientBase::TBufferedClientBase() = default;

TSocketBase* TBufferedClientBase::CreateSocket() {
    TSocketBase* made = TCustomClientSocket::CreateSocket();
    auto* s = dynamic_cast<TBufferedSocketBase*>(made);
    if (!s) {
        delete made;
        throw Exception("Invalid class typecast");
    }
    try {
        s->OnWriteBufferEmpty = OnWriteBufferEmpty;
        s->OnReadBufferEmpty = OnReadBufferEmpty;
        s->OnWriteBufferFull = OnWriteBufferFull;
        s->OnReadBufferFull = OnReadBufferFull;
        s->OnWriteBufferChange = OnWriteBufferChange;
        s->OnReadBufferChange = OnReadBufferChange;
        s->OnFileSent = OnFileSent;
        s->OnFileReceived = OnFileReceived;
        s->SetReadBufferSize(ReadBufferSize);
        s->SetWriteBufferSize(WriteBufferSize);
        s->SetRecordSize(RecordSize);
    } catch (...) {
        delete s;
        throw;
    }
    return s;
}

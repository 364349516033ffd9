// The buffered client socket: buffers, blocks, records, lines, events and file transfer,
// over real loopback connections where data moves.
#include "support/expect.h"
#include "support/peer.h"
#include "update/buffsock.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts held within their sizes, record size within both.
void checkInvariants(const TBufferedSocketBase& s) {
    EXPECT_LE(s.ReadCount, s.ReadBufferSize);
    EXPECT_LE(s.WriteCount, s.WriteBufferSize);
    EXPECT_LE(s.RecordSize, s.ReadBufferSize);
    EXPECT_LE(s.RecordSize, s.WriteBufferSize);
}

std::string held(const TBufferedSocketBase& s) { return std::string(s.ReadBuffer.get(), s.ReadCount); }
std::string pending(const TBufferedSocketBase& s) { return std::string(s.WriteBuffer.get(), s.WriteCount); }

// Puts bytes into the read buffer as if they had arrived.
void arrive(TBufferedSocketBase& s, const std::string& bytes) {
    ASSERT_LE(bytes.size(), s.ReadBufferFree());
    std::memcpy(s.ReadBuffer.get() + s.ReadCount, bytes.data(), bytes.size());
    s.ReadCount += static_cast<std::uint32_t>(bytes.size());
}

class Buffered : public ::testing::Test {
protected:
    TBinaryClient client;
    std::vector<std::string> events;
    std::vector<std::string> errors;

    void SetUp() override {
        setApplicationErrorSink([this](const std::string& t) { errors.push_back(t); });
        auto note = [this](const char* name) {
            return [this, name](TBufferedSocketBase* s) {
                EXPECT_EQ(s, client.Socket);
                events.push_back(name);
            };
        };
        client.OnReadBufferEmpty = note("read empty");
        client.OnReadBufferFull = note("read full");
        client.OnWriteBufferEmpty = note("write empty");
        client.OnWriteBufferFull = note("write full");
        client.OnWriteBufferChange = note("write change");
        client.OnReadBufferChange = note("read change");
        client.OnFileSent = note("file sent");
        client.OnFileReceived = note("file received");
    }
    void TearDown() override { setApplicationErrorSink(nullptr); }

    TBufferedSocket& socket(std::uint32_t readSize = 32, std::uint32_t writeSize = 32) {
        client.ReadBufferSize = readSize;
        client.WriteBufferSize = writeSize;
        client.SetSocketClass(&TBufferedSocketClass);
        return static_cast<TBufferedSocket&>(*client.Socket);
    }

    TBufferedSocket& connected(LoopbackPeer& peer, std::uint32_t readSize = 32, std::uint32_t writeSize = 32) {
        client.ReadBufferSize = readSize;
        client.WriteBufferSize = writeSize;
        client.SetAddress("127.0.0.1");
        client.SetPort(std::to_string(peer.port()));
        client.Open(&TBufferedSocketClass);
        EXPECT_TRUE(peer.accept());
        EXPECT_TRUE(pumpUntil([&] { return client.Socket->Connected(); }));
        events.clear();
        return static_cast<TBufferedSocket&>(*client.Socket);
    }
};

}  // namespace

TEST_F(Buffered, CreatedWithTheComponentsSizesAndEvents) {
    client.ReadBufferSize = 8;
    client.WriteBufferSize = 8;
    client.RecordSize = 4;  // applied after the sizes: up to the new sizes is accepted
    TBufferedSocket& s = socket(8, 8);
    EXPECT_EQ(s.ReadBufferSize, 8u);
    EXPECT_EQ(s.RecordSize, 4u);
    EXPECT_TRUE(static_cast<bool>(s.OnFileSent));
    checkInvariants(s);
    for (std::uint32_t i = 0; i < s.ReadBufferSize; ++i) EXPECT_EQ(s.ReadBuffer[i], 0);

    TBinaryClient other;
    other.RecordSize = 2000;
    EXPECT_ERROR(other.Open(&TBufferedSocketClass), EBufferedSocketException,
                 "Cannot change buffer size - data will be lost.");
    TBinaryClient plain;
    EXPECT_ERROR(plain.SetSocketClass(&TStreamSocketClass), Exception, "Invalid class typecast");
}

TEST_F(Buffered, SendAndRecvAreRefused) {
    TBufferedSocket& s = socket();
    char b[4];
    EXPECT_ERROR(s.Send(b, 4), EBufferedSocketException, "Recv or Send cannot be called on a buffered socket.");
    EXPECT_ERROR(s.Recv(b, 4), EBufferedSocketException, "Recv or Send cannot be called on a buffered socket.");
}

TEST_F(Buffered, BlockReads) {
    TBufferedSocket& s = socket();
    arrive(s, "0123456789");
    char b[64] = {};
    EXPECT_FALSE(s.ReadBlock(b, 11));  // not complete yet
    EXPECT_EQ(held(s), "0123456789");
    EXPECT_ERROR(s.ReadBlock(b, 33), EBufferedSocketException, "Block size is larger than buffer size.");
    EXPECT_ERROR(s.ReadBlock(b, 0), EBufferedSocketException, "Cannot read block/record - size is zero.");
    EXPECT_TRUE(s.ReadBlock(b, 4));
    EXPECT_EQ(std::string(b, 4), "0123");
    EXPECT_EQ(held(s), "456789");  // held bytes start at the first byte
    s.SetRecordSize(6);
    EXPECT_TRUE(s.ReadRecord(b));
    EXPECT_EQ(std::string(b, 6), "456789");
    EXPECT_EQ(events, std::vector<std::string>{"read empty"});
    checkInvariants(s);
}

TEST_F(Buffered, ByteReadsAndTheEmptyEventOnce) {
    TBufferedSocket& s = socket();
    arrive(s, "abc");
    char b[8];
    EXPECT_EQ(s.Read(b, 2), 2);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(s.Read(b, 8), 1);
    EXPECT_EQ(s.Read(b, 8), 0);
    EXPECT_EQ(events, std::vector<std::string>{"read empty"});
    arrive(s, "xyz");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_EQ(s.ReadToStream(&out, 2), 2);
    EXPECT_EQ(out.data(), "xy");
}

TEST_F(Buffered, BlockWritesAgainstByteWrites) {
    TBufferedSocket& s = socket();
    const std::string sixteen(16, 'a'), twenty(20, 'b');
    EXPECT_TRUE(s.WriteBlock(sixteen.data(), 16));
    EXPECT_ERROR(s.WriteBlock(twenty.data(), 20), EBufferedSocketException, "Block size is larger than buffer size.");
    EXPECT_EQ(s.WriteCount, 16u);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(s.Write(twenty.data(), 20), 16);
    EXPECT_EQ(events, std::vector<std::string>{"write full"});
    const std::string big(33, 'c');
    EXPECT_ERROR(s.Write(big.data(), 33), EBufferedSocketException, "Write buffer full, user did not flush");
    EXPECT_TRUE(s.WriteBlock("", 0));
    EXPECT_EQ(pending(s), sixteen + std::string(16, 'b'));
    checkInvariants(s);
}

TEST_F(Buffered, WriteFromStreamAndRecords) {
    TBufferedSocket& s = socket();
    QBuffer in;
    in.setData("0123456789");
    in.open(QIODevice::ReadOnly);
    EXPECT_EQ(s.WriteFromStream(&in, 4), 4);
    EXPECT_EQ(pending(s), "0123");
    s.SetRecordSize(3);
    EXPECT_TRUE(s.WriteRecord("xyz"));
    EXPECT_EQ(pending(s), "0123xyz");
}

TEST_F(Buffered, Lines) {
    TBufferedSocket& s = socket();
    std::string line = "unchanged";
    arrive(s, "ab\r");
    EXPECT_FALSE(s.ReadLine(line, "\r\n", false));
    EXPECT_EQ(line, "unchanged");
    EXPECT_EQ(held(s), "ab\r");
    arrive(s, "\r\nnext\r\n");
    EXPECT_TRUE(s.ReadLine(line, "\r\n", false));
    EXPECT_EQ(line, "ab\r");
    EXPECT_TRUE(s.ReadLine(line, "\r\n", true));
    EXPECT_EQ(line, "next\r\n");
    EXPECT_EQ(s.ReadCount, 0u);

    arrive(s, "abc\r\nrest");
    EXPECT_EQ(s.FindInReadBuffer(0, "\r\n"), 5);
    EXPECT_EQ(s.FindInReadBuffer(4, "\r\n"), NotFound);  // only a part of it from there
    EXPECT_EQ(s.FindInReadBuffer(9, "t"), NotFound);     // start not below the count
    EXPECT_EQ(s.FindInReadBuffer(0, "R"), NotFound);     // letter case counts
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(s.ReadLineBuf(buf, 4, "\r\n", false));
    EXPECT_EQ(s.ReadCount, 9u);
    EXPECT_TRUE(s.ReadLineBuf(buf, 6, "\r\n", false));
    EXPECT_EQ(std::string(buf, 4), std::string("abc\0", 4));
    EXPECT_EQ(held(s), "rest");

    EXPECT_TRUE(s.WriteLine("GET", "\r\n"));
    EXPECT_TRUE(s.WriteLineBuf("x", ""));
    EXPECT_EQ(pending(s), "GET\r\nx");
    EXPECT_FALSE(s.WriteLine(std::string(26, 'y'), "\r\n"));  // 28 would not fit in 26 free
    EXPECT_EQ(pending(s), "GET\r\nx");
    checkInvariants(s);
}

TEST_F(Buffered, SizeChanges) {
    TBufferedSocket& s = socket();
    arrive(s, "0123456789");
    EXPECT_ERROR(s.SetReadBufferSize(9), EBufferedSocketException, "Cannot change buffer size - data will be lost.");
    EXPECT_EQ(s.ReadBufferSize, 32u);
    const char* before = s.ReadBuffer.get();
    s.SetReadBufferSize(32);
    EXPECT_EQ(s.ReadBuffer.get(), before);  // nothing done
    s.SetReadBufferSize(100);
    EXPECT_EQ(held(s), "0123456789");
    EXPECT_EQ(s.ReadBuffer[99], 0);
    s.SetReadBufferSize(10);
    EXPECT_EQ(held(s), "0123456789");
    EXPECT_ERROR(s.SetRecordSize(11), EBufferedSocketException, "Cannot change buffer size - data will be lost.");
    s.SetRecordSize(10);
    EXPECT_ERROR(s.PullUpReadBuffer(11), EBufferedSocketException,
                 "Cannot pull up buffer - amount to pull up larger than total buffer.");
    // More than is held but within the buffer: what is held goes, and no more.
    s.SetReadBufferSize(32);
    s.PullUpReadBuffer(4);
    EXPECT_EQ(held(s), "456789");
    s.PullUpReadBuffer(20);
    EXPECT_EQ(s.ReadCount, 0u);
    s.BufWriteBlock("abc", 3);
    s.PullUpWriteBuffer(30);
    EXPECT_EQ(s.WriteCount, 0u);
    checkInvariants(s);
    // A buffer of no bytes is refused, even when it is empty.
    EXPECT_ERROR(s.SetWriteBufferSize(0), EBufferedSocketException, "Cannot change buffer size - data will be lost.");
    EXPECT_EQ(s.WriteBufferSize, 32u);
    checkInvariants(s);
}

TEST_F(Buffered, FullReadBufferRaisesOnTheByteThatFillsIt) {
    LoopbackPeer peer;
    TBufferedSocket& s = connected(peer);
    peer.send(std::string(31, 'a'));
    ASSERT_TRUE(pumpUntil([&] { return s.ReadCount == 31; }));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(std::count(events.begin(), events.end(), "read full"), 0);
    peer.send("b");
    ASSERT_TRUE(pumpUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<std::string>{"Read buffer full, user did not flush."});
    EXPECT_EQ(std::count(events.begin(), events.end(), "read full"), 1);
    EXPECT_EQ(s.ReadCount, 32u);
    checkInvariants(s);
}

TEST_F(Buffered, AFullHandlerThatTakesBytesLetsTheFillGoOn) {
    LoopbackPeer peer;
    std::string taken;
    client.OnReadBufferFull = [&](TBufferedSocketBase* b) {
        char buf[16];
        const std::int32_t n = b->BufRead(buf, 16);
        taken.append(buf, static_cast<size_t>(n));
    };
    TBufferedSocket& s = connected(peer, 16, 16);
    peer.send(std::string(40, 'x'));
    ASSERT_TRUE(pumpUntil([&] { return taken.size() + s.ReadCount == 40; }));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Buffered, FullSendEmptiesThenChangesAndPartialSendOnlyChanges) {
    LoopbackPeer peer;
    TBufferedSocket& s = connected(peer, 32, 32);
    s.WriteBlock("hello", 5);
    s.FlushWriteBuffer();
    EXPECT_EQ(events, (std::vector<std::string>{"write empty", "write change"}));
    EXPECT_EQ(peer.receive(5), "hello");

    // A peer that does not read: the network takes only part of a large buffer.
    const std::uint32_t big = 64u << 20;
    s.SetWriteBufferSize(big);
    const std::string block(big, 'z');
    s.WriteBlock(block.data(), big);
    events.clear();
    s.FlushWriteBuffer();
    EXPECT_GT(s.WriteCount, 0u);
    EXPECT_LT(s.WriteCount, big);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(std::count(events.begin(), events.end(), "write empty"), 0);
    EXPECT_EQ(events.back(), "write change");
    checkInvariants(s);
}

TEST_F(Buffered, ResetWhileReceivingDisconnectsWithTheBytesSoFar) {
    LoopbackPeer peer;
    std::vector<std::uint32_t> heldAtDisconnect;
    client.OnDisconnect = [&](TSockCtrl*, TSocketBase* sock) {
        heldAtDisconnect.push_back(static_cast<TBufferedSocketBase*>(sock)->ReadCount);
    };
    TBufferedSocket& s = connected(peer, 64, 64);
    peer.send("partial");
    peer.reset();
    ASSERT_TRUE(pumpUntil([&] { return !heldAtDisconnect.empty(); }));
    pumpFor(100);
    EXPECT_EQ(heldAtDisconnect, std::vector<std::uint32_t>{7});
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(held(s), "partial");  // closing leaves the buffer as it is
    EXPECT_FALSE(s.Connected());
}

TEST_F(Buffered, SendsAFileThroughASmallBuffer) {
    LoopbackPeer peer;
    TBufferedSocket& s = connected(peer, 1000, 1000);
    std::string data;
    for (int i = 0; i < 100000; ++i) data += static_cast<char>('a' + i % 26);
    auto* in = new QBuffer;
    in->setData(QByteArray::fromStdString(data));
    in->open(QIODevice::ReadOnly);
    s.SendFile(in, true);
    EXPECT_EQ(peer.receive(data.size()), data);
    ASSERT_TRUE(pumpUntil([&] { return !s.SendingFile; }));
    EXPECT_EQ(std::count(events.begin(), events.end(), "file sent"), 1);
    EXPECT_EQ(s.SendStream, nullptr);
}

TEST_F(Buffered, ReceivesAnExpectedSizeIntoAStream) {
    LoopbackPeer peer;
    TBufferedSocket& s = connected(peer, 1000, 1000);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    s.ReceiveFile(&out, 50000, false);
    peer.send(std::string(50000, 'f') + "after");
    ASSERT_TRUE(pumpUntil([&] { return !s.ReceivingFile && s.ReadCount == 5; }));
    EXPECT_EQ(out.data().size(), 50000);
    EXPECT_EQ(held(s), "after");
    EXPECT_EQ(std::count(events.begin(), events.end(), "file received"), 1);
}

TEST_F(Buffered, CloseEndsATransferAndFreesAnOwnedStream) {
    LoopbackPeer peer;
    TBufferedSocket& s = connected(peer, 100, 100);
    bool destroyed = false;
    auto* out = new QBuffer;
    QObject::connect(out, &QObject::destroyed, [&] { destroyed = true; });
    out->open(QIODevice::WriteOnly);
    s.ReceiveFile(out, 1000, true);
    s.Close();
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(s.ReceivingFile);
    EXPECT_EQ(std::count(events.begin(), events.end(), "file received"), 0);
}

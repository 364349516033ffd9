// Socket objects and the socket control over real loopback connections.
#include "platform/messages.h"
#include "sockets/eventqueue.h"
#include "sockets/sockctrl.h"
#include "sockets/wsapi.h"
#include "sockets/wserrors.h"
#include "support/expect.h"
#include "support/peer.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A client control that writes down everything that happens to it.
struct Client : TCustomClientSocket {
    std::vector<int> infos;
    std::vector<std::string> events;
    std::string received;
    bool readOnRead = true;

    Client() {
        OnInfo = [this](TSockCtrl*, TSockInfo i, TSocketBase*) { infos.push_back(i); };
        OnConnect = [this](TSockCtrl*, TSocketBase* s) { events.push_back("connect " + std::to_string(s->LastError)); };
        OnWrite = [this](TSockCtrl*, TSocketBase*) { events.push_back("write"); };
        OnRead = [this](TSockCtrl*, TSocketBase* s) {
            events.push_back("read");
            if (!readOnRead) return;
            char buf[4096];
            for (std::int32_t n; (n = s->Recv(buf, sizeof buf)) > 0;) received.append(buf, static_cast<size_t>(n));
        };
        OnDisconnect = [this](TSockCtrl*, TSocketBase* s) {
            events.push_back("disconnect");
            char buf[4096];
            const std::int32_t n = s->Recv(buf, sizeof buf);
            if (n > 0) received.append(buf, static_cast<size_t>(n));
        };
    }
    bool has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }

    void openTo(std::uint16_t port) {
        SetAddress("127.0.0.1");
        SetPort(std::to_string(port));
        Open(&TStreamSocketClass);
    }
};

}  // namespace

TEST(ClientSocket, ConnectTalkAndPeerClose) {
    LoopbackPeer peer;
    Client c;
    c.openTo(peer.port());
    EXPECT_EQ(c.infos, (std::vector<int>{siLookUp, siConnect}));
    EXPECT_FALSE(c.Socket->Connected());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.has("write"); }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect 0", "write"}));
    EXPECT_EQ(c.infos, (std::vector<int>{siLookUp, siConnect, siConnected}));
    EXPECT_TRUE(c.Socket->Connected());
    EXPECT_EQ(c.IPAddress, "127.0.0.1");

    EXPECT_EQ(c.Socket->Send("hello", 5), 5);
    EXPECT_EQ(c.infos.back(), siSend);
    EXPECT_EQ(peer.receive(5), "hello");
    peer.send("world");
    ASSERT_TRUE(pumpUntil([&] { return c.received == "world"; }));
    EXPECT_EQ(c.infos.back(), siRecv);

    c.infos.clear();
    peer.send("bye");
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return c.has("disconnect"); }));
    EXPECT_EQ(c.received, "worldbye");
    // Disconnected (the handler's own receive), then closed.
    EXPECT_EQ(c.infos, (std::vector<int>{siRecv, siRecv, siDisconnected, siRecv, siClosed}));
    EXPECT_EQ(c.Socket->State, ssClosed);
    EXPECT_EQ(c.Socket->Handle, wsock::INVALID_SOCKET);
    c.Socket->Close();  // a second close does nothing
    EXPECT_EQ(c.infos.back(), siClosed);
}

TEST(ClientSocket, DisconnectHandlerStillReadsTheLastData) {
    LoopbackPeer peer;
    Client c;
    c.OnRead = nullptr;  // nobody reads while the data arrives
    c.openTo(peer.port());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.has("write"); }));
    peer.send("last words");
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return c.has("disconnect"); }));
    EXPECT_EQ(c.received, "last words");
}

TEST(ClientSocket, CloseDrainsPendingDataThroughOnRead) {
    LoopbackPeer peer;
    Client c;
    c.openTo(peer.port());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.has("write"); }));
    peer.send("pending");
    ASSERT_TRUE(pumpUntil([&] { return c.Socket->BytesAvailable() == 7; }));
    c.events.clear();
    c.infos.clear();
    TSocketBase* s = c.Socket;
    s->Close();
    EXPECT_EQ(c.received, "pending");
    EXPECT_EQ(c.events.front(), "read");
    EXPECT_EQ(c.infos.back(), siClosed);
}

TEST(ClientSocket, RefusedConnectReachesOnConnectWithItsError) {
    LoopbackPeer peer;
    peer.stopListening();
    Client c;
    c.openTo(peer.port());
    ASSERT_TRUE(pumpUntil([&] { return !c.events.empty(); }));
    EXPECT_EQ(c.events, std::vector<std::string>{"connect 10061"});
    EXPECT_FALSE(c.Socket->Connected());
    EXPECT_EQ(ErrorText(c.Socket->LastError), "Connection refused");
}

TEST(ClientSocket, OpenFailures) {
    Client c;
    c.SetAddress("");
    EXPECT_ERROR(c.Open(&TStreamSocketClass), ESockError, "No address specified");
    c.SetAddress("nowhere.invalid");
    c.SetPort("80");
    EXPECT_ERROR(c.Open(&TStreamSocketClass), ESockError, "Error 11001 (Host not found) finding address for host");

    LoopbackPeer peer;
    c.openTo(peer.port());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.Socket->Connected(); }));
    EXPECT_ERROR(c.Open(&TStreamSocketClass), ESockError, "Socket Already opened");
    EXPECT_ERROR(c.Socket->Connect(c.HostName, c.Options, c.PortNumber, c.ServiceName, c.IPAddress), ESockError,
                 "Socket is already connected");
    EXPECT_ERROR(c.Socket->SetSockType(2), ESockError, "Invalid type for a Stream socket");
}

TEST(ClientSocket, NoSocketClass) {
    Client c;
    c.SocketClass = nullptr;
    EXPECT_ERROR(c.GetSocket(), ESockError, "No Socket Class Defined");
}

TEST(ClientSocket, ReadBeforeConnectFiresOnConnectFirstAndStaleHandlesAreIgnored) {
    LoopbackPeer peer;
    Client c;
    c.readOnRead = false;
    c.openTo(peer.port());
    const wsock::SOCKET h = c.Socket->Handle;
    PostMessage(c.Window, WM_SOCKSELECT, h + 1000, wsock::FD_READ);  // another handle
    PostMessage(c.Window, WM_SOCKSELECT, h, wsock::FD_READ);
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.has("write"); }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect 0", "read", "write"}));  // the real FD_CONNECT is ignored
}

TEST(ClientSocket, SelectNoticesDuringALookUpComeAfterItInOrder) {
    LoopbackPeer peer;
    Client a;
    a.openTo(peer.port());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return a.has("write"); }));
    a.events.clear();

    Client b;
    std::vector<std::string> order;
    a.OnRead = [&](TSockCtrl*, TSocketBase* s) {
        char buf[64];
        const std::int32_t n = s->Recv(buf, sizeof buf);
        order.push_back("read " + std::string(buf, static_cast<size_t>(std::max(n, 0))) + " depth " +
                        std::to_string(WaitDepth));
    };
    b.OnInfo = [&](TSockCtrl*, TSockInfo i, TSocketBase*) {
        if (i == siConnect) order.push_back("lookup done");
    };
    wsock::SetTestLookupDelay(300);
    QTimer::singleShot(50, [&] { peer.send("one"); });
    b.SetAddress("localhost");
    b.SetPort(std::to_string(peer.port()));
    b.Open(&TStreamSocketClass);
    wsock::SetTestLookupDelay(0);
    ASSERT_TRUE(pumpUntil([&] { return order.size() >= 2; }));
    EXPECT_EQ(order[0], "lookup done");
    EXPECT_EQ(order[1], "read one depth 0");
}

TEST(ClientSocket, PropertySetters) {
    Client c;
    c.SetAddress("127.0.0.1");
    EXPECT_EQ(c.IPAddress, "127.0.0.1");
    EXPECT_EQ(c.HostName, "");
    c.SetAddress("www.example.org");
    EXPECT_EQ(c.HostName, "www.example.org");
    EXPECT_EQ(c.IPAddress, "");
    c.SetAddress("255.255.255.255");
    EXPECT_EQ(c.HostName, "255.255.255.255");
    c.SetAddress("");
    EXPECT_EQ(c.HostName, "");
    EXPECT_EQ(c.IPAddress, "");

    c.SetPort("80");
    EXPECT_EQ(c.PortNumber, 80);
    EXPECT_EQ(c.ServiceName, "http");
    c.SetPort("http");
    EXPECT_EQ(c.ServiceName, "http");
    EXPECT_EQ(c.PortNumber, 80);
    c.SetPort("-1");
    EXPECT_EQ(c.ServiceName, "-1");
    EXPECT_EQ(c.PortNumber, 0);
    c.SetPort("70000");
    EXPECT_EQ(c.PortNumber, 4464);
    c.SetPort("nosuchservice");
    EXPECT_EQ(c.PortNumber, 0);

    EXPECT_EQ(c.ProtocolName, "tcp");
    EXPECT_EQ(c.ProtocolNumber, 6);
    c.SetProtocol("6");
    EXPECT_EQ(c.ProtocolNumber, 6);
    EXPECT_EQ(c.ProtocolName, "TCP");
    c.SetProtocol("udp");
    EXPECT_EQ(c.ProtocolNumber, 17);
    EXPECT_EQ(c.ProtocolName, "udp");
    c.SetProtocol("99");
    EXPECT_EQ(c.ProtocolNumber, 99);
    EXPECT_EQ(c.ProtocolName, "");
    c.SetProtocol("Bogus");
    EXPECT_EQ(c.ProtocolNumber, -1);
    EXPECT_EQ(c.ProtocolName, "Bogus");

    c.SetTimeOut(-3);
    EXPECT_EQ(c.TimeOut, 0);
    c.SetAddress(std::string(300, 'a'));
    EXPECT_EQ(c.Address.size(), 255u);
}

TEST(ClientSocket, NamesCountAcrossAllSocketObjects) {
    SocketCounter = 0;
    Client a, b;
    EXPECT_EQ(b.GetSocket()->GetName(), "socket0");
    EXPECT_EQ(a.GetSocket()->GetName(), "socket1");
    EXPECT_EQ(b.GetSocket()->GetName(), "socket0");
}

TEST(ClientSocket, SendOfNothingAndOnAnUnconnectedSocket) {
    Client c;
    TSocketBase* s = c.GetSocket();
    EXPECT_EQ(s->Send("x", 0), 0);
    EXPECT_TRUE(c.infos.empty());
    EXPECT_EQ(s->Send("x", 1), 0);
    EXPECT_EQ(c.infos, std::vector<int>{siSend});
    char buf[4];
    EXPECT_ERROR(s->Recv(buf, 4), ESockError, "Socket not open");
}

TEST(ClientSocket, BytesAvailableIsCutTo16Bits) {
    LoopbackPeer peer;
    Client c;
    c.OnRead = nullptr;
    c.openTo(peer.port());
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return c.Socket->Connected(); }));
    peer.send(std::string(70000, 'z'));
    std::uint32_t waiting = 0;
    ASSERT_TRUE(pumpUntil([&] {
        WinsockAPI->ioctlsocket(c.Socket->Handle, wsock::WS_FIONREAD, &waiting);
        return waiting == 70000;
    }));
    EXPECT_EQ(c.Socket->BytesAvailable(), 4464);
}

TEST(ClientSocket, ChangingTheSocketClassReplacesTheObject) {
    Client c;
    TSocketBase* first = c.GetSocket();
    c.SetSocketClass(&TStreamSocketClass);
    EXPECT_EQ(c.Socket, first);
    c.SetSocketClass(&TDatagramSocketClass);
    EXPECT_NE(dynamic_cast<TDatagramSocket*>(c.Socket), nullptr);
}

namespace {

struct Timed : Client {
    std::vector<std::string>* log;
    std::string name;
    Timed(std::vector<std::string>* l, std::string n, int seconds) : log(l), name(std::move(n)) {
        SetTimeOut(seconds);
        OnTimeOut = [this](TSockCtrl*, TSocketBase*) { log->push_back(name); };
    }
};

}  // namespace

TEST(TimeOut, ControlsTickOldestFirstAndTheTimerStopsWithTheLast) {
    std::vector<std::string> fired;
    Timed older(&fired, "older", 1), newer(&fired, "newer", 1), idle(&fired, "idle", 0);
    older.StartTimer();
    newer.StartTimer();
    idle.StartTimer();  // no time-out set: not timed
    EXPECT_EQ(TimedList, &newer);
    EXPECT_EQ(TimerUsers, 2);
    EXPECT_FALSE(idle.Timing);
    newer.StartTimer();  // never inserted twice
    EXPECT_EQ(TimerUsers, 2);
    ASSERT_TRUE(pumpUntil([&] { return fired.size() == 2; }, 3000));
    EXPECT_EQ(fired, (std::vector<std::string>{"older", "newer"}));
    EXPECT_TRUE(older.TimedOut);
    EXPECT_EQ(TimerUsers, 0);
    EXPECT_EQ(TimedList, nullptr);
    EXPECT_EQ(older.infos.back(), siTimedOut);
}

TEST(TimeOut, StoppingTheHeadMovesTheTick) {
    std::vector<std::string> fired;
    Timed a(&fired, "a", 1), b(&fired, "b", 1);
    a.StartTimer();
    b.StartTimer();
    b.StopTimer();
    EXPECT_EQ(TimedList, &a);
    EXPECT_EQ(a.PrevTimed, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return fired.size() == 1; }, 3000));
    EXPECT_EQ(fired, std::vector<std::string>{"a"});
    b.TimeOut = 0;
}

TEST(TimeOut, ALookUpThatTimesOutIs10060) {
    std::vector<std::string> fired;
    Timed c(&fired, "c", 1);
    c.SetAddress("slow.example.invalid");
    c.SetPort("80");
    wsock::SetTestLookupDelay(2500);
    EXPECT_ERROR(c.Open(&TStreamSocketClass), ESockError,
                 "Error 10060 (Connection timed out) finding address for host");
    wsock::SetTestLookupDelay(0);
    EXPECT_EQ(fired, std::vector<std::string>{"c"});
    EXPECT_FALSE(c.Timing);
}

namespace {

struct Server : TCustomBasicServerSocket {
    std::vector<std::string> events;
    Server() {
        OnAccept = [this](TSockCtrl*, TSocketBase*) { events.push_back("accept"); };
        OnReject = [this](TSockCtrl*, TSocketBase*) { events.push_back("reject"); };
        OnRead = [this](TSockCtrl*, TSocketBase* s) {
            char buf[64];
            const std::int32_t n = s->Recv(buf, sizeof buf);
            if (n > 0) events.push_back("read " + std::string(buf, static_cast<size_t>(n)));
        };
        SetAddress("127.0.0.1");
        SetPort("0");
        Listen(&TStreamSocketClass);
    }
};

bool closedByPeer(int fd) {
    return pumpUntil([fd] {
        char c;
        return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
    });
}

}  // namespace

TEST(ServerSocket, AcceptsAndTalks) {
    Server s;
    EXPECT_NE(s.PortNumber, 0);
    EXPECT_EQ(s.Port, std::to_string(s.PortNumber));
    EXPECT_EQ(s.Socket->State, ssListening);
    const int fd = connectTo(s.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return !s.events.empty(); }));
    EXPECT_EQ(s.events, std::vector<std::string>{"accept"});
    ::send(fd, "hi", 2, 0);
    ASSERT_TRUE(pumpUntil([&] { return s.events.size() == 2; }));
    EXPECT_EQ(s.events[1], "read hi");
    ::close(fd);
    ASSERT_TRUE(pumpUntil([&] { return s.SocketList.empty(); }));  // closed and freed
}

TEST(ServerSocket, LimitsTheNumberOfConnections) {
    Server s;
    s.MaxSockets = 1;
    const int first = connectTo(s.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return s.events.size() == 1; }));
    const int second = connectTo(s.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return s.events.size() == 2; }));
    EXPECT_EQ(s.events, (std::vector<std::string>{"accept", "reject"}));
    EXPECT_TRUE(closedByPeer(second));
    ::close(first);
    ::close(second);
}

TEST(ServerSocket, FiltersAddresses) {
    EXPECT_TRUE(AddressPatternMatches("127.0.*.*", "127.0.0.1"));
    EXPECT_FALSE(AddressPatternMatches("10.*.*.*", "127.0.0.1"));
    EXPECT_TRUE(AddressPatternMatches("*.example.org", "WWW.Example.org"));
    EXPECT_FALSE(AddressPatternMatches("*.example.org", "a.b.example.org"));

    Server refusing;
    refusing.AddressFilter = {"127.0.0.*"};
    const int a = connectTo(refusing.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return !refusing.events.empty(); }));
    EXPECT_EQ(refusing.events, std::vector<std::string>{"reject"});

    Server admitting;
    admitting.FilterMode = 2;
    admitting.AddressFilter = {"10.*.*.*", "127.*.*.*"};
    const int b = connectTo(admitting.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return !admitting.events.empty(); }));
    EXPECT_EQ(admitting.events, std::vector<std::string>{"accept"});

    admitting.AddressFilter = {"10.*.*.*"};
    const int c = connectTo(admitting.PortNumber);
    ASSERT_TRUE(pumpUntil([&] { return admitting.events.size() == 2; }));
    EXPECT_EQ(admitting.events[1], "reject");
    for (int fd : {a, b, c}) ::close(fd);
}

TEST(ServerSocket, UnknownHandleIsReportedWithoutASocket) {
    Server s;
    std::vector<int> infos;
    s.OnInfo = [&](TSockCtrl*, TSockInfo i, TSocketBase* sock) {
        infos.push_back(i);
        EXPECT_EQ(sock, nullptr);
    };
    PostMessage(s.Window, WM_SOCKSELECT, 999999, wsock::FD_READ);
    ASSERT_TRUE(pumpUntil([&] { return !infos.empty(); }));
    EXPECT_EQ(infos, std::vector<int>{siNoSuchSocket});
}

TEST(Controls, LastControlStopsWinsockAndParkedNoticesDieWithTheirControl) {
    {
        Client a;
        EXPECT_TRUE(WinsockStarted());
        auto* b = new Client;
        EXPECT_EQ(ControlCount, 2);
        EventQueue.push_back({Msg{WM_SOCKSELECT, 0, wsock::FD_READ, 0}, b});
        delete b;
        EXPECT_EQ(EventQueue.front().target, nullptr);
        EventQueue.clear();
    }
    EXPECT_EQ(WinsockAPI, nullptr);
}

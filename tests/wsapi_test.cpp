// The binding of the socket library, its error texts and the Winsock layer itself.
#include "platform/modules.h"
#include "sockets/eventqueue.h"
#include "sockets/wsapi.h"
#include "sockets/wserrors.h"
#include "support/expect.h"
#include "support/peer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

TEST(ErrorText, CodesAndUnknownCodes) {
    EXPECT_EQ(ErrorText(0), "");
    EXPECT_EQ(ErrorText(10054), "Connection reset by peer");
    EXPECT_EQ(ErrorText(10037), "Operation, already in progress");
    EXPECT_EQ(ErrorText(11003), "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP");
    EXPECT_EQ(ErrorText(20013), "Error %d (%s) listining");
    EXPECT_EQ(ErrorText(12345), "Unknown Error 12345");
    EXPECT_EQ(ErrorText(-7), "Unknown Error -7");
}

TEST(ErrorText, MessagesBuiltFromACodeAndAMessageCode) {
    EXPECT_EQ(SockErrorMessage(11001, 20001), "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(SockErrorMessage(10061, 20008), "Error 10061 (Connection refused) connecting");
    EXPECT_EQ(SockErrorMessage(10060, 20001), "Error 10060 (Connection timed out) finding address for host");
    EXPECT_EQ(SockErrorMessage(0, 20017), "No address specified");
    EXPECT_EQ(SockErrorMessage(10093, 0), "Successful WSASTARTUP not yet performed");
    EXPECT_EQ(SockErrorMessage(10056, 0), "Socket is already connected");
    EXPECT_EQ(SockErrorMessage(0, 20020), "Socket Already opened");
    EXPECT_EQ(SockErrorMessage(12345, 20014), "Error 12345 (Unknown Error 12345) recieving");
    EXPECT_ERROR(RaiseSockError(10054, 20014), ESockError, "Error 10054 (Connection reset by peer) recieving");
    EXPECT_EQ(ESockError(std::string(300, 'x')).message().size(), 255u);
}

TEST(Binding, LibraryNameRules) {
    tWinsockAPI api;
    EXPECT_EQ(api.GetDLLName(), "");
    api.SetDLLName("WINSOCK");
    EXPECT_EQ(api.GetDLLName(), "WINSOCK.DLL");
    api.SetDLLName("net.lib");
    EXPECT_EQ(api.GetDLLName(), "net.lib");
    api.SetDLLName("WSOCK32.DLL");
    api.SetDLLName("wsock32.dll");  // the same name in other case changes nothing
    EXPECT_EQ(api.GetDLLName(), "WSOCK32.DLL");
    api.SetDLLName("");
    EXPECT_EQ(api.GetDLLName(), "");
    EXPECT_EQ((api.htons)(0x1234), 0x3412);  // loads "WSOCK32.DLL" on first use
    EXPECT_EQ(api.GetDLLName(), "WSOCK32.DLL");
    EXPECT_ERROR(api.SetDLLName("OTHER"), ESockError, "Winsock DLL Already Loaded, Cannot change name");
    EXPECT_EQ(api.GetDLLName(), "WSOCK32.DLL");
}

TEST(Binding, MissingLibraryAndMissingFunctionFailAtFirstUse) {
    tWinsockAPI api;
    api.SetDLLName("NOSUCH");
    EXPECT_ERROR(api.WSAGetLastError(), Exception, "Unable to load Library \"NOSUCH.DLL\" Error 0");
    try {
        api.WSAGetLastError();
    } catch (const ESockError&) {
        ADD_FAILURE() << "the standard exception, not a socket error";
    } catch (const Exception&) {
    }

    static auto swap = [](std::uint16_t v) -> std::uint16_t { return static_cast<std::uint16_t>(v << 8 | v >> 8); };
    RegisterModule("PARTIAL.DLL", {{"htons", reinterpret_cast<void*>(+swap)}});
    tWinsockAPI partial;
    partial.SetDLLName("PARTIAL.DLL");
    EXPECT_EQ((partial.htons)(1), 256);
    EXPECT_ERROR(partial.socket(2, 1, 0), Exception, "Unable to locate function in DLL");
    EXPECT_ERROR(partial.socket(2, 1, 0), Exception, "Unable to locate function in DLL");  // tried again
}

TEST(Binding, AddressAndNumberTests) {
    tWinsockAPI api;
    EXPECT_TRUE(api.IsIPAddress("127.0.0.1"));
    EXPECT_TRUE(api.IsIPAddress("10.1.2.3"));
    EXPECT_FALSE(api.IsIPAddress("255.255.255.255"));
    EXPECT_FALSE(api.IsIPAddress("localhost"));
    EXPECT_FALSE(api.IsIPAddress(""));
    EXPECT_TRUE(tWinsockAPI::IsNumber("80"));
    EXPECT_TRUE(tWinsockAPI::IsNumber("70000"));
    EXPECT_FALSE(tWinsockAPI::IsNumber("-1"));
    EXPECT_FALSE(tWinsockAPI::IsNumber("http"));
    EXPECT_FALSE(tWinsockAPI::IsNumber("8o"));
    EXPECT_EQ(tWinsockAPI::WSAGETSELECTEVENT(0x2712'0010), 16);
    EXPECT_EQ(tWinsockAPI::WSAGETSELECTERROR(0x2712'0010), 10002);
}

TEST(Binding, StartAndStop) {
    ASSERT_EQ(WinsockAPI, nullptr);
    EXPECT_FALSE(WinsockStarted());  // creates the binding, loads nothing
    ASSERT_NE(WinsockAPI, nullptr);
    EXPECT_EQ(WinsockAPI->LibHandle, 0u);
    StartWinsock();
    EXPECT_TRUE(WinsockStarted());
    EXPECT_EQ(WinsockAPI->Version, 0x0101);
    EXPECT_EQ(WinsockAPI->HighVersion, 0x0101);
    EXPECT_GT(WinsockAPI->MaxUdpDg, 0);
    EXPECT_FALSE(WinsockAPI->Description.empty());
    EventQueue.push_back({Msg{}, nullptr});
    WaitDepth = 3;
    StopWinsock();
    EXPECT_EQ(WinsockAPI, nullptr);
    EXPECT_TRUE(EventQueue.empty());
    EXPECT_EQ(WaitDepth, 0);
}

TEST(Binding, CleanupEndsTheStart) {
    StartWinsock();
    EXPECT_EQ(WinsockAPI->WSACleanup(), 0);
    EXPECT_FALSE(WinsockStarted());
    EXPECT_EQ(WinsockAPI->WSACleanup(), wsock::SOCKET_ERROR);
    EXPECT_EQ(WinsockAPI->WSAGetLastError(), 10093);
    StopWinsock();
}

TEST(LayerStart, CallsFailBeforeStartUp) {
    tWinsockAPI api;
    EXPECT_EQ(api.socket(2, 1, 0), wsock::INVALID_SOCKET);
    EXPECT_EQ(api.WSAGetLastError(), 10093);
    EXPECT_EQ(api.inet_addr("1.2.3.4"), htonl(0x01020304));  // needs no start-up
    wsock::WSADATA data{};
    EXPECT_EQ(api.WSAStartup(0x0001, &data), 10092);  // version 1.0 is refused
}

namespace {

// Raw notices of one socket, as the layer posts them.
struct Notices {
    std::vector<std::pair<int, int>> got;  // (event, error)
    MessageWindow window{[this](Msg& m) {
        got.emplace_back(wsock::WSAGETSELECTEVENT(m.lParam), wsock::WSAGETSELECTERROR(m.lParam));
    }};
    int count(int event) const {
        int n = 0;
        for (auto& g : got) n += g.first == event;
        return n;
    }
};

class Layer : public ::testing::Test {
protected:
    void SetUp() override { StartWinsock(); }
    void TearDown() override { StopWinsock(); }
    tWinsockAPI& api() { return *WinsockAPI; }

    // A selected socket whose connect to the peer has started; it never finishes inside
    // the call.
    wsock::SOCKET connecting(LoopbackPeer& peer, Notices& n, std::int32_t events) {
        const wsock::SOCKET s = api().socket(2, 1, 0);
        api().WSAAsyncSelect(s, n.window.handle(), 5000, events);
        wsock::sockaddr_in to{};
        to.sin_family = 2;
        to.sin_port = htons(peer.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(api().connect(s, &to, sizeof to), wsock::SOCKET_ERROR);
        EXPECT_EQ(api().WSAGetLastError(), 10035);
        EXPECT_TRUE(n.got.empty());  // posted, never inside the call
        return s;
    }

    wsock::SOCKET connectedSocket(LoopbackPeer& peer, Notices& n) {
        const wsock::SOCKET s = connecting(peer, n, 63);
        EXPECT_TRUE(peer.accept());
        EXPECT_TRUE(pumpUntil([&] { return n.count(wsock::FD_WRITE) == 1; }));
        return s;
    }
};

}  // namespace

TEST_F(Layer, ConnectThenOneReadNoticeUntilRecvThenClose) {
    LoopbackPeer peer;
    Notices n;
    const wsock::SOCKET s = connectedSocket(peer, n);
    EXPECT_EQ(n.got, (std::vector<std::pair<int, int>>{{wsock::FD_CONNECT, 0}, {wsock::FD_WRITE, 0}}));

    peer.send("abc");
    ASSERT_TRUE(pumpUntil([&] { return n.count(wsock::FD_READ) == 1; }));
    peer.send("def");
    pumpFor(100);
    EXPECT_EQ(n.count(wsock::FD_READ), 1);  // no second notice before recv
    char buf[2];
    EXPECT_EQ(api().recv(s, buf, 2, 0), 2);
    ASSERT_TRUE(pumpUntil([&] { return n.count(wsock::FD_READ) == 2; }));  // data still waiting
    char rest[16];
    EXPECT_EQ(api().recv(s, rest, 16, 0), 4);
    EXPECT_EQ(std::string(rest, 4), "cdef");
    EXPECT_EQ(api().recv(s, rest, 16, 0), wsock::SOCKET_ERROR);
    EXPECT_EQ(api().WSAGetLastError(), 10035);

    peer.send("last");
    peer.close();
    ASSERT_TRUE(pumpUntil([&] { return n.count(wsock::FD_CLOSE) == 1; }));
    // The data came first, then the close.
    EXPECT_EQ(n.got.back(), std::make_pair(int(wsock::FD_CLOSE), 0));
    EXPECT_EQ(n.got[n.got.size() - 2].first, wsock::FD_READ);
    EXPECT_EQ(api().recv(s, rest, 16, 0), 4);
    EXPECT_EQ(api().recv(s, rest, 16, 0), 0);
    pumpFor(100);
    EXPECT_EQ(n.count(wsock::FD_CLOSE), 1);
    EXPECT_EQ(api().closesocket(s), 0);
}

TEST_F(Layer, ResetIsACloseWithItsError) {
    LoopbackPeer peer;
    Notices n;
    connectedSocket(peer, n);
    peer.reset();
    ASSERT_TRUE(pumpUntil([&] { return n.count(wsock::FD_CLOSE) == 1; }));
    EXPECT_EQ(n.got.back().second, 10054);
}

TEST_F(Layer, RefusedConnectArrivesAsItsNotice) {
    LoopbackPeer peer;
    peer.stopListening();
    Notices n;
    connecting(peer, n, 51);
    ASSERT_TRUE(pumpUntil([&] { return !n.got.empty(); }));
    EXPECT_EQ(n.got[0], std::make_pair(int(wsock::FD_CONNECT), 10061));
}

TEST_F(Layer, WriteNoticeAfterASendThatWouldBlock) {
    LoopbackPeer peer;
    Notices n;
    const wsock::SOCKET s = connectedSocket(peer, n);
    const std::string block(1 << 16, 'x');
    std::int32_t sent = 0;
    while (api().send(s, block.data(), static_cast<std::int32_t>(block.size()), 0) > 0) sent += 1;
    EXPECT_EQ(api().WSAGetLastError(), 10035);
    EXPECT_EQ(n.count(wsock::FD_WRITE), 1);
    peer.receive(1 << 30, 300);  // drain what the peer got
    ASSERT_TRUE(pumpUntil([&] { return n.count(wsock::FD_WRITE) == 2; }));
}

TEST_F(Layer, AsyncLookUpsWriteIntoTheCallersBuffer) {
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> replies;
    MessageWindow w([&](Msg& m) { replies.emplace_back(m.wParam, m.lParam); });
    char buf[1024];
    const wsock::HANDLE t = api().WSAAsyncGetHostByName(w.handle(), 7, "127.0.0.1", buf, sizeof buf);
    ASSERT_NE(t, 0u);
    ASSERT_TRUE(pumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies[0].first, t);
    EXPECT_EQ(wsock::WSAGETASYNCERROR(replies[0].second), 0);
    const auto* h = reinterpret_cast<const wsock::hostent*>(buf);
    EXPECT_EQ(h->h_length, 4);
    std::uint32_t a;
    std::memcpy(&a, h->h_addr_list[0], 4);
    EXPECT_EQ(a, htonl(INADDR_LOOPBACK));
    EXPECT_GE(h->h_name, buf);
    EXPECT_LT(h->h_name, buf + sizeof buf);

    replies.clear();
    const wsock::HANDLE s = api().WSAAsyncGetServByName(w.handle(), 7, "http", "tcp", buf, sizeof buf);
    ASSERT_TRUE(pumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies[0].first, s);
    EXPECT_EQ(ntohs(static_cast<std::uint16_t>(reinterpret_cast<const wsock::servent*>(buf)->s_port)), 80);

    replies.clear();
    api().WSAAsyncGetHostByName(w.handle(), 7, "nothing.invalid", buf, sizeof buf);
    ASSERT_TRUE(pumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(wsock::WSAGETASYNCERROR(replies[0].second), 11001);

    replies.clear();
    char tiny[8];
    api().WSAAsyncGetHostByName(w.handle(), 7, "127.0.0.1", tiny, sizeof tiny);
    ASSERT_TRUE(pumpUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(wsock::WSAGETASYNCERROR(replies[0].second), 10055);
}

// Answers that need no resolver are posted before the request returns: no helper thread
// is left winding down after its caller has moved on.
TEST_F(Layer, LookUpsAnsweredHereArePostedBeforeTheRequestReturns) {
    wsock::AddTestRoute("routed.example.invalid", 80, 1);
    std::vector<std::intptr_t> replies;
    MessageWindow w([&](Msg& m) { replies.push_back(m.lParam); });
    char buf[1024];
    const std::vector<std::pair<const char*, std::function<wsock::HANDLE()>>> rows = {
        {"dotted host", [&] { return api().WSAAsyncGetHostByName(w.handle(), 7, "127.0.0.1", buf, sizeof buf); }},
        {"routed host",
         [&] { return api().WSAAsyncGetHostByName(w.handle(), 7, "routed.example.invalid", buf, sizeof buf); }},
        {"reserved name", [&] { return api().WSAAsyncGetHostByName(w.handle(), 7, "x.invalid", buf, sizeof buf); }},
        {"service", [&] { return api().WSAAsyncGetServByName(w.handle(), 7, "http", "tcp", buf, sizeof buf); }},
        {"port", [&] { return api().WSAAsyncGetServByPort(w.handle(), 7, htons(80), "tcp", buf, sizeof buf); }},
    };
    for (const auto& [name, request] : rows) {
        SCOPED_TRACE(name);
        replies.clear();
        ASSERT_NE(request(), 0u);
        ProcessMessages();
        EXPECT_EQ(replies.size(), 1u);
    }
    wsock::ClearTestRoutes();
}

TEST_F(Layer, CancelledLookUpNeverAnswersNorWrites) {
    wsock::SetTestLookupDelay(200);
    int replies = 0;
    MessageWindow w([&](Msg&) { ++replies; });
    char buf[1024];
    std::memset(buf, 0x5a, sizeof buf);
    const wsock::HANDLE t = api().WSAAsyncGetHostByName(w.handle(), 7, "127.0.0.1", buf, sizeof buf);
    EXPECT_EQ(api().WSACancelAsyncRequest(t), 0);
    pumpFor(400);
    wsock::SetTestLookupDelay(0);
    EXPECT_EQ(replies, 0);
    EXPECT_EQ(buf[0], 0x5a);
    EXPECT_EQ(api().WSACancelAsyncRequest(t), wsock::SOCKET_ERROR);
}

TEST_F(Layer, TestRoutesLeadToALoopbackPort) {
    LoopbackPeer peer;
    wsock::AddTestRoute("lists.example.invalid", 80, peer.port());
    std::vector<std::intptr_t> replies;
    MessageWindow w([&](Msg& m) { replies.push_back(m.lParam); });
    char buf[1024];
    api().WSAAsyncGetHostByName(w.handle(), 7, "lists.example.invalid", buf, sizeof buf);
    ASSERT_TRUE(pumpUntil([&] { return !replies.empty(); }));
    ASSERT_EQ(wsock::WSAGETASYNCERROR(replies[0]), 0);
    wsock::sockaddr_in to{};
    to.sin_family = 2;
    to.sin_port = htons(80);
    std::memcpy(&to.sin_addr.s_addr, reinterpret_cast<wsock::hostent*>(buf)->h_addr_list[0], 4);
    const wsock::SOCKET s = api().socket(2, 1, 0);
    EXPECT_EQ(api().connect(s, &to, sizeof to), 0);  // blocking: done at once
    EXPECT_TRUE(peer.accept());
    wsock::ClearTestRoutes();
}

// The proxy the engine's plain-web requests go through: what passes, what is refused and
// what reaches the server, spoken to as the engine speaks to it.
#include "shell/proxy.h"
#include "support/httpserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Sends `request` to the proxy and reads until it closes, while this thread answers the
// proxy's questions.
std::string through(const GateProxy& proxy, const std::string& request) {
    std::string answer;
    std::atomic<bool> done{false};
    std::thread client([&] {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(proxy.port());
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) {
            ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
            ::shutdown(s, SHUT_WR);  // nothing more will be asked
            char buf[4096];
            for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;) answer.append(buf, static_cast<std::size_t>(n));
        }
        ::close(s);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    client.join();
    return answer;
}

}  // namespace

TEST(Proxy, DecidesEveryPlainWebRequestBeforeItLeaves) {
    LoopbackHttpServer server;
    server.page("/ok", "fine");
    server.answers["/slow-head"] = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nConnection: keep-alive\r\n"
                                   "Keep-Alive: timeout=5\r\nContent-Length: 4\r\n\r\nmore";
    GateProxy proxy;
    ASSERT_TRUE(proxy.listening());
    QStringList asked;
    proxy.setRules([&](const QByteArray& address, bool tunnel) {
        asked << QString::fromLatin1(address) + (tunnel ? " (tunnel)" : "");
        return !address.contains("/no") && !address.contains("localhost");
    });
    const std::string host = "127.0.0.1:" + std::to_string(server.serverPort());
    const std::string token = proxy.passToken().toStdString();
    const struct {
        const char* name;
        std::string request;
        const char* answerStarts;
        const char* reached;  // the path the server saw, or nothing
    } cases[] = {
        {"approved", "GET http://" + host + "/ok HTTP/1.1\r\nHost: " + host + "\r\nProxy-Connection: keep-alive\r\n\r\n",
         "HTTP/1.1 200 OK", "/ok"},
        {"refused", "GET http://" + host + "/no HTTP/1.1\r\nHost: " + host + "\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"refused, letter case of the scheme", "GET HTTP://" + host + "/no HTTP/1.1\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"refused, posted", "POST http://" + host + "/no HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 403",
         nullptr},
        {"the gate's own top-level load", "GET http://" + host + "/nothing HTTP/1.1\r\nWenlow-Pass: " + token + "\r\n\r\n",
         "HTTP/1.1 404", "/nothing"},
        {"a pass for this very address", "GET http://" + host + "/no-bound HTTP/1.1\r\nWenlow-Pass: " +
             GateProxy::addressPass(proxy.passToken(), "http://" + host + "/no-bound").toStdString() + "\r\n\r\n",
         "HTTP/1.1 404", "/no-bound"},
        {"a pass for another address (a redirect carries it)", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass: " +
             GateProxy::addressPass(proxy.passToken(), "http://" + host + "/ok").toStdString() + "\r\n\r\n",
         "HTTP/1.1 403", nullptr},
        {"a guessed pass", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass: 0123\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"an empty pass", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass:\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"interim answer, then the one that counts", "GET http://" + host + "/slow-head HTTP/1.1\r\n\r\n",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: keep-alive\r\n",
         "/slow-head"},
        {"no address", "GET /ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"another scheme", "GET ftp://" + host + "/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"a port that is not one", "GET http://127.0.0.1:8o/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"nobody there", "GET http://127.0.0.1:1/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 502", nullptr},
        {"a tunnel to a host refused whole", "CONNECT localhost:" + std::to_string(server.serverPort()) + " HTTP/1.1\r\n\r\n",
         "HTTP/1.1 403", nullptr},
        {"a head that never ends", "GET http://" + host + "/ok HTTP/1.1\r\n" + std::string(70000, 'x'), "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.requested.clear();
        server.heads.clear();
        server.connections = 0;
        const std::string answer = through(proxy, c.request);
        EXPECT_EQ(answer.rfind(c.answerStarts, 0), 0u) << answer;
        if (!c.reached) {
            EXPECT_TRUE(server.requested.isEmpty());
            EXPECT_EQ(server.connections, 0);
            continue;
        }
        ASSERT_EQ(server.requested, QStringList{c.reached});
        // As a server expects it: the path only, one request, nothing of ours.
        const QByteArray head = server.heads.front();
        EXPECT_TRUE(head.startsWith("GET " + QByteArray(c.reached) + " HTTP/1.1\r\n")) << head.constData();
        EXPECT_FALSE(head.contains("Wenlow-Pass") || head.contains("Proxy-Connection")) << head.constData();
    }
    // Asked with the address as sent, and never for the gate's own load.
    EXPECT_TRUE(asked.contains(QString::fromStdString("http://" + host + "/ok")));
    EXPECT_FALSE(asked.contains(QString::fromStdString("http://" + host + "/nothing")));
    EXPECT_TRUE(asked.contains(QString::fromStdString("https://localhost:" + std::to_string(server.serverPort()) + " (tunnel)")));
}

TEST(Proxy, WithoutRulesNothingPassesAndATunnelCarriesBothWays) {
    LoopbackHttpServer server;
    server.page("/ok", "fine");
    GateProxy proxy;
    const std::string host = "127.0.0.1:" + std::to_string(server.serverPort());
    EXPECT_EQ(through(proxy, "GET http://" + host + "/ok HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 403", 0), 0u);
    EXPECT_EQ(through(proxy, "CONNECT " + host + " HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 403", 0), 0u);
    EXPECT_EQ(server.connections, 0);
    // A secure site's tunnel: the bytes inside are the site's own.
    proxy.setRules([](const QByteArray&, bool) { return true; });
    const std::string answer = through(proxy, "CONNECT " + host + " HTTP/1.1\r\n\r\nGET /ok HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 Connection established\r\n\r\nHTTP/1.0 200 OK", 0), 0u) << answer;
    EXPECT_NE(answer.find("fine"), std::string::npos);
    EXPECT_EQ(server.requested, QStringList{"/ok"});
}

// The engine sends request after request down one connection; each is decided, and each
// answer ends where its body ends, whatever the site does with its own connection.
TEST(Proxy, OneConnectionCarriesRequestAfterRequest) {
    const struct {
        const char* name;
        LoopbackHttpServer::After after;
        int siteConnections;
    } sites[] = {
        {"a site that keeps its connection", LoopbackHttpServer::After::KeepOpen, 1},
        {"a site that closes after each answer", LoopbackHttpServer::After::Close, 3},
        {"a site that closes without saying so", LoopbackHttpServer::After::CloseUnannounced, 3},
    };
    for (const auto& site : sites) {
        SCOPED_TRACE(site.name);
        LoopbackHttpServer server(site.after);
        server.page("/a", "first");
        server.answers["/b"] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "6;x=y\r\nsecond\r\n0\r\nTrailer: t\r\n\r\n";
        server.page("/no", "never");
        server.page("/c", "third");
        GateProxy proxy;
        proxy.setRules([](const QByteArray& address, bool) { return !address.endsWith("/no"); });
        const std::string host = "127.0.0.1:" + std::to_string(server.serverPort());
        auto get = [&](const char* path) { return "GET http://" + host + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n"; };
        const std::string answer = through(proxy, get("/a") + get("/b") + get("/c") + get("/no") + get("/a"));
        // Three answers in order, then the refusal, which ends the connection.
        const std::size_t first = answer.find("first"), second = answer.find("6;x=y\r\nsecond\r\n0\r\nTrailer: t\r\n\r\n"),
                          third = answer.find("third"), refused = answer.find("HTTP/1.1 403");
        EXPECT_LT(first, second) << answer;
        EXPECT_LT(second, third) << answer;
        EXPECT_LT(third, refused) << answer;
        EXPECT_EQ(answer.find("first", first + 1), std::string::npos) << answer;
        EXPECT_EQ(server.requested, (QStringList{"/a", "/b", "/c"}));
        EXPECT_EQ(server.connections, site.siteConnections);
    }
}

// A site that takes requests and never answers holds a thread for each; past a limit the
// proxy turns connections away instead of growing without end.
TEST(Proxy, ASiteThatNeverAnswersCannotTakeEveryThread) {
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(silent, 1024), 0);  // connections wait there, never taken
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&at), &len);
    const std::string request =
        "GET http://127.0.0.1:" + std::to_string(ntohs(at.sin_port)) + "/hang HTTP/1.1\r\n\r\n";
    auto threads = [] { return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
    const qsizetype before = threads();
    {
        GateProxy proxy;
        proxy.setRules([](const QByteArray&, bool) { return true; });
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(proxy.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<int> clients;
        for (int i = 0; i < 400; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM, 0);
            ASSERT_EQ(::connect(c, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
            ::send(c, request.data(), request.size(), MSG_NOSIGNAL);
            clients.push_back(c);
            QCoreApplication::processEvents();
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_LE(threads() - before, 300);
        for (int c : clients) ::close(c);
    }
    ::close(silent);
}

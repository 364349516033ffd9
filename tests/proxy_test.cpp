// The proxy the engine's plain-web requests go through: what passes, what is refused and
// what reaches the server, spoken to as the engine speaks to it.
#include "proxy/proxy.h"
#include "support/httpserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
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
        {"a pass for this very address", "GET http://" + host + "/no-bound HTTP/1.1\r\nWenlow-Pass: " +
             GateProxy::addressPass(proxy.passToken(), "http://" + host + "/no-bound").toStdString() + "\r\n\r\n",
         "HTTP/1.1 404", "/no-bound"},
        {"the bare token, which a site may once have seen", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass: " +
             token + "\r\n\r\n",
         "HTTP/1.1 403", nullptr},
        {"a pass for another address (a redirect carries it)", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass: " +
             GateProxy::addressPass(proxy.passToken(), "http://" + host + "/ok").toStdString() + "\r\n\r\n",
         "HTTP/1.1 403", nullptr},
        {"a guessed pass", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass: 0123\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"an empty pass", "GET http://" + host + "/no HTTP/1.1\r\nWenlow-Pass:\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"interim answer, then the one that counts", "GET http://" + host + "/slow-head HTTP/1.1\r\n\r\n",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: keep-alive\r\n",
         "/slow-head"},
        {"a body framed by a coding and a length", "POST http://" + host + "/ok HTTP/1.1\r\nTransfer-Encoding: chunked"
             "\r\nContent-Length: 3\r\n\r\n0\r\n\r\n",
         "HTTP/1.1 400", nullptr},
        {"a body of two lengths", "POST http://" + host + "/ok HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
         "HTTP/1.1 400", nullptr},
        {"a body in a coding besides chunks", "POST http://" + host + "/ok HTTP/1.1\r\nTransfer-Encoding: chunked, "
             "identity\r\n\r\n0\r\n\r\n",
         "HTTP/1.1 400", nullptr},
        {"no address", "GET /ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"another scheme", "GET ftp://" + host + "/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"a port that is not one", "GET http://127.0.0.1:8o/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 400", nullptr},
        {"nobody there", "GET http://127.0.0.1:1/ok HTTP/1.1\r\n\r\n", "HTTP/1.1 502", nullptr},
        {"a tunnel to a host refused whole", "CONNECT localhost:" + std::to_string(server.serverPort()) + " HTTP/1.1\r\n\r\n",
         "HTTP/1.1 403", nullptr},
        {"a tunnel to a port no page may use", "CONNECT 127.0.0.1:25 HTTP/1.1\r\n\r\n", "HTTP/1.1 403", nullptr},
        {"a tunnel for a socket to a refused address", "CONNECT " + host + " HTTP/1.1\r\n\r\nGET /no/socket HTTP/1.1\r\n"
             "Host: " + host + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n",
         "HTTP/1.1 200 Connection established\r\n\r\nHTTP/1.1 403", nullptr},
        {"a tunnel for a socket to an approved address", "CONNECT " + host + " HTTP/1.1\r\n\r\nGET /ok HTTP/1.1\r\n"
             "Host: " + host + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n",
         "HTTP/1.1 200 Connection established\r\n\r\nHTTP/1.0 200 OK", "/ok"},
        {"a tunnel that carries neither a secure connection nor a socket",
         "CONNECT " + host + " HTTP/1.1\r\n\r\n\x01\x01\x01\x01\x21\x12\xa4\x42\r\n\r\n", "HTTP/1.1 200 Connection established"
         "\r\n\r\nHTTP/1.1 400", nullptr},
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
    EXPECT_TRUE(asked.contains(QString::fromStdString("ws://" + host + "/no/socket")));
    // Asked with the address as sent, and never for one that carries its pass.
    EXPECT_TRUE(asked.contains(QString::fromStdString("http://" + host + "/ok")));
    EXPECT_FALSE(asked.contains(QString::fromStdString("http://" + host + "/no-bound")));
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
    // A secure site's tunnel: the bytes inside (a handshake record first) are the site's
    // own, both ways. This server takes them for a request of "/ok".
    proxy.setRules([](const QByteArray&, bool) { return true; });
    const std::string answer = through(proxy, "CONNECT " + host + " HTTP/1.1\r\n\r\n\x16 /ok HTTP/1.0\r\n\r\n");
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
        const std::size_t first = answer.find("first"), second = answer.find("6\r\nsecond\r\n0\r\n\r\n"),
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

// The site's answer as the engine would read it, sent on in one form with framing of the
// proxy's own making: the engine behind the proxy can never end an answer elsewhere than
// the proxy did, nor be handed to the site as a blind tunnel.
TEST(Proxy, AnswersAreReadAsTheEngineReadsThem) {
    const struct {
        const char* name;
        QByteArray answer;    // what the site sends
        QByteArray request;   // headers besides Host
        std::string expected; // what the engine gets, up to the body
        // The site keeps its connection only where a blind tunnel would show: it closes
        // after each answer elsewhere, so that a tunnel ends.
        LoopbackHttpServer::After after = LoopbackHttpServer::After::Close;
    } cases[] = {
        {"lines ended by LF alone", "HTTP/1.1 200 OK\nX-A: 1\nContent-Length: 4\n\nbodyrest", "",
         "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 4\r\nConnection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\nbody"},
        {"a lone CR ends a line too", "HTTP/1.1 200 OK\r\nX-A: 1\rContent-Length: 3\r\n\r\nabcdef", "",
         "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 3\r\nConnection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\nabc"},
        {"a space before the colon, a folded line, a line without a name",
         "HTTP/1.1 200 OK\r\nContent-Length : 2\r\nX-B: one\r\n  two\r\nno name here\r\n: empty\r\n\r\nokmore", "",
         "HTTP/1.1 200 OK\r\nX-B: one two\r\nContent-Length: 2\r\nConnection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\nok"},
        {"chunks framed anew, their trailer dropped",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;ext=1 \nabc\r\n0\nT: t\n\nrest", "",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\n"
         "3\r\nabc\r\n0\r\n\r\n"},
        {"chunked beside a length: the chunks count, as the engine counts them",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 100\r\n\r\n2\r\nhi\r\n0\r\n\r\n", "",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\n"
         "2\r\nhi\r\n0\r\n\r\n"},
        {"a coding besides chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, identity\r\nContent-Length: 5\r\n\r\n"
         "0\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", "", "HTTP/1.1 502"},
        {"two coding lines", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "",
         "HTTP/1.1 502"},
        {"chunks in an HTTP/1.0 answer", "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "", "HTTP/1.1 502"},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", "", "HTTP/1.1 502"},
        {"a length that is not a number", "HTTP/1.1 200 OK\r\nContent-Length: 2x\r\n\r\nabc", "", "HTTP/1.1 502"},
        {"a NUL in the head", QByteArray("HTTP/1.1 200 OK\r\nX: a\0Content-Length: 1\r\n\r\nab", 45), "", "HTTP/1.1 502"},
        {"a switch of protocol nobody asked for", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n", "",
         "HTTP/1.1 502", LoopbackHttpServer::After::KeepOpen},
        {"a switch of protocol that was asked for", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nframes",
         "Connection: Upgrade\r\nUpgrade: x\r\n",
         "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\nConnection: Upgrade\r\n\r\nframes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackHttpServer server(c.after);
        server.answers["/a"] = c.answer;
        GateProxy proxy;
        proxy.setRules([](const QByteArray&, bool) { return true; });
        const std::string host = "127.0.0.1:" + std::to_string(server.serverPort());
        // A second request behind the first: after an answer the proxy could not frame, or
        // an unasked switch, it must never reach the site.
        const std::string answer = through(proxy, "GET http://" + host + "/a HTTP/1.1\r\nHost: " + host + "\r\n" +
                                                      c.request.toStdString() + "\r\nGET http://" + host +
                                                      "/behind HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
        EXPECT_EQ(answer.substr(0, c.expected.size()), c.expected);
        if (c.expected == "HTTP/1.1 502") {
            EXPECT_EQ(server.requested, QStringList{"/a"});
        }
    }
}

namespace {

// A request from another process, as another account when `uid` is set: what it was
// answered (the child writes it to a pipe).
std::string fromAnotherProcess(quint16 port, const std::string& request, uid_t uid = 0) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (uid != 0 && ::setuid(uid) != 0) ::_exit(1);
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) ::_exit(2);
        ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
        char buf[4096];
        for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;)
            if (::write(pipeEnds[1], buf, static_cast<std::size_t>(n)) != n) break;
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string answer;
    char buf[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buf, sizeof buf)) > 0;) answer.append(buf, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return answer;
}

}  // namespace

// The proxy serves this browser alone: another program, or another account, is never a
// relay to a site nor holds a place a page needs.
TEST(Proxy, ServesThisProcessAlone) {
    LoopbackHttpServer server;
    server.page("/ok", "fine");
    GateProxy proxy;
    proxy.setRules([](const QByteArray&, bool) { return true; });
    const std::string host = "127.0.0.1:" + std::to_string(server.serverPort());
    const std::string get = "GET http://" + host + "/ok HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    // Answered in another process while this one serves the proxy's questions.
    auto elsewhere = [&](uid_t uid) {
        std::string answer;
        std::atomic<bool> done{false};
        std::thread t([&] {
            answer = fromAnotherProcess(proxy.port(), get + "CONNECT " + host + " HTTP/1.1\r\n\r\n", uid);
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        t.join();
        return answer;
    };
    EXPECT_EQ(elsewhere(0), "") << "another program of this account";
    if (::geteuid() == 0) {
        EXPECT_EQ(elsewhere(65534), "") << "another account";
    }
    EXPECT_EQ(server.connections, 0);
    EXPECT_EQ(through(proxy, get).rfind("HTTP/1.1 200 OK", 0), 0u);

    // Three hundred idle connections of another process, held open: the browser's own
    // requests are served all the same.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t flood = ::fork();
    if (flood == 0) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(proxy.port());
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 300; ++i) {
            const int s = ::socket(AF_INET, SOCK_STREAM, 0);
            ::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
        }
        if (::write(ready[1], "x", 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char x;
    ASSERT_EQ(::read(ready[0], &x, 1), 1);
    EXPECT_EQ(through(proxy, get).rfind("HTTP/1.1 200 OK", 0), 0u);
    ::kill(flood, SIGKILL);
    ::waitpid(flood, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    // A connection of its own that never says anything is closed within seconds.
    const int idle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(proxy.port());
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(idle, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    pollfd p{idle, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 20000), 1) << "still open after 20 s";
    char b;
    EXPECT_EQ(::recv(idle, &b, 1, 0), 0);
    ::close(idle);
}

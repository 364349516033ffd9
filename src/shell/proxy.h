#pragma once
// A second door for the engine's plain-web requests. The engine follows a picture's or a
// script's redirect on the network before its request gate hears of the new address, so
// the engine is told to send its http requests through this proxy on the loopback
// address, which puts each address to the rules before a byte of it leaves the machine.
// Secure addresses reach it only as tunnels to a host: a tunnel is refused when the rules
// refuse every address on that host, and what goes through it stays the request gate's.
// The rules are asked on the thread that made the proxy (the GUI thread, where the
// settings live); connections are served on threads of their own.
#include <QByteArray>
#include <QSocketNotifier>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class GateProxy {
public:
    // Decides an address in the form the engine fetches it; for a tunnel (a secure
    // connection, of which only the host is seen) "https://host:port".
    using Decide = std::function<bool(const QByteArray& address, bool tunnel)>;
    // The request gate puts this header on the top-level requests it lets through (each
    // was decided by its pane, or is the program's own load); its value is known only to
    // this run of the program, and the header never leaves the machine.
    static constexpr const char* PassHeader = "Wenlow-Pass";
    // The pass the request gate puts on a subresource it let through: bound to the
    // address (a keyed hash with the token), so that a redirect elsewhere, which carries
    // the same headers, still meets the rules here; the proxy need not wait for the GUI
    // thread to ask again about the address itself.
    static QByteArray addressPass(const QByteArray& token, std::string_view address);

    // Listens on the loopback address at once; without rules nothing passes.
    GateProxy();
    ~GateProxy();
    GateProxy(const GateProxy&) = delete;
    GateProxy& operator=(const GateProxy&) = delete;

    bool listening() const { return listener_ >= 0; }
    quint16 port() const { return port_; }
    const QByteArray& passToken() const { return token_; }
    // The engine's switches that send its requests here, loopback ones included; empty
    // when the proxy could not listen.
    std::vector<std::string> engineSwitches() const;
    // On the thread that made the proxy, once its event loop can run.
    void setRules(Decide decide);

private:
    struct Question {
        std::string address;
        bool tunnel = false;
        std::promise<bool> answer;
    };
    void acceptLoop();
    void serve(int client);
    bool ask(std::string address, bool tunnel);
    void answerQuestions();

    int listener_ = -1;
    quint16 port_ = 0;
    QByteArray token_;
    Decide decide_;
    std::atomic<bool> hasRules_{false};
    // Questions wait in a queue; a byte on the bell tells the rules' thread.
    std::mutex questionsMutex_;
    std::deque<std::shared_ptr<Question>> questions_;
    int bell_ = -1;
    std::unique_ptr<QSocketNotifier> hearsBell_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable idle_;
    int serving_ = 0;
    std::thread acceptor_;
};

// The words an application object is made with: the program's own, then the switches
// that start the engine behind the proxy (none without one).
class EngineArguments {
public:
    EngineArguments(std::vector<char*> words, const GateProxy* proxy);
    EngineArguments(const EngineArguments&) = delete;
    EngineArguments& operator=(const EngineArguments&) = delete;
    int& count() { return count_; }
    char** values() { return words_.data(); }

private:
    std::vector<std::string> switches_;
    std::vector<char*> words_;
    int count_ = 0;
};

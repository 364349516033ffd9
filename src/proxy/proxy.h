#pragma once
// A second door for the engine's plain-web requests. The engine follows a picture's or a
// script's redirect on the network before its request gate hears of the new address, so
// the engine is told to send its http requests through this proxy on the loopback
// address, which puts each address to the rules before a byte of it leaves the machine.
// Secure addresses reach it only as tunnels to a host: a tunnel is refused when the rules
// refuse every address on that host, and what goes through it stays the request gate's
// (session.h says what a tunnel may carry). The rules are asked on the thread that made
// the proxy (the GUI thread, where the settings live); connections, of this process
// alone, are served on threads of their own.
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
    // The request gate puts this header on the plain-web requests it let through that
    // may carry one (top-level loads, which their panes decided; frames; same-origin
    // pictures, styles, scripts): the proxy need not wait for the GUI thread to ask again.
    // The header never leaves the machine.
    static constexpr const char* PassHeader = "Wenlow-Pass";
    // Its value: bound to the address (a keyed hash with a token only this run knows), so
    // that a redirect elsewhere, which carries the same headers, still meets the rules
    // here, and a value a site ever saw is worth nothing.
    static QByteArray addressPass(const QByteArray& token, std::string_view address);

    // Listens on the loopback address at once, for connections of this process alone;
    // without rules nothing passes.
    GateProxy();
    ~GateProxy();
    GateProxy(const GateProxy&) = delete;
    GateProxy& operator=(const GateProxy&) = delete;

    bool listening() const { return listener_ >= 0; }
    quint16 port() const { return port_; }
    const QByteArray& passToken() const { return token_; }
    // The engine's switches that send its requests here, loopback ones included (words
    // for after "--webEngineArgs"); none when the proxy could not listen.
    std::vector<std::string> engineSwitches() const;
    // On the thread that made the proxy, once its event loop can run; empty rules let
    // nothing through and leave nothing of the proxy on that thread.
    void setRules(Decide decide);

private:
    struct Question {
        std::string address;
        bool tunnel = false;
        std::promise<bool> answer;
    };
    void acceptLoop();
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

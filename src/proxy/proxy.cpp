#include "proxy/proxy.h"

#include "proxy/peer.h"
#include "proxy/relay.h"
#include "proxy/session.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sodium.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <string_view>

namespace {

// Connections served at once: the engine holds a few dozen, so more means a site that
// keeps answers hanging; those beyond are closed rather than given a thread each.
constexpr int MostServed = 256;
constexpr int ConnectWait = 30'000;  // ms for the site to answer a connection

}  // namespace

QByteArray GateProxy::addressPass(const QByteArray& token, std::string_view address) {
    static const bool ready = sodium_init() >= 0;
    const QByteArray key = QByteArray::fromHex(token);
    if (!ready || key.size() != crypto_shorthash_KEYBYTES) return {};
    unsigned char tag[crypto_shorthash_BYTES];
    crypto_shorthash(tag, reinterpret_cast<const unsigned char*>(address.data()), address.size(),
                     reinterpret_cast<const unsigned char*>(key.constData()));
    return QByteArray(reinterpret_cast<const char*>(tag), sizeof tag).toHex();
}

GateProxy::GateProxy() : bell_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    token_ = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();

    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s, 128) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
        if (s >= 0) ::close(s);
        return;
    }
    port_ = ntohs(at.sin_port);
    listener_ = s;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

GateProxy::~GateProxy() {
    // Every wait looks at this within a tick.
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return serving_ == 0; });
    hearsBell_.reset();
    if (listener_ >= 0) ::close(listener_);
    if (bell_ >= 0) ::close(bell_);
}

std::vector<std::string> GateProxy::engineSwitches() const {
    if (!listening()) return {};
    // "<-loopback>": the engine would otherwise send loopback addresses past any proxy.
    return {"--proxy-server=http://127.0.0.1:" + std::to_string(port_), "--proxy-bypass-list=<-loopback>"};
}

void GateProxy::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, relay::Tick) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) continue;
        // Another program, or another account, gets no relay and holds no place here.
        if (!peerIsThisProcess(client)) {
            ::close(client);
            continue;
        }
        // Heads and bodies go on as they come, not held back for a full packet.
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        {
            std::lock_guard lock(mutex_);
            if (serving_ >= MostServed) {
                ::close(client);
                continue;
            }
            ++serving_;
        }
        std::thread([this, client] {
            const relay::Serving how{
                stopping_,
                [this](std::string address, bool tunnel) { return ask(std::move(address), tunnel); },
                [this](std::string_view address, std::string_view pass) {
                    return !pass.empty() && QByteArrayView(pass.data(), qsizetype(pass.size())) == addressPass(token_, address);
                },
                [this](const std::string& host, const std::string& port) {
                    return relay::connectTo(host, port, ConnectWait, stopping_);
                },
                PassHeader};
            relay::serve(client, how);
            ::close(client);
            std::lock_guard lock(mutex_);
            if (--serving_ == 0) idle_.notify_all();
        }).detach();
    }
}

void GateProxy::setRules(Decide decide) {
    hasRules_ = false;
    decide_ = std::move(decide);
    if (!decide_) {
        // Questions still waiting are answered no; the notifier goes with the rules, before
        // the application object that drives it.
        if (hearsBell_) answerQuestions();
        hearsBell_.reset();
        return;
    }
    if (!hearsBell_ && bell_ >= 0) {
        hearsBell_ = std::make_unique<QSocketNotifier>(bell_, QSocketNotifier::Read);
        QObject::connect(hearsBell_.get(), &QSocketNotifier::activated, hearsBell_.get(), [this] { answerQuestions(); });
    }
    hasRules_ = hearsBell_ != nullptr;
}

void GateProxy::answerQuestions() {
    std::uint64_t rung = 0;
    [[maybe_unused]] const ssize_t n = ::read(bell_, &rung, sizeof rung);
    std::deque<std::shared_ptr<Question>> waiting;
    {
        std::lock_guard lock(questionsMutex_);
        waiting.swap(questions_);
    }
    for (const auto& q : waiting)
        q->answer.set_value(decide_ &&
                            decide_(QByteArray(q->address.data(), static_cast<qsizetype>(q->address.size())), q->tunnel));
}

bool GateProxy::ask(std::string address, bool tunnel) {
    if (!hasRules_) return false;
    auto question = std::make_shared<Question>();
    question->address = std::move(address);
    question->tunnel = tunnel;
    std::future<bool> decided = question->answer.get_future();
    {
        std::lock_guard lock(questionsMutex_);
        questions_.push_back(std::move(question));
    }
    const std::uint64_t one = 1;
    if (::write(bell_, &one, sizeof one) != sizeof one) return false;
    while (decided.wait_for(std::chrono::milliseconds(relay::Tick)) != std::future_status::ready)
        if (stopping_) return false;
    return decided.get();
}

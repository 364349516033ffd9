#include "shell/proxy.h"

#include "platform/text.h"
#include "shell/relay.h"

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
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr int HeadWait = 30'000;     // ms for the first request of a connection
constexpr int IdleWait = 60'000;     // ms for each further one
constexpr int ConnectWait = 30'000;  // ms for the site to answer a connection
constexpr int Quiet = 5 * 60'000;    // ms of silence that ends a request under way
// Connections served at once: the engine holds a few dozen, so more means a site that
// keeps answers hanging; those beyond are closed rather than given a thread each.
constexpr int MostServed = 256;

constexpr std::string_view RefusedAnswer =
    "HTTP/1.1 403 Forbidden\r\nContent-Type: text/plain\r\nContent-Length: 29\r\nConnection: close\r\n"
    "Proxy-Connection: close\r\n\r\nThis address is not approved.";
constexpr std::string_view BadAnswer =
    "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n";
constexpr std::string_view UnreachableAnswer =
    "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n";

// The connection to the site the last request went to, kept for the next one there.
struct Site {
    int fd = -1;
    std::string authority;
    std::optional<relay::Stream> stream;
    Site() = default;
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;
    ~Site() { reset(); }
    void reset() {
        stream.reset();
        if (fd >= 0) ::close(fd);
        fd = -1;
        authority.clear();
    }
};

struct Line {
    std::string_view first, second, rest;  // "GET", "http://…", "HTTP/1.1"; "HTTP/1.1", "200", "OK"
};

bool splitLine(std::string_view head, Line& line) {
    const std::string_view l = head.substr(0, head.find("\r\n"));
    const std::size_t sp1 = l.find(' ');
    if (sp1 == std::string_view::npos) return false;
    const std::size_t sp2 = l.find(' ', sp1 + 1);
    line.first = l.substr(0, sp1);
    line.second = l.substr(sp1 + 1, sp2 == std::string_view::npos ? std::string_view::npos : sp2 - sp1 - 1);
    line.rest = sp2 == std::string_view::npos ? std::string_view() : l.substr(sp2 + 1);
    return !line.first.empty() && !line.second.empty();
}

// The header lines of a head, each with its "\r\n", without the first line and the blank one.
std::string_view headerLines(std::string_view head) {
    const std::size_t first = head.find("\r\n") + 2;
    return head.substr(first, head.size() - 2 - first);
}

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
    return {"--webEngineArgs", "--proxy-server=http://127.0.0.1:" + std::to_string(port_),
            "--proxy-bypass-list=<-loopback>"};
}

EngineArguments::EngineArguments(std::vector<char*> words, const GateProxy* proxy)
    : switches_(proxy ? proxy->engineSwitches() : std::vector<std::string>()), words_(std::move(words)) {
    for (std::string& s : switches_) words_.push_back(s.data());
    count_ = static_cast<int>(words_.size());
    words_.push_back(nullptr);
}

void GateProxy::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, relay::Tick) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) continue;
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
            serve(client);
            ::close(client);
            std::lock_guard lock(mutex_);
            if (--serving_ == 0) idle_.notify_all();
        }).detach();
    }
}

void GateProxy::setRules(Decide decide) {
    decide_ = std::move(decide);
    if (decide_ && !hearsBell_ && bell_ >= 0) {
        hearsBell_ = std::make_unique<QSocketNotifier>(bell_, QSocketNotifier::Read);
        QObject::connect(hearsBell_.get(), &QSocketNotifier::activated, hearsBell_.get(), [this] { answerQuestions(); });
    }
    hasRules_ = decide_ && hearsBell_;
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

void GateProxy::serve(int clientFd) {
    relay::Stream client(clientFd, stopping_);
    Site site;
    for (bool first = true;; first = false) {
        std::string head;
        if (!client.readHead(head, first ? HeadWait : IdleWait)) return;
        Line line;
        if (!splitLine(head, line) || line.rest.empty()) {
            client.send(BadAnswer);
            return;
        }
        const std::string_view method = line.first, target = line.second;
        std::string host, port;
        if (method == "CONNECT") {
            // A tunnel to a secure site or socket: its addresses are the request gate's,
            // but a host the rules refuse whole is never reached.
            if (!relay::splitAuthority(target, "443", host, port)) {
                client.send(BadAnswer);
                return;
            }
            const bool bracketed = host.find(':') != std::string::npos;
            const std::string secure = "https://" + (bracketed ? "[" + host + "]" : host) + (port == "443" ? "" : ":" + port);
            if (!ask(secure, true)) {
                client.send(RefusedAnswer);
                return;
            }
            site.fd = relay::connectTo(host, port, ConnectWait, stopping_);
            if (site.fd < 0) {
                client.send(UnreachableAnswer);
                return;
            }
            relay::Stream to(site.fd, stopping_);
            if (client.send("HTTP/1.1 200 Connection established\r\n\r\n")) relay::tunnel(client, to, Quiet);
            return;
        }
        constexpr std::string_view web = "http://";
        const bool isWeb = target.size() > web.size() && equalsNoCase(target.substr(0, web.size()), web);
        const std::size_t pathAt = isWeb ? target.find('/', web.size()) : std::string_view::npos;
        const std::string_view authority =
            isWeb ? target.substr(web.size(), (pathAt == std::string_view::npos ? target.size() : pathAt) - web.size())
                  : std::string_view();
        const relay::Headers asked = relay::readHeaders(headerLines(head), PassHeader);
        if (!isWeb || !relay::splitAuthority(authority, "80", host, port) || asked.badLength ||
            (asked.chunked && asked.hasLength)) {
            client.send(BadAnswer);
            return;
        }
        const bool passes = !asked.pass.empty() && (asked.pass == std::string_view(token_.constData(), token_.size()) ||
                                                    QByteArrayView(asked.pass.data(), qsizetype(asked.pass.size())) ==
                                                        addressPass(token_, target));
        if (!passes && !ask(std::string(target), false)) {
            client.send(RefusedAnswer);
            return;
        }
        const relay::Body sent = asked.chunked     ? relay::Body{relay::Body::Chunked}
                                 : asked.hasLength ? relay::Body{relay::Body::Length, asked.length}
                                                   : relay::Body{};
        const bool clientCloses = asked.close || (line.rest == "HTTP/1.0" && !asked.keepAlive);
        std::string request;
        request.append(method).append(" ");
        request.append(pathAt == std::string_view::npos ? std::string_view("/") : target.substr(pathAt));
        request.append(" HTTP/1.1\r\n").append(asked.kept).append("\r\n");

        // On the connection to the same site when there is one; one the site closed
        // meanwhile is tried once afresh, when no body went with the request.
        std::string answer;
        for (int attempt = 0;; ++attempt) {
            const bool reused = site.fd >= 0 && site.authority == authority;
            if (!reused) {
                site.reset();
                site.fd = relay::connectTo(host, port, ConnectWait, stopping_);
                if (site.fd < 0) {
                    client.send(UnreachableAnswer);
                    return;
                }
                site.authority = authority;
                site.stream.emplace(site.fd, stopping_);
            }
            bool heard = false;
            if (site.stream->send(request) && relay::carryBody(client, *site.stream, sent, Quiet) &&
                site.stream->readHead(answer, Quiet, &heard))
                break;
            site.reset();
            if (!reused || heard || attempt > 0 || sent.kind != relay::Body::None) {
                client.send(UnreachableAnswer);
                return;
            }
        }
        // Interim answers go on as they are; a switch of protocol leaves a tunnel.
        Line status;
        for (;;) {
            if (!splitLine(answer, status) || status.second.size() != 3) {
                client.send(UnreachableAnswer);
                return;
            }
            if (status.second == "101") {
                if (client.send(answer)) relay::tunnel(client, *site.stream, Quiet);
                return;
            }
            if (status.second[0] != '1') break;
            if (!client.send(answer) || !site.stream->readHead(answer, Quiet)) return;
        }
        const relay::Headers got = relay::readHeaders(headerLines(answer), PassHeader);
        relay::Body body;
        if (method == "HEAD" || status.second == "204" || status.second == "304")
            body = {};
        else if (got.chunked)
            body = {relay::Body::Chunked};
        else if (got.hasLength && !got.badLength)
            body = {relay::Body::Length, got.length};
        else
            body = {relay::Body::UntilClose};
        const bool keep = !clientCloses && body.kind != relay::Body::UntilClose;
        const bool siteCloses =
            got.close || (status.first == "HTTP/1.0" && !got.keepAlive) || body.kind == relay::Body::UntilClose;
        std::string out = "HTTP/1.1 ";
        out.append(status.second).append(" ").append(status.rest).append("\r\n").append(got.kept);
        out.append(keep ? "Connection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\n"
                        : "Connection: close\r\nProxy-Connection: close\r\n\r\n");
        if (!client.send(out) || !relay::carryBody(*site.stream, client, body, Quiet)) return;
        if (siteCloses) site.reset();
        if (!keep) return;
    }
}

#include "proxy/session.h"

#include "platform/text.h"
#include "proxy/heads.h"
#include "proxy/relay.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

namespace relay {

namespace {

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
    std::optional<Stream> stream;
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

std::string hostPort(const std::string& host, const std::string& port, std::string_view usual) {
    const bool bracketed = host.find(':') != std::string::npos;
    return (bracketed ? "[" + host + "]" : host) + (port == usual ? "" : ":" + port);
}

bool isStatus(const Head& h) {
    return h.valid && h.first.size() > 5 && equalsNoCase(h.first.substr(0, 5), "HTTP/") && h.second.size() == 3 &&
           std::all_of(h.second.begin(), h.second.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A tunnel to host:port. What the engine sends first says what it is for: a secure
// connection begins with a TLS handshake record; a plain WebSocket (from a page, or from a
// worker the request gate never hears of) with its upgrade head, whose own address is put
// to the rules here before anything reaches the site. Nothing else goes through.
void serveTunnel(Stream& client, std::string_view target, const Serving& how) {
    std::string host, port;
    if (!splitAuthority(target, "443", host, port)) {
        client.send(BadAnswer);
        return;
    }
    if (!portForPages(port) || !how.ask("https://" + hostPort(host, port, "443"), true)) {
        client.send(RefusedAnswer);
        return;
    }
    if (!client.send("HTTP/1.1 200 Connection established\r\n\r\n")) return;
    if (client.buffered().empty() && !client.fill(HeadWait)) return;
    constexpr char Handshake = 0x16;
    std::string opening;
    if (client.buffered().front() != Handshake) {
        std::string head;
        if (!client.readHead(head, HeadWait)) return;
        const Head asked = readHead(head, how.passHeader);
        Body body;
        if (!asked.valid || asked.first != "GET" || !startsWith(asked.second, "/") || !asked.asksUpgrade() ||
            !requestBody(asked, body) || body.kind != Body::None) {
            client.send(BadAnswer);
            return;
        }
        if (!how.ask("ws://" + hostPort(host, port, "80") + asked.second, false)) {
            client.send(RefusedAnswer);
            return;
        }
        opening = "GET " + asked.second + " HTTP/1.1\r\n" + asked.kept + "Connection: Upgrade\r\n\r\n";
    }
    const int fd = how.connect(host, port);
    if (fd < 0) return;
    Stream site(fd, how.stopping);
    if (site.send(opening)) tunnel(client, site, Quiet);
    ::close(fd);
}

}  // namespace

bool portForPages(std::string_view port) {
    static constexpr int Closed[] = {1,    7,    9,    11,   13,   15,   17,   19,   20,   21,   22,   23,   25,   37,
                                     42,   43,   53,   69,   77,   79,   87,   95,   101,  102,  103,  104,  109,  110,
                                     111,  113,  115,  117,  119,  123,  135,  137,  139,  143,  161,  179,  389,  427,
                                     465,  512,  513,  514,  515,  526,  530,  531,  532,  540,  548,  554,  556,  563,
                                     587,  601,  636,  989,  990,  993,  995,  1719, 1720, 1723, 2049, 3659, 4045, 5060,
                                     5061, 6000, 6566, 6665, 6666, 6667, 6668, 6669, 6697, 10080};
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int n = std::stoi(std::string(port));
    return n > 0 && n <= 65535 && std::find(std::begin(Closed), std::end(Closed), n) == std::end(Closed);
}

void serve(int clientFd, const Serving& how) {
    Stream client(clientFd, how.stopping);
    Site site;
    for (bool first = true;; first = false) {
        std::string head;
        if (!client.readHead(head, first ? HeadWait : IdleWait)) return;
        const Head asked = readHead(head, how.passHeader);
        if (!asked.valid || !startsWith(asked.rest, "HTTP/1.")) {
            client.send(BadAnswer);
            return;
        }
        const std::string_view method = asked.first, target = asked.second;
        if (method == "CONNECT") {
            site.reset();
            serveTunnel(client, target, how);
            return;
        }
        constexpr std::string_view web = "http://";
        const bool isWeb = target.size() > web.size() && equalsNoCase(target.substr(0, web.size()), web);
        const std::size_t pathAt = isWeb ? target.find('/', web.size()) : std::string_view::npos;
        const std::string_view authority =
            isWeb ? target.substr(web.size(), (pathAt == std::string_view::npos ? target.size() : pathAt) - web.size())
                  : std::string_view();
        std::string host, port;
        Body sent;
        if (!isWeb || !splitAuthority(authority, "80", host, port) || !requestBody(asked, sent)) {
            client.send(BadAnswer);
            return;
        }
        if (!how.passes(target, asked.pass) && !how.ask(std::string(target), false)) {
            client.send(RefusedAnswer);
            return;
        }
        const bool clientCloses = asked.close || (asked.rest == "HTTP/1.0" && !asked.keepAlive);
        const bool upgrade = asked.asksUpgrade();
        std::string request;
        request.append(method).append(" ");
        request.append(pathAt == std::string_view::npos ? std::string_view("/") : target.substr(pathAt));
        request.append(" HTTP/1.1\r\n").append(asked.kept).append(framing(sent, asked));
        request.append(upgrade ? "Connection: Upgrade\r\n\r\n" : "\r\n");

        // On the connection to the same site when there is one; one the site closed
        // meanwhile is tried once afresh, when no body went with the request.
        std::string answer;
        for (int attempt = 0;; ++attempt) {
            const bool reused = site.fd >= 0 && site.authority == authority;
            if (!reused) {
                site.reset();
                site.fd = how.connect(host, port);
                if (site.fd < 0) {
                    client.send(UnreachableAnswer);
                    return;
                }
                site.authority = authority;
                site.stream.emplace(site.fd, how.stopping);
            }
            bool heard = false;
            if (site.stream->send(request) && carryBody(client, *site.stream, sent, Quiet) &&
                site.stream->readHead(answer, Quiet, &heard))
                break;
            site.reset();
            if (!reused || heard || attempt > 0 || sent.kind != Body::None) {
                client.send(UnreachableAnswer);
                return;
            }
        }
        // Interim answers go on; a switch of protocol, when one was asked for, leaves a
        // tunnel. One that was not asked for would make the engine's connection a blind
        // tunnel to the site.
        Head got;
        for (;;) {
            got = readHead(answer, how.passHeader);
            if (!isStatus(got) || (got.second == "101" && !upgrade)) {
                client.send(UnreachableAnswer);
                return;
            }
            const std::string status = "HTTP/1.1 " + got.second + " " + got.rest + "\r\n" + got.kept;
            if (got.second == "101") {
                if (client.send(status + "Connection: Upgrade\r\n\r\n")) tunnel(client, *site.stream, Quiet);
                return;
            }
            if (got.second[0] != '1') break;
            if (!client.send(status + "\r\n") || !site.stream->readHead(answer, Quiet)) return;
        }
        Body body;
        if (!answerBody(got, method, body)) {
            client.send(UnreachableAnswer);
            return;
        }
        const bool keep = !clientCloses && body.kind != Body::UntilClose;
        const bool siteCloses =
            got.close || (equalsNoCase(got.first, "HTTP/1.0") && !got.keepAlive) || body.kind == Body::UntilClose;
        std::string out = "HTTP/1.1 " + got.second + " " + got.rest + "\r\n" + got.kept + framing(body, got);
        out.append(keep ? "Connection: keep-alive\r\nProxy-Connection: keep-alive\r\n\r\n"
                        : "Connection: close\r\nProxy-Connection: close\r\n\r\n");
        if (!client.send(out) || !carryBody(*site.stream, client, body, Quiet)) return;
        if (siteCloses) site.reset();
        if (!keep) return;
    }
}

}  // namespace relay

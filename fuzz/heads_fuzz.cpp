// A request or an answer as the proxy reads it: the head read as the engine reads it and
// written on with only the lines it understood (never the pass, never framing of the
// sender's), and the body carried exactly as far as it goes: what went on plus what stays
// buffered is what followed the head (a chunked body is framed anew: what stays is what
// followed its end, and the chunks sent are well formed and carry no more than came).
#include "platform/text.h"
#include "proxy/heads.h"
#include "proxy/relay.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr std::string_view Pass = "Wenlow-Pass";

void require(bool ok, int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "heads_fuzz.cpp:%d does not hold\n", line);
    std::abort();
}

// Every kept line is "Name: value" with a name the proxy leaves to others, and nothing
// in it can end a line early.
void checkKept(std::string_view kept) {
    while (!kept.empty()) {
        const std::size_t end = kept.find("\r\n");
        require(end != std::string_view::npos);
        const std::string_view line = kept.substr(0, end);
        kept.remove_prefix(end + 2);
        require(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
        const std::size_t colon = line.find(": ");
        require(colon != std::string_view::npos && colon > 0);
        const std::string_view name = line.substr(0, colon);
        for (const char* framing : {"Wenlow-Pass", "Connection", "Proxy-Connection", "Keep-Alive", "Content-Length",
                                    "Transfer-Encoding"})
            require(!equalsNoCase(name, framing));
    }
}

// The payload of chunks of the proxy's own framing, as far as they were sent.
std::size_t chunkPayload(std::string_view sent) {
    std::size_t payload = 0;
    while (!sent.empty()) {
        const std::size_t end = sent.find("\r\n");
        if (end == std::string_view::npos) return payload;  // cut short: the sender failed first
        const unsigned long long size = std::stoull(std::string(sent.substr(0, end)), nullptr, 16);
        char hex[24];
        std::snprintf(hex, sizeof hex, "%llx", size);
        require(sent.substr(0, end) == hex);
        sent.remove_prefix(end + 2);
        if (size == 0) {
            require(sent.empty() || sent == "\r\n");
            return payload;
        }
        const std::size_t n = std::min<std::size_t>(size, sent.size());
        payload += n;
        sent.remove_prefix(n);
        require(sent.empty() || sent.substr(0, 2) == std::string_view("\r\n").substr(0, sent.size()));
        sent.remove_prefix(std::min<std::size_t>(2, sent.size()));
    }
    return payload;
}

// Everything the other end sends until it shuts down, read while it is sent: many small
// chunks fill a socket's buffer long before their bytes would.
std::string readAll(int fd) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) all.append(buf, static_cast<std::size_t>(n));
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool answer = data[0] & 1;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    int in[2], out[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, in) != 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, out) != 0) std::abort();
    require(::send(in[0], input.data(), input.size(), 0) == static_cast<ssize_t>(input.size()));
    ::shutdown(in[0], SHUT_WR);
    std::atomic<bool> stopping{false};
    relay::Stream from(in[1], stopping), to(out[0], stopping);
    std::string head;
    if (from.readHead(head, 0)) {
        // Empty lines before the head were skipped; the head ends where the engine ends it.
        const std::size_t skipped = input.find_first_not_of("\r\n");
        require(input.compare(skipped, head.size(), head) == 0 && relay::headEnd(head) == head.size());
        const std::string rest = input.substr(skipped + head.size());
        const relay::Head h = relay::readHead(head, Pass);
        checkKept(h.kept);
        relay::Body body;
        if (answer ? relay::answerBody(h, "GET", body) : relay::requestBody(h, body)) {
            // A length that is not one frames nothing: a body is then chunked (the coding
            // wins, as the engine has it) or absent.
            require(!h.badLength || body.kind == relay::Body::None || body.kind == relay::Body::Chunked);
            const std::string framing = relay::framing(body, h);
            require(framing.empty() || framing.find("\r\n") == framing.size() - 2);
            std::string sent;
            std::thread reader([&] { sent = readAll(out[1]); });
            relay::carryBody(from, to, body, 0);
            ::shutdown(out[0], SHUT_WR);
            reader.join();
            const std::string& left = from.buffered();
            require(left.size() <= rest.size() && rest.compare(rest.size() - left.size(), left.size(), left) == 0);
            if (body.kind == relay::Body::Chunked)
                require(chunkPayload(sent) <= rest.size() - left.size());
            else
                require(sent + left == rest);
            if (body.kind == relay::Body::Length) require(sent.size() <= body.length);
        }
    }
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
    return 0;
}

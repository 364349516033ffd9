// The proxy's serve loop between the engine and scripted sites: whatever either sends
// (requests after requests, tunnels, interim answers, switches of protocol, framing of
// any kind, answers cut short), it ends, answers well-formed or not at all, and with
// rules that refuse everything it never opens a connection to a site.
//   input: a first byte (1 = the rules approve everything), then what the engine sends,
//   then what each site connection answers in turn, parts split by "~~~~"
#include "proxy/proxy.h"
#include "proxy/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool ok, int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "proxy_fuzz.cpp:%d does not hold\n", line);
    std::abort();
}

int loaded(std::string_view bytes, int& keep) {
    int ends[2];
    require(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    require(::send(ends[0], bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    ::shutdown(ends[0], SHUT_WR);
    keep = ends[0];
    return ends[1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool approve = data[0] == 1;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::string_view> parts;
    for (std::size_t cut; (cut = rest.find("~~~~")) != std::string_view::npos; rest.remove_prefix(cut + 4))
        parts.push_back(rest.substr(0, cut));
    parts.push_back(rest);

    static const QByteArray token = QByteArray(32, 'a');
    std::atomic<bool> stopping{false};
    std::vector<int> siteEnds;
    std::size_t nextSite = 1;
    const relay::Serving how{
        stopping,
        [&](std::string address, bool tunnel) {
            require(address.find("://") != std::string::npos && (!tunnel || address.rfind("https://", 0) == 0));
            return approve;
        },
        [](std::string_view address, std::string_view pass) {
            return !pass.empty() && QByteArrayView(pass.data(), qsizetype(pass.size())) == GateProxy::addressPass(token, address);
        },
        [&](const std::string&, const std::string&) {
            require(approve);
            if (nextSite >= parts.size()) return -1;
            int keep = -1;
            const int fd = loaded(parts[nextSite++], keep);
            siteEnds.push_back(keep);
            return fd;
        },
        GateProxy::PassHeader};
    int engine = -1;
    const int client = loaded(parts[0], engine);
    relay::serve(client, how);
    ::close(client);
    // What the engine got begins as an answer does, when it got anything.
    char first[5] = {};
    const ssize_t n = ::recv(engine, first, sizeof first, MSG_DONTWAIT);
    require(n <= 0 || std::string_view(first, static_cast<std::size_t>(n)) == std::string_view("HTTP/", static_cast<std::size_t>(n)));
    ::close(engine);
    for (int fd : siteEnds) ::close(fd);
    return 0;
}

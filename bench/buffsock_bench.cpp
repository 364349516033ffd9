// Throughput of the buffered socket over loopback against a plain blocking send/recv
// loop over the same connection, for 32000-byte buffers:
//   build/bench/buffsock_bench
#include "sockets/wsapi.h"
#include "update/buffsock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

constexpr std::uint32_t Block = 32000;

struct Link {
    int listener = -1;
    int peer = -1;
    TBinaryClient client;
    TBufferedSocket* socket = nullptr;

    Link() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        client.ReadBufferSize = Block;
        client.WriteBufferSize = Block;
        client.SetAddress("127.0.0.1");
        client.SetPort(std::to_string(ntohs(a.sin_port)));
        client.Open(&TBufferedSocketClass);
        peer = ::accept(listener, nullptr, nullptr);
        while (!client.Socket->Connected()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket = static_cast<TBufferedSocket*>(client.Socket);
    }
    ~Link() {
        ::close(peer);
        ::close(listener);
    }
    void drainPeer(size_t bytes) {
        static char buf[65536];
        while (bytes > 0) {
            const ssize_t n = ::recv(peer, buf, std::min(bytes, sizeof buf), 0);
            if (n <= 0) break;
            bytes -= static_cast<size_t>(n);
        }
    }
};

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_Write(benchmark::State& state) {
    Link link;
    const std::string data(Block, 'w');
    double buffered = 0, direct = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        link.socket->WriteBlock(data.data(), Block);
        while (link.socket->WriteCount > 0) {
            const std::uint32_t before = link.socket->WriteCount;
            link.socket->FlushWriteBuffer();
            link.drainPeer(before - link.socket->WriteCount);
        }
        auto t1 = std::chrono::steady_clock::now();
        // The plain loop over the same connection.
        size_t sent = 0;
        while (sent < Block) {
            const std::int32_t n = WinsockAPI->send(link.socket->Handle, data.data() + sent,
                                                    static_cast<std::int32_t>(Block - sent), 0);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                link.drainPeer(static_cast<size_t>(n));
            }
        }
        auto t2 = std::chrono::steady_clock::now();
        buffered += seconds(t1 - t0);
        direct += seconds(t2 - t1);
        bytes += Block;
    }
    state.counters["buffered_MBps"] = bytes / buffered / 1e6;
    state.counters["plain_MBps"] = bytes / direct / 1e6;
    state.counters["ratio"] = direct / buffered;
}
BENCHMARK(BM_Write);

void BM_Read(benchmark::State& state) {
    Link link;
    // Half a buffer a round: a read buffer that fills to its last byte is an error.
    constexpr std::uint32_t Unit = Block / 2;
    const std::string data(Unit, 'r');
    static char out[Block];
    double buffered = 0, direct = 0;
    size_t bytes = 0;
    const int a = link.peer;
    for (auto _ : state) {
        ::send(a, data.data(), Unit, 0);
        auto t0 = std::chrono::steady_clock::now();
        std::uint32_t got = 0;
        while (got < Unit) {
            link.socket->FillReadBuffer();
            got += static_cast<std::uint32_t>(link.socket->Read(out, Unit));
        }
        auto t1 = std::chrono::steady_clock::now();
        ::send(a, data.data(), Unit, 0);
        auto t2 = std::chrono::steady_clock::now();
        got = 0;
        while (got < Unit) {
            const std::int32_t n = WinsockAPI->recv(link.socket->Handle, out, static_cast<std::int32_t>(Unit - got), 0);
            if (n > 0) got += static_cast<std::uint32_t>(n);
        }
        auto t3 = std::chrono::steady_clock::now();
        buffered += seconds(t1 - t0);
        direct += seconds(t3 - t2);
        bytes += Unit;
    }
    state.counters["buffered_MBps"] = bytes / buffered / 1e6;
    state.counters["plain_MBps"] = bytes / direct / 1e6;
    state.counters["ratio"] = direct / buffered;
}
BENCHMARK(BM_Read);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

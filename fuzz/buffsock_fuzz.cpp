// The buffered socket's line, block and size operations in any order and with any
// bytes held: no error other than the socket's own, and the counts always within size.
#include "update/buffsock.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TBufferedSocket* socket() {
    static int argc = 1;
    static char name[] = "buffsock_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TBinaryClient client;
    static TBufferedSocket* s = [] {
        client.ReadBufferSize = 64;
        client.WriteBufferSize = 64;
        client.SetSocketClass(&TBufferedSocketClass);
        return static_cast<TBufferedSocket*>(client.Socket);
    }();
    return s;
}

void check(const TBufferedSocketBase& s) {
    // The record size may stand above a buffer size for a while (sizes are set before
    // it); the counts never may.
    if (s.ReadCount > s.ReadBufferSize || s.WriteCount > s.WriteBufferSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBufferedSocket& s = *socket();
    s.PullUpReadBuffer(s.ReadCount);
    s.PullUpWriteBuffer(s.WriteCount);
    char out[256];
    std::string line;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::uint8_t op = data[i] % 12, arg = data[i + 1];
        try {
            switch (op) {
            case 0: {  // bytes arrive
                const std::uint32_t n = std::min<std::uint32_t>(arg % 16, s.ReadBufferFree());
                for (std::uint32_t k = 0; k < n; ++k) s.ReadBuffer[s.ReadCount + k] = static_cast<char>(data[(i + k) % size]);
                s.ReadCount += n;
                break;
            }
            case 1: s.Read(out, arg); break;
            case 2: s.ReadBlock(out, arg % 128); break;
            case 3: s.ReadLine(line, arg % 2 ? "\r\n" : "\n", arg & 4); break;
            case 4: s.ReadLineBuf(out, arg % 16, "\r\n", arg & 4); break;
            case 5: s.Write(out, arg % 128); break;
            case 6: s.WriteBlock(out, arg % 80); break;
            case 7: s.WriteLine(std::string(arg % 40, 'w'), arg & 1 ? "\r\n" : ""); break;
            case 8: s.SetReadBufferSize(arg); break;
            case 9: s.SetWriteBufferSize(arg); break;
            case 10: s.SetRecordSize(arg % 70); break;
            case 11: (void)s.FindInReadBuffer(arg % 70, std::string(1, static_cast<char>(arg))); break;
            }
        } catch (const EBufferedSocketException&) {
        }
        check(s);
    }
    return 0;
}

// wenlow-update: the browser's list download for a program folder, from the command line.
#include "data/linklists.h"
#include "data/setupfiles.h"
#include "platform/errors.h"
#include "tools/common.h"
#include "update/download.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>
#include <string>

namespace {

const char* const Usage =
    "usage: wenlow-update [--dir DIR] [--url ADDRESS] [--time-limit SECONDS] [--max-time SECONDS]\n"
    "                     [--max-bytes N]\n"
    "Downloads the link lists as the browser does, stores them as data.dat in the program\n"
    "folder (keeping the first data.bak) and says what happened. Exit status 0 only when a\n"
    "new data.dat was stored.\n"
    "  --dir DIR            the program folder (default: the folder of this program)\n"
    "  --url ADDRESS        download from this address, as if typed for \"URL Specified Below\"\n"
    "                       (default: the update source chosen in setup.dat)\n"
    "  --time-limit SECONDS give up when nothing has come for this long (default 60)\n"
    "  --max-time SECONDS   give up when the whole download takes longer (default 1800)\n"
    "  --max-bytes N        refuse an answer larger than N bytes (default 268435456)\n"
    "Lists must be signed with the key in DIR/update.key when there is one.\n"
    "  --route HOST=PORT    for testing: reach HOST's port 80 at port PORT of 127.0.0.1\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string dir, url;
    int limit = 60;
    int maxTime = 1800;
    unsigned long long maxBytes = 256ull << 20;
    bool haveUrl = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--dir" && hasValue) {
            dir = argv[++i];
        } else if (arg == "--url" && hasValue) {
            url = argv[++i];
            haveUrl = true;
        } else if (arg == "--time-limit" && hasValue) {
            limit = std::atoi(argv[++i]);
            if (limit <= 0 || limit > 24 * 3600) return usageError("--time-limit takes a number of seconds", Usage);
        } else if (arg == "--max-time" && hasValue) {
            maxTime = std::atoi(argv[++i]);
            if (maxTime <= 0 || maxTime > 24 * 3600) return usageError("--max-time takes a number of seconds", Usage);
        } else if (arg == "--max-bytes" && hasValue) {
            char* end = nullptr;
            maxBytes = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || maxBytes == 0) return usageError("--max-bytes takes a number of bytes", Usage);
        } else if (arg == "--route" && hasValue) {
            const std::string route = argv[++i];
            const size_t eq = route.find('=');
            const int port = eq == std::string::npos ? 0 : std::atoi(route.c_str() + eq + 1);
            if (port <= 0 || port > 65535) return usageError("--route takes HOST=PORT", Usage);
            wsock::AddTestRoute(route.substr(0, eq), 80, static_cast<std::uint16_t>(port));
        } else {
            return usageError("unknown argument " + arg, Usage);
        }
    }

    std::string failure;
    setApplicationErrorSink([&failure](const std::string& text) { failure = text; });
    const std::string folder = programFolder(dir);
    PlainSettings settings;
    try {
        settings.setup = readSetupFile(folder + "setup.dat");
    } catch (const std::exception& e) {
        // Without readable settings only an address given here can be used.
        if (!haveUrl) {
            std::fprintf(stderr, "wenlow-update: %s: %ssetup.dat\n", e.what(), folder.c_str());
            return 2;
        }
    }
    if (haveUrl) {
        settings.setup.options[OptDefaultServer - 1] = false;
        settings.setup.updateAddress = url;
    }

    LinkLists lists;
    std::string work;
    ListDownload download(folder, lists, work);
    download.setSettings(&settings);
    download.timeLimitMs = limit * 1000;
    download.transferLimitMs = maxTime * 1000;
    download.maxBytes = maxBytes;
    // Progress only for a person watching: not into a log or a pipe.
    if (::isatty(STDERR_FILENO)) {
        download.onProgress = [](std::uint64_t received, std::int64_t total) {
            if (total > 0)
                std::fprintf(stderr, "\rwenlow-update: %llu of %lld bytes (%lld %%)", static_cast<unsigned long long>(received),
                             static_cast<long long>(total), static_cast<long long>(received * 100 / static_cast<std::uint64_t>(total)));
            else
                std::fprintf(stderr, "\rwenlow-update: %llu bytes", static_cast<unsigned long long>(received));
        };
    }
    bool stored = false;
    std::string outcome;
    download.onEnded = [&](bool ok, const std::string& what) {
        if (download.onProgress) std::fputs("\n", stderr);
        stored = ok;
        outcome = what;
        QCoreApplication::quit();
    };
    try {
        download.UpdateData();
    } catch (const std::exception& e) {
        // What the download says of it (naming the host it did not find, say).
        std::fprintf(stderr, "wenlow-update: %s\n", outcome.empty() ? e.what() : outcome.c_str());
        return 1;
    }
    QCoreApplication::exec();
    if (!failure.empty()) outcome = failure;
    std::fprintf(stored ? stdout : stderr, "wenlow-update: %s\n", outcome.c_str());
    return stored ? 0 : 1;
}

// Any bytes as the server's answer to the list download, through a loopback peer: the
// program goes on; a download that stores nothing leaves data.dat and the rules in force
// as they were, and one that stores a list leaves a data.dat taken from the answer whose
// rules are the ones in force.
#include "data/files.h"
#include "platform/winsock.h"
#include "update/download.h"
#include "../tests/support/peer.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Rig {
    int argc = 1;
    char name[14] = "download_fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    LinkLists lists;
    std::string work;
    PlainSettings settings;
    ListDownload download{folder, lists, work};
    bool ended = false;
    bool stored = false;

    Rig() {
        setApplicationErrorSink([](const std::string&) {});
        settings.setup.options.fill(true);
        settings.setup.options[OptDefaultServer - 1] = false;
        settings.setup.updateAddress = "fuzz.invalid/list.dat";
        download.setSettings(&settings);
        download.timeLimitMs = 3000;
        download.onEnded = [this](bool ok, const std::string&) {
            ended = true;
            stored = ok;
        };
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const std::string old = "starturls\r\n1http://old\r\nmainurls\r\nendurls\r\n";
    // Written behind the download's back: it is only what a failed download must keep.
    writeFileSafely(rig.folder + "data.dat", old);
    const LinkLists before = rig.lists;
    LoopbackPeer peer;
    wsock::AddTestRoute("fuzz.invalid", 80, peer.port());
    rig.ended = false;
    rig.download.UpdateData();
    if (!peer.accept()) std::abort();
    peer.receive(4, 200);
    peer.send(answer);
    peer.close();
    if (!pumpUntil([&] { return rig.ended; }, 5000)) std::abort();
    const std::string now = readFileBytes(rig.folder + "data.dat");
    if (!rig.stored) {
        if (now != old || !(rig.lists.predefined() == before.predefined()) || !(rig.lists.main() == before.main()))
            std::abort();
        return 0;
    }
    if (answer.compare(0, now.size(), now) != 0 || !answerProblem(now).empty()) std::abort();
    LinkLists disk;
    std::string w;
    readDataFile(rig.folder, w, disk);
    if (!(disk.predefined() == rig.lists.predefined()) || !(disk.main() == rig.lists.main())) std::abort();
    return 0;
}

// Any bytes as the server's answer to the list download, through a loopback peer: the
// program goes on; a download that stores nothing leaves data.dat and the rules in force
// as they were, and one that stores a list leaves a data.dat taken from the answer whose
// rules are the ones in force.
#include "downloadrig.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DownloadRig rig;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const std::string old = "starturls\r\n1http://old\r\nmainurls\r\nendurls\r\n";
    LoopbackPeer peer;
    rig.start(peer, old);
    const LinkLists before = rig.lists;
    rig.serve(peer, answer);
    const std::string now = readFileBytes(rig.folder + "data.dat");
    if (!rig.stored) {
        if (now != old || !(rig.lists.predefined() == before.predefined()) || !(rig.lists.main() == before.main()))
            std::abort();
        return 0;
    }
    // The whole answer was checked; data.dat holds it up to its first zero byte.
    if (answer.compare(0, now.size(), now) != 0 || !answerProblem(answer).empty()) std::abort();
    rig.checkListsFromDisk();
    return 0;
}

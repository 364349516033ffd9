#pragma once
// The list download of a temporary program folder, its answers served by a loopback peer,
// for the download fuzz targets.
#include "data/files.h"
#include "platform/winsock.h"
#include "update/download.h"
#include "../tests/support/peer.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <string>

struct DownloadRig {
    int argc = 1;
    char name[5] = "fuzz";
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

    DownloadRig() {
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

    // Starts a download from the peer with `old` as data.dat and its lists in force.
    void start(LoopbackPeer& peer, const std::string& old) {
        writeFileSafely(folder + "data.dat", old);
        lists.clear();
        readDataFile(folder, work, lists);
        wsock::AddTestRoute("fuzz.invalid", 80, peer.port());
        ended = false;
        download.UpdateData();
    }

    // Serves one answer to a download that has started, until the download ends.
    void serve(LoopbackPeer& peer, const std::string& answer) {
        if (!peer.accept()) std::abort();
        peer.receive(4, 200);
        peer.send(answer);
        peer.close();
        if (!pumpUntil([&] { return ended; }, 5000)) std::abort();
    }

    // The lists in force are those of data.dat on disk.
    void checkListsFromDisk() {
        LinkLists disk;
        std::string w;
        readDataFile(folder, w, disk);
        if (!(disk.predefined() == lists.predefined()) || !(disk.main() == lists.main())) std::abort();
    }
};

// Saves killed at random moments leave every file whole: the old contents or the new.
#include "data/files.h"
#include "data/setupfiles.h"
#include "savesets.h"
#include "support/tempdir.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

std::string bytesOf(const SaveSet& s, const std::string& file) {
    if (file == "setup.dat") return setupFileBytes(s.setup);
    if (file == "buttons.dat") return buttonsFileBytes(s.buttons);
    if (file == "pardata.dat") return listFileBytes(s.parent);
    return s.data;
}

}  // namespace

TEST(CrashSafety, KilledSavesLeaveOldOrNewFilesAndTheFirstBackups) {
    ProgramFolder dir;
    const SaveSet& first = saveSet(2);
    for (const char* f : {"setup.dat", "buttons.dat", "pardata.dat", "data.dat"}) dir.write(f, bytesOf(first, f));
    {
        // A first run saves everything once, however slowly the child starts.
        QProcess child;
        child.start(SAVE_CHILD, {QString::fromStdString(dir.path())});
        ASSERT_TRUE(child.waitForStarted());
        for (int i = 0; i < 6000 && !dir.exists("data.bak"); ++i) QThread::msleep(10);
        child.kill();
        child.waitForFinished();
    }
    std::mt19937 rng(7);
    int killedWhileRunning = 0;
    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        QProcess child;
        child.start(SAVE_CHILD, {QString::fromStdString(dir.path())});
        ASSERT_TRUE(child.waitForStarted());
        QThread::usleep(1000 + rng() % 40000);
        killedWhileRunning += child.state() == QProcess::Running;
        child.kill();
        child.waitForFinished();
        for (const char* f : {"setup.dat", "buttons.dat", "pardata.dat", "data.dat"}) {
            const std::string now = dir.read(f);
            EXPECT_TRUE(now == bytesOf(first, f) || now == bytesOf(saveSet(0), f) || now == bytesOf(saveSet(1), f))
                << f << " is cut or mixed after round " << round << " (" << now.size() << " bytes)";
        }
        // The backups hold what there was before the first save, and only that.
        for (auto [bak, dat] : {std::pair{"setup.bak", "setup.dat"}, {"buttons.bak", "buttons.dat"}, {"data.bak", "data.dat"}}) {
            if (dir.exists(bak)) {
                EXPECT_EQ(dir.read(bak), bytesOf(first, dat)) << bak << " after round " << round;
            }
        }
        if (HasFailure()) break;
    }
    EXPECT_EQ(killedWhileRunning, rounds);
    EXPECT_TRUE(dir.exists("setup.bak"));
    EXPECT_TRUE(dir.exists("data.bak"));
    std::printf("%d saves killed midway; %lld files in the folder afterwards\n", killedWhileRunning,
                static_cast<long long>(dir.entries().size()));
}

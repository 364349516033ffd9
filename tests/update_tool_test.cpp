// wenlow-update, run as a scheduler would run it.
#include "support/peer.h"
#include "support/tempdir.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class UpdateTool : public ::testing::Test {
protected:
    ProgramFolder dir{true};

    ToolRun run(QStringList args, const std::function<void()>& serve = {}) {
        QProcess p;
        p.start(WENLOW_UPDATE, args);
        EXPECT_TRUE(p.waitForStarted());
        if (serve) serve();
        EXPECT_TRUE(pumpUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
    QStringList folder() const { return {"--dir", QString::fromStdString(dir.path())}; }
};

}  // namespace

TEST_F(UpdateTool, StoresANewListAndSaysSo) {
    LoopbackPeer peer;
    const std::string response = "HTTP/1.0 200 OK\r\n\r\nstarturls\r\n1http://tool.example\r\nmainurls\r\nendurls\r\n";
    const ToolRun r = run(folder() << "--url" << "lists.tool.invalid/x.dat" << "--route"
                                   << QString("lists.tool.invalid=%1").arg(peer.port()),
                          [&] {
                              ASSERT_TRUE(peer.accept());
                              EXPECT_EQ(peer.receive(23), "GET /x.dat HTTP/1.0\r\n\r\n");
                              peer.send(response);
                              peer.close();
                          });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wenlow-update: stored " + std::to_string(response.size()) + " bytes\n");
    EXPECT_EQ(dir.read("data.dat"), response);
    EXPECT_TRUE(dir.exists("data.bak"));
}

TEST_F(UpdateTool, FailuresSayWhatHappenedAndStoreNothing) {
    const std::string before = dir.read("data.dat");
    LoopbackPeer peer;
    peer.stopListening();
    ToolRun r = run(folder() << "--url" << "lists.tool.invalid" << "--route"
                             << QString("lists.tool.invalid=%1").arg(peer.port()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "wenlow-update: Connect error Connection refused\n");
    EXPECT_EQ(dir.read("data.dat"), before);

    r = run(folder());  // the sample's default source: a reserved name that never resolves
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "wenlow-update: Error 11001 (Host not found) finding address for host\n");

    dir.remove("setup.dat");
    r = run(folder());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "wenlow-update: File not found: " + dir.file("setup.dat") + "\n");
    EXPECT_EQ(run({"--time-limit", "0"}).status, 2);
}

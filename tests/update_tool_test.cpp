// wenlow-update, run as a scheduler would run it.
#include "approval/urlok.h"
#include "data/indexfile.h"
#include "data/linklists.h"
#include "support/peer.h"
#include "support/tempdir.h"
#include "update/signature.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

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
    EXPECT_EQ(r.out, "wenlow-update: stored " + std::to_string(response.size()) +
                         " bytes: 1 entry, not checked (there is no update.key)\n");
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
    EXPECT_EQ(r.err, "wenlow-update: Error 11001 (Host not found) finding address for host lists.wenlow.invalid\n");

    r = run(folder() << "--url" << "https://lists.tool.invalid/x.dat");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, 61), "wenlow-update: Lists are fetched with plain http on port 80; ");

    dir.remove("setup.dat");
    r = run(folder());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "wenlow-update: File not found: " + dir.file("setup.dat") + "\n");
    EXPECT_EQ(run({"--time-limit", "0"}).status, 2);
    EXPECT_EQ(run({"--max-time", "0"}).status, 2);
}

// Hostile answers to a signed download: nothing outside the signed bytes, and no older
// list, changes the rules; the exit status says whether a list was stored.
TEST_F(UpdateTool, SignedListsHoldAgainstAnyoneOnThePath) {
    const KeyPair key = generateKeyPair(), other = generateKeyPair();
    dir.write("update.key", keyText(key.publicKey));
    // In force: a large signed list numbered 100, with its index file.
    std::string big = "starturls\r\n2bad.example\r\n";
    while (big.size() < IndexedFileSize) big += "2host" + std::to_string(big.size()) + ".example\r\n";
    big += "mainurls\r\nendurls\r\n";
    const std::string stored = "HTTP/1.0 200 OK\r\n\r\n" + signedList(big, key.seed, 100);
    const std::string list = "starturls\r\n2bad.example\r\n1http://new.example\r\nmainurls\r\nendurls\r\n";
    const std::string body = signedList(list, key.seed, 200);
    const auto head = [](const std::string& lines) { return "HTTP/1.0 200 OK\r\n" + lines + "\r\n"; };
    char chunk[16];
    std::snprintf(chunk, sizeof chunk, "%zx\r\n", body.size());
    const struct {
        const char* name;
        std::string response;
        bool reset;
        int status;
    } cases[] = {
        {"the publisher's next list", head("") + body, false, 0},
        {"the same number again", head("") + signedList(list, key.seed, 100), false, 0},
        {"a header line mainurls", head("mainurls\r\n") + body, false, 0},
        {"header lines starturls and 4http:", head("starturls\r\n4http:\r\n") + body, false, 0},
        {"a zero byte in a header", head(std::string("X: \0\r\n", 6)) + body, false, 1},
        {"an older list", head("") + signedList(list, key.seed, 99), false, 1},
        {"a list without a number", head("") + signedBytes(list, key.seed), false, 1},
        {"a list of another key", head("") + signedList(list, other.seed, 300), false, 1},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(chunk) + body + "\r\n0\r\n\r\n", false, 1},
        {"a reset after the whole list", head("") + body, true, 1},
    };
    PlainSettings all;
    all.setup.options.fill(true);
    const std::string request = "GET /l HTTP/1.0\r\n\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("data.dat", stored);
        dir.remove("data.idx");
        LinkLists before;
        readDataFile(dir.path(), before);  // leaves the index file
        const std::string index = dir.read("data.idx");
        ASSERT_FALSE(index.empty());
        LoopbackPeer peer;
        const ToolRun r = run(folder() << "--url" << "lists.tool.invalid/l" << "--route"
                                       << QString("lists.tool.invalid=%1").arg(peer.port()),
                              [&] {
                                  ASSERT_TRUE(peer.accept());
                                  EXPECT_EQ(peer.receive(request.size()), request);
                                  peer.send(c.response);
                                  c.reset ? peer.reset() : peer.close();
                              });
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (c.status == 0) {
            EXPECT_NE(r.out.find(": 2 entries, signed with key " + keyId(key.publicKey) + ", number "), std::string::npos) << r.out;
        }
        EXPECT_EQ(dir.read("data.dat"), c.status == 0 ? c.response : stored);
        // Refused: the index file is the one of the list in force; stored: a small list has none.
        EXPECT_EQ(dir.exists("data.idx") ? dir.read("data.idx") : "", c.status == 0 ? "" : index);
        LinkLists now;
        readDataFile(dir.path(), now);
        EXPECT_FALSE(urlok("http://bad.example/", all, now));
        EXPECT_EQ(urlok("http://new.example/", all, now), c.status != 0);
    }
}

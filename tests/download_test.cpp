// The list download against real loopback servers, reached through the Winsock layer's
// test routes since the download always uses port 80.
#include "approval/urlok.h"
#include "data/files.h"
#include "sockets/wserrors.h"
#include "support/expect.h"
#include "support/nginx.h"
#include "support/peer.h"
#include "support/tempdir.h"
#include "update/download.h"
#include "update/signature.h"

#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string OldList = "starturls\r\n1http://old.example\r\nmainurls\r\nhttp://old.example/ok\r\nendurls\r\n";

std::string answer(const std::string& body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body; }

class Download : public ::testing::Test {
protected:
    ProgramFolder dir;
    LinkLists lists;
    std::string work;
    PlainSettings settings;
    std::unique_ptr<ListDownload> dl;
    std::vector<std::string> errors;
    std::vector<std::pair<bool, std::string>> ended;
    int stored = 0;
    std::uint64_t received = 0;  // as progress reports it

    void SetUp() override {
        setApplicationErrorSink([this](const std::string& t) { errors.push_back(t); });
        dir.write("data.dat", OldList);
        readDataFile(dir.path(), work, lists);
        settings.setup.options.fill(true);
        settings.setup.options[OptDefaultServer - 1] = false;
        dl = std::make_unique<ListDownload>(dir.path(), lists, work);
        dl->setSettings(&settings);
        dl->onStored = [this] { ++stored; };
        dl->onEnded = [this](bool ok, const std::string& outcome) { ended.emplace_back(ok, outcome); };
        dl->onProgress = [this](std::uint64_t bytes, std::int64_t) { received = bytes; };
    }
    void TearDown() override {
        dl.reset();
        wsock::ClearTestRoutes();
        setApplicationErrorSink(nullptr);
    }

    void from(const std::string& address, LoopbackPeer& peer, const std::string& host = "lists.test.invalid") {
        settings.setup.updateAddress = address;
        wsock::AddTestRoute(host, 80, peer.port());
    }

    // Serves one request: takes it whole, then answers.
    std::string serve(LoopbackPeer& peer, const std::string& response, bool close = true) {
        EXPECT_TRUE(peer.accept());
        std::string request = peer.receive(1);
        pumpUntil([&] {
            request += peer.receive(0, 10);
            return request.find("\r\n\r\n") != std::string::npos;
        });
        if (!response.empty()) peer.send(response);
        if (close) peer.close();
        return request;
    }

    bool waitForEnd(int ms = 5000) { return pumpUntil([&] { return !ended.empty(); }, ms); }

    LinkLists fromDisk() const {
        LinkLists l;
        std::string w;
        readDataFile(dir.path(), w, l);
        return l;
    }
    void expectListsFromDisk() const {
        const LinkLists disk = fromDisk();
        EXPECT_EQ(lists.predefined(), disk.predefined());
        EXPECT_EQ(lists.main(), disk.main());
    }
};

}  // namespace

// Host and path as typed; what plain http on port 80 cannot fetch is said plainly.
TEST(UpdateAddress, HostAndPathFromTheTypedText) {
    const std::string plain = "Lists are fetched with plain http on port 80";
    struct Case {
        const char* typed;
        const char* host;
        const char* path;
        std::string problem;  // its start; empty: none
    } cases[] = {
        {" //server/dir/list.dat", "server", "/dir/list.dat", ""},
        {"HtTp://server", "server", "/", ""},
        {"server/a b", "server", "/a b", ""},
        {"10.0.0.1/x", "10.0.0.1", "/x", ""},
        {"server:8080/x", "server:8080", "/x", plain + "; the port in \"server:8080/x\" cannot be used: serve"},
        {"https://server/x", "https:", "//server/x", plain + "; \"https://server/x\" cannot be used: give the list's"},
        {" HTTPS://server", "HTTPS:", "//server", plain + "; \"HTTPS://server\" cannot be used"},
        {"[::1]/x", "[::1]", "/x", plain + " over IPv4; \"[::1]/x\" cannot be used"},
        {"http://[::1]:80/x", "[::1]:80", "/x", plain + " over IPv4"},
        {"me@server/x", "me@server", "/x", plain + ", without a user name; \"me@server/x\" cannot be used"},
        {"http://", "", "/", ""},
        {"http:///", "", "/", ""},
        {"/ /", "", "/", ""},
        {"", "", "/", ""},
    };
    for (const auto& c : cases) {
        const UpdateSource s = parseUpdateAddress(c.typed);
        EXPECT_EQ(s.host, c.host) << c.typed;
        EXPECT_EQ(s.path, c.path) << c.typed;
        const std::string problem = updateAddressProblem(c.typed);
        EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem) << c.typed;
        EXPECT_EQ(problem.empty(), c.problem.empty()) << c.typed << " -> " << problem;
    }
}

// Only a whole list is stored: anything else is named for what it is.
TEST(UpdateAnswer, OnlyAWholeListPasses) {
    const std::string list = "starturls\r\n1http://x\r\nmainurls\r\nhttp://y\r\nendurls\r\n";
    const std::string cl = "Content-Length: " + std::to_string(list.size()) + "\r\n";
    const struct {
        std::string answer;
        const char* problem;  // the start of it; empty: stored
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n" + list, ""},
        {"HTTP/1.1 200 OK\r\n" + cl + "\r\n" + list, ""},
        {"HTTP/1.1 200 OK\r\ncontent-length:  " + std::to_string(list.size()) + " \r\n\r\n" + list, ""},
        {"HTTP/1.0 200 OK\n\n" + list.substr(0, list.size() - 2), ""},  // bare line ends; last line unended
        {"HTTP/1.0 204 No Content\r\n\r\n" + list, ""},
        {"HTTP/1.0 200 O", "The answer ended inside its status line"},
        {"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n", "The answer ended inside its headers"},
        {"HTTP/1.0 200 OK\r\n\r\n", "The answer is not a list"},
        {"HTTP/1.1 200 OK\r\n" + cl + "\r\n" + list.substr(0, 20), "The answer's body has 20 bytes, not the"},
        {"HTTP/1.1 200 OK\r\n" + cl + "\r\n" + list + "x", "The answer's body has"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1e3\r\n\r\n" + list, "The answer's Content-Length is not a number"},
        {"HTTP/1.1 200 OK\r\n\r\n<html><body>Log in to the Wi-Fi</body></html>", "The answer is not a list"},
        {"HTTP/1.1 200 OK\r\n\r\nmainurls\r\nstarturls\r\nendurls\r\n", "The answer is not a list"},
        {"HTTP/1.1 200 OK\r\n\r\nstarturls x\r\nmainurls\r\nendurls\r\n", "The answer is not a list"},
        {"HTTP/1.1 404 Not Found\r\n\r\n" + list, "HTTP/1.1 404 Not Found"},
        {"HTTP/1.0 301 Moved\r\nLocation: x\r\n\r\n", "HTTP/1.0 301 Moved"},
        {"HTTP/garbled\r\n\r\n" + list, "The answer's status line is not understood"},
        {"HTTP/1.0 2000 OK\r\n\r\n" + list, "The answer's status line is not understood"},
        {list, "The answer has no status line"},
        {"ok\r\n", "The answer has no status line"},
        {"HTTP/1.0 200 OK\r\nServer: x\n\r\n" + list, ""},  // the head ends at the first empty line
        {"HTTP/1.0 200 OK\r\nX: a" + std::string(1, '\0') + "\r\n\r\n" + list, "The answer's headers hold a zero byte"},
        {"HTTP/1.0 200 O" + std::string(1, '\0') + "K\r\n\r\n" + list, "The answer's headers hold a zero byte"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2f\r\n" + list + "\r\n0\r\n\r\n",
         "The answer is not a list: it came with Transfer-Encoding"},
        {"HTTP/1.1 200 OK\r\n" + cl + cl + "\r\n" + list, "The answer announces its length more than once"},
        {"HTTP/1.0 200 OK\r\nX: " + std::string(70000, 'x') + "\r\n\r\n" + list, "The answer's headers are longer than 65536"},
        {"HTTP/1.1 301 Moved Permanently\r\nLocation: http://new.example/list.dat\r\n\r\n",
         "HTTP/1.1 301 Moved Permanently: the list is now at http://new.example/list.dat"},
        {"HTTP/1.0 302 Found\nlocation:  https://other.example/l \n\n", "HTTP/1.0 302 Found: the list is now at https://other.example/l"},
        {"HTTP/1.0 404 Not\x1b[2J Found\r\n\r\n", "HTTP/1.0 404 Not?[2J Found"},  // shown and logged: no control codes
    };
    for (const auto& c : cases) {
        const std::string problem = answerProblem(c.answer);
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << c.answer;
        EXPECT_EQ(problem.empty(), *c.problem == '\0') << c.answer << " -> " << problem;
    }
}

TEST_F(Download, RequestIsExactlyTheGetLineAndAnEmptyLine) {
    struct Case {
        const char* typed;
        const char* host;
        const char* request;
    } cases[] = {
        {" //server/dir/list.dat", "server", "GET /dir/list.dat HTTP/1.0\r\n\r\n"},
        {"HtTp://server", "server", "GET / HTTP/1.0\r\n\r\n"},
        {"server/a b", "server", "GET /a b HTTP/1.0\r\n\r\n"},
        {"server/x?a=1", "server", "GET /x?a=1 HTTP/1.0\r\n\r\n"},
    };
    for (const auto& c : cases) {
        LoopbackPeer peer;
        from(c.typed, peer, c.host);
        ended.clear();
        dl->UpdateData();
        EXPECT_EQ(serve(peer, answer("starturls\r\nmainurls\r\nendurls\r\n")), c.request) << c.typed;
        ASSERT_TRUE(waitForEnd()) << c.typed;
        EXPECT_TRUE(ended[0].first) << ended[0].second;
    }
}

// An address that cannot be fetched fails to start, said as the start's error and as the
// download's outcome; the rules stay.
TEST_F(Download, EmptyHostFailsToStartAndTheRulesStay) {
    const std::string port = updateAddressProblem("server:8080/x");
    for (const auto& [typed, error] : std::vector<std::pair<std::string, std::string>>{
             {"", "No address specified"},
             {"http://", "No address specified"},
             {"http:///", "No address specified"},
             {"/ /", "No address specified"},
             {"server:8080/x", port},
             {"https://server/x", updateAddressProblem("https://server/x")},
             {"[::1]/x", updateAddressProblem("[::1]/x")}}) {
        SCOPED_TRACE(typed);
        ended.clear();
        settings.setup.updateAddress = typed;
        try {
            dl->UpdateData();
            ADD_FAILURE() << "started";
        } catch (const std::exception& e) {
            EXPECT_EQ(e.what(), error);
        }
        EXPECT_EQ(ended, (std::vector<std::pair<bool, std::string>>{{false, error}}));
        expectListsFromDisk();
        EXPECT_FALSE(lists.predefined().empty());
    }
    EXPECT_EQ(port.substr(0, 44), "Lists are fetched with plain http on port 80");
}

TEST_F(Download, DefaultSourceIsTheReservedHostAndItsFixedPath) {
    settings.setup.options[OptDefaultServer - 1] = true;
    settings.setup.updateAddress = "ignored.example/x";
    EXPECT_ERROR(dl->UpdateData(), ESockError, "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(dl->RequestPath, "/~valdex/data.dat");
    EXPECT_EQ(dl->HttpClient.GetAddress(), DefaultUpdateHost);
    expectListsFromDisk();

    LoopbackPeer peer;
    wsock::AddTestRoute(DefaultUpdateHost, 80, peer.port());
    dl->UpdateData();
    EXPECT_EQ(serve(peer, answer("starturls\r\nmainurls\r\nendurls\r\n")), "GET /~valdex/data.dat HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(waitForEnd());
}

TEST_F(Download, StoresTheAnswerAsReceivedAndKeepsTheOldestBackup) {
    const std::string first = answer("starturls\r\n1http://new.example\r\nmainurls\r\nhttp://new.example/a\r\nendurls\r\n");
    {
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        expectListsFromDisk();  // the rules in force stay while it runs
        serve(peer, first);
        ASSERT_TRUE(waitForEnd());
    }
    EXPECT_EQ(ended[0], std::make_pair(true, "stored " + std::to_string(first.size()) +
                                                 " bytes: 2 entries, not checked (there is no update.key)"));
    EXPECT_EQ(dir.read("data.dat"), first);
    EXPECT_EQ(dir.read("data.bak"), OldList);
    EXPECT_EQ(lists.predefined(), std::vector<std::string>{"1HTTP://NEW.EXAMPLE"});
    EXPECT_EQ(lists.main(), std::vector<std::string>{"HTTP://NEW.EXAMPLE/A"});
    EXPECT_EQ(stored, 1);

    const std::string second = answer("starturls\r\n3http://second.example\r\nmainurls\r\nendurls\r\n");
    ended.clear();
    {
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        serve(peer, second);
        ASSERT_TRUE(waitForEnd());
    }
    EXPECT_EQ(dir.read("data.dat"), second);
    EXPECT_EQ(dir.read("data.bak"), OldList);
    EXPECT_EQ(lists.predefined(), std::vector<std::string>{"3HTTP://SECOND.EXAMPLE"});
    EXPECT_EQ(stored, 2);
}

namespace {

struct Hostile {
    const char* name;
    std::string response;  // what the server sends before it closes
    bool reset = false;
    bool stores = false;
    std::string storedAs;  // when it stores
    std::uint16_t networkError = 0;  // reported by the network once the bytes are in
    bool whileReceiving = false;     // the error comes from a receive, then an orderly close
};

}  // namespace

TEST_F(Download, HostileServersNeverCostTheRulesOrTheFiles) {
    const std::string body = "starturls\r\n1http://hostile.example\r\nmainurls\r\nendurls\r\n";
    const std::string big = body + std::string(31999 - answer(body).size(), 'x');
    const Hostile cases[] = {
        {"reset after some bytes", answer(body).substr(0, 30), true, false, ""},
        {"zero bytes", "", false, false, ""},
        {"a zero byte first (found by fuzzing)", std::string(1, '\0') + answer(body), false, false, ""},
        {"404 page", "HTTP/1.0 404 Not Found\r\n\r\n<html>starturls\r\n1http://x\r\nmainurls\r\nendurls\r\n</html>", false, false, ""},
        {"zero byte in the body", answer(body) + std::string(1, '\0') + "1http://after.zero\r\n", false, true,
         answer(body)},
        {"31999 bytes", answer(big), false, true, answer(big)},
        {"no status line", body, false, false, ""},
        {"closed inside the status line", "HTTP/1.0 200 O", false, false, ""},
        {"headers and no body", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n", false, false, ""},
        {"a body shorter than announced", "HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\n" + body, false, false, ""},
        {"a captive portal's page", answer("<html><body>Log in to use the Wi-Fi</body></html>"), false, false, ""},
        {"a few bytes of text", "hello", false, false, ""},
        {"a time-out in the middle of the transfer", answer(body), false, false, "", wsock::WSAETIMEDOUT},
        {"the network unreachable in the middle of the transfer", answer(body), false, false, "", 10051},
        {"a receive timing out after a whole answer, then an orderly close", answer(body), false, false, "",
         wsock::WSAETIMEDOUT, true},
        {"a reset after a whole answer", answer(body), true, false, ""},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n" + body + "\r\n0\r\n\r\n", false,
         false, ""},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("data.dat", OldList);
        dir.remove("data.bak");
        lists = fromDisk();
        ended.clear();
        received = 0;
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        serve(peer, c.response, false);
        if (c.whileReceiving) {
            ASSERT_TRUE(pumpUntil([&] { return received == c.response.size(); }));
            wsock::SetTestReceiveError(c.networkError);
            peer.send("\r\n");
            peer.close();
        } else if (c.networkError) {
            // As the socket layer reports a receive error: a close notice carrying it.
            ASSERT_TRUE(pumpUntil([&] { return received == c.response.size(); }));
            PostMessage(dl->HttpClient.Window, WM_SOCKSELECT, dl->HttpClient.Socket->Handle,
                        wsock::WSAMAKESELECTREPLY(wsock::FD_CLOSE, c.networkError));
        } else if (c.reset) {
            peer.reset();
        } else {
            peer.close();
        }
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(ended[0].first, c.stores) << ended[0].second;
        EXPECT_EQ(dir.read("data.dat"), c.stores ? c.storedAs : OldList);
        EXPECT_EQ(dir.exists("data.bak"), c.stores);
        expectListsFromDisk();
        // The old rules, or the answer's.
        EXPECT_EQ(lists.predefined(),
                  std::vector<std::string>{c.stores ? "1HTTP://HOSTILE.EXAMPLE" : "1HTTP://OLD.EXAMPLE"});
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
}

TEST_F(Download, RefusedConnectionLeavesTheConnectErrorInTheWorkText) {
    LoopbackPeer peer;
    peer.stopListening();
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(work, "Connect error Connection refused\r\n");
    EXPECT_EQ(ended[0], std::make_pair(false, std::string("Connect error Connection refused")));
    EXPECT_EQ(dir.read("data.dat"), OldList);
    expectListsFromDisk();
    EXPECT_TRUE(errors.empty());
}

// Answers of any size arrive, as far as the limit; progress counts them as they come.
TEST_F(Download, AnswersOfAnySizeUpToTheLimit) {
    std::string big = "starturls\r\n";
    for (int i = 0; big.size() < 3000000; ++i) big += "2host" + std::to_string(i) + ".example\r\n";
    big += "mainurls\r\nendurls\r\n";
    const std::string whole = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n" + big;
    std::vector<std::pair<std::uint64_t, std::int64_t>> progress;
    dl->onProgress = [&](std::uint64_t bytes, std::int64_t total) { progress.emplace_back(bytes, total); };
    {
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        serve(peer, whole);
        ASSERT_TRUE(waitForEnd(20000));
    }
    ASSERT_TRUE(ended[0].first) << ended[0].second;
    EXPECT_EQ(dir.read("data.dat"), whole);
    EXPECT_TRUE(dir.exists("data.idx"));  // indexed as it was read, off the GUI thread
    EXPECT_FALSE(urlok("http://www.host1234.example/", settings, lists));
    expectListsFromDisk();
    ASSERT_GT(progress.size(), 2u);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t(whole.size()), std::int64_t(whole.size())));

    dl->maxBytes = 100000;
    for (const bool announced : {false, true}) {
        SCOPED_TRACE(announced);
        ended.clear();
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        if (announced) {
            // Refused on its headers, while the server still holds the connection open.
            serve(peer, whole.substr(0, whole.find("\r\n\r\n") + 4), false);
            ASSERT_TRUE(waitForEnd());  // long before the silence limit
        } else {
            serve(peer, "HTTP/1.0 200 OK\r\n\r\n" + big);
            ASSERT_TRUE(waitForEnd(20000));
        }
        EXPECT_EQ(ended[0], std::make_pair(false, std::string("The answer is larger than 100000 bytes")));
    }
    EXPECT_EQ(dir.read("data.dat"), whole);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(dir.entries().filter(".part").isEmpty());  // nothing of the answer left behind
}

// With a key in update.key, only lists signed with it are stored.
TEST_F(Download, WithAKeyOnlyListsSignedWithItAreStored) {
    const KeyPair key = generateKeyPair(), other = generateKeyPair();
    dir.write("update.key", keyText(key.publicKey));
    const std::string list = "starturls\r\n2signed.example\r\nmainurls\r\nendurls\r\n";
    const std::string signedBody = signedList(list, key.seed);
    std::string altered = signedBody;
    altered[altered.find("2signed") + 1] = 'x';  // a refusal turned into another
    const auto sent = [](const std::string& body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const struct {
        const char* name;
        std::string response;
        const char* outcome;  // empty: stored
    } cases[] = {
        {"signed with the key", sent(signedBody), ""},
        {"one byte changed", sent(altered), "The list's signature is not valid"},
        {"no signature", sent(list), "The list has no signature"},
        {"signed with another key", sent(signedList(list, other.seed)), "The list is signed with another key"},
        {"cut short", sent(signedBody).substr(0, sent(signedBody).size() - 9), "The answer's body has"},
        {"a Content-Length that does not match",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + signedBody, "The answer's body has"},
        {"list lines hidden in the signature line",
         sent(std::string(signedBody).insert(signedBody.find("\r\n"), "\x01mainurls\x01starturls")),
         "The list's signature line is not understood"},
        {"a number that is not one", sent(signedBytes("wenlow-serial 12x\r\n" + list, key.seed)),
         "The list's number is not understood: wenlow-serial 12x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("data.dat", OldList);
        lists = fromDisk();
        ended.clear();
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        serve(peer, c.response);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(ended[0].first, *c.outcome == '\0') << ended[0].second;
        EXPECT_EQ(ended[0].second.substr(0, std::string(c.outcome).size()), std::string(c.outcome));
        EXPECT_EQ(dir.read("data.dat"), *c.outcome ? OldList : c.response);
        EXPECT_EQ(urlok("http://www.signed.example/", settings, lists), *c.outcome != '\0');
    }
    // A key that cannot be read never means "unchecked".
    const std::string keyFile = dir.file("update.key");
    const std::pair<std::function<void()>, std::string> broken[] = {
        {[&] { dir.write("update.key", "not a key\n"); }, "The key in " + keyFile + " is not understood"},
        {[&] { std::filesystem::create_symlink(dir.file("gone.key"), keyFile); },
         "The key in " + keyFile + " cannot be read"},
        {[&] { std::filesystem::create_directory(keyFile); }, "The key in " + keyFile + " cannot be read"},
    };
    for (const auto& [breakIt, error] : broken) {
        std::filesystem::remove_all(keyFile);
        breakIt();
        ended.clear();
        EXPECT_ERROR(dl->UpdateData(), Exception, error);
        EXPECT_EQ(ended, (std::vector<std::pair<bool, std::string>>{{false, error}}));
    }
    EXPECT_TRUE(errors.empty());
}

// Update Now and the timer's run at once: a newer list stored by the other run after this
// one's was checked (before its index was made) is not replaced by the older one.
TEST_F(Download, AListStoredMeanwhileByAnotherRunIsNeverRolledBack) {
    const KeyPair key = generateKeyPair();
    dir.write("update.key", keyText(key.publicKey));
    const std::string list = "starturls\r\n2signed.example\r\nmainurls\r\nendurls\r\n";
    const std::string body = signedList(list, key.seed, 5), newer = signedList(list, key.seed, 9);
    dir.write("data.dat", signedList(list, key.seed, 4));
    dir.write("data.idx", "made by the last run");  // this run removes it once its list is checked
    // The other run: holds the lock the way a run storing its list does, and stores its own
    // list as soon as this one's check is behind it.
    std::thread other([&] {
        const int fd = ::open(dir.file(StoreLockName).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0640);
        ASSERT_GE(fd, 0);
        ::flock(fd, LOCK_EX);
        for (int i = 0; i < 20000 && std::filesystem::exists(dir.file("data.idx")); ++i) ::usleep(1000);
        dir.write("data.dat", newer);
        ::close(fd);
    });
    LoopbackPeer peer;
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    serve(peer, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    const bool done = waitForEnd(20000);
    other.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(ended[0], (std::pair<bool, std::string>{
                            false, "The list is older than the one stored: its number is 5, the stored list's 9"}));
    EXPECT_EQ(dir.read("data.dat"), newer);
}

// Whatever made one download fail, the next one starts clean and stores its list.
TEST_F(Download, EveryFailureLeavesTheClientReadyForTheNext) {
    const std::string good = answer("starturls\r\n1http://next.example\r\nmainurls\r\nendurls\r\n");
    const struct {
        const char* name;
        std::function<void()> fail;  // one download that fails, ended
        std::function<void()> mend;
    } cases[] = {
        {"data.dat cannot be written",
         [&] {
             dir.remove("data.dat");
             std::filesystem::create_directory(dir.file("data.dat"));  // a rename over it fails
             LoopbackPeer peer;
             from("lists.test.invalid/data.dat", peer);
             dl->UpdateData();
             serve(peer, good);
             ASSERT_TRUE(waitForEnd());
             EXPECT_EQ(errors.size(), 1u);
         },
         [&] {
             std::filesystem::remove(dir.file("data.dat"));
             dir.write("data.dat", OldList);
         }},
        {"a request line larger than the write buffer",
         [&] {
             LoopbackPeer peer;
             from("lists.test.invalid/" + std::string(40000, 'p'), peer);
             dl->UpdateData();
             ASSERT_TRUE(peer.accept());
             ASSERT_TRUE(waitForEnd());
             pumpFor(100);
             EXPECT_EQ(errors, std::vector<std::string>{"Block size is larger than buffer size."});
         },
         [] {}},
        {"a host look-up that never answers",
         [&] {
             dl->timeLimitMs = 200;
             wsock::SetTestLookupDelay(3000);
             settings.setup.updateAddress = "lists.test.invalid/data.dat";
             EXPECT_THROW(dl->UpdateData(), ESockError);
             EXPECT_EQ(ended.size(), 1u);
             wsock::SetTestLookupDelay(0);
         },
         [&] { dl->timeLimitMs = 60000; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ended.clear();
        errors.clear();
        c.fail();
        ASSERT_FALSE(ended.empty());
        EXPECT_FALSE(ended[0].first);
        EXPECT_TRUE(dl->HttpClient.Socket == nullptr || !dl->HttpClient.Socket->Connected());
        c.mend();
        expectListsFromDisk();

        ended.clear();
        errors.clear();
        LoopbackPeer peer;
        from("lists.test.invalid/data.dat", peer);
        dl->UpdateData();
        EXPECT_EQ(serve(peer, good), "GET /data.dat HTTP/1.0\r\n\r\n");
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(ended[0].first) << ended[0].second;
        EXPECT_TRUE(errors.empty()) << errors.front();
        EXPECT_EQ(dir.read("data.dat"), good);
        dir.write("data.dat", OldList);
        lists = fromDisk();
    }
}

TEST_F(Download, AServerThatNeverAnswersIsAbandoned) {
    dl->timeLimitMs = 300;
    LoopbackPeer peer;
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    serve(peer, "", false);
    ASSERT_TRUE(waitForEnd(3000));
    EXPECT_FALSE(ended[0].first);
    EXPECT_FALSE(dl->HttpClient.Socket->Connected());
    expectListsFromDisk();
}

// The time limit is one of silence: a slow but steady server takes as long as it needs.
TEST_F(Download, ASlowServerIsWaitedFor) {
    dl->timeLimitMs = 300;
    LoopbackPeer peer;
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    serve(peer, "", false);
    const std::string full = answer("starturls\r\n1http://slow.example\r\nmainurls\r\nendurls\r\n");
    for (size_t at = 0; at < full.size(); at += 8) {  // about a second in all
        peer.send(full.substr(at, 8));
        pumpFor(100);
    }
    peer.close();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(ended[0].first);
    EXPECT_EQ(dir.read("data.dat"), full);

    // ... as long as the whole transfer stays within its own limit: then it ends.
    ended.clear();
    dl->transferLimitMs = 600;
    LoopbackPeer steady;
    from("lists.test.invalid/data.dat", steady);
    dl->UpdateData();
    serve(steady, "", false);
    for (size_t at = 0; at < full.size() && ended.empty(); at += 2) {
        steady.send(full.substr(at, 2));
        pumpFor(100);
    }
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(ended[0], std::make_pair(false, std::string("The download took longer than 0 seconds")));
    EXPECT_LT(received, full.size());
    EXPECT_FALSE(dl->HttpClient.Socket->Connected());
    EXPECT_EQ(dir.read("data.dat"), full);
}

// The answer files of updates that were killed go with the next update; a running
// update's stays.
TEST_F(Download, LeftoversOfKilledUpdatesAreRemoved) {
    pid_t gone = 4194303;  // the largest process number there can be, and down to a free one
    while (::kill(gone, 0) == 0 || errno != ESRCH) --gone;
    const std::string dead = "data.dat.part" + std::to_string(gone);
    dir.write(dead, "half an answer");
    dir.write("data.dat.part1", "the answer of a running update");  // process 1 always runs
    dir.write("data.dat.partial", "not an update's");
    LoopbackPeer peer;
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    EXPECT_FALSE(dir.exists(dead));
    EXPECT_TRUE(dir.exists("data.dat.part1"));
    EXPECT_TRUE(dir.exists("data.dat.partial"));
    serve(peer, answer(OldList));
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(ended[0].first);
}

TEST_F(Download, UpdateNowWhileConnectedFailsAndTheRunningOneCompletes) {
    LoopbackPeer peer;
    from("lists.test.invalid/data.dat", peer);
    dl->UpdateData();
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(pumpUntil([&] { return dl->HttpClient.Socket->Connected(); }));
    EXPECT_ERROR(dl->UpdateData(), ESockError, "Socket Already opened");
    expectListsFromDisk();  // the rules stay while it runs
    peer.receive(4);
    peer.send(answer("starturls\r\n1http://finally.example\r\nmainurls\r\nendurls\r\n"));
    peer.close();
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(ended.back().first);
    EXPECT_EQ(lists.predefined(), std::vector<std::string>{"1HTTP://FINALLY.EXAMPLE"});
}

TEST_F(Download, FromARealWebServer) {
    if (!NginxSite::installed()) GTEST_SKIP() << "nginx is not installed";
    NginxSite web;
    const std::string list = "starturls\r\n1http://from.nginx\r\nmainurls\r\nhttp://ok.nginx\r\nendurls\r\n";
    web.files.write("list.dat", list);
    ASSERT_TRUE(web.start()) << web.log();
    const int port = web.port();
    settings.setup.updateAddress = "http://web.test.invalid/list.dat";
    wsock::AddTestRoute("web.test.invalid", 80, static_cast<std::uint16_t>(port));
    for (int round = 0; round < 2; ++round) {
        ended.clear();
        dl->UpdateData();
        ASSERT_TRUE(waitForEnd());
        ASSERT_TRUE(ended[0].first) << ended[0].second;
    }
    const std::string response = dir.read("data.dat");
    EXPECT_EQ(response.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(response.substr(response.size() - list.size()), list);  // headers, then the file as it is
    EXPECT_EQ(dir.read("data.bak"), OldList);
    EXPECT_EQ(lists.predefined(), std::vector<std::string>{"1HTTP://FROM.NGINX"});
    EXPECT_EQ(lists.main(), std::vector<std::string>{"HTTP://OK.NGINX"});
    EXPECT_EQ(stored, 2);
}

// A public list at real size (a million entries, about 20 MB), signed by its publisher and
// served by a real web server: the rules and the index file follow it.
TEST_F(Download, AMillionSignedEntriesFromARealWebServer) {
    if (!NginxSite::installed()) GTEST_SKIP() << "nginx is not installed";
    const KeyPair key = generateKeyPair();
    dir.write("update.key", keyText(key.publicKey));
    std::string list = "starturls\r\n";
    list.reserve(24 << 20);
    for (int i = 0; i < 1000000; ++i) list += "2host" + std::to_string(i) + ".blocked.example\r\n";
    list += "mainurls\r\nendurls\r\n";
    NginxSite web;
    web.files.write("list.dat", signedList(list, key.seed));
    ASSERT_TRUE(web.start()) << web.log();
    settings.setup.updateAddress = "http://web.test.invalid/list.dat";
    wsock::AddTestRoute("web.test.invalid", 80, web.port());
    dl->UpdateData();
    ASSERT_TRUE(waitForEnd(60000));
    ASSERT_TRUE(ended[0].first) << ended[0].second;
    EXPECT_EQ(lists.predefined().size(), 1000000u);
    EXPECT_FALSE(urlok("https://www.host999999.blocked.example/", settings, lists));
    EXPECT_TRUE(urlok("http://host1000000.blocked.example/", settings, lists));
    EXPECT_TRUE(dir.exists("data.idx"));
    LinkLists again;
    readDataFile(dir.path(), again);
    EXPECT_TRUE(again.predefined().isView());  // the next start reads the index the download left
}

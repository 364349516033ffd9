// Test main for end-to-end tests whose engine reaches sites directly, without the proxy:
// the host names safe search rewrites are routed to the loopback address, so a test's
// server on 127.0.0.1 sees what the engine would send to them (the tests' addresses name
// the server's port).
#include "approval/safesearch.h"
#include "shell/requestgate.h"
#include "shell/windows.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string rules = "--host-resolver-rules=";
    for (const std::string& host : safeSearchExampleHosts()) rules += "MAP " + host + " 127.0.0.1,";
    rules.pop_back();
    std::string engine = "--webEngineArgs";
    std::vector<char*> words(argv, argv + argc);
    words.push_back(engine.data());
    words.push_back(rules.data());
    int count = static_cast<int>(words.size());
    words.push_back(nullptr);
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(count, words.data());
    nameApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test main for tests that need a Qt application object. The engine is started as the
// program starts it: its plain-web requests go through the proxy, which tests hand to the
// profile they protect.
#include "shell/proxy.h"
#include "shell/requestgate.h"
#include "support/engine.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <vector>

namespace {
GateProxy* theProxy = nullptr;
}

GateProxy* engineProxy() { return theProxy; }

int main(int argc, char** argv) {
    GateProxy proxy;
    theProxy = &proxy;
    std::vector<QByteArray> switches;
    for (const QString& s : proxy.engineSwitches()) switches.push_back(s.toLatin1());
    std::vector<char*> arguments(argv, argv + argc);
    for (QByteArray& s : switches) arguments.push_back(s.data());
    arguments.push_back(nullptr);
    int count = static_cast<int>(arguments.size()) - 1;
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(count, arguments.data());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

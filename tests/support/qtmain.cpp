// Test main for tests that need a Qt application object. The engine is started as the
// program starts it: its plain-web requests go through the proxy, which tests hand to the
// profile they protect.
#include "shell/proxy.h"
#include "shell/requestgate.h"
#include "shell/windows.h"
#include "support/engine.h"

#include <QApplication>

#include <gtest/gtest.h>


namespace {
GateProxy* theProxy = nullptr;
}

GateProxy* engineProxy() { return theProxy; }

int main(int argc, char** argv) {
    GateProxy proxy;
    theProxy = &proxy;
    EngineArguments arguments({argv, argv + argc}, &proxy);
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(arguments.count(), arguments.values());
    nameApplication();  // as the program names itself
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test main for tests that need a Qt application object. The engine is started as the
// program starts it: its plain-web requests go through the proxy, which tests hand to the
// profile they protect. A screen reader would find the pages as in the program.
#include "proxy/proxy.h"
#include "shell/access.h"
#include "shell/engineargs.h"
#include "shell/requestgate.h"
#include "shell/windows.h"
#include "support/engine.h"
#ifdef WENLOW_SESSION_BUS
#include "support/screenreader.h"
#endif

#include <QApplication>

#include <gtest/gtest.h>


namespace {
GateProxy* theProxy = nullptr;
}

GateProxy* engineProxy() { return theProxy; }

int main(int argc, char** argv) {
#ifdef WENLOW_SESSION_BUS
    PrivateSessionBus bus;  // where a test starts a screen reader's bus
#endif
    GateProxy proxy;
    theProxy = &proxy;
    EngineArguments arguments({argv, argv + argc}, &proxy);
    registerOwnScheme();
    enablePageAccessibility();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(arguments.count(), arguments.values());
    nameApplication();  // as the program names itself
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test main for tests that need a Qt application object.
#include "shell/requestgate.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    registerOwnScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once
// Lets the event loop run until a condition holds, or a time has passed: for what the
// real engine and real servers do in their own time.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

inline bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

#include "platform/timer.h"

#include "platform/errors.h"

Timer::Timer() {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimer) guarded(onTimer);
    });
}

void Timer::setEnabled(bool on) {
    if (on && !timer_.isActive())
        timer_.start();
    else if (!on)
        timer_.stop();
}

#pragma once
// The one timer facility: an interval, an enabled switch and a tick handler.
#include <QTimer>

#include <functional>

class Timer {
public:
    Timer();
    void setInterval(int ms) { timer_.setInterval(ms); }
    int interval() const { return timer_.interval(); }
    void setEnabled(bool on);
    bool enabled() const { return timer_.isActive(); }
    std::function<void()> onTimer;

private:
    QTimer timer_;
};

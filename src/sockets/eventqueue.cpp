#include "sockets/eventqueue.h"

std::deque<QueuedEvent> EventQueue;
std::int32_t ControlCount = 0;
std::int32_t WaitDepth = 0;

void ResetSocketControls() {
    WaitDepth = 0;
    ControlCount = 0;
}

void ClearEventQueue() {
    EventQueue.clear();
    WaitDepth = 0;
}

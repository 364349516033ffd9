#pragma once
// Process-wide state of the socket controls: how many live, how many look-up waits run,
// and the select notices parked while one does.
#include "platform/messages.h"

#include <cstdint>
#include <deque>

class TSockCtrl;

struct QueuedEvent {
    Msg msg;
    TSockCtrl* target;  // cleared when that control's events are purged
};

extern std::deque<QueuedEvent> EventQueue;
extern std::int32_t ControlCount;
extern std::int32_t WaitDepth;

// At each start of Windows Sockets.
void ResetSocketControls();
// At its stop: the parked notices go, and no wait counts any more.
void ClearEventQueue();

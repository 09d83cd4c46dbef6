// The pump of handlers that wait for the user or a device.
#pragma once

// Handles the thread's waiting messages without waiting: WM_TIMER and
// WM_SYSTIMER are dropped unless timers are asked for, others dispatched. 1
// when WM_QUIT is next (it stays queued), 0 when the queue is empty.
int PumpMessages(bool timers = false);

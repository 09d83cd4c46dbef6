#include "core/support/MessagePump.h"

#include "platform/Message.h"

int PumpMessages(bool timers) {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return 1;
        if (!PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) return 0;
        if (msg.message == WM_QUIT) {  // arrived between the two looks: leave it queued
            PostQuitMessage(static_cast<int>(msg.wParam));
            return 1;
        }
        if (!timers && (msg.message == WM_TIMER || msg.message == WM_SYSTIMER)) continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return 0;
}

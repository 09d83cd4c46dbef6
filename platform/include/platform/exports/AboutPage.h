// What the extensions' about pages share: showing the page refreshes it and
// starts a 2-second timer that refreshes it again, hiding or destroying it
// stops the timer, and any command tells the property sheet that the page
// changed.
#pragma once

#include "platform/Dialog.h"
#include "platform/Message.h"
#include "platform/PropSheet.h"
#include "platform/Window.h"

namespace plat::res {

constexpr UINT kAboutTimer = 1;
constexpr UINT kAboutRefreshMs = 2000;

// TRUE when the message was the page's; *result is the procedure's answer.
inline bool AboutPageMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, void (*refresh)(HWND),
                             INT_PTR* result) {
    switch (message) {
    case WM_WINDOWPOSCHANGED:
        if (lParam && (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)) {
            SetTimer(page, kAboutTimer, kAboutRefreshMs);
            refresh(page);
        } else {
            KillTimer(page, kAboutTimer);
        }
        *result = FALSE;
        return true;
    case WM_DESTROY:
        KillTimer(page, kAboutTimer);
        *result = TRUE;
        return true;
    case WM_TIMER:
        if (wParam == kAboutTimer) refresh(page);
        *result = TRUE;
        return true;
    case WM_COMMAND:
        SendMessage(GetParent(page), PSM_CHANGED, static_cast<WPARAM>(page), 0);
        *result = TRUE;
        return true;
    default:
        return false;
    }
}

}  // namespace plat::res

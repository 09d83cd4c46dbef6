// The error box: the resource library's dialog 30002, modeless. RFERROR
// returns at once; the box's procedure answers the host when it closes.
#include <algorithm>

#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Dialog.h"

namespace {

constexpr UINT kErrorBoxTemplate = 30002;
constexpr UINT kErrorBoxTimer = 333;
constexpr int kTextId = 0xFFFF;

CClientCore* CoreOf(HWND box) { return reinterpret_cast<CClientCore*>(GetWindowLongPtr(box, DWLP_USER)); }

void Answer(HWND box, CClientCore* core) {
    KillTimer(box, kErrorBoxTimer);
    const HWND control = core->GetWindow();
    core->ErrorBoxAnswered();
    DestroyWindow(box);
    SetFocus(control);
}

INT_PTR ErrorBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtr(box, DWLP_USER, lParam);
            CoreOf(box)->LayOutErrorBox(box);
            return TRUE;
        case WM_COMMAND:
            if ((wParam & 0xFFFF) == IDOK && CoreOf(box)) Answer(box, CoreOf(box));
            return TRUE;
        case WM_TIMER:
            if (wParam == kErrorBoxTimer && CoreOf(box)) Answer(box, CoreOf(box));
            return TRUE;
        case WM_CHAR:
            if ((wParam == VK_ESCAPE || wParam == VK_RETURN) && CoreOf(box)) Answer(box, CoreOf(box));
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(box);
            return TRUE;
        case WM_DESTROY:
            if (CClientCore* core = CoreOf(box)) {
                SetWindowLongPtr(box, DWLP_USER, 0);
                core->ErrorBoxDestroyed();
            }
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        LogWrite(LOG_ERROR, "error box: failed");
        return FALSE;
    }
}

}  // namespace

HWND CClientCore::CreateErrorBox(HMODULE resources, HWND parent) {
    return CreateDialogParam(resources, kErrorBoxTemplate, parent, ErrorBoxProc, reinterpret_cast<LPARAM>(this));
}

void CClientCore::CloseErrorBox() {
    if (!m_dialog || m_dialogMode != DialogMode::Error) return;
    // The box outlives no core: it is detached first, so it tells no one.
    if (CoreOf(m_dialog) == this) SetWindowLongPtr(m_dialog, DWLP_USER, 0);
    DestroyWindow(m_dialog);
    SetDialog(0, DialogMode::None);
}

void CClientCore::LayOutErrorBox(HWND box) {
    const ErrorBoxRequest& r = m_errorBox;
    const int cw = m_screen.CellWidth();
    const int ch = m_screen.CellHeight();
    const int width = r.width * cw;
    const int height = r.timeout == 0 ? (r.lines + 2) * ch + 3 : r.lines * ch + 3;
    // Centred on the character grid of the control window.
    POINT origin{(m_screen.Columns() * cw - width) / 2, (m_screen.Rows() * ch - height) / 2};
    ClientToScreen(m_window, &origin);
    MoveWindow(box, origin.x, origin.y, width, height, FALSE);
    const HWND text = GetDlgItem(box, kTextId);
    const HWND ok = GetDlgItem(box, IDOK);
    SetWindowText(text, r.text.c_str());
    if (r.timeout == 0) {
        MoveWindow(text, 0, 0, width, (r.lines + 1) * ch, FALSE);
        MoveWindow(ok, (r.width / 2 - r.width / 6) * cw, (r.lines + 1) * ch - 1, (r.width / 3) * cw, ch + 4, FALSE);
        ShowWindow(ok, SW_SHOW);
    } else {
        MoveWindow(text, 0, 0, width, r.lines * ch, FALSE);
        ShowWindow(ok, SW_HIDE);
        SetTimer(box, kErrorBoxTimer, static_cast<UINT>(r.timeout) * 1000u);
    }
    ShowWindow(box, SW_SHOW);
}

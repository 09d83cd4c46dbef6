// The error box: the resource library's dialog 30002, modeless. RFERROR
// returns at once; the box's procedure answers the host when it closes.
#include "control/ControlDialogs.h"

#include <memory>

#include "core/support/LogFile.h"
#include "platform/Dialog.h"
#include "platform/MsgBox.h"

namespace {

constexpr UINT kErrorBoxTemplate = 30002;
constexpr UINT kErrorBoxTimer = 333;
constexpr int kTextId = 0xFFFF;

// What the open box keeps: the request it shows and whom it answers (null
// once the box is detached).
struct ErrorBoxState {
    ErrorBoxRequest request;
    DialogGrid grid;
    IDialogAnswers* answers = nullptr;
    bool* taken = nullptr;  // set when the box takes the state over
};

ErrorBoxState* StateOf(HWND box) { return reinterpret_cast<ErrorBoxState*>(GetWindowLongPtr(box, DWLP_USER)); }

void LayOut(HWND box, const ErrorBoxState& state) {
    const ErrorBoxRequest& r = state.request;
    const int cw = state.grid.cellWidth;
    const int ch = state.grid.cellHeight;
    const int width = r.width * cw;
    const int height = r.timeout == 0 ? (r.lines + 2) * ch + 3 : r.lines * ch + 3;
    // Centred on the character grid of the control window.
    POINT origin{(state.grid.columns * cw - width) / 2, (state.grid.rows * ch - height) / 2};
    ClientToScreen(state.grid.owner, &origin);
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

void Answer(HWND box, ErrorBoxState& state) {
    KillTimer(box, kErrorBoxTimer);
    const HWND control = state.grid.owner;
    state.answers->ErrorBoxAnswered();
    DestroyWindow(box);
    SetFocus(control);
}

INT_PTR ErrorBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        ErrorBoxState* state = StateOf(box);
        const bool answering = state && state->answers;
        switch (msg) {
        case WM_INITDIALOG:
            if (auto* given = reinterpret_cast<ErrorBoxState*>(lParam)) {
                SetWindowLongPtr(box, DWLP_USER, lParam);
                *given->taken = true;
                given->taken = nullptr;
                LayOut(box, *given);
            }
            return TRUE;
        case WM_COMMAND:
            if ((wParam & 0xFFFF) == IDOK && answering) Answer(box, *state);
            return TRUE;
        case WM_TIMER:
            if (wParam == kErrorBoxTimer && answering) Answer(box, *state);
            return TRUE;
        case WM_CHAR:
            if ((wParam == VK_ESCAPE || wParam == VK_RETURN) && answering) Answer(box, *state);
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(box);
            return TRUE;
        case WM_DESTROY:
            if (state) {
                SetWindowLongPtr(box, DWLP_USER, 0);
                std::unique_ptr<ErrorBoxState> owned(state);
                if (owned->answers) owned->answers->ErrorBoxDestroyed();
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

HWND CControlDialogs::OpenErrorBox(const ErrorBoxRequest& request, const DialogGrid& grid, IDialogAnswers& answers) {
    bool taken = false;
    auto state = std::make_unique<ErrorBoxState>(ErrorBoxState{request, grid, &answers, &taken});
    const HWND box = CreateDialogParam(m_resources, kErrorBoxTemplate, m_parent, ErrorBoxProc,
                                       reinterpret_cast<LPARAM>(state.get()));
    // The box owns its state from WM_INITDIALOG on (and frees it when it goes).
    if (taken) state.release();
    return box;
}

void CControlDialogs::CloseErrorBox(HWND box) {
    // The box outlives no core: it is detached first, so it tells no one.
    if (ErrorBoxState* state = StateOf(box)) state->answers = nullptr;
    DestroyWindow(box);
}

void CControlDialogs::ShowMessage(std::u16string_view text) {
    const std::u16string message(text);
    MessageBox(m_parent, message.c_str(), u"Orvade", 0);
}

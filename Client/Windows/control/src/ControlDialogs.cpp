// The error box: the resource library's dialog 30002, modeless. RFERROR
// returns at once; the box's procedure answers the host when it closes.
#include "control/ControlDialogs.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/support/LogFile.h"
#include "platform/Dialog.h"
#include "platform/MsgBox.h"
#include "platform/Text.h"

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

namespace {

// A box's lines, each ended by lineEnd, on one line.
std::u16string OneLine(std::u16string_view text, std::u16string_view lineEnd) {
    std::u16string line;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(lineEnd, at);
        if (end == std::u16string_view::npos) end = text.size();
        if (!line.empty()) line += u" / ";
        line += text.substr(at, end - at);
        at = end == text.size() ? end : end + lineEnd.size();
    }
    return line;
}

}  // namespace

void CControlDialogs::Tell(const std::u16string& text) const {
    if (m_report) m_report(m_reportContext, plat::text::WideToUtf8(text).c_str());
}

HWND CControlDialogs::OpenErrorBox(const ErrorBoxRequest& request, const DialogGrid& grid, IDialogAnswers& answers) {
    if (m_report) {
        const std::u16string seconds = plat::text::Utf8ToWide(std::to_string(request.timeout));
        Tell(u"error box \"" + OneLine(request.text, u"\n") + u"\": " +
             (request.timeout > 0 ? u"it closes after its time-out of " + seconds + u" s, and its answer goes then"
                                  : u"no answer can be given: it waits for OK, Enter or Escape, and no user is there"));
    }
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

void CControlDialogs::ShowMessage(std::u16string_view text, UINT style) {
    const std::u16string message(text);
    MessageBox(m_parent, message.c_str(), u"Orvade", style);
}

void CControlDialogs::SignatureScreenOpened() {
    Tell(u"signature screen: no answer can be given: it has no strokes, and no user taps OK or Cancel");
}

void CControlDialogs::ShowError(std::u16string_view text) {
    const std::u16string message(text);
    MessageBox(m_parent, message.c_str(), u"Orvade error", MB_OK);
}

// ---- The menu box: the resource library's dialog 30001, modeless. RFMENU
// returns at once; the box's procedure answers the host when it closes.

namespace {

constexpr UINT kMenuBoxTemplate = 30001;
constexpr int kListId = 30000;
constexpr WPARAM kCtrlC = 3;
constexpr WPARAM kCtrlL = 12;

struct MenuBoxState {
    MenuBoxRequest request;
    DialogGrid grid;
    IDialogAnswers* answers = nullptr;
    bool* taken = nullptr;
    WNDPROC listProc = nullptr;  // the list's own procedure, under the box's
};

MenuBoxState* MenuStateOf(HWND box) { return reinterpret_cast<MenuBoxState*>(GetWindowLongPtr(box, DWLP_USER)); }

// The list's keys go to the box first; the box consumes them all.
LRESULT MenuListProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND box = GetParent(list);
    MenuBoxState* state = MenuStateOf(box);
    if (!state || !state->listProc) return DefWindowProc(list, msg, wParam, lParam);
    if (msg == WM_KEYDOWN || msg == WM_CHAR) {
        SendMessage(box, msg, wParam, lParam);
        return 0;
    }
    return CallWindowProc(state->listProc, list, msg, wParam, lParam);
}

void LayOutMenu(HWND box, MenuBoxState& state) {
    const MenuBoxRequest& r = state.request;
    const int cw = state.grid.cellWidth;
    const int ch = state.grid.cellHeight;
    const int width = r.width * cw;
    const int height = r.height * ch;
    POINT origin{r.left * cw, r.top * ch};
    ClientToScreen(state.grid.owner, &origin);
    const HWND text = GetDlgItem(box, kTextId);
    const HWND list = GetDlgItem(box, kListId);
    const HWND ok = GetDlgItem(box, IDOK);
    const HWND cancel = GetDlgItem(box, IDCANCEL);
    int titleHeight = 0;
    if (r.titleLines > 0) {
        titleHeight = r.titleLines * ch;
        SetWindowText(text, r.title.c_str());
        MoveWindow(text, 0, 0, width, titleHeight, FALSE);
        ShowWindow(text, SW_SHOW);
    } else {
        ShowWindow(text, SW_HIDE);
    }
    const int buttonsTop = height - (ch + 4);
    MoveWindow(list, 0, titleHeight, width, buttonsTop - titleHeight, FALSE);
    MoveWindow(ok, 0, buttonsTop + 1, 4 * cw, ch + 3, FALSE);
    MoveWindow(cancel, width - 8 * cw, buttonsTop + 1, 8 * cw, ch + 3, FALSE);

    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (const MenuBoxItem& item : r.items) {
        const LRESULT at = SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.text.c_str()));
        if (at >= 0) SendMessage(list, LB_SETITEMDATA, static_cast<WPARAM>(at), item.data);
    }
    SendMessage(list, LB_SETCURSEL, 0, 0);
    state.listProc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(list, GWLP_WNDPROC));
    SetWindowLongPtr(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuListProc));
    ShowWindow(box, SW_SHOW);
    MoveWindow(box, origin.x, origin.y, width, height, TRUE);
    SetFocus(list);
}

void AnswerMenu(HWND box, MenuBoxState& state, int32_t choice) {
    const HWND control = state.grid.owner;
    state.answers->MenuBoxAnswered(choice);
    DestroyWindow(box);
    SetFocus(control);
}

// The selected item's data + 1; -1 when nothing is selected.
int32_t SelectedChoice(HWND box) {
    const HWND list = GetDlgItem(box, kListId);
    const LRESULT selected = SendMessage(list, LB_GETCURSEL, 0, 0);
    if (selected < 0) return -1;
    return static_cast<int32_t>(SendMessage(list, LB_GETITEMDATA, static_cast<WPARAM>(selected), 0)) + 1;
}

void MoveSelection(HWND box, int step) {
    const HWND list = GetDlgItem(box, kListId);
    const LRESULT count = SendMessage(list, LB_GETCOUNT, 0, 0);
    const LRESULT selected = SendMessage(list, LB_GETCURSEL, 0, 0);
    const LRESULT next = std::clamp<LRESULT>(selected + step, 0, std::max<LRESULT>(count - 1, 0));
    if (count > 0) SendMessage(list, LB_SETCURSEL, static_cast<WPARAM>(next), 0);
}

void MenuKey(HWND box, MenuBoxState& state, WPARAM key) {
    if (key == VK_RETURN) {
        AnswerMenu(box, state, SelectedChoice(box));
    } else if (key == VK_ESCAPE || key == kCtrlC || key == kCtrlL) {
        AnswerMenu(box, state, -1);
    } else if (key == VK_UP || key == VK_DOWN) {
        MoveSelection(box, key == VK_UP ? -1 : 1);
    } else if (state.request.exitKey != 0 && key == static_cast<WPARAM>(state.request.exitKey)) {
        PostQuitMessage(0);
    }
}

INT_PTR MenuBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        MenuBoxState* state = MenuStateOf(box);
        const bool answering = state && state->answers;
        switch (msg) {
        case WM_INITDIALOG:
            if (auto* given = reinterpret_cast<MenuBoxState*>(lParam)) {
                SetWindowLongPtr(box, DWLP_USER, lParam);
                *given->taken = true;
                given->taken = nullptr;
                LayOutMenu(box, *given);
            }
            return FALSE;  // the focus is on the list
        case WM_COMMAND: {
            if (!answering) return TRUE;
            const WPARAM id = wParam & 0xFFFF;
            if (id == IDOK || (id == kListId && HIWORD(wParam) == LBN_DBLCLK))
                AnswerMenu(box, *state, SelectedChoice(box));
            else if (id == IDCANCEL)
                AnswerMenu(box, *state, -1);
            return TRUE;
        }
        case WM_KEYDOWN:
        case WM_CHAR:
            if (answering) MenuKey(box, *state, wParam);
            return TRUE;
        case LB_GETTEXT:
        case LB_GETTEXTLEN:
        case LB_SETCURSEL:
        case LB_GETCURSEL:
        case LB_GETCOUNT:
            // The list's own questions, asked of the box (the automation does).
            SetWindowLongPtr(box, DWLP_MSGRESULT, SendMessage(GetDlgItem(box, kListId), msg, wParam, lParam));
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(box);
            return TRUE;
        case WM_DESTROY:
            if (state) {
                SetWindowLongPtr(box, DWLP_USER, 0);
                std::unique_ptr<MenuBoxState> owned(state);
                if (owned->listProc)
                    SetWindowLongPtr(GetDlgItem(box, kListId), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(owned->listProc));
                if (owned->answers) owned->answers->MenuBoxDestroyed();
            }
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        LogWrite(LOG_ERROR, "menu box: failed");
        return FALSE;
    }
}

}  // namespace

HWND CControlDialogs::OpenMenuBox(const MenuBoxRequest& request, const DialogGrid& grid, IDialogAnswers& answers) {
    if (m_report) {
        std::u16string items;
        for (size_t i = 0; i < request.items.size(); ++i)
            items += (i ? u", " : u"") + plat::text::Utf8ToWide(std::to_string(i + 1)) + u" " + request.items[i].text;
        Tell(u"menu box \"" + OneLine(request.title, u"\r\n") + u"\" (" + items +
             u"): no answer can be given: an item is chosen by a tap or a key, and no user is there");
    }
    bool taken = false;
    auto state = std::make_unique<MenuBoxState>(MenuBoxState{request, grid, &answers, &taken, nullptr});
    const HWND box = CreateDialogParam(m_resources, kMenuBoxTemplate, m_parent, MenuBoxProc,
                                       reinterpret_cast<LPARAM>(state.get()));
    if (taken) state.release();
    return box;
}

void CControlDialogs::CloseMenuBox(HWND box) {
    if (MenuBoxState* state = MenuStateOf(box)) state->answers = nullptr;
    DestroyWindow(box);
}

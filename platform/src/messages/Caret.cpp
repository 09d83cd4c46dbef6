// The thread's caret: state only; a backend may draw it from GetThreadCaret.
#include "platform/Window.h"

namespace {

struct Caret {
    HWND owner = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int hideCount = 1;
};

thread_local Caret t_caret;

// The caret dies with its window.
bool HasCaret() {
    if (t_caret.owner && !IsWindow(t_caret.owner)) t_caret = Caret{};
    return t_caret.owner != 0;
}

bool Owns(HWND hwnd) { return HasCaret() && (hwnd == 0 || hwnd == t_caret.owner); }

}  // namespace

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height) {
    if (!IsWindow(hwnd)) return FALSE;
    t_caret = Caret{};
    t_caret.owner = hwnd;
    t_caret.width = width > 0 ? width : 1;
    t_caret.height = height > 0 ? height : 1;
    return TRUE;
}

BOOL DestroyCaret() {
    if (!HasCaret()) return FALSE;
    t_caret = Caret{};
    return TRUE;
}

BOOL SetCaretPos(int x, int y) {
    if (!HasCaret()) return FALSE;
    t_caret.x = x;
    t_caret.y = y;
    return TRUE;
}

BOOL GetCaretPos(POINT* point) {
    if (!point || !HasCaret()) return FALSE;
    point->x = t_caret.x;
    point->y = t_caret.y;
    return TRUE;
}

BOOL ShowCaret(HWND hwnd) {
    if (!Owns(hwnd) || t_caret.hideCount == 0) return FALSE;
    --t_caret.hideCount;
    return TRUE;
}

BOOL HideCaret(HWND hwnd) {
    if (!Owns(hwnd)) return FALSE;
    ++t_caret.hideCount;
    return TRUE;
}

namespace plat::window {

CaretState GetThreadCaret() {
    CaretState state;
    if (!HasCaret()) return state;
    state.owner = t_caret.owner;
    state.x = t_caret.x;
    state.y = t_caret.y;
    state.width = t_caret.width;
    state.height = t_caret.height;
    state.visible = t_caret.hideCount == 0;
    return state;
}

}  // namespace plat::window

// Windows with Windows semantics: classes registered by name, a tree of
// parent and child windows, text, geometry, visibility, focus, activation,
// capture and painting. The windows are models held by the message layer
// (Message.h); a backend (the Qt-backed library, QtHost.h) shows them and
// turns input into messages. Without a backend everything works headless.
//
// - A window belongs to the thread that created it: its messages go to that
//   thread's queue and only that thread may destroy it. Any thread may read
//   its properties and send or post to it.
// - Geometry has no non-client area: the window rectangle and the client
//   area have the same size. Child rectangles are in the parent's client
//   coordinates, top-level rectangles in screen coordinates.
// - Siblings are kept in z-order, top first: child windows are added at the
//   bottom (so creation order is the tab order), top-level windows at the top.
// - DestroyWindow: owned windows go first; then WM_DESTROY goes to the window
//   and then to its children (while they all still exist), WM_NCDESTROY to
//   the children and then the window; handles are freed children first.
// - WM_PAINT is generated when the queue holds nothing else but timers, for a
//   visible window with an update region; invalidations coalesce into one
//   rectangle. BeginPaint sends WM_ERASEBKGND when asked for and validates.
// - Focus, the active window and capture are per thread (as each thread's
//   input state); the foreground window is one for the process. Input is
//   routed by the layer (Input.h).
// - Z-order: owned windows stand above their owner; SetWindowPos without
//   SWP_NOACTIVATE activates a shown top-level window of the calling
//   thread; WS_EX_NOACTIVATE windows are never activated by showing or by a
//   tap.
// - No code of a caller runs under a lock of the layer: procedures and the
//   state they capture are released after the layer's lock is.
// - Across processes: a program that makes a top-level window can be
//   reached by the other programs of the device root it had then. Its
//   handles carry its slot; PostMessage and SendMessage with integer
//   arguments, ShowWindow, SetForegroundWindow and IsWindow work on another
//   program's windows (a send across programs does not serve the sender's
//   queue while it waits). A program that ends takes its windows with it.
//   Only programs of the same user are answered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Message.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// What every WM_NOTIFY starts with.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

struct WNDCLASS {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;  // a brush, or a system colour index + 1
    const char16_t* lpszMenuName;
    const char16_t* lpszClassName;
};

struct CREATESTRUCT {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const char16_t* lpszName;
    const char16_t* lpszClass;
    DWORD dwExStyle;
};

struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

constexpr int CW_USEDEFAULT = int(0x80000000);

// GetWindowLongPtr / SetWindowLongPtr
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int GWLP_ID = -12;
constexpr int DWLP_MSGRESULT = 0;  // dialogs: the first of their extra slots

// GetWindow
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_BOTTOM = 1;
constexpr HWND HWND_TOPMOST = HWND(-1);
constexpr HWND HWND_NOTOPMOST = HWND(-2);

// Cursors (LoadCursor with no instance).
constexpr HCURSOR IDC_ARROW = 32512;
constexpr HCURSOR IDC_IBEAM = 32513;
constexpr HCURSOR IDC_WAIT = 32514;
constexpr HCURSOR IDC_CROSS = 32515;

// System colours (GetSysColor; class backgrounds use index + 1).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;

// Classes are one set for the process, names without regard to case. FALSE
// (0) when the name is taken or the procedure missing.
ATOM RegisterClass(const WNDCLASS* wc);
BOOL UnregisterClass(const char16_t* className, HINSTANCE instance);  // FALSE while windows of it exist
BOOL GetClassInfo(HINSTANCE instance, const char16_t* className, WNDCLASS* wc);
int GetClassName(HWND hwnd, char16_t* buffer, int maxCount);

// Sends WM_NCCREATE, WM_CREATE (-1 fails the creation: the window is
// destroyed and 0 returned), WM_SIZE and WM_MOVE; then shows the window when
// WS_VISIBLE is asked for. A WS_CHILD window needs a parent; the menu slot is
// its id. A top-level window given a parent has it as its owner.
HWND CreateWindowEx(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
inline HWND CreateWindow(const char16_t* className, const char16_t* windowName, DWORD style, int x, int y, int width,
                         int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    return CreateWindowEx(0, className, windowName, style, x, y, width, height, parent, menu, instance, param);
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Tree.
HWND GetParent(HWND hwnd);  // the parent of a child, the owner of a top-level window
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetWindow(HWND hwnd, UINT cmd);
HWND GetTopWindow(HWND hwnd);  // hwnd 0: the top-level windows
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
// Top-level windows only; null class or title matches any. This program's
// windows first, then those of every other program running on the same
// device root (see "Across processes" below).
HWND FindWindow(const char16_t* className, const char16_t* windowName);

// Text (sent as WM_SETTEXT / WM_GETTEXT, kept by DefWindowProc).
BOOL SetWindowText(HWND hwnd, const char16_t* text);
int GetWindowText(HWND hwnd, char16_t* buffer, int maxCount);
int GetWindowTextLength(HWND hwnd);

LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);

// Geometry.
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
BOOL GetClientRect(HWND hwnd, RECT* rect);  // 0, 0, width, height
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
BOOL BringWindowToTop(HWND hwnd);

// Visibility and state.
BOOL ShowWindow(HWND hwnd, int cmd);  // the previous visibility
BOOL IsWindowVisible(HWND hwnd);      // itself and every ancestor
BOOL EnableWindow(HWND hwnd, BOOL enable);  // TRUE when it was disabled
BOOL IsWindowEnabled(HWND hwnd);

// Input state of the calling thread.
HWND SetFocus(HWND hwnd);  // the previous focus; 0 and nothing done for a window of another thread
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

// Painting.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);  // sends WM_PAINT at once when there is an update region
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC GetDC(HWND hwnd);  // the window's back buffer
int ReleaseDC(HWND hwnd, HDC dc);

// Cursors: one for the process (the wait cursor while busy).
HCURSOR LoadCursor(HINSTANCE instance, HCURSOR id);
HCURSOR SetCursor(HCURSOR cursor);  // the previous one
HCURSOR GetCursor();

// The caret: one per thread, owned by a window, created hidden (hide count
// 1). Creating one replaces the thread's old caret. Show and hide calls
// count; the caret is visible at count 0. FALSE for a window that does not
// own the caret (hwnd 0 means the owner).
BOOL CreateCaret(HWND hwnd, HBITMAP bitmap, int width, int height);
BOOL DestroyCaret();
BOOL SetCaretPos(int x, int y);
BOOL GetCaretPos(POINT* point);
BOOL ShowCaret(HWND hwnd);
BOOL HideCaret(HWND hwnd);

namespace plat::window {

// Replaces the procedure with one that captures state (subclassing); the
// old one is returned for chaining. The captures are released, outside the
// layer's lock, when the window goes or the procedure is replaced again.
WindowProc SetWindowProcedure(HWND hwnd, WindowProc proc);
// The window's text as a string.
std::u16string GetWindowString(HWND hwnd);
// A number of the owner thread, the same for all its windows; 0 for none.
DWORD GetWindowThreadId(HWND hwnd);
// The focus and capture of the thread that owns hwnd (a backend routes input
// with them).
HWND GetThreadFocus(HWND hwnd);
HWND GetThreadCapture(HWND hwnd);
// Runs task on the thread that owns hwnd, the next time it looks at its
// queue (as a sent message, without waiting for it). FALSE when the window
// does not exist.
BOOL RunOnWindowThread(HWND hwnd, std::function<void()> task);
// TRUE for windows of CreateMessageWindow (never shown).
BOOL IsMessageOnlyWindow(HWND hwnd);
// How often the window was asked to repaint (InvalidateRect, or a move or
// show that needs one), whatever each ask added; 0 for no window. A window
// that finds the count where its own last ask left it knows that nobody
// else asked since.
uint64_t GetRepaintAsks(HWND hwnd);

// What a backend hears about; `what` is a mask of these.
enum : unsigned {
    kWindowCreated = 0x01,
    kWindowDestroyed = 0x02,
    kWindowGeometry = 0x04,
    kWindowShown = 0x08,  // visibility or enabled state
    kWindowText = 0x10,
    kWindowZOrder = 0x20,
    kWindowPresent = 0x40,  // the back buffer has new content to show
    kWindowFocus = 0x80,
    kWindowCursor = 0x100,  // hwnd 0
};

// Shows the windows. Notify is called on the thread that made the change,
// after the layer's lock is released; the backend reads the window's state
// through the functions above (a destroyed window is gone by then).
class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    virtual void Notify(HWND hwnd, unsigned what) = 0;
    // A drawing context on the window's back buffer; null draws nothing.
    // ReleaseDC deletes it; what it drew shows from then on.
    virtual HDC CreateDC(HWND hwnd) = 0;
};

void SetWindowBackend(std::shared_ptr<WindowBackend> backend);

// The calling thread's caret, for a backend that draws it and for tests.
struct CaretState {
    HWND owner = 0;  // 0: no caret (or its window is gone)
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool visible = false;
};
CaretState GetThreadCaret();
std::shared_ptr<WindowBackend> GetWindowBackend();

}  // namespace plat::window

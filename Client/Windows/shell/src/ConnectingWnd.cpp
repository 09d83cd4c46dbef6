#include "shell/ConnectingWnd.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/Dialog.h"
#include "platform/Gdi.h"
#include "platform/Screen.h"
#include "platform/Text.h"
#include "shell/ShellUtil.h"
#include "shell/ShellWindows.h"

namespace {

constexpr const char16_t* kClassName = u"CLDGCN";
constexpr int kWidth = 200;
constexpr int kHeight = 100;
constexpr UINT kTimerId = 100;
constexpr UINT kTimerMs = 100;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 30;
constexpr int kButtonBottomGap = 40;
constexpr DWORD kExStyle = 0x80;  // as a tool window
constexpr size_t kTextChars = 100;  // 99 and the terminator
constexpr auto kCloseStep = std::chrono::milliseconds(50);
// A window thread that has not ended after this many steps is left to end
// on its own; it keeps its own share of the state.
constexpr int kCloseSteps = 200;

}  // namespace

struct CConnectingWnd::State {
    BOOL showCancel = FALSE;
    std::atomic<bool> cancelled{false};
    std::u16string hostText;
    std::u16string customText;
    std::atomic<HWND> window{0};
    std::atomic<bool> closeRequested{false};
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
};

namespace {

using State = CConnectingWnd::State;

std::u16string Bounded(const char16_t* text) {
    if (!text) return {};
    std::u16string copy(text, plat::text::WideLen(text));
    if (copy.size() > kTextChars - 1) copy.resize(kTextChars - 1);
    return copy;
}

bool ForegroundIsOurs() {
    const HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    return foreground && GetWindowThreadProcessId(foreground, &process) && process == DWORD(::getpid());
}

// Keeps the window in front of the shell while it exists.
void ComeForward(HWND hwnd) {
    if (!ForegroundIsOurs() || (GetForegroundWindow() == hwnd && GetTopWindow(0) == hwnd)) return;
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
}

std::u16string TextOf(const State& state) {
    return state.customText.empty() ? u"\nConnecting To:\n" + state.hostText : state.customText;
}

void Paint(HWND hwnd, const State& state) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, HBRUSH(GetStockObject(WHITE_BRUSH)));
    LOGFONT font{};
    font.lfHeight = -14;
    std::char_traits<char16_t>::copy(font.lfFaceName, u"Tahoma", 7);
    const HFONT hfont = CreateFontIndirect(&font);
    const HGDIOBJ old = SelectObject(dc, hfont);
    const std::u16string text = TextOf(state);
    DrawText(dc, text.c_str(), int(text.size()), &client, DT_CENTER);
    SelectObject(dc, old);
    DeleteObject(hfont);
    EndPaint(hwnd, &ps);
}

LRESULT ConnectingWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == WM_CREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
            auto* state = static_cast<State*>(create->lpCreateParams);
            SetWindowLongPtr(hwnd, GWLP_USERDATA, LONG_PTR(state));
            if (const HWND main = GetShellMainWindow()) SetWindowPos(hwnd, main, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetTimer(hwnd, kTimerId, kTimerMs);
            if (state->showCancel) {
                RECT client{};
                GetClientRect(hwnd, &client);
                CreateWindowEx(0, u"Button", u"Cancel", WS_CHILD | WS_VISIBLE, (client.right - kButtonWidth) / 2,
                               client.bottom - kButtonBottomGap, kButtonWidth, kButtonHeight, hwnd, HMENU(IDCANCEL),
                               nullptr, nullptr);
            }
            return DefWindowProc(hwnd, msg, wParam, lParam);
        }
        auto* state = reinterpret_cast<State*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
        if (!state) return DefWindowProc(hwnd, msg, wParam, lParam);
        switch (msg) {
        case WM_ACTIVATE:
        case WM_TIMER:
            ComeForward(hwnd);
            break;
        case WM_PAINT:
            Paint(hwnd, *state);
            return 0;
        case WM_CHAR:
            if (wParam == 27) PostMessage(hwnd, WM_COMMAND, IDCANCEL, 0);
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) state->cancelled = true;
            break;
        case WM_CLOSE_CONNECTING:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kTimerId);
            PostQuitMessage(0);
            break;
        default:
            break;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        ShellLog(1, "ConnectingWndProc: exception on message %u", msg);
        return 0;
    }
}

void ConnectingWndThread(const std::shared_ptr<State>& state) {
    try {
        const HWND main = GetShellMainWindow();
        RECT mainRect{};
        if (!main || !GetWindowRect(main, &mainRect))
            SetRect(&mainRect, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        WNDCLASS wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ConnectingWndProc;
        wc.lpszClassName = kClassName;
        RegisterClass(&wc);  // already registered by an earlier window: fine

        const int left = mainRect.left + (mainRect.right - mainRect.left - kWidth) / 2;
        const int top = mainRect.top + (mainRect.bottom - mainRect.top - kHeight) / 2;
        const HWND hwnd = CreateWindowEx(kExStyle, kClassName, u"", WS_POPUP | WS_VISIBLE | WS_BORDER, left, top,
                                         kWidth, kHeight, 0, 0, nullptr, state.get());
        state->window = hwnd;
        // A close asked for before the window existed went nowhere.
        if (hwnd && state->closeRequested) DestroyWindow(hwnd);
        if (hwnd) {
            MSG msg{};
            while (GetMessage(&msg, 0, 0, 0) == 1) {
                if (!IsWindow(hwnd) || !IsDialogMessage(hwnd, &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessage(&msg);
                }
            }
        }
        state->window = 0;
        // The class goes with the window: it names this library's procedure.
        // Another connecting window still open keeps it.
        UnregisterClass(kClassName, nullptr);
        if (main && IsWindow(main)) SetForegroundWindow(main);
    } catch (...) {
        ShellLog(1, "ConnectingWndThread: exception");
    }
    std::lock_guard lock(state->mutex);
    state->ended = true;
    state->endedSignal.notify_all();
}

}  // namespace

CConnectingWnd::CConnectingWnd(const char16_t* hostText, const char16_t* customText, BOOL showCancel)
    : m_state(std::make_shared<State>()) {
    m_state->showCancel = showCancel;
    m_state->hostText = Bounded(hostText);
    m_state->customText = Bounded(customText);
    m_thread = std::thread([state = m_state] { ConnectingWndThread(state); });
}

CConnectingWnd::~CConnectingWnd() { Close(); }

BOOL CConnectingWnd::IsCancelled() const { return m_state->cancelled ? TRUE : FALSE; }

std::u16string CConnectingWnd::GetText() const { return TextOf(*m_state); }

HWND CConnectingWnd::GetWindow() const { return m_state->window; }

void CConnectingWnd::Close() {
    if (!m_thread.joinable()) return;
    m_state->closeRequested = true;
    for (int step = 0; step < kCloseSteps; ++step) {
        // Posted, not sent: a window thread that does not answer cannot hold
        // the user-interface thread longer than the steps below.
        if (const HWND hwnd = m_state->window) PostMessage(hwnd, WM_CLOSE_CONNECTING, 0, 0);
        std::unique_lock lock(m_state->mutex);
        if (m_state->endedSignal.wait_for(lock, kCloseStep, [this] { return m_state->ended; })) {
            lock.unlock();
            m_thread.join();
            return;
        }
    }
    ShellLog(1, "CConnectingWnd::Close - window thread did not end");
    m_thread.detach();
}

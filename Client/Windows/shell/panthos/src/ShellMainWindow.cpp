#include "panthos/ShellMainWindow.h"

#include <exception>

#include "core/hooks/CoreMessages.h"
#include "platform/InputPanel.h"
#include "platform/Screen.h"
#include "platform/WinConst.h"
#include "shell/ShellUtil.h"

namespace {

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

CShellMainWindow::~CShellMainWindow() {
    // A window left behind must not reach this part once it is gone.
    if (m_window && IsWindow(m_window)) SetWindowLongPtr(m_window, GWLP_USERDATA, 0);
    Destroy();
}

HWND CShellMainWindow::Create(const RECT& frame, const std::u16string& title) {
    WNDCLASS wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &CShellMainWindow::Procedure;
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainWindowClass;
    RegisterClass(&wc);  // a second shell object finds it registered
    return CreateWindowEx(0, kMainWindowClass, title.c_str(), WS_POPUP, frame.left, frame.top, Width(frame),
                          Height(frame), 0, 0, nullptr, this);
}

void CShellMainWindow::Destroy() {
    if (m_window && IsWindow(m_window)) DestroyWindow(m_window);
    m_window = 0;
}

void CShellMainWindow::Unregister() { UnregisterClass(kMainWindowClass, nullptr); }

LRESULT CShellMainWindow::Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CShellMainWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    try {
        return self->OnMessage(hwnd, msg, wParam, lParam);
    } catch (const std::exception& e) {
        ShellLog(LOG_ERROR, "Main window message %u failed: %s", msg, e.what());
        return 0;
    }
}

LRESULT CShellMainWindow::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        m_window = hwnd;
        m_events.Created(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
        if (m_skin) m_skin->OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (m_skin) m_skin->OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (m_skin) m_skin->OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SOCKET_NOTIFY:
        m_events.SocketNotify(lParam);
        return 0;
    case WM_TIMER:
        m_events.Timer();
        return 0;
    case WM_SOCKET_READABLE:
    case WM_SOCKET_WRITABLE:
        m_events.SocketReadable();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_EDIT_HOST:
        m_events.EditHost(std::unique_ptr<CHostEntry>(reinterpret_cast<CHostEntry*>(lParam)));
        return 0;
    case WM_COMMAND:
        m_events.Command(LOWORD(wParam));
        return 0;
    case WM_REFRESH_HOSTS:
        m_events.RefreshHosts();
        return 0;
    case WM_NOTIFY:
        return m_events.Notify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_RBUTTONDOWN:  // no context menu
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
        m_events.Closed();
        return 0;
    case WM_QUERY_ASSOCIATION:
        if (lParam) m_events.QueryAssociation(reinterpret_cast<LONG*>(lParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(wParam);
        return 0;
    case WM_SETFOCUS:
        if (m_focusChild && IsChild(m_window, m_focusChild)) SetFocus(m_focusChild);
        return 0;
    case WM_SETTINGCHANGE:
        OnSettingChange(wParam);
        return 0;
    case WM_SHELL_INPUT_PANEL:
        return ShowInputPanel(wParam != 0);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void CShellMainWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_window, &ps);
    if (dc && m_skin && m_skin->IsLoaded()) {
        RECT client;
        GetClientRect(m_window, &client);
        DrawImage(m_skin->SkinImage(), dc, client);
    }
    EndPaint(m_window, &ps);
}

void CShellMainWindow::OnActivate(WPARAM wParam) {
    const bool active = LOWORD(wParam) != 0;
    if (!active) {
        HWND focus = GetFocus();
        m_focusChild = focus && IsChild(m_window, focus) ? focus : 0;
    }
    m_events.Activated(active);
}

void CShellMainWindow::OnSettingChange(WPARAM wParam) {
    if (wParam != SPI_SETSIPINFO || !m_skin) return;
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    if (!SipGetInfo(&sip)) return;
    RECT work = m_skin->Skin().skin;
    if (work.top < 0) work.top = 1;
    const bool shown = (sip.fdwFlags & SIPF_ON) != 0;
    const bool docked = (sip.fdwFlags & SIPF_DOCKED) != 0;
    if (shown && docked) {
        m_events.InputPanelDocked(true);
        MoveWindow(m_window, work.left, work.top, Width(work), Height(work) - Height(sip.rcSipRect), TRUE);
    } else if (!shown && docked) {
        m_events.InputPanelDocked(false);
        MoveWindow(m_window, work.left, work.top, Width(work), Height(work), TRUE);
    }
    if (!shown) InvalidateRect(m_window, &sip.rcSipRect, TRUE);
}

LRESULT CShellMainWindow::ShowInputPanel(bool show) {
    if (SipShowIM(show ? SIPF_ON : SIPF_OFF)) return TRUE;
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    SipGetInfo(&sip);
    sip.fdwFlags = show ? SIPF_ON : 0;
    return SipSetInfo(&sip);
}

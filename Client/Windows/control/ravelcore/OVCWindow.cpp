// The control window: the owner of the session's core, the window the core
// talks to, and the source of the control's events.
#include <cstring>

#include "OVC.h"
#include "control/ControlDialogs.h"
#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "core/hooks/CoreMessages.h"
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Window.h"

namespace {

constexpr char16_t kWindowClass[] = u"RavelcoreOVC";

}  // namespace

HRESULT COVC::CreateControlWindow(HWND host, const RECT* rect, HWND* window) {
    if (!rect || !window) return E_POINTER;
    *window = 0;
    if (m_window) return E_UNEXPECTED;  // one window per control
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &COVC::WindowProc;
    wc.lpszClassName = kWindowClass;
    RegisterClass(&wc);  // registered already by an earlier control: fine
    const HWND made = CreateWindowEx(0, kWindowClass, u"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect->left,
                                     rect->top, rect->right - rect->left, rect->bottom - rect->top, host, 0, nullptr,
                                     this);
    if (!made) return E_FAIL;
    *window = made;
    return S_OK;
}

HRESULT COVC::DestroyControlWindow() {
    if (m_window) DestroyWindow(m_window);  // WM_DESTROY deletes the core
    // A window already being destroyed (with its parent) is left to go, but
    // it no longer reaches this object, which may go first.
    if (m_window) {
        SetWindowLongPtr(m_window, GWLP_USERDATA, 0);
        OnDestroy();
    }
    return S_OK;
}

void COVC::OnCreate(HWND hwnd, const CREATESTRUCT* cs) {
    m_window = hwnd;
    m_dialogs = std::make_unique<CControlDialogs>(GetModuleResources(), hwnd);
    m_core = CClientCore::Create(hwnd);
    m_core->SetDialogs(m_dialogs.get());
    m_core->SetClientSize(cs ? cs->cx : 0, cs ? cs->cy : 0);
    m_core->UpdateCellMetrics();
    m_core->CreateBackBuffer();
    if (s_shellWindow) m_core->SetShellWindow(s_shellWindow);
}

void COVC::OnDestroy() {
    m_core.reset();
    m_dialogs.reset();
    m_window = 0;
}

void COVC::OnStatus(const char16_t* text, LPARAM busy) {
    if (text && std::char_traits<char16_t>::compare(text, m_statusText, 20) != 0) {
        size_t n = 0;
        while (n < 19 && text[n]) ++n;
        std::memset(m_statusText, 0, sizeof m_statusText);
        std::memcpy(m_statusText, text, n * sizeof(char16_t));
        if (m_window) InvalidateRect(m_window, nullptr, FALSE);
    }
    if (busy == 1 && !m_busy) {
        m_busy = true;
        m_savedCursor = ::SetCursor(LoadCursor(nullptr, IDC_WAIT));
    } else if (busy == 0 && m_busy) {
        m_busy = false;
        ::SetCursor(m_savedCursor);
    }
}

LRESULT COVC::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<COVC*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    // Nothing the core throws leaves the window procedure.
    try {
        return self->OnMessage(hwnd, msg, wParam, lParam);
    } catch (...) {
        LogPrintf(LOG_ERROR, "COVC: message %u failed", msg);
        return 0;
    }
}

LRESULT COVC::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd, reinterpret_cast<const CREATESTRUCT*>(lParam));
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        break;
    case WM_CORE_SEND_SEGMENT:
        Fire_OVCDataOutEvent(int(wParam), reinterpret_cast<const void*>(lParam));
        return 0;
    case WM_CORE_SESSION_ENDED:
        Fire_OVCDisconnect(int(lParam));
        return 0;
    case WM_CORE_BUSY_STATUS:
        OnStatus(reinterpret_cast<const char16_t*>(wParam), lParam);
        return 0;
    case WM_CHAR:
        if (m_core) m_core->OnChar(char16_t(wParam), int32_t(lParam & 0xFFFF), 0);
        return 0;
    case WM_KEYDOWN:
        if (m_core) {
            const int32_t hideMenuKey = m_core->Properties().hideMenuKey;
            if (hideMenuKey != 0 && uint32_t(hideMenuKey) == uint32_t(wParam)) Fire_OVCToggleHideMenu();
            if (m_core) m_core->OnKeyDown(uint32_t(wParam), uint32_t(lParam & 0xFFFF));
        }
        break;
    case WM_SIZE:
        if (CExtentions* ext = GetModuleExtentions()) ext->NotifyMove();
        if (m_core) {
            m_core->SetClientSize(LOWORD(lParam), HIWORD(lParam));
            m_core->UpdateCellMetrics();
            m_core->CreateBackBuffer();
        }
        break;
    case WM_SETFOCUS:
        if (m_core) m_core->CaretOn();
        break;
    case WM_KILLFOCUS:
        if (m_core) m_core->CaretOff();
        break;
    case WM_CORE_END_OF_INPUT:
        if (m_core && GetModuleScanner()) m_core->EnableScanner(false);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_ACTIVATE: return 0;
    default: break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

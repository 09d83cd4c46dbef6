// The control window: the owner of the session's core, the window the core
// talks to, and the source of the control's events.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "OVC.h"
#include "control/ControlDialogs.h"
#include "control/ScreenView.h"
#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "core/hooks/CoreMessages.h"
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/Window.h"

namespace {

constexpr char16_t kWindowClass[] = u"RavelcoreOVC";
constexpr int32_t kRfidKind = 19;
constexpr size_t kMaxLoggedCharacters = 4000;

// The window class goes with the library: a class left registered after an
// unload would name a procedure that is gone, and the next control made
// after the library is loaded again would call it.
struct WindowClassOfLibrary {
    ~WindowClassOfLibrary() { UnregisterClass(kWindowClass, nullptr); }
} g_windowClass;

// The tap-and-hold test of the shell helper library.
struct GestureInfo {
    DWORD size;
    HWND window;
    POINT point;
    DWORD flags;
};
using RecognizeGestureFn = DWORD (*)(GestureInfo*);

// The record's text for the log: at most its length (and 4000) characters,
// ending early at a terminator, so an unterminated text is never read past
// its end.
std::string LoggedText(const DeviceDataRecord& record) {
    if (!record.text || record.length <= 0) return {};
    const size_t most = std::min(size_t(record.length), kMaxLoggedCharacters);
    size_t n = 0;
    while (n < most && record.text[n]) ++n;
    return plat::text::WideToUtf8(std::u16string_view(record.text, n));
}

CMsrExtention* ModuleMsr() {
    CExtentions* ext = GetModuleExtentions();
    return ext ? ext->GetMsrExtention() : nullptr;
}

CRfidExtention* ModuleRfid() {
    CExtentions* ext = GetModuleExtentions();
    return ext ? ext->GetRfidExtention() : nullptr;
}

// The view helper beside the platform, loaded once with the first window
// that shows a screen (or the first session without one that uses its
// screen); null (logged) when it cannot be loaded.
void* ViewHelper() {
    static void* const helper = [] {
        using LoadFn = HMODULE (*)(std::u16string_view);
        const std::string folder = ModuleHostDirectory(reinterpret_cast<const void*>(static_cast<LoadFn>(&LoadLibrary)));
        const std::string path = folder.empty() ? std::string(kScreenViewHelper) : folder + "/" + kScreenViewHelper;
        void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!loaded) LogPrintf(LOG_ERROR, "COVC: cannot load %s; no screen is shown, no font measured", path.c_str());
        return loaded;
    }();
    return helper;
}

CreateScreenViewFn ScreenViewFactory() {
    void* helper = ViewHelper();
    return helper ? reinterpret_cast<CreateScreenViewFn>(dlsym(helper, "orvade_create_screen_view")) : nullptr;
}

// Without a screen the session font is still fitted as where one is shown,
// so the session's size is the device's: the helper measures it.
plat::draw::IFontMeasure* HelperFontMeasure() {
    void* helper = ViewHelper();
    auto measure = helper ? reinterpret_cast<FontMeasureFn>(dlsym(helper, "orvade_font_measure")) : nullptr;
    return measure ? measure() : nullptr;
}

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
        plat::window::SetWindowProcedure(
            m_window, [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
        OnDestroy();
    }
    return S_OK;
}

// The outermost scope holds the reference; the ones nested in it need none.
void COVC::EndOfCalls() {
    if (!m_retired.empty()) {
        std::vector<Session> retired = std::move(m_retired);
        m_retired.clear();
        retired.clear();  // each core before its view and dialogs
    }
    Release();  // may delete the object: nothing after this
}

void COVC::OnCreate(HWND hwnd, const CREATESTRUCT* cs) {
    m_window = hwnd;
    m_beforeMessages = &plat::messages::ThreadBeforeMessages();  // the status messages come on this thread
    m_windowThread = pthread_self();
    m_wholeInvalid = false;  // a new window: the next change asks for its paint
    m_dialogs = std::make_unique<CControlDialogs>(GetModuleResources(), hwnd);
    m_dialogs->SetReport(m_boxReport, m_boxReportContext);
    m_core = CClientCore::Create(hwnd);
    m_core->SetDialogs(m_dialogs.get());
    // The widgets get windows of the window layer, children of this one.
    m_core->SetWidgetWindows(&m_widgetWindows);
    // The core's screen, painted into the view's back buffer, which also
    // measures the session font. Without a view the core keeps its screen
    // model only.
    if (m_showScreen) {
        if (CreateScreenViewFn create = ScreenViewFactory()) m_view.reset(create(hwnd, &m_core->Screen()));
    }
    if (m_view) {
        m_core->SetView(m_view.get());
        m_core->SetFontMeasure(&m_view->Fonts());
    } else {
        m_core->SetFontMeasureSource(&HelperFontMeasure);
    }
    m_core->Resize(cs ? cs->cx : 0, cs ? cs->cy : 0);
    if (const CModuleContext* context = GetModuleContext(); context && context->shellWindow)
        m_core->Info().SetShellWindow(context->shellWindow);
}

void COVC::OnDestroy() {
    // A handler of the core waiting inside a call stops with the window.
    if (m_core) m_core->WindowDestroyed();
    Session ended{std::move(m_dialogs), std::move(m_view), std::move(m_core)};
    m_window = 0;
    // A call still runs in the core (the window went inside one of its
    // events): the session goes when that call returns.
    if (m_calls > 0) m_retired.push_back(std::move(ended));
}

void COVC::OnMessageBox(UINT style, const char16_t* text) {
    if (text && m_dialogs) m_dialogs->ShowMessage(text, style);
}

void COVC::OnScan(HWND hwnd, const DeviceDataRecord& record) {
    if (!m_core) return;
    if (m_core->OnWidgetMessage(hwnd, WIDGET_MSG_DEVICE_DATA, 0, reinterpret_cast<LPARAM>(&record), nullptr)) return;
    if (m_core) m_core->OnDeviceData(&record);
}

namespace {
// At most 19 characters of a status are kept; the text is read no further
// than its terminator or those 19.
size_t StatusLength(const char16_t* text) {
    size_t n = 0;
    while (n < 19 && text[n]) ++n;
    return n;
}
}  // namespace

void COVC::OnStatus(const char16_t* text, LPARAM busy) {
    if (m_inputDepth == 0) return ShowStatus(text, busy);
    if (text) {
        const size_t n = StatusLength(text);
        std::memcpy(m_pendingText, text, n * sizeof(char16_t));
        m_pendingLength = n;
        m_pendingHasText = true;
    }
    if (busy == 0 || busy == 1) m_pendingBusy = busy;  // the last one sent counts
    if (!m_statusPending) {
        m_statusPending = true;
        if (m_beforeMessages) *m_beforeMessages = {&COVC::FlushStatusHook, this};
    }
}

void COVC::ShowStatus(const char16_t* text, LPARAM busy) {
    if (text && TakeStatusText(text, StatusLength(text))) RepaintStatus();
    SetBusy(busy);
}

// True when the text differs from the one shown, which it then replaces.
bool COVC::TakeStatusText(const char16_t* text, size_t n) {
    if (n == m_statusLength && std::memcmp(text, m_statusText, n * sizeof(char16_t)) == 0) return false;
    std::memset(m_statusText, 0, sizeof m_statusText);
    std::memcpy(m_statusText, text, n * sizeof(char16_t));
    m_statusLength = n;
    return true;
}

void COVC::RepaintStatus() {
    if (!m_window) return;
    const uint64_t asks = plat::window::GetRepaintAsks(m_window);
    InvalidateRect(m_window, nullptr, FALSE);
    // Nobody else asked since the paint, before or during this ask.
    if (asks == m_statusOnlyAsks && plat::window::GetRepaintAsks(m_window) == asks + 1) m_statusOnlyAsks = asks + 1;
    m_wholeInvalid = true;
}

void COVC::FlushStatus() {
    if (!m_statusPending) return;
    m_statusPending = false;
    // Given back unless its hook is what runs now (the slot is cleared then).
    if (m_beforeMessages && m_beforeMessages->context == this) *m_beforeMessages = {};
    // Only the status the input leaves is ever seen: a packet that turns it
    // from "Wait" to "" and back asks for no paint.
    const bool changed = m_pendingHasText && TakeStatusText(m_pendingText, m_pendingLength);
    if (changed && !m_wholeInvalid) RepaintStatus();
    SetBusy(m_pendingBusy);
    m_pendingHasText = false;
    m_pendingBusy = -1;
}

void COVC::FlushStatusHook(void* self) { static_cast<COVC*>(self)->FlushStatus(); }

void COVC::SetBusy(LPARAM busy) {
    // The system's wait cursor, looked up once: the core is busy with every packet.
    static const HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
    if (busy == 1 && !m_busy) {
        m_busy = true;
        m_savedCursor = ::SetCursor(wait);
    } else if (busy == 0 && m_busy) {
        m_busy = false;
        ::SetCursor(m_savedCursor);
    }
}

LRESULT COVC::OnDeviceDataMessage(HWND hwnd, WPARAM wParam, LPARAM lParam, bool rfid) {
    if (!m_core) return 1;
    const auto* given = reinterpret_cast<const DeviceDataRecord*>(lParam);
    if (!given) return 0;  // nothing to deliver
    DeviceDataRecord record = *given;  // the library's record stays as it was
    LogPrintf(LOG_TRACE, rfid ? "Termelle::WM_OVC_RFID_MESSAGE - Size=%ld Data=%s" : "Termelle::WM_OVC_MSR_MESSAGE - Size=%ld Data=%s",
              long(record.length), LoggedText(record).c_str());
    if (rfid) record.kind = kRfidKind;
    if (m_core->OnWidgetMessage(hwnd, WIDGET_MSG_DEVICE_DATA, wParam, reinterpret_cast<LPARAM>(&record), nullptr))
        return 1;
    return m_core ? m_core->OnDeviceData(&record) : 0;
}

void COVC::OnScannerMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CScannerExtension* scanner = GetModuleScanner();
    if (!scanner || !m_core) return;
    const std::optional<CScannerExtension::Label> label = scanner->TakeLabel(msg, wParam, lParam);
    if (!label) return;
    OnScan(hwnd, DeviceDataRecord{1, 0, label->decoder, int32_t(label->text.size()), label->text.c_str()});
}

void COVC::SetInputDevices(bool on) {
    if (m_core) m_core->Input().EnableScanner(on);
    if (CMsrExtention* msr = ModuleMsr()) msr->EnableMSR(0, on ? 1 : 0);
    if (CRfidExtention* rfid = ModuleRfid()) rfid->ReaderOn(0, on ? 1 : 0);
}

HMODULE COVC::ShellHelper() {
    if (!m_shellHelperSought) {
        m_shellHelperSought = true;
        m_shellHelper = LoadLibrary(u"aygshell.dll");
    }
    return m_shellHelper;
}

LRESULT COVC::OnTap(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (HMODULE helper = ShellHelper()) {
        if (auto recognize = GetProc<RecognizeGestureFn>(helper, "SHRecognizeGesture")) {
            GestureInfo info{sizeof(GestureInfo), hwnd, {LONG(SHORT(LOWORD(lParam))), LONG(SHORT(HIWORD(lParam)))}, 0};
            if (recognize(&info)) return 0;
        }
    }
    LRESULT result = 0;
    if (m_core) result = m_core->OnWidgetMessage(hwnd, WM_LBUTTONDOWN, wParam, lParam, nullptr);
    SetFocus(hwnd);
    return result;
}

void COVC::OnPaint(HWND hwnd) {
    FlushStatus();  // this paint shows the status as it is now
    m_wholeInvalid = false;
    // A packet turns the status from "Wait" to "" and back: when only status
    // changes asked for this paint and the status is the one shown, the
    // window would show what it shows.
    const uint64_t asks = plat::window::GetRepaintAsks(hwnd);
    if (m_statusShown && asks == m_statusOnlyAsks && std::memcmp(m_statusText, m_shownStatus, sizeof m_statusText) == 0) {
        ValidateRect(hwnd, nullptr);
        return;
    }
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    m_statusShown = dc && m_core;
    if (m_statusShown) m_core->Paint(dc, m_statusText);
    EndPaint(hwnd, &ps);
    std::memcpy(m_shownStatus, m_statusText, sizeof m_shownStatus);
    m_statusOnlyAsks = asks;
}

LRESULT COVC::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // From its first message on, the window calls this object directly: a
    // procedure that captures it, so no look-up runs per message.
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<COVC*>(reinterpret_cast<const CREATESTRUCT*>(lParam)->lpCreateParams);
        if (self)
            plat::window::SetWindowProcedure(hwnd, [self](HWND h, UINT m, WPARAM w, LPARAM l) {
                // What the core sends with every packet, inside an input
                // (which holds the object): the status is only noted, the
                // reply goes to the sinks.
                if (self->m_inputDepth > 0) {
                    if (m == WM_CORE_BUSY_STATUS) {
                        self->OnStatus(reinterpret_cast<const char16_t*>(w), l);
                        return LRESULT(0);
                    }
                    if (m == WM_CORE_SEND_SEGMENT) {
                        try {
                            self->Fire_OVCDataOutEvent(int(w), reinterpret_cast<const void*>(l));
                        } catch (...) {
                            LogPrintf(LOG_ERROR, "COVC: message %u failed", m);
                        }
                        return LRESULT(0);
                    }
                }
                return self->Guarded(h, m, w, l);
            });
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT COVC::Guarded(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Nothing the core throws leaves the window procedure.
    CallScope scope(*this);
    try {
        return OnMessage(hwnd, msg, wParam, lParam);
    } catch (...) {
        LogPrintf(LOG_ERROR, "COVC: message %u failed", msg);
        return 0;
    }
}

LRESULT COVC::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // What the core sends with every packet comes first.
    if (msg == WM_CORE_SEND_SEGMENT) {
        Fire_OVCDataOutEvent(int(wParam), reinterpret_cast<const void*>(lParam));
        return 0;
    }
    if (msg == WM_CORE_BUSY_STATUS) {
        OnStatus(reinterpret_cast<const char16_t*>(wParam), lParam);
        return 0;
    }
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd, reinterpret_cast<const CREATESTRUCT*>(lParam));
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_CORE_SESSION_ENDED:
        Fire_OVCDisconnect(int(lParam));
        return 0;
    case WM_CORE_MESSAGE_BOX:
        OnMessageBox(UINT(wParam), reinterpret_cast<const char16_t*>(lParam));
        return 0;
    case WM_CHAR:
        if (m_core) m_core->OnChar(char16_t(wParam), int32_t(lParam & 0xFFFF), 0);
        return 0;
    case WM_KEYDOWN:
        if (CScannerExtension* scanner = GetModuleScanner(); scanner && scanner->IsScanKey(DWORD(wParam)) == 1) {
            scanner->ScanKeyPressed();
            return 0;
        }
        if (m_core) {
            const int32_t hideMenuKey = m_core->Settings().Properties().hideMenuKey;
            if (hideMenuKey != 0 && uint32_t(hideMenuKey) == uint32_t(wParam)) Fire_OVCToggleHideMenu();
            if (m_core) m_core->OnKeyDown(uint32_t(wParam), uint32_t(lParam & 0xFFFF));
        }
        break;
    case WM_KEYUP:
        if (CScannerExtension* scanner = GetModuleScanner(); scanner && scanner->IsScanKey(DWORD(wParam)) == 1) {
            scanner->ScanKeyReleased();
            return 0;
        }
        break;
    case WM_SYSKEYDOWN:
        if (m_core) m_core->OnKeyDown(uint32_t(wParam), uint32_t(lParam & 0xFFFF));
        break;
    case WM_LBUTTONDOWN: return OnTap(hwnd, wParam, lParam);
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU:
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        if (!m_core) return 0;
        bool handled = false;
        const LRESULT result = m_core->OnWidgetMessage(hwnd, msg, wParam, lParam, &handled);
        if (handled) return result;
        break;
    }
    case WM_EXT_MSR_DATA: return OnDeviceDataMessage(hwnd, wParam, lParam, false);
    case WM_EXT_RFID_DATA: return OnDeviceDataMessage(hwnd, wParam, lParam, true);
    case WM_WIDGET_INPUT_DEVICES:
        SetInputDevices(wParam != 0);
        return 0;
    case WM_WINDOWPOSCHANGED:
        if (CExtentions* ext = GetModuleExtentions()) ext->NotifyMove();
        break;
    case WM_MOUSEMOVE:
        if (m_busy) ::SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_SIZE:
        if (CExtentions* ext = GetModuleExtentions()) ext->NotifyMove();
        if (m_core) m_core->Resize(LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_SETFOCUS:
        if (m_core) m_core->CaretOn();
        break;
    case WM_KILLFOCUS:
        if (m_core) m_core->CaretOff();
        break;
    case WM_CORE_END_OF_INPUT:
        // Only with a scanner; the other readers stay as they are without one.
        if (GetModuleScanner()) SetInputDevices(false);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_ACTIVATE: return 0;
    default:
        if (msg >= WM_EXT_SCAN && msg < WM_EXT_SCAN + 50) {
            OnScannerMessage(hwnd, msg, wParam, lParam);
            return 0;
        }
        break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// The input panel window and the input method it hosts. See InputPanel.h.
#include "platform/InputPanel.h"

#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Registry.h"
#include "platform/Window.h"

namespace {

constexpr char16_t kPanelClass[] = u"OrvadeInputPanel";
// Posted to the panel by other threads: wParam SIPF_ON or SIPF_OFF.
constexpr UINT kShowRequest = WM_USER + 1;

// Types what the method asks for into the focused window, through the
// layer's keyboard input.
class CPanelCallback final : public IIMCallback {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IIMCallback::kIID) return E_NOINTERFACE;
        *object = static_cast<IIMCallback*>(this);
        return S_OK;
    }
    // One object for the process, never freed: a method may keep it as long as it likes.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT SetImInfo(IMINFO* info) override { return info ? S_OK : E_POINTER; }
    HRESULT SendVirtualKey(BYTE virtualKey, DWORD flags) override {
        keybd_event(virtualKey, 0, flags & (KEYEVENTF_KEYUP | KEYEVENTF_SILENT | KEYEVENTF_EXTENDEDKEY), 0);
        return S_OK;
    }
    HRESULT SendString(const OLECHAR* text, DWORD count) override {
        if (!text && count) return E_POINTER;
        for (DWORD i = 0; i < count; ++i) {
            plat::input::InjectKey(0, true, 1, std::u16string_view(text + i, 1));
            plat::input::InjectKey(0, false, LPARAM(1) | (LPARAM(3) << 30), {});
        }
        return S_OK;
    }
};

CPanelCallback g_callback;

struct Panel {
    std::mutex mutex;
    HWND window = 0;
    std::thread::id owner;  // the panel's thread
    IInputMethod* method = nullptr;  // one reference held
    CLSID clsid{};
};

Panel& thePanel() {
    static Panel* p = new Panel;  // other threads may still ask while the process exits
    return *p;
}

bool onPanelThread(HWND window) {
    Panel& p = thePanel();
    std::lock_guard lock(p.mutex);
    return window && window == p.window && p.owner == std::this_thread::get_id();
}

SIPINFO sipInfo() {
    SIPINFO info{};
    info.cbSize = sizeof(info);
    SipGetInfo(&info);
    return info;
}

void setSipOn(bool on) {
    SIPINFO info = sipInfo();
    info.fdwFlags = on ? (info.fdwFlags | SIPF_ON) : (info.fdwFlags & ~SIPF_ON);
    SipSetInfo(&info);
}

// The method held, AddRef'd; null when none.
IInputMethod* currentMethod() {
    Panel& p = thePanel();
    std::lock_guard lock(p.mutex);
    if (p.method) p.method->AddRef();
    return p.method;
}

void showOnPanelThread(HWND window, DWORD flags) {
    IInputMethod* method = currentMethod();
    const bool on = flags & SIPF_ON;
    if (method) {
        if (on) {
            method->Showing();
        } else {
            method->Hiding();
        }
        method->Release();
    }
    ShowWindow(window, on ? SW_SHOWNOACTIVATE : SW_HIDE);
    setSipOn(on);
}

LRESULT PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kShowRequest:
            showOnPanelThread(hwnd, DWORD(wParam));
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

// The panel window, made on this thread when there is none.
HWND ensurePanel() {
    Panel& p = thePanel();
    {
        std::lock_guard lock(p.mutex);
        if (p.window && IsWindow(p.window)) return p.window;
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = PanelProc;
    wc.lpszClassName = kPanelClass;
    wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    RegisterClass(&wc);  // registered already on a later panel
    const RECT r = sipInfo().rcSipRect;
    const HWND window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kPanelClass, u"", WS_POPUP, r.left, r.top,
                                       r.right - r.left, r.bottom - r.top, 0, 0, nullptr, nullptr);
    if (!window) return 0;
    std::lock_guard lock(p.mutex);
    p.window = window;
    p.owner = std::this_thread::get_id();
    return window;
}

// Deselects and releases the method held.
void dropMethod() {
    IInputMethod* old;
    {
        Panel& p = thePanel();
        std::lock_guard lock(p.mutex);
        old = p.method;
        p.method = nullptr;
        p.clsid = CLSID{};
    }
    if (!old) return;
    old->Deselect();
    old->Release();
}

struct EnumFirst {
    static inline CLSID found{};
    static int Take(IMENUMINFO* info) {
        found = info->clsid;
        return 0;
    }
};

}  // namespace

BOOL SipSetCurrentIM(const CLSID* clsid) {
    if (!clsid) return FALSE;
    const HWND window = ensurePanel();
    if (!window) return FALSE;
    if (!onPanelThread(window)) return FALSE;  // methods live on the panel's thread
    IInputMethod* method = nullptr;
    if (FAILED(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod,
                                reinterpret_cast<void**>(&method))) ||
        !method)
        return FALSE;
    dropMethod();
    if (FAILED(method->Select(window))) {
        method->Deselect();
        method->Release();
        return FALSE;
    }
    IMINFO info{};
    info.cbSize = sizeof(info);
    method->GetInfo(&info);
    method->RegisterCallback(&g_callback);
    SIPINFO sip = sipInfo();
    method->ReceiveSipInfo(&sip);
    {
        Panel& p = thePanel();
        std::lock_guard lock(p.mutex);
        p.method = method;
        p.clsid = *clsid;
    }
    if (IsWindowVisible(window)) method->Showing();
    return TRUE;
}

BOOL SipGetCurrentIM(CLSID* clsid) {
    if (!clsid) return FALSE;
    Panel& p = thePanel();
    std::lock_guard lock(p.mutex);
    if (!p.method) return FALSE;
    *clsid = p.clsid;
    return TRUE;
}

BOOL SipShowIM(DWORD flags) {
    HWND window;
    bool selected;
    {
        Panel& p = thePanel();
        std::lock_guard lock(p.mutex);
        window = p.window && IsWindow(p.window) ? p.window : 0;
        selected = p.method != nullptr;
    }
    if (window && !onPanelThread(window)) return PostMessage(window, kShowRequest, flags & SIPF_ON, 0);
    if (!window && !(flags & SIPF_ON)) {
        setSipOn(false);  // nothing to hide
        return TRUE;
    }
    if (!selected && (flags & SIPF_ON)) {
        EnumFirst::found = CLSID{};
        if (SipEnumIM(&EnumFirst::Take) == 0 || !SipSetCurrentIM(&EnumFirst::found)) return FALSE;
    }
    if (!window) window = ensurePanel();
    if (!window) return FALSE;
    showOnPanelThread(window, flags & SIPF_ON);
    return TRUE;
}

int SipEnumIM(IMENUMPROC proc) {
    if (!proc) return 0;
    HKEY classes = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &classes) != ERROR_SUCCESS) return 0;
    std::vector<IMENUMINFO> methods;
    for (DWORD i = 0;; ++i) {
        char16_t name[260];
        DWORD length = 260;
        if (RegEnumKeyEx(classes, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::u16string key(name, length);
        std::u16string flag, title;
        IMENUMINFO info{};
        if (!plat::registry::GetString(classes, (key + u"\\IsSIPInputMethod").c_str(), nullptr, &flag) || flag != u"1" ||
            !plat::com::GuidFromString(key, &info.clsid))
            continue;
        plat::registry::GetString(classes, key.c_str(), nullptr, &title);
        title.resize(std::min<size_t>(title.size(), 259));
        std::copy(title.begin(), title.end(), info.szName);
        methods.push_back(info);
    }
    RegCloseKey(classes);
    int passed = 0;
    for (IMENUMINFO& info : methods) {
        ++passed;
        if (proc(&info) == 0) break;
    }
    return passed;
}

HWND plat::sip::PanelWindow() {
    Panel& p = thePanel();
    std::lock_guard lock(p.mutex);
    return p.window;
}

void plat::sip::ClosePanel() {
    HWND window = PanelWindow();
    if (window && !onPanelThread(window)) return;
    dropMethod();
    {
        Panel& p = thePanel();
        std::lock_guard lock(p.mutex);
        p.window = 0;
    }
    if (window) DestroyWindow(window);
    setSipOn(false);
}

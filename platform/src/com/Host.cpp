// The control-hosting window class: creates the object its text names and
// keeps the object's window over its client area.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Com.h"
#include "platform/Window.h"

namespace {

// Holds the object's reference; shared so a reader on another thread keeps
// the object alive while it takes a reference of its own, outside the lock.
struct Holder {
    explicit Holder(IUnknown* c) : control(c) {}
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    ~Holder() { control->Release(); }
    IUnknown* control;
};

struct Hosted {
    std::shared_ptr<Holder> holder;
    IHostedControl* hosted = nullptr;  // null for an object without a window
    HWND window = 0;
};

struct Hosts {
    std::mutex mutex;
    std::map<HWND, Hosted> byWindow;
};

Hosts& AllHosts() {
    static Hosts hosts;
    return hosts;
}

bool Find(HWND host, Hosted* out) {
    Hosts& hosts = AllHosts();
    std::lock_guard lock(hosts.mutex);
    auto it = hosts.byWindow.find(host);
    if (it == hosts.byWindow.end()) return false;
    *out = it->second;
    return true;
}

LRESULT OnCreate(HWND host, const CREATESTRUCT* cs) {
    const std::u16string name = cs && cs->lpszName ? cs->lpszName : u"";
    IUnknown* control = nullptr;
    if (name.empty() || FAILED(plat::com::CreateByName(name, IID_IUnknown, reinterpret_cast<void**>(&control))) ||
        !control)
        return -1;
    Hosted entry;
    try {
        entry.holder = std::make_shared<Holder>(control);
    } catch (...) {
        control->Release();
        return -1;
    }
    if (SUCCEEDED(control->QueryInterface(IHostedControl::kIID, reinterpret_cast<void**>(&entry.hosted))) &&
        entry.hosted) {
        RECT rect{};
        GetClientRect(host, &rect);
        if (FAILED(entry.hosted->CreateControlWindow(host, &rect, &entry.window))) {
            entry.hosted->Release();
            return -1;
        }
    }
    Hosts& hosts = AllHosts();
    std::lock_guard lock(hosts.mutex);
    hosts.byWindow[host] = entry;
    return 0;
}

void OnDestroy(HWND host) {
    Hosted entry;
    {
        Hosts& hosts = AllHosts();
        std::lock_guard lock(hosts.mutex);
        auto it = hosts.byWindow.find(host);
        if (it == hosts.byWindow.end()) return;
        entry = it->second;
        hosts.byWindow.erase(it);
    }
    if (entry.hosted) {
        entry.hosted->DestroyControlWindow();
        entry.hosted->Release();
    }
    entry.holder.reset();
}

LRESULT HostProc(HWND host, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: return OnCreate(host, reinterpret_cast<const CREATESTRUCT*>(lParam));
    case WM_SIZE: {
        Hosted entry;
        if (Find(host, &entry) && entry.window) MoveWindow(entry.window, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        break;
    }
    case WM_SETFOCUS: {
        Hosted entry;
        if (Find(host, &entry) && entry.window) SetFocus(entry.window);
        return 0;
    }
    // After the children: the control's window has gone with them.
    case WM_NCDESTROY: OnDestroy(host); break;
    default: break;
    }
    return DefWindowProc(host, msg, wParam, lParam);
}

}  // namespace

namespace plat::com {

BOOL RegisterHostWindowClass() {
    WNDCLASS wc{};
    wc.lpfnWndProc = HostProc;
    wc.lpszClassName = kHostWindowClass;
    if (RegisterClass(&wc)) return TRUE;
    // Registered already (by this or another library of the process).
    WNDCLASS existing{};
    return GetClassInfo(nullptr, kHostWindowClass, &existing) ? TRUE : FALSE;
}

BOOL UnregisterHostWindowClass() { return UnregisterClass(kHostWindowClass, nullptr); }

HRESULT GetHostedControl(HWND host, IUnknown** control) {
    if (!control) return E_POINTER;
    *control = nullptr;
    std::shared_ptr<Holder> holder;
    {
        Hosts& hosts = AllHosts();
        std::lock_guard lock(hosts.mutex);
        auto it = hosts.byWindow.find(host);
        if (it == hosts.byWindow.end()) return E_FAIL;
        holder = it->second.holder;
    }
    holder->control->AddRef();
    *control = holder->control;
    return S_OK;
}

}  // namespace plat::com

// The screen, the work area, system metrics, the desktop window, window
// properties and window owners. See Screen.h.
#include "platform/Screen.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "WindowModel.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"

using namespace plat::detail;

namespace {

constexpr SIZE kHandheld{240, 320};
constexpr LONG kMinSide = 64, kMaxSide = 4096;

constexpr LONG kPanelHeight = 80;

struct Screen {
    std::mutex mutex;
    bool loaded = false;
    SIZE size = kHandheld;
    RECT work{0, 0, kHandheld.cx, kHandheld.cy};
    DWORD sipFlags = SIPF_DOCKED;
    RECT sipRect{0, kHandheld.cy - kPanelHeight, kHandheld.cx, kHandheld.cy};
};

RECT panelFor(SIZE size) { return RECT{0, std::max<LONG>(size.cy - kPanelHeight, 0), size.cx, size.cy}; }

Screen& theScreen() {
    static Screen* s = new Screen;  // threads may still ask while the process exits
    return *s;
}

// The setting, read from the device root's registry when the root exists
// (a program that never made one gets the handheld default and no files).
SIZE readSetting() {
    struct stat st {};
    const std::string root = plat::fs::DeviceRoot();
    if (root.empty() || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kHandheld;
    DWORD w = 0, h = 0;
    const auto valid = [](DWORD v) { return v >= DWORD(kMinSide) && v <= DWORD(kMaxSide); };
    if (!plat::registry::GetDword(HKEY_LOCAL_MACHINE, u"Software\\Orvade\\Screen", u"Width", &w) || !valid(w))
        return kHandheld;
    if (!plat::registry::GetDword(HKEY_LOCAL_MACHINE, u"Software\\Orvade\\Screen", u"Height", &h) || !valid(h))
        return kHandheld;
    return SIZE{LONG(w), LONG(h)};
}

Screen& loaded() {
    Screen& s = theScreen();
    {
        std::lock_guard lock(s.mutex);
        if (s.loaded) return s;
    }
    const SIZE size = readSetting();  // outside the lock: the registry may take a while
    std::lock_guard lock(s.mutex);
    if (!s.loaded) {
        s.loaded = true;
        s.size = size;
        s.work = RECT{0, 0, size.cx, size.cy};
        s.sipRect = panelFor(size);
    }
    return s;
}

RECT workArea() {
    Screen& s = loaded();
    std::lock_guard lock(s.mutex);
    return s.work;
}

void broadcastSettingChange(UINT action) {
    std::vector<HWND> tops;
    {
        std::lock_guard lock(state().mutex);
        tops = state().topLevels;
    }
    for (HWND h : tops) PostMessage(h, WM_SETTINGCHANGE, action, 0);
}

}  // namespace

SIZE plat::screen::ScreenSize() {
    Screen& s = loaded();
    std::lock_guard lock(s.mutex);
    return s.size;
}

void plat::screen::ReloadScreenSize() {
    const SIZE size = readSetting();
    Screen& s = theScreen();
    std::lock_guard lock(s.mutex);
    s.loaded = true;
    s.size = size;
    s.work = RECT{0, 0, size.cx, size.cy};
    s.sipRect = panelFor(size);
}

BOOL SipGetInfo(SIPINFO* info) {
    if (!info || info->cbSize != sizeof(SIPINFO)) return FALSE;
    Screen& s = loaded();
    std::lock_guard lock(s.mutex);
    info->fdwFlags = s.sipFlags;
    info->rcSipRect = s.sipRect;
    info->rcVisibleDesktop = s.work;
    // A docked panel that is shown covers the bottom of the work area.
    if ((s.sipFlags & SIPF_ON) && (s.sipFlags & SIPF_DOCKED))
        info->rcVisibleDesktop.bottom = std::max(s.work.top, std::min(s.work.bottom, s.sipRect.top));
    info->dwImDataSize = 0;
    info->pvImData = nullptr;
    return TRUE;
}

BOOL SipSetInfo(const SIPINFO* info) {
    if (!info || info->cbSize != sizeof(SIPINFO)) return FALSE;
    Screen& s = loaded();
    bool changed;
    {
        std::lock_guard lock(s.mutex);
        const DWORD flags = info->fdwFlags & (SIPF_ON | SIPF_DOCKED | SIPF_LOCKED);
        const RECT& r = info->rcSipRect;
        const bool moved = r.right > r.left && r.bottom > r.top &&
                           (r.left != s.sipRect.left || r.top != s.sipRect.top || r.right != s.sipRect.right ||
                            r.bottom != s.sipRect.bottom);
        changed = flags != s.sipFlags || moved;
        s.sipFlags = flags;
        if (moved) s.sipRect = r;
    }
    if (changed) broadcastSettingChange(SPI_SETSIPINFO);
    return TRUE;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN: return plat::screen::ScreenSize().cx;
    case SM_CYSCREEN: return plat::screen::ScreenSize().cy;
    case SM_CXFULLSCREEN: {
        const RECT r = workArea();
        return r.right - r.left;
    }
    case SM_CYFULLSCREEN: {
        const RECT r = workArea();
        return r.bottom - r.top;
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 13;
    case SM_CYCAPTION:
    case SM_CYMENU: return 24;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT, void* pv, UINT) {
    if (action == SPI_GETWORKAREA) {
        if (!pv) return FALSE;
        *static_cast<RECT*>(pv) = workArea();
        return TRUE;
    }
    if (action == SPI_SETWORKAREA) {
        Screen& s = loaded();
        {
            std::lock_guard lock(s.mutex);
            RECT r{0, 0, s.size.cx, s.size.cy};
            if (pv) {
                const RECT& want = *static_cast<const RECT*>(pv);
                if (want.right <= want.left || want.bottom <= want.top) return FALSE;
                r = want;
            }
            s.work = r;
        }
        broadcastSettingChange(SPI_SETWORKAREA);
        return TRUE;
    }
    return FALSE;
}

int GetDeviceCaps(HDC, int index) {
    switch (index) {
    case HORZRES: return plat::screen::ScreenSize().cx;
    case VERTRES: return plat::screen::ScreenSize().cy;
    case BITSPIXEL: return 16;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
    }
}

HWND GetDesktopWindow() { return kDesktopHandle; }

BOOL SetProp(HWND hwnd, const char16_t* name, HANDLE data) {
    if (!name || !*name) return FALSE;
    const std::u16string key = fold(name);
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    for (auto& [n, d] : w->props)
        if (n == key) {
            d = data;
            return TRUE;
        }
    w->props.emplace_back(key, data);
    return TRUE;
}

HANDLE GetProp(HWND hwnd, const char16_t* name) {
    if (!name) return nullptr;
    const std::u16string key = fold(name);
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return nullptr;
    for (const auto& [n, d] : w->props)
        if (n == key) return d;
    return nullptr;
}

HANDLE RemoveProp(HWND hwnd, const char16_t* name) {
    if (!name) return nullptr;
    const std::u16string key = fold(name);
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w) return nullptr;
    for (auto it = w->props.begin(); it != w->props.end(); ++it)
        if (it->first == key) {
            HANDLE d = it->second;
            w->props.erase(it);
            return d;
        }
    return nullptr;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    {
        std::lock_guard lock(state().mutex);
        if (const Window* w = findWindow(hwnd)) {
            if (processId) *processId = DWORD(::getpid());
            return w->owner->threadId;
        }
    }
    LRESULT owner = 0;  // another program's window: its process and thread
    if (!remoteCall(RemoteOp::kOwner, hwnd, 0, 0, 0, &owner)) owner = 0;
    if (processId) *processId = DWORD(uint64_t(owner) >> 32);
    return DWORD(uint64_t(owner) & 0xFFFFFFFFu);
}

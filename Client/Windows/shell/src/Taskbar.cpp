#include "shell/Taskbar.h"

#include <string>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/ShellUtil.h"

namespace {

HWND FindTaskbarWindow(bool appCenterFirst) {
    const char16_t* order[2] = {u"AppCenterTaskBar", u"HHTaskBar"};
    if (!appCenterFirst) std::swap(order[0], order[1]);
    for (const char16_t* name : order)
        if (HWND window = FindWindow(name, nullptr)) return window;
    return 0;
}

using GXFn = int (*)();

struct HardwareKeys {
    HMODULE library = nullptr;
    GXFn open = nullptr;
    GXFn close = nullptr;
    bool movedAside = false;
} g_keys;

// The entry points go by their decorated names; an ELF library cannot carry
// "@@" in an export name, so the stand-in's plain names are the fallback.
GXFn FindGX(HMODULE library, const char* decorated, const char* plain) {
    if (GXFn fn = GetProc<GXFn>(library, decorated)) return fn;
    return GetProc<GXFn>(library, plain);
}

}  // namespace

CTaskbar::CTaskbar() {
    m_library = LoadLibrary(u"\\Windows\\OVTBApi.dll");
    if (!m_library) return;
    m_api.Bind(m_library);
}

CTaskbar::~CTaskbar() {
    if (!m_library) return;
    if (m_window && m_api.OVUnregisterWindow) m_api.OVUnregisterWindow(m_window);
    FreeLibrary(m_library);
    m_library = nullptr;
    m_api = {};
}

int CTaskbar::RegisterWindow(HWND window) {
    if (!window) return 0;
    if (window == m_window) return 1;
    if (m_window && m_api.OVUnregisterWindow) m_api.OVUnregisterWindow(m_window);
    m_window = 0;
    if (!m_api.OVRegisterWindow || !m_api.OVUnregisterWindow || !m_api.OVGetTaskbarSettings ||
        !m_api.OVSetTaskbarSettings)
        return 0;
    if (!m_api.OVRegisterWindow(window)) return 0;
    m_window = window;
    return 1;
}

int CTaskbar::HasTaskbarApi() {
    return m_window && m_api.OVGetTaskbarSettings && m_api.OVSetTaskbarSettings ? 1 : 0;
}

int CTaskbar::ShowTaskbar(uint32_t state) {
    if (m_window && m_api.OVGetTaskbarSettings && m_api.OVSetTaskbarSettings) {
        OVTaskbarSettings settings;
        settings.state = state;
        settings.flags = 1;
        m_api.OVSetTaskbarSettings(m_window, &settings);
        return 1;
    }
    if (HWND window = FindTaskbarWindow(true)) ShowWindow(window, state == kTaskbarHidden ? SW_HIDE : SW_SHOW);
    return 1;
}

bool CTaskbar::AskState(uint32_t* state) {
    if (!m_window || !m_api.OVGetTaskbarSettings) return false;
    OVTaskbarSettings settings;
    if (!m_api.OVGetTaskbarSettings(m_window, &settings)) return false;
    *state = settings.state;
    return true;
}

int CTaskbar::IsTaskbarVisible() {
    uint32_t state = 0;
    if (AskState(&state)) return state != kTaskbarHidden ? 1 : 0;
    for (const char16_t* name : {u"HHTaskBar", u"AppCenterTaskBar"}) {
        HWND window = FindWindow(name, nullptr);
        if (window && IsWindowVisible(window)) return 1;
    }
    return 0;
}

int CTaskbar::IsStateOne() {
    uint32_t state = 0;
    return AskState(&state) && state == 1 ? 1 : 0;
}

int CTaskbar::IsStateNotZero() {
    uint32_t state = 0;
    return AskState(&state) && state != 0 ? 1 : 0;
}

int CTaskbar::NotifyIcon(DWORD message, void* data, BOOL allowSystem) {
    if (!IsTaskbarVisible()) return 0;
    if (m_api.OVNotifyIcon) return m_api.OVNotifyIcon(message, data, allowSystem);
    if (IsStateOne() || !allowSystem) return 0;
    // The platform has no notification area of its own.
    return 0;
}

int CTaskbar::GetTaskbarRect(RECT* rect) {
    HWND window = FindTaskbarWindow(true);
    if (!window || !rect) return 0;
    return GetWindowRect(window, rect) ? 1 : 0;
}

int OpenHardwareKeys() {
    g_keys.movedAside = false;
    if (!g_keys.library) g_keys.library = LoadLibrary(u"GX.DLL");
    if (g_keys.library) {
        g_keys.open = FindGX(g_keys.library, "?GXOpenInput@@YAHXZ", "GXOpenInput");
        g_keys.close = FindGX(g_keys.library, "?GXCloseInput@@YAHXZ", "GXCloseInput");
        if (g_keys.open && g_keys.open()) return 0;
    }
    g_keys.open = g_keys.close = nullptr;
    if (g_keys.library) FreeLibrary(g_keys.library);
    g_keys.library = nullptr;
    return -1;
}

void BackupHardwareKeys(int moveAside) {
    if (!g_keys.library || (moveAside && g_keys.movedAside)) return;
    HKEY keys;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Shell\\Keys", 0, KEY_READ, &keys) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char16_t name[1001];
            DWORD length = 1001;
            if (RegEnumKeyEx(keys, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            std::u16string keyName;
            if (!plat::registry::GetString(keys, name, u"name", &keyName) || keyName.size() * 2 > 2000) continue;
            bool function = false;
            for (int f = 1; f <= 12 && !function; ++f)
                function = keyName == u"F" + plat::text::Utf8ToWide(std::to_string(f));
            if (!function) continue;
            const char16_t* from = moveAside ? u"" : u"tnbackup";
            const char16_t* to = moveAside ? u"tnbackup" : u"";
            std::u16string value;
            if (!plat::registry::GetString(keys, name, from, &value) || value.empty()) continue;
            if (!plat::registry::SetString(keys, name, to, value)) continue;
            HKEY sub;
            if (RegOpenKeyEx(keys, name, 0, KEY_ALL_ACCESS, &sub) == ERROR_SUCCESS) {
                RegDeleteValue(sub, from);
                RegCloseKey(sub);
            }
        }
        RegCloseKey(keys);
    }
    g_keys.movedAside = moveAside != 0;
}

void CloseHardwareKeys() {
    BackupHardwareKeys(0);
    if (g_keys.close) g_keys.close();
    g_keys.open = g_keys.close = nullptr;
    if (g_keys.library) FreeLibrary(g_keys.library);
    g_keys.library = nullptr;
    g_keys.movedAside = false;
}

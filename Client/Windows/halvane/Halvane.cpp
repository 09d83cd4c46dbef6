// Halvane: the device's own hardware for the client core - backlight and
// contrast through the vendor's display library, the beeper through its
// audio library, the keyboard's alpha mode and key state through its
// keyboard driver - and a dump of the client's registry key as REGEDIT4
// text. Everything runs on the caller's thread.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/DeviceFs.h"
#include "platform/Dialog.h"
#include "platform/Gdi.h"
#include "platform/Resources.h"
#include "platform/Screen.h"
#include "platform/Input.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/Window.h"
#include "platform/exports/AboutPage.h"
#include "platform/exports/DeviceExports.h"
#include "platform/vendor/TvDeviceExports.h"

namespace {

constexpr char16_t kTermelleKey[] = u"Software\\Quillmar\\Termelle v1.0";
constexpr char16_t kDumpName[] = u"Termelle.reg";
constexpr uint32_t kOemCodePage = 437;

struct Display {
    ORVADE_EXPORT_TABLE(ORVADE_TVDISP_EXPORTS)
};
struct Audio {
    ORVADE_EXPORT_TABLE(ORVADE_TVAUDIO_EXPORTS)
};
struct Keyboard {
    SetAlphaMode_fn SetAlphaMode = nullptr;
    SetKeyState_fn SetKeyState = nullptr;
};

// A vendor library, loaded with the first call that needs it and kept.
template <typename Table>
const Table& Vendor(const char16_t* name) {
    static Table table;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        if (HMODULE module = LoadLibrary(name)) table.Bind(module);
    }
    return table;
}
const Display& Disp() { return Vendor<Display>(u"TVDISP32.dll"); }
const Audio& Sound() { return Vendor<Audio>(u"TVAUDIO32.dll"); }

// The keyboard driver: loaded once and kept, however often the probe runs.
Keyboard g_keyboard;
HMODULE g_keyboardModule = nullptr;

void LoadKeyboard() {
    if (g_keyboardModule) return;
    g_keyboardModule = LoadLibrary(u"tvkeybd.dll");
    if (!g_keyboardModule) return;
    g_keyboard.SetAlphaMode = GetProc<SetAlphaMode_fn>(g_keyboardModule, "SetAlphaMode");
    g_keyboard.SetKeyState = GetProc<SetKeyState_fn>(g_keyboardModule, "SetKeyState");
}

__attribute__((destructor)) void FreeKeyboard() {
    if (g_keyboardModule) FreeLibrary(g_keyboardModule);
}

template <typename Get>
int Level(Get get) {
    int value = 0;
    return get && get(&value) == 0 ? value : -1;
}
template <typename Get>
int Levels(Get get, int second) {
    int value = 0;
    return get && get(&value, second) == 0 ? value : -1;
}
template <typename Set>
int SetStatus(Set set, int value) {
    return set ? static_cast<int>(set(value)) : static_cast<int>(TVDISP_E_FAIL);
}

// ---- The registry dump

// A value read whole, whatever its length.
bool ReadValue(HKEY key, DWORD index, std::u16string& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD nameLength = 0, dataSize = 0;
    if (RegQueryInfoKey(key, nullptr, nullptr, nullptr, &nameLength, &dataSize) != ERROR_SUCCESS) return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<char16_t> nameBuffer(nameLength + 1);
        data.assign(dataSize + 2, 0);
        DWORD nameChars = static_cast<DWORD>(nameBuffer.size());
        DWORD size = static_cast<DWORD>(data.size());
        const LONG result = RegEnumValue(key, index, nameBuffer.data(), &nameChars, nullptr, &type, data.data(), &size);
        if (result == ERROR_SUCCESS) {
            name.assign(nameBuffer.data(), nameChars);
            data.resize(size);
            return true;
        }
        if (result != ERROR_MORE_DATA) return false;
        // Changed meanwhile: ask again for the sizes.
        if (RegQueryInfoKey(key, nullptr, nullptr, nullptr, &nameLength, &dataSize) != ERROR_SUCCESS) return false;
        dataSize = std::max(dataSize, size);
    }
    return false;
}

class CRegistryDump {
public:
    void Text(std::u16string_view text) { m_bytes += plat::text::WideToBytes(kOemCodePage, text); }
    const std::string& Bytes() const { return m_bytes; }

    void Header(const std::u16string& path) {
        Text(u"\r\n[HKEY_LOCAL_MACHINE\\");
        Text(kTermelleKey);
        if (!path.empty()) Text(u"\\" + path);
        Text(u"]\r\n");
    }

    void Values(HKEY key) {
        std::u16string name;
        DWORD type = 0;
        std::vector<BYTE> data;
        for (DWORD i = 0; ReadValue(key, i, name, type, data); ++i) {
            Text(u"\"" + name + u"\"=");
            if (type == REG_SZ) {
                std::u16string text(data.size() / 2, u'\0');
                std::memcpy(text.data(), data.data(), text.size() * 2);
                text.resize(std::char_traits<char16_t>::length(text.c_str()));
                Text(u"\"" + text + u"\"");
            } else if (type == REG_DWORD && data.size() >= 4) {
                DWORD value;
                std::memcpy(&value, data.data(), 4);
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", value);
                Text(plat::text::Utf8ToWide(hex));
            }
            Text(u"\r\n");
        }
    }

    // A subkey (path below the client's key) with everything below it.
    void Subkey(HKEY parent, const std::u16string& name, const std::u16string& path) {
        HKEY key;
        if (RegOpenKeyEx(parent, name.c_str(), 0, 0, &key) != ERROR_SUCCESS) return;
        Header(path);
        if (HasValues(key)) Values(key);
        for (const std::u16string& child : Subkeys(key)) Subkey(key, child, path + u"\\" + child);
        RegCloseKey(key);
    }

    static bool HasValues(HKEY key) {
        DWORD values = 0;
        return RegQueryInfoKey(key, nullptr, nullptr, &values, nullptr, nullptr) == ERROR_SUCCESS && values > 0;
    }

    static std::vector<std::u16string> Subkeys(HKEY key) {
        std::vector<std::u16string> names;
        for (DWORD i = 0;; ++i) {
            char16_t name[256];
            DWORD length = 256;
            if (RegEnumKeyEx(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    std::string m_bytes;
};

// "RegFilePath" of the client's key, then the file's name; a device path.
std::u16string DumpPath() {
    std::u16string folder;
    HKEY key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kTermelleKey, 0, 0, &key) == ERROR_SUCCESS) {
        BYTE data[520];
        DWORD size = sizeof data, type = 0;
        if (RegQueryValueEx(key, u"RegFilePath", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_SZ) {
            folder.assign(reinterpret_cast<const char16_t*>(data), size / 2);
            folder.resize(std::char_traits<char16_t>::length(folder.c_str()));
        }
        RegCloseKey(key);
    }
    // A name without a folder lies in the root, as on the device.
    if (folder.empty() || folder.back() != u'\\') folder += u'\\';
    return folder + kDumpName;
}

// ---- The about page

constexpr WORD kAboutText = 1000;

constexpr plat::res::String kStrings[] = {
    {1, u"NONE"},     {2, u"ALKALINE"},          {3, u"NICAD"},          {4, u"NIMH"},
    {5, u"LIION"},    {6, u"Unknown"},           {7, u"Power Information"}, {8, u"MDD Ver."},
    {9, u"C Ver."},   {10, u"Display Information"}, {11, u"Backlight"},   {12, u"Contrast"},
    {13, u"Battery Type"}, {14, u"Battery Level"}, {15, u"Power Source"}, {16, u"NONE"},
    {17, u"EXTERNAL"}, {18, u"GOOD"},            {19, u"LOW"},           {20, u"VERY LOW"},
    {21, u"Unknown"},
};
constexpr DWORD kPageStyle = WS_CHILD | WS_CAPTION;
constexpr plat::res::DialogItem kAboutItems[] = {
    {u"EDIT", kAboutText, WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, u"", 0, 0,
     125, 84},
};
constexpr plat::res::DialogItem kShortItems[] = {
    {u"EDIT", kAboutText, WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, u"", 0, 0,
     125, 60},
};
constexpr plat::res::Dialog kDialogs[] = {
    {109, kPageStyle, u"Tarvex Device", u"MS Sans Serif", 8, 0, 0, 125, 84, kAboutItems, 1},
    {110, kPageStyle, u"Tarvex Device", u"MS Sans Serif", 8, 0, 0, 125, 60, kShortItems, 1},
};

HMODULE ThisModule() { return plat::loader::ModuleOf(reinterpret_cast<const void*>(&ThisModule)); }

std::u16string String(UINT id) {
    for (const plat::res::String& s : kStrings)
        if (s.id == id) return s.text;
    return {};
}

std::u16string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::u16string Format(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return plat::text::Utf8ToWide(line);
}

// The page's text: power and display information, labels right-aligned.
std::u16string AboutText() {
    size_t width = 0;
    for (UINT id : {13u, 14u, 11u, 12u}) width = std::max(width, String(id).size());
    const int w = static_cast<int>(width);
    auto line = [&](UINT label, const std::u16string& value) {
        return Format("  %*s=%s\r\n", w, plat::text::WideToUtf8(String(label)).c_str(),
                      plat::text::WideToUtf8(value).c_str());
    };
    auto levels = [&](UINT label, int value, int max) {
        return Format("  %*s=%d max(%d)\r\n", w, plat::text::WideToUtf8(String(label)).c_str(), value, max);
    };
    const int battery = GetBatteryType();
    const int power = GetPowerState();
    std::u16string text = String(7) + u"\r\n";
    text += line(13, String(battery >= 0 && battery <= 4 ? 1 + battery : 6));
    text += line(14, String(power >= 0 && power <= 4 ? 16 + power : 21));
    text += u"\r\n" + String(10) + u"\r\n";
    text += levels(11, GetBacklightIntensity(), GetBacklightIntensityLevels(0, 0));
    text += levels(12, GetContrast(), GetContrastLevels(0, 0));
    return text;
}

HFONT g_pageFont = 0;

void RefreshPage(HWND page) { SetDlgItemText(page, kAboutText, AboutText().c_str()); }

INT_PTR AboutPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        LOGFONT font{};
        font.lfHeight = -(8 * GetDeviceCaps(nullptr, LOGPIXELSY)) / 72;
        font.lfPitchAndFamily = FIXED_PITCH;
        if (g_pageFont) DeleteObject(g_pageFont);
        g_pageFont = CreateFontIndirect(&font);
        SendMessage(GetDlgItem(page, kAboutText), WM_SETFONT, g_pageFont, 0);
        return TRUE;
    }
    case WM_DESTROY:
        if (g_pageFont) DeleteObject(g_pageFont);
        g_pageFont = 0;
        break;
    default:
        break;
    }
    INT_PTR result = FALSE;
    plat::res::AboutPageMessage(page, message, wParam, lParam, &RefreshPage, &result);
    return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::res::Table OrvadeResourceTable = {
    plat::res::kTableMagic, uint32_t(std::size(kStrings)), kStrings, uint32_t(std::size(kDialogs)), kDialogs};

// ---- Identity

ORVADE_EXPORT DWORD TelnetExtention() {
    LoadKeyboard();
    return EXTENTION_DEVICE;
}

ORVADE_EXPORT BOOL GetExtentionInfo(ExtentionInfo** record) {
    if (!record) return FALSE;
    if (*record) LocalFree(*record);
    auto* info = static_cast<ExtentionInfo*>(LocalAlloc(sizeof(ExtentionInfo)));
    *record = info;
    if (!info) return FALSE;
    const std::u16string_view name = u"Tarvex R24";
    std::copy(name.begin(), name.end(), info->name);
    info->version = 1;
    info->kind = 4;
    return TRUE;
}

ORVADE_EXPORT BOOL GetAboutPropSheet(PROPSHEETPAGE* page) {
    if (!page) return TRUE;
    page->dwFlags = 0;
    page->hInstance = ThisModule();
    page->pszTemplate = 109;
    page->pfnDlgProc = reinterpret_cast<void*>(&AboutPage);
    return TRUE;
}

// ---- Display

ORVADE_EXPORT int SetBacklightIntensity(int level) { return SetStatus(Disp().DispSetBacklight, level); }
ORVADE_EXPORT int GetBacklightIntensity() { return Level(Disp().DispGetBacklight); }
ORVADE_EXPORT int GetBacklightIntensityLevels(int, int second) { return Levels(Disp().DispGetBacklightLevels, second); }
ORVADE_EXPORT int SetBacklightState(int on) { return SetStatus(Disp().DispSetBacklightState, on == 1 ? 1 : 0); }
ORVADE_EXPORT int GetBacklightState() { return Level(Disp().DispGetBacklightState) == 1 ? 1 : 0; }
ORVADE_EXPORT int SetContrast(int level) { return SetStatus(Disp().DispSetContrast, level); }
ORVADE_EXPORT int GetContrast() { return Level(Disp().DispGetContrast); }
ORVADE_EXPORT int GetContrastLevels(int, int second) { return Levels(Disp().DispGetContrastLevels, second); }

// ---- Keyboard

ORVADE_EXPORT int SetAlphaMode(int mode) {
    return g_keyboard.SetAlphaMode && g_keyboard.SetAlphaMode(mode) ? 1 : 0;
}

ORVADE_EXPORT int SetKeyBoardState(int state) {
    if (!g_keyboard.SetKeyState || (state & 0xFF) == 0xFF) return 0;
    return g_keyboard.SetKeyState(state, 0, 0) ? 1 : 0;
}

ORVADE_EXPORT int GetKeyBoardState() { return -1; }

// ---- Beeper

ORVADE_EXPORT int PlayBeep(int durationMs, int second) {
    // A negative duration is no time at all, not four billion milliseconds.
    const uint32_t duration = durationMs > 0 ? static_cast<uint32_t>(durationMs) : 0;
    BYTE record[TVAUDIO_BEEPER_SIZE] = {};
    std::memcpy(record + 520, &duration, 4);
    std::memcpy(record + 524, &second, 4);
    if (Sound().AUDIO_PlayBeeper) Sound().AUDIO_PlayBeeper(record);
    Sleep(duration + 15);
    return 1;
}

// ---- Fixed answers

ORVADE_EXPORT int GetBatteryType() { return 0; }
ORVADE_EXPORT int GetPowerState() { return 0; }
ORVADE_EXPORT int SetBackLightTime(int) { return 0; }
ORVADE_EXPORT int SetKeyTimeout(int) { return 0; }
ORVADE_EXPORT int GetBackLightTime() { return -1; }
ORVADE_EXPORT int GetKeyTimeout() { return -1; }

// ---- The registry dump

ORVADE_EXPORT void* CreateRegistryFile() {
    const HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const std::u16string path = DumpPath();
    CRegistryDump dump;
    dump.Text(u"REGEDIT4\r\n\r\n");
    HKEY key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kTermelleKey, 0, 0, &key) == ERROR_SUCCESS) {
        if (CRegistryDump::HasValues(key)) {
            dump.Header(u"");
            dump.Values(key);
        }
        for (const std::u16string& name : CRegistryDump::Subkeys(key)) {
            if (name == u"CharacterSets" || name == u"KeyMaps") continue;
            dump.Subkey(key, name, name);
        }
        RegCloseKey(key);
    }
    // Written whole: an old dump stays until the new one is complete.
    plat::fs::WriteFile(path, dump.Bytes().data(), dump.Bytes().size());
    return reinterpret_cast<void*>(SetCursor(previous));
}

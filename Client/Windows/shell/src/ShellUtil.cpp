#include "shell/ShellUtil.h"

#include <cstdarg>
#include <memory>
#include <stdexcept>

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Resources.h"
#include "platform/Screen.h"
#include "platform/WinConst.h"
#include "shell/ExternalConfig.h"
#include "shell/SettingsStore.h"

namespace {

constexpr int kTextMax = 260;  // the resource strings and folders of the shell

struct FolderRecord {
    const char16_t* name;
    const char16_t* extension;
    const char16_t* initialFolder;
    std::u16string folder;
};

// What the shell keeps once per process: the resource library, the texts
// built from it, the shell's log and the folder table.
struct ShellContext {
    HMODULE resources = nullptr;
    std::u16string registryRoot;
    std::u16string globalConfigUrl;
    std::u16string programFolder;
    std::unique_ptr<CLogFile> log;
    FolderRecord folders[7] = {
        {u"DEF_SKIN", u"", u"Skins\\Default", {}},   {u"VMPROGRAMS", u".ova", u"Programs", {}},
        {u"SCRIPTS", u".ova", u"Scripts", {}},       {u"DEF_SPLASH", u"", u"Splash\\Default", {}},
        {u"SKINS", u"", u"Skins", {}},               {u"SOUNDS", u"", u"Sounds", {}},
        {u"OVC", u"", u"", {}},
    };
    bool foldersReady = false;
};

ShellContext g_shell;

void EnsureFolders() {
    if (g_shell.foldersReady) return;
    for (FolderRecord& r : g_shell.folders) r.folder = r.initialFolder;
    g_shell.foldersReady = true;
}

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool Given(const char16_t* text) { return text && *text; }

FolderRecord* FindFolder(const char16_t* name, const char16_t* extension) {
    EnsureFolders();
    const bool byExtension = Given(extension), byName = Given(name);
    if (!byExtension && !byName) return nullptr;
    for (FolderRecord& r : g_shell.folders) {
        if ((byExtension && EqualNoCase(extension, r.extension)) || (byName && EqualNoCase(name, r.name))) return &r;
    }
    return nullptr;
}

bool IsTrimmed(char16_t c) { return c == 0 || c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0xA0 || c == 0x3000; }

INT_PTR SharedDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtr(dialog, DWLP_USER, lParam);
    auto* object = reinterpret_cast<CDialogBase*>(GetWindowLongPtr(dialog, DWLP_USER));
    if (!object) return 0;
    try {
        return object->OnMessage(dialog, msg, wParam, lParam);
    } catch (const std::exception& e) {
        ShellLog(LOG_ERROR, "Dialog procedure failed: %s", e.what());
        return 0;
    }
}

}  // namespace

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

int32_t ParseDecimal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t n = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        if (n <= INT32_MAX) n = n * 10 + (text[i] - u'0');
    if (negative) n = -n;
    return int32_t(n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : n);
}

int LoadResourceDll() {
    if (!g_shell.resources) g_shell.resources = LoadLibrary(u"orvaderes.dll");
    if (!g_shell.resources) {
        MessageBox(0, u"Missing Critical component-001", nullptr, MB_OK | MB_ICONSTOP);
        return 0;
    }
    // Created off; the settings switch it on once they are loaded.
    g_shell.log = std::make_unique<CLogFile>();
    g_shell.log->SetLevel(0);
    g_shell.registryRoot = LoadResourceText(124, kTextMax) + u"OVC v1.0";
    g_shell.globalConfigUrl = LoadResourceText(153, kTextMax);
    const char16_t* folder = GetFolder(u"OVC", nullptr);
    g_shell.programFolder = folder ? folder : u"";
    return 1;
}

void FreeResourceDll() {
    ShellLog(LOG_TRACE, "FreeLibrary(resources)");
    if (g_shell.resources) FreeLibrary(g_shell.resources);
    g_shell.resources = nullptr;
    g_shell.registryRoot.clear();
    g_shell.globalConfigUrl.clear();
    g_shell.programFolder.clear();
    g_shell.log.reset();
}

HMODULE GetShellResources() { return g_shell.resources; }
const std::u16string& GetRegistryRoot() { return g_shell.registryRoot; }
const std::u16string& GetGlobalConfigUrl() { return g_shell.globalConfigUrl; }
const std::u16string& GetProgramFolderText() { return g_shell.programFolder; }

CLogFile* GetShellLog() { return g_shell.log.get(); }

void ShellLog(uint32_t level, const char* format, ...) {
    CLogFile* log = g_shell.log.get();
    if (!log || log->GetLevel() == 0 || level > log->GetLevel()) return;
    va_list args;
    va_start(args, format);
    log->VPrintf(level, format, args);
    va_end(args);
}

void ApplyLogSettings(const CSettingsStore& store) {
    CLogFile* log = g_shell.log.get();
    if (!log) return;
    log->SetClearOnOpen(store.GetBool(SETTING_LOG_CLEAR_ON_OPEN) != 0);
    const char16_t* path = store.GetString(SETTING_LOG_FILE_NAME);
    if (path && *path) log->SetPath(path);
    else log->ApplyDefaultPath();
    log->SetLevel(store.GetBool(SETTING_ENABLE_LOGGING) ? LOG_TRACE : 0);
}

std::u16string LoadResourceText(UINT id, int maxChars) {
    std::u16string text = plat::res::LoadText(g_shell.resources, id);
    if (maxChars > 0 && text.size() > size_t(maxChars - 1)) text.resize(maxChars - 1);
    return text;
}

const char16_t* GetFolder(const char16_t* name, const char16_t* extension) {
    FolderRecord* r = FindFolder(name, extension);
    return r ? r->folder.c_str() : nullptr;
}

int SetFolder(const char16_t* name, const char16_t* extension, const char16_t* folder) {
    if (!folder) return 0;
    FolderRecord* r = FindFolder(name, extension);
    if (!r) return 0;
    std::u16string text(folder);
    if (text.size() > size_t(kTextMax - 1)) text.resize(kTextMax - 1);
    r->folder = std::move(text);
    return 1;
}

void ResetFolders() { g_shell.foldersReady = false; }

int ShowResourceMessage(HWND owner, UINT textId, UINT captionId, UINT style) {
    const std::u16string text = LoadResourceText(textId, 200);
    const std::u16string caption = LoadResourceText(captionId, 100);
    return MessageBox(owner, text.c_str(), caption.c_str(), style);
}

int AskYesNo(HWND owner, UINT textId, UINT captionId) {
    return ShowResourceMessage(owner, textId, captionId, MB_YESNO | MB_ICONQUESTION);
}

char16_t* TrimSpaces(char16_t* text) {
    if (!text) return text;
    size_t length = std::char_traits<char16_t>::length(text);
    while (length > 0 && IsTrimmed(text[length - 1])) text[--length] = 0;
    size_t start = 0;
    while (start < length && IsTrimmed(text[start])) ++start;
    if (start > 0) std::char_traits<char16_t>::move(text, text + start, length - start + 1);
    return text;
}

std::u16string TrimSpaces(std::u16string text) {
    size_t end = text.size();
    while (end > 0 && IsTrimmed(text[end - 1])) --end;
    size_t start = 0;
    while (start < end && IsTrimmed(text[start])) ++start;
    return text.substr(start, end - start);
}

int GetDisplayColorDepth() {
    HWND active = GetActiveWindow();
    HDC dc = GetDC(active);
    int depth = GetDeviceCaps(dc, BITSPIXEL);
    if (dc) ReleaseDC(active, dc);
    CSettingsStore store(u"");
    LoadExternalConfigs(store, nullptr, nullptr);
    if (store.GetBool(SETTING_LOW_COLOR_DISPLAY)) depth = 2;
    return depth;
}

INT_PTR CDialogBase::DoModal(HWND parent, UINT templateId, CDialogBase* dialog, HMODULE module) {
    const plat::res::Dialog* dialogTemplate = plat::res::FindDialog(module, templateId);
    if (!dialogTemplate) return -1;
    return DialogBoxIndirectParam(module, dialogTemplate, parent, SharedDialogProc,
                                  reinterpret_cast<LPARAM>(dialog));
}

BOOL CenterWindow(HWND window, HWND centreOn) {
    if (!window) return FALSE;
    const bool child = (GetWindowLongPtr(window, GWL_STYLE) & WS_CHILD) != 0;
    if (!centreOn) centreOn = GetParent(window);
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    RECT area{}, reference{};
    if (child) {
        HWND parent = GetParent(window);
        if (!parent) return FALSE;
        GetClientRect(parent, &area);
        reference = area;
        if (centreOn && centreOn != parent) {
            RECT client{};
            GetClientRect(centreOn, &client);
            POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
            for (POINT& p : corners) {
                ClientToScreen(centreOn, &p);
                ScreenToClient(parent, &p);
            }
            reference = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
        }
    } else {
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (centreOn && IsWindowVisible(centreOn)) GetWindowRect(centreOn, &reference);
        else reference = area;
    }
    int left = (reference.left + reference.right) / 2 - width / 2;
    int top = (reference.top + reference.bottom) / 2 - height / 2;
    if (left + width > area.right) left = area.right - width;
    if (top + height > area.bottom) top = area.bottom - height;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    return SetWindowPos(window, 0, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR AboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: {
        const std::u16string version = LoadResourceText(141, 200) + u"." + u"5.4.1.01";
        SetDlgItemText(dialog, 1020, version.c_str());
        PostMessage(dialog, WM_SHELL_DIALOG_FILL, 0, 0);
        return TRUE;
    }
    case WM_SHELL_DIALOG_FILL:
        SetDlgItemText(dialog, 1035, u"Quillmar Systems");
        SetDlgItemText(dialog, 1041, u"Windows CE");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// "Tapryn.dll": the soft keyboard as an input method of the input panel
// (platform/InputPanel.h). One class, CTaprynIM: selected on the panel it
// makes its keyboard window as a child of the panel; a key released on it
// types through the panel's callback or switches keyboards.
#include <cstring>
#include <new>
#include <vector>

#include "core/hooks/CoreMessages.h"
#include "platform/ComServer.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/ImageList.h"
#include "platform/InputPanel.h"
#include "platform/MsgBox.h"
#include "platform/Registry.h"
#include "platform/Window.h"
#include "tapryn/KeyTyping.h"
#include "tapryn/KeyboardPanel.h"

namespace {

constexpr CLSID kClsidTapryn = plat::com::Guid("A44D8698-221B-11D4-8EB1-00105AE378D3");
constexpr char16_t kWindowClass[] = u"TaprynWndCls";
constexpr char16_t kTitle[] = u"Quillmar";
constexpr int kPanelId = 10;
constexpr DWORD kPanelStyle = 0x50800000;  // WS_CHILD | WS_VISIBLE | WS_BORDER
constexpr int kHighResolutionWidth = 476;

// What the keyboard window keeps, in its user data.
struct PanelData {
    IIMCallback* callback = nullptr;
    IMINFO info{};
    CKeyboardPanel keys;
};

PanelData* dataOf(HWND hwnd) { return reinterpret_cast<PanelData*>(GetWindowLongPtr(hwnd, GWLP_USERDATA)); }

// The device path this library was loaded from; an installed library (found
// by its bare name) counts as a file of the device's program folder.
std::u16string modulePath() {
    std::u16string path = plat::com::ModulePath(reinterpret_cast<const void*>(&dataOf));
    if (path.find(u'\\') == std::u16string::npos) path = plat::fs::ProgramFolder() + u"\\" + path;
    return path;
}

bool loadKeyboards(HWND hwnd, PanelData& data) {
    const KeyboardFile::LoadError error = data.keys.File().Load(KeyboardFile::PathBeside(modulePath()));
    if (error == KeyboardFile::LoadError::None) return true;
    MessageBox(hwnd, std::u16string(KeyboardFile::ErrorText(error)).c_str(), KeyboardFile::kLoadErrorCaption, MB_OK);
    return false;
}

void invert(HWND hwnd, const RECT& r) {
    HDC dc = GetDC(hwnd);
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, 0, DSTINVERT);
    ReleaseDC(hwnd, dc);
}

void typeCode(IIMCallback* callback, uint16_t code) {
    if (!callback || code == 0) return;
    const KeyTyping typing = TypeKeyCode(code);
    if (!typing.text.empty()) callback->SendString(typing.text.data(), DWORD(typing.text.size()));
    for (const KeyEvent& e : typing.events) callback->SendVirtualKey(e.virtualKey, e.flags);
}

void drawKey(HDC dc, const KeyRecord& key, const RECT& r) {
    const bool inverse = key.style != 0;
    const COLORREF ink = inverse ? RGB(255, 255, 255) : RGB(0, 0, 0);
    const COLORREF paper = inverse ? RGB(0, 0, 0) : RGB(255, 255, 255);
    SelectObject(dc, GetStockObject(inverse ? BLACK_BRUSH : WHITE_BRUSH));
    SelectObject(dc, GetStockObject(inverse ? WHITE_PEN : BLACK_PEN));
    SetTextColor(dc, ink);
    SetBkColor(dc, paper);
    Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
    const KeyFace face = FaceOf(key);
    if (face.arrow) {
        HGDIOBJ pen = CreatePen(PS_SOLID, 1, ink);
        HGDIOBJ old = SelectObject(dc, pen);
        const auto points = ArrowPoints(face.arrow, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Polyline(dc, points.data(), int(points.size()));
        SelectObject(dc, old);
        DeleteObject(pen);
    } else if (!face.text.empty()) {
        RECT text = r;
        DrawText(dc, face.text.c_str(), int(face.text.size()), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

LRESULT onCreate(HWND hwnd) {
    auto* data = new (std::nothrow) PanelData;
    if (!data) return -1;
    if (!loadKeyboards(hwnd, *data)) {
        delete data;
        MessageBox(hwnd, kInitErrorText, kInitErrorCaption, MB_OK);
        return -1;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    data->keys.SetHighResolution(client.right - client.left >= kHighResolutionWidth);
    // A file whose first keyboard does not fit in it cannot start either.
    if (!data->keys.Show(0)) {
        delete data;
        MessageBox(hwnd, kInitErrorText, kInitErrorCaption, MB_OK);
        return -1;
    }
    SetWindowLongPtr(hwnd, GWLP_USERDATA, LONG_PTR(data));
    return 0;
}

void onButtonDown(HWND hwnd, PanelData& data, LPARAM lParam) {
    const POINT p{short(LOWORD(lParam)), short(HIWORD(lParam))};
    const std::optional<RECT> key = data.keys.Press(p);
    if (!key) return;
    SetCapture(hwnd);
    invert(hwnd, *key);
}

void onButtonUp(HWND hwnd, PanelData& data) {
    if (!data.keys.Pressed()) return;
    ReleaseCapture();
    const Release r = data.keys.ReleaseKey();
    if (r.hadKey) invert(hwnd, r.pressed);
    if (r.error) MessageBox(hwnd, r.error, kKeyboardErrorCaption, MB_OK);
    if (r.redraw) InvalidateRect(hwnd, nullptr, TRUE);
    if (r.result == ReleaseResult::Sent || r.result == ReleaseResult::SentBack) typeCode(data.callback, r.code);
}

void onPaint(HWND hwnd, PanelData* data) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (data && data->keys.Current())
        for (const KeyRecord& key : data->keys.Current()->keys) drawKey(dc, key, data->keys.KeyRect(key));
    EndPaint(hwnd, &ps);
}

void onPanelMessage(HWND hwnd, PanelData& data, WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
        case 0:
            data.callback = reinterpret_cast<IIMCallback*>(lParam);
            break;
        case 1:
            if (lParam) std::memcpy(&data.info, reinterpret_cast<const void*>(lParam), sizeof(IMINFO));
            break;
        case 2: {
            RECT parent{};
            GetWindowRect(GetParent(hwnd), &parent);
            MoveWindow(hwnd, 0, 0, parent.right - parent.left, parent.bottom - parent.top, TRUE);
            break;
        }
        default:
            break;
    }
}

LRESULT PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        PanelData* data = dataOf(hwnd);
        switch (msg) {
            case WM_CREATE:
                return onCreate(hwnd);
            case WM_DESTROY:
                SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
                delete data;
                return 0;
            case WM_PAINT:
                onPaint(hwnd, data);
                return 0;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                if (data) onButtonDown(hwnd, *data, lParam);
                return 0;
            case WM_LBUTTONUP:
                if (data) onButtonUp(hwnd, *data);
                return 0;
            case WM_TAPRYN_PANEL:
                if (data) onPanelMessage(hwnd, *data, wParam, lParam);
                return 0;
            default:
                break;
        }
    } catch (...) {
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// The panel's button pictures: a keyboard, white keys on grey, its mask
// everything but the corners.
HBITMAP keyboardPicture(int width, int height, bool mask) {
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), mask ? 0x000000 : 0xC0C0C0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool corner = (x == 0 || x == width - 1) && (y == 0 || y == height - 1);
            uint32_t& p = pixels[size_t(y) * size_t(width) + size_t(x)];
            if (mask) {
                p = corner ? 0xFFFFFF : 0x000000;
            } else if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
                p = 0x000000;
            } else if (y >= 3 && y < height - 3 && x % 3 != 0 && y % 3 != 0) {
                p = 0xFFFFFF;
            }
        }
    return CreateBitmap(width, height, 1, 32, pixels.data());
}

HIMAGELIST makeImageList(int width, int height) {
    HIMAGELIST list = ImageList_Create(width, height, ILC_COLOR | ILC_MASK, 1, 0);
    if (!list) return 0;
    HBITMAP image = keyboardPicture(width, height, false);
    HBITMAP mask = keyboardPicture(width, height, true);
    ImageList_Add(list, image, mask);
    DeleteObject(image);
    DeleteObject(mask);
    return list;
}

class CTaprynIM final : public plat::com::CObject<IInputMethod> {
public:
    ~CTaprynIM() override { Deselect(); }

    HRESULT Select(HWND panel) override {
        m_panel = panel;
        m_narrow = makeImageList(16, 16);
        m_wide = makeImageList(32, 16);
        WNDCLASS wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = PanelProc;
        wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kWindowClass;
        if (!RegisterClass(&wc)) return E_FAIL;
        RECT r{};
        GetClientRect(panel, &r);
        m_window = CreateWindowEx(0, kWindowClass, u"", kPanelStyle, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                  panel, HMENU(intptr_t(kPanelId)), nullptr, nullptr);
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT Deselect() override {
        if (m_window) DestroyWindow(m_window);
        m_window = 0;
        UnregisterClass(kWindowClass, nullptr);
        if (m_narrow) ImageList_Destroy(m_narrow);
        if (m_wide) ImageList_Destroy(m_wide);
        m_narrow = m_wide = 0;
        if (m_callback) m_callback->Release();
        m_callback = nullptr;
        return S_OK;
    }
    HRESULT Showing() override { return S_OK; }
    HRESULT Hiding() override { return S_OK; }
    HRESULT GetInfo(IMINFO* info) override {
        if (!info) return E_POINTER;
        info->cbSize = sizeof(IMINFO);
        info->hImageNarrow = m_narrow;
        info->hImageWide = m_wide;
        info->iNarrow = 0;
        info->iWide = 0;
        info->fdwFlags = SIPF_DOCKED;
        info->rcSipRect = RECT{0, 0, 200, 100};
        SendMessage(m_window, WM_TAPRYN_PANEL, 1, LPARAM(info));
        return S_OK;
    }
    HRESULT ReceiveSipInfo(SIPINFO* info) override {
        SendMessage(m_window, WM_TAPRYN_PANEL, 2, LPARAM(info));
        return S_OK;
    }
    HRESULT RegisterCallback(IIMCallback* callback) override {
        if (callback) callback->AddRef();
        if (m_callback) m_callback->Release();
        m_callback = callback;
        PostMessage(m_window, WM_TAPRYN_PANEL, 0, LPARAM(callback));
        return S_OK;
    }
    HRESULT GetImData(DWORD, void*) override { return E_FAIL; }
    HRESULT SetImData(DWORD, void*) override { return S_OK; }
    HRESULT UserOptionsDlg(HWND parent) override {
        MessageBox(parent, u"No Configuration Options are currently available.", kTitle, MB_OK);
        return S_OK;
    }

private:
    HWND m_panel = 0;
    HWND m_window = 0;
    HIMAGELIST m_narrow = 0;
    HIMAGELIST m_wide = 0;
    IIMCallback* m_callback = nullptr;
};

std::u16string classKey() { return u"CLSID\\" + plat::com::GuidToString(kClsidTapryn); }

bool setDefault(HKEY key, const char16_t* subKey, const std::u16string& text) {
    return plat::registry::SetString(key, subKey, nullptr, text);
}

}  // namespace

ORVADE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != kClsidTapryn) return CLASS_E_CLASSNOTAVAILABLE;
    return plat::com::CreateFactory<CTaprynIM>(riid, object);
}

ORVADE_EXPORT HRESULT DllCanUnloadNow() { return plat::com::ServerCanUnloadNow(); }

ORVADE_EXPORT HRESULT DllRegisterServer() {
    try {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyEx(HKEY_CLASSES_ROOT, classKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                           &disposition) != ERROR_SUCCESS) {
            MessageBox(0, u"Unable to register dll", kTitle, MB_OK);
            return E_FAIL;
        }
        const std::u16string path = plat::com::ModulePath(reinterpret_cast<const void*>(&DllCanUnloadNow));
        // The name the input panel lists.
        setDefault(key, nullptr, kTitle);
        setDefault(key, u"InProcServer32", path);
        setDefault(key, u"DefaultIcon", path + u",0");
        setDefault(key, u"IsSIPInputMethod", u"1");
        RegCloseKey(key);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

ORVADE_EXPORT HRESULT DllUnregisterServer() {
    try {
        return RegDeleteKey(HKEY_CLASSES_ROOT, classKey().c_str()) == ERROR_SUCCESS ? S_OK : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

#include "shell/Skin.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/support/FileHandle.h"
#include "platform/DeviceFs.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "platform/Xml.h"
#include "shell/ShellUtil.h"

// Key_PageUp and Key_PageDown carry the codes of Key_Up and Key_Down, and the
// second Key_NumLock row is never reached: files written for the keypad
// rely on both.
const KeyName KeyNameTable[] = {
    {u"Key_Escape", 0x1b}, {u"Key_F1", 0x70}, {u"Key_F2", 0x71}, {u"Key_F3", 0x72}, {u"Key_F4", 0x73},
    {u"Key_F5", 0x74}, {u"Key_F6", 0x75}, {u"Key_F7", 0x76}, {u"Key_F8", 0x77}, {u"Key_F9", 0x78},
    {u"Key_F10", 0x79}, {u"Key_F11", 0x7a}, {u"Key_F12", 0x7b}, {u"Key_LeftApostrophe", 0xc0}, {u"Key_1", 0x31},
    {u"Key_2", 0x32}, {u"Key_3", 0x33}, {u"Key_4", 0x34}, {u"Key_5", 0x35}, {u"Key_6", 0x36}, {u"Key_7", 0x37},
    {u"Key_8", 0x38}, {u"Key_9", 0x39}, {u"Key_0", 0x30}, {u"Key_Hyphen", 0xbd}, {u"Key_Equals", 0xbb},
    {u"Key_Backspace", 0x08}, {u"Key_Insert", 0x2d}, {u"Key_Home", 0x24}, {u"Key_PageUp", 0x26},
    {u"Key_NumLock", 0x90}, {u"Key_Divide", 0x6f}, {u"Key_Multiply", 0x6a}, {u"Key_Plus", 0x6b},
    {u"Key_Minus", 0x6d}, {u"Key_Tab", 0x09}, {u"Key_Q", 0x51}, {u"Key_W", 0x57}, {u"Key_E", 0x45},
    {u"Key_R", 0x52}, {u"Key_T", 0x54}, {u"Key_Y", 0x59}, {u"Key_U", 0x55}, {u"Key_I", 0x49}, {u"Key_O", 0x4f},
    {u"Key_P", 0x50}, {u"Key_LeftCurlyBracket", 0x1db}, {u"Key_RightCurlyBracket", 0x1dd},
    {u"Key_Backslash", 0xdc}, {u"Key_Delete", 0x2e}, {u"Key_End", 0x23}, {u"Key_PageDown", 0x28},
    {u"KeyPad_7", 0x37}, {u"KeyPad_8", 0x38}, {u"KeyPad_9", 0x39}, {u"Key_A", 0x41}, {u"Key_S", 0x53},
    {u"Key_D", 0x44}, {u"Key_F", 0x46}, {u"Key_G", 0x47}, {u"Key_H", 0x48}, {u"Key_J", 0x4a}, {u"Key_K", 0x4b},
    {u"Key_L", 0x4c}, {u"Key_SemiColon", 0xba}, {u"Key_SingleQuote", 0xde}, {u"Key_Enter", 0x0d},
    {u"KeyPad_4", 0x34}, {u"KeyPad_5", 0x35}, {u"KeyPad_6", 0x36}, {u"Key_LeftShift", 0x10}, {u"Key_Z", 0x5a},
    {u"Key_X", 0x58}, {u"Key_C", 0x43}, {u"Key_V", 0x56}, {u"Key_B", 0x42}, {u"Key_N", 0x4e}, {u"Key_M", 0x4d},
    {u"Key_Comma", 0xbc}, {u"Key_Period", 0xbe}, {u"Key_Slash", 0xbf}, {u"Key_RightShift", 0x10},
    {u"Key_Up", 0x26}, {u"KeyPad_1", 0x31}, {u"KeyPad_2", 0x32}, {u"KeyPad_3", 0x33}, {u"KeyPad_Enter", 0x0d},
    {u"Key_LeftCtrl", 0x11}, {u"Key_LeftWindows", 0x5b}, {u"Key_LeftAlt", 0x12}, {u"Key_Space", 0x20},
    {u"Key_RightAlt", 0x12}, {u"Key_RightWindows", 0x5c}, {u"Key_Application", 0x5d}, {u"Key_RightCtrl", 0x11},
    {u"Key_Left", 0x25}, {u"Key_Down", 0x28}, {u"Key_Right", 0x27}, {u"KeyPad_0", 0x30},
    {u"KeyPad_DecimalPoint", 0xbe}, {u"Key_LeftSquareBracket", 0xdb}, {u"Key_RightSquareBracket", 0xdd},
    {u"Key_DoubleQuote", 0x1de}, {u"Key_SingleLine", 0x1dc}, {u"Key_Colon", 0x1ba}, {u"Key_Question", 0x1bf},
    {u"Key_Tilda", 0x1c0}, {u"Key_CapsLock", 0x14}, {u"Key_Prior", 0x1bc}, {u"Key_Next", 0x1be},
    {u"Key_OnOff", 0x202}, {u"Key_Func", 0x200}, {u"Key_Underscore", 0x1bd}, {u"Key_PRTSCRN", 0x2c},
    {u"Key_ScrollLock", 0x91}, {u"Key_NumLock", 0x90}, {u"Key_Break", 0x13}, {u"Key_Shift", 0x10},
    {u"Key_Ctrl", 0x11}, {u"Key_Alt", 0x12}, {u"Key_Alpha", 0x201}, {u"Key_Exclamation", 0x131},
    {u"Key_At", 0x132}, {u"Key_Pound", 0x133}, {u"Key_Dollar", 0x134}, {u"Key_Percent", 0x135},
    {u"Key_Caret", 0x136}, {u"Key_Ampersand", 0x137}, {u"Key_Asterisk", 0x138}, {u"Key_LeftParenthesis", 0x139},
    {u"Key_RightParenthesis", 0x130},
    {nullptr, 0},
};

namespace {

constexpr size_t kMaxXmlBytes = 1 << 20;
constexpr size_t kMaxImageBytes = 8 << 20;
constexpr int kMaxImageSide = 4096;

bool ReadDeviceFile(const std::u16string& path, size_t limit, std::string* bytes) {
    FileHandle file = OpenDeviceFile(path, "rb");
    if (!file) return false;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (bytes->size() + n > limit) return false;
        bytes->append(chunk, n);
    }
    return !std::ferror(file.get());
}

std::u16string Bounded(std::u16string text) {
    if (text.size() > CSkin::kTextMax) text.resize(CSkin::kTextMax);
    return text;
}

std::u16string FolderOf(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

// A file name without a backslash lies beside "Config.xml".
std::u16string ImagePath(const std::u16string& folder, const std::u16string& value) {
    if (value.empty() || value.find(u'\\') != std::u16string::npos) return Bounded(value);
    std::u16string joined = folder + u"\\" + value;
    return joined.size() > CSkin::kTextMax ? std::u16string() : joined;
}

// "0x" (lower-case x) and hexadecimal digits, else decimal; up to the first
// character that is not part of the number.
uint32_t AttributeInt(std::u16string_view text) {
    uint32_t value = 0;
    if (text.substr(0, 2) == u"0x") {
        for (char16_t c : text.substr(2)) {
            int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                      : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
            if (digit < 0) break;
            value = value * 16 + uint32_t(digit);
        }
        return value;
    }
    return uint32_t(ParseDecimal(text));
}

class Attributes {
public:
    explicit Attributes(const plat::xml::Element& e) : m_e(e) {}
    bool Has(std::u16string_view name) const { return m_e.Find(name) != nullptr; }
    std::u16string Text(std::u16string_view name) const {
        const plat::xml::Attribute* a = m_e.Find(name);
        return Bounded(std::u16string(a ? a->value : std::u16string_view()));
    }
    void Int(std::u16string_view name, int32_t& field) const {
        if (Has(name)) field = int32_t(AttributeInt(Text(name)));
    }
    void Int(std::u16string_view name, uint32_t& field) const {
        if (Has(name)) field = AttributeInt(Text(name));
    }
    void Rect(std::u16string_view x, std::u16string_view y, std::u16string_view w, std::u16string_view h,
              RECT& r) const {
        int32_t left = r.left, top = r.top, width = r.right - r.left, height = r.bottom - r.top;
        Int(x, left);
        Int(y, top);
        Int(w, width);
        Int(h, height);
        r = {left, top, int32_t(int64_t(left) + width), int32_t(int64_t(top) + height)};
    }

private:
    const plat::xml::Element& m_e;
};

uint32_t KeyAttribute(const Attributes& a, std::u16string_view name) {
    return a.Has(name) ? ParseKey(a.Text(name)) : 0;
}

}  // namespace

uint32_t ParseKey(std::u16string_view text) {
    for (const KeyName* row = KeyNameTable; row->name; ++row)
        if (EqualNoCase(row->name, text)) return row->code;
    return uint32_t(ParseDecimal(text));
}

int CButtonList::Append(const SkinButton& button) {
    m_buttons.push_back(button);
    return 1;
}

SkinButton* CButtonList::First() {
    m_cursor = m_buttons.begin();
    return m_cursor == m_buttons.end() ? nullptr : &*m_cursor;
}

SkinButton* CButtonList::Next() {
    if (m_cursor == m_buttons.end() || ++m_cursor == m_buttons.end()) return nullptr;
    return &*m_cursor;
}

int CButtonList::Remove(const SkinButton* button) {
    for (auto it = m_buttons.begin(); it != m_buttons.end(); ++it) {
        if (&*it != button) continue;
        if (m_cursor == it) m_cursor = m_buttons.end();
        m_buttons.erase(it);
        return 1;
    }
    return 0;
}

void CSkin::SetDefaults(const RECT& workArea) {
    skin = workArea;
    display = workArea;
    terminalId = 0;
}

int LoadSkin(const char16_t* configPath, CSkin* skin) {
    if (!skin) return 160;
    std::string bytes;
    const std::u16string path = configPath ? configPath : u"";
    if (!ReadDeviceFile(path, kMaxXmlBytes, &bytes)) return 2;
    const std::u16string folder = FolderOf(path);
    bool sawView = false;
    std::string error;
    const bool wellFormed = plat::xml::ForEachElement(
        bytes,
        [&](const plat::xml::Element& element) {
            const Attributes a(element);
            if (element.name == u"view" && !sawView) {
                sawView = true;
                if (a.Has(u"titleBar")) skin->title = a.Text(u"titleBar");
                if (a.Has(u"skinImage")) skin->skinImage = ImagePath(folder, a.Text(u"skinImage"));
                if (a.Has(u"mappingImage")) skin->mappingImage = ImagePath(folder, a.Text(u"mappingImage"));
                if (a.Has(u"downImage")) skin->downImage = ImagePath(folder, a.Text(u"downImage"));
                a.Rect(u"displayPosX", u"displayPosY", u"displayWidth", u"displayHeight", skin->display);
                a.Rect(u"statusPosX", u"statusPosY", u"statusWidth", u"statusHeight", skin->status);
                a.Rect(u"SkinPosX", u"SkinPosY", u"SkinPosWidth", u"SkinPosHeight", skin->skin);
                a.Int(u"TerminalID", skin->terminalId);
            } else if (element.name == u"button") {
                SkinButton button;
                a.Int(u"mappingColor", button.mappingColor);
                button.clickKey = KeyAttribute(a, u"onClick");
                button.funcKey = KeyAttribute(a, u"OnFuncPressed");
                button.alphaKey = KeyAttribute(a, u"OnAlphaPressed");
                if (!button.funcKey) button.funcKey = button.clickKey;
                if (!button.alphaKey) button.alphaKey = button.clickKey;
                skin->buttons.Append(button);
            }
        },
        &error);
    if (!wellFormed) {
        ShellLog(LOG_ERROR, "LoadSkin: %s", error.c_str());
        return 2;
    }
    return sawView ? 0 : 1359;
}

std::u16string DefaultSkinPath() {
    const char16_t* skins = GetFolder(u"DEF_SKIN", nullptr);
    return GetProgramFolderText() + u"\\" + (skins ? skins : u"") + u"\\Config.xml";
}

std::u16string FindSplashBitmap() {
    const char16_t* splash = GetFolder(u"DEF_SPLASH", nullptr);
    const std::u16string folder = GetProgramFolderText() + u"\\" + (splash ? splash : u"");
    for (const plat::fs::FindData& found : plat::fs::FindFiles(folder + u"\\*.bmp"))
        if (!found.isDirectory) return folder + u"\\" + found.name;
    return {};
}

bool CImageHolder::IsEmpty() const { return m_picture.Empty(); }
int CImageHolder::Width() const { return m_picture.width; }
int CImageHolder::Height() const { return m_picture.height; }

bool LoadImageFile(CImageHolder& holder, const std::u16string& path) {
    return plat::gdi::LoadPicture(path, kMaxImageBytes, kMaxImageSide, &holder.m_picture);
}

void DrawImage(const CImageHolder& holder, HDC dc, const RECT& rect) {
    if (holder.IsEmpty() || !dc) return;
    const int64_t width = int64_t(rect.right) - rect.left, height = int64_t(rect.bottom) - rect.top;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return;
    const plat::gdi::Picture& source = holder.Picture();
    if (source.width == width && source.height == height) {
        plat::gdi::DrawPixels(dc, rect.left, rect.top, source.View());
        return;
    }
    plat::gdi::DrawPixels(dc, rect.left, rect.top, plat::gdi::ScalePicture(source, int(width), int(height)).View());
}

RECT FindColorRect(const CImageHolder& mapping, uint32_t color) {
    if (mapping.IsEmpty()) return {};
    const plat::gdi::Picture& image = mapping.Picture();
    auto matches = [&](int x, int y) {
        const uint32_t pixel = image.At(x, y);
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = int((pixel >> shift) & 0xFF), b = int((color >> shift) & 0xFF);
            if (a - b > 1 || b - a > 1) return false;
        }
        return true;
    };
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (!matches(x, y)) continue;
            int right = x + 1, bottom = y + 1;
            while (right < image.width && matches(right, y)) ++right;
            while (bottom < image.height && matches(x, bottom)) ++bottom;
            return {x, y, right, bottom};
        }
    }
    return {};
}

int CSkinWindow::Load(const char16_t* configPath) {
    const int result = LoadSkin(configPath, &m_skin);
    m_loaded = result == 0;
    if (!m_loaded) return result;
    LoadImageFile(m_image, m_skin.skinImage);
    if (LoadImageFile(m_mapping, m_skin.mappingImage)) {
        for (SkinButton* b = m_skin.buttons.First(); b; b = m_skin.buttons.Next()) {
            b->rect = FindColorRect(m_mapping, b->mappingColor);
            OffsetRect(&b->rect, m_skin.skin.left, m_skin.skin.top);
        }
    }
    return 0;
}

void CSkinWindow::OnLButtonDown(int x, int y) {
    m_pressX = SHORT(x);
    m_pressY = SHORT(y);
    SetCapture(m_main);
    if (!m_loaded) return;
    const POINT point{x, y};
    for (SkinButton* b = m_skin.buttons.First(); b; b = m_skin.buttons.Next()) {
        if (!PtInRect(&b->rect, point)) continue;
        SendKey(*b);
        InvertButton(b, true);
        break;
    }
}

void CSkinWindow::OnMouseMove(int x, int y) {
    if (m_pressX < 1 && m_pressY < 1) return;
    RECT r{};
    GetWindowRect(m_main, &r);
    SetWindowPos(m_main, 0, r.left + x - m_pressX, r.top + y - m_pressY, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CSkinWindow::OnLButtonUp(int, int) {
    m_pressX = m_pressY = 0;
    ReleaseCapture();
    if (m_loaded) InvertButton(nullptr, false);
}

void CSkinWindow::Stroke(uint32_t code, bool withShift, DWORD extraFlags) {
    const BYTE key = BYTE(code & 0xFF);
    if (withShift) keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT, 0);
    keybd_event(key, 0, KEYEVENTF_SILENT | extraFlags, 0);
    keybd_event(key, 0, KEYEVENTF_SILENT | KEYEVENTF_KEYUP | extraFlags, 0);
    if (withShift) keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT | KEYEVENTF_KEYUP, 0);
}

void CSkinWindow::SendKey(const SkinButton& button) {
    const uint32_t k = button.clickKey;
    if (k == Key_OnOff) {
        PostQuitMessage(0);
        return;
    }
    if (k == Key_Func || k == Key_Alpha) {
        (k == Key_Func ? func : alpha) = !(k == Key_Func ? func : alpha);
        return;
    }
    if (k == VK_SHIFT || k == VK_CONTROL || k == VK_MENU) {
        bool& modifier = k == VK_SHIFT ? shift : k == VK_CONTROL ? ctrl : alt;
        modifier = !modifier;
        if (!func) return;
    }
    if (!func) {
        const uint32_t code = alpha ? button.alphaKey : button.clickKey;
        const bool codeShift = (code & 0x100) != 0;
        if (shift) {
            Stroke(code, true, 0);
        } else if (ctrl || alt) {
            const BYTE modifier = ctrl ? VK_CONTROL : VK_MENU;
            keybd_event(modifier, 0, KEYEVENTF_SILENT, 0);
            Stroke(code, codeShift, 0);
            keybd_event(modifier, 0, KEYEVENTF_SILENT | KEYEVENTF_KEYUP, 0);
        } else {
            Stroke(code, codeShift, 0);
        }
    } else {
        const uint32_t code = button.funcKey;
        if (code == VK_SHIFT) {
            func = false;
            shift = true;
            return;
        }
        const BYTE key = BYTE(code & 0xFF);
        const bool extended = key == VK_CAPITAL || key == VK_NUMLOCK || key == VK_SCROLL;
        Stroke(code, (code & 0x100) != 0, extended ? KEYEVENTF_EXTENDEDKEY : 0);
    }
    func = shift = ctrl = alt = false;
}

void CSkinWindow::InvertButton(const SkinButton* button, bool show) {
    // The pressed state: the skin picture under the button drawn inverted,
    // and drawn plain again when it is released.
    const RECT area = button ? button->rect : m_pressed;
    m_pressed = (button && show) ? button->rect : RECT{};
    if (IsRectEmpty(&area) || m_image.IsEmpty()) return;
    HDC dc = GetDC(m_main);
    if (!dc) return;
    const RECT& skinRect = m_skin.skin;
    const int64_t sw = int64_t(skinRect.right) - skinRect.left, sh = int64_t(skinRect.bottom) - skinRect.top;
    const bool scale = sw > 0 && sh > 0 && (sw != m_image.Width() || sh != m_image.Height());
    // A skin rectangle beyond the limits leaves nothing to show.
    const plat::gdi::Picture scaled = scale && sw <= kMaxImageSide && sh <= kMaxImageSide
                                          ? plat::gdi::ScalePicture(m_image.Picture(), int(sw), int(sh))
                                          : plat::gdi::Picture();
    const plat::gdi::Picture& picture = scale ? scaled : m_image.Picture();
    // The button's part of the picture; what lies beyond the picture is black.
    const int64_t x0 = int64_t(area.left) - skinRect.left, y0 = int64_t(area.top) - skinRect.top;
    const int64_t width = int64_t(area.right) - area.left, height = int64_t(area.bottom) - area.top;
    if (!picture.Empty() && width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide) {
        std::vector<uint32_t> part(size_t(width) * size_t(height), 0xff000000u);
        for (int64_t y = 0; y < height; ++y) {
            const int64_t sy = y0 + y;
            if (sy < 0 || sy >= picture.height) continue;
            for (int64_t x = 0; x < width; ++x) {
                const int64_t sx = x0 + x;
                if (sx >= 0 && sx < picture.width) part[size_t(y * width + x)] = picture.At(int(sx), int(sy));
            }
        }
        if (show && button)
            for (uint32_t& pixel : part) pixel ^= 0x00ffffffu;
        plat::gdi::DrawPixels(dc, area.left, area.top,
                              plat::gdi::PixelView{part.data(), int(width), int(height), int(width)});
    }
    ReleaseDC(m_main, dc);
}

void CSkinWindow::Paint(HDC dc) {
    if (m_loaded) DrawImage(m_image, dc, m_skin.skin);
}

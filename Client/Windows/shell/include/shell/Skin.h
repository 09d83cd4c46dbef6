// The skin: "Config.xml" of the default skin folder gives the main window
// its title, skin picture, the display, status and skin rectangles, a
// terminal id and the keypad buttons with the keys they type. CSkinWindow
// turns taps on the skin into key strokes. User-interface thread only.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "platform/Gdi.h"
#include "platform/Picture.h"
#include "platform/Window.h"

// Key codes of the skin's buttons: a virtual key; 0x100 added types it with
// Shift; the three codes below are the keypad's own.
constexpr uint32_t Key_Func = 0x200;
constexpr uint32_t Key_Alpha = 0x201;
constexpr uint32_t Key_OnOff = 0x202;

struct KeyName {
    const char16_t* name;
    uint32_t code;
};
// 131 rows and an ending row {null, 0}; the first row of a name counts.
extern const KeyName KeyNameTable[];
// A name of the table (any case) or else a decimal number; 0 for neither.
uint32_t ParseKey(std::u16string_view text);

struct SkinButton {
    uint32_t mappingColor = 0;
    uint32_t clickKey = 0;
    uint32_t funcKey = 0;
    uint32_t alphaKey = 0;
    RECT rect{};
};

class CButtonList {
public:
    int Append(const SkinButton& button);
    SkinButton* First();
    SkinButton* Next();
    int Remove(const SkinButton* button);
    int GetCount() const { return int(m_buttons.size()); }

private:
    std::list<SkinButton> m_buttons;
    std::list<SkinButton>::iterator m_cursor = m_buttons.end();
};

class CSkin {
public:
    // Paths and texts are kept within a path's 260 characters.
    static constexpr size_t kTextMax = 259;

    virtual ~CSkin() = default;
    // No skin: the skin and display rectangles are the work area, terminal id 0.
    void SetDefaults(const RECT& workArea);

    std::u16string skinImage, mappingImage, downImage, title;
    RECT display{}, status{}, skin{};
    int32_t terminalId = 0;
    CButtonList buttons;
};

// 0, or 160 (no skin), 2 (the file does not load or is not XML), 1359 (no
// "view" element).
int LoadSkin(const char16_t* configPath, CSkin* skin);
// "<program folder>\<DEF_SKIN folder>\Config.xml".
std::u16string DefaultSkinPath();
// The first "*.bmp" of the splash folder; empty when there is none.
std::u16string FindSplashBitmap();

// A decoded picture; empty when the file is missing, not a picture, or
// larger than the limits (8 MiB of file, 4096 pixels a side).
class CImageHolder {
public:
    bool IsEmpty() const;
    int Width() const;
    int Height() const;
    // The picture as 32-bit pixels, blue in the low byte.
    const plat::gdi::Picture& Picture() const { return m_picture; }

private:
    friend bool LoadImageFile(CImageHolder& holder, const std::u16string& path);
    plat::gdi::Picture m_picture;
};
bool LoadImageFile(CImageHolder& holder, const std::u16string& path);
// Scaled into the rectangle; nothing without a picture.
void DrawImage(const CImageHolder& holder, HDC dc, const RECT& rect);
// The rectangle of the first run of pixels within 1 of the colour in each of
// their three low bytes, grown right and down; empty when none matches.
RECT FindColorRect(const CImageHolder& mapping, uint32_t color);

class CSkinWindow {
public:
    explicit CSkinWindow(HWND mainWindow) : m_main(mainWindow) {}
    // The window the skin belongs to, once it exists (the skin is loaded first).
    void SetWindow(HWND mainWindow) { m_main = mainWindow; }

    // Loads the skin, its picture and mapping picture, and gives each button
    // the rectangle its mapping colour covers (offset by the skin rectangle).
    int Load(const char16_t* configPath);
    bool IsLoaded() const { return m_loaded; }
    CSkin& Skin() { return m_skin; }
    const CImageHolder& SkinImage() const { return m_image; }

    void OnLButtonDown(int x, int y);
    void OnMouseMove(int x, int y);
    void OnLButtonUp(int x, int y);
    void SendKey(const SkinButton& button);
    void InvertButton(const SkinButton* button, bool show);
    // Paints the skin picture into its rectangle.
    void Paint(HDC dc);

    bool func = false, shift = false, ctrl = false, alt = false, alpha = false;

private:
    void Stroke(uint32_t code, bool withShift, DWORD extraFlags);

    HWND m_main;
    SHORT m_pressX = 0, m_pressY = 0;
    RECT m_pressed{};
    bool m_loaded = false;
    CSkin m_skin;
    CImageHolder m_image, m_mapping;
};

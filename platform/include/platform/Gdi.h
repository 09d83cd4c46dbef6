// Drawing: device contexts on a window's back buffer (Window.h: BeginPaint,
// GetDC), brushes, pens and fonts as pointer-sized handles, and the few
// drawing calls the programs use. The Qt-backed library draws with QPainter;
// without it a context keeps its state and draws nothing.
//
// Brushes and pens carry their colour in the handle, so they never leak;
// fonts live in a table until DeleteObject. A class background or
// GetSysColorBrush may also be a system colour index + 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

constexpr COLORREF RGB(int r, int g, int b) { return COLORREF(BYTE(r)) | (COLORREF(BYTE(g)) << 8) | (COLORREF(BYTE(b)) << 16); }
constexpr BYTE GetRValue(COLORREF c) { return BYTE(c); }
constexpr BYTE GetGValue(COLORREF c) { return BYTE(c >> 8); }
constexpr BYTE GetBValue(COLORREF c) { return BYTE(c >> 16); }

// GetStockObject
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_GUI_FONT = 17;

constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawText formats.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;

constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

struct LOGFONT {
    LONG lfHeight;  // negative: character height in pixels; positive: cell height
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char16_t lfFaceName[32];
};

// GetObject of a bitmap. bmBits stays null: the pixels are the layer's.
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

// STM_SETIMAGE image types.
constexpr WPARAM IMAGE_BITMAP = 0;
constexpr WPARAM IMAGE_ICON = 1;

struct TEXTMETRIC {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
};

// Raster operations of BitBlt and StretchBlt.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

namespace plat::gdi {

// Bitmaps are 32-bit images held by the layer; a side may be at most this
// long, and a bitmap at most kMaxBitmapPixels, so that no file or host can
// make one take more than 16 MiB.
constexpr int kMaxBitmapSide = 4096;
constexpr int64_t kMaxBitmapPixels = 4 * 1024 * 1024;

// What a context draws with; kept by the layer, read by the backend.
struct DrawState {
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    HBRUSH brush = 0;  // 0 until selected: the white stock brush
    HGDIOBJ pen = 0;   // 0 until selected: the black stock pen
    HFONT font = 0;    // 0: the system font
    POINT position{0, 0};
};

// A picture handed to a context: 32-bit pixels 0xffRRGGBB, row by row,
// stride pixels from one row to the next; with alpha, 0xAARRGGBB (not
// premultiplied) drawn over what is there.
struct PixelView {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool alpha = false;  // 0xAARRGGBB, drawn over what is there (icons)
};

// A drawing surface. The backend implements the primitives; the layer's
// functions below resolve handles and state into them. Coordinates are the
// window's client coordinates.
class DeviceContext {
public:
    virtual ~DeviceContext() = default;
    virtual void Fill(const RECT& r, COLORREF colour) = 0;
    virtual void Line(POINT from, POINT to, COLORREF colour, int width) = 0;
    // DrawText semantics (DT_ flags); bg is used when opaque.
    virtual void Text(const RECT& r, std::u16string_view text, UINT format, const LOGFONT& font, COLORREF fg,
                      const COLORREF* bg) = 0;
    virtual SIZE Measure(std::u16string_view text, const LOGFONT& font) = 0;
    // Copies the picture with its top left corner at (x, y).
    virtual void Pixels(int /*x*/, int /*y*/, const PixelView& /*picture*/) {}
    // Inverts the colours inside r.
    virtual void Invert(const RECT& /*r*/) {}
    // A closed polygon: filled with fill when given, outlined with pen when
    // given (pen width penWidth).
    virtual void Polygon(const POINT* points, int count, const COLORREF* fill, const COLORREF* pen, int penWidth) {
        if (!pen) return;
        for (int i = 0; i < count; ++i) Line(points[i], points[(i + 1) % count], *pen, penWidth);
        (void)fill;
    }
    // Height, ascent, descent, average and widest character of the font;
    // zeros where nothing measures.
    virtual TEXTMETRIC Metrics(const LOGFONT& /*font*/) { return TEXTMETRIC{}; }
    DrawState state;
};

// The font's description; the system font for 0 or an unknown handle.
LOGFONT GetFontDescription(HFONT font);
// The colour of a solid brush (or system colour index + 1); FALSE for the
// null brush or a handle that is none.
BOOL GetBrushColor(HBRUSH brush, COLORREF* colour);
// Copies a picture (a back buffer) into the context at (x, y); FALSE for no
// context or an empty picture.
BOOL DrawPixels(HDC dc, int x, int y, const PixelView& picture);

// A bitmap of the given pixels (0xffRRGGBB or 0x00RRGGBB, row by row,
// stride pixels apart), for image loaders; 0 beyond the size limits.
HBITMAP CreateBitmapFromPixels(int width, int height, const uint32_t* pixels, int stride);
// Draws a bitmap with its top left corner at (x, y); FALSE for a handle that
// is no bitmap.
BOOL DrawBitmap(HDC dc, int x, int y, HBITMAP bitmap);
// The size of a bitmap; {0, 0} for a handle that is none.
SIZE GetBitmapSize(HBITMAP bitmap);
// A copy of a bitmap's pixels (with alpha for an icon); false for a handle
// that is none.
bool GetBitmapPixels(HBITMAP bitmap, std::vector<uint32_t>* pixels, SIZE* size, bool* alpha);
// An icon: a bitmap whose pixels keep their alpha (0xAARRGGBB).
HICON CreateIconFromPixels(int width, int height, const uint32_t* pixels, int stride);
// A bitmap of a BMP, PNG or JPEG file of the device file system (a
// transparent image composed onto white); 0 for a file that cannot be read,
// another format, a broken image, or one beyond the limits above, which are
// checked before it is decoded.
HBITMAP LoadBitmapFile(std::u16string_view devicePath);
// Draws the bitmap scaled to fill target; FALSE for no bitmap.
BOOL DrawBitmapScaled(HDC dc, const RECT& target, HBITMAP bitmap);

}  // namespace plat::gdi

// Font files added to the device (the installation's fonts): a table of the
// device root (HKEY_LOCAL_MACHINE "Software\Orvade\Fonts", one DWORD value
// per file, its device path, counting how often it was added), which every
// program of the device sees. AddFontResource answers the number of fonts
// added: 1 for a regular file of the device root, 0 otherwise. Removing drops
// one count; FALSE when the file was not added.
int AddFontResource(const char16_t* fileName);
BOOL RemoveFontResource(const char16_t* fileName);
namespace plat::gdi {
// The font files added, by device path.
std::vector<std::u16string> FontResources();
}  // namespace plat::gdi

COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ CreatePen(int style, int width, COLORREF colour);
HGDIOBJ GetStockObject(int object);
HFONT CreateFontIndirect(const LOGFONT* font);
BOOL DeleteObject(HGDIOBJ object);
// 32 bits per pixel (0x00RRGGBB) or 24 (B, G, R, rows padded to 4 bytes,
// top row first); bits null: black. 0 for other formats or sizes beyond the
// limits.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap's BITMAP; the bytes written, 0 for what is no bitmap.
int GetObject(HGDIOBJ object, int size, void* out);

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);  // the previous object of that kind
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);  // current pen and brush
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL LineTo(HDC dc, int x, int y);
// Lines through the points with the current pen; the position is unchanged.
BOOL Polyline(HDC dc, const POINT* points, int count);
// Filled with the current brush, outlined with the current pen.
BOOL Polygon(HDC dc, const POINT* points, int count);
BOOL InvertRect(HDC dc, const RECT* rect);
BOOL GetTextMetrics(HDC dc, TEXTMETRIC* metrics);

// Memory device contexts draw into the bitmap selected into them (a 1 x 1
// one at first): fills, lines, pictures and inversion; text drawn into them
// is not kept. DeleteDC frees one; other contexts go with ReleaseDC.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// SRCCOPY from a memory context, DSTINVERT, BLACKNESS and WHITENESS; FALSE
// for other operations and for copying from a window's context.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop);
// As BitBlt, scaling the source rectangle to the destination (nearest pixel).
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh, DWORD rop);
BOOL TextOut(HDC dc, int x, int y, const char16_t* text, int count);
// count -1: up to the terminator. DT_CALCRECT only measures into rect.
int DrawText(HDC dc, const char16_t* text, int count, RECT* rect, UINT format);
BOOL GetTextExtentPoint32(HDC dc, const char16_t* text, int count, SIZE* size);

// Rectangles.
BOOL SetRect(RECT* r, int left, int top, int right, int bottom);
BOOL IsRectEmpty(const RECT* r);
BOOL PtInRect(const RECT* r, POINT p);
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b);
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
BOOL OffsetRect(RECT* r, int dx, int dy);
BOOL InflateRect(RECT* r, int dx, int dy);

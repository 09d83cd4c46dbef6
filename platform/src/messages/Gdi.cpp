// Drawing handles and the drawing calls over a DeviceContext. Brush and pen
// handles carry their colour: kind in bits 32-39, colour in the low 32 bits.
// Fonts are entries of a table.
#include "platform/Gdi.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>
#include <utility>
#include <mutex>

#include "platform/Window.h"

using plat::gdi::DrawState;
using plat::gdi::GetBrushColor;
using plat::gdi::GetFontDescription;

static_assert(sizeof(HGDIOBJ) >= 8, "handles carry a kind above the 32-bit colour");

namespace {

enum Kind : uint64_t { kBrush = 1, kNullBrush = 2, kPen = 3, kNullPen = 4, kFont = 5, kBitmap = 6 };
constexpr uint64_t kKindShift = 32;
constexpr HFONT kSystemFont = HFONT(uint64_t(kFont) << kKindShift);  // index 0

Kind kindOf(HGDIOBJ h) { return Kind(uint64_t(h) >> kKindShift); }
HGDIOBJ make(Kind k, uint32_t low) { return HGDIOBJ((uint64_t(k) << kKindShift) | low); }

struct Fonts {
    std::mutex mutex;
    std::map<uint32_t, LOGFONT> table;
    uint32_t next = 1;
};
Fonts& fonts() {
    static Fonts* f = new Fonts;
    return *f;
}

// A drawing holds its bitmap, so another thread may delete the handle.
// A memory context may draw into a bitmap while another thread shows it:
// each bitmap's pixels have a mutex of their own, held only inside the layer.
struct Bitmap {
    int width = 0;
    int height = 0;
    bool alpha = false;  // an icon: pixels keep their alpha
    mutable std::mutex mutex;
    std::vector<uint32_t> pixels;  // 0xffRRGGBB (0xAARRGGBB with alpha), guarded by mutex
};

struct Bitmaps {
    std::mutex mutex;
    std::map<uint32_t, std::shared_ptr<Bitmap>> table;
    uint32_t next = 1;
};
Bitmaps& bitmaps() {
    static Bitmaps* b = new Bitmaps;
    return *b;
}

bool sizeAllowed(int width, int height) {
    return width > 0 && height > 0 && width <= plat::gdi::kMaxBitmapSide && height <= plat::gdi::kMaxBitmapSide &&
           int64_t(width) * height <= plat::gdi::kMaxBitmapPixels;
}

HBITMAP keep(std::shared_ptr<Bitmap> b) {
    Bitmaps& t = bitmaps();
    std::lock_guard lock(t.mutex);
    while (t.next == 0 || t.table.count(t.next)) ++t.next;
    const uint32_t index = t.next++;
    t.table[index] = std::move(b);
    return HBITMAP((uint64_t(kBitmap) << kKindShift) | index);
}

std::shared_ptr<Bitmap> findBitmap(HGDIOBJ h) {
    if (kindOf(h) != kBitmap) return nullptr;
    Bitmaps& t = bitmaps();
    std::lock_guard lock(t.mutex);
    auto it = t.table.find(uint32_t(h));
    return it == t.table.end() ? nullptr : it->second;
}

LOGFONT systemFont() {
    LOGFONT lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    return lf;
}

}  // namespace

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    default: return RGB(192, 192, 192);
    }
}

HBRUSH GetSysColorBrush(int index) { return CreateSolidBrush(GetSysColor(index)); }
HBRUSH CreateSolidBrush(COLORREF colour) { return make(kBrush, colour & 0xFFFFFF); }

HGDIOBJ CreatePen(int style, int width, COLORREF colour) {
    if (style == PS_NULL) return make(kNullPen, 0);
    // The width rides in the top byte of the low word's unused colour bits.
    return make(kPen, (colour & 0xFFFFFF) | (uint32_t(std::clamp(width, 1, 255)) << 24));
}

HGDIOBJ GetStockObject(int object) {
    switch (object) {
    case WHITE_BRUSH: return CreateSolidBrush(RGB(255, 255, 255));
    case LTGRAY_BRUSH: return CreateSolidBrush(RGB(192, 192, 192));
    case GRAY_BRUSH: return CreateSolidBrush(RGB(128, 128, 128));
    case DKGRAY_BRUSH: return CreateSolidBrush(RGB(64, 64, 64));
    case BLACK_BRUSH: return CreateSolidBrush(RGB(0, 0, 0));
    case NULL_BRUSH: return make(kNullBrush, 0);
    case WHITE_PEN: return CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    case BLACK_PEN: return CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    case NULL_PEN: return CreatePen(PS_NULL, 0, 0);
    case SYSTEM_FONT:
    case DEFAULT_GUI_FONT: return kSystemFont;
    default: return 0;
    }
}

HFONT CreateFontIndirect(const LOGFONT* font) {
    if (!font) return 0;
    Fonts& f = fonts();
    std::lock_guard lock(f.mutex);
    while (f.next == 0 || f.table.count(f.next)) ++f.next;
    const uint32_t index = f.next++;
    f.table[index] = *font;
    return make(kFont, index);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (kindOf(object) == kBitmap) {
        std::shared_ptr<Bitmap> gone;  // freed after the lock
        Bitmaps& t = bitmaps();
        std::lock_guard lock(t.mutex);
        auto it = t.table.find(uint32_t(object));
        if (it == t.table.end()) return FALSE;
        gone = std::move(it->second);
        t.table.erase(it);
        return TRUE;
    }
    if (kindOf(object) != kFont) return object != 0 ? TRUE : FALSE;  // colours in the handle: nothing to free
    Fonts& f = fonts();
    std::lock_guard lock(f.mutex);
    return f.table.erase(uint32_t(object)) ? TRUE : FALSE;
}

HBITMAP plat::gdi::CreateBitmapFromPixels(int width, int height, const uint32_t* pixels, int stride) {
    if (!sizeAllowed(width, height) || !pixels || stride < width) return 0;
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->pixels.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b->pixels[size_t(y) * size_t(width) + size_t(x)] = pixels[size_t(y) * size_t(stride) + size_t(x)] | 0xff000000u;
    return keep(std::move(b));
}

HICON plat::gdi::CreateIconFromPixels(int width, int height, const uint32_t* pixels, int stride) {
    if (!sizeAllowed(width, height) || !pixels || stride < width) return 0;
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->alpha = true;
    b->pixels.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels + size_t(y) * size_t(stride), width, b->pixels.begin() + std::ptrdiff_t(size_t(y) * size_t(width)));
    return keep(std::move(b));
}

bool plat::gdi::GetBitmapPixels(HBITMAP bitmap, std::vector<uint32_t>* pixels, SIZE* size, bool* alpha) {
    const auto b = findBitmap(bitmap);
    if (!b) return false;
    std::lock_guard lock(b->mutex);
    if (pixels) *pixels = b->pixels;
    if (size) *size = SIZE{b->width, b->height};
    if (alpha) *alpha = b->alpha;
    return true;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || (bitsPerPixel != 32 && bitsPerPixel != 24) || !sizeAllowed(width, height)) return 0;
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->pixels.assign(size_t(width) * size_t(height), 0xff000000u);
    if (bits) {
        const auto* in = static_cast<const uint8_t*>(bits);
        const size_t rowBytes = bitsPerPixel == 32 ? size_t(width) * 4 : (size_t(width) * 3 + 3) & ~size_t(3);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = in + size_t(y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                const uint8_t* px = row + size_t(x) * (bitsPerPixel / 8);
                b->pixels[size_t(y) * size_t(width) + size_t(x)] = 0xff000000u | (uint32_t(px[2]) << 16) | (uint32_t(px[1]) << 8) | px[0];
            }
        }
    }
    return keep(std::move(b));
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) { return CreateBitmap(width, height, 1, 32, nullptr); }

int GetObject(HGDIOBJ object, int size, void* out) {
    const auto b = findBitmap(object);
    if (!b || !out || size < int(sizeof(BITMAP))) return 0;
    *static_cast<BITMAP*>(out) = BITMAP{0, b->width, b->height, b->width * 4, 1, 32, nullptr};
    return int(sizeof(BITMAP));
}

SIZE plat::gdi::GetBitmapSize(HBITMAP bitmap) {
    const auto b = findBitmap(bitmap);
    return b ? SIZE{b->width, b->height} : SIZE{0, 0};
}

BOOL plat::gdi::DrawBitmap(HDC dc, int x, int y, HBITMAP bitmap) {
    const auto b = findBitmap(bitmap);
    if (!dc || !b) return FALSE;
    std::vector<uint32_t> copy;
    {
        std::lock_guard lock(b->mutex);
        copy = b->pixels;
    }
    return DrawPixels(dc, x, y, PixelView{copy.data(), b->width, b->height, b->width, b->alpha});
}

namespace {

// 0xAARRGGBB over an opaque pixel.
uint32_t over(uint32_t src, uint32_t dst) {
    const uint32_t a = src >> 24;
    const auto mix = [a](uint32_t s, uint32_t d) { return (s * a + d * (255 - a) + 127) / 255; };
    return 0xff000000u | (mix((src >> 16) & 0xff, (dst >> 16) & 0xff) << 16) | (mix((src >> 8) & 0xff, (dst >> 8) & 0xff) << 8) |
           mix(src & 0xff, dst & 0xff);
}

uint32_t argb(COLORREF c) { return 0xff000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c); }

// Draws into the selected bitmap, clipped to it.
class MemoryContext final : public plat::gdi::DeviceContext {
public:
    MemoryContext() : m_bitmap(findBitmap(kStockBitmap())) {}

    static HBITMAP kStockBitmap() {
        static const HBITMAP stock = CreateBitmap(1, 1, 1, 32, nullptr);
        return stock;
    }
    HBITMAP Select(HBITMAP b) {
        auto found = findBitmap(b);
        if (!found) return 0;
        m_bitmap = std::move(found);
        return std::exchange(m_handle, b);
    }
    // The selected bitmap's pixels in r, row by row; false when r leaves it.
    bool Read(const RECT& r, std::vector<uint32_t>* out) const {
        std::lock_guard lock(m_bitmap->mutex);
        if (r.left < 0 || r.top < 0 || r.right > m_bitmap->width || r.bottom > m_bitmap->height || r.right <= r.left || r.bottom <= r.top)
            return false;
        out->clear();
        for (LONG y = r.top; y < r.bottom; ++y) {
            const uint32_t* row = m_bitmap->pixels.data() + size_t(y) * size_t(m_bitmap->width);
            out->insert(out->end(), row + r.left, row + r.right);
        }
        return true;
    }

    void Fill(const RECT& r, COLORREF colour) override {
        each(r, [c = argb(colour)](uint32_t& p) { p = c; });
    }
    void Invert(const RECT& r) override {
        each(r, [](uint32_t& p) { p ^= 0x00ffffffu; });
    }
    void Line(POINT a, POINT b, COLORREF colour, int) override {
        const uint32_t c = argb(colour);
        std::lock_guard lock(m_bitmap->mutex);
        const int dx = std::abs(int(b.x - a.x)), dy = -std::abs(int(b.y - a.y));
        const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
        int err = dx + dy, x = int(a.x), y = int(a.y);
        for (int steps = 0; steps <= dx - dy; ++steps) {
            if (x >= 0 && y >= 0 && x < m_bitmap->width && y < m_bitmap->height) m_bitmap->pixels[size_t(y) * size_t(m_bitmap->width) + size_t(x)] = c;
            if (x == int(b.x) && y == int(b.y)) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }
    void Text(const RECT&, std::u16string_view, UINT, const LOGFONT&, COLORREF, const COLORREF*) override {}
    SIZE Measure(std::u16string_view, const LOGFONT&) override { return SIZE{0, 0}; }
    void Pixels(int x, int y, const plat::gdi::PixelView& p) override {
        std::lock_guard lock(m_bitmap->mutex);
        for (int row = 0; row < p.height; ++row) {
            const int ty = y + row;
            if (ty < 0 || ty >= m_bitmap->height) continue;
            for (int col = 0; col < p.width; ++col) {
                const int tx = x + col;
                if (tx < 0 || tx >= m_bitmap->width) continue;
                uint32_t& to = m_bitmap->pixels[size_t(ty) * size_t(m_bitmap->width) + size_t(tx)];
                to = p.alpha ? over(p.pixels[size_t(row) * size_t(p.stride) + size_t(col)], to)
                             : p.pixels[size_t(row) * size_t(p.stride) + size_t(col)] | 0xff000000u;
            }
        }
    }

private:
    template <typename F>
    void each(const RECT& r, F f) {
        std::lock_guard lock(m_bitmap->mutex);
        const LONG left = std::max<LONG>(r.left, 0), top = std::max<LONG>(r.top, 0);
        const LONG right = std::min<LONG>(r.right, m_bitmap->width), bottom = std::min<LONG>(r.bottom, m_bitmap->height);
        for (LONG y = top; y < bottom; ++y)
            for (LONG x = left; x < right; ++x) f(m_bitmap->pixels[size_t(y) * size_t(m_bitmap->width) + size_t(x)]);
    }

    std::shared_ptr<Bitmap> m_bitmap;
    HBITMAP m_handle = kStockBitmap();
};

}  // namespace

HDC CreateCompatibleDC(HDC) { return new MemoryContext; }

BOOL DeleteDC(HDC dc) {
    auto* memory = dynamic_cast<MemoryContext*>(dc);
    if (!memory) return FALSE;
    delete memory;
    return TRUE;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh, DWORD rop) {
    if (!dest || width <= 0 || height <= 0) return FALSE;
    const RECT target{x, y, x + width, y + height};
    switch (rop) {
    case DSTINVERT: dest->Invert(target); return TRUE;
    case BLACKNESS: dest->Fill(target, RGB(0, 0, 0)); return TRUE;
    case WHITENESS: dest->Fill(target, RGB(255, 255, 255)); return TRUE;
    case SRCCOPY: break;
    default: return FALSE;
    }
    const auto* memory = dynamic_cast<const MemoryContext*>(source);
    std::vector<uint32_t> from;
    if (!memory || sw <= 0 || sh <= 0 || !memory->Read(RECT{sx, sy, sx + sw, sy + sh}, &from)) return FALSE;
    if (int64_t(width) * height > plat::gdi::kMaxBitmapPixels) return FALSE;
    std::vector<uint32_t> scaled(size_t(width) * size_t(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            scaled[size_t(row) * size_t(width) + size_t(col)] =
                from[size_t(int64_t(row) * sh / height) * size_t(sw) + size_t(int64_t(col) * sw / width)];
    return plat::gdi::DrawPixels(dest, x, y, plat::gdi::PixelView{scaled.data(), width, height, width});
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    return StretchBlt(dest, x, y, width, height, source, sx, sy, width, height, rop);
}

BOOL InvertRect(HDC dc, const RECT* rect) {
    if (!dc || !rect) return FALSE;
    if (!IsRectEmpty(rect)) dc->Invert(*rect);
    return TRUE;
}

BOOL GetTextMetrics(HDC dc, TEXTMETRIC* metrics) {
    if (!dc || !metrics) return FALSE;
    const LOGFONT font = GetFontDescription(dc->state.font);
    *metrics = dc->Metrics(font);
    metrics->tmWeight = font.lfWeight;
    return TRUE;
}

LOGFONT plat::gdi::GetFontDescription(HFONT font) {
    if (kindOf(font) != kFont) return systemFont();
    Fonts& f = fonts();
    std::lock_guard lock(f.mutex);
    auto it = f.table.find(uint32_t(font));
    return it == f.table.end() ? systemFont() : it->second;
}

BOOL plat::gdi::GetBrushColor(HBRUSH brush, COLORREF* colour) {
    COLORREF c;
    if (brush >= 1 && brush <= 31)
        c = GetSysColor(int(brush) - 1);
    else if (kindOf(brush) == kBrush)
        c = COLORREF(brush) & 0xFFFFFF;
    else
        return FALSE;
    if (colour) *colour = c;
    return TRUE;
}

BOOL plat::gdi::DrawPixels(HDC dc, int x, int y, const PixelView& picture) {
    if (!dc || !picture.pixels || picture.width <= 0 || picture.height <= 0 || picture.stride < picture.width)
        return FALSE;
    dc->Pixels(x, y, picture);
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc) return 0;
    DrawState& s = dc->state;
    HGDIOBJ old = 0;
    switch (kindOf(object)) {
    case kBrush:
    case kNullBrush: old = s.brush ? s.brush : GetStockObject(WHITE_BRUSH); s.brush = object; break;
    case kPen:
    case kNullPen: old = s.pen ? s.pen : GetStockObject(BLACK_PEN); s.pen = object; break;
    case kFont: old = s.font ? s.font : kSystemFont; s.font = object; break;
    case kBitmap:
        if (auto* memory = dynamic_cast<MemoryContext*>(dc)) old = memory->Select(HBITMAP(object));
        break;
    default:
        if (object >= 1 && object <= 31) {  // a system colour brush
            old = s.brush ? s.brush : GetStockObject(WHITE_BRUSH);
            s.brush = object;
        }
        break;
    }
    return old;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    if (!dc) return 0;
    return std::exchange(dc->state.textColor, colour);
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
    if (!dc) return 0;
    return std::exchange(dc->state.bkColor, colour);
}

int SetBkMode(HDC dc, int mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    return std::exchange(dc->state.bkMode, mode);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    COLORREF c;
    if (!dc || !rect || !GetBrushColor(brush, &c)) return 0;
    if (rect->right > rect->left && rect->bottom > rect->top) dc->Fill(*rect, c);
    return 1;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    if (!dc || right <= left || bottom <= top) return FALSE;
    const DrawState& s = dc->state;
    COLORREF fill;
    if (GetBrushColor(s.brush ? s.brush : GetStockObject(WHITE_BRUSH), &fill)) dc->Fill(RECT{left, top, right, bottom}, fill);
    const HGDIOBJ pen = s.pen ? s.pen : GetStockObject(BLACK_PEN);
    if (kindOf(pen) == kPen) {
        const COLORREF c = COLORREF(pen) & 0xFFFFFF;
        const int w = int(uint32_t(pen) >> 24);
        // The outline in one call: a backend draws it at once, not side by side.
        const POINT corners[] = {{left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}};
        dc->Polygon(corners, 4, nullptr, &c, w);
    }
    return TRUE;
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
    if (!dc) return FALSE;
    if (previous) *previous = dc->state.position;
    dc->state.position = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
    if (!dc) return FALSE;
    const HGDIOBJ pen = dc->state.pen ? dc->state.pen : GetStockObject(BLACK_PEN);
    if (kindOf(pen) == kPen) dc->Line(dc->state.position, POINT{x, y}, COLORREF(pen) & 0xFFFFFF, int(uint32_t(pen) >> 24));
    dc->state.position = POINT{x, y};
    return TRUE;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
    if (!dc || !points || count < 2) return FALSE;
    const DrawState& s = dc->state;
    COLORREF fill, pen;
    const bool filled = GetBrushColor(s.brush ? s.brush : GetStockObject(WHITE_BRUSH), &fill);
    const HGDIOBJ p = s.pen ? s.pen : GetStockObject(BLACK_PEN);
    const bool outlined = kindOf(p) == kPen;
    if (outlined) pen = COLORREF(p) & 0xFFFFFF;
    dc->Polygon(points, count, filled ? &fill : nullptr, outlined ? &pen : nullptr, outlined ? int(uint32_t(p) >> 24) : 0);
    return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
    if (!dc || !points || count < 2) return FALSE;
    const HGDIOBJ pen = dc->state.pen ? dc->state.pen : GetStockObject(BLACK_PEN);
    if (kindOf(pen) != kPen) return TRUE;
    for (int i = 1; i < count; ++i) dc->Line(points[i - 1], points[i], COLORREF(pen) & 0xFFFFFF, int(uint32_t(pen) >> 24));
    return TRUE;
}

namespace {

std::u16string_view textOf(const char16_t* text, int count) {
    if (!text) return {};
    return count < 0 ? std::u16string_view(text) : std::u16string_view(text, size_t(count));
}

}  // namespace

BOOL TextOut(HDC dc, int x, int y, const char16_t* text, int count) {
    if (!dc) return FALSE;
    const auto t = textOf(text, count);
    const LOGFONT font = GetFontDescription(dc->state.font);
    const SIZE size = dc->Measure(t, font);
    const RECT r{x, y, x + size.cx, y + size.cy};
    const COLORREF bg = dc->state.bkColor;
    dc->Text(r, t, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX, font, dc->state.textColor,
             dc->state.bkMode == OPAQUE ? &bg : nullptr);
    return TRUE;
}

int DrawText(HDC dc, const char16_t* text, int count, RECT* rect, UINT format) {
    if (!dc || !rect) return 0;
    const auto t = textOf(text, count);
    const LOGFONT font = GetFontDescription(dc->state.font);
    if (format & DT_CALCRECT) {
        const SIZE size = dc->Measure(t, font);
        rect->right = rect->left + size.cx;
        rect->bottom = rect->top + size.cy;
        return size.cy;
    }
    const COLORREF bg = dc->state.bkColor;
    dc->Text(*rect, t, format, font, dc->state.textColor, dc->state.bkMode == OPAQUE ? &bg : nullptr);
    // The height drawn: one line is the font's height, known without shaping the text again.
    LONG height = 0;
    if (t.find_first_of(u"\r\n") == std::u16string_view::npos) height = dc->Metrics(font).tmHeight;
    if (height <= 0) height = dc->Measure(t, font).cy;
    return std::max<LONG>(1, height);
}

BOOL GetTextExtentPoint32(HDC dc, const char16_t* text, int count, SIZE* size) {
    if (!dc || !size) return FALSE;
    *size = dc->Measure(textOf(text, count), GetFontDescription(dc->state.font));
    return TRUE;
}

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }

BOOL PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}

BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return FALSE;
    if (IsRectEmpty(a)) *out = *b;
    else if (IsRectEmpty(b)) *out = *a;
    else *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
    return !IsRectEmpty(out);
}

BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return FALSE;
    *out = RECT{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right), std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(out)) {
        *out = RECT{};
        return FALSE;
    }
    return TRUE;
}

BOOL OffsetRect(RECT* r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

BOOL InflateRect(RECT* r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}

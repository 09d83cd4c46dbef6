// Rich text drawn by the helper library (richtext/RichTextLayout.h), loaded
// beside the base with the first page.
#include "platform/RichText.h"

#include <vector>

#include "../loader/HelperLibrary.h"
#include "../richtext/RichTextLayout.h"

namespace {

using plat::richtext::helper::Picture;
using plat::richtext::helper::Render;

Render loadRenderer() {
    auto* get = reinterpret_cast<decltype(&orvade_richtext_renderer)>(
        plat::loader::LoadBaseHelper("liborvade_richtext.so", "orvade_richtext_renderer", "rich text is not shown"));
    return get ? get() : nullptr;
}

Render renderer() {
    static const Render r = loadRenderer();
    return r;
}

uint32_t Rgb(COLORREF c) { return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c); }

// What the loader lent last: valid until the next picture.
struct Loading {
    const plat::richtext::PictureLoader* loader;
    std::vector<uint32_t> pixels;
};

bool LoadPicture(void* context, const char16_t* source, size_t length, Picture* out) {
    auto* loading = static_cast<Loading*>(context);
    if (!*loading->loader) return false;
    const HBITMAP bitmap = (*loading->loader)(std::u16string_view(source, length));
    if (!bitmap) return false;
    SIZE size{};
    bool alpha = false;
    const bool got = plat::gdi::GetBitmapPixels(bitmap, &loading->pixels, &size, &alpha);
    DeleteObject(bitmap);
    if (!got || size.cx <= 0 || size.cy <= 0) return false;
    *out = Picture{loading->pixels.data(), size.cx, size.cy};
    return true;
}

}  // namespace

int plat::richtext::DrawHtml(HDC dc, const RECT& rect, std::u16string_view html, int scrollY, COLORREF text,
                             COLORREF background, const PictureLoader& pictures) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!dc || width <= 0 || height <= 0 || width > gdi::kMaxBitmapSide || height > gdi::kMaxBitmapSide) return -1;
    const Render render = renderer();
    if (!render) return -1;
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    Loading loading{&pictures, {}};
    int pageHeight = 0;
    if (!render(html.data(), html.size(), width, height, scrollY, Rgb(text), Rgb(background), &LoadPicture, &loading,
                pixels.data(), &pageHeight))
        return -1;
    gdi::DrawPixels(dc, rect.left, rect.top, gdi::PixelView{pixels.data(), width, height, width});
    return pageHeight;
}

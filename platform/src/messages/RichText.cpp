// Rich text drawn by the helper library (richtext/RichTextLayout.h), loaded
// beside the base with the first page.
#include "platform/RichText.h"

#include "../loader/HelperLibrary.h"
#include "../richtext/RichTextLayout.h"

namespace {

using plat::richtext::helper::Functions;
using plat::richtext::helper::Picture;

const Functions* Helper() {
    static const Functions* const f = [] {
        auto* get = reinterpret_cast<decltype(&orvade_richtext_functions)>(plat::loader::LoadBaseHelper(
            "liborvade_richtext.so", "orvade_richtext_functions", "rich text is not shown"));
        return get ? get() : nullptr;
    }();
    return f;
}

uint32_t Rgb(COLORREF c) { return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c); }

}  // namespace

namespace plat::richtext {

bool Page::Lend(void* context, const char16_t* source, size_t length, void* out) {
    auto* page = static_cast<Page*>(context);
    if (!page->m_pictures) return false;
    const HBITMAP bitmap = page->m_pictures(std::u16string_view(source, length));
    if (!bitmap) return false;
    SIZE size{};
    bool alpha = false;
    const bool got = gdi::GetBitmapPixels(bitmap, &page->m_lent, &size, &alpha);
    DeleteObject(bitmap);
    if (!got || size.cx <= 0 || size.cy <= 0) return false;
    // The helper keeps what it is lent: a small page must not hold many large pictures.
    const int64_t pixels = int64_t(size.cx) * size.cy;
    if (pixels > kMaxPicturePixels - page->m_picturePixels) return false;
    page->m_picturePixels += pixels;
    *static_cast<Picture*>(out) = Picture{page->m_lent.data(), size.cx, size.cy};
    return true;
}

Page::Page(std::u16string_view html, PictureLoader pictures) : m_pictures(std::move(pictures)) {
    if (const Functions* f = Helper()) {
        m_page = f->create(html.data(), html.size(),
                           [](void* context, const char16_t* source, size_t length, Picture* out) {
                               return Lend(context, source, length, out);
                           },
                           this);
    }
}

Page::~Page() {
    if (m_page) Helper()->destroy(m_page);
}

int Page::Draw(HDC dc, const RECT& rect, int scrollY, COLORREF text, COLORREF background) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!m_page || !dc || width <= 0 || height <= 0 || width > gdi::kMaxBitmapSide || height > gdi::kMaxBitmapSide)
        return -1;
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    int pageHeight = 0;
    if (!Helper()->render(m_page, width, height, scrollY, Rgb(text), Rgb(background), pixels.data(), &pageHeight))
        return -1;
    gdi::DrawPixels(dc, rect.left, rect.top, gdi::PixelView{pixels.data(), width, height, width});
    return pageHeight;
}

}  // namespace plat::richtext

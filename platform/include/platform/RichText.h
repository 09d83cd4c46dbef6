// Rich text: a page of HTML, parsed once, laid out for a width and drawn
// into a device context from a scroll offset. Nothing is ever fetched from a
// network: the pictures a page shows come only through the caller's loader
// (device files), and style sheets and other resources are not loaded at
// all. The layout is done by a helper library on QtGui that the base loads
// with the first page, so the base links no Qt; without a display (no Qt
// application), and for a page whose layout would cost far more than its
// size (nesting past 256 elements or 4 tables, more than 4096 list items),
// nothing is drawn.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Gdi.h"
#include "platform/WinTypes.h"

namespace plat::richtext {

// A page shows at most this many pictures, of at most this many pixels
// together (one largest bitmap's worth); later ones are left out.
constexpr int kMaxPictures = 32;
constexpr int64_t kMaxPicturePixels = gdi::kMaxBitmapPixels;

// The picture a page names (its "src" as written); 0 for none. The page
// deletes it once it has its pixels.
using PictureLoader = std::function<HBITMAP(std::u16string_view source)>;

class Page {
public:
    Page(std::u16string_view html, PictureLoader pictures);
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Draws the page into rect of dc, scrolled scrollY pixels down, on the
    // background colour with the text colour where the page gives none.
    // Returns the page's height laid out for the rectangle's width, or -1
    // when nothing can be drawn. Pictures are asked for as the page is laid
    // out, each source once.
    int Draw(HDC dc, const RECT& rect, int scrollY, COLORREF text, COLORREF background);

private:
    PictureLoader m_pictures;
    std::vector<uint32_t> m_lent;  // the pixels of the picture last lent to the helper
    int64_t m_picturePixels = 0;   // of every picture lent so far
    void* m_page = nullptr;
    // The helper's picture loader: the caller's picture as pixels lent until the next.
    static bool Lend(void* context, const char16_t* source, size_t length, void* out);
};

}  // namespace plat::richtext

// Rich text: a page of HTML laid out for a width and drawn into a device
// context from a scroll offset. Nothing is ever fetched from a network: the
// pictures a page shows come only through the caller's loader (device files),
// and style sheets and other resources are not loaded at all. The layout is
// done by a helper library on QtGui that the base loads with the first page,
// so the base links no Qt; without a display (no Qt application) nothing is
// drawn.
#pragma once

#include <functional>
#include <string_view>

#include "platform/Gdi.h"
#include "platform/WinTypes.h"

namespace plat::richtext {

// A page shows at most this many pictures; later ones are left out.
constexpr int kMaxPictures = 32;

// The picture a page names (its "src" as written); 0 for none.
using PictureLoader = std::function<HBITMAP(std::u16string_view source)>;

// Draws the page into rect of dc, scrolled scrollY pixels down, on the
// background colour with the text colour as the default. Returns the page's
// height laid out for the rectangle's width, or -1 when nothing can be drawn.
int DrawHtml(HDC dc, const RECT& rect, std::u16string_view html, int scrollY, COLORREF text, COLORREF background,
             const PictureLoader& pictures);

}  // namespace plat::richtext

// The rich-text helper (internal): a library on QtGui that the base loads
// with the first page it draws, so that the base links no Qt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::richtext::helper {

// A picture the caller lends for the length of one call: 0xffRRGGBB pixels,
// row by row.
struct Picture {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};
// The picture of a source; false for none.
using LoadPicture = bool (*)(void* context, const char16_t* source, size_t length, Picture* out);

// Lays out the HTML for width and paints height pixels of it from scrollY
// into pixels (width * height, 0xffRRGGBB) on the background; *pageHeight
// gets the page's whole height. False when nothing can be drawn (no Qt
// application, a size out of range).
using Render = bool (*)(const char16_t* html, size_t length, int width, int height, int scrollY, uint32_t textRgb,
                        uint32_t backgroundRgb, LoadPicture load, void* context, uint32_t* pixels, int* pageHeight);

}  // namespace plat::richtext::helper

extern "C" plat::richtext::helper::Render orvade_richtext_renderer();

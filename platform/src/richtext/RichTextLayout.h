// The rich-text helper (internal): a library on QtGui that the base loads
// with the first page it draws, so that the base links no Qt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::richtext::helper {

// A picture the caller lends until its next picture: 0xffRRGGBB pixels, row by row.
struct Picture {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};
// The picture of a source; false for none.
using LoadPicture = bool (*)(void* context, const char16_t* source, size_t length, Picture* out);

struct Functions {
    // A page of the HTML, parsed once; its pictures come through load (with
    // context, which must outlive the page) as they are laid out. Null when
    // nothing can be drawn (no Qt application, a text beyond 16 M units, a
    // page nested deeper than 256 elements or 4 tables, or with more than
    // 4096 list items: their layout would cost far more than their size).
    void* (*create)(const char16_t* html, size_t length, LoadPicture load, void* context);
    // Lays the page out for width (again only when the width changes) and
    // paints height pixels of it from scrollY into pixels (width * height,
    // 0xffRRGGBB) on the background; *pageHeight gets the page's whole
    // height. False for a size out of range.
    bool (*render)(void* page, int width, int height, int scrollY, uint32_t textRgb, uint32_t backgroundRgb,
                   uint32_t* pixels, int* pageHeight);
    void (*destroy)(void* page);
};

}  // namespace plat::richtext::helper

extern "C" const plat::richtext::helper::Functions* orvade_richtext_functions();

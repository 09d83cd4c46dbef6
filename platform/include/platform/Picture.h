// Pictures a program keeps as plain pixels because it scales, searches or
// changes them itself (the shell's skin): read from an image file of the
// device file system and scaled smoothly by the image layer, drawn with
// plat::gdi::DrawPixels. Bitmaps for drawing as they are: Gdi.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Gdi.h"

namespace plat::gdi {

// 0xffRRGGBB pixels, row by row, width pixels a row; empty when there is none.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool Empty() const { return pixels.empty(); }
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    PixelView View() const { return PixelView{pixels.data(), width, height, width}; }
};

// A picture of an image file in any format the layer reads, opaque as
// stored (transparency is dropped, not composed); false, with the picture
// empty, for a file that cannot be read or is longer than maxFileBytes, is
// no image, or declares a side longer than maxSide (at most kMaxBitmapSide),
// which is checked before it is decoded.
bool LoadPicture(std::u16string_view devicePath, size_t maxFileBytes, int maxSide, Picture* picture);

// The picture scaled smoothly to width by height (the same pixels at its own
// size); empty for an empty picture or a side outside 1..kMaxBitmapSide.
Picture ScalePicture(const Picture& picture, int width, int height);

}  // namespace plat::gdi

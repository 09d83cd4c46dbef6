// A drawing context that keeps the last picture and the inverted rectangles
// handed to it, for tests of what the layer draws without a display.
#pragma once

#include <vector>

#include "platform/Gdi.h"

namespace testing_gdi {

struct RecordingContext final : plat::gdi::DeviceContext {
    std::vector<uint32_t> seen;  // the last picture, row by row
    int width = 0;
    std::vector<RECT> inverted;
    void Fill(const RECT&, COLORREF) override {}
    void Line(POINT, POINT, COLORREF, int) override {}
    void Text(const RECT&, std::u16string_view, UINT, const LOGFONT&, COLORREF, const COLORREF*) override {}
    SIZE Measure(std::u16string_view, const LOGFONT&) override { return {}; }
    void Pixels(int, int, const plat::gdi::PixelView& p) override {
        width = p.width;
        seen.clear();
        for (int y = 0; y < p.height; ++y) seen.insert(seen.end(), p.pixels + y * p.stride, p.pixels + y * p.stride + p.width);
    }
    void Invert(const RECT& r) override { inverted.push_back(r); }
};

}  // namespace testing_gdi

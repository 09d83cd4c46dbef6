// The host list's icons, drawn at compile time into plain pixel arrays (the
// library stays data): a green plus for "Add New", monitors for hosts of the
// hosts file and discovered hosts, and two spare signs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace icons {

enum class Glyph { Plus, Monitor, MonitorSignal, Star, Cross };

template <int N>
using Pixels = std::array<uint32_t, N * N>;

constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kInk = 0xFF202020;

// Coordinates on a 16-unit grid, scaled to N pixels.
template <int N>
constexpr bool Inside(int x, int y, int left, int top, int right, int bottom) {
    const int gx = x * 16 / N, gy = y * 16 / N;
    return gx >= left && gx < right && gy >= top && gy < bottom;
}

template <int N>
constexpr Pixels<N> Draw(Glyph glyph, uint32_t colour) {
    Pixels<N> px{};
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            uint32_t c = kClear;
            switch (glyph) {
            case Glyph::Plus:
                if (Inside<N>(x, y, 6, 2, 10, 14) || Inside<N>(x, y, 2, 6, 14, 10)) c = colour;
                break;
            case Glyph::Monitor:
            case Glyph::MonitorSignal:
                if (Inside<N>(x, y, 1, 2, 15, 11)) c = kInk;                 // frame
                if (Inside<N>(x, y, 2, 3, 14, 10)) c = colour;               // screen
                if (Inside<N>(x, y, 7, 11, 9, 13) || Inside<N>(x, y, 4, 13, 12, 14)) c = kInk;  // stand
                if (glyph == Glyph::MonitorSignal && (Inside<N>(x, y, 11, 0, 16, 2) || Inside<N>(x, y, 13, 0, 16, 4)))
                    c = 0xFFF0C000;  // the discovery mark
                break;
            case Glyph::Star: {
                const int gx = x * 16 / N - 8, gy = y * 16 / N - 8;
                const int ax = gx < 0 ? -gx : gx, ay = gy < 0 ? -gy : gy;
                if (ax + ay < 7 && (ax < 2 || ay < 2 || ax == ay || ax + ay < 4)) c = colour;
                break;
            }
            case Glyph::Cross: {
                const int gx = x * 16 / N, gy = y * 16 / N;
                const int d1 = gx - gy, d2 = gx + gy - 15;
                if (gx >= 2 && gx < 14 && ((d1 >= -1 && d1 <= 1) || (d2 >= -1 && d2 <= 1))) c = colour;
                break;
            }
            }
            px[std::size_t(y * N + x)] = c;
        }
    }
    return px;
}

}  // namespace icons

// What a pen-capture widget records: the points of its strokes in the
// window's client coordinates, and the stroke file they are saved as
// (width 0xFD height 0xFD, then per point x 0xFC y and 0xFD after the last
// point of a stroke, 0xFC after any other; signed decimal numbers, no count
// and no terminator).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct StrokePoint {
    int32_t x = 0;
    int32_t y = 0;
    bool endOfStroke = false;
    bool operator==(const StrokePoint&) const = default;
};

class CStrokeList {
public:
    // More points than any signature takes: past it the stroke ends and
    // nothing more is recorded, so a file stays small enough to send.
    static constexpr size_t kMaxPoints = 100000;

    // Adds a point. A point that continues a straight line moves the line's
    // end instead of adding one. True when a line is to be drawn from *from
    // to the new point.
    bool AddPoint(int32_t x, int32_t y, StrokePoint* from);
    // The last point ends its stroke.
    void EndStroke();
    void Clear();
    bool Changed() const { return m_changed; }
    const std::vector<StrokePoint>& Points() const { return m_points; }

    // The stroke file's bytes for a client area of that size.
    std::string FileBytes(int32_t width, int32_t height) const;

private:
    std::vector<StrokePoint> m_points;
    bool m_changed = true;
};

// A stroke file read back: the area's size and the points.
struct StrokeFile {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<StrokePoint> points;
};

// Reads a stroke file; false when the bytes are not one (a number that is
// not a signed 32-bit decimal, a separator out of place, a point cut short).
// The file's last point may end with either separator.
bool ParseStrokeFile(const uint8_t* data, size_t size, StrokeFile* out);

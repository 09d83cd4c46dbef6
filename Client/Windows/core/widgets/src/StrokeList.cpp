#include "core/widgets/StrokeList.h"

#include <climits>

#include "common/Packet.h"

namespace {

// lo <= v <= hi, or hi < v < lo: the last point lies between the one before
// it and the new one (the first form for a line that runs down or left).
bool Between(int32_t next, int32_t last, int32_t previous) {
    return (next <= last && last <= previous) || (previous < last && last < next);
}

}  // namespace

bool CStrokeList::AddPoint(int32_t x, int32_t y, StrokePoint* from) {
    const size_t n = m_points.size();
    if (n >= 2) {
        StrokePoint& last = m_points[n - 1];
        const StrokePoint& previous = m_points[n - 2];
        const int64_t lx = last.x, ly = last.y, px = previous.x, py = previous.y;
        if (!last.endOfStroke && !previous.endOfStroke && (ly - y) * (px - x) == (lx - x) * (py - y) &&
            Between(y, last.y, previous.y) && Between(x, last.x, previous.x)) {
            last.x = x;
            last.y = y;
            if (from) *from = previous;
            return true;
        }
    }
    if (n >= kMaxPoints) {
        EndStroke();
        return false;
    }
    m_changed = true;
    const bool draw = n > 0 && !m_points.back().endOfStroke;
    if (draw && from) *from = m_points.back();
    m_points.push_back({x, y, false});
    return draw;
}

void CStrokeList::EndStroke() {
    if (!m_points.empty()) m_points.back().endOfStroke = true;
}

void CStrokeList::Clear() {
    m_points.clear();
    m_changed = true;
}

std::string CStrokeList::FileBytes(int32_t width, int32_t height) const {
    std::string out;
    out.reserve(24 + m_points.size() * 12);
    out += std::to_string(width);
    out += char(PKT_END_FIELD);
    out += std::to_string(height);
    out += char(PKT_END_FIELD);
    for (const StrokePoint& p : m_points) {
        out += std::to_string(p.x);
        out += char(PKT_END_SUBFIELD);
        out += std::to_string(p.y);
        out += char(p.endOfStroke ? PKT_END_FIELD : PKT_END_SUBFIELD);
    }
    return out;
}

namespace {

// A signed decimal up to the next byte that is no digit; false for none or
// one beyond 32 bits.
bool ReadNumber(const uint8_t*& at, const uint8_t* end, int32_t* value) {
    const bool negative = at < end && *at == '-';
    if (negative) ++at;
    const uint8_t* digits = at;
    int64_t v = 0;
    for (; at < end && *at >= '0' && *at <= '9'; ++at) {
        v = v * 10 + (*at - '0');
        if (v > int64_t{INT32_MAX} + 1) return false;
    }
    if (at == digits) return false;
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool Expect(const uint8_t*& at, const uint8_t* end, uint8_t separator) {
    if (at >= end || *at != separator) return false;
    ++at;
    return true;
}

}  // namespace

bool ParseStrokeFile(const uint8_t* data, size_t size, StrokeFile* out) {
    if (!data || !out) return false;
    StrokeFile file;
    const uint8_t* at = data;
    const uint8_t* const end = data + size;
    if (!ReadNumber(at, end, &file.width) || !Expect(at, end, PKT_END_FIELD)) return false;
    if (!ReadNumber(at, end, &file.height) || !Expect(at, end, PKT_END_FIELD)) return false;
    while (at < end) {
        if (file.points.size() >= CStrokeList::kMaxPoints * 10) return false;
        StrokePoint p;
        if (!ReadNumber(at, end, &p.x) || !Expect(at, end, PKT_END_SUBFIELD) || !ReadNumber(at, end, &p.y))
            return false;
        if (at < end) {
            if (*at != PKT_END_FIELD && *at != PKT_END_SUBFIELD) return false;
            p.endOfStroke = *at++ == PKT_END_FIELD;
        }
        file.points.push_back(p);
    }
    *out = std::move(file);
    return true;
}

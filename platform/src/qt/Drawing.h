// Drawing into the back buffers with Qt: the device contexts of the windows,
// and the fonts and shapes the GUI thread keeps.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Gdi.h"
#include "platform/Window.h"

namespace plat::qt::detail {

inline QColor toQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

inline QString toQString(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

// The GUI thread's fonts, each made once: a new QFont looks its engine up
// again, and laying a text out to measure it costs as much as drawing it.
// Qt's fonts are not shared across threads, so other threads make their own.
class FontCache {
public:
    struct Entry {
        QFont font;
        std::unordered_map<std::u16string, QSize> sizes;  // measured texts
        std::optional<TEXTMETRIC> metrics;
    };
    Entry& Of(const LOGFONT& lf);
    static constexpr size_t kFonts = 16, kSizes = 512;

private:
    // What makeQFont reads of a LOGFONT.
    struct Key {
        LONG height, weight;
        BYTE italic, underline, strikeOut;
        std::u16string face;
        bool operator==(const Key&) const = default;
    };
    std::vector<std::pair<Key, std::unique_ptr<Entry>>> m_entries;
};

FontCache* guiFonts();  // null off the GUI thread or while detached (QtHost.cpp)

// Polygons drawn before, as the pixels they left: a control draws the same
// disc at the same place of a buffer of the same size again and again, and
// Qt's rasterizer costs far more than copying them. The key is all that
// decides those pixels, the buffer's size too (Qt clips at its edge); the
// polygon is drawn once on a clear buffer of that size, with no smoothing,
// so its pixels are opaque or untouched and copy over anything unchanged.
class ShapeCache {
public:
    struct Shape {
        QPoint at;
        QImage pixels;
    };
    static constexpr int kPoints = 64;
    static constexpr size_t kShapes = 256;

    template <typename SetUp>
    const Shape& Of(const QPolygon& polygon, const COLORREF* fill, const COLORREF* pen, int penWidth, QSize buffer,
                    SetUp setUp) {
        std::vector<int64_t> key{buffer.width(), buffer.height(), fill ? int64_t(*fill) : -1, pen ? int64_t(*pen) : -1, penWidth};
        for (const QPoint& pt : polygon) key.insert(key.end(), {pt.x(), pt.y()});
        if (auto known = m_shapes.find(key); known != m_shapes.end()) return known->second;
        if (m_shapes.size() >= kShapes) m_shapes.clear();
        QImage canvas(buffer, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        {
            QPainter p(&canvas);
            setUp(p, fill, pen, penWidth);
            p.drawPolygon(polygon);
        }
        const int margin = std::max(penWidth, 1) + 2;
        const QRect area = polygon.boundingRect().adjusted(-margin, -margin, margin, margin).intersected(canvas.rect());
        Shape& shape = m_shapes[std::move(key)];
        shape.at = area.topLeft();
        if (!area.isEmpty()) shape.pixels = canvas.copy(area);
        return shape;
    }

private:
    std::map<std::vector<int64_t>, Shape> m_shapes;
};

ShapeCache* guiShapes();  // null off the GUI thread or while detached (QtHost.cpp)

// A new context drawing into the back buffer of hwnd.
HDC NewContext(HWND hwnd);

}  // namespace plat::qt::detail

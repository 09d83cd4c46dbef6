#include "Drawing.h"

#include <QFontMetrics>
#include <algorithm>

#include "Surfaces.h"

namespace plat::qt::detail {

using plat::gdi::DeviceContext;

namespace {

// The face name, never read past its array.
std::u16string_view faceOf(const LOGFONT& lf) {
    const auto* end = std::find(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), u'\0');
    return std::u16string_view(lf.lfFaceName, size_t(end - lf.lfFaceName));
}

QFont makeQFont(const LOGFONT& lf) {
    QFont font;
    const std::u16string_view face = faceOf(lf);
    if (!face.empty()) font.setFamily(QString::fromUtf16(face.data(), qsizetype(face.size())));
    // Negative: the character height; positive: the cell height.
    int px = lf.lfHeight < 0 ? -lf.lfHeight : (lf.lfHeight > 0 ? std::max(1, int(lf.lfHeight * 4 / 5)) : 12);
    font.setPixelSize(std::max(px, 1));
    font.setBold(lf.lfWeight >= 600);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    return font;
}

}  // namespace

FontCache::Entry& FontCache::Of(const LOGFONT& lf) {
    Key key{lf.lfHeight, lf.lfWeight, lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, std::u16string(faceOf(lf))};
    for (auto& [k, e] : m_entries)
        if (k == key) return *e;
    if (m_entries.size() >= kFonts) m_entries.erase(m_entries.begin());
    auto entry = std::make_unique<Entry>();
    entry->font = makeQFont(lf);
    return *m_entries.emplace_back(std::move(key), std::move(entry)).second;
}

namespace {

TEXTMETRIC metricsOf(const QFont& font) {
    const QFontMetrics m(font);
    TEXTMETRIC tm{};
    tm.tmHeight = m.height();
    tm.tmAscent = m.ascent();
    tm.tmDescent = m.descent();
    tm.tmInternalLeading = std::max(0, m.height() - font.pixelSize());
    tm.tmExternalLeading = std::max(0, m.lineSpacing() - m.height());
    tm.tmAveCharWidth = m.averageCharWidth();
    tm.tmMaxCharWidth = m.maxWidth();
    return tm;
}

QFont toQFont(const LOGFONT& lf) {
    if (FontCache* fonts = guiFonts()) return fonts->Of(lf).font;
    return makeQFont(lf);
}

class QtContext final : public DeviceContext {
public:
    explicit QtContext(std::shared_ptr<Surface> surface) : m_surface(std::move(surface)) {}
    ~QtContext() override {
        std::lock_guard lock(m_surface->mutex);
        if (m_painter.isActive()) m_painter.end();
    }

    void Fill(const RECT& r, COLORREF colour) override {
        std::lock_guard lock(m_surface->mutex);
        QPainter& p = Painter();
        p.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), toQColor(colour));
    }
    void Line(POINT from, POINT to, COLORREF colour, int width) override {
        std::lock_guard lock(m_surface->mutex);
        QPainter& p = Painter();
        p.setPen(QPen(toQColor(colour), std::max(width, 1)));
        p.drawLine(from.x, from.y, to.x, to.y);
    }
    void Text(const RECT& r, std::u16string_view text, UINT format, const LOGFONT& font, COLORREF fg,
              const COLORREF* bg) override {
        int flags = 0;
        flags |= (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
        flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
        if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
        if (format & DT_SINGLELINE) flags |= Qt::TextSingleLine;
        if (format & DT_NOCLIP) flags |= Qt::TextDontClip;
        const QRect box(r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::lock_guard lock(m_surface->mutex);
        QPainter& p = Painter();
        p.setFont(toQFont(font));
        const QString s = toQString(text);
        if (bg) p.fillRect(p.boundingRect(box, flags, s).intersected((format & DT_NOCLIP) ? QRect(box.topLeft(), QSize(1 << 15, 1 << 15)) : box),
                           toQColor(*bg));
        p.setPen(toQColor(fg));
        p.drawText(box, flags, s);
    }
    SIZE Measure(std::u16string_view text, const LOGFONT& font) override {
        QSize size;
        if (FontCache* fonts = guiFonts()) {
            FontCache::Entry& entry = fonts->Of(font);
            auto known = entry.sizes.find(std::u16string(text));
            if (known == entry.sizes.end()) {
                if (entry.sizes.size() >= FontCache::kSizes) entry.sizes.clear();
                known = entry.sizes.emplace(text, QFontMetrics(entry.font).size(0, toQString(text))).first;
            }
            size = known->second;
        } else {
            size = QFontMetrics(makeQFont(font)).size(0, toQString(text));
        }
        return SIZE{size.width(), size.height()};
    }
    void Pixels(int x, int y, const plat::gdi::PixelView& picture) override {
        // Read in place: the caller's pixels outlive this call.
        const QImage source(reinterpret_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                            qsizetype(picture.stride) * 4, picture.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        std::lock_guard lock(m_surface->mutex);
        QPainter& p = Painter();
        if (!picture.alpha) p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(x, y, source);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    // By hand: Qt's raster operations invert the alpha of a child's
    // premultiplied pixels too. Each channel becomes alpha minus itself.
    void Invert(const RECT& r) override {
        std::lock_guard lock(m_surface->mutex);
        QImage& image = m_surface->image;
        const QRect area = QRect(r.left, r.top, r.right - r.left, r.bottom - r.top).intersected(image.rect());
        for (int y = area.top(); y <= area.bottom(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = row[x];
                const int a = qAlpha(p);
                row[x] = qRgba(a - qRed(p), a - qGreen(p), a - qBlue(p), a);
            }
        }
    }
    void Polygon(const POINT* points, int count, const COLORREF* fill, const COLORREF* pen, int penWidth) override {
        if (!fill && pen && penWidth <= 1 && count == 4) {
            std::lock_guard lock(m_surface->mutex);
            QPainter& p = Painter();
            if (const QRect frame = frameOf(points); !frame.isEmpty() && m_surface->image.rect().contains(frame)) {
                // A rectangle's outline, as Rectangle draws it: four fills
                // give the pixels Qt's stroker would, at a fraction of its cost.
                const QColor c = toQColor(*pen);
                p.fillRect(QRect(frame.left(), frame.top(), frame.width(), 1), c);
                p.fillRect(QRect(frame.left(), frame.bottom(), frame.width(), 1), c);
                p.fillRect(QRect(frame.left(), frame.top(), 1, frame.height()), c);
                p.fillRect(QRect(frame.right(), frame.top(), 1, frame.height()), c);
                return;
            }
        }
        QPolygon polygon;
        for (int i = 0; i < count; ++i) polygon << QPoint(points[i].x, points[i].y);
        std::lock_guard lock(m_surface->mutex);
        QPainter& p = Painter();
        if (ShapeCache* shapes = guiShapes(); shapes && count <= ShapeCache::kPoints) {
            const ShapeCache::Shape& shape = shapes->Of(polygon, fill, pen, penWidth, m_surface->image.size(), &setUp);
            p.drawImage(shape.at, shape.pixels);
            return;
        }
        setUp(p, fill, pen, penWidth);
        p.drawPolygon(polygon);
    }
    // The pen and brush a polygon is drawn with.
    static void setUp(QPainter& p, const COLORREF* fill, const COLORREF* pen, int penWidth) {
        p.setPen(pen ? QPen(toQColor(*pen), std::max(penWidth, 1)) : QPen(Qt::NoPen));
        p.setBrush(fill ? QBrush(toQColor(*fill)) : QBrush(Qt::NoBrush));
    }
    TEXTMETRIC Metrics(const LOGFONT& font) override {
        if (FontCache* fonts = guiFonts()) {
            FontCache::Entry& entry = fonts->Of(font);
            if (!entry.metrics) entry.metrics = metricsOf(entry.font);
            return *entry.metrics;
        }
        return metricsOf(makeQFont(font));
    }

private:
    // The pixels a closed outline through four points covers when they are a
    // rectangle's corners clockwise from the top left; empty otherwise, and
    // for a single pixel, which Qt's stroker leaves out.
    static QRect frameOf(const POINT* c) {
        if (c[0].y != c[1].y || c[1].x != c[2].x || c[2].y != c[3].y || c[3].x != c[0].x) return QRect();
        if (c[1].x < c[0].x || c[2].y < c[1].y || (c[1].x == c[0].x && c[2].y == c[1].y)) return QRect();
        return QRect(QPoint(c[0].x, c[0].y), QPoint(c[2].x, c[2].y));
    }

    // One painter for the context's life, begun on first use (under the
    // surface's mutex). It keeps a reference to the buffer it paints, so a
    // buffer replaced meanwhile (a resize, a detach) stays valid until the
    // painter moves to the new one.
    QPainter& Painter() {
        if (m_painter.isActive() && m_surface->image.constBits() != m_bits) {
            m_painter.end();
            m_kept = QImage();
        }
        if (!m_painter.isActive()) {
            m_painter.begin(&m_surface->image);
            m_bits = m_surface->image.constBits();
            m_kept = m_surface->image;
        }
        return m_painter;
    }

    std::shared_ptr<Surface> m_surface;
    QPainter m_painter;
    const uchar* m_bits = nullptr;
    QImage m_kept;
};

}  // namespace

HDC NewContext(HWND hwnd) { return new QtContext(surfaces().Get(hwnd)); }

}  // namespace plat::qt::detail

// Qt Widgets behind the window layer, and the one event loop of the GUI
// thread. See QtHost.h for the design.
#include "platform/QtHost.h"

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPolygon>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Screen.h"

namespace {

using plat::gdi::DeviceContext;
using namespace plat::window;

// ---- back buffers ----

// A window's back buffer. Drawn from the window's thread, shown from the GUI
// thread; the mutex guards the image and is held only inside our own code.
struct Surface {
    std::mutex mutex;
    QImage image;
};

class Surfaces {
public:
    // The buffer of hwnd at its current client size. New area is white in a
    // top-level window and clear in a child, so that what a child does not
    // paint shows what lies below it, as on Windows (a group box's inside).
    std::shared_ptr<Surface> Get(HWND hwnd) {
        RECT rc{};
        GetClientRect(hwnd, &rc);
        const QSize size(std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1));
        std::shared_ptr<Surface> s;
        QImage spare;
        {
            std::lock_guard lock(m_mutex);
            auto& slot = m_map[hwnd];
            if (!slot) {
                slot = std::make_shared<Surface>();
                spare = takeSpare(size);
            }
            s = slot;
        }
        std::lock_guard lock(s->mutex);
        if (s->image.size() != size) {
            QImage fresh = spare.size() == size ? std::move(spare) : QImage(size, QImage::Format_ARGB32_Premultiplied);
            fresh.fill(GetAncestor(hwnd, GA_PARENT) ? Qt::transparent : Qt::white);
            if (!s->image.isNull()) {
                QPainter p(&fresh);
                p.drawImage(0, 0, s->image);
            }
            s->image = std::move(fresh);
        }
        return s;
    }
    std::shared_ptr<Surface> Find(HWND hwnd) {
        std::lock_guard lock(m_mutex);
        auto it = m_map.find(hwnd);
        return it == m_map.end() ? nullptr : it->second;
    }
    void Remove(HWND hwnd) {
        std::shared_ptr<Surface> gone;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_map.find(hwnd);
            if (it == m_map.end()) return;
            gone = std::move(it->second);
            m_map.erase(it);
        }
        // Its buffer serves the next window of its size: a buffer keeps the
        // paint engine Qt builds for it at its first painter. One a context
        // still paints is shared, and stays with that context.
        QImage image;
        {
            std::lock_guard lock(gone->mutex);
            if (!gone->image.isDetached()) return;
            image = std::move(gone->image);
        }
        std::lock_guard lock(m_mutex);
        m_spareBytes += image.sizeInBytes();
        m_spares.push_back(std::move(image));
        while (m_spareBytes > kSpareBytes) {
            m_spareBytes -= m_spares.front().sizeInBytes();
            m_spares.erase(m_spares.begin());
        }
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_map.clear();
        m_spares.clear();
        m_spareBytes = 0;
    }

private:
    static constexpr qsizetype kSpareBytes = 4 << 20;
    // A spare buffer of that size, or none; m_mutex held.
    QImage takeSpare(const QSize& size) {
        for (auto it = m_spares.rbegin(); it != m_spares.rend(); ++it) {
            if (it->size() != size) continue;
            QImage image = std::move(*it);
            m_spareBytes -= image.sizeInBytes();
            m_spares.erase(std::next(it).base());
            return image;
        }
        return QImage();
    }

    std::mutex m_mutex;
    std::vector<QImage> m_spares;  // oldest first
    qsizetype m_spareBytes = 0;
    std::unordered_map<HWND, std::shared_ptr<Surface>> m_map;
};

Surfaces& surfaces() {
    static Surfaces* s = new Surfaces;
    return *s;
}

QColor toQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

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

QString toQString(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

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
    Entry& Of(const LOGFONT& lf) {
        Key key{lf.lfHeight, lf.lfWeight, lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, std::u16string(faceOf(lf))};
        for (auto& [k, e] : m_entries)
            if (k == key) return *e;
        if (m_entries.size() >= kFonts) m_entries.erase(m_entries.begin());
        auto entry = std::make_unique<Entry>();
        entry->font = makeQFont(lf);
        return *m_entries.emplace_back(std::move(key), std::move(entry)).second;
    }
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

FontCache* guiFonts();  // null off the GUI thread or while detached

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

ShapeCache* guiShapes();  // null off the GUI thread or while detached

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

// ---- keys ----

UINT virtualKeyOf(const QKeyEvent* e) {
    const int k = e->key();
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return UINT(k);  // 'A'..'Z'
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return keypad ? VK_NUMPAD0 + UINT(k - Qt::Key_0) : UINT(k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return VK_F1 + UINT(k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Select: return VK_SELECT;
    case Qt::Key_Execute: return VK_EXECUTE;
    case Qt::Key_Cancel: return VK_CANCEL;
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    case Qt::Key_Plus: return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Minus: return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Period: return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Slash: return keypad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Comma: return VK_OEM_COMMA;
    case Qt::Key_Semicolon: return VK_OEM_1;
    case Qt::Key_QuoteLeft: return VK_OEM_3;
    case Qt::Key_BracketLeft: return VK_OEM_4;
    case Qt::Key_Backslash: return VK_OEM_5;
    case Qt::Key_BracketRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: return VK_OEM_7;
    default: return 0;
    }
}

WPARAM mouseKeys(const QMouseEvent* e) {
    WPARAM w = 0;
    if (e->buttons() & Qt::LeftButton) w |= MK_LBUTTON;
    if (e->buttons() & Qt::RightButton) w |= MK_RBUTTON;
    if (e->modifiers() & Qt::ShiftModifier) w |= MK_SHIFT;
    if (e->modifiers() & Qt::ControlModifier) w |= MK_CONTROL;
    return w;
}

// ---- widgets ----

// A window's back buffer at pos, clipped to clip (what its ancestors and its
// own rectangle leave of it).
void drawSurface(QPainter& p, HWND hwnd, const QPoint& pos, const QRect& clip) {
    if (auto s = surfaces().Find(hwnd)) {
        std::lock_guard lock(s->mutex);
        p.setClipRect(clip);
        p.drawImage(pos, s->image);
    }
}

// The shown children of parent and theirs, from the bottom of the z-order up,
// each over what lies below it and inside its ancestors, as Qt would compose
// child widgets. origin: the screen position of the painter's (0, 0).
void drawChildren(QPainter& p, HWND parent, const QPoint& origin, const QRect& clip) {
    std::vector<HWND> order;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) order.push_back(c);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const HWND c = *it;
        if (!(GetWindowLongPtr(c, GWL_STYLE) & WS_VISIBLE) || IsMessageOnlyWindow(c)) continue;
        RECT r{};
        GetWindowRect(c, &r);
        const QPoint pos(r.left - origin.x(), r.top - origin.y());
        const QRect box = QRect(pos, QSize(r.right - r.left, r.bottom - r.top)).intersected(clip);
        if (box.isEmpty()) continue;
        drawSurface(p, c, pos, box);
        drawChildren(p, c, origin, box);
    }
}

// The frame a top-level window's style asks for, over its outer pixels (the
// layer keeps no non-client area): a line for WS_BORDER, a second, grey one
// inside it for WS_DLGFRAME.
void drawFrame(QPainter& p, HWND hwnd, const QRect& box) {
    const LONG_PTR style = GetWindowLongPtr(hwnd, GWL_STYLE);
    if (!(style & (WS_BORDER | WS_DLGFRAME))) return;
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(toQColor(GetSysColor(COLOR_WINDOWTEXT)));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    if (style & WS_DLGFRAME) {
        p.setPen(toQColor(GetSysColor(COLOR_GRAYTEXT)));
        p.drawRect(box.adjusted(1, 1, -2, -2));
    }
}

// The widget of one window, or (hwnd 0) the device's screen: one Qt window
// of the screen's size with the top-level windows inside it.
class HostWidget final : public QWidget {
public:
    HostWidget(HWND hwnd, QWidget* parent) : QWidget(parent), m_hwnd(hwnd), m_child(hwnd && GetAncestor(hwnd, GA_PARENT)) {
        if (!m_child) setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
        // Only the screen takes Qt's focus and Qt's taps: focus inside belongs
        // to the layer, and the layer's hit test and z-order decide which
        // window a tap is for, not Qt's; Qt activates nothing on its own.
        setFocusPolicy(hwnd ? Qt::NoFocus : Qt::StrongFocus);
        if (hwnd) setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

protected:
    // A top-level window draws its children itself; a child's widget (made
    // only when asked for) draws nothing.
    void paintEvent(QPaintEvent*) override {
        if (m_child) return;
        QPainter p(this);
        if (!m_hwnd) {
            p.fillRect(rect(), toQColor(GetSysColor(COLOR_BACKGROUND)));
            return;
        }
        if (surfaces().Find(m_hwnd)) {
            drawSurface(p, m_hwnd, QPoint(0, 0), rect());
        } else {
            p.fillRect(rect(), Qt::white);
        }
        RECT r{};
        GetWindowRect(m_hwnd, &r);
        drawChildren(p, m_hwnd, QPoint(r.left, r.top), rect());
        drawFrame(p, m_hwnd, rect());
    }
    // Every handler below is reached through here: nothing thrown in one
    // crosses Qt's event loop; the event is ignored and the failure logged.
    bool event(QEvent* e) override {
        try {
            return handle(e);
        } catch (const std::exception& x) {
            std::fprintf(stderr, "window layer: event %d failed: %s\n", int(e->type()), x.what());
        } catch (...) {
            std::fprintf(stderr, "window layer: event %d failed\n", int(e->type()));
        }
        e->ignore();
        return false;
    }
    bool handle(QEvent* e) {
        // Tab and Backtab would move Qt's focus: they are keys like any other.
        if (e->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(e));
            return true;
        }
        if (e->type() == QEvent::ShortcutOverride) return false;
        return QWidget::event(e);
    }
    bool focusNextPrevChild(bool) override { return false; }
    void keyPressEvent(QKeyEvent* e) override { key(e, true); }
    void keyReleaseEvent(QKeyEvent* e) override { key(e, false); }
    void mousePressEvent(QMouseEvent* e) override {
        mouse(e, e->button() == Qt::RightButton ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) mouse(e, WM_LBUTTONDBLCLK);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        mouse(e, e->button() == Qt::RightButton ? WM_RBUTTONUP : WM_LBUTTONUP);
    }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(e, WM_MOUSEMOVE); }

private:
    // Qt says which key went down and where a tap landed; the layer decides
    // which window takes it.
    void key(QKeyEvent* e, bool down) {
        const UINT vk = virtualKeyOf(e);
        LPARAM l = LPARAM(1) | LPARAM((e->nativeScanCode() & 0xFF) << 16);
        if (e->modifiers() & Qt::AltModifier) l |= LPARAM(1) << 29;
        if (!down) l |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
        else if (e->isAutoRepeat()) l |= LPARAM(1) << 30;
        const std::u16string chars = down ? charactersOf(vk, e->text()) : std::u16string();
        if (vk || !chars.empty()) plat::input::InjectKey(vk, down, l, chars);
    }
    // The characters a key types as the device's WM_CHAR gives them. Some
    // platforms hand Qt a NUL for Enter or a function key and 0x7F for
    // Delete; the device types nothing for those but Enter, Backspace, Tab
    // and Escape, which always type their control character.
    static std::u16string charactersOf(UINT vk, const QString& text) {
        std::u16string chars;
        for (QChar c : text) {
            if (c.unicode() != 0 && c.unicode() != 0x7F) chars.push_back(char16_t(c.unicode()));
        }
        if (chars.empty()) {
            switch (vk) {
            case VK_RETURN: chars = u"\r"; break;
            case VK_BACK: chars = u"\b"; break;
            case VK_TAB: chars = u"\t"; break;
            case VK_ESCAPE: chars = u"\x1b"; break;
            default: break;
            }
        }
        return chars;
    }
    void mouse(QMouseEvent* e, UINT msg) {
        POINT p{LONG(e->position().x()), LONG(e->position().y())};
        if (m_hwnd) ClientToScreen(m_hwnd, &p);  // the screen's own are screen coordinates
        plat::input::InjectMouse(msg, p, mouseKeys(e));
    }

    HWND m_hwnd;
    bool m_child;
};

class Widgets {
public:
    HostWidget* Find(HWND h) {
        auto it = m_map.find(h);
        return it == m_map.end() ? nullptr : it->second.data();
    }

    // A child window has no Qt widget of its own (routing, hit tests and
    // z-order are the layer's): its top-level window's widget draws it, so a
    // change to a child repaints that widget where the child is.
    void Sync(HWND h, unsigned what) {
        if (what & kWindowCursor) syncCursor();
        if (!h) return;
        if (!IsWindow(h) || IsMessageOnlyWindow(h)) {
            remove(h);
            return;
        }
        const HWND parent = GetAncestor(h, GA_PARENT);
        if (parent) {
            syncChild(h, what);
            if (HostWidget* w = Find(h)) syncWidget(h, w, parent, what);
            return;
        }
        HostWidget* w = ensure(h);
        if (w) syncWidget(h, w, parent, what);
    }

    // The widget of a window; for a child, made now: it draws nothing, it
    // only takes Qt events sent to it as its window's own.
    HostWidget* WidgetOf(HWND h) {
        if (HostWidget* w = Find(h)) return w;
        if (!h || !IsWindow(h) || IsMessageOnlyWindow(h)) return nullptr;
        const HWND parent = GetAncestor(h, GA_PARENT);
        if (!parent || !Find(GetAncestor(h, GA_ROOT))) return nullptr;
        HostWidget* w = ensure(h);
        if (w) syncWidget(h, w, parent, kWindowCreated);
        return w;
    }

private:
    void syncChild(HWND h, unsigned what) {
        const HWND top = GetAncestor(h, GA_ROOT);
        const auto known = m_topOf.find(h);
        if (known == m_topOf.end() || known->second != top) {
            if (known != m_topOf.end()) repaint(known->second);
            m_topOf[h] = top;
            repaint(top);
            return;
        }
        if (what & (kWindowGeometry | kWindowCreated | kWindowShown | kWindowZOrder | kWindowDestroyed)) {
            repaint(top);
        } else if (what & kWindowPresent) {
            HostWidget* t = Find(top);
            if (!t) return;
            RECT r{}, tr{};
            GetWindowRect(h, &r);
            GetWindowRect(top, &tr);
            t->update(QRect(r.left - tr.left, r.top - tr.top, r.right - r.left, r.bottom - r.top));
        }
    }

    void repaint(HWND top) {
        if (HostWidget* t = Find(top)) t->update();
    }

    void syncWidget(HWND h, HostWidget* w, HWND parent, unsigned what) {
        RECT r{};
        GetWindowRect(h, &r);
        if (parent) {
            RECT pr{};
            GetWindowRect(parent, &pr);
            OffsetRect(&r, -pr.left, -pr.top);
        }
        const QRect geometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (w->geometry() != geometry) w->setGeometry(geometry);
        // The enabled state stays the layer's: a disabled Qt widget would
        // disable whatever Qt puts inside it.
        const LONG_PTR style = GetWindowLongPtr(h, GWL_STYLE);
        if (!parent) {
            const QString title = toQString(GetWindowString(h));
            if (w->windowTitle() != title) w->setWindowTitle(title);
        }
        if (!parent && (what & (kWindowZOrder | kWindowCreated))) {
            // Within a flush the top-level windows are restacked once, at
            // its end.
            if (m_deferRestack) {
                m_restack.insert(parent);
            } else {
                restack(parent, h);
            }
        }
        if (w->isVisible() != bool(style & WS_VISIBLE)) w->setVisible(style & WS_VISIBLE);
        if (!parent && (what & kWindowFocus) && GetForegroundWindow() == h && w->isVisible()) {
            // The screen takes the keys; the layer routes them to the foreground.
            if (!m_screen->isActiveWindow()) m_screen->activateWindow();
        }
        if (what & (kWindowPresent | kWindowGeometry | kWindowCreated | kWindowShown)) w->update();
    }

public:
    // Sync calls between these two restack each parent once, at the end.
    void BeginBatch() { m_deferRestack = true; }
    void EndBatch() {
        m_deferRestack = false;
        std::unordered_set<HWND> parents;
        parents.swap(m_restack);
        for (HWND parent : parents) {
            if (!parent || IsWindow(parent)) restack(parent, 0);
        }
    }

    // The device's screen, once a window has made it; else null.
    QWidget* Screen() const { return m_screen.data(); }

    void Clear() {
        delete m_screen.data();  // every widget is inside it
        m_map.clear();
        m_topOf.clear();
    }

private:
    HostWidget* ensure(HWND h) {
        if (HostWidget* w = Find(h)) return w;
        const HWND parent = GetAncestor(h, GA_PARENT);
        QWidget* pw = nullptr;
        if (parent) {
            pw = ensure(parent);
            if (!pw) return nullptr;
        } else {
            pw = screen();
        }
        auto* w = new HostWidget(h, pw);
        m_map[h] = w;
        return w;
    }

    HostWidget* screen() {
        if (!m_screen) {
            const SIZE size = plat::screen::ScreenSize();
            m_screen = new HostWidget(0, nullptr);
            m_screen->setWindowTitle(QStringLiteral("Orvade"));
            m_screen->setFixedSize(int(size.cx), int(size.cy));
            m_screen->show();
        }
        return m_screen;
    }

    void remove(HWND h) {
        surfaces().Remove(h);
        if (const auto known = m_topOf.find(h); known != m_topOf.end()) {
            repaint(known->second);
            m_topOf.erase(known);
        }
        auto it = m_map.find(h);
        if (it == m_map.end()) return;
        delete it->second.data();  // Qt deletes the child widgets with it
        m_map.erase(it);
    }

    // Qt's stacking follows our z-order, of children and of top-level
    // windows alike: raise from the bottom up.
    void restack(HWND parent, HWND) {
        std::vector<HWND> order;
        for (HWND c = parent ? GetWindow(parent, GW_CHILD) : GetTopWindow(0); c; c = GetWindow(c, GW_HWNDNEXT))
            order.push_back(c);
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (HostWidget* w = Find(*it)) w->raise();
    }

    void syncCursor() {
        const bool wait = GetCursor() == IDC_WAIT;
        if (wait && !m_waitCursor) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        if (!wait && m_waitCursor) QGuiApplication::restoreOverrideCursor();
        m_waitCursor = wait;
    }

    std::unordered_map<HWND, QPointer<HostWidget>> m_map;
    std::unordered_map<HWND, HWND> m_topOf;  // each child seen, and its top-level window
    bool m_deferRestack = false;
    std::unordered_set<HWND> m_restack;
    QPointer<HostWidget> m_screen;
    bool m_waitCursor = false;
};

// ---- the backend and the event loop ----

struct Host {
    QObject* gui = nullptr;  // lives on the GUI thread; queued calls go through it
    Widgets widgets;
    QSocketNotifier* wakeNotifier = nullptr;
    QSocketNotifier* timerNotifier = nullptr;
    int timerFd = -1;
    // When the timer descriptor fires; max: disarmed. Arming it again for the
    // same moment is skipped, so a round trip makes no timer system call.
    std::chrono::steady_clock::time_point armedFor = std::chrono::steady_clock::time_point::max();
    bool inWait = false;
    int waitLevel = 0;
    bool asleep = false;       // in Sleep: Qt runs, our queue is not served
    int syncing = 0;           // inside flush
    bool wokeAsleep = false;   // something arrived meanwhile

    // Descriptors watched for the program's sockets (PostWhenReadable): a
    // notifier each, enabled while a watch is armed.
    struct Watch {
        QSocketNotifier* notifier = nullptr;
        HWND hwnd = 0;
        UINT msg = 0;
        // Posts when readable. The notifier stays enabled after it posted
        // (enabling and disabling it wakes glib's loop each time) and is
        // disabled only when it fires again unarmed.
        bool armed = false;
    };
    std::unordered_map<int, Watch> watches;

    FontCache fonts;    // GUI thread only
    ShapeCache shapes;  // GUI thread only

    std::mutex pendingMutex;
    std::unordered_map<HWND, unsigned> pending;  // guarded by pendingMutex
    bool flushScheduled = false;                 // guarded by pendingMutex
};

Host* g_host = nullptr;  // GUI thread; set while attached

FontCache* guiFonts() {
    Host* host = g_host;
    return host && QThread::currentThread() == host->gui->thread() ? &host->fonts : nullptr;
}

ShapeCache* guiShapes() {
    Host* host = g_host;
    return host && QThread::currentThread() == host->gui->thread() ? &host->shapes : nullptr;
}

void flush() {
    if (!g_host) return;
    std::unordered_map<HWND, unsigned> work;
    {
        std::lock_guard lock(g_host->pendingMutex);
        work.swap(g_host->pending);
        g_host->flushScheduled = false;
    }
    // Parents before children: lower handles first is not enough, so make
    // sure each widget's parent exists (ensure does) and apply in any order.
    ++g_host->syncing;
    g_host->widgets.BeginBatch();
    for (const auto& [h, what] : work) g_host->widgets.Sync(h, what);
    g_host->widgets.EndBatch();
    --g_host->syncing;
}

class QtBackend final : public WindowBackend {
public:
    void Notify(HWND hwnd, unsigned what) override {
        Host* host = g_host;
        if (!host) return;
        bool schedule;
        {
            std::lock_guard lock(host->pendingMutex);
            host->pending[hwnd] |= what;
            schedule = !std::exchange(host->flushScheduled, true);
        }
        if (schedule) QMetaObject::invokeMethod(host->gui, &flush, Qt::QueuedConnection);
    }
    HDC CreateDC(HWND hwnd) override { return new QtContext(surfaces().Get(hwnd)); }
};

void armTimer(int ms) {
    if (!g_host || g_host->timerFd < 0) return;
    using Clock = std::chrono::steady_clock;
    const auto when = ms < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(ms);
    const auto armed = g_host->armedFor;
    if (ms < 0 ? armed == Clock::time_point::max()
               : armed != Clock::time_point::max() && ms > 0 && when >= armed && when - armed < std::chrono::milliseconds(1))
        return;
    g_host->armedFor = when;
    itimerspec spec{};
    if (ms == 0) spec.it_value.tv_nsec = 1;  // due now
    else if (ms > 0) {
        spec.it_value.tv_sec = ms / 1000;
        spec.it_value.tv_nsec = long(ms % 1000) * 1000000L;
    }
    timerfd_settime(g_host->timerFd, 0, &spec, nullptr);  // ms < 0: disarmed
}

// While a Qt loop runs instead of our GetMessage, serve our queue as a
// Windows modal loop would. WM_QUIT stays queued for our own loop.
bool insideOurWait();

void serve() {
    if (!g_host || g_host->asleep || insideOurWait()) return;
    plat::messages::HandleSentMessages();
    MSG m;
    for (int n = 0; n < 1000; ++n) {
        if (!PeekMessage(&m, 0, 0, 0, PM_NOREMOVE) || m.message == WM_QUIT) break;
        if (!PeekMessage(&m, 0, 0, 0, PM_REMOVE)) break;
        DispatchMessage(&m);
        if (n == 999 && g_host) QMetaObject::invokeMethod(g_host->gui, &serve, Qt::QueuedConnection);  // let Qt breathe
    }
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next > 0 ? next : -1);
}

bool insideOurWait() {
    return g_host && g_host->inWait && QThread::currentThread()->loopLevel() == g_host->waitLevel;
}

void onWake() {
    plat::messages::DrainQueueWakeFd();
    if (g_host && g_host->asleep) g_host->wokeAsleep = true;
    serve();
}

void onTimer() {
    if (!g_host) return;
    uint64_t expirations;
    [[maybe_unused]] const ssize_t n = ::read(g_host->timerFd, &expirations, sizeof expirations);
    g_host->armedFor = std::chrono::steady_clock::time_point::max();  // a one-shot: spent
    serve();
}

// Sleep on the GUI thread: Qt keeps showing and painting the windows of
// other threads and takes input for the layer, but nothing of this thread's
// queue runs; what arrived is served once the program is back in a loop.
void sleepHook(int ms) {
    if (!g_host) return;
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    const bool saved = std::exchange(g_host->asleep, true);
    for (auto now = Clock::now(); g_host && now < end; now = Clock::now()) {
        armTimer(std::max(1, int(std::chrono::ceil<std::chrono::milliseconds>(end - now).count())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (!g_host) return;
    g_host->asleep = saved;
    if (saved) return;
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next >= 0 ? next : -1);
    if (std::exchange(g_host->wokeAsleep, false) || next == 0)
        QMetaObject::invokeMethod(g_host->gui, &serve, Qt::QueuedConnection);
}

// SendMessage from the GUI thread to a busy thread: Qt keeps showing the
// windows of the other threads; nothing of this thread's queue runs.
// Not while the widgets are being brought up to date: they read windows of
// other threads, and Qt's events must not change them underneath.
bool sendWaitHook() {
    if (!g_host || g_host->syncing) return false;
    const bool saved = std::exchange(g_host->asleep, true);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (g_host) g_host->asleep = saved;
    return true;
}

void waitHook(int maxWaitMs) {
    if (!g_host) return;
    armTimer(maxWaitMs);
    const bool savedWait = std::exchange(g_host->inWait, true);
    const int savedLevel = std::exchange(g_host->waitLevel, QThread::currentThread()->loopLevel());
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!g_host) return;
    g_host->inWait = savedWait;
    g_host->waitLevel = savedLevel;
}

// A socket's readability as a posted message, once per arming: the notifier
// only posts; the program's own loop runs what the message asks for.
bool watchReadable(int fd, HWND hwnd, UINT msg) {
    if (!g_host) return false;
    Host::Watch& w = g_host->watches[fd];
    w.hwnd = hwnd;
    w.msg = msg;
    if (!w.notifier) {
        w.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, g_host->gui);
        QObject::connect(w.notifier, &QSocketNotifier::activated, g_host->gui, [fd] {
            if (!g_host) return;
            const auto it = g_host->watches.find(fd);
            if (it == g_host->watches.end()) return;
            if (!std::exchange(it->second.armed, false)) {
                it->second.notifier->setEnabled(false);
                return;
            }
            PostMessage(it->second.hwnd, it->second.msg, WPARAM(fd), 0);
        });
    }
    w.armed = true;
    if (!w.notifier->isEnabled()) w.notifier->setEnabled(true);
    return true;
}

// Before a paint or a timer: what the armed watches have ready now is posted
// at once, as their notifiers would when the loop next looks.
void postReady() {
    if (!g_host || g_host->watches.empty()) return;
    std::vector<pollfd> armed;
    for (const auto& [fd, w] : g_host->watches)
        if (w.armed) armed.push_back(pollfd{fd, POLLIN, 0});
    if (armed.empty() || ::poll(armed.data(), armed.size(), 0) <= 0) return;
    for (const pollfd& p : armed) {
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const auto it = g_host->watches.find(p.fd);
        if (it == g_host->watches.end() || !std::exchange(it->second.armed, false)) continue;
        PostMessage(it->second.hwnd, it->second.msg, WPARAM(p.fd), 0);
    }
}

void stopWatching(int fd) {
    if (!g_host) return;
    const auto it = g_host->watches.find(fd);
    if (it == g_host->watches.end()) return;
    delete it->second.notifier;
    g_host->watches.erase(it);
}

// A message box of the device: a window of its own over the device's
// screen, centred inside it and no wider than it, its text wrapped to that
// width only when it does not fit on one line. QMessageBox sizes itself for
// the display it is on whenever its layout changes: this size follows.
class DeviceBox final : public QMessageBox {
public:
    explicit DeviceBox(QWidget* screen) : QMessageBox(screen), m_screen(screen) {}

protected:
    bool event(QEvent* e) override {
        const bool result = QMessageBox::event(e);
        if (e->type() == QEvent::LayoutRequest && isVisible()) fit();
        return result;
    }
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);
        fit();
    }

private:
    void fit() {
        QLayout* box = layout();
        if (!box) return;
        const QRect area = m_screen ? QRect(m_screen->mapToGlobal(QPoint(0, 0)), m_screen->size())
                                    : QRect(QPoint(0, 0), QSize(int(plat::screen::ScreenSize().cx), int(plat::screen::ScreenSize().cy)));
        const QSize frame = frameGeometry().size() - geometry().size();
        const int limit = std::max(1, area.width() - frame.width());
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (label) label->setWordWrap(false);
        box->activate();
        int width = box->totalMinimumSize().width();
        if (width > limit) {
            if (label) label->setWordWrap(true);
            box->activate();
            width = limit;
        }
        const int height = box->hasHeightForWidth() ? box->totalHeightForWidth(width) : box->totalMinimumSize().height();
        setFixedSize(width, std::min(height, std::max(1, area.height() - frame.height())));
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
        // Centred on the screen, kept inside it.
        QRect outer(QPoint(0, 0), size() + frame);
        outer.moveCenter(area.center());
        outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
        outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
        move(outer.topLeft());
    }

    QPointer<QWidget> m_screen;
};

// Message boxes as DeviceBox on the GUI thread. The box is a window of its
// own, never a child of its owner's widget: the owner is disabled in the
// layer while the box is up, and Qt must not disable the box with it. A local Qt loop waits for the answer; meanwhile the notifiers
// keep serving our queue. A box of a worker thread is shown by the GUI
// thread while the worker runs a modal loop of its own, so what is sent or
// posted to the worker is still served.
class QtPresenter final : public plat::msgbox::IPresenter {
public:
    int Show(const plat::msgbox::Request& r) override {
        if (!g_host) return plat::msgbox::DefaultButton(r.style);
        if (QThread::currentThread() != g_host->gui->thread()) return showFromWorker(r);
        const HWND owner = r.owner ? GetAncestor(r.owner, GA_ROOT) : 0;
        DeviceBox box(g_host->widgets.Screen());
        box.setWindowTitle(toQString(r.caption));
        box.setText(toQString(r.text));
        switch (r.style & MB_ICONMASK) {
        case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
        default: break;
        }
        static const std::vector<std::pair<int, QMessageBox::StandardButton>> kinds[] = {
            {{IDOK, QMessageBox::Ok}},
            {{IDOK, QMessageBox::Ok}, {IDCANCEL, QMessageBox::Cancel}},
            {{IDABORT, QMessageBox::Abort}, {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}},
            {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}, {IDCANCEL, QMessageBox::Cancel}},
            {{IDYES, QMessageBox::Yes}, {IDNO, QMessageBox::No}},
            {{IDRETRY, QMessageBox::Retry}, {IDCANCEL, QMessageBox::Cancel}},
        };
        const UINT type = (r.style & MB_TYPEMASK) < 6 ? (r.style & MB_TYPEMASK) : 0;
        const int def = plat::msgbox::DefaultButton(r.style);
        for (const auto& [id, button] : kinds[type]) {
            box.addButton(button);
            if (id == def) box.setDefaultButton(button);
        }
        const bool disable = owner && IsWindowEnabled(owner);
        if (disable) EnableWindow(owner, FALSE);
        QEventLoop loop;
        QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
        box.setWindowModality(Qt::NonModal);
        box.show();
        if (r.style & MB_TOPMOST) {
            // QMessageBox sets its own window flags as it shows.
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
            box.show();
        }
        // The box takes the keys whoever owns it; a box asked to come to
        // the front does so even when its program is not in front.
        box.raise();
        box.activateWindow();
        loop.exec();
        if (disable) EnableWindow(owner, TRUE);
        const auto chosen = box.standardButton(box.clickedButton());
        for (const auto& [id, button] : kinds[type])
            if (button == chosen) return id;
        return (r.style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }

private:
    static int showFromWorker(const plat::msgbox::Request& r) {
        struct Answer {
            std::atomic<bool> done{false};
            std::atomic<int> id{0};
        };
        auto answer = std::make_shared<Answer>();
        answer->id = plat::msgbox::DefaultButton(r.style);
        const HWND waker = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        QPointer<QObject> gui = g_host->gui;
        QMetaObject::invokeMethod(
            gui,
            [r, answer, waker] {
                answer->id = showOnGui(r);
                answer->done = true;
                PostMessage(waker, WM_NULL, 0, 0);
            },
            Qt::QueuedConnection);
        MSG m;
        while (!answer->done) {
            const BOOL got = GetMessage(&m, 0, 0, 0);
            if (got == 0) {
                PostQuitMessage(int(m.wParam));  // for the loop that called us
                break;
            }
            if (got < 0) break;
            DispatchMessage(&m);
        }
        DestroyWindow(waker);
        return answer->id;
    }
    static int showOnGui(const plat::msgbox::Request& r);
};

QtPresenter g_presenter;

int QtPresenter::showOnGui(const plat::msgbox::Request& r) { return g_presenter.Show(r); }

}  // namespace

void plat::qt::AttachQtEventLoop() {
    if (g_host || !QCoreApplication::instance()) return;
    g_host = new Host;
    g_host->gui = new QObject;
    const int wakeFd = plat::messages::GetQueueWakeFd();
    g_host->wakeNotifier = new QSocketNotifier(wakeFd, QSocketNotifier::Read, g_host->gui);
    QObject::connect(g_host->wakeNotifier, &QSocketNotifier::activated, g_host->gui, [] { onWake(); });
    g_host->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (g_host->timerFd >= 0) {
        g_host->timerNotifier = new QSocketNotifier(g_host->timerFd, QSocketNotifier::Read, g_host->gui);
        QObject::connect(g_host->timerNotifier, &QSocketNotifier::activated, g_host->gui, [] { onTimer(); });
    }
    plat::messages::SetMessageWaitHook(&waitHook);
    plat::input::SetSleepHook(&sleepHook);
    plat::messages::SetSendWaitHook(&sendWaitHook);
    plat::messages::SetWaitReturnsHook(&insideOurWait);
    plat::messages::SetReadableWatcher(&watchReadable, &stopWatching);
    plat::messages::SetReadyCheck(&postReady);
    SetWindowBackend(std::make_shared<QtBackend>());
    // A presenter installed before (a test's) stays.
    if (plat::msgbox::IPresenter* theirs = plat::msgbox::SetPresenter(&g_presenter)) plat::msgbox::SetPresenter(theirs);
    // Windows that exist already get their widgets.
    for (HWND h = GetTopWindow(0); h; h = GetWindow(h, GW_HWNDNEXT)) {
        std::vector<HWND> stack{h};
        while (!stack.empty()) {
            const HWND x = stack.back();
            stack.pop_back();
            g_host->widgets.Sync(x, kWindowCreated);
            for (HWND c = GetWindow(x, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) stack.push_back(c);
        }
    }
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next >= 0 ? next : -1);
}

void plat::qt::DetachQtEventLoop() {
    if (!g_host) return;
    SetWindowBackend(nullptr);
    plat::messages::SetMessageWaitHook(nullptr);
    plat::input::SetSleepHook(nullptr);
    plat::messages::SetSendWaitHook(nullptr);
    plat::messages::SetWaitReturnsHook(nullptr);
    plat::messages::SetReadableWatcher(nullptr, nullptr);
    plat::messages::SetReadyCheck(nullptr);
    plat::msgbox::IPresenter* current = plat::msgbox::SetPresenter(nullptr);
    if (current != &g_presenter) plat::msgbox::SetPresenter(current);
    Host* host = std::exchange(g_host, nullptr);
    host->widgets.Clear();
    delete host->gui;  // the notifiers with it
    if (host->timerFd >= 0) ::close(host->timerFd);
    surfaces().Clear();
    delete host;
}

QWidget* plat::qt::WidgetOf(HWND hwnd) { return g_host ? g_host->widgets.WidgetOf(hwnd) : nullptr; }

void plat::qt::SyncWidgets() { flush(); }

QImage plat::qt::RenderWindow(HWND hwnd) {
    flush();
    if (!g_host || !hwnd || !IsWindow(hwnd) || IsMessageOnlyWindow(hwnd)) return QImage();
    if (!GetAncestor(hwnd, GA_PARENT)) {
        QWidget* w = g_host->widgets.Find(hwnd);
        return w ? w->grab().toImage() : QImage();
    }
    // A child as its top-level window draws it, on clear pixels.
    RECT r{};
    GetWindowRect(hwnd, &r);
    const QRect box(0, 0, r.right - r.left, r.bottom - r.top);
    if (box.isEmpty()) return QImage();
    QImage image(box.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    drawSurface(p, hwnd, QPoint(0, 0), box);
    drawChildren(p, hwnd, QPoint(r.left, r.top), box);
    p.end();
    return image;
}

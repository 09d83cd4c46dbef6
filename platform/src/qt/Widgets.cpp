#include "Widgets.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Drawing.h"
#include "Keys.h"
#include "Surfaces.h"
#include "platform/Input.h"
#include "platform/Screen.h"

namespace plat::qt::detail {

using namespace plat::window;

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

QWidget* Widgets::Find(HWND h) { return find(h); }

QWidget* Widgets::Screen() const { return m_screen.data(); }

HostWidget* Widgets::find(HWND h) {
    auto it = m_map.find(h);
    return it == m_map.end() ? nullptr : it->second.data();
}

void Widgets::Sync(HWND h, unsigned what) {
    if (what & kWindowCursor) syncCursor();
    if (!h) return;
    if (!IsWindow(h) || IsMessageOnlyWindow(h)) {
        remove(h);
        return;
    }
    const HWND parent = GetAncestor(h, GA_PARENT);
    if (parent) {
        syncChild(h, what);
        if (HostWidget* w = find(h)) syncWidget(h, w, parent, what);
        return;
    }
    HostWidget* w = ensure(h);
    if (w) syncWidget(h, w, parent, what);
}

QWidget* Widgets::WidgetOf(HWND h) {
    if (HostWidget* w = find(h)) return w;
    if (!h || !IsWindow(h) || IsMessageOnlyWindow(h)) return nullptr;
    const HWND parent = GetAncestor(h, GA_PARENT);
    if (!parent || !find(GetAncestor(h, GA_ROOT))) return nullptr;
    HostWidget* w = ensure(h);
    if (w) syncWidget(h, w, parent, kWindowCreated);
    return w;
}

void Widgets::syncChild(HWND h, unsigned what) {
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
        HostWidget* t = find(top);
        if (!t) return;
        RECT r{}, tr{};
        GetWindowRect(h, &r);
        GetWindowRect(top, &tr);
        t->update(QRect(r.left - tr.left, r.top - tr.top, r.right - r.left, r.bottom - r.top));
    }
}

void Widgets::repaint(HWND top) {
    if (HostWidget* t = find(top)) t->update();
}

void Widgets::syncWidget(HWND h, HostWidget* w, HWND parent, unsigned what) {
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

void Widgets::EndBatch() {
    m_deferRestack = false;
    std::unordered_set<HWND> parents;
    parents.swap(m_restack);
    for (HWND parent : parents) {
        if (!parent || IsWindow(parent)) restack(parent, 0);
    }
}

void Widgets::Clear() {
    delete m_screen.data();  // every widget is inside it
    m_map.clear();
    m_topOf.clear();
}

HostWidget* Widgets::ensure(HWND h) {
    if (HostWidget* w = find(h)) return w;
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

HostWidget* Widgets::screen() {
    if (!m_screen) {
        const SIZE size = plat::screen::ScreenSize();
        m_screen = new HostWidget(0, nullptr);
        m_screen->setWindowTitle(QStringLiteral("Orvade"));
        m_screen->setFixedSize(int(size.cx), int(size.cy));
        m_screen->show();
    }
    return m_screen;
}

void Widgets::remove(HWND h) {
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

void Widgets::restack(HWND parent, HWND) {
    std::vector<HWND> order;
    for (HWND c = parent ? GetWindow(parent, GW_CHILD) : GetTopWindow(0); c; c = GetWindow(c, GW_HWNDNEXT))
        order.push_back(c);
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (HostWidget* w = find(*it)) w->raise();
}

void Widgets::syncCursor() {
    const bool wait = GetCursor() == IDC_WAIT;
    if (wait && !m_waitCursor) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (!wait && m_waitCursor) QGuiApplication::restoreOverrideCursor();
    m_waitCursor = wait;
}

}  // namespace plat::qt::detail

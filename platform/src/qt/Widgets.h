// The Qt widgets that show the layer's windows: the device's screen, one
// widget per top-level window inside it, and the composition of children.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <unordered_map>
#include <unordered_set>

#include "platform/Window.h"

class QPainter;
class QWidget;

namespace plat::qt::detail {

class HostWidget;

// A window's back buffer at pos, clipped to clip.
void drawSurface(QPainter& p, HWND hwnd, const QPoint& pos, const QRect& clip);
// The shown children of parent and theirs, in z-order; origin: the screen
// position of the painter's (0, 0).
void drawChildren(QPainter& p, HWND parent, const QPoint& origin, const QRect& clip);

// The widgets of the layer's windows, brought up to date as the layer
// reports changes (GUI thread).
class Widgets {
public:
    // The widget of a window, when it has one.
    QWidget* Find(HWND h);

    // A child window has no Qt widget of its own (routing, hit tests and
    // z-order are the layer's): its top-level window's widget draws it, so a
    // change to a child repaints that widget where the child is.
    void Sync(HWND h, unsigned what);

    // The widget of a window; for a child, made now: it draws nothing, it
    // only takes Qt events sent to it as its window's own.
    QWidget* WidgetOf(HWND h);

    // Sync calls between these two restack each parent once, at the end.
    void BeginBatch() { m_deferRestack = true; }
    void EndBatch();

    // The device's screen, once a window has made it; else null.
    QWidget* Screen() const;

    void Clear();

private:
    HostWidget* find(HWND h);
    void syncChild(HWND h, unsigned what);
    void repaint(HWND top);
    void syncWidget(HWND h, HostWidget* w, HWND parent, unsigned what);
    HostWidget* ensure(HWND h);
    HostWidget* screen();
    void remove(HWND h);
    // Qt's stacking follows our z-order, of children and of top-level
    // windows alike: raise from the bottom up.
    void restack(HWND parent, HWND);
    void syncCursor();

    std::unordered_map<HWND, QPointer<HostWidget>> m_map;
    std::unordered_map<HWND, HWND> m_topOf;  // each child seen, and its top-level window
    bool m_deferRestack = false;
    std::unordered_set<HWND> m_restack;
    QPointer<HostWidget> m_screen;
    bool m_waitCursor = false;
};

}  // namespace plat::qt::detail

// Painting: update regions, device contexts and the paint cycle.
#include <algorithm>

#include "WindowModel.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;
using plat::gdi::DeviceContext;

namespace plat::detail {

void markDirty(Window& w, HWND hwnd, const RECT* r, bool erase) {
    ++w.repaintAsks;
    const RECT client = clientOf(w);
    // All of the window waits for its paint already (a status repainted
    // with every packet asks again and again): nothing to add.
    if (!r && w.hasUpdate && (w.erase || !erase) && w.update.left <= 0 && w.update.top <= 0 &&
        w.update.right >= client.right && w.update.bottom >= client.bottom)
        return;
    RECT area = client;
    if (r && !IntersectRect(&area, r, &client)) return;
    if (w.hasUpdate)
        UnionRect(&w.update, &w.update, &area);
    else
        w.update = area;
    w.hasUpdate = true;
    w.erase = w.erase || erase;
    if (std::find(w.owner->dirty.begin(), w.owner->dirty.end(), hwnd) == w.owner->dirty.end()) {
        w.owner->dirty.push_back(hwnd);
        w.owner->wake();
    }
}

}  // namespace plat::detail

// ---- painting ----

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w || w->messageOnly) return FALSE;
    markDirty(*w, hwnd, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    // One rectangle cannot hold a hole: validating part of it keeps all of it.
    if (!rect || (rect->left <= w->update.left && rect->top <= w->update.top && rect->right >= w->update.right &&
                  rect->bottom >= w->update.bottom)) {
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
        std::erase(w->owner->dirty, hwnd);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    if (rect) *rect = w->hasUpdate ? w->update : RECT{};
    return w->hasUpdate ? TRUE : FALSE;
}

uint64_t plat::window::GetRepaintAsks(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->repaintAsks : 0;
}

BOOL UpdateWindow(HWND hwnd) {
    bool paint;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w) return FALSE;
        paint = w->hasUpdate && visibleLocked(hwnd);
    }
    if (paint) call(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

namespace {

// A context that keeps state and draws nothing: windows without a backend.
class NullContext final : public DeviceContext {
public:
    void Fill(const RECT&, COLORREF) override {}
    void Line(POINT, POINT, COLORREF, int) override {}
    void Text(const RECT&, std::u16string_view, UINT, const LOGFONT&, COLORREF, const COLORREF*) override {}
    SIZE Measure(std::u16string_view, const LOGFONT&) override { return SIZE{0, 0}; }
};

}  // namespace

HDC GetDC(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    const auto backend = GetWindowBackend();
    HDC dc = backend ? backend->CreateDC(hwnd) : nullptr;
    return dc ? dc : new NullContext;
}

int ReleaseDC(HWND hwnd, HDC dc) {
    if (!dc) return 0;
    delete dc;  // a backend's context publishes what it drew as it goes
    notify(hwnd, kWindowPresent);
    return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!ps) return nullptr;
    bool erase;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return nullptr;
        ps->rcPaint = w->hasUpdate ? w->update : RECT{};
        erase = w->erase;
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
        std::erase(w->owner->dirty, hwnd);
    }
    ps->hdc = GetDC(hwnd);
    ps->fErase = erase && !call(hwnd, WM_ERASEBKGND, WPARAM(ps->hdc), 0) ? TRUE : FALSE;
    return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

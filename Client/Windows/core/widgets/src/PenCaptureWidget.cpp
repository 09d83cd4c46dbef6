// The pen capture: strokes recorded from the stylus, drawn as they come and
// on every paint, and saved as a stroke file in DATA (written beside the old
// file and renamed over it, so the name always holds a whole file; when that
// fails the old file goes, so it is never taken for the drawing).
#include "core/widgets/ContentWidgets.h"

#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "core/widgets/StrokeList.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"

namespace {

constexpr COLORREF kDisabledInk = 0xC0C0C0;

struct PenCaptureJunk : WidgetJunk {
    CStrokeList strokes;
};

CStrokeList* Strokes(CWidgetWindow& w) { return &JunkOf<PenCaptureJunk>(w)->strokes; }

COLORREF Ink(CWidgetWindow& w) {
    if (!IsWindowEnabled(w.Handle())) return kDisabledInk;
    return w.Widget().TextColor(RGB(0, 0, 0));
}

void Save(CWidgetWindow& w) {
    CStrokeList* strokes = Strokes(w);
    // Without a session nothing is saved; nor without a name to save under.
    if (!strokes->Changed() || !w.Host().CanSendEvents()) return;
    const std::u16string& label = w.Widget().Fields().label.str();
    if (label.empty()) return;
    const std::u16string path = w.Host().FilePath({StrokeFileName(label), u"DATA"});
    if (path.empty()) return;
    // A host names the file, so it is kept to what a host may write (no library).
    if (!FileUtil::HostMayWrite(path)) {
        LogWrite(LOG_ERROR, "Pen capture: the stroke file's name is not one a host may write");
        return;
    }
    RECT r{};
    GetClientRect(w.Handle(), &r);
    const std::string bytes = strokes->FileBytes(r.right - r.left, r.bottom - r.top);
    if (plat::fs::WriteFile(path, bytes.data(), bytes.size())) return;
    // The old file holds strokes the user has since changed (cleared, or
    // drawn on): it must not be taken for this drawing. Its room may let the
    // new one be written (a full disk); else no file is better than a stale one.
    if (plat::fs::DeleteFile(path) && plat::fs::WriteFile(path, bytes.data(), bytes.size())) return;
    LogWrite(LOG_ERROR, "Pen capture: the stroke file could not be written, and no older one is left in its place");
}

void DrawLine(CWidgetWindow& w, const StrokePoint& from, int32_t x, int32_t y) {
    const HDC dc = GetDC(w.Handle());
    if (!dc) return;
    const HGDIOBJ pen = CreatePen(PS_SOLID, 0, Ink(w));
    const HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(pen);
    ReleaseDC(w.Handle(), dc);
}

void Paint(CWidgetWindow& w) {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(w.Handle(), &ps);
    if (dc) {
        const HGDIOBJ pen = CreatePen(PS_SOLID, 0, Ink(w));
        const HGDIOBJ old = SelectObject(dc, pen);
        bool start = true;
        for (const StrokePoint& p : Strokes(w)->Points()) {
            if (start) {
                MoveToEx(dc, p.x, p.y, nullptr);
            } else {
                LineTo(dc, p.x, p.y);
            }
            start = p.endOfStroke;
        }
        SelectObject(dc, old);
        DeleteObject(pen);
        DrawWidgetBorder(w.Handle(), dc);
    }
    EndPaint(w.Handle(), &ps);
}

}  // namespace

void DrawWidgetBorder(HWND hwnd, HDC dc) {
    if (!(GetWindowLongPtr(hwnd, GWL_STYLE) & WS_BORDER)) return;
    RECT r{};
    GetClientRect(hwnd, &r);
    const HGDIOBJ pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    const HGDIOBJ old = SelectObject(dc, pen);
    const POINT frame[] = {{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}, {r.left, r.top}};
    Polyline(dc, frame, 5);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void PreparePenCapture(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_PENCAP_CLASS";
    c.windowName = u"PENCAP";
    c.style |= WS_BORDER;
}

LRESULT PenCaptureWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = w.Handle();
    switch (message) {
    case WIDGET_MSG_INIT:
        Strokes(w);
        // The empty capture is saved at once, under the widget's name.
        PostMessage(hwnd, WIDGET_MSG_COMMIT, 0, 0);
        return 0;
    case WM_LBUTTONDOWN: {
        ::SetFocus(hwnd);
        CStrokeList* strokes = Strokes(w);
        strokes->EndStroke();
        strokes->AddPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), nullptr);
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (GetCapture() != hwnd) return 0;
        const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        RECT r{};
        GetClientRect(hwnd, &r);
        CStrokeList* strokes = Strokes(w);
        if (x < r.left || y < r.top || x >= r.right || y >= r.bottom) {
            strokes->EndStroke();
            return 0;
        }
        StrokePoint from;
        if (strokes->AddPoint(x, y, &from)) DrawLine(w, from, x, y);
        return 0;
    }
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd) {
            Strokes(w)->EndStroke();
            ReleaseCapture();
        }
        return 0;
    case WM_PAINT: Paint(w); return 0;
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, w.ColorBrush(reinterpret_cast<HDC>(wParam)));
        return 1;
    }
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); break;
    case WM_SETFOCUS: w.Host().SetInputDevices(false); break;
    case WM_KILLFOCUS: Save(w); break;
    case WIDGET_MSG_COMMIT: Save(w); return 0;
    case WIDGET_MSG_SET_LABEL:
        // The label names the file: a new one starts with an empty capture.
        Strokes(w)->Clear();
        PostMessage(hwnd, WIDGET_MSG_COMMIT, 0, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

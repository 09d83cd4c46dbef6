// The widget windows whose content the client does not take from a control:
// the pen capture (11), which records the stylus and saves its strokes as a
// stroke file in DATA; the bitmap (9), an image file of the device file
// system; and the HTML page (19), a rich-text view of the label or of a
// device file it names, which never reaches a network.
#pragma once

#include <memory>

#include "core/widgets/ContentFiles.h"
#include "core/widgets/WidgetWindowTypes.h"

// The window's state of that kind, made on first use.
template <class Junk>
Junk* JunkOf(CWidgetWindow& w) {
    if (!w.Junk()) w.SetJunk(std::make_unique<Junk>());
    return static_cast<Junk*>(w.Junk());
}

// The black frame of a window with WS_BORDER (the layer has no non-client
// area: a class draws its own frame, as the standard controls do).
void DrawWidgetBorder(HWND hwnd, HDC dc);

void PreparePenCapture(WidgetCreation& c);
LRESULT PenCaptureWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareBitmap(WidgetCreation& c);
LRESULT BitmapWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareHtml(WidgetCreation& c);
LRESULT HtmlWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);

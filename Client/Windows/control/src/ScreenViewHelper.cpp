// The view helper library's exports: a screen view for the control window,
// and the font measure of a process that shows no screen.
#include "control/ScreenView.h"

extern "C" __attribute__((visibility("default"))) IScreenView* orvade_create_screen_view(HWND window,
                                                                                        const CScreenModel* model) {
    if (!model) return nullptr;
    try {
        return new CScreenView(window, *model);
    } catch (...) {
        return nullptr;
    }
}

extern "C" __attribute__((visibility("default"))) plat::draw::IFontMeasure* orvade_font_measure() {
    return plat::draw::OffscreenFontMeasure();
}

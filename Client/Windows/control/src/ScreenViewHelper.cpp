// The view helper library's one export: a screen view for the control window.
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

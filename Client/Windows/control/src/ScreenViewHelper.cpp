// The view helper library's exports: a screen view for the control window,
// and the font measure of a process that shows no screen.
#include <QGuiApplication>

#include <cstdio>

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
    static plat::draw::IFontMeasure* const measure = []() -> plat::draw::IFontMeasure* {
        try {
            if (!QGuiApplication::instance()) {
                // Nothing of Qt's own chatter reaches the process's standard
                // error, where a headless program reports to its user.
                qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
                    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
                });
                // Offscreen whatever the environment names: nothing is shown.
                static int argc = 3;
                static char name[] = "orvade", option[] = "-platform", platform[] = "offscreen";
                static char* argv[] = {name, option, platform, nullptr};
                new QGuiApplication(argc, argv);
            }
            return new plat::draw::CQtCanvas;
        } catch (...) {
            return nullptr;
        }
    }();
    return measure;
}

// One Qt application for the display tests, with the window layer shown by
// Qt; made on first use and kept for the process.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdlib>

#include "platform/QtHost.h"

namespace displaytest {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "display_render_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        plat::qt::AttachQtEventLoop();
        return a;
    }();
    (void)app;
}

// The pixels of the area far from the background colour: text and frames.
inline int InkPixels(const QImage& image, QRect area, QColor background) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                    std::abs(c.blue() - background.blue()) > 150)
                ++ink;
        }
    return ink;
}

}  // namespace displaytest

// One Qt application for the display tests, with the window layer shown by
// Qt; made on first use and kept for the process.
#pragma once

#include <QApplication>

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

}  // namespace displaytest

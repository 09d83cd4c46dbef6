// Runs the GUI thread's queue and Qt's events until nothing is left, for
// tests of windows shown by Qt offscreen.
#pragma once

#include <QCoreApplication>

#include "platform/Message.h"
#include "platform/QtHost.h"

namespace qttest {

inline void Pump() {
    MSG m;
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        plat::qt::SyncWidgets();
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    }
}

}  // namespace qttest

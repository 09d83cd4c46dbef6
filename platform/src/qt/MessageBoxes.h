// Message boxes shown by Qt as the device's: over its screen, answered by
// taps and keys, from the GUI thread or on behalf of a worker.
#pragma once

#include "platform/MsgBox.h"

class QObject;
class QWidget;

namespace plat::qt::detail {

plat::msgbox::IPresenter& DevicePresenter();

// What the boxes need of the attached host (QtHost.cpp): its object on the
// GUI thread and the device's screen; null while detached or not made.
QObject* GuiObject();
QWidget* DeviceScreen();

}  // namespace plat::qt::detail

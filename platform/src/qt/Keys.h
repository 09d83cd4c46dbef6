// Qt's keys and buttons as the device's virtual keys and mouse flags.
#pragma once

#include "platform/Window.h"

class QKeyEvent;
class QMouseEvent;

namespace plat::qt::detail {

// The virtual-key code of a key; 0 for one the device has not.
UINT virtualKeyOf(const QKeyEvent* e);
// The MK_ flags of a mouse event.
WPARAM mouseKeys(const QMouseEvent* e);

}  // namespace plat::qt::detail

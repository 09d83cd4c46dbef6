// The vendor keyboard driver: it keeps the alpha mode and key state it is
// given (there is no keypad behind it), and tells them to tests.
#include <atomic>

#include "platform/vendor/TvDeviceExports.h"

ORVADE_TVKEYBD_EXPORTS(ORVADE_EXPORT_PROTOTYPE)

namespace {
std::atomic<int> g_alphaMode{0};
std::atomic<int> g_keyState{0};
}  // namespace

ORVADE_EXPORT BOOL SetAlphaMode(int mode) {
    g_alphaMode = mode;
    return TRUE;
}
ORVADE_EXPORT BOOL SetKeyState(int state, int, int) {
    g_keyState = state;
    return TRUE;
}
ORVADE_EXPORT int KeybdGetAlphaMode() { return g_alphaMode; }
ORVADE_EXPORT int KeybdGetKeyState() { return g_keyState; }

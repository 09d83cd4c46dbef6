// The shell helper library: tap-and-hold recognition, which the window
// layer does (platform/Gesture.h).
#include "platform/Gesture.h"
#include "platform/exports/ExportSet.h"

ORVADE_EXPORT DWORD SHRecognizeGesture(SHRGINFO* info) { return plat::input::RecognizeTapAndHold(info); }

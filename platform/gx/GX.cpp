// The game input library "GX.DLL" as the shell calls it: opening and closing
// the hardware keys for a full-screen program. The desktop's keys always
// reach the focused window, so there is nothing to take; both answer
// success. The decorated names cannot be ELF export names ("@@" is symbol
// versioning there), so the calls go by their plain names.
#include "platform/exports/ExportSet.h"

ORVADE_EXPORT int GXOpenInput() { return 1; }
ORVADE_EXPORT int GXCloseInput() { return 1; }

// The device vendor's display, audio and keyboard libraries, as the
// device-control extension uses them. The names are ours, by role; a
// "get" takes the address of a 32-bit result; statuses are 0 for success.
//
// "TVDISP32.dll": the backlight through the first device of
// /sys/class/backlight (or $ORVADE_BACKLIGHT_DIR) when its files are
// writable, else values the library keeps; the contrast is always kept.
// "TVAUDIO32.dll": the beeper, through the sound layer's Beep.
// "tvkeybd.dll": keeps the alpha mode and the key state it is given.
#pragma once

#include "platform/exports/ExportSet.h"

constexpr DWORD TVDISP_E_FAIL = 1;
constexpr DWORD TVDISP_E_RANGE = 2;  // a level outside 0 .. levels - 1
constexpr int TVDISP_CONTRAST_LEVELS = 16;

#define ORVADE_TVDISP_EXPORTS(X)                                  \
    X(DWORD, DispGetContrastLevels, (int* levels, int second))    \
    X(DWORD, DispGetContrast, (int* level))                       \
    X(DWORD, DispSetContrast, (int level))                        \
    X(DWORD, DispGetBacklightLevels, (int* levels, int second))   \
    X(DWORD, DispGetBacklight, (int* level))                      \
    X(DWORD, DispSetBacklight, (int level))                       \
    X(DWORD, DispGetBacklightState, (int* on))                    \
    X(DWORD, DispSetBacklightState, (int on))

// The beeper record: 528 bytes, u16 0 at byte 0, the duration in ms at
// byte 520 and the tone's frequency in Hz at byte 524.
constexpr size_t TVAUDIO_BEEPER_SIZE = 528;

#define ORVADE_TVAUDIO_EXPORTS(X) X(DWORD, AUDIO_PlayBeeper, (const BYTE* record))

// The keyboard driver's two functions; the Keybd* readers are for tests.
#define ORVADE_TVKEYBD_EXPORTS(X)                                 \
    X(BOOL, SetAlphaMode, (int mode))                             \
    X(BOOL, SetKeyState, (int state, int reserved1, int reserved2)) \
    X(int, KeybdGetAlphaMode, (void))                             \
    X(int, KeybdGetKeyState, (void))

ORVADE_DECLARE_EXPORTS(ORVADE_TVDISP_EXPORTS)
ORVADE_DECLARE_EXPORTS(ORVADE_TVAUDIO_EXPORTS)
// Pointer types only: the driver's names are also the extension's exports.
ORVADE_TVKEYBD_EXPORTS(ORVADE_EXPORT_POINTER)

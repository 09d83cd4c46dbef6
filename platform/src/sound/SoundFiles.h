// The default players of PlaySound and Beep, beside the wave output they play on.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace plat::sound {

// Plays a sound file (a device path) on the wave output, as PlaySound's
// flags say; an empty sound stops what plays.
BOOL PlaySoundFile(const std::u16string& sound, DWORD flags);

// The default tone player: the square wave, started on the wave output.
BOOL StartBeep(DWORD frequencyHz, DWORD durationMs);

}  // namespace plat::sound

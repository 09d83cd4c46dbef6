// The default player of PlaySound, beside the wave output it plays on.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace plat::sound {

// Plays a sound file (a device path) on the wave output, as PlaySound's
// flags say; an empty sound stops what plays.
BOOL PlaySoundFile(const std::u16string& sound, DWORD flags);

}  // namespace plat::sound

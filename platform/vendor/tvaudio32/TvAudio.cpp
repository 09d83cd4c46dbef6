// The vendor audio library: the beeper sounds through the sound layer.
#include <cstring>

#include "platform/Sound.h"
#include "platform/vendor/TvDeviceExports.h"

ORVADE_EXPORT DWORD AUDIO_PlayBeeper(const BYTE* record) {
    if (!record) return 1;
    uint32_t duration, frequency;
    std::memcpy(&duration, record + 520, 4);
    std::memcpy(&frequency, record + 524, 4);
    return Beep(frequency, duration) ? 0 : 1;
}

// Arbitrary bytes as a sound file: a file that is read has a format the
// output takes and samples that lie inside the file, in whole frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/Sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::sound::WaveFormat format;
    const uint8_t* samples = nullptr;
    size_t count = 0;
    if (!plat::sound::ParseWave(data, size, &format, &samples, &count)) return 0;
    const bool shape = (format.channels == 1 || format.channels == 2) &&
                       (format.bitsPerSample == 8 || format.bitsPerSample == 16) && format.rate >= 8000 &&
                       format.rate <= 192000;
    const bool inside = samples >= data && count > 0 && static_cast<size_t>(samples - data) + count <= size;
    if (!shape || !inside || count % format.FrameBytes() != 0) std::abort();
    return 0;
}

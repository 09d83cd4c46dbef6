// Arbitrary bytes as a serial port's settings file: whatever it holds, the
// settings are ones the port can take (a known baud, 5 to 8 data bits).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/session/PrintCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    bool four = false;
    const plat::serial::PortSettings s = ParsePortSettings(data, static_cast<int32_t>(size), &four);
    const bool baud = s.baud == 110 || s.baud == 300 || s.baud == 600 || s.baud == 1200 || s.baud == 2400 ||
                      s.baud == 4800 || s.baud == 9600 || s.baud == 19200 || s.baud == 38400;
    if (!baud || s.dataBits < 5 || s.dataBits > 8 || (four && s.dataBits != 5)) std::abort();
    return 0;
}

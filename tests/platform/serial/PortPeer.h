#pragma once
// The far side of a serial port in tests: the master of a raw
// pseudo-terminal pair whose slave the port's name maps to.
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "platform/Registry.h"
#include "platform/Serial.h"
#include "platform/Text.h"

namespace serialtest {

// The master's descriptor, or -1 when no pair can be made or mapped.
inline int OpenPortPeer(const char16_t* portName) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return -1;
    termios t{};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || tcgetattr(master, &t) != 0 ||
        (cfmakeraw(&t), tcsetattr(master, TCSANOW, &t)) != 0 ||
        !plat::registry::SetString(HKEY_LOCAL_MACHINE, plat::serial::kPortsKey, portName,
                                   plat::text::Utf8ToWide(ptsname(master)))) {
        close(master);
        return -1;
    }
    return master;
}

}  // namespace serialtest

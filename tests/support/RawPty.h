// A pseudo-terminal standing in for a serial device, for the tests that map
// a device's serial port to one.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace testsupport {

// Raw on both sides so its bytes wait as they are; the master, -1 on
// failure, and the slave's path.
inline int OpenRawPty(std::string& slave) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    slave = ptsname(master);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    const int peer = open(slave.c_str(), O_RDWR | O_NOCTTY);
    if (peer < 0) return -1;
    tcgetattr(peer, &t);
    cfmakeraw(&t);
    tcsetattr(peer, TCSANOW, &t);
    close(peer);
    return master;
}

}  // namespace testsupport

// termios serial ports. Exclusive use is TIOCEXCL plus an advisory lock, so
// a second open in this or another process fails as on the device.
#include "platform/Serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "../fs/Fd.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace plat::serial {
namespace {

speed_t Speed(DWORD baud) {
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B19200;
    }
}

tcflag_t Size(int dataBits) {
    switch (dataBits) {
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    case 5: return CS5;
    default:
        std::fprintf(stderr, "serial: %d data bits have no setting; using 5\n", dataBits);
        return CS5;
    }
}

bool Wait(int port, short events, int timeoutMs) {
    pollfd p{port, events, 0};
    for (;;) {
        const int n = poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 && (p.revents & events);
    }
}

// The terminal at the path, opened as a port, or -1. The path is walked
// folder by folder from "/" without following a link: it names the device
// itself, as configured, not what a link (in /dev or elsewhere) lends the
// name now. Nothing inside the device root is a port.
int OpenTerminal(const std::string& path) {
    // A relative path would name another device in each working folder.
    if (path.empty() || path[0] != '/') return -1;
    struct stat root{};
    if (stat(plat::fs::DeviceRoot().c_str(), &root) != 0) return -1;
    Fd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t at = 1;;) {
        struct stat st{};
        if (folder.get() < 0 || fstat(folder.get(), &st) != 0 || (st.st_dev == root.st_dev && st.st_ino == root.st_ino))
            return -1;
        const size_t slash = path.find('/', at);
        const std::string part = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (part.empty() || part == "." || part == "..") return -1;
        if (slash != std::string::npos) {
            folder = Fd(::openat(folder.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            at = slash + 1;
            continue;
        }
        // Only a character device is opened: opening anything else may
        // block (a FIFO) or change it (a file's access time).
        if (fstatat(folder.get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISCHR(st.st_mode)) return -1;
        Fd port(::openat(folder.get(), part.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened{};
        // The device looked at, not one put in its place meanwhile, and a terminal.
        if (port.get() < 0 || fstat(port.get(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
            opened.st_rdev != st.st_rdev || !isatty(port.get()))
            return -1;
        return port.release();
    }
}

}  // namespace

bool IsPortName(std::u16string_view name) {
    if (name.size() < 5 || name.size() > 7 || name.substr(0, 3) != u"COM" || name.back() != u':') return false;
    const std::u16string_view digits = name.substr(3, name.size() - 4);
    if (digits[0] == u'0') return false;
    int number = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') return false;
        number = number * 10 + (c - u'0');
    }
    return number <= kMaxPort;
}

std::string DevicePath(std::u16string_view portName) {
    std::u16string path;
    if (!IsPortName(portName) ||
        !plat::registry::GetString(HKEY_LOCAL_MACHINE, kPortsKey, std::u16string(portName).c_str(), &path))
        return {};
    return plat::text::WideToUtf8(path);
}

int Open(std::u16string_view portName) {
    Fd port(OpenTerminal(DevicePath(portName)));
    if (port.get() < 0 || flock(port.get(), LOCK_EX | LOCK_NB) != 0) return -1;
    ioctl(port.get(), TIOCEXCL);
    return port.release();
}

void Apply(const PortSettings& s, termios& t) {
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | Size(s.dataBits);
    if (s.twoStopBits) t.c_cflag |= CSTOPB;
    switch (s.parity) {
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Mark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    case Parity::None: break;
    }
    t.c_iflag &= ~INPCK;
    // The parity check follows the lowest bit of the platform's parity value
    // (odd and mark).
    if (s.parity == Parity::Odd || s.parity == Parity::Mark) t.c_iflag |= INPCK;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.xonXoff) t.c_iflag |= IXON | IXANY;  // output continues after XOFF
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, Speed(s.baud));
    cfsetospeed(&t, Speed(s.baud));
}

bool Configure(int port, const PortSettings& s) {
    termios t{};
    if (tcgetattr(port, &t) != 0) return false;
    Apply(s, t);
    if (tcsetattr(port, TCSANOW, &t) != 0) return false;
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(port, TIOCMBIS, &lines);  // a pseudo-terminal has no modem lines
    return true;
}

bool WriteAll(int port, const uint8_t* data, size_t length) {
    if (port < 0 || (!data && length > 0)) return false;
    while (length > 0) {
        const ssize_t n = ::write(port, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (!Wait(port, POLLOUT, kIoTimeoutMs)) return false;
    }
    return true;
}

int ReadByte(int port, uint8_t* out, int timeoutMs) {
    // poll passes over a negative descriptor: a closed port would read as silent.
    if (port < 0 || !out) return -1;
    pollfd p{port, POLLIN, 0};
    int r;
    do r = poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if (!(p.revents & POLLIN)) return -1;  // hung up or failed
    ssize_t n;
    do n = ::read(port, out, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1) return 1;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // ready but nothing to read: the peer hung up
}

void Drain(int port) {
    // Bounded: output held back by the peer's flow control never hangs the caller.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
    int queued = 0;
    while (ioctl(port, TIOCOUTQ, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void Close(int port) {
    if (port < 0) return;
    // Exclusive use belongs to the terminal, not to this descriptor: a
    // terminal that outlives the port (a pseudo-terminal whose master
    // stays) would refuse every later open without the right to override.
    ioctl(port, TIOCNXCL);
    ::close(port);
}

}  // namespace plat::serial

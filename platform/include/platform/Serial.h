// Serial ports through termios. A port is named as on the device ("COM1:" to
// "COM255:"); the device path behind each name is the string value of that
// name under HKEY_LOCAL_MACHINE\Comm\Ports in the device root's registry,
// which only an administrator writes (the installation, the headless tool's
// --serial-port): a host never does. The path must name a terminal device
// itself: absolute, without "." or "..", reached through no symbolic link
// (the device node, not a link to it), and outside the device root; any
// other mapping fails as an unknown port does. A port is opened exclusively
// until it is closed; reads and writes give up after 300 ms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

struct termios;

namespace plat::serial {

inline constexpr const char16_t* kPortsKey = u"Comm\\Ports";
inline constexpr int kIoTimeoutMs = 300;
inline constexpr int kMaxPort = 255;

enum class Parity { Even, Odd, Mark, Space, None };

struct PortSettings {
    DWORD baud = 19200;
    int dataBits = 8;  // 4 has no termios setting: logged, and 5 is used
    bool twoStopBits = false;
    Parity parity = Parity::None;
    bool xonXoff = false;  // on output
    bool rts = false;      // the RTS line held on (Configure raises it in every case)
};

// "COMn:" with n from 1 to kMaxPort, written without leading zeros.
bool IsPortName(std::u16string_view name);
// The device path a port name maps to; empty when none is set or the name is
// not a port's.
std::string DevicePath(std::u16string_view portName);

// Opens the port for reading and writing, exclusively; -1 on failure, and
// for a mapping to anything but a terminal device named as above.
int Open(std::u16string_view portName);
// The settings as termios flags, raw binary mode (a pseudo-terminal keeps
// only some of them, so they are checked here).
void Apply(const PortSettings& settings, termios& t);
// Raw binary mode with the settings; raises DTR and RTS. False on failure.
bool Configure(int port, const PortSettings& settings);
// Writes all bytes, continuing after partial writes; false on failure or
// when the port accepts nothing for the time-out.
bool WriteAll(int port, const uint8_t* data, size_t length);
// One byte: 1 when read, 0 when none came within the time-out, -1 on failure.
int ReadByte(int port, uint8_t* out, int timeoutMs = kIoTimeoutMs);
// Waits until the output has gone out, at most the time-out.
void Drain(int port);
void Close(int port);

}  // namespace plat::serial

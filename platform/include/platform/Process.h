// Starting programs of the device root and waiting for them. A program is a
// regular file with an execute bit inside the device root, reached through
// no symbolic link (as every device path); nothing outside the root is
// started. Files a host stores are created without execute bits, so they
// never run. The program's working directory is the device root, and its
// environment names that root twice: as its device root ($ORVADE_DEVICE_ROOT)
// and as the root it was started in ($ORVADE_STARTED_IN), which the device's
// own programs never leave (RefusedOutsideRoot). Qt's plug-in path keeps
// only absolute folders outside the root, so no plug-in a host wrote loads.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat::process {

inline constexpr char kStartedInVariable[] = "ORVADE_STARTED_IN";

// The device root this program was started in by a program of the device
// (Start sets it); empty when it was started from outside a device.
std::string StartedInRoot();
// Why a program started inside a device may not use the machine path an
// option names, for its message; empty when it may (always when started from
// outside a device). A device root must be the root it was started in,
// another path must lie inside that root; links are followed before the
// paths are compared, a relative path is taken from the current folder.
std::string RefusedOutsideRoot(const std::string& machinePath, bool deviceRoot);

// The words of a command line: blanks (space, tab) separate words, and a
// pair of double quotes groups what lies between them, blanks included, into
// the word (the quotes themselves are dropped; an unpaired quote runs to the
// end). There is no escape character. An empty or blank line has no words.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

class Process {
public:
    // Starts the program at the device path with the arguments (its first
    // argument is the device path); null when it cannot be started.
    static std::unique_ptr<Process> Start(std::u16string_view program, const std::vector<std::u16string>& arguments);
    // A program still running is not stopped: it is reaped when it ends.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits at most the milliseconds; true once the program has ended.
    bool Wait(int milliseconds);
    // Its exit status (as waitpid reports it), once ended.
    int Status() const { return m_status; }

private:
    Process(int pid, int pidfd) : m_pid(pid), m_pidfd(pidfd) {}
    int m_pid;
    int m_pidfd;
    bool m_ended = false;
    int m_status = 0;
};

}  // namespace plat::process

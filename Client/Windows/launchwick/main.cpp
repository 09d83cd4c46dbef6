// Launchwick, the device program's launcher. On this machine it also stands
// in for the device: it chooses the device root, prepares it on its first
// start as an installation would, and shows the device's screen as a window
// of the handheld's size (offscreen when there is no display).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <malloc.h>
#include <unistd.h>

#include "Launchwick.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/MsgBox.h"
#include "platform/Process.h"
#include "platform/QtCanvas.h"
#include "platform/QtHost.h"
#include "platform/Text.h"

namespace {

const char kUsage[] =
    "Usage: Launchwick [--device-root DIR] [--connect HOST:PORT] [auto]\n"
    "\n"
    "Starts the device program: the shell with its host list, which connects\n"
    "to a host application over TCP and runs its sessions.\n"
    "\n"
    "  --device-root DIR    the device's file system (default: the folder\n"
    "                       ~/.local/share/orvade/device, or $ORVADE_DEVICE_ROOT);\n"
    "                       prepared on its first start as an installation would\n"
    "  --connect HOST:PORT  connects to that host at once, for this run only\n"
    "  auto                 waits 10 seconds first, as at the device's start-up\n"
    "\n"
    "Without a display the screen is drawn offscreen and message boxes answer\n"
    "their default button at once; each is written to standard error.\n";

// Without a display nobody can answer a box: each is reported and answered
// with its default button.
class ReportingAnswerer final : public plat::msgbox::IPresenter {
public:
    int Show(const plat::msgbox::Request& r) override {
        std::fprintf(stderr, "Launchwick: message box \"%s\": %s\n", plat::text::WideToUtf8(r.caption).c_str(),
                     plat::text::WideToUtf8(r.text).c_str());
        return plat::msgbox::DefaultButton(r.style);
    }
};

// HOST:PORT with a host and a port from 1 to 65535, as the shell takes it.
bool IsHostAndPort(const std::string& text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() || text.size() - colon > 6)
        return false;
    long port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + (text[i] - '0');
    }
    return port >= 1 && port <= 65535;
}

bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return std::strcmp(platform, "offscreen") != 0;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    plat::qt::TakePlugInsFromTheMachineOnly();
    // Large buffers (a file's transfer) go back to the system when freed: left
    // to itself the allocator raises its threshold after the first one and
    // keeps the next tens of MiB for the rest of the session.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::string deviceRoot, connect, commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--device-root" || arg == "--connect") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "Launchwick: %s needs a value\n\n%s", arg.c_str(), kUsage);
                return 2;
            }
            (arg == "--device-root" ? deviceRoot : connect) = argv[++i];
            // A mistyped host would be passed over without a word, and the
            // device program would wait for a connection that never comes.
            if (arg == "--connect" && !IsHostAndPort(connect)) {
                std::fprintf(stderr, "Launchwick: --connect needs HOST:PORT with a port from 1 to 65535, not '%s'\n",
                             connect.c_str());
                return 2;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.rfind("-", 0) == 0) {
            // Options of the window toolkit too: one naming a plug-in folder
            // would load code from any folder of the machine.
            std::fprintf(stderr, "Launchwick: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            commandLine += (commandLine.empty() ? "" : " ") + arg;
        }
    }
    if (!deviceRoot.empty()) plat::fs::SetDeviceRoot(deviceRoot);
    // Started by a program of a device, it stays on that device.
    if (const std::string refused = plat::process::RefusedOutsideRoot(plat::fs::DeviceRoot(), true); !refused.empty()) {
        std::fprintf(stderr, "Launchwick: the device root %s is refused: %s\n", plat::fs::DeviceRoot().c_str(),
                     refused.c_str());
        return 2;
    }
    // The environment is set before the fonts load on another thread, which
    // reads it: a variable set meanwhile could pull it away under that read.
    if (!connect.empty()) setenv("ORVADE_CONNECT", connect.c_str(), 1);
    const bool display = HasDisplay();
    if (!display) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    plat::draw::PrepareFonts();  // while the rest starts; the screen's first font waits for it
    // Nothing could run on a root that cannot be written: say why and stop
    // before any box is shown.
    const std::string root = plat::fs::DeviceRoot();
    std::error_code error;
    std::filesystem::create_directories(root, error);
    if (!error && !std::filesystem::is_directory(root, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error && ::access(root.c_str(), W_OK | X_OK) != 0) error = std::error_code(errno, std::generic_category());
    if (error) {
        std::fprintf(stderr, "Launchwick: the device root %s cannot be used: %s\n", root.c_str(), error.message().c_str());
        return 1;
    }
    if (!launchwick::PrepareDevice(ModuleHostDirectory(reinterpret_cast<const void*>(&main)))) {
        std::fprintf(stderr, "Launchwick: the device root %s could not be prepared\n", root.c_str());
        return 1;
    }

    // The toolkit reads no argument: all of them are the launcher's.
    int toolkitArgc = 1;
    return plat::qt::RunWithApplication(toolkitArgc, argv, [&] {
        ReportingAnswerer reporter;
        if (!display) plat::msgbox::SetPresenter(&reporter);
        const int code = launchwick::Run(plat::text::Utf8ToWide(commandLine));
        plat::msgbox::SetPresenter(nullptr);
        return code;
    });
}

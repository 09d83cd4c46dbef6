// Launchwick, the device program's launcher. On this machine it also stands
// in for the device: it chooses the device root, prepares it on its first
// start as an installation would, and shows the device's screen as a window
// of the handheld's size (offscreen when there is no display).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>

#include "Launchwick.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/MsgBox.h"
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

bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return std::strcmp(platform, "offscreen") != 0;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    std::string deviceRoot, connect, commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--device-root" || arg == "--connect") && i + 1 < argc) {
            (arg == "--device-root" ? deviceRoot : connect) = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "Launchwick: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            commandLine += (commandLine.empty() ? "" : " ") + arg;
        }
    }
    if (!deviceRoot.empty()) plat::fs::SetDeviceRoot(deviceRoot);
    if (!connect.empty()) setenv("ORVADE_CONNECT", connect.c_str(), 1);
    if (!launchwick::PrepareDevice(ModuleHostDirectory(reinterpret_cast<const void*>(&main))))
        std::fprintf(stderr, "Launchwick: the device root %s could not be prepared\n", plat::fs::DeviceRoot().c_str());

    const bool display = HasDisplay();
    if (!display) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    plat::qt::AttachQtEventLoop();
    ReportingAnswerer reporter;
    if (!display) plat::msgbox::SetPresenter(&reporter);
    const int code = launchwick::Run(plat::text::Utf8ToWide(commandLine));
    plat::msgbox::SetPresenter(nullptr);
    plat::qt::DetachQtEventLoop();
    return code;
}

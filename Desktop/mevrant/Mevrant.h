// Mevrant without its window: the product folder's configuration, its
// desktop programs, and the deployment of its files and package to the
// connected device through the remote device interface ("platform/Rapi.h").
// Every failure that stops an operation is a message box of the shared
// desktop library with its caption; progress goes to an IDeployProgress.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mevrant/ProductConfig.h"
#include "platform/WinTypes.h"

namespace mevrant {

inline constexpr char kTitle[] = "Quillmar Product Configuration";

// The texts of the connection, the copy and the installation.
inline constexpr char kInitFailed[] = "Update failed.  Unable to initialize the rapi interface.";
// Followed by a line that says what was missing.
inline constexpr char kInitTimedOut[] =
    "Update failed.  Rapi interface initialization timed out.  Please verify that the device is attached to the "
    "desktop.";
inline constexpr char kInitResultFailed[] =
    "Update failed.  Rapi interface initialization failed.  Please verify that the device is attached to the "
    "desktop.";
inline constexpr char kNoProductKey[] =
    "Update failed.  Unable to open Product Registry Key.  Please verify that the product is installed on the "
    "device.";
inline constexpr char kNoInstallDir[] =
    "Update failed.  Unable to determine install directory.  Please verify that the product is installed on the "
    "device.";
inline constexpr char kConnecting[] = "Connecting...";
inline constexpr char kUpdated[] = "Updates successfully installed.";
inline constexpr char kUpdateFailed[] = "Failed to update:\n";
inline constexpr char kNoInstallApp[] = "Install Failed.\nThe install app was not found.";
inline constexpr char kCabNotCopied[] = "Unable to copy CAB file to device.";
inline constexpr char kInstallFailedCaption[] = "Install Failed.";
inline constexpr char kInstallStarted[] =
    "Please check the device to see if additional steps are required to complete the install.";
inline constexpr char kInstallStartedCaption[] = "Install Initiated";
inline constexpr char kNoSpawn[] = "Install failed.\nUnable to spawn the install app on the device.";

// Files are copied in blocks of this size.
constexpr size_t kBlockSize = 32000;
// How long a connection is waited for, in slices of the second figure.
constexpr DWORD kInitWaitMs = 5000;
constexpr DWORD kInitSliceMs = 50;

// Why the device at the device root did not answer: the folder is missing,
// is no folder, or the system's reason; empty when it is there now.
std::string MissingDevice(const std::string& root);

// The percentage of a file copied, in 64-bit arithmetic; an empty file is
// whole at once.
int Progress(uint64_t written, uint64_t size);

// The progress dialog "Product Install" as the copy drives it.
class IDeployProgress {
public:
    virtual ~IDeployProgress() = default;
    // Shows the dialog with its status text, the bar hidden.
    virtual void Start(const std::u16string& status) = 0;
    // Shows the bar and the file's display name.
    virtual void File(const std::u16string& name) = 0;
    virtual void Percent(int percent) = 0;
    virtual void Hide() = 0;
    // The wait for a device that did not answer at once: true after each
    // slice of it, false once it ends (before any box that tells how).
    virtual void Waiting(bool) {}
};

// The desktop application manager's path from the desktop registry (an INI
// file: section "HKEY_LOCAL_MACHINE\<key>", "@" its default value); false
// with a Windows error code.
bool ReadDesktopAppPath(const std::string& registryFile, std::string& path, DWORD& error);
// Where the desktop registry is: $ORVADE_DESKTOP_REGISTRY, else
// "orvade/DesktopRegistry.ini" of $XDG_CONFIG_HOME (~/.config).
std::string DefaultDesktopRegistry();
// The system's text for a Windows error code.
std::u16string SystemErrorText(DWORD error);

// Starts a desktop program with its arguments in a working folder and waits
// for it; false when it cannot be started.
bool RunDesktopProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder);

// The command line.
struct Options {
    std::string deviceRoot;   // empty: the setting, else the default root
    bool help = false;
};
inline constexpr char kUsage[] =
    "Usage: Mevrant [--device-root DIR]\n"
    "Run in a product folder: starts the product's desktop programs and copies\n"
    "its configuration files and package to the connected device.\n"
    "  --device-root DIR  the device root folder that is connected (else the\n"
    "                     setting DeviceRoot of [General] in\n"
    "                     ~/.config/Quillmar/Mevrant.conf,\n"
    "                     else $ORVADE_DEVICE_ROOT, else ~/.local/share/orvade/device)\n"
    "  --help             this text\n";
// False with the message for an argument it does not know.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

class CMevrant {
public:
    // The product folder (the folder Mevrant was started in).
    explicit CMevrant(std::string folder);
    ~CMevrant();
    CMevrant(const CMevrant&) = delete;
    CMevrant& operator=(const CMevrant&) = delete;

    // Reads the product configuration (once, as the dialog opens).
    void Load();
    const ProductConfig& Config() const { return m_config; }
    const std::string& Folder() const { return m_folder; }
    // "Quillmar Product Configuration - <last folder name>".
    std::u16string Title() const;
    ButtonStates Buttons() const { return InstallButtonStates(m_folder, m_config.kind); }

    // The first three launcher entries are shown; the program's file on the
    // desktop, and whether it exists.
    std::string ProgramPath(const LauncherEntry& entry) const;
    std::string WorkFolder(const LauncherEntry& entry) const;
    bool ProgramExists(const LauncherEntry& entry) const;
    // Runs the entry's program and waits for it; false when it cannot start.
    bool Launch(size_t index);

    // The Installation buttons.
    bool OnConfigOnly() { return UpdateDevice(); }
    bool OnApplicationOnly() { return InstallProduct(); }
    bool OnApplicationAndConfig() { return InstallProduct() && UpdateDevice(); }

    bool ConnectDevice();
    void DisconnectDevice();
    bool Connected() const { return m_connected; }
    // Copies the configuration files (or, in install mode, the package);
    // true when every file attempted was copied.
    bool UpdateDevice();
    bool InstallProduct();

    void SetProgress(IDeployProgress* progress) { m_progress = progress; }
    void SetInitWait(DWORD milliseconds) { m_initWait = milliseconds; }
    void SetDesktopRegistry(std::string file) { m_desktopRegistry = std::move(file); }

private:
    struct Folders;
    bool DeviceFolders(Folders& folders);
    bool CopyFile(size_t index, FILE* in, const Folders& folders, uint32_t& copied);
    bool DesktopInstall();
    void Message(const std::string& text, unsigned type, const std::u16string& caption);

    std::string m_folder;
    ProductConfig m_config;
    std::string m_package;          // the package's file name; CABFile once used
    std::u16string m_packageTarget;  // where the last copy put the package
    bool m_installMode = false;
    bool m_connected = false;
    DWORD m_initWait = kInitWaitMs;
    std::string m_desktopRegistry;
    IDeployProgress* m_progress;
};

// Creates every missing folder of a device path from the root down (not its
// last component); false when one cannot be created.
bool CreateDeviceDirectories(const std::u16string& path);

}  // namespace mevrant

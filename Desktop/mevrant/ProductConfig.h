// A product's configuration as Mevrant reads it from the product folder:
// which product it is (by the name of its configuration file), the desktop
// programs it names (launcher lines) and how its package is installed on a
// device (the [Install] section). Texts are the file's Windows-1252 bytes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace mevrant {

// One product kind: its files on the desktop and its place on the device.
struct ProductKind {
    int kind;
    const char* title;           // message captions
    const char* registryKey;     // under HKEY_LOCAL_MACHINE on the device
    // Configuration files with their display names, then the package (its
    // index is files.size()).
    std::vector<std::pair<const char*, const char*>> files;
    const char* package;
    const char* packageName;
};

// Kinds 0 (terminal emulation), 1 (device agent) and 2 (this client).
const ProductKind& Kind(int kind);

// The product configuration files in the order they are tried, with the
// kind each one makes.
struct ProductFile {
    const char* name;
    int kind;
};
inline constexpr std::array<ProductFile, 4> kProductFiles = {
    {{"TavrineConfig.cfg", 1}, {"OrvadeConfig.cfg", 2}, {"TelnetConfig.cfg", 0}, {"TelnetConfig.ini", 0}}};

// A desktop program named by a launcher line.
struct LauncherEntry {
    std::string title;
    std::string app;       // program file, relative to workdir
    std::string cmdline;   // its one argument
    std::string workdir;   // empty: the product folder
    bool operator==(const LauncherEntry&) const = default;
};

// The [Install] section's values (empty when not given).
struct InstallSettings {
    int installType = 0;
    std::string installDir, configDir, flashDrive, installAppArgs, installApp, cabFile, cabDir;
};

// A launcher line: keyword=value pairs separated by commas; false when it
// names no title or no app.
bool ParseLauncherLine(std::string_view line, LauncherEntry& entry);
// An [Install] line sets the value its key names; other lines change nothing.
void ParseInstallLine(std::string_view line, InstallSettings& install);

struct ProductConfig {
    bool found = false;      // a product configuration file was read
    int kind = 0;
    std::string file;        // its name as tried
    std::vector<LauncherEntry> launchers;
    InstallSettings install;
};

// Reads the first product configuration file of the folder (names matched
// without regard to case); nothing found leaves kind 0 and no launchers.
ProductConfig ReadProductConfig(const std::string& folder);
// The same from the file's bytes.
void ParseProductConfig(std::string_view bytes, ProductConfig& config);

// Which Installation buttons the folder's files allow.
struct ButtonStates {
    bool applicationAndConfig = false;
    bool applicationOnly = false;
    bool configOnly = false;
    bool operator==(const ButtonStates&) const = default;
};
ButtonStates InstallButtonStates(const std::string& folder, int kind);

// The release notes of the folder: "CE-Release.txt", else "Release.txt"
// (names found without regard to case); empty when neither is there.
std::string ReleaseNotes(const std::string& folder);
// The about box's text: the first three non-empty lines among the first six
// of the release notes, each ended by CR LF; with "TERMTYPE.DAT" beside
// them, "Language Version" when a line of it before the first empty one
// begins with "IBM-5555", else "Non-Language Version", after an empty line.
std::string AboutText(const std::string& folder);

// The folder's files whose names match the pattern ('*' and '?', without
// regard to case), sorted by name.
std::vector<std::string> MatchingFiles(const std::string& folder, std::string_view pattern);

}  // namespace mevrant

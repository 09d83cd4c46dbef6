// Command line and scripted input of the headless session tool.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class LinkMode { None, Connect, Stdio };

struct SessionOptions {
    LinkMode mode = LinkMode::None;
    std::string host;
    uint16_t port = 0;
    std::string deviceRoot;
    std::string programFolder;  // device path of the program folder
    std::string inputFile;
    std::string logFile;
    // Serial ports: a device's name ("COM1:") and the machine's device path
    // behind it, written into the device root's registry.
    std::vector<std::pair<std::string, std::string>> serialPorts;
    bool help = false;
};

// One line of an input script.
struct ScriptEvent {
    enum Kind { Key, Text, Scan } kind = Key;
    uint32_t key = 0;     // Key: the virtual-key code
    std::u16string text;  // Text, Scan: the characters
};

// Exit codes of the tool.
constexpr int EXIT_SESSION_ENDED = 0;
constexpr int EXIT_RUNTIME_ERROR = 1;  // cannot connect, host I/O failed
constexpr int EXIT_USAGE_ERROR = 2;    // bad arguments or input script

// The most characters of one scanner reading the device passes on.
constexpr size_t kMaxScanCharacters = 4000;

// False with a message when the command line is not usable. --help alone is valid.
bool ParseArguments(int argc, char** argv, SessionOptions& options, std::string& error);

// False with a message naming the (1-based) line of the first malformed line.
bool ParseInputScript(const std::string& content, std::vector<ScriptEvent>& events, std::string& error);

const char* HelpText();

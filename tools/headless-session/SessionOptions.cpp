#include "SessionOptions.h"

#include <charconv>
#include <string_view>

#include "platform/Serial.h"
#include "platform/Text.h"

namespace {

bool ParseNumber(std::string_view text, uint32_t max, uint32_t& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

// "HOST:PORT", "[IPv6]:PORT".
bool ParseEndpoint(std::string_view text, SessionOptions& options) {
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos) return false;  // IPv6 needs brackets
    uint32_t port = 0;
    if (host.empty() || !ParseNumber(text.substr(colon + 1), 65535, port) || port == 0) return false;
    options.host = host;
    options.port = static_cast<uint16_t>(port);
    return true;
}

// "COMn:=PATH": a port name of 1 to 255 and an absolute path of this machine.
bool ParseSerialPort(std::string_view text, SessionOptions& options) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view name = text.substr(0, eq);
    const std::string_view path = text.substr(eq + 1);
    if (!plat::serial::IsPortName(plat::text::Utf8ToWide(name)) || path.empty() || path.front() != '/') return false;
    options.serialPorts.emplace_back(name, path);
    return true;
}

bool IsValidUtf8(std::string_view text) {
    return plat::text::WideToUtf8(plat::text::Utf8ToWide(text)) == text;
}

}  // namespace

bool ParseArguments(int argc, char** argv, SessionOptions& options, std::string& error) {
    options = SessionOptions{};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view name = arg;
        std::string_view value;
        bool inlineValue = false;
        if (size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--stdio") {
            if (inlineValue) {
                error = "--stdio takes no value";
                return false;
            }
            if (options.mode != LinkMode::None) {
                error = "give either --connect HOST:PORT or --stdio, once";
                return false;
            }
            options.mode = LinkMode::Stdio;
            continue;
        }
        std::string* target = nullptr;
        if (name == "--device-root") target = &options.deviceRoot;
        else if (name == "--program-folder") target = &options.programFolder;
        else if (name == "--input") target = &options.inputFile;
        else if (name == "--log") target = &options.logFile;
        else if (name != "--connect" && name != "--serial-port") {
            error = "unknown argument '" + std::string(arg) + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (value.empty()) {
            error = std::string(name) + " needs a value";
            return false;
        }
        if (name == "--serial-port") {
            const size_t before = options.serialPorts.size();
            if (!ParseSerialPort(value, options)) {
                error = "--serial-port needs COMn:=PATH, a port from COM1: to COM255: and an absolute device path of "
                        "this machine, not '" + std::string(value) + "'";
                return false;
            }
            for (size_t k = 0; k < before; ++k) {
                if (options.serialPorts[k].first == options.serialPorts.back().first) {
                    error = "--serial-port " + options.serialPorts.back().first + " is given twice";
                    return false;
                }
            }
            continue;
        }
        if (name == "--connect") {
            if (options.mode != LinkMode::None) {
                error = "give either --connect HOST:PORT or --stdio, once";
                return false;
            }
            if (!ParseEndpoint(value, options)) {
                error = "--connect needs HOST:PORT with a port from 1 to 65535 (an IPv6 address in brackets: "
                        "[::1]:1000), not '" + std::string(value) + "'";
                return false;
            }
            options.mode = LinkMode::Connect;
            continue;
        }
        if (!target->empty()) {
            error = std::string(name) + " is given twice";
            return false;
        }
        *target = value;
    }
    if (!options.help && options.mode == LinkMode::None) {
        error = "give --connect HOST:PORT or --stdio";
        return false;
    }
    return true;
}

bool ParseInputScript(const std::string& content, std::vector<ScriptEvent>& events, std::string& error) {
    events.clear();
    size_t start = 0;
    for (int lineNumber = 1; start < content.size(); ++lineNumber) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string_view line(content.data() + start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);

        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNumber) + ": " + why + ": '" + std::string(line) + "'";
            return false;
        };
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') continue;
        if (!IsValidUtf8(line)) return fail("not UTF-8 text");

        size_t space = line.find(' ');
        std::string_view verb = line.substr(0, space);
        // Text after the single space that follows the verb, spaces kept.
        std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        ScriptEvent event;
        if (verb == "key") {
            if (!ParseNumber(argument, 255, event.key) || event.key == 0)
                return fail("'key' needs a virtual-key code from 1 to 255");
            event.kind = ScriptEvent::Key;
        } else if (verb == "text" || verb == "scan") {
            if (argument.empty()) return fail("'" + std::string(verb) + "' needs the characters after one space");
            event.kind = verb == "text" ? ScriptEvent::Text : ScriptEvent::Scan;
            event.text = plat::text::Utf8ToWide(argument);
            if (event.kind == ScriptEvent::Scan && event.text.size() > kMaxScanCharacters)
                return fail("scanner data longer than " + std::to_string(kMaxScanCharacters) + " characters");
        } else {
            return fail("expected 'key N', 'text S' or 'scan S'");
        }
        events.push_back(std::move(event));
    }
    return true;
}

const char* HelpText() {
    return R"(Usage:
  headless-session --connect HOST:PORT [--device-root DIR] [--program-folder PATH]
                   [--input FILE] [--log FILE] [--serial-port COMn:=PATH ...]
  headless-session --stdio [--device-root DIR] [--program-folder PATH]
                   [--input FILE] [--log FILE] [--serial-port COMn:=PATH ...]
  headless-session --help

Runs one client session without a display: the host's framed commands go to
the client core exactly as on the device, and the device's framed replies go
back to the host.

  --connect HOST:PORT  Connect to a host application over TCP (an IPv6
                       address in brackets: [::1]:1000) and run the session
                       until the host sends Disconnect or closes the
                       connection.
  --stdio              Read the host's framed bytes from standard input and
                       write the framed replies to standard output. At the
                       end of input, every complete packet has been handled
                       and its immediate answers written; then the session
                       ends as when the host closes the connection (an
                       answer that waits for a time-out is not given).
  --device-root DIR    The device's file system (default: $ORVADE_DEVICE_ROOT,
                       else ~/.local/share/orvade/device). The session's
                       application folder, the logical folder APP, is the
                       device folder \Session (DIR/Session, created when
                       missing): the files the host stores, lists and fetches
                       by name lie under it (DIR/Session/DATA/..., and
                       BARCODES, TONES and the other folders by extension).
  --program-folder PATH
                       The device folder of the client program (default
                       \Program Files\Orvade Client, created when missing),
                       a folder of the device root; a folder given here must
                       exist. As on the device, the session
                       loads the extension libraries of its Ext and EXT2
                       folders and the automation libraries of its AUTO
                       folder, and the resource library orvaderes.dll from
                       it, else from beside this tool.
  --input FILE         Scripted user input, given to the session in order at
                       its start, as if typed before the host asked. One
                       event a line:
                         key N    a key press, N its virtual-key code in
                                  decimal (112 is F1, 38 is up); a key that
                                  types a character also types it (13 Enter,
                                  8 Backspace, 27 Escape, 32 space, 48-57
                                  digits, 65-90 letters in lower case)
                         text S   the characters S (UTF-8), typed one by one
                         scan S   scanner data S, reported with symbology 0
                       Blank lines and lines starting with # are ignored.
                       FILE must be a regular file of at most 1 MiB; a
                       malformed line is an error before the session starts.
                       Until the host asks, the input queue holds 100
                       events; the number dropped past that is reported on
                       standard error and in the log.
  --log FILE           Write the session's log, level 5 (traces and hex dumps
                       of all traffic), into FILE, a file of this machine
                       (emptied once the host is reached; never the input
                       file).
  --serial-port COMn:=PATH
                       The device's serial port COMn: (1 to 255) is the
                       terminal device PATH of this machine (/dev/ttyUSB0),
                       for the host's printing and serial commands: the
                       device node itself, outside the device root, not a
                       symbolic link to it, else the port does not open. The map
                       is written into the device root's registry
                       (HKEY_LOCAL_MACHINE\Comm\Ports), where it stays. May
                       be given for several ports.
  --help               Show this text.

Nothing is created or emptied (device root, log) before every argument has
been checked and the host reached.

Exit status: 0 when the session ended (Disconnect, or the host closed the
connection or the input), 1 when the host cannot be reached or its link fails,
2 for a bad command line or input script.
)";
}

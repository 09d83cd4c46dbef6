// Arbitrary INI file contents read and rewritten. The input is the section,
// the key and the value, each ended by a 0 byte, then the file's bytes
// (missing parts are empty). Where the names can be written as a line of
// their own, the value written must read back, and writing it again may
// change nothing but blank lines: a break takes up to two CR or LF bytes, so
// a blank line the rewrite leaves behind may merge into the break before it
// the next time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "core/support/DeviceIni.h"
#include "FuzzDir.h"
#include "platform/DeviceFs.h"

namespace {

constexpr char16_t kPath[] = u"\\Settings\\device.ini";

class Environment {
public:
    Environment() : m_root("fuzz-ini") {
        std::filesystem::create_directories(m_root.Path() / "Settings");
        plat::fs::SetDeviceRoot(m_root.Path().string());
    }
    std::filesystem::path File() const { return m_root.Path() / "Settings" / "device.ini"; }

private:
    FuzzDir m_root;
};

std::string Take(std::string_view& input) {
    size_t end = input.find('\0');
    std::string part(input.substr(0, end));
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return part;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string_view WithoutBackspaces(std::string_view s) {
    size_t i = s.find_first_not_of('\b');
    return i == std::string_view::npos ? std::string_view() : s.substr(i);
}

// The file's bytes with each run of CR and LF as one LF.
std::string WithoutBlankLines(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool isBreak = c == '\r' || c == '\n';
        if (!isBreak) out += c;
        else if (out.empty() || out.back() != '\n') out += '\n';
    }
    return out;
}

bool HasBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Names and a value that make one well-formed line each: the section header
// is read back as that section, the key line as that key and never as a
// header or a comment, and the value is not unquoted.
bool RoundTrips(std::string_view section, std::string_view key, std::string_view value) {
    if (HasBreak(section) || HasBreak(key) || HasBreak(value)) return false;
    if (section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos) return false;
    if (!key.empty() && key[0] == ';') return false;
    if (!WithoutBackspaces(key).empty() && WithoutBackspaces(key)[0] == '[') return false;
    std::string_view v = WithoutBackspaces(value);
    return v.empty() || (v[0] != '"' && v[0] != '\'');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Environment environment;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string section = Take(input), key = Take(input), value = Take(input);
    std::ofstream(environment.File(), std::ios::binary | std::ios::trunc).write(input.data(), input.size());

    char small[8];
    char large[4096];
    ReadIniString(section.c_str(), key.c_str(), "default", small, sizeof small, kPath);
    ReadIniString(section.c_str(), key.c_str(), nullptr, large, 1, kPath);
    ReadIniString(section.c_str(), key.c_str(), "default", large, sizeof large, kPath);

    const int32_t written = WriteIniString(section.c_str(), key.c_str(), value.c_str(), kPath);
    if (!RoundTrips(section, key, value) || value.size() >= sizeof large) return 0;
    if (written != static_cast<int32_t>(value.size())) std::abort();
    const int32_t read = ReadIniString(section.c_str(), key.c_str(), "", large, sizeof large, kPath);
    if (std::string_view(large, static_cast<size_t>(read)) != value) std::abort();
    const std::string once = WithoutBlankLines(ReadFile(environment.File()));
    if (WriteIniString(section.c_str(), key.c_str(), value.c_str(), kPath) != written) std::abort();
    if (WithoutBlankLines(ReadFile(environment.File())) != once) std::abort();
    return 0;
}

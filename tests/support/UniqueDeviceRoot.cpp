// Every test program gets a device root of its own unless the environment
// names one. Programs of one device root share their windows (FindWindow
// finds the others'), so test programs that ctest runs side by side would
// otherwise see each other's windows and files. Programs a test starts
// inherit the root through the environment.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct UniqueDeviceRoot {
    std::string dir;
    UniqueDeviceRoot() {
        if (const char* named = getenv("ORVADE_DEVICE_ROOT"); named && *named) return;
        std::string pattern = (std::filesystem::temp_directory_path() / "orvade-test-root-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        dir = pattern;
        setenv("ORVADE_DEVICE_ROOT", dir.c_str(), 1);
    }
    ~UniqueDeviceRoot() {
        if (dir.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);  // links in it are removed, never followed
    }
} g_uniqueDeviceRoot;

}  // namespace

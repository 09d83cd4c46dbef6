// The vendor display library: the backlight of the machine when it has one
// we may change, else kept values; the contrast is kept.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "platform/vendor/TvDeviceExports.h"

namespace {

std::mutex g_mutex;
int g_contrast = TVDISP_CONTRAST_LEVELS / 2;
int g_backlight = 0;
int g_backlightLevels = 0;  // 0 until known
int g_backlightOn = 1;

// The first backlight device whose brightness we may write.
std::optional<std::string> BacklightDevice() {
    const char* override = std::getenv("ORVADE_BACKLIGHT_DIR");
    const std::string root = override && *override ? override : "/sys/class/backlight";
    DIR* dir = opendir(root.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string device = root + "/" + entry->d_name;
        if (access((device + "/brightness").c_str(), R_OK | W_OK) == 0 &&
            access((device + "/max_brightness").c_str(), R_OK) == 0 && (!found || device < *found))
            found = device;
    }
    closedir(dir);
    return found;
}

std::optional<int> ReadNumber(const std::string& path) {
    std::ifstream in(path);
    long value;
    if (!(in >> value) || value < 0 || value > 1000000) return std::nullopt;
    return static_cast<int>(value);
}

bool WriteNumber(const std::string& path, int value) {
    std::ofstream out(path);
    out << value << '\n';
    out.flush();
    return static_cast<bool>(out);
}

int KeptBacklightLevels() {
    if (!g_backlightLevels) g_backlightLevels = TVDISP_CONTRAST_LEVELS, g_backlight = g_backlightLevels - 1;
    return g_backlightLevels;
}

}  // namespace

ORVADE_EXPORT DWORD DispGetContrastLevels(int* levels, int) {
    if (!levels) return TVDISP_E_FAIL;
    *levels = TVDISP_CONTRAST_LEVELS;
    return 0;
}

ORVADE_EXPORT DWORD DispGetContrast(int* level) {
    if (!level) return TVDISP_E_FAIL;
    std::lock_guard lock(g_mutex);
    *level = g_contrast;
    return 0;
}

ORVADE_EXPORT DWORD DispSetContrast(int level) {
    if (level < 0 || level >= TVDISP_CONTRAST_LEVELS) return TVDISP_E_RANGE;
    std::lock_guard lock(g_mutex);
    g_contrast = level;
    return 0;
}

ORVADE_EXPORT DWORD DispGetBacklightLevels(int* levels, int) {
    if (!levels) return TVDISP_E_FAIL;
    if (const std::optional<std::string> device = BacklightDevice()) {
        const std::optional<int> max = ReadNumber(*device + "/max_brightness");
        if (!max) return TVDISP_E_FAIL;
        *levels = *max + 1;
        return 0;
    }
    std::lock_guard lock(g_mutex);
    *levels = KeptBacklightLevels();
    return 0;
}

ORVADE_EXPORT DWORD DispGetBacklight(int* level) {
    if (!level) return TVDISP_E_FAIL;
    if (const std::optional<std::string> device = BacklightDevice()) {
        const std::optional<int> value = ReadNumber(*device + "/brightness");
        if (!value) return TVDISP_E_FAIL;
        *level = *value;
        return 0;
    }
    std::lock_guard lock(g_mutex);
    KeptBacklightLevels();
    *level = g_backlight;
    return 0;
}

ORVADE_EXPORT DWORD DispSetBacklight(int level) {
    if (const std::optional<std::string> device = BacklightDevice()) {
        const std::optional<int> max = ReadNumber(*device + "/max_brightness");
        if (!max) return TVDISP_E_FAIL;
        if (level < 0 || level > *max) return TVDISP_E_RANGE;
        return WriteNumber(*device + "/brightness", level) ? 0 : TVDISP_E_FAIL;
    }
    std::lock_guard lock(g_mutex);
    if (level < 0 || level >= KeptBacklightLevels()) return TVDISP_E_RANGE;
    g_backlight = level;
    return 0;
}

// On and off through the device's power file ("bl_power": 0 on, 4 off) when
// it may be written.
ORVADE_EXPORT DWORD DispGetBacklightState(int* on) {
    if (!on) return TVDISP_E_FAIL;
    if (const std::optional<std::string> device = BacklightDevice();
        device && access((*device + "/bl_power").c_str(), R_OK | W_OK) == 0) {
        const std::optional<int> power = ReadNumber(*device + "/bl_power");
        if (!power) return TVDISP_E_FAIL;
        *on = *power == 0 ? 1 : 0;
        return 0;
    }
    std::lock_guard lock(g_mutex);
    *on = g_backlightOn;
    return 0;
}

ORVADE_EXPORT DWORD DispSetBacklightState(int on) {
    if (const std::optional<std::string> device = BacklightDevice();
        device && access((*device + "/bl_power").c_str(), R_OK | W_OK) == 0)
        return WriteNumber(*device + "/bl_power", on ? 0 : 4) ? 0 : TVDISP_E_FAIL;
    std::lock_guard lock(g_mutex);
    g_backlightOn = on ? 1 : 0;
    return 0;
}

#include "platform/Power.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <vector>

namespace {

struct PowerConfig {
    std::mutex mutex;
    std::function<BOOL(PowerStatus*)> source;
    std::string folder;  // empty: /sys/class/power_supply
};

PowerConfig& Cfg() {
    static PowerConfig config;
    return config;
}

// The first line of a sysfs attribute; empty when it cannot be read.
std::string ReadAttribute(const std::string& supply, const char* name) {
    std::ifstream in(supply + "/" + name);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

std::optional<int> ReadNumber(const std::string& supply, const char* name) {
    std::string text = ReadAttribute(supply, name);
    char* end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end) return std::nullopt;
    return int(std::clamp(v, -1L, 1000L));
}

BYTE LevelFlag(const std::string& level, std::optional<int> capacity) {
    if (level == "Full" || level == "High") return BATTERY_FLAG_HIGH;
    if (level == "Normal") return 0;
    if (level == "Low") return BATTERY_FLAG_LOW;
    if (level == "Critical") return BATTERY_FLAG_CRITICAL;
    if (!capacity || *capacity < 0) return BATTERY_FLAG_UNKNOWN;
    if (*capacity > 66) return BATTERY_FLAG_HIGH;
    if (*capacity < 5) return BATTERY_FLAG_CRITICAL;
    if (*capacity < 33) return BATTERY_FLAG_LOW;
    return 0;
}

BOOL ReadPowerSupplyFolder(const std::string& folder, PowerStatus* status) {
    *status = PowerStatus{};
    DIR* d = opendir(folder.c_str());
    if (!d) return TRUE;  // nothing known
    std::vector<std::string> supplies;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') supplies.push_back(folder + "/" + e->d_name);
    closedir(d);
    std::sort(supplies.begin(), supplies.end());

    bool battery = false, lines = false, online = false;
    for (const std::string& supply : supplies) {
        if (ReadAttribute(supply, "type") != "Battery") {
            if (auto on = ReadNumber(supply, "online")) {
                lines = true;
                online = online || *on > 0;
            }
            continue;
        }
        if (battery || ReadAttribute(supply, "scope") == "Device" || ReadAttribute(supply, "present") == "0") continue;
        battery = true;
        std::optional<int> capacity = ReadNumber(supply, "capacity");
        if (capacity && *capacity >= 0) status->batteryLifePercent = BYTE(std::min(*capacity, 100));
        BYTE flag = LevelFlag(ReadAttribute(supply, "capacity_level"), capacity);
        if (ReadAttribute(supply, "status") == "Charging")
            flag = flag == BATTERY_FLAG_UNKNOWN ? BATTERY_FLAG_CHARGING : BYTE(flag | BATTERY_FLAG_CHARGING);
        status->batteryFlag = flag;
    }
    if (!battery) status->batteryFlag = BATTERY_FLAG_NO_BATTERY;
    status->acLineStatus = !lines ? AC_LINE_UNKNOWN : online ? AC_LINE_ONLINE : AC_LINE_OFFLINE;
    return TRUE;
}

}  // namespace

BOOL GetSystemPowerStatus(PowerStatus* status) {
    if (!status) return FALSE;
    std::function<BOOL(PowerStatus*)> source;
    std::string folder;
    {
        PowerConfig& c = Cfg();
        std::lock_guard lock(c.mutex);
        source = c.source;
        folder = c.folder.empty() ? "/sys/class/power_supply" : c.folder;
    }
    return source ? source(status) : ReadPowerSupplyFolder(folder, status);
}

void plat::power::SetPowerStatusSource(std::function<BOOL(PowerStatus*)> source) {
    PowerConfig& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.source = std::move(source);
}

void plat::power::SetPowerSupplyFolder(const std::string& hostDirectory) {
    PowerConfig& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.folder = hostDirectory;
}

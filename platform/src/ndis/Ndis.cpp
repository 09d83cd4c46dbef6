#include "platform/Ndis.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "platform/Text.h"

namespace {

struct Adapter {
    std::string name;
    uint8_t mac[6] = {};
    bool wireless = false;
    bool connected = false;
    uint32_t speed = 0;  // 100 bit/s
    std::string ssid;
    uint8_t bssid[6] = {};
    int32_t rssi = 0;
    uint32_t mode = 1;
    bool described = false;  // from a description file
    int64_t ssidLength = -1;  // the SSID record's length word as the adapter reports it (-1: the SSID's)
};

bool ParseMac(const std::string& text, uint8_t out[6]) {
    unsigned b[6];
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
        return false;
    for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(b[i]);
    return true;
}

// The first line of a small file (an attribute of /sys); empty when unreadable.
std::string ReadLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[128];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) return {};
    const std::string_view text(buffer, size_t(n));
    return std::string(text.substr(0, text.find('\n')));
}

std::vector<Adapter> FromDescription(const std::string& path) {
    std::vector<Adapter> adapters;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            adapters.push_back(Adapter{});
            adapters.back().name = line.substr(1, line.size() - 2);
            adapters.back().described = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (adapters.empty() || eq == std::string::npos) continue;
        Adapter& a = adapters.back();
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "MAC") ParseMac(value, a.mac);
        else if (key == "Wireless") a.wireless = value == "1";
        else if (key == "Connected") a.connected = value == "1";
        else if (key == "Speed") a.speed = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "SSID") a.ssid = value.substr(0, 32);
        else if (key == "BSSID") ParseMac(value, a.bssid);
        else if (key == "SSIDLength") a.ssidLength = std::strtol(value.c_str(), nullptr, 10);
        else if (key == "RSSI") a.rssi = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
        else if (key == "Mode") a.mode = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    }
    return adapters;
}

constexpr char kLinuxAdapters[] = "/sys/class/net/";

// An interface's name as an adapter's: one entry of the folder, never "lo".
bool IsAdapterName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name != "lo" && name.find('/') == std::string_view::npos;
}

// What a question needs of an interface; the rest is not read.
enum Needs : unsigned { kNeedsNothing = 0, kNeedsMac = 1, kNeedsCarrier = 2, kNeedsSpeed = 4, kNeedsWireless = 8 };

Needs NeedsOf(DWORD oid) {
    switch (oid) {
    case OID_GEN_PHYSICAL_MEDIUM: return kNeedsWireless;
    case OID_GEN_LINK_SPEED: return kNeedsSpeed;
    case OID_GEN_MEDIA_CONNECT_STATUS: return kNeedsCarrier;
    case OID_802_3_PERMANENT_ADDRESS:
    case OID_802_3_CURRENT_ADDRESS: return kNeedsMac;
    default: return kNeedsNothing;  // radio values: never from Linux
    }
}

// The interface of that name, read alone and only as far as asked: a
// question about one adapter reads nothing of the others.
std::optional<Adapter> FromLinux(const std::string& name, unsigned needs) {
    if (!IsAdapterName(name)) return std::nullopt;
    const std::string base = kLinuxAdapters + name;
    if (::access(base.c_str(), F_OK) != 0) return std::nullopt;
    Adapter a;
    a.name = name;
    if (needs & kNeedsMac) ParseMac(ReadLine(base + "/address"), a.mac);
    if (needs & kNeedsCarrier) a.connected = ReadLine(base + "/carrier") == "1";
    if (needs & kNeedsSpeed) {
        const long mbits = std::strtol(ReadLine(base + "/speed").c_str(), nullptr, 10);
        if (mbits > 0 && mbits < 400000) a.speed = static_cast<uint32_t>(mbits * 10000);
    }
    if (needs & kNeedsWireless) a.wireless = ::access((base + "/wireless").c_str(), F_OK) == 0;
    return a;
}

std::vector<std::string> LinuxNames() {
    std::vector<std::string> names;
    DIR* dir = opendir(kLinuxAdapters);
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        if (IsAdapterName(entry->d_name)) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

const char* Description() {
    const char* description = std::getenv("ORVADE_FAKE_ADAPTERS");
    return description && *description ? description : nullptr;
}

std::optional<Adapter> Find(const std::u16string& name, unsigned needs) {
    const std::string wanted = plat::text::WideToUtf8(name);
    const char* description = Description();
    if (!description) return FromLinux(wanted, needs);
    for (Adapter& a : FromDescription(description))
        if (a.name == wanted) return a;
    return std::nullopt;
}

DWORD Put(void* buffer, DWORD length, const void* value, DWORD size, DWORD* done) {
    if (length < size) return NDIS_STATUS_INVALID_LENGTH;
    std::memcpy(buffer, value, size);
    *done = size;
    return NDIS_STATUS_SUCCESS;
}

}  // namespace

namespace plat::ndis {

std::vector<std::u16string> Adapters() {
    std::vector<std::u16string> names;
    if (const char* description = Description()) {
        for (const Adapter& a : FromDescription(description)) names.push_back(plat::text::Utf8ToWide(a.name));
    } else {
        for (const std::string& name : LinuxNames()) names.push_back(plat::text::Utf8ToWide(name));
    }
    return names;
}

bool MediaConnected(const std::u16string& adapter) {
    const std::optional<Adapter> a = Find(adapter, kNeedsCarrier);
    return a && a->connected;
}

DWORD Request(bool set, const std::u16string& adapter, DWORD oid, void* buffer, DWORD length, DWORD* done) {
    *done = 0;
    const std::optional<Adapter> a = Find(adapter, NeedsOf(oid));
    if (!a) return NDIS_STATUS_ADAPTER_NOT_FOUND;
    if (set) return NDIS_STATUS_NOT_SUPPORTED;
    if (!buffer && length) return NDIS_STATUS_FAILURE;
    auto word = [&](uint32_t value) { return Put(buffer, length, &value, 4, done); };
    switch (oid) {
    case OID_GEN_PHYSICAL_MEDIUM:
        return word(a->wireless ? NdisPhysicalMediumWirelessLan : NdisPhysicalMediumUnspecified);
    case OID_GEN_LINK_SPEED: return word(a->speed);
    case OID_GEN_MEDIA_CONNECT_STATUS: return word(a->connected ? 0 : 1);
    case OID_802_3_PERMANENT_ADDRESS:
    case OID_802_3_CURRENT_ADDRESS: return Put(buffer, length, a->mac, 6, done);
    default: break;
    }
    // Radio values are known only from a description.
    if (!a->wireless || !a->described) return NDIS_STATUS_NOT_SUPPORTED;
    switch (oid) {
    case OID_802_11_SSID: {
        uint8_t record[36] = {};
        const uint32_t size = static_cast<uint32_t>(a->ssid.size());
        const uint32_t word = a->ssidLength >= 0 ? static_cast<uint32_t>(a->ssidLength) : size;
        std::memcpy(record, &word, 4);
        std::memcpy(record + 4, a->ssid.data(), size);
        return Put(buffer, length, record, 36, done);
    }
    case OID_802_11_BSSID: return Put(buffer, length, a->bssid, 6, done);
    case OID_802_11_RSSI: return word(static_cast<uint32_t>(a->rssi));
    case OID_802_11_INFRASTRUCTURE_MODE: return word(a->mode);
    default: return NDIS_STATUS_NOT_SUPPORTED;
    }
}

}  // namespace plat::ndis

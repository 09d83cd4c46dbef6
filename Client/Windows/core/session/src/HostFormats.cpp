#include "core/session/HostFormats.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/PacketBuffer.h"
#include "core/support/DevicePath.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Power.h"

namespace FileUtil {
namespace {

void AppendListEntry(CPacketBuffer& writer, const plat::fs::FindData& file, bool details) {
    std::string entry = writer.EncodeWide(file.name);
    if (details) {
        FILETIME local{};
        SYSTEMTIME st{};
        FileTimeToLocalFileTime(&file.lastWriteTime, &local);
        FileTimeToSystemTime(&local, &st);
        char text[64];
        std::snprintf(text, sizeof text, "\xFC%d\xFC%04d%02d%02d\xFC%02d%02d%02d",
                      static_cast<int32_t>(static_cast<uint32_t>(file.size)), st.wYear, st.wMonth, st.wDay,
                      st.wHour, st.wMinute, st.wSecond);
        entry += text;
    }
    entry += '\xFD';
    // Whole entries only: a full writer drops an entry, never half of one.
    writer.AppendBytes(entry.data(), static_cast<int32_t>(entry.size()));
}

// One battery's value by its flag; flag combinations leave it as it was.
void SetBatteryValue(BYTE flag, int32_t good, int32_t poor, int32_t* out) {
    switch (flag) {
        case BATTERY_FLAG_HIGH:
        case BATTERY_FLAG_CHARGING: *out = good; break;
        case BATTERY_FLAG_LOW:
        case BATTERY_FLAG_CRITICAL: *out = poor; break;
        case BATTERY_FLAG_NO_BATTERY:
        case BATTERY_FLAG_UNKNOWN: *out = 2; break;
        default: break;
    }
}

}  // namespace

int32_t ListDirectory(std::u16string_view folder, std::u16string_view pattern, CPacketBuffer* writer,
                      bool subfoldersOnly, bool details) {
    std::u16string search = JoinPath(folder, subfoldersOnly ? std::u16string_view(u"*.*") : pattern);
    std::u16string directory(SearchFolderOf(search));
    // Subfolders are searched with the same pattern, but for an absolute
    // one only its names: it would name the same folder again, without end.
    std::u16string_view names = !pattern.empty() && pattern[0] == u'\\' ? SearchPatternOf(pattern) : pattern;
    int32_t count = 0;
    // Sizes and times only where they are written: names and kinds come from the listing alone.
    for (const auto& entry : details ? plat::fs::FindFiles(search) : plat::fs::FindNames(search)) {
        if (entry.isDirectory) {
            count += ListDirectory(directory + entry.name, names, writer, false, details);
        } else if (!subfoldersOnly && !entry.name.empty()) {
            if (writer) AppendListEntry(*writer, entry, details);
            ++count;
        }
    }
    return count;
}

void GetPowerStatus(int32_t* mainBattery, int32_t* backupBattery) {
    if (!mainBattery || !backupBattery) return;
    PowerStatus status;
    if (!GetSystemPowerStatus(&status)) {
        *mainBattery = 0;
        *backupBattery = 0;
        return;
    }
    SetBatteryValue(status.batteryFlag, 0, 1, mainBattery);
    SetBatteryValue(status.backupBatteryFlag, 1, 0, backupBattery);
}

int32_t ClampByteCount(uint64_t bytes) { return static_cast<int32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF)); }

int32_t FreeMemory() {
    // A figure given by the environment stands in for the machine's, so
    // recorded sessions answer the same on any machine.
    if (const char* given = std::getenv("ORVADE_FREE_MEMORY")) {
        char* end = nullptr;
        const unsigned long long bytes = std::strtoull(given, &end, 10);
        if (end != given && *end == '\0' && given[0] != '-') return ClampByteCount(bytes);
    }
    // What programs can still have: the kernel's estimate, which counts the
    // file cache it gives back (the bare free pages stay low on a busy machine).
    if (FILE* info = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        unsigned long long kib = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, info)) found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
        std::fclose(info);
        if (found) return ClampByteCount(static_cast<uint64_t>(kib) * 1024u);
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return ClampByteCount(static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize));
}

}  // namespace FileUtil

// The developer's log of a module: one 8-bit text line per event, prefixed
// with the milliseconds since the log began, and hex dumps of traffic. The
// file is opened, appended to and closed for every line, so several log
// objects (the shell's and the runtime's) can share one file.
//
// Levels: 1 errors, 3 notes, 5 traces. A configured level of 0 writes nothing.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

constexpr uint32_t LOG_ERROR = 1;
constexpr uint32_t LOG_NOTE = 3;
constexpr uint32_t LOG_TRACE = 5;

class CLogFile {
public:
    CLogFile();
    ~CLogFile();

    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // One line "+<ms> <text>\r\n" when level passes. A null text is empty.
    void Write(uint32_t level, const char* text);
    void Write(uint32_t level, std::string_view text);
    // printf-style; the text is formatted at its full length (no fixed
    // buffer), so a long line is written whole.
    void Printf(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void VPrintf(uint32_t level, const char* format, va_list args) __attribute__((format(printf, 3, 0)));
    // Hex dump: a header line, then rows of 32 bytes with their offsets.
    void Dump(uint32_t level, const char* title, const void* bytes, int32_t count);

    // Writes the header (local time); empties the file first when clear-on-open is set.
    void Begin();
    // A device path. The log is begun again, in the new file, by the next line.
    void SetPath(std::u16string_view path);
    // A machine path (a developer tool's log file), used instead of the
    // device path while it is set; empty returns to the device path. The
    // log is begun again, in that file, by the next line.
    void SetHostPath(const std::string& path);
    std::string GetHostPath() const;
    void SetClearOnOpen(bool clear);
    void SetLevel(uint32_t level);
    uint32_t GetLevel() const { return m_level.load(std::memory_order_relaxed); }
    // Sets the default path (TempFolder + "\Ravelcore.log") when none is set; returns the path.
    std::u16string ApplyDefaultPath();
    std::u16string GetPath() const;
    bool IsStarted() const;

    static std::u16string DefaultPath();

private:
    bool Passes(uint32_t level) const {
        uint32_t configured = GetLevel();
        return configured != 0 && level <= configured;
    }
    void BeginLocked();
    void AppendLocked(std::string_view bytes);
    void WriteLocked(const char* mode, std::string_view bytes);
    std::string PrefixLocked();

    mutable std::mutex m_lock;
    std::u16string m_path;
    std::string m_hostPath;
    uint32_t m_startTick = 0;
    std::atomic<uint32_t> m_level{0};
    bool m_started = false;
    bool m_clearOnOpen = true;
};

// The module's log. CreateLog replaces it (deleting the old one), sets the
// level and applies the default path; DestroyLog deletes it. Both belong to
// module start-up and tear-down, not to threads that are logging.
CLogFile* CreateLog(uint32_t level);
void DestroyLog();
CLogFile* GetModuleLog();

// Logging through the module's log; nothing happens when there is none.
inline void LogWrite(uint32_t level, const char* text) {
    if (CLogFile* log = GetModuleLog()) log->Write(level, text);
}
inline void LogWrite(uint32_t level, std::string_view text) {
    if (CLogFile* log = GetModuleLog()) log->Write(level, text);
}
__attribute__((format(printf, 2, 3))) inline void LogPrintf(uint32_t level, const char* format, ...) {
    CLogFile* log = GetModuleLog();
    if (!log || log->GetLevel() == 0 || level > log->GetLevel()) return;
    va_list args;
    va_start(args, format);
    log->VPrintf(level, format, args);
    va_end(args);
}
inline void LogDump(uint32_t level, const char* title, const void* bytes, int32_t count) {
    if (CLogFile* log = GetModuleLog()) log->Dump(level, title, bytes, count);
}

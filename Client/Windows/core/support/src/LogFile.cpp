#include "core/support/LogFile.h"

#include <cstdio>

#include "core/support/FileHandle.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"

namespace {

// printf into a string of whatever length the text needs.
std::string FormatV(const char* format, va_list args) {
    if (!format) return {};
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

void WriteFile(FileHandle f, std::string_view bytes) {
    if (!f) return;  // the line is lost, silently
    std::fwrite(bytes.data(), 1, bytes.size(), f.get());
}

std::atomic<CLogFile*> g_moduleLog{nullptr};

}  // namespace

CLogFile::CLogFile() = default;
CLogFile::~CLogFile() = default;

std::u16string CLogFile::DefaultPath() {
    std::u16string path = plat::fs::TempFolder();
    if (path.empty() || path.back() != u'\\') path += u'\\';
    return path + u"Ravelcore.log";
}

void CLogFile::BeginLocked() {
    m_started = true;
    m_startTick = GetTickCount();
    SYSTEMTIME now{};
    GetLocalTime(&now);
    WriteLocked(m_clearOnOpen ? "wb" : "ab",
                Format("Log started at: %04u-%02u-%02u %02u:%02u:%02u\r\n", now.wYear, now.wMonth, now.wDay,
                       now.wHour, now.wMinute, now.wSecond));
}

void CLogFile::Begin() {
    std::lock_guard<std::mutex> guard(m_lock);
    BeginLocked();
}

// Begins the log when needed and gives the "+<ms> " prefix.
std::string CLogFile::PrefixLocked() {
    if (!m_started) BeginLocked();
    return Format("+%10d ", static_cast<int>(GetTickCount() - m_startTick));
}

void CLogFile::AppendLocked(std::string_view bytes) { WriteLocked("ab", bytes); }

// The machine path wins while it is set.
void CLogFile::WriteLocked(const char* mode, std::string_view bytes) {
    if (!m_hostPath.empty()) WriteFile(FileHandle(std::fopen(m_hostPath.c_str(), mode)), bytes);
    else if (!m_path.empty()) WriteFile(FileHandle(plat::fs::OpenFile(m_path, mode)), bytes);
}

void CLogFile::Write(uint32_t level, std::string_view text) {
    if (!Passes(level)) return;
    std::lock_guard<std::mutex> guard(m_lock);
    std::string line = PrefixLocked();
    line.append(text);
    line += "\r\n";
    AppendLocked(line);
}

void CLogFile::Write(uint32_t level, const char* text) {
    Write(level, text ? std::string_view(text) : std::string_view());
}

void CLogFile::VPrintf(uint32_t level, const char* format, va_list args) {
    if (!Passes(level)) return;
    Write(level, FormatV(format, args));
}

void CLogFile::Printf(uint32_t level, const char* format, ...) {
    if (!Passes(level)) return;
    va_list args;
    va_start(args, format);
    VPrintf(level, format, args);
    va_end(args);
}

void CLogFile::Dump(uint32_t level, const char* title, const void* bytes, int32_t count) {
    if (!Passes(level)) return;
    if (!bytes || count < 0) count = 0;
    const auto* data = static_cast<const uint8_t*>(bytes);
    std::lock_guard<std::mutex> guard(m_lock);
    std::string text = PrefixLocked();
    text += Format("(length=%d) - %s\r\n0000: ", count, title ? title : "");
    char hex[16];
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0 && i % 32 == 0) {
            // At least four digits: offsets past 0xFFFF keep all of theirs.
            std::snprintf(hex, sizeof hex, "%04X: ", static_cast<unsigned>(i));
            text += hex;
        }
        std::snprintf(hex, sizeof hex, "%02X ", data[i]);
        text += hex;
        if (i % 32 == 31 || i == count - 1) text += "\r\n";
    }
    AppendLocked(text);
}

void CLogFile::SetPath(std::u16string_view path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_path.assign(path);
    m_started = false;
}

void CLogFile::SetHostPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_hostPath = path;
    m_started = false;
}

std::string CLogFile::GetHostPath() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hostPath;
}

void CLogFile::SetClearOnOpen(bool clear) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_clearOnOpen = clear;
}

void CLogFile::SetLevel(uint32_t level) { m_level.store(level, std::memory_order_relaxed); }

std::u16string CLogFile::ApplyDefaultPath() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_path.empty()) m_path = DefaultPath();
    return m_path;
}

std::u16string CLogFile::GetPath() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_path;
}

bool CLogFile::IsStarted() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_started;
}

CLogFile* CreateLog(uint32_t level) {
    DestroyLog();
    auto* log = new CLogFile;
    log->SetLevel(level);
    log->ApplyDefaultPath();
    g_moduleLog.store(log);
    return log;
}

void DestroyLog() { delete g_moduleLog.exchange(nullptr); }

CLogFile* GetModuleLog() { return g_moduleLog.load(std::memory_order_acquire); }

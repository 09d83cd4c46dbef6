// The vendor scanner library, simulated: each scanner reads labels from a
// named pipe in the device root (see TvScanExports.h). A reader thread per
// open scanner takes the pipe's lines; a label completes the pending read
// and the read's window gets its message.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/DeviceFs.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/vendor/TvScanExports.h"

namespace {

constexpr size_t kMaxQueuedLabels = 64;
constexpr size_t kMaxLineBytes = 8192;
constexpr uint8_t kDefaultDecoder = 0x3C;  // CODE_128

// The decoders the simulated scanners support, by code from 0x30.
constexpr const char* kDecoderNames[] = {
    "UPC_E0", "UPC_E1", "UPC_A",    "MSI",      "EAN_8",   "EAN_13",   "CODABAR", "CODE_39",
    "CODE_D25", "CODE_I25", "CODE_11", "CODE_93", "CODE_128", nullptr, "D25_IATA", "UCC_128",
    "PDF_417", "ISBT128", "TO_39",  "COUPON",   "B_UPC",   "MICROPDF", "CODE32",  "MACROPDF",
    "MAXICODE", "DATAMATRIX", "QRCODE", "MACROMICROPDF", "RSS14", "RSSLIM", "RSSEXP"};
constexpr uint8_t kFirstDecoder = 0x30;

uint32_t Word(const BYTE* record, size_t offset) {
    uint32_t value;
    std::memcpy(&value, record + offset, 4);
    return value;
}
void PutWord(BYTE* record, size_t offset, uint32_t value) { std::memcpy(record + offset, &value, 4); }

struct Label {
    uint8_t decoder;
    std::string data;
};

// "NAME:data", "0x37:data" or "55:data"; anything else is a CODE_128 label.
Label ParseLine(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
        const std::string prefix = line.substr(0, colon);
        for (size_t i = 0; i < std::size(kDecoderNames); ++i) {
            if (kDecoderNames[i] && prefix == kDecoderNames[i])
                return {static_cast<uint8_t>(kFirstDecoder + i), line.substr(colon + 1)};
        }
        char* end = nullptr;
        const unsigned long code = std::strtoul(prefix.c_str(), &end, 0);
        if (end && *end == '\0' && std::isdigit(static_cast<unsigned char>(prefix[0])) && code >= 1 && code <= 255)
            return {static_cast<uint8_t>(code), line.substr(colon + 1)};
    }
    return {kDefaultDecoder, line};
}

// The kinds of parameter record a scanner keeps, each as the caller last wrote it.
enum class Params { Scan, Family, Reader };

struct Scanner {
    int number = 0;
    int fd = -1;
    int stopFd = -1;
    std::thread reader;

    std::mutex mutex;  // everything below
    bool enabled = false;
    bool triggered = false;
    BYTE* pending = nullptr;  // the buffer of the pending read
    size_t pendingBytes = 0;
    HWND window = 0;
    UINT message = 0;
    DWORD request = 0;
    uint32_t stamp = 0;
    std::deque<Label> labels;
    std::vector<uint8_t> enabledDecoders;
    std::map<std::string, std::vector<BYTE>> decoderParams;
    std::map<Params, std::vector<BYTE>> params;
    std::string partial;  // reader thread only

    // A scanner still open when the process ends stops its reader first.
    ~Scanner() {
        if (reader.joinable()) {
            const uint64_t one = 1;
            if (write(stopFd, &one, sizeof one) < 0) {}
            reader.join();
        }
        if (fd >= 0) close(fd);
        if (stopFd >= 0) close(stopFd);
    }
};

struct Library {
    std::mutex mutex;  // the tables
    std::map<TVHANDLE, std::shared_ptr<Scanner>> scanners;
    std::map<TVHANDLE, std::vector<int>> searches;
    std::map<BYTE*, size_t> buffers;
    TVHANDLE next = 1;
};
Library& Lib() {
    static Library library;
    return library;
}

std::shared_ptr<Scanner> Find(TVHANDLE handle) {
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    auto it = lib.scanners.find(handle);
    return it == lib.scanners.end() ? nullptr : it->second;
}

std::optional<std::string> PipePath(int number) {
    return plat::fs::ToHostPath(u"\\Scanner" + plat::text::Utf8ToWide(std::to_string(number)) + u".fifo");
}

// The numbers of the pipes in the device root, in order; makes the first
// pipe when there is none.
std::vector<int> PresentScanners() {
    std::set<int> numbers;
    for (const plat::fs::FindData& entry : plat::fs::FindFiles(u"\\Scanner*.fifo")) {
        if (entry.isDirectory) continue;
        const std::string name = plat::text::WideToUtf8(entry.name);
        const std::string digits = name.substr(7, name.size() - 7 - 5);
        if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (const int n = std::atoi(digits.c_str()); n > 0) numbers.insert(n);
    }
    if (numbers.empty()) {
        if (std::optional<std::string> path = PipePath(1); path && (mkfifo(path->c_str(), 0600) == 0 || errno == EEXIST))
            numbers.insert(1);
    }
    return {numbers.begin(), numbers.end()};
}

void FillInfo(BYTE* info, int number) {
    std::memset(info + 8, 0, TVSCAN_INFO_SIZE - 8);
    const std::u16string device = u"SCN" + plat::text::Utf8ToWide(std::to_string(number)) + u":";
    const std::u16string description = u"Simulated scanner " + plat::text::Utf8ToWide(std::to_string(number));
    std::memcpy(info + 8, device.data(), device.size() * 2);
    std::memcpy(info + 32, description.data(), description.size() * 2);
}

// Completes the pending read with the oldest label; the window to tell. Under the scanner's lock.
std::optional<std::pair<HWND, UINT>> Deliver(Scanner& s) {
    if (!s.pending || s.labels.empty()) return std::nullopt;
    Label label = std::move(s.labels.front());
    s.labels.pop_front();
    BYTE* buffer = s.pending;
    const size_t room = s.pendingBytes - TVSCAN_READ_HEADER_SIZE;
    const size_t length = std::min(label.data.size(), room);
    std::memcpy(buffer + TVSCAN_READ_HEADER_SIZE, label.data.data(), length);
    PutWord(buffer, 12, TVSCAN_READ_HEADER_SIZE);
    PutWord(buffer, 16, static_cast<uint32_t>(length));
    PutWord(buffer, 32, label.decoder);
    PutWord(buffer, 36, ++s.stamp);
    __atomic_store_n(reinterpret_cast<uint32_t*>(buffer + 24), TVSCAN_OK, __ATOMIC_RELEASE);
    s.pending = nullptr;
    return std::make_pair(s.window, s.message);
}

void Tell(const std::optional<std::pair<HWND, UINT>>& target) {
    if (target) PostMessage(target->first, target->second, 0, 0);
}

void TakeLine(Scanner& s, std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return;
    std::optional<std::pair<HWND, UINT>> target;
    {
        std::lock_guard lock(s.mutex);
        if (!s.enabled || s.labels.size() >= kMaxQueuedLabels) return;
        s.labels.push_back(ParseLine(line));
        target = Deliver(s);
    }
    Tell(target);
}

void ReadPipe(Scanner* s) {
    char chunk[4096];
    bool overlong = false;
    for (;;) {
        pollfd p[2] = {{s->fd, POLLIN, 0}, {s->stopFd, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        const ssize_t n = read(s->fd, chunk, sizeof chunk);
        if (n <= 0) continue;
        for (ssize_t i = 0; i < n; ++i) {
            if (chunk[i] != '\n') {
                if (s->partial.size() < kMaxLineBytes) s->partial.push_back(chunk[i]);
                else overlong = true;  // the whole line is dropped
                continue;
            }
            if (!overlong) TakeLine(*s, std::move(s->partial));
            s->partial.clear();
            overlong = false;
        }
    }
}

// Copies a kept record out: the caller's sizes stay, the rest is the kept
// bytes (zero when none was written).
DWORD GetRecord(BYTE* record, DWORD size, const std::vector<BYTE>* kept) {
    if (!record || Word(record, 0) < size) return TVSCAN_E_PARAMETER;
    std::memset(record + 8, 0, size - 8);
    if (kept) std::memcpy(record + 8, kept->data() + 8, size - 8);
    return TVSCAN_OK;
}

DWORD SetRecord(const BYTE* record, DWORD size, std::vector<BYTE>& kept) {
    if (!record || Word(record, 0) < size) return TVSCAN_E_PARAMETER;
    kept.assign(record, record + size);
    return TVSCAN_OK;
}

template <typename Fn>
DWORD WithScanner(TVHANDLE handle, Fn fn) {
    std::shared_ptr<Scanner> s = Find(handle);
    if (!s) return TVSCAN_E_HANDLE;
    std::unique_lock lock(s->mutex);
    return fn(*s, lock);
}

DWORD GetParams(TVHANDLE handle, Params kind, BYTE* record, DWORD size) {
    return WithScanner(handle, [&](Scanner& s, auto&) {
        auto it = s.params.find(kind);
        return GetRecord(record, size, it == s.params.end() ? nullptr : &it->second);
    });
}
DWORD SetParams(TVHANDLE handle, Params kind, const BYTE* record, DWORD size) {
    return WithScanner(handle, [&](Scanner& s, auto&) { return SetRecord(record, size, s.params[kind]); });
}

}  // namespace

ORVADE_EXPORT void* TvScanAllocateBuffer(DWORD, DWORD bytes) {
    if (bytes < TVSCAN_READ_HEADER_SIZE) return nullptr;
    BYTE* buffer = static_cast<BYTE*>(std::calloc(1, bytes));
    if (!buffer) return nullptr;
    PutWord(buffer, 0, bytes);
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    lib.buffers[buffer] = bytes;
    return buffer;
}

ORVADE_EXPORT DWORD TvScanFreeBuffer(void* buffer) {
    Library& lib = Lib();
    {
        std::lock_guard lock(lib.mutex);
        if (!lib.buffers.erase(static_cast<BYTE*>(buffer))) return TVSCAN_E_HANDLE;
        // A read into it ends.
        for (auto& [handle, s] : lib.scanners) {
            std::lock_guard scannerLock(s->mutex);
            if (s->pending == buffer) s->pending = nullptr;
        }
    }
    std::free(buffer);
    return TVSCAN_OK;
}

ORVADE_EXPORT DWORD TvScanFindFirst(BYTE* info, TVHANDLE* search) {
    if (!info || !search || Word(info, 0) < TVSCAN_INFO_SIZE) return TVSCAN_E_PARAMETER;
    std::vector<int> numbers = PresentScanners();
    if (numbers.empty()) return TVSCAN_E_NO_MORE;
    FillInfo(info, numbers.front());
    numbers.erase(numbers.begin());
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    *search = lib.next++;
    lib.searches[*search] = std::move(numbers);
    return TVSCAN_OK;
}

ORVADE_EXPORT DWORD TvScanFindNext(TVHANDLE search, BYTE* info) {
    if (!info || Word(info, 0) < TVSCAN_INFO_SIZE) return TVSCAN_E_PARAMETER;
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    auto it = lib.searches.find(search);
    if (it == lib.searches.end()) return TVSCAN_E_HANDLE;
    if (it->second.empty()) return TVSCAN_E_NO_MORE;
    FillInfo(info, it->second.front());
    it->second.erase(it->second.begin());
    return TVSCAN_OK;
}

ORVADE_EXPORT DWORD TvScanFindClose(TVHANDLE search) {
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    return lib.searches.erase(search) ? TVSCAN_OK : TVSCAN_E_HANDLE;
}

ORVADE_EXPORT DWORD TvScanOpen(const char16_t* deviceName, TVHANDLE* scanner) {
    if (!deviceName || !scanner) return TVSCAN_E_PARAMETER;
    const std::string name = plat::text::WideToUtf8(deviceName);
    if (name.size() < 5 || name.compare(0, 3, "SCN") != 0 || name.back() != ':') return TVSCAN_E_NOT_FOUND;
    const int number = std::atoi(name.substr(3, name.size() - 4).c_str());
    const std::optional<std::string> path = number > 0 ? PipePath(number) : std::nullopt;
    if (!path) return TVSCAN_E_NOT_FOUND;
    const int fd = open(path->c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        if (fd >= 0) close(fd);
        return fd < 0 && errno == ENOENT ? TVSCAN_E_NOT_FOUND : TVSCAN_E_SYSTEM;
    }
    auto s = std::make_shared<Scanner>();
    s->number = number;
    s->fd = fd;
    s->stopFd = eventfd(0, EFD_CLOEXEC);
    if (s->stopFd < 0) return TVSCAN_E_SYSTEM;  // the scanner closes the pipe as it goes
    s->reader = std::thread(ReadPipe, s.get());
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    *scanner = lib.next++;
    lib.scanners[*scanner] = std::move(s);
    return TVSCAN_OK;
}

ORVADE_EXPORT DWORD TvScanClose(TVHANDLE scanner) {
    std::shared_ptr<Scanner> s;
    {
        Library& lib = Lib();
        std::lock_guard lock(lib.mutex);
        auto it = lib.scanners.find(scanner);
        if (it == lib.scanners.end()) return TVSCAN_E_HANDLE;
        s = std::move(it->second);
        lib.scanners.erase(it);
    }
    s.reset();  // the reader stops, the pipe closes
    return TVSCAN_OK;
}

ORVADE_EXPORT DWORD TvScanEnable(TVHANDLE scanner) {
    return WithScanner(scanner, [](Scanner& s, auto&) {
        if (s.enabled) return TVSCAN_E_ALREADY_ENABLED;
        s.enabled = true;
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanDisable(TVHANDLE scanner) {
    return WithScanner(scanner, [](Scanner& s, auto&) {
        if (!s.enabled) return TVSCAN_E_NOT_ENABLED;
        if (s.pending)
            __atomic_store_n(reinterpret_cast<uint32_t*>(s.pending + 24), TVSCAN_E_READ_CANCELLED, __ATOMIC_RELEASE);
        s.enabled = s.triggered = false;
        s.pending = nullptr;
        s.labels.clear();
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanRead(TVHANDLE scanner, void* buffer, HWND window, UINT message, DWORD, DWORD* request) {
    size_t bytes = 0;
    {
        Library& lib = Lib();
        std::lock_guard lock(lib.mutex);
        auto it = lib.buffers.find(static_cast<BYTE*>(buffer));
        if (it == lib.buffers.end()) return TVSCAN_E_PARAMETER;
        bytes = it->second;
    }
    std::optional<std::pair<HWND, UINT>> target;
    const DWORD status = WithScanner(scanner, [&](Scanner& s, auto&) {
        if (!s.enabled) return TVSCAN_E_NOT_ENABLED;
        if (s.pending) return TVSCAN_E_READ_PENDING;
        BYTE* b = static_cast<BYTE*>(buffer);
        PutWord(b, 4, TVSCAN_READ_HEADER_SIZE);
        PutWord(b, 12, TVSCAN_READ_HEADER_SIZE);
        PutWord(b, 16, 0);
        PutWord(b, 32, 0);
        PutWord(b, 36, s.stamp);
        __atomic_store_n(reinterpret_cast<uint32_t*>(b + 24), TVSCAN_E_READ_PENDING, __ATOMIC_RELEASE);
        s.pending = b;
        s.pendingBytes = bytes;
        s.window = window;
        s.message = message;
        if (request) *request = ++s.request;
        target = Deliver(s);
        return TVSCAN_OK;
    });
    Tell(target);
    return status;
}

ORVADE_EXPORT DWORD TvScanCancelRead(TVHANDLE scanner) {
    return WithScanner(scanner, [](Scanner& s, auto&) {
        if (!s.pending) return TVSCAN_E_NO_READ;
        __atomic_store_n(reinterpret_cast<uint32_t*>(s.pending + 24), TVSCAN_E_READ_CANCELLED, __ATOMIC_RELEASE);
        s.pending = nullptr;
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanGetSupportedDecoders(TVHANDLE scanner, BYTE* record) {
    return WithScanner(scanner, [&](Scanner&, auto&) {
        if (!record || Word(record, 0) < TVSCAN_DECODERS_SIZE) return TVSCAN_E_PARAMETER;
        std::memset(record + 8, 0, TVSCAN_DECODERS_SIZE - 8);
        uint32_t count = 0;
        for (size_t i = 0; i < std::size(kDecoderNames); ++i) {
            if (kDecoderNames[i]) record[12 + count++] = static_cast<BYTE>(kFirstDecoder + i);
        }
        PutWord(record, 8, count);
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanGetEnabledDecoders(TVHANDLE scanner, BYTE* record) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        if (!record || Word(record, 0) < TVSCAN_DECODERS_SIZE) return TVSCAN_E_PARAMETER;
        std::memset(record + 8, 0, TVSCAN_DECODERS_SIZE - 8);
        PutWord(record, 8, static_cast<uint32_t>(s.enabledDecoders.size()));
        if (!s.enabledDecoders.empty())  // an empty vector may have no storage
            std::memcpy(record + 12, s.enabledDecoders.data(), s.enabledDecoders.size());
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanSetEnabledDecoders(TVHANDLE scanner, const BYTE* record) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        if (!record || Word(record, 0) < TVSCAN_DECODERS_SIZE) return TVSCAN_E_PARAMETER;
        const uint32_t count = std::min<uint32_t>(Word(record, 8), TVSCAN_DECODERS_SIZE - 12);
        s.enabledDecoders.assign(record + 12, record + 12 + count);
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanGetDecoderParams(TVHANDLE scanner, const char* selector, BYTE* record) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        auto it = s.decoderParams.find(selector ? selector : "");
        return GetRecord(record, TVSCAN_DECODER_PARAMS_SIZE, it == s.decoderParams.end() ? nullptr : &it->second);
    });
}

ORVADE_EXPORT DWORD TvScanSetDecoderParams(TVHANDLE scanner, const char* selector, const BYTE* record) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        return SetRecord(record, TVSCAN_DECODER_PARAMS_SIZE, s.decoderParams[selector ? selector : ""]);
    });
}

ORVADE_EXPORT DWORD TvScanGetScanParams(TVHANDLE scanner, BYTE* record) {
    return GetParams(scanner, Params::Scan, record, TVSCAN_SCAN_PARAMS_SIZE);
}
ORVADE_EXPORT DWORD TvScanSetScanParams(TVHANDLE scanner, const BYTE* record) {
    return SetParams(scanner, Params::Scan, record, TVSCAN_SCAN_PARAMS_SIZE);
}
ORVADE_EXPORT DWORD TvScanGetFamilyParams(TVHANDLE scanner, BYTE* record) {
    return GetParams(scanner, Params::Family, record, TVSCAN_FAMILY_PARAMS_SIZE);
}
ORVADE_EXPORT DWORD TvScanSetFamilyParams(TVHANDLE scanner, const BYTE* record) {
    return SetParams(scanner, Params::Family, record, TVSCAN_FAMILY_PARAMS_SIZE);
}
ORVADE_EXPORT DWORD TvScanGetReaderParams(TVHANDLE scanner, BYTE* record) {
    return GetParams(scanner, Params::Reader, record, TVSCAN_READER_PARAMS_SIZE);
}
ORVADE_EXPORT DWORD TvScanSetReaderParams(TVHANDLE scanner, const BYTE* record) {
    return SetParams(scanner, Params::Reader, record, TVSCAN_READER_PARAMS_SIZE);
}

ORVADE_EXPORT DWORD TvScanGetDeviceStatus(TVHANDLE scanner, BYTE* record) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        if (!record || Word(record, 0) < TVSCAN_STATUS_SIZE) return TVSCAN_E_PARAMETER;
        std::memset(record + 8, 0, TVSCAN_STATUS_SIZE - 8);
        const DWORD status = !s.enabled   ? TVSCAN_DEVICE_DISABLED
                             : s.triggered ? TVSCAN_DEVICE_TRIGGERED
                             : s.pending   ? TVSCAN_DEVICE_READING
                                           : TVSCAN_DEVICE_ENABLED;
        PutWord(record, 8, 1);
        PutWord(record, 12, status);
        return TVSCAN_OK;
    });
}

ORVADE_EXPORT DWORD TvScanSoftTrigger(TVHANDLE scanner, int pulled) {
    return WithScanner(scanner, [&](Scanner& s, auto&) {
        if (!s.enabled) return TVSCAN_E_NOT_ENABLED;
        s.triggered = pulled != 0;
        return TVSCAN_OK;
    });
}

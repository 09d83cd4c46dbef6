// Lectrum: the vendor's scanner library "TVSCAN32.dll" behind the client
// core's scanner contract, for up to four scanners. All state is the
// module's; the core calls on one thread, and the vendor library tells the
// scanner's window when a read completes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Input.h"
#include "platform/exports/ScannerExports.h"
#include "platform/vendor/TvScanExports.h"

namespace {

constexpr int kSlots = 4;
constexpr DWORD kReadBufferBytes = 30720;

// Codes of our own, beside the vendor's statuses.
constexpr DWORD kNotReady = 0xA000000E;
constexpr DWORD kNullRecord = 0xA0000014;
constexpr DWORD kNoReadBuffer = 0xA0000005;
constexpr DWORD kStateTimeout = 0xA0000027;

// Slot lifecycle.
constexpr int kOpened = 1;
constexpr int kReady = 2;
constexpr int kClosing = 3;
constexpr int kClosed = 4;

constexpr int kStateUnknown = 5;

struct ScannerSlot {
    HWND window = 0;
    UINT message = 0;
    int lifecycle = kClosed;
    int wanted = SCANNER_DISABLED;
    TVHANDLE handle = 0;
    BYTE* buffer = nullptr;
    DWORD request = 0;
    uint32_t lastStamp = 0;
    bool readPending = false;
    char16_t* deviceName = nullptr;
    char16_t* description = nullptr;
};

ScannerSlot g_slots[kSlots];
int g_count = 0;
DWORD g_lastError = 0;
DecodedData g_decoded{};
std::vector<uint8_t> g_label;  // the bytes g_decoded points at

struct Vendor {
    ORVADE_EXPORT_TABLE(ORVADE_TVSCAN_EXPORTS)
};
Vendor g_vendor;
HMODULE g_vendorModule = nullptr;

bool BindVendor() {
    if (g_vendorModule) return true;
    g_vendorModule = LoadLibrary(u"TVSCAN32.dll");
    if (!g_vendorModule) {
        g_lastError = GetLastError();
        return false;
    }
    g_vendor.Bind(g_vendorModule);
    return true;
}

uint32_t Word(const BYTE* record, size_t offset) {
    uint32_t value;
    std::memcpy(&value, record + offset, 4);
    return value;
}
void PutWord(BYTE* record, size_t offset, uint32_t value) { std::memcpy(record + offset, &value, 4); }

// A vendor record of the given size: cleared, with its two sizes.
std::vector<BYTE> NewRecord(DWORD size) {
    std::vector<BYTE> record(size);
    PutWord(record.data(), 0, size);
    PutWord(record.data(), 4, 8);
    return record;
}

// Every vendor status is kept as the last error.
bool Kept(DWORD status) {
    g_lastError = status;
    return status == TVSCAN_OK;
}

template <typename Fn>
bool ReadRecord(Fn get, const ScannerSlot& slot, std::vector<BYTE>& record) {
    return get && Kept(get(slot.handle, record.data()));
}

ScannerSlot* SlotAt(int index) { return index >= 0 && index < g_count ? &g_slots[index] : nullptr; }

int ReadState(const ScannerSlot& slot) {
    DWORD device = TVSCAN_DEVICE_DISABLED;
    std::vector<BYTE> record = NewRecord(TVSCAN_STATUS_SIZE);
    if (g_vendor.TvScanGetDeviceStatus && g_vendor.TvScanGetDeviceStatus(slot.handle, record.data()) == TVSCAN_OK &&
        Word(record.data(), 8) != 0)
        device = Word(record.data(), 12);
    if (device == TVSCAN_DEVICE_ENABLED && slot.buffer && Word(slot.buffer, 4) >= 28 &&
        __atomic_load_n(reinterpret_cast<const uint32_t*>(slot.buffer + 24), __ATOMIC_ACQUIRE) ==
            TVSCAN_E_READ_PENDING)
        device = TVSCAN_DEVICE_READING;
    switch (device) {
    case TVSCAN_DEVICE_DISABLED: return SCANNER_DISABLED;
    case TVSCAN_DEVICE_ENABLED: return SCANNER_ENABLED;
    case TVSCAN_DEVICE_READING:
    case TVSCAN_DEVICE_TRIGGERED: return slot.readPending ? SCANNER_READ_PENDING : SCANNER_ENABLED;
    default: return kStateUnknown;
    }
}

bool WaitForState(const ScannerSlot& slot, int state) {
    g_lastError = kStateTimeout;
    for (int i = 0; i < 20; ++i) {
        if (ReadState(slot) == state) {
            g_lastError = 0;
            return true;
        }
        Sleep(100);
    }
    return false;
}

void FreeBuffer(ScannerSlot& slot) {
    if (!slot.buffer) return;
    if (g_vendor.TvScanFreeBuffer) g_vendor.TvScanFreeBuffer(slot.buffer);
    slot.buffer = nullptr;
}

bool Trigger(const ScannerSlot& slot, int pulled) {
    return g_vendor.TvScanSoftTrigger && Kept(g_vendor.TvScanSoftTrigger(slot.handle, pulled));
}

// One step from the current state towards the wanted one; false when it failed.
bool Step(ScannerSlot& slot, int current, int wanted) {
    switch (current) {
    case SCANNER_DISABLED: {
        if (!g_vendor.TvScanEnable) return false;
        const DWORD status = g_vendor.TvScanEnable(slot.handle);
        g_lastError = status;
        if (status != TVSCAN_OK && status != TVSCAN_E_ALREADY_ENABLED) return false;
        if (!WaitForState(slot, SCANNER_ENABLED)) return false;
        if (!slot.buffer && g_vendor.TvScanAllocateBuffer)
            slot.buffer = static_cast<BYTE*>(g_vendor.TvScanAllocateBuffer(0, kReadBufferBytes));
        if (!slot.buffer) {
            g_lastError = kNoReadBuffer;
            return false;
        }
        return true;
    }
    case SCANNER_ENABLED:
        if (wanted == SCANNER_DISABLED) {
            FreeBuffer(slot);
            if (!g_vendor.TvScanDisable || !Kept(g_vendor.TvScanDisable(slot.handle))) return false;
            return WaitForState(slot, SCANNER_DISABLED);
        }
        if (!slot.buffer) {
            g_lastError = kNoReadBuffer;
            return false;
        }
        if (!g_vendor.TvScanRead ||
            !Kept(g_vendor.TvScanRead(slot.handle, slot.buffer, slot.window, slot.message, 0, &slot.request)))
            return false;
        slot.readPending = true;
        return true;
    case SCANNER_READ_PENDING:
        if (wanted == SCANNER_TRIGGER_PULLED)
            return Trigger(slot, 0) && Trigger(slot, 1) && WaitForState(slot, SCANNER_TRIGGER_PULLED);
        if (g_vendor.TvScanCancelRead) {
            const DWORD status = g_vendor.TvScanCancelRead(slot.handle);
            g_lastError = status;
            if (status != TVSCAN_OK && status != TVSCAN_E_NO_READ) return false;
        }
        slot.request = 0;
        slot.readPending = false;
        return WaitForState(slot, SCANNER_ENABLED);
    case SCANNER_TRIGGER_PULLED:
        return Trigger(slot, 0) && WaitForState(slot, SCANNER_READ_PENDING);
    default:
        return false;  // an unknown state has no way out
    }
}

bool StepTo(ScannerSlot& slot, int wanted) {
    if (slot.lifecycle == kClosed) return false;
    slot.wanted = wanted;
    const bool reachable = wanted >= SCANNER_DISABLED && wanted <= SCANNER_TRIGGER_PULLED;
    for (int pass = 0; pass < 21; ++pass) {
        const int current = ReadState(slot);
        if (current == wanted) break;
        if (reachable && !Step(slot, current, wanted)) break;
    }
    return ReadState(slot) == wanted;
}

// Brings a ready scanner to state 1 for a change and back afterwards.
class EnabledForChange {
public:
    explicit EnabledForChange(ScannerSlot& slot) : m_slot(slot), m_previous(ReadState(slot)) {
        m_enabled = StepTo(slot, SCANNER_ENABLED);
    }
    bool Enabled() const { return m_enabled; }
    bool Restore() { return StepTo(m_slot, m_previous); }

private:
    ScannerSlot& m_slot;
    int m_previous;
    bool m_enabled = false;
};

char16_t* CopyText(const BYTE* from, size_t maxChars) {
    size_t length = 0;
    while (length < maxChars) {
        char16_t c;
        std::memcpy(&c, from + 2 * length, 2);
        if (!c) break;
        ++length;
    }
    auto* copy = static_cast<char16_t*>(LocalAlloc((length + 1) * sizeof(char16_t)));
    if (copy) std::memcpy(copy, from, length * sizeof(char16_t));
    return copy;
}

void FreeNames(ScannerSlot& slot) {
    LocalFree(slot.deviceName);
    LocalFree(slot.description);
    slot.deviceName = slot.description = nullptr;
}

void CloseVendorHandle(ScannerSlot& slot) {
    if (g_vendor.TvScanClose) g_lastError = g_vendor.TvScanClose(slot.handle);
    slot.handle = 0;
}

void ClearReaderAutoMode(ScannerSlot& slot) {
    std::vector<BYTE> reader = NewRecord(TVSCAN_READER_PARAMS_SIZE);
    if (!ReadRecord(g_vendor.TvScanGetReaderParams, slot, reader) || Word(reader.data(), 12) == 0) return;
    PutWord(reader.data(), 12, 0);
    if (g_vendor.TvScanSetReaderParams) Kept(g_vendor.TvScanSetReaderParams(slot.handle, reader.data()));
}

void OpenScanner(const BYTE* info, HWND window, UINT baseMessage) {
    ScannerSlot& slot = g_slots[g_count];
    const BYTE* name = info + 8;
    char16_t device[13] = {};
    std::memcpy(device, name, 24);
    if (!g_vendor.TvScanOpen || !Kept(g_vendor.TvScanOpen(device, &slot.handle))) return;
    slot.lifecycle = kOpened;
    slot.deviceName = CopyText(info + 8, 12);
    slot.description = CopyText(info + 32, (TVSCAN_INFO_SIZE - 32) / 2);
    if (!slot.deviceName || !slot.description) {
        // Not counted: nothing else would close it.
        FreeNames(slot);
        CloseVendorHandle(slot);
        slot.lifecycle = kClosed;
        return;
    }
    slot.lifecycle = kReady;
    slot.window = window;
    slot.message = baseMessage + static_cast<UINT>(g_count);
    ++g_count;
    if (StepTo(slot, SCANNER_ENABLED)) ClearReaderAutoMode(slot);
    StepTo(slot, SCANNER_DISABLED);
}

void RearmIfWanted(ScannerSlot& slot) {
    if (slot.wanted == SCANNER_READ_PENDING && slot.lifecycle != kClosing) StepTo(slot, SCANNER_READ_PENDING);
}

// A decoder identifier as the vendor's one-character selector.
void Selector(unsigned decoder, char out[2]) {
    out[0] = decoder >= 0x30 && decoder <= 0xFE ? static_cast<char>(decoder) : '\0';
    out[1] = '\0';
}

constexpr unsigned kFamilyDecoder = 0xF4;
constexpr unsigned kPdfDecoder = 0x40;

// The parameter fields from field 2 on that a decoder carries: [first, last] or none.
std::pair<int, int> DecoderFields(unsigned decoder) {
    switch (decoder) {
    case '0': case '1': case '6': case ':': return {2, 4};
    case '2': return {2, 3};
    case '3': case '9': case '<': case 'G': case 'K': return {2, 5};
    case '4': case '8': case ';': case 'B': return {2, 2};
    case '7': return {2, 8};
    default: return {0, -1};
    }
}

BOOL GetFamilyParams(ScannerSlot& slot, DecoderParams* params) {
    std::vector<BYTE> family = NewRecord(TVSCAN_FAMILY_PARAMS_SIZE);
    if (!ReadRecord(g_vendor.TvScanGetFamilyParams, slot, family)) return FALSE;
    const BYTE* r = family.data();
    params->fields[2] = Word(r, 8);
    params->fields[3] = Word(r, 12);
    params->fields[4] = Word(r, 16);
    params->fields[5] = Word(r, 20);
    params->fields[6] = Word(r, 24);
    params->fields[7] = Word(r, 32);
    return TRUE;
}

BOOL SetFamilyParams(ScannerSlot& slot, const DecoderParams* params) {
    std::vector<BYTE> family = NewRecord(TVSCAN_FAMILY_PARAMS_SIZE);
    if (!ReadRecord(g_vendor.TvScanGetFamilyParams, slot, family)) return FALSE;
    BYTE* r = family.data();
    const uint32_t* f = params->fields;
    if (f[2] < 3) PutWord(r, 8, f[2]);
    if (f[5] < 3) PutWord(r, 20, f[5]);
    if (Word(r, 20) == 1) {
        PutWord(r, 12, f[3] ? 1 : 0);
        PutWord(r, 16, f[4] ? 1 : 0);
    } else if (Word(r, 20) == 2 && f[6] >= 2 && f[6] <= 10) {
        PutWord(r, 24, f[6]);
    }
    PutWord(r, 32, f[7] ? 1 : 0);
    return g_vendor.TvScanSetFamilyParams && Kept(g_vendor.TvScanSetFamilyParams(slot.handle, r));
}

}  // namespace

// ---- Identity

ORVADE_EXPORT int GetTelnetExtensionType() { return EXTENSION_SCANNER; }

ORVADE_EXPORT BOOL GetExtensionInfo(ExtensionInfo* record) {
    if (!record) return FALSE;
    *record = {};
    record->version = 1;
    record->kind = 2;
    const std::u16string_view name = u"Tarvex Scanner";
    std::copy(name.begin(), name.end(), record->name);
    return TRUE;
}

ORVADE_EXPORT BOOL IsNoThreadVersion() { return TRUE; }

ORVADE_EXPORT DWORD GetLastScanError() { return g_lastError; }

// ---- Opening and closing

ORVADE_EXPORT int Shutdown() {
    const int old = g_count;
    for (int i = 0; i < g_count; ++i) {
        ScannerSlot& slot = g_slots[i];
        FreeNames(slot);
        if (slot.lifecycle == kClosed) continue;
        slot.lifecycle = kClosing;
        StepTo(slot, SCANNER_DISABLED);
        FreeBuffer(slot);  // when disabling failed, the buffer still goes
        slot.lifecycle = kClosed;
        CloseVendorHandle(slot);
    }
    g_count = 0;
    return old;
}

ORVADE_EXPORT BOOL ScnInitializeMultipleScanners(HWND window, UINT baseMessage, const char16_t*, int* count,
                                                 int maximum) {
    if (g_count > 0) {
        if (g_slots[0].lifecycle != kReady) Shutdown();
    } else {
        for (ScannerSlot& slot : g_slots) slot = ScannerSlot{};
        if (BindVendor() && g_vendor.TvScanFindFirst) {
            std::vector<BYTE> info = NewRecord(TVSCAN_INFO_SIZE);
            TVHANDLE search = 0;
            bool found = Kept(g_vendor.TvScanFindFirst(info.data(), &search));
            const int limit = std::min(maximum, kSlots);
            while (found && g_count < limit) {
                OpenScanner(info.data(), window, baseMessage);
                info = NewRecord(TVSCAN_INFO_SIZE);
                found = g_vendor.TvScanFindNext && Kept(g_vendor.TvScanFindNext(search, info.data()));
            }
            if (search && g_vendor.TvScanFindClose) g_vendor.TvScanFindClose(search);
        }
        if (g_count == 0 || g_slots[0].lifecycle != kReady) Shutdown();
    }
    if (count) *count = g_count;
    return g_count > 0 && g_slots[0].lifecycle == kReady;
}

ORVADE_EXPORT BOOL ScnInitialize(HWND window, UINT message, const char16_t* programFolder) {
    int count = 0;
    return ScnInitializeMultipleScanners(window, message, programFolder, &count, 1) && count >= 1;
}

ORVADE_EXPORT const char16_t* GetScannerDescriptionForScanner(int index) {
    const ScannerSlot* slot = SlotAt(index);
    return slot ? slot->description : nullptr;
}
ORVADE_EXPORT const char16_t* GetScannerDescription() { return GetScannerDescriptionForScanner(0); }

// ---- States

ORVADE_EXPORT BOOL SetScannerStateForScanner(int index, int state) {
    ScannerSlot* slot = SlotAt(index);
    return slot && StepTo(*slot, state) ? TRUE : FALSE;
}
ORVADE_EXPORT BOOL SetScannerState(int state) { return SetScannerStateForScanner(0, state); }

ORVADE_EXPORT int GetScannerStateForScanner(int index) {
    const ScannerSlot* slot = SlotAt(index);
    return slot ? ReadState(*slot) : kStateUnknown;
}
ORVADE_EXPORT int GetScannerState() { return GetScannerStateForScanner(0); }

// ---- Labels

ORVADE_EXPORT const DecodedData* GetDecodedDataForScanner(int index, WPARAM, LPARAM) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot || !slot->buffer) return nullptr;
    const BYTE* b = slot->buffer;
    const uint32_t status = __atomic_load_n(reinterpret_cast<const uint32_t*>(b + 24), __ATOMIC_ACQUIRE);
    const uint32_t headerSize = Word(b, 4);

    if (status == TVSCAN_OK || headerSize < 28) {
        // Read only once the status vouches for them: a pending read is still being written.
        const uint32_t offset = headerSize < 16 ? 148 : Word(b, 12);
        const uint32_t length = Word(b, 16);
        const uint32_t type = Word(b, 32);
        const uint32_t stamp = headerSize < 40 ? 0 : Word(b, 36);
        const DecodedData* result = nullptr;
        // The label lies inside the buffer or is not taken.
        if (stamp != slot->lastStamp && length > 0 && uint64_t{offset} + length <= kReadBufferBytes) {
            // Copied out: the read armed below may overwrite the buffer at once.
            g_label.assign(b + offset, b + offset + length);
            g_decoded = DecodedData{type, length, g_label.data()};
            result = &g_decoded;
        }
        slot->lastStamp = stamp;
        RearmIfWanted(*slot);
        return result;
    }
    if (status == TVSCAN_E_READ_CANCELLED) {
        RearmIfWanted(*slot);
        return nullptr;
    }
    if (status == TVSCAN_E_READ_PENDING || status == 0xA0000023 || status == 0xA000001D) return nullptr;
    // Any other status: the read starts over so that scanning goes on.
    if (slot->wanted == SCANNER_READ_PENDING && slot->lifecycle != kClosing) {
        if (g_vendor.TvScanCancelRead) g_lastError = g_vendor.TvScanCancelRead(slot->handle);
        slot->readPending = false;
        StepTo(*slot, SCANNER_READ_PENDING);
    }
    return nullptr;
}
ORVADE_EXPORT const DecodedData* GetDecodedData(WPARAM wParam, LPARAM lParam) {
    return GetDecodedDataForScanner(0, wParam, lParam);
}

// ---- Decoders

namespace {
template <typename Fn>
BOOL GetDecoders(ScannerSlot* slot, Fn get, DecoderList* list) {
    if (!slot) return FALSE;
    if (!list) {
        g_lastError = kNullRecord;
        return FALSE;
    }
    *list = {};
    std::vector<BYTE> record = NewRecord(TVSCAN_DECODERS_SIZE);
    if (!ReadRecord(get, *slot, record)) return FALSE;
    const uint32_t count = std::min<uint32_t>(Word(record.data(), 8), kMaxDecoders);
    std::memcpy(list->decoders, record.data() + 12, count);
    list->count = count;
    return TRUE;
}
}  // namespace

ORVADE_EXPORT BOOL GetSupportedDecodersForScanner(int index, DecoderList* list) {
    ScannerSlot* slot = SlotAt(index);
    if (slot && slot->lifecycle != kReady) {
        g_lastError = kNotReady;
        return FALSE;
    }
    return GetDecoders(slot, g_vendor.TvScanGetSupportedDecoders, list);
}
ORVADE_EXPORT BOOL GetSupportedDecoders(DecoderList* list) { return GetSupportedDecodersForScanner(0, list); }

ORVADE_EXPORT BOOL GetEnabledDecodersForScanner(int index, DecoderList* list) {
    ScannerSlot* slot = SlotAt(index);
    if (slot && !slot->handle) {
        g_lastError = kNotReady;
        return FALSE;
    }
    return GetDecoders(slot, g_vendor.TvScanGetEnabledDecoders, list);
}
ORVADE_EXPORT BOOL GetEnabledDecoders(DecoderList* list) { return GetEnabledDecodersForScanner(0, list); }

ORVADE_EXPORT BOOL SetEnabledDecodersForScanner(int index, const DecoderList* list) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot) return FALSE;
    if (slot->lifecycle != kReady) {
        g_lastError = kNotReady;
        return FALSE;
    }
    if (!list) {
        g_lastError = kNullRecord;
        return FALSE;
    }
    // A list holds at most 70 decoders, whatever its count says.
    const uint32_t count = std::min<uint32_t>(list->count, kMaxDecoders);
    std::vector<BYTE> record = NewRecord(TVSCAN_DECODERS_SIZE);
    PutWord(record.data(), 4, TVSCAN_DECODERS_SIZE);
    PutWord(record.data(), 8, count);
    std::memcpy(record.data() + 12, list->decoders, count);
    return g_vendor.TvScanSetEnabledDecoders && Kept(g_vendor.TvScanSetEnabledDecoders(slot->handle, record.data()));
}
ORVADE_EXPORT BOOL SetEnabledDecoders(const DecoderList* list) { return SetEnabledDecodersForScanner(0, list); }

// ---- Global parameters

namespace {
// The ready scanner that a parameter of this type needs; null with the
// answer in *answer when there is nothing to do with one.
ScannerSlot* GlobalParameterSlot(int index, unsigned type, const void* value, BOOL* answer) {
    ScannerSlot* slot = SlotAt(index);
    *answer = FALSE;
    if (!slot || !value) return nullptr;
    if (type == 19) {
        *answer = TRUE;  // known, nothing to do
        return nullptr;
    }
    if (type != 0 && type != 2 && type != 3) return nullptr;
    if (slot->lifecycle != kReady) {
        g_lastError = kNotReady;
        return nullptr;
    }
    return slot;
}
}  // namespace

ORVADE_EXPORT BOOL GetGlobalParameterForScanner(int index, unsigned type, BYTE* value) {
    BOOL answer;
    ScannerSlot* slot = GlobalParameterSlot(index, type, value, &answer);
    if (!slot) return answer;
    if (type == 0) {
        EnabledForChange change(*slot);
        std::vector<BYTE> reader = NewRecord(TVSCAN_READER_PARAMS_SIZE);
        if (change.Enabled() && ReadRecord(g_vendor.TvScanGetReaderParams, *slot, reader))
            value[0] = Word(reader.data(), 8) == 2 ? 1 : 0;
        change.Restore();
        return slot->lifecycle == kReady;
    }
    std::vector<BYTE> scan = NewRecord(TVSCAN_SCAN_PARAMS_SIZE);
    if (!ReadRecord(g_vendor.TvScanGetScanParams, *slot, scan)) return FALSE;
    if (type == 2) value[0] = Word(scan.data(), 20) ? static_cast<BYTE>(Word(scan.data(), 12)) : 0;
    else std::memcpy(value, scan.data() + 16, 4);
    return TRUE;
}
ORVADE_EXPORT BOOL GetGlobalParameter(unsigned type, BYTE* value) { return GetGlobalParameterForScanner(0, type, value); }

ORVADE_EXPORT BOOL SetGlobalParameterForScanner(int index, unsigned type, const BYTE* value) {
    BOOL answer;
    ScannerSlot* slot = GlobalParameterSlot(index, type, value, &answer);
    if (!slot) return answer;
    if (type == 0) {
        EnabledForChange change(*slot);
        std::vector<BYTE> reader = NewRecord(TVSCAN_READER_PARAMS_SIZE);
        if (change.Enabled() && ReadRecord(g_vendor.TvScanGetReaderParams, *slot, reader)) {
            const uint32_t wanted = value[0] ? 2 : 0;
            if (Word(reader.data(), 8) != wanted && g_vendor.TvScanSetReaderParams) {
                PutWord(reader.data(), 8, wanted);
                Kept(g_vendor.TvScanSetReaderParams(slot->handle, reader.data()));
            }
        }
        change.Restore();
        return slot->lifecycle == kReady;
    }
    std::vector<BYTE> scan = NewRecord(TVSCAN_SCAN_PARAMS_SIZE);
    if (!ReadRecord(g_vendor.TvScanGetScanParams, *slot, scan)) return FALSE;
    BYTE* r = scan.data();
    if (Word(r, 8) != 0) return TRUE;  // the scanner keeps them fixed
    bool changed = false;
    auto put = [&](size_t offset, uint32_t v) {
        if (Word(r, offset) != v) PutWord(r, offset, v), changed = true;
    };
    if (type == 2) {
        put(20, value[0] ? 1 : 0);
        put(12, value[0]);
    } else {
        uint32_t word;
        std::memcpy(&word, value, 4);
        put(16, word);
    }
    if (!changed) return TRUE;
    PutWord(r, 4, std::max<uint32_t>(Word(r, 4), 24));
    return g_vendor.TvScanSetScanParams && Kept(g_vendor.TvScanSetScanParams(slot->handle, r));
}
ORVADE_EXPORT BOOL SetGlobalParameter(unsigned type, const BYTE* value) {
    return SetGlobalParameterForScanner(0, type, value);
}

// ---- Decoder parameters

namespace {
// The ready scanner and its record of the decoder's parameters, read: null
// when any of it fails. The family decoder's record is read by its own getter.
ScannerSlot* DecoderRecord(int index, unsigned decoder, const DecoderParams* params, int size, char selector[2],
                           std::vector<BYTE>& record) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot || !params || size < static_cast<int>(sizeof(DecoderParams))) return nullptr;
    if (slot->lifecycle != kReady) {
        g_lastError = kNotReady;
        return nullptr;
    }
    if (decoder == kFamilyDecoder) return slot;
    Selector(decoder, selector);
    record = NewRecord(TVSCAN_DECODER_PARAMS_SIZE);
    if (!g_vendor.TvScanGetDecoderParams ||
        !Kept(g_vendor.TvScanGetDecoderParams(slot->handle, selector, record.data())))
        return nullptr;
    return slot;
}
}  // namespace

ORVADE_EXPORT BOOL GetDecoderParametersForScanner(int index, unsigned decoder, DecoderParams* params, int size) {
    char selector[2];
    std::vector<BYTE> record;
    ScannerSlot* slot = DecoderRecord(index, decoder, params, size, selector, record);
    if (!slot) return FALSE;
    *params = {};
    if (decoder == kFamilyDecoder) return GetFamilyParams(*slot, params);
    params->fields[0] = Word(record.data(), 12);
    params->fields[1] = Word(record.data(), 16);
    const auto [first, last] = DecoderFields(decoder);
    for (int n = first; n <= last; ++n) params->fields[n] = Word(record.data(), 12 + 4 * n);
    return TRUE;
}

ORVADE_EXPORT BOOL GetDecoderParameters(unsigned decoder, DecoderParams* params, int size) {
    return GetDecoderParametersForScanner(0, decoder, params, size);
}

ORVADE_EXPORT BOOL SetDecoderParametersForScanner(int index, unsigned decoder, const DecoderParams* params, int size) {
    char selector[2];
    std::vector<BYTE> record;
    ScannerSlot* slot = DecoderRecord(index, decoder, params, size, selector, record);
    if (!slot) return FALSE;
    if (decoder == kFamilyDecoder) return SetFamilyParams(*slot, params);
    BYTE* r = record.data();
    const uint32_t* f = params->fields;
    if (decoder == kPdfDecoder) {
        PutWord(r, 12, f[3]);
        PutWord(r, 16, f[4]);
    } else {
        PutWord(r, 12, f[0]);
        PutWord(r, 16, f[1]);
    }
    uint32_t used = std::max<uint32_t>(Word(r, 4), 20);
    const auto [first, last] = DecoderFields(decoder);
    for (int n = first; n <= last; ++n) PutWord(r, 12 + 4 * n, f[n]);
    if (last >= first) used = std::max<uint32_t>(used, 24 + 4 * static_cast<uint32_t>(last - first + 1));
    PutWord(r, 4, used);
    return g_vendor.TvScanSetDecoderParams && Kept(g_vendor.TvScanSetDecoderParams(slot->handle, selector, r));
}
ORVADE_EXPORT BOOL SetDecoderParameters(unsigned decoder, const DecoderParams* params, int size) {
    return SetDecoderParametersForScanner(0, decoder, params, size);
}

// ---- Beep and focus

ORVADE_EXPORT BOOL SetScanBeepForScanner(int index, int on, int first, int second) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot) return FALSE;
    if (slot->lifecycle != kReady) return static_cast<BOOL>(kNotReady);
    EnabledForChange change(*slot);
    if (!change.Enabled()) return FALSE;
    std::vector<BYTE> reader = NewRecord(TVSCAN_READER_PARAMS_SIZE);
    if (ReadRecord(g_vendor.TvScanGetReaderParams, *slot, reader)) {
        PutWord(reader.data(), 16, static_cast<uint32_t>(on));
        PutWord(reader.data(), 20, on ? static_cast<uint32_t>(first) : 0);
        PutWord(reader.data(), 24, on ? static_cast<uint32_t>(second) : 0);
        if (g_vendor.TvScanSetReaderParams) Kept(g_vendor.TvScanSetReaderParams(slot->handle, reader.data()));
    }
    return change.Restore() ? TRUE : FALSE;
}
ORVADE_EXPORT BOOL SetScanBeep(int on, int first, int second) { return SetScanBeepForScanner(0, on, first, second); }

ORVADE_EXPORT int GetScannerFocusForScanner(int index) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot) return 0;
    std::vector<BYTE> scan = NewRecord(TVSCAN_SCAN_PARAMS_SIZE);
    return ReadRecord(g_vendor.TvScanGetScanParams, *slot, scan) && Word(scan.data(), 48) == 1 ? 1 : 0;
}
ORVADE_EXPORT int GetScannerFocus() { return GetScannerFocusForScanner(0); }

ORVADE_EXPORT int SetScannerFocusForScanner(int index, int focus) {
    ScannerSlot* slot = SlotAt(index);
    if (!slot || !g_vendor.TvScanGetScanParams) return 0;
    std::vector<BYTE> scan = NewRecord(TVSCAN_SCAN_PARAMS_SIZE);
    const DWORD read = g_vendor.TvScanGetScanParams(slot->handle, scan.data());
    g_lastError = read;
    if (read != TVSCAN_OK) return static_cast<int>(read);
    const uint32_t wanted = focus == 1 ? 1 : 0;
    if (Word(scan.data(), 48) == wanted && Word(scan.data(), 44) == 0) return 0;
    PutWord(scan.data(), 48, wanted);
    if (!g_vendor.TvScanSetScanParams) return 0;
    const DWORD status = g_vendor.TvScanSetScanParams(slot->handle, scan.data());
    g_lastError = status;
    return static_cast<int>(status);
}
ORVADE_EXPORT int SetScannerFocus(int focus) { return SetScannerFocusForScanner(0, focus); }

// Pelmora: network adapter queries (NDIS object values) through the driver
// "TNO1:". Each adapter handle owns its own device handle and binds again
// before every request, since the driver keeps one binding per process.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/exports/AdapterQueryExports.h"

namespace {

constexpr DWORD kMagic = 0x654C6946;  // "FiLe"
constexpr size_t kMaxNameChars = 127;
constexpr DWORD kMaxValueBytes = 15;
constexpr char16_t kDevice[] = u"TNO1:";
constexpr char16_t kRevision[] = u"PELMORA.DLL Revision 1.20";
constexpr DWORD OID_802_11_BSSID_LIST = 0x0D010217;
constexpr DWORD OID_802_11_BSSID_LIST_SCAN = 0x0D01011A;
constexpr DWORD OID_802_11_WEP_STATUS = 0x0D01011B;
constexpr DWORD kBssidItemBytes = 104;

struct OidAdapterHandle {
    HANDLE device;
    DWORD magic;
    char16_t name[kMaxNameChars + 1];
};

OidAdapterHandle* Checked(HANDLE handle) {
    auto* record = static_cast<OidAdapterHandle*>(handle);
    return record && handle != INVALID_HANDLE_VALUE && record->magic == kMagic ? record : nullptr;
}

HANDLE OpenDevice() { return CreateFile(kDevice, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr); }

BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    DWORD done = 0;
    const BOOL result = DeviceIoControl(device, code, in, inSize, out, outSize, &done, nullptr);
    if (returned) *returned = done;
    return result;
}

// The request that makes this process's binding the handle's adapter.
BOOL Bind(const OidAdapterHandle& record) {
    return Control(record.device, IOCTL_TNO_OPEN_ADAPTER, const_cast<char16_t*>(record.name),
                   static_cast<DWORD>(std::char_traits<char16_t>::length(record.name) * sizeof(char16_t)), nullptr, 0,
                   nullptr);
}

// One query or set; the data goes in and comes back through `data`.
BOOL Request(const OidAdapterHandle& record, DWORD code, DWORD oid, void* data, DWORD length) {
    if (uint64_t{length} + kOidRequestSlack > 0xFFFFFFFFu) return FALSE;
    const DWORD size = length + kOidRequestSlack;
    std::vector<BYTE> block(size);
    std::memcpy(block.data(), &oid, 4);
    std::memcpy(block.data() + 4, &length, 4);
    if (data && length) std::memcpy(block.data() + 8, data, length);
    DWORD returned = 0;
    const BOOL ok = Control(record.device, code, block.data(), size, block.data(), size, &returned);
    if (!ok || returned == 0) return FALSE;
    if (data && length) std::memcpy(data, block.data() + 8, length);
    return TRUE;
}

BOOL Query(HANDLE handle, DWORD oid, void* value, DWORD length) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || !value || !Bind(*record)) return FALSE;
    std::vector<BYTE> data(length);
    if (!Request(*record, IOCTL_TNO_QUERY_OID, oid, data.data(), length)) return FALSE;
    std::memcpy(value, data.data(), length);
    return TRUE;
}

// A request on the adapter with no data; the binding step's result is not waited for.
BOOL Simple(HANDLE handle, DWORD code) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record) return FALSE;
    Bind(*record);
    return Control(record->device, code, nullptr, 0, nullptr, 0, nullptr);
}

BOOL AdapterText(HANDLE handle, DWORD code, void* buffer, DWORD size, DWORD* returned) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || !Bind(*record)) return FALSE;
    return Control(record->device, code, nullptr, 0, buffer, size, returned);
}

// A request without an adapter: "TNO1:" is opened around it.
BOOL DeviceRequest(DWORD code, void* buffer, DWORD size, DWORD* returned) {
    const HANDLE device = OpenDevice();
    if (device == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL result = Control(device, code, nullptr, 0, buffer, size, returned);
    CloseHandle(device);
    return result;
}

}  // namespace

ORVADE_EXPORT BOOL OidInitialize() {
    const HANDLE device = OpenDevice();
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
        return TRUE;
    }
    return RegisterDevice(u"TNO", 1, u"PELMORAD.DLL", 1) != nullptr;
}

ORVADE_EXPORT BOOL OidEnumerateAdapters(void* buffer, DWORD size, DWORD* returned) {
    return DeviceRequest(IOCTL_TNO_ENUMERATE_ADAPTERS, buffer, size, returned);
}

ORVADE_EXPORT HANDLE OidOpenAdapter(const char16_t* name) {
    if (!name) return INVALID_HANDLE_VALUE;
    const size_t length = std::char_traits<char16_t>::length(name);
    // A name that does not fit the handle is refused, not cut to another one.
    if (length == 0 || length > kMaxNameChars) return INVALID_HANDLE_VALUE;
    auto* record = static_cast<OidAdapterHandle*>(LocalAlloc(sizeof(OidAdapterHandle)));
    if (!record) return INVALID_HANDLE_VALUE;
    record->device = OpenDevice();
    if (record->device != INVALID_HANDLE_VALUE) {
        std::memcpy(record->name, name, length * sizeof(char16_t));
        SetLastError(ERROR_SUCCESS);
        if (Bind(*record) || GetLastError() == ERROR_SUCCESS) {
            record->magic = kMagic;
            return record;
        }
        CloseHandle(record->device);
    }
    LocalFree(record);
    return INVALID_HANDLE_VALUE;
}

ORVADE_EXPORT void OidCloseAdapter(HANDLE handle) {
    OidAdapterHandle* record = Checked(handle);
    if (!record) return;
    Bind(*record);
    Control(record->device, IOCTL_TNO_CLOSE_ADAPTER, nullptr, 0, nullptr, 0, nullptr);
    CloseHandle(record->device);
    record->magic = 0;
    LocalFree(record);
}

ORVADE_EXPORT BOOL OidResetAdapter(HANDLE handle) { return Simple(handle, IOCTL_TNO_RESET_ADAPTER); }
ORVADE_EXPORT BOOL OidAdapterAssociated(HANDLE handle) { return Simple(handle, IOCTL_TNO_ADAPTER_ASSOCIATED); }

ORVADE_EXPORT BOOL OidRebindAdapter(HANDLE handle) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || !Bind(*record)) return FALSE;
    HANDLE ndis = CreateFile(u"NDS1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ndis == INVALID_HANDLE_VALUE) ndis = CreateFile(u"NDS0:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ndis == INVALID_HANDLE_VALUE) return FALSE;
    constexpr DWORD kUnbind = 0x00170036, kBind = 0x00170032;
    std::u16string name(record->name);
    const DWORD bytes = static_cast<DWORD>((name.size() + 1) * sizeof(char16_t));
    BOOL result = Control(ndis, kUnbind, name.data(), bytes, nullptr, 0, nullptr);
    if (result) result = Control(ndis, kBind, name.data(), bytes, nullptr, 0, nullptr);
    CloseHandle(ndis);
    return result;
}

ORVADE_EXPORT BOOL OidGetAdapterRegistryPath(HANDLE handle, HKEY* root, void* buffer, DWORD size, DWORD* returned) {
    if (!AdapterText(handle, IOCTL_TNO_GET_REGISTRY_PATH, buffer, size, returned)) return FALSE;
    if (root) *root = HKEY_LOCAL_MACHINE;
    return TRUE;
}

ORVADE_EXPORT BOOL OidGetAdapterTcpipRegistryPath(HANDLE handle, HKEY* root, void* buffer, DWORD size,
                                                  DWORD* returned) {
    if (!AdapterText(handle, IOCTL_TNO_GET_TCPIP_REGISTRY_PATH, buffer, size, returned)) return FALSE;
    if (root) *root = HKEY_LOCAL_MACHINE;
    return TRUE;
}

ORVADE_EXPORT BOOL OidGetFriendlyName(HANDLE handle, void* buffer, DWORD size, DWORD* returned) {
    return AdapterText(handle, IOCTL_TNO_GET_FRIENDLY_NAME, buffer, size, returned);
}

ORVADE_EXPORT BOOL OidGetDllRevisionStr(char16_t* buffer, DWORD count, DWORD* needed) {
    const DWORD length = static_cast<DWORD>(std::char_traits<char16_t>::length(kRevision));
    if (needed) *needed = length + 2;
    if (!buffer || count < length + 2) return FALSE;
    std::memcpy(buffer, kRevision, (length + 1) * sizeof(char16_t));
    return TRUE;
}

ORVADE_EXPORT BOOL OidGetDriverRevisionStr(void* buffer, DWORD size, DWORD* returned) {
    return DeviceRequest(IOCTL_TNO_GET_DRIVER_REVISION, buffer, size, returned);
}

ORVADE_EXPORT BOOL OidGetDriverTraceBuffer(void* buffer, DWORD size, DWORD* returned) {
    return DeviceRequest(IOCTL_TNO_GET_TRACE_BUFFER, buffer, size, returned);
}

ORVADE_EXPORT BOOL OidHasDevicePoweredDown() { return DeviceRequest(IOCTL_TNO_HAS_POWERED_DOWN, nullptr, 0, nullptr); }

#define ORVADE_OID_TYPED_DEFINITION(name, oid, bytes) \
    ORVADE_EXPORT BOOL name(HANDLE adapter, void* value) { return Query(adapter, oid, value, bytes); }
ORVADE_OID_TYPED_QUERIES(ORVADE_OID_TYPED_DEFINITION)

ORVADE_EXPORT DWORD OidGetWepStatus(HANDLE handle) {
    DWORD status = 0;
    return Query(handle, OID_802_11_WEP_STATUS, &status, 4) ? status : 3;
}

ORVADE_EXPORT BOOL OidGetValue(HANDLE handle, DWORD oid, void* buffer, DWORD length) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || (length && !buffer) || !Bind(*record)) return FALSE;
    const DWORD asked = std::min(length, kMaxValueBytes);
    BYTE data[kMaxValueBytes] = {};
    if (asked) std::memcpy(data, buffer, asked);
    if (length) std::memset(buffer, 0, length);
    if (!Request(*record, IOCTL_TNO_QUERY_OID, oid, data, asked)) return FALSE;
    if (asked) std::memcpy(buffer, data, asked);
    return TRUE;
}

ORVADE_EXPORT BOOL OidBssidList(HANDLE handle, void* request) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || !request || !Bind(*record)) return FALSE;
    BYTE* r = static_cast<BYTE*>(request);
    uint32_t capacity;
    std::memcpy(&capacity, r + 8, 4);
    const uint64_t length = uint64_t{capacity} * kBssidItemBytes + 4;
    if (length + kOidRequestSlack > 0xFFFFFFFFu) return FALSE;
    const DWORD oid = OID_802_11_BSSID_LIST, sent = static_cast<DWORD>(length);
    std::memcpy(r, &oid, 4);
    std::memcpy(r + 4, &sent, 4);
    DWORD returned = 0;
    const DWORD size = sent + kOidRequestSlack;
    const BOOL ok = Control(record->device, IOCTL_TNO_QUERY_OID, r, size, r, size, &returned);
    std::memcpy(r + 4, &sent, 4);  // the length word as it was sent
    return ok && returned != 0;
}

ORVADE_EXPORT BOOL OidBssidListScan(HANDLE handle) {
    const OidAdapterHandle* record = Checked(handle);
    if (!record || !Bind(*record)) return FALSE;
    DWORD zero = 0;
    return Request(*record, IOCTL_TNO_SET_OID, OID_802_11_BSSID_LIST_SCAN, &zero, 4);
}

// Pelmorad: the stream driver "TNO" that binds to the network adapters and
// answers the adapter query library's requests, each from the adapter the
// calling process chose. It runs in user space under the device manager;
// the adapters and their values come from the platform's NDIS layer.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Ndis.h"
#include "platform/Registry.h"
#include "platform/exports/AdapterQueryExports.h"

ORVADE_TNO_DRIVER_EXPORTS(ORVADE_EXPORT_PROTOTYPE)

namespace {

constexpr DWORD kStatusFailure = NDIS_STATUS_FAILURE;
constexpr DWORD kStatusResources = 0xC000009A;
constexpr size_t kNameBufferChars = 256;  // the adapter record's 512-byte buffers
constexpr char16_t kRevision[] = u"PELMORAD.DLL Revision 1.00";

struct TnoAdapter {
    std::u16string deviceName;
    std::u16string displayName;
    std::u16string parmsPath;  // "Comm\<name>\Parms"
    std::u16string tcpipPath;  // "Comm\<name>\Parms\Tcpip"
    std::vector<DWORD> bindings;  // processes that chose this adapter
    std::mutex requests;          // one request at a time on the adapter
};

struct Driver {
    std::mutex lock;  // the adapter list and every binding list
    std::list<std::unique_ptr<TnoAdapter>> adapters;  // adapters live until Deinit
};

Driver* g_driver = nullptr;
std::atomic<bool> g_poweredDown{false};

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
               return fold(x) == fold(y);
           });
}

std::u16string DisplayName(const std::u16string& device) {
    std::u16string name;
    HKEY key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, (u"Comm\\" + device).c_str(), 0, 0, &key) != ERROR_SUCCESS) return name;
    char16_t data[kNameBufferChars] = {};
    DWORD size = sizeof data - sizeof(char16_t), type = 0;
    // Missing or unreadable: an empty name, never a negative length.
    if (RegQueryValueEx(key, u"DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        name.assign(data, std::char_traits<char16_t>::length(data));
    RegCloseKey(key);
    return name;
}

DWORD Bind(const std::u16string& device) {
    if (EqualsIgnoringCase(device, u"ASYNCMAC1") || EqualsIgnoringCase(device, u"SS1VNDIS1")) return kStatusFailure;
    auto adapter = std::make_unique<TnoAdapter>();
    adapter->deviceName = device;
    adapter->parmsPath = u"Comm\\" + device + u"\\Parms";
    adapter->tcpipPath = adapter->parmsPath + u"\\Tcpip";
    // Every name fits its buffer with its zero, or the adapter is not bound.
    if (device.empty() || adapter->tcpipPath.size() >= kNameBufferChars) return kStatusFailure;
    adapter->displayName = DisplayName(device);
    std::lock_guard lock(g_driver->lock);
    g_driver->adapters.push_front(std::move(adapter));
    return NDIS_STATUS_SUCCESS;
}

TnoAdapter* ByProcess(DWORD process) {
    std::lock_guard lock(g_driver->lock);
    for (const auto& adapter : g_driver->adapters)
        if (std::find(adapter->bindings.begin(), adapter->bindings.end(), process) != adapter->bindings.end())
            return adapter.get();
    return nullptr;
}

// A text with its zero into the output; bytes returned is its size either way.
DWORD CopyText(const std::u16string& text, BYTE* out, DWORD outSize, DWORD* returned) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    *returned = bytes;
    if (!out || outSize < bytes) return TNO_STATUS_BUFFER_TOO_SHORT;
    std::memcpy(out, text.c_str(), bytes);
    return NDIS_STATUS_SUCCESS;
}

DWORD Enumerate(BYTE* out, DWORD outSize, DWORD* returned) {
    std::lock_guard lock(g_driver->lock);
    uint64_t needed = 4 + 2;
    for (const auto& adapter : g_driver->adapters) needed += (adapter->deviceName.size() + 1) * 2;
    *returned = static_cast<DWORD>(needed);
    if (!out || outSize < needed) return TNO_STATUS_BUFFER_TOO_SHORT;
    const uint32_t count = static_cast<uint32_t>(g_driver->adapters.size());
    std::memcpy(out, &count, 4);
    size_t at = 4;
    for (const auto& adapter : g_driver->adapters) {
        const size_t bytes = (adapter->deviceName.size() + 1) * 2;
        std::memcpy(out + at, adapter->deviceName.c_str(), bytes);
        at += bytes;
    }
    std::memset(out + at, 0, 2);
    return NDIS_STATUS_SUCCESS;
}

DWORD OpenAdapter(DWORD process, const BYTE* in, DWORD inSize) {
    // The name as sent, without its zero; one longer than any bound name finds none.
    if (!in || inSize == 0 || inSize % 2 || inSize / 2 >= kNameBufferChars) return kStatusFailure;
    std::u16string name(inSize / 2, u'\0');
    std::memcpy(name.data(), in, inSize);
    std::lock_guard lock(g_driver->lock);
    TnoAdapter* found = nullptr;
    for (const auto& adapter : g_driver->adapters) {
        if (std::find(adapter->bindings.begin(), adapter->bindings.end(), process) != adapter->bindings.end())
            return NDIS_STATUS_SUCCESS;  // a process keeps the adapter it chose
        if (!found && adapter->deviceName == name) found = adapter.get();
    }
    if (!found) return kStatusFailure;
    found->bindings.push_back(process);
    return NDIS_STATUS_SUCCESS;
}

DWORD CloseAdapter(DWORD process) {
    std::lock_guard lock(g_driver->lock);
    for (const auto& adapter : g_driver->adapters) {
        auto it = std::find(adapter->bindings.begin(), adapter->bindings.end(), process);
        if (it != adapter->bindings.end()) {
            adapter->bindings.erase(it);
            return NDIS_STATUS_SUCCESS;
        }
    }
    return kStatusFailure;
}

DWORD OidRequestTo(bool set, DWORD process, BYTE* in, DWORD inSize, BYTE* out, DWORD outSize, DWORD* returned) {
    TnoAdapter* const adapter = ByProcess(process);
    if (!adapter) return kStatusFailure;
    if (!in || !out || inSize != outSize || inSize < kOidRequestHeader) return kStatusFailure;
    DWORD oid, length;
    std::memcpy(&oid, in, 4);
    std::memcpy(&length, in + 4, 4);
    // Counted in 64 bits: a length near 4 GiB is not a short one.
    if (uint64_t{length} + kOidRequestSlack > inSize) return kStatusFailure;
    if (in != out) std::memmove(out, in, inSize);
    DWORD done = 0;
    DWORD status;
    {
        std::lock_guard serial(adapter->requests);
        status = plat::ndis::Request(set, adapter->deviceName, oid, out + kOidRequestHeader, length, &done);
    }
    if (status != NDIS_STATUS_SUCCESS) {
        std::memcpy(out + 4, &status, 4);
        return status;
    }
    *returned = done;
    return NDIS_STATUS_SUCCESS;
}

DWORD Dispatch(DWORD process, DWORD code, BYTE* in, DWORD inSize, BYTE* out, DWORD outSize, DWORD* returned) {
    *returned = 0;
    switch (code) {
    case IOCTL_TNO_QUERY_OID:
    case IOCTL_TNO_SET_OID:
        return OidRequestTo(code == IOCTL_TNO_SET_OID, process, in, inSize, out, outSize, returned);
    case IOCTL_TNO_ENUMERATE_ADAPTERS: return Enumerate(out, outSize, returned);
    case IOCTL_TNO_OPEN_ADAPTER: return OpenAdapter(process, in, inSize);
    case IOCTL_TNO_CLOSE_ADAPTER: return CloseAdapter(process);
    case IOCTL_TNO_GET_FRIENDLY_NAME:
    case IOCTL_TNO_GET_REGISTRY_PATH:
    case IOCTL_TNO_GET_TCPIP_REGISTRY_PATH: {
        TnoAdapter* const adapter = ByProcess(process);
        if (!adapter) return kStatusFailure;
        const std::u16string& text = code == IOCTL_TNO_GET_FRIENDLY_NAME ? adapter->displayName
                                     : code == IOCTL_TNO_GET_REGISTRY_PATH ? adapter->parmsPath
                                                                           : adapter->tcpipPath;
        return CopyText(text, out, outSize, returned);
    }
    case IOCTL_TNO_GET_DRIVER_REVISION: return CopyText(kRevision, out, outSize, returned);
    case IOCTL_TNO_HAS_POWERED_DOWN: return g_poweredDown.exchange(false) ? NDIS_STATUS_SUCCESS : kStatusFailure;
    case IOCTL_TNO_RESET_ADAPTER: {
        TnoAdapter* const adapter = ByProcess(process);
        if (!adapter) return kStatusFailure;
        std::lock_guard serial(adapter->requests);
        return NDIS_STATUS_SUCCESS;  // the NDIS layer keeps no state to reset
    }
    case IOCTL_TNO_ADAPTER_ASSOCIATED: {
        TnoAdapter* const adapter = ByProcess(process);
        return adapter && plat::ndis::MediaConnected(adapter->deviceName) ? NDIS_STATUS_SUCCESS : kStatusFailure;
    }
    case IOCTL_TNO_GET_TRACE_BUFFER:
    default:
        return kStatusFailure;
    }
}

}  // namespace

ORVADE_EXPORT DWORD DriverEntry(void*, const char16_t*) {
    if (g_driver) return NDIS_STATUS_SUCCESS;
    g_driver = new (std::nothrow) Driver;
    if (!g_driver) return kStatusResources;
    // NDIS offers its adapters; each bound one goes to the front of the list.
    for (const std::u16string& name : plat::ndis::Adapters()) Bind(name);
    return NDIS_STATUS_SUCCESS;
}

ORVADE_EXPORT DWORD TNO_Init(DWORD) { return DriverEntry(nullptr, nullptr) == NDIS_STATUS_SUCCESS ? TNO_DEVICE_CONTEXT : 0; }

ORVADE_EXPORT BOOL TNO_Deinit(DWORD) {
    delete g_driver;  // unbinding here cannot fail: no adapter is left behind
    g_driver = nullptr;
    return TRUE;
}

ORVADE_EXPORT DWORD TNO_Open(DWORD deviceContext, DWORD, DWORD) {
    if (deviceContext != TNO_DEVICE_CONTEXT || !g_driver) return 0xFFFFFFFF;
    std::lock_guard lock(g_driver->lock);
    return g_driver->adapters.empty() ? 0xFFFFFFFF : TNO_OPEN_CONTEXT;
}

ORVADE_EXPORT BOOL TNO_Close(DWORD openContext) { return openContext == TNO_OPEN_CONTEXT; }

ORVADE_EXPORT BOOL TNO_IOControl(DWORD, DWORD code, BYTE* in, DWORD inSize, BYTE* out, DWORD outSize,
                                 DWORD* returned) {
    DWORD done = 0;
    const DWORD status = g_driver ? Dispatch(GetCallerProcess(), code, in, inSize, out, outSize, &done)
                                  : kStatusFailure;
    if (returned) *returned = done;
    if (status != NDIS_STATUS_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
    return status == NDIS_STATUS_SUCCESS;
}

ORVADE_EXPORT void TNO_PowerUp(DWORD) {}
ORVADE_EXPORT void TNO_PowerDown(DWORD) { g_poweredDown = true; }
ORVADE_EXPORT DWORD TNO_Read(DWORD, void*, DWORD) { return 0; }
ORVADE_EXPORT DWORD TNO_Write(DWORD, const void*, DWORD) { return 0; }
ORVADE_EXPORT DWORD TNO_Seek(DWORD, LONG, DWORD) { return 0; }

// Network: the client core's questions about the network adapter - its
// association, signal, ESSID and MAC address - and an ICMP ping. Behind
// them stands an adapter of one of two back-ends: the NDIS user-mode I/O
// device "UIO1:", or the adapter query library Pelmora, which this library
// copies into \Windows and loads from there. All calls come on the caller's
// user-interface thread.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/DeviceFs.h"
#include "platform/Dialog.h"
#include "platform/Resources.h"
#include "platform/Window.h"
#include "platform/DeviceManager.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "platform/exports/AboutPage.h"
#include "platform/exports/AdapterQueryExports.h"
#include "platform/exports/NetworkExports.h"
#include "platform/exports/ScannerExports.h"

namespace {

constexpr DWORD OID_PHYSICAL_MEDIUM = 0x00010202;
constexpr DWORD OID_SSID = 0x0D010102;
constexpr DWORD OID_BSSID = 0x0D010101;
constexpr DWORD OID_INFRASTRUCTURE_MODE = 0x0D010108;
constexpr DWORD OID_RSSI = 0x0D010206;
constexpr DWORD OID_MAC = 0x01010101;
constexpr DWORD kInfrastructure = 1;

// The 36-byte NDIS SSID record.
struct Ssid {
    uint32_t length;
    uint8_t bytes[32];
};
static_assert(sizeof(Ssid) == 36);

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return plat::text::ToUpper(x) == plat::text::ToUpper(y);
           });
}

HMODULE ThisModule() { return plat::loader::ModuleOf(reinterpret_cast<const void*>(&ThisModule)); }

// The folder of this library on the device; empty when it was not loaded from there.
std::u16string OwnFolder() {
    const std::u16string path = plat::loader::ModuleDevicePath(ThisModule());
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string MacText(const uint8_t mac[6]) {
    char text[18];
    std::snprintf(text, sizeof text, "%.2x:%.2x:%.2x:%.2x:%.2x:%.2x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return plat::text::Utf8ToWide(text);
}

class CAdapter {
public:
    virtual ~CAdapter() = default;
    virtual HRESULT Open(bool accept) = 0;
    virtual HRESULT Close() {
        m_macText.clear();
        return S_OK;
    }
    virtual HRESULT GetPhysicalMedium(uint32_t* medium) = 0;
    HRESULT IsResponding() {
        Ssid scratch;
        return GetSSID(&scratch);
    }
    HRESULT IsAssociated(uint32_t* associated) {
        if (!associated) return E_INVALIDARG;
        uint32_t mode = 0;
        if (IsResponding() != S_OK || GetInfrastructureMode(&mode) != S_OK) return E_FAIL;
        if (mode != kInfrastructure) {
            *associated = 1;
            return S_OK;
        }
        uint8_t bssid[6];
        static const uint8_t zero[6] = {};
        *associated = GetBSSID(bssid) == S_OK && std::memcmp(bssid, zero, 6) != 0 && bssid[0] != 0xFF ? 1 : 0;
        return S_OK;
    }
    virtual HRESULT GetSSID(Ssid* ssid) = 0;
    virtual HRESULT GetBSSID(uint8_t* bssid) = 0;
    virtual HRESULT GetInfrastructureMode(uint32_t* mode) = 0;
    virtual HRESULT GetRSSI(int32_t* rssi) = 0;
    HRESULT GetSignalQuality(int32_t* quality) {
        if (!quality) return E_INVALIDARG;
        *quality = 0;
        int32_t rssi = 0;
        if (GetRSSI(&rssi) != S_OK) return E_FAIL;
        *quality = std::clamp((rssi + 90) * 2, 0, 100);
        return S_OK;
    }

    const std::u16string& MacText() const { return m_macText; }
    const uint8_t* MacBytes() const { return m_mac; }

protected:
    void KeepMac(const uint8_t mac[6]) {
        std::memcpy(m_mac, mac, 6);
        m_macText = ::MacText(mac);
    }

    std::u16string m_macText;
    uint8_t m_mac[6] = {};
};

// ---- Over the adapter query library

class COidAdapter : public CAdapter {
public:
    ~COidAdapter() override {
        Close();
        if (m_module) FreeLibrary(m_module);
    }

    HRESULT Open(bool accept) override {
        if (!m_libraryLoaded) LoadLibraryOnce();
        if (!m_ready || !m_fn.OidEnumerateAdapters) return E_FAIL;
        Close();
        std::vector<BYTE> list(2048);
        DWORD returned = 0;
        for (int attempt = 0; attempt < 4; ++attempt) {
            std::fill(list.begin(), list.end(), 0);
            if (!m_fn.OidEnumerateAdapters(list.data(), static_cast<DWORD>(list.size()), &returned)) return E_FAIL;
            if (Word(list, 0) != 0) break;
        }
        // Names end to end after the count, each with its zero, inside what came back.
        const size_t end = std::min<size_t>(returned ? returned : list.size(), list.size()) / 2 * 2;
        for (size_t at = 4; at + 2 <= end;) {
            std::u16string name;
            while (at + 2 <= end) {
                char16_t c;
                std::memcpy(&c, list.data() + at, 2);
                at += 2;
                if (!c) break;
                name.push_back(c);
            }
            if (name.empty()) break;
            HANDLE handle = m_fn.OidOpenAdapter(name.c_str());
            if (handle == INVALID_HANDLE_VALUE) continue;
            uint8_t mac[6] = {};
            if (!m_fn.OidGetMacAddress || !m_fn.OidGetMacAddress(handle, mac)) {
                m_fn.OidCloseAdapter(handle);
                continue;
            }
            m_handle = handle;
            KeepMac(mac);
            if (accept || IsResponding() == S_OK) return S_OK;
            Close();
        }
        return E_FAIL;
    }
    HRESULT Close() override {
        if (m_handle != INVALID_HANDLE_VALUE && m_fn.OidCloseAdapter) m_fn.OidCloseAdapter(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return CAdapter::Close();
    }
    HRESULT GetPhysicalMedium(uint32_t* medium) override {
        if (!medium) return E_INVALIDARG;
        *medium = 0;
        if (m_handle == INVALID_HANDLE_VALUE || !m_fn.OidGetValue) return E_FAIL;
        return m_fn.OidGetValue(m_handle, OID_PHYSICAL_MEDIUM, medium, 4) ? S_OK : E_FAIL;
    }
    HRESULT GetSSID(Ssid* ssid) override { return Typed(m_fn.OidGetSSID, ssid, sizeof(Ssid)); }
    HRESULT GetBSSID(uint8_t* bssid) override { return Typed(m_fn.OidGetBSSID, bssid, 6); }
    HRESULT GetInfrastructureMode(uint32_t* mode) override { return Typed(m_fn.OidGetInfrastructureMode, mode, 4); }
    HRESULT GetRSSI(int32_t* rssi) override { return Typed(m_fn.OidGetRSSI, rssi, 4); }

private:
    static uint32_t Word(const std::vector<BYTE>& bytes, size_t at) {
        uint32_t value;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    }
    template <typename Fn>
    HRESULT Typed(Fn fn, void* out, size_t bytes) {
        if (!out) return E_INVALIDARG;
        std::memset(out, 0, bytes);
        if (m_handle == INVALID_HANDLE_VALUE || !fn) return E_FAIL;
        return fn(m_handle, out) ? S_OK : E_FAIL;
    }

    // The library and its driver go to \Windows unless the copies there are
    // the same (size and last-write time); each copy replaces the old file in
    // one step, so a library loaded from there never sees half a file.
    void LoadLibraryOnce() {
        m_libraryLoaded = true;
        const std::u16string folder = OwnFolder();
        if (!folder.empty()) {
            for (const char16_t* name : {u"\\Pelmora.dll", u"\\Pelmorad.dll"}) {
                const std::u16string source = folder + name;
                const std::u16string target = std::u16string(u"\\Windows") + name;
                const std::optional<plat::fs::FindData> from = plat::fs::GetFileData(source);
                if (!from || from->isDirectory) continue;
                const std::optional<plat::fs::FindData> to = plat::fs::GetFileData(target);
                const bool same = to && to->size == from->size &&
                                  to->lastWriteTime.dwLowDateTime == from->lastWriteTime.dwLowDateTime &&
                                  to->lastWriteTime.dwHighDateTime == from->lastWriteTime.dwHighDateTime;
                if (same) continue;
                plat::fs::CreateDirectory(u"\\Windows");
                plat::fs::CopyFile(source, target, false);
            }
        }
        m_module = LoadLibrary(u"\\Windows\\Pelmora.dll");
        if (!m_module) return;
        m_fn.Bind(m_module);
        m_ready = m_fn.OidInitialize && m_fn.OidOpenAdapter && m_fn.OidCloseAdapter && m_fn.OidInitialize();
    }

    bool m_libraryLoaded = false;
    HMODULE m_module = nullptr;
    bool m_ready = false;
    struct {
        OidInitialize_fn OidInitialize = nullptr;
        OidEnumerateAdapters_fn OidEnumerateAdapters = nullptr;
        OidOpenAdapter_fn OidOpenAdapter = nullptr;
        OidCloseAdapter_fn OidCloseAdapter = nullptr;
        OidGetValue_fn OidGetValue = nullptr;
        OidGetMacAddress_fn OidGetMacAddress = nullptr;
        OidGetSSID_fn OidGetSSID = nullptr;
        OidGetBSSID_fn OidGetBSSID = nullptr;
        OidGetInfrastructureMode_fn OidGetInfrastructureMode = nullptr;
        OidGetRSSI_fn OidGetRSSI = nullptr;
        void Bind(HMODULE module) {
#define NETWORK_BIND(name) name = GetProc<name##_fn>(module, #name);
            NETWORK_BIND(OidInitialize) NETWORK_BIND(OidEnumerateAdapters) NETWORK_BIND(OidOpenAdapter)
            NETWORK_BIND(OidCloseAdapter) NETWORK_BIND(OidGetValue) NETWORK_BIND(OidGetMacAddress)
            NETWORK_BIND(OidGetSSID) NETWORK_BIND(OidGetBSSID) NETWORK_BIND(OidGetInfrastructureMode)
            NETWORK_BIND(OidGetRSSI)
#undef NETWORK_BIND
        }
    } m_fn;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// ---- Over the NDIS user-mode I/O device

constexpr DWORD IOCTL_NDISUIO_QUERY_OID_VALUE = 0x00120804;
constexpr DWORD IOCTL_NDISUIO_QUERY_BINDING = 0x0012080C;
constexpr size_t kBindingOutput = 1024;

// The query record as the device reads it: the OID, the adapter name's
// address (pointer-sized, aligned), then the data.
struct UioQuery {
    uint32_t oid;
    const char16_t* deviceName;
    uint8_t data[1];
};
constexpr size_t kUioDataOffset = offsetof(UioQuery, data);

class CNdisUioAdapter : public CAdapter {
public:
    ~CNdisUioAdapter() override { Close(); }

    HRESULT Open(bool accept) override {
        m_bound = false;
        if (m_device == INVALID_HANDLE_VALUE) {
            m_device = CreateFile(u"UIO1:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
            if (m_device == INVALID_HANDLE_VALUE) return E_HANDLE;
        }
        for (uint32_t index = 0; index < 10; ++index) {
            BYTE in[20] = {};
            std::memcpy(in, &index, 4);
            std::vector<BYTE> out(kBindingOutput);
            DWORD returned = 0;
            if (!DeviceIoControl(m_device, IOCTL_NDISUIO_QUERY_BINDING, in, sizeof in, out.data(),
                                 static_cast<DWORD>(out.size()), &returned, nullptr))
                return m_bound ? S_OK : E_FAIL;
            // The name must lie inside what the device returned.
            uint32_t offset, length;
            std::memcpy(&offset, out.data() + 4, 4);
            std::memcpy(&length, out.data() + 8, 4);
            const size_t valid = std::min<size_t>(returned, out.size());
            if (offset < 20 || uint64_t{offset} + length > valid) continue;
            m_name.assign(length / 2, u'\0');
            std::memcpy(m_name.data(), out.data() + offset, m_name.size() * 2);
            m_name.resize(std::char_traits<char16_t>::length(m_name.c_str()));
            if (m_name.empty()) continue;
            m_bound = true;
            Ssid ssid;
            uint8_t mac[8] = {};
            if ((accept || GetSSID(&ssid) == S_OK) && Query(OID_MAC, mac, 8) == S_OK) {
                KeepMac(mac);
                return S_OK;
            }
            m_bound = false;
        }
        return E_FAIL;
    }
    HRESULT Close() override {
        if (m_device != INVALID_HANDLE_VALUE) CloseHandle(m_device);
        m_device = INVALID_HANDLE_VALUE;
        m_bound = false;
        return CAdapter::Close();
    }
    HRESULT GetPhysicalMedium(uint32_t* medium) override { return Out(OID_PHYSICAL_MEDIUM, medium, 4); }
    HRESULT GetSSID(Ssid* ssid) override { return Out(OID_SSID, ssid, sizeof(Ssid)); }
    HRESULT GetBSSID(uint8_t* bssid) override { return Out(OID_BSSID, bssid, 6); }
    HRESULT GetInfrastructureMode(uint32_t* mode) override { return Out(OID_INFRASTRUCTURE_MODE, mode, 4); }
    HRESULT GetRSSI(int32_t* rssi) override { return Out(OID_RSSI, rssi, 4); }

private:
    HRESULT Out(DWORD oid, void* out, size_t bytes) {
        if (!out) return E_INVALIDARG;
        std::memset(out, 0, bytes);
        return Query(oid, out, bytes);
    }
    HRESULT Query(DWORD oid, void* out, size_t bytes) {
        if (!m_bound || m_name.empty()) return E_FAIL;
        std::u16string name = m_name;
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::vector<BYTE> record(kUioDataOffset + bytes);
            UioQuery header{oid, name.c_str(), {0}};
            std::memcpy(record.data(), &header, kUioDataOffset);
            DWORD returned = 0;
            if (DeviceIoControl(m_device, IOCTL_NDISUIO_QUERY_OID_VALUE, record.data(),
                                static_cast<DWORD>(record.size()), record.data(), static_cast<DWORD>(record.size()),
                                &returned, nullptr)) {
                std::memcpy(out, record.data() + kUioDataOffset, bytes);
                return S_OK;
            }
            const size_t slash = name.find(u'\\');
            if (slash == std::u16string::npos) break;
            name = name.substr(slash + 1);
        }
        return E_FAIL;
    }

    bool m_bound = false;
    std::u16string m_name;
    HANDLE m_device = INVALID_HANDLE_VALUE;
};

// ---- Module state

CNdisUioAdapter g_uio;
COidAdapter g_oid;
CAdapter* g_current = nullptr;

CAdapter* ChooseAdapter(bool acceptAllowed) {
    if (g_current && g_current->IsResponding() == S_OK) return g_current;
    g_uio.Close();
    g_oid.Close();
    g_current = nullptr;
    if (g_uio.Open(false) == S_OK) return g_current = &g_uio;
    if (g_oid.Open(false) == S_OK) return g_current = &g_oid;
    if (acceptAllowed) {
        if (g_uio.Open(true) == S_OK) return g_current = &g_uio;
        if (g_oid.Open(true) == S_OK) return g_current = &g_oid;
    }
    return nullptr;
}

// ---- Ping

constexpr DWORD IP_DEST_NET_UNREACHABLE = 11002;
constexpr DWORD IP_DEST_HOST_UNREACHABLE = 11003;
constexpr DWORD IP_REQ_TIMED_OUT = 11010;
constexpr DWORD IP_GENERAL_FAILURE = 11050;

struct IcmpHandle {
    int fd = -1;
    bool raw = false;
    uint16_t sequence = 0;
};
IcmpHandle g_icmp;

bool OpenIcmp() {
    if (g_icmp.fd >= 0) return true;
    // A datagram socket needs no privilege where the system allows it; else a raw one.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    bool raw = false;
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) return false;
    g_icmp = IcmpHandle{fd, raw, 0};
    return true;
}

uint16_t Checksum(const uint8_t* bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) sum += static_cast<uint32_t>(bytes[i] | bytes[i + 1] << 8);
    if (size % 2) sum += bytes[size - 1];
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// One echo; 0 with a reply (its round trip in *ms), else the error.
DWORD Echo(uint32_t address, DWORD timeoutMs, const void* data, WORD size, DWORD* ms) {
    const uint16_t id = static_cast<uint16_t>(getpid());
    const uint16_t sequence = ++g_icmp.sequence;
    std::vector<uint8_t> packet(8 + size);
    packet[0] = ICMP_ECHO;
    std::memcpy(&packet[4], &id, 2);
    std::memcpy(&packet[6], &sequence, 2);
    std::memcpy(packet.data() + 8, data, size);
    const uint16_t sum = Checksum(packet.data(), packet.size());
    std::memcpy(&packet[2], &sum, 2);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    const auto start = std::chrono::steady_clock::now();
    if (sendto(g_icmp.fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
        return errno == EHOSTUNREACH ? IP_DEST_HOST_UNREACHABLE
               : errno == ENETUNREACH ? IP_DEST_NET_UNREACHABLE
                                      : IP_GENERAL_FAILURE;
    // The reply record and the echoed data, behind an IP header on a raw socket.
    std::vector<uint8_t> reply(60 + 8 + size + 64);
    for (;;) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (elapsed.count() >= timeoutMs) return IP_REQ_TIMED_OUT;
        pollfd p{g_icmp.fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(timeoutMs - elapsed.count()));
        if (ready < 0 && errno != EINTR) return IP_GENERAL_FAILURE;
        if (ready <= 0) continue;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t n = recvfrom(g_icmp.fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n <= 0) continue;
        size_t at = 0;
        if (g_icmp.raw) {
            at = static_cast<size_t>(reply[0] & 0x0F) * 4;
            if (from.sin_addr.s_addr != address && reply[at] == ICMP_ECHOREPLY) continue;
        }
        if (static_cast<size_t>(n) < at + 8) continue;
        const uint8_t* icmp = reply.data() + at;
        uint16_t replyId, replySequence;
        std::memcpy(&replyId, icmp + 4, 2);
        std::memcpy(&replySequence, icmp + 6, 2);
        if (icmp[0] == ICMP_DEST_UNREACH && g_icmp.raw) return IP_DEST_HOST_UNREACHABLE;
        if (icmp[0] != ICMP_ECHOREPLY || replySequence != sequence || (g_icmp.raw && replyId != id)) continue;
        *ms = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
        return 0;
    }
}

constexpr char kDefaultEcho[] = "aBcDeFgHiJkLmNoPqRsTuVwXyZ";

// ---- The about page

constexpr WORD kAboutText = 1000;
constexpr size_t kAboutMaxChars = 1000;
constexpr DWORD kAdapterInfoMs = 10000;

constexpr plat::res::DialogItem kAboutItems[] = {
    {u"EDIT", kAboutText, WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, u"", 0, 0,
     135, 119},
};
constexpr plat::res::Dialog kDialogs[] = {
    {109, WS_CHILD | WS_CAPTION, u"Network", u"MS Sans Serif", 8, 0, 0, 135, 119, kAboutItems, 1},
};

// What the machine knows of the adapter with the current MAC address: its
// interface's name and IPv4 address, kept for ten seconds (only until the
// next tick while the address begins with '0').
struct AdapterInfo {
    std::u16string name;
    std::u16string address;
    uint8_t mac[6] = {};
    DWORD validUntil = 0;
    bool present = false;
};
AdapterInfo g_info;

void RefreshAdapterInfo(const uint8_t mac[6]) {
    const DWORD now = GetTickCount();
    if (g_info.present && static_cast<int32_t>(g_info.validUntil - now) > 0 && std::memcmp(g_info.mac, mac, 6) == 0)
        return;
    g_info = AdapterInfo{};
    std::memcpy(g_info.mac, mac, 6);
    std::string interfaceName;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
            const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            if (link->sll_halen == 6 && std::memcmp(link->sll_addr, mac, 6) == 0) interfaceName = a->ifa_name;
        }
        for (ifaddrs* a = list; a && !interfaceName.empty(); a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || interfaceName != a->ifa_name) continue;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
            g_info.address = plat::text::Utf8ToWide(text);
            break;
        }
        freeifaddrs(list);
    }
    if (interfaceName.empty()) return;
    g_info.present = true;
    g_info.name = plat::text::Utf8ToWide(interfaceName);
    g_info.validUntil = now + (!g_info.address.empty() && g_info.address[0] == u'0' ? 1 : kAdapterInfoMs);
}

std::u16string Line(const char* format, const std::u16string& value) {
    char line[256];
    std::snprintf(line, sizeof line, format, plat::text::WideToUtf8(value).c_str());
    return plat::text::Utf8ToWide(line);
}

const char16_t* MediumHeading(uint32_t medium) {
    switch (medium) {
    case 1: return u"Wireless LAN Adapter Settings:\r\n\r\n";
    case 2: return u"Cable Modem Adapter Settings:\r\n\r\n";
    case 3: return u"Phone Line Adapter Settings:\r\n\r\n";
    case 4: return u"Power Line Adapter Settings:\r\n\r\n";
    case 5: return u"DSL Adapter Settings:\r\n\r\n";
    case 6: return u"Fibre Channel Adapter Settings:\r\n\r\n";
    case 7: return u"1394 Adapter Settings:\r\n\r\n";
    case 8: return u"Wireless WAN Adapter Settings:\r\n\r\n";
    default: return u"Adapter Settings:\r\n\r\n";
    }
}

std::u16string AboutText() {
    CAdapter* adapter = ChooseAdapter(true);
    if (!adapter) return u"Network Adapter Not Detected";
    uint32_t medium = 0;
    if (adapter->GetPhysicalMedium(&medium) != S_OK) medium = adapter->IsResponding() == S_OK ? 1 : 0;
    const std::u16string heading = MediumHeading(medium);
    std::u16string text = heading;
    if (!adapter->MacText().empty()) RefreshAdapterInfo(adapter->MacBytes());
    if (!adapter->MacText().empty() && g_info.present) text += Line("  Name = %s\r\n", g_info.name);
    if (!adapter->MacText().empty()) text += Line("  MAC Address = %s\r\n", adapter->MacText());
    if (g_info.present && !g_info.address.empty() && g_info.address[0] >= u'0' && g_info.address[0] <= u'9')
        text += Line("  IP Address = %s\r\n", g_info.address);
    if (medium == 1) {
        Ssid ssid{};
        std::string name = "*** Unavailable ***";
        if (adapter->GetSSID(&ssid) == S_OK)
            name.assign(reinterpret_cast<const char*>(ssid.bytes), std::min<uint32_t>(ssid.length, 32));
        uint32_t mode = 0;
        if (adapter->GetInfrastructureMode(&mode) == S_OK) {
            const std::u16string ssidLine = Line("    SSID = %s\r\n", plat::text::BytesToWide(0, name));
            uint8_t bssid[6];
            if (mode != kInfrastructure) {
                text += u"\r\n  In Ad Hoc (IBSS) Mode\r\n" + ssidLine;
            } else if (adapter->GetBSSID(bssid) != S_OK) {
                text += u"\r\n  Not Associated\r\n";
            } else {
                text += u"\r\n  Associated\r\n" + ssidLine;
                char line[64];
                std::snprintf(line, sizeof line, "    BSSID = %02X:%02X:%02X:%02X:%02X:%02X\r\n", bssid[0], bssid[1],
                              bssid[2], bssid[3], bssid[4], bssid[5]);
                text += plat::text::Utf8ToWide(line);
                int32_t rssi = 0, quality = 0;
                if (adapter->GetRSSI(&rssi) == S_OK) {
                    std::snprintf(line, sizeof line, "    Signal Strength = %d dBm\r\n", rssi);
                    text += plat::text::Utf8ToWide(line);
                }
                if (adapter->GetSignalQuality(&quality) == S_OK) {
                    std::snprintf(line, sizeof line, "    Signal Quality = %d%%\r\n", quality);
                    text += plat::text::Utf8ToWide(line);
                }
            }
        }
    } else {
        adapter->Close();
        g_current = nullptr;
    }
    if (text.size() == heading.size()) text += u"  No information available";
    if (text.size() > kAboutMaxChars) text.resize(kAboutMaxChars);
    return text;
}

void RefreshPage(HWND page) {
    const std::u16string text = AboutText();
    char16_t shown[kAboutMaxChars + 1] = {};
    GetDlgItemText(page, kAboutText, shown, static_cast<int>(std::size(shown)));
    if (text != shown) SetDlgItemText(page, kAboutText, text.c_str());
}

INT_PTR AboutPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    plat::res::AboutPageMessage(page, message, wParam, lParam, &RefreshPage, &result);
    return result;
}

constexpr char16_t kMacKey[] = u"Software\\Quillmar\\Network";

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::res::Table OrvadeResourceTable = {
    plat::res::kTableMagic, 0, nullptr, uint32_t(std::size(kDialogs)), kDialogs};

ORVADE_EXPORT BOOL GetAboutPropSheet(PROPSHEETPAGE* page) {
    if (!page) return TRUE;
    page->dwSize = kPropSheetPageSize;
    page->dwFlags = 0;
    page->hInstance = ThisModule();
    page->pszTemplate = 109;
    page->pfnDlgProc = reinterpret_cast<void*>(&AboutPage);
    return TRUE;
}

// ---- Identity and start

ORVADE_EXPORT int GetTelnetExtensionType() { return EXTENSION_NETWORK; }

ORVADE_EXPORT BOOL GetExtensionInfo(ExtensionInfo* record) {
    if (!record) return FALSE;
    *record = {};
    record->version = 1;
    record->kind = 0;
    const std::u16string_view name = u"Generic";
    std::copy(name.begin(), name.end(), record->name);
    return TRUE;
}

ORVADE_EXPORT BOOL Initialize() {
    // A vendor's network library beside this one takes over when its Initialize says so.
    const std::u16string self = plat::loader::ModuleDevicePath(ThisModule());
    const std::u16string folder = OwnFolder();
    if (folder.empty()) return TRUE;
    for (const char16_t* name : {u"\\Morvex.dll", u"\\Faldrin.dll"}) {
        const std::u16string path = folder + name;
        if (SameIgnoringCase(path, self)) continue;
        HMODULE helper = LoadLibrary(path);
        if (!helper) continue;
        const auto init = GetProc<BOOL (*)()>(helper, "Initialize");
        const BOOL tookOver = init && init();
        FreeLibrary(helper);
        return tookOver ? FALSE : TRUE;
    }
    return TRUE;
}

ORVADE_EXPORT int Shutdown() {
    if (g_icmp.fd < 0) return -1;
    const int closed = close(g_icmp.fd) == 0 ? 1 : 0;
    g_icmp = IcmpHandle{};
    return closed;
}

// ---- Adapter questions

ORVADE_EXPORT int GetAdapterStatus(int) {
    CAdapter* adapter = ChooseAdapter(false);
    uint32_t associated = 0;
    if (!adapter || adapter->IsAssociated(&associated) != S_OK) return 0;
    return associated ? 0 : 1;
}

ORVADE_EXPORT int GetAdapterSignalQuality(int) {
    CAdapter* adapter = ChooseAdapter(false);
    int32_t quality = 0;
    return adapter && adapter->GetSignalQuality(&quality) == S_OK ? quality : -1;
}

ORVADE_EXPORT int GetAdapterSignalStrength(int) {
    CAdapter* adapter = ChooseAdapter(false);
    int32_t rssi = 0;
    return adapter && adapter->GetRSSI(&rssi) == S_OK ? rssi : 0;
}

ORVADE_EXPORT BOOL GetAdapterESSID(int, char16_t** essid) {
    if (!essid) return FALSE;
    // The caller frees it with free().
    auto* text = static_cast<char16_t*>(std::calloc(33, sizeof(char16_t)));
    *essid = text;
    if (!text) return FALSE;
    CAdapter* adapter = ChooseAdapter(false);
    Ssid ssid{};
    if (!adapter || adapter->GetSSID(&ssid) != S_OK) return FALSE;
    // An SSID has at most 32 bytes, whatever its length word says.
    const uint32_t length = std::min<uint32_t>(ssid.length, 32);
    const std::u16string name = length == 0 ? std::u16string(u"ANY")
                                            : plat::text::BytesToWide(0, reinterpret_cast<const char*>(ssid.bytes), length);
    std::memcpy(text, name.data(), std::min<size_t>(name.size(), 32) * sizeof(char16_t));
    return TRUE;
}

ORVADE_EXPORT int GetMACAddr(BYTE* mac, int length) {
    if (!mac || length < 6) return -1;
    BYTE saved[6];
    bool haveSaved = false;
    HKEY key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kMacKey, 0, 0, &key) == ERROR_SUCCESS) {
        BYTE data[16];
        DWORD type = 0, size = sizeof data;
        if (RegQueryValueEx(key, u"MacAddress", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_BINARY &&
            size == 6) {
            std::memcpy(saved, data, 6);
            haveSaved = true;
        }
        RegCloseKey(key);
    }
    CAdapter* adapter = ChooseAdapter(false);
    if (!adapter || adapter->MacText().empty()) {
        if (!haveSaved) return -1;
        std::memcpy(mac, saved, 6);
        return 0;
    }
    std::memcpy(mac, adapter->MacBytes(), 6);
    if (!haveSaved || std::memcmp(saved, mac, 6) != 0) {
        if (RegCreateKeyEx(HKEY_CURRENT_USER, kMacKey, 0, nullptr, 0, 0, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueEx(key, u"MacAddress", 0, REG_BINARY, mac, 6);
            RegCloseKey(key);
        }
    }
    return 0;
}

// ---- Ping

ORVADE_EXPORT int PingAddress(uint32_t address, DWORD timeoutMs, DWORD* roundTrip, const void* data, WORD size) {
    if (!OpenIcmp()) return -1;
    if (!data || size == 0) {
        data = kDefaultEcho;
        size = sizeof kDefaultEcho - 1;
    }
    DWORD ms = 0;
    const DWORD error = Echo(address, timeoutMs, data, size, &ms);
    if (error == 0) {
        if (roundTrip) *roundTrip = ms;
        return 1;
    }
    const bool keep = (error >= 11002 && error <= 11005) || error == IP_REQ_TIMED_OUT || error == 11018;
    if (!keep) Shutdown();  // made again at the next ping
    return 0;
}

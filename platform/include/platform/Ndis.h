// The network adapters that protocol drivers bind to, and their object
// values (OIDs), answered from Linux: every interface of /sys/class/net but
// "lo", its hardware address, carrier and speed (a question about one
// adapter reads only its own). Wireless values (SSID, BSSID, RSSI, mode)
// come only from a description file: when $ORVADE_FAKE_ADAPTERS names one,
// its adapters stand in for the machine's:
//
//   [name]              one section per adapter, in the order offered
//   MAC=00:11:22:33:44:55
//   Wireless=1          802.11 medium; then SSID=, BSSID=, RSSI= (dBm), Mode= (1 infrastructure)
//   Connected=1         media connected
//   Speed=540000        link speed in 100 bit/s
//   SSIDLength=40       the SSID record's length word, as a faulty adapter reports it
#pragma once

#include <string>
#include <vector>

#include "platform/WinTypes.h"

constexpr DWORD NDIS_STATUS_SUCCESS = 0;
constexpr DWORD NDIS_STATUS_FAILURE = 0xC0000001;
constexpr DWORD NDIS_STATUS_NOT_SUPPORTED = 0xC00000BB;
constexpr DWORD NDIS_STATUS_INVALID_LENGTH = 0xC0010014;
constexpr DWORD NDIS_STATUS_ADAPTER_NOT_FOUND = 0xC001000A;

constexpr DWORD OID_GEN_LINK_SPEED = 0x00010107;
constexpr DWORD OID_GEN_MEDIA_CONNECT_STATUS = 0x00010114;
constexpr DWORD OID_GEN_PHYSICAL_MEDIUM = 0x00010202;
constexpr DWORD OID_802_3_CURRENT_ADDRESS = 0x01010102;
constexpr DWORD OID_802_3_PERMANENT_ADDRESS = 0x01010101;
constexpr DWORD OID_802_11_BSSID = 0x0D010101;
constexpr DWORD OID_802_11_SSID = 0x0D010102;
constexpr DWORD OID_802_11_INFRASTRUCTURE_MODE = 0x0D010108;
constexpr DWORD OID_802_11_RSSI = 0x0D010206;

constexpr DWORD NdisPhysicalMediumUnspecified = 0;
constexpr DWORD NdisPhysicalMediumWirelessLan = 1;

namespace plat::ndis {

// The adapters' device names, in the order they are offered.
std::vector<std::u16string> Adapters();
bool MediaConnected(const std::u16string& adapter);
// One query (or set) of an object value: the NDIS status; *done is the bytes
// written (query) or read (set). A set is refused (not supported).
DWORD Request(bool set, const std::u16string& adapter, DWORD oid, void* buffer, DWORD length, DWORD* done);

}  // namespace plat::ndis

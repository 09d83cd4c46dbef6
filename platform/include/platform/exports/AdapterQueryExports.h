// The adapter query library Pelmora and its driver Pelmorad ("TNO1:"): the
// request codes and records that pass between them, the library's export
// set and the driver's entry points.
#pragma once

#include "platform/DeviceManager.h"
#include "platform/Registry.h"
#include "platform/exports/ExportSet.h"

constexpr DWORD IOCTL_TNO_QUERY_OID = 0x80000000;
constexpr DWORD IOCTL_TNO_SET_OID = 0x80000004;
constexpr DWORD IOCTL_TNO_ENUMERATE_ADAPTERS = 0x80000008;
constexpr DWORD IOCTL_TNO_OPEN_ADAPTER = 0x8000000C;
constexpr DWORD IOCTL_TNO_CLOSE_ADAPTER = 0x80000010;
constexpr DWORD IOCTL_TNO_GET_FRIENDLY_NAME = 0x80000014;
constexpr DWORD IOCTL_TNO_GET_REGISTRY_PATH = 0x80000018;
constexpr DWORD IOCTL_TNO_GET_TCPIP_REGISTRY_PATH = 0x8000001C;
constexpr DWORD IOCTL_TNO_GET_DRIVER_REVISION = 0x80000020;
constexpr DWORD IOCTL_TNO_HAS_POWERED_DOWN = 0x80000024;
constexpr DWORD IOCTL_TNO_GET_TRACE_BUFFER = 0x80000028;
constexpr DWORD IOCTL_TNO_RESET_ADAPTER = 0x8000002C;
constexpr DWORD IOCTL_TNO_ADAPTER_ASSOCIATED = 0x80000030;

// OidRequest: u32 OID, u32 data length, the data; a request block is data
// length + 11 bytes, input and output alike. On failure the driver writes its
// NDIS status into the length word.
constexpr DWORD kOidRequestHeader = 8;
constexpr DWORD kOidRequestSlack = 11;
// AdapterList: u32 count, then each device name (UTF-16, with its zero),
// then a u16 zero.

constexpr DWORD TNO_DEVICE_CONTEXT = 0x45454545;
constexpr DWORD TNO_OPEN_CONTEXT = 0xA5A5A5A5;
constexpr DWORD TNO_STATUS_BUFFER_TOO_SHORT = 0xC0010016;

#define ORVADE_TNO_DRIVER_EXPORTS(X)                                                                        \
    X(DWORD, DriverEntry, (void* driverObject, const char16_t* registryPath))                              \
    X(DWORD, TNO_Init, (DWORD context))                                                                    \
    X(BOOL, TNO_Deinit, (DWORD deviceContext))                                                             \
    X(DWORD, TNO_Open, (DWORD deviceContext, DWORD access, DWORD share))                                   \
    X(BOOL, TNO_Close, (DWORD openContext))                                                                \
    X(BOOL, TNO_IOControl,                                                                                 \
      (DWORD openContext, DWORD code, BYTE * in, DWORD inSize, BYTE * out, DWORD outSize, DWORD * returned)) \
    X(void, TNO_PowerUp, (DWORD deviceContext))                                                            \
    X(void, TNO_PowerDown, (DWORD deviceContext))                                                          \
    X(DWORD, TNO_Read, (DWORD openContext, void* buffer, DWORD count))                                     \
    X(DWORD, TNO_Write, (DWORD openContext, const void* buffer, DWORD count))                              \
    X(DWORD, TNO_Seek, (DWORD openContext, LONG distance, DWORD method))

// Typed queries: (handle, out pointer), one OID each.
#define ORVADE_OID_TYPED_QUERIES(X)                                  \
    X(OidGetLinkSpeed, 0x00010107, 4)                                \
    X(OidGetLinkStatus, 0x00010114, 4)                               \
    X(OidGetPhysicalMedium, 0x00010202, 4)                           \
    X(OidGetMacAddress, 0x01010101, 6)                               \
    X(OidGetBSSID, 0x0D010101, 6)                                    \
    X(OidGetSSID, 0x0D010102, 36)                                    \
    X(OidGetInfrastructureMode, 0x0D010108, 4)                       \
    X(OidGetAuthenticationMode, 0x0D010118, 4)                       \
    X(OidGetTransmitPowerLevel, 0x0D010205, 4)                       \
    X(OidGetRSSI, 0x0D010206, 4)                                     \
    X(OidGetFragmentationThreshold, 0x0D010209, 4)                   \
    X(OidGetRequestToSendThreshold, 0x0D01020A, 4)                   \
    X(OidGetSupportedDataRates, 0x0D01020E, 8)                       \
    X(OidGetConfiguration, 0x0D010211, 32)                           \
    X(OidGetPowerSavingsMode, 0x0D010216, 4)

#define ORVADE_PELMORA_EXPORTS(X)                                                                            \
    X(BOOL, OidInitialize, (void))                                                                           \
    X(BOOL, OidEnumerateAdapters, (void* buffer, DWORD size, DWORD* returned))                              \
    X(HANDLE, OidOpenAdapter, (const char16_t* name))                                                        \
    X(void, OidCloseAdapter, (HANDLE adapter))                                                               \
    X(BOOL, OidResetAdapter, (HANDLE adapter))                                                               \
    X(BOOL, OidAdapterAssociated, (HANDLE adapter))                                                          \
    X(BOOL, OidRebindAdapter, (HANDLE adapter))                                                              \
    X(BOOL, OidGetAdapterRegistryPath, (HANDLE adapter, HKEY * root, void* buffer, DWORD size, DWORD* returned)) \
    X(BOOL, OidGetAdapterTcpipRegistryPath,                                                                  \
      (HANDLE adapter, HKEY * root, void* buffer, DWORD size, DWORD* returned))                              \
    X(BOOL, OidGetFriendlyName, (HANDLE adapter, void* buffer, DWORD size, DWORD* returned))                \
    X(BOOL, OidGetDllRevisionStr, (char16_t * buffer, DWORD count, DWORD * needed))                          \
    X(BOOL, OidGetDriverRevisionStr, (void* buffer, DWORD size, DWORD* returned))                           \
    X(BOOL, OidGetDriverTraceBuffer, (void* buffer, DWORD size, DWORD* returned))                           \
    X(BOOL, OidHasDevicePoweredDown, (void))                                                                 \
    X(BOOL, OidGetLinkSpeed, (HANDLE adapter, void* value))                                                  \
    X(BOOL, OidGetLinkStatus, (HANDLE adapter, void* value))                                                 \
    X(BOOL, OidGetPhysicalMedium, (HANDLE adapter, void* value))                                             \
    X(BOOL, OidGetMacAddress, (HANDLE adapter, void* value))                                                 \
    X(BOOL, OidGetBSSID, (HANDLE adapter, void* value))                                                      \
    X(BOOL, OidGetSSID, (HANDLE adapter, void* value))                                                       \
    X(BOOL, OidGetInfrastructureMode, (HANDLE adapter, void* value))                                         \
    X(BOOL, OidGetAuthenticationMode, (HANDLE adapter, void* value))                                         \
    X(BOOL, OidGetTransmitPowerLevel, (HANDLE adapter, void* value))                                         \
    X(BOOL, OidGetRSSI, (HANDLE adapter, void* value))                                                       \
    X(BOOL, OidGetFragmentationThreshold, (HANDLE adapter, void* value))                                     \
    X(BOOL, OidGetRequestToSendThreshold, (HANDLE adapter, void* value))                                     \
    X(BOOL, OidGetSupportedDataRates, (HANDLE adapter, void* value))                                         \
    X(BOOL, OidGetConfiguration, (HANDLE adapter, void* value))                                              \
    X(BOOL, OidGetPowerSavingsMode, (HANDLE adapter, void* value))                                           \
    X(DWORD, OidGetWepStatus, (HANDLE adapter))                                                              \
    X(BOOL, OidGetValue, (HANDLE adapter, DWORD oid, void* buffer, DWORD length))                            \
    X(BOOL, OidBssidList, (HANDLE adapter, void* request))                                                   \
    X(BOOL, OidBssidListScan, (HANDLE adapter))

ORVADE_DECLARE_EXPORTS(ORVADE_PELMORA_EXPORTS)

// The driver's entry points as the device manager and tests call them.
ORVADE_TNO_DRIVER_EXPORTS(ORVADE_EXPORT_POINTER)

// The device vendor's scanner library "TVSCAN32.dll", as the scanner
// extension uses it: every call passes a record that starts with two u32,
// its allocated size and its used size. Results are vendor statuses, 0 for
// success. The names are ours: the extension knows the functions by role.
//
// Here the library simulates its scanners: scanner N ("SCN<N>:") reads its
// labels from the named pipe "ScannerN.fifo" in the device root, one label a
// line, "NAME:data" with a decoder name of the host's symbology table
// ("CODE_39:12345") or a decoder code ("0x37:12345"); a line without either
// is a CODE_128 label. When no such pipe exists, the first search makes
// "Scanner1.fifo". Labels that arrive while a scanner is enabled wait (at
// most 64) for its next read; a disabled scanner drops them.
#pragma once

#include "platform/exports/ExportSet.h"

using TVHANDLE = uintptr_t;  // 0 is none

// Vendor statuses.
constexpr DWORD TVSCAN_OK = 0;
constexpr DWORD TVSCAN_E_HANDLE = 0xA0000001;          // not an open scanner or search
constexpr DWORD TVSCAN_E_NO_MORE = 0xA0000002;         // the search found no further scanner
constexpr DWORD TVSCAN_E_PARAMETER = 0xA0000003;       // a null or short record
constexpr DWORD TVSCAN_E_NOT_FOUND = 0xA0000004;       // no scanner of that name
constexpr DWORD TVSCAN_E_NOT_ENABLED = 0xA0000010;
constexpr DWORD TVSCAN_E_ALREADY_ENABLED = 0xA0000011;
constexpr DWORD TVSCAN_E_READ_CANCELLED = 0xA000001E;  // in a read buffer's status
constexpr DWORD TVSCAN_E_NO_READ = 0xA000001F;         // nothing to cancel
constexpr DWORD TVSCAN_E_READ_PENDING = 0xA0000020;    // in a read buffer's status; also a second read
constexpr DWORD TVSCAN_E_SYSTEM = 0xA0000030;          // the pipe cannot be made or opened

// Record sizes.
constexpr DWORD TVSCAN_INFO_SIZE = 1072;      // device name at byte 8, description at byte 32 (UTF-16)
constexpr DWORD TVSCAN_STATUS_SIZE = 24;      // valid flag at byte 8, device status at byte 12
constexpr DWORD TVSCAN_DECODERS_SIZE = 140;   // count at byte 8, decoder codes from byte 12
constexpr DWORD TVSCAN_DECODER_PARAMS_SIZE = 100;
constexpr DWORD TVSCAN_SCAN_PARAMS_SIZE = 92;
constexpr DWORD TVSCAN_FAMILY_PARAMS_SIZE = 44;
constexpr DWORD TVSCAN_READER_PARAMS_SIZE = 3212;

// Device statuses (the status record's word at byte 12).
constexpr DWORD TVSCAN_DEVICE_DISABLED = 1;
constexpr DWORD TVSCAN_DEVICE_ENABLED = 2;
constexpr DWORD TVSCAN_DEVICE_READING = 3;
constexpr DWORD TVSCAN_DEVICE_TRIGGERED = 4;

// A read buffer: header size at byte 4 (40), data offset at byte 12, data
// length at byte 16, status at byte 24 (TVSCAN_E_READ_PENDING while the read
// waits, 0 when a label came), label type at byte 32 (the decoder code in
// its low byte), stamp at byte 36 (one more for each label). The status word
// is stored last, with release order, after the fields it vouches for.
constexpr DWORD TVSCAN_READ_HEADER_SIZE = 40;

#define ORVADE_TVSCAN_EXPORTS(X)                                                                        \
    X(void*, TvScanAllocateBuffer, (DWORD flags, DWORD bytes))                                         \
    X(DWORD, TvScanFreeBuffer, (void* buffer))                                                         \
    X(DWORD, TvScanFindFirst, (BYTE * info, TVHANDLE * search))                                        \
    X(DWORD, TvScanFindNext, (TVHANDLE search, BYTE * info))                                           \
    X(DWORD, TvScanFindClose, (TVHANDLE search))                                                       \
    X(DWORD, TvScanOpen, (const char16_t* deviceName, TVHANDLE* scanner))                             \
    X(DWORD, TvScanClose, (TVHANDLE scanner))                                                          \
    X(DWORD, TvScanEnable, (TVHANDLE scanner))                                                         \
    X(DWORD, TvScanDisable, (TVHANDLE scanner))                                                        \
    X(DWORD, TvScanRead,                                                                               \
      (TVHANDLE scanner, void* buffer, HWND window, UINT message, DWORD reserved, DWORD* request))     \
    X(DWORD, TvScanCancelRead, (TVHANDLE scanner))                                                     \
    X(DWORD, TvScanGetSupportedDecoders, (TVHANDLE scanner, BYTE * record))                            \
    X(DWORD, TvScanGetEnabledDecoders, (TVHANDLE scanner, BYTE * record))                              \
    X(DWORD, TvScanSetEnabledDecoders, (TVHANDLE scanner, const BYTE* record))                         \
    X(DWORD, TvScanGetDecoderParams, (TVHANDLE scanner, const char* selector, BYTE* record))           \
    X(DWORD, TvScanSetDecoderParams, (TVHANDLE scanner, const char* selector, const BYTE* record))     \
    X(DWORD, TvScanGetScanParams, (TVHANDLE scanner, BYTE * record))                                   \
    X(DWORD, TvScanSetScanParams, (TVHANDLE scanner, const BYTE* record))                              \
    X(DWORD, TvScanGetFamilyParams, (TVHANDLE scanner, BYTE * record))                                 \
    X(DWORD, TvScanSetFamilyParams, (TVHANDLE scanner, const BYTE* record))                            \
    X(DWORD, TvScanGetReaderParams, (TVHANDLE scanner, BYTE * record))                                 \
    X(DWORD, TvScanSetReaderParams, (TVHANDLE scanner, const BYTE* record))                            \
    X(DWORD, TvScanGetDeviceStatus, (TVHANDLE scanner, BYTE * record))                                 \
    X(DWORD, TvScanSoftTrigger, (TVHANDLE scanner, int pulled))

ORVADE_DECLARE_EXPORTS(ORVADE_TVSCAN_EXPORTS)

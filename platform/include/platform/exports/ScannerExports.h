// The scanner library's export set (an "EXT2" library of type 0). Every
// scanner function has a twin named ...ForScanner that takes the scanner's
// index first. The argument lists are the caller's: a library ignores what
// it does not use (ScnInitialize's folder, GetDecodedData's message values).
#pragma once

#include "platform/exports/ExtensionExports.h"

constexpr int kMaxDecoders = 70;

struct DecoderList {
    uint32_t count;
    uint8_t decoders[kMaxDecoders];
};
static_assert(sizeof(DecoderList) == 76);

// One decoder's parameters; the record size passed with them is 40.
struct DecoderParams {
    uint32_t fields[10];
};
static_assert(sizeof(DecoderParams) == 40);

// A label, owned by the library and valid until its next GetDecodedData call.
struct DecodedData {
    uint32_t labelType;  // low byte: the symbology code
    uint32_t length;     // bytes
    const uint8_t* data;
};

// Scanner states.
constexpr int SCANNER_DISABLED = 0;
constexpr int SCANNER_ENABLED = 1;
constexpr int SCANNER_READ_PENDING = 2;
constexpr int SCANNER_TRIGGER_PULLED = 3;

// The last error of a state change the user cancelled.
constexpr DWORD SCANNER_ERROR_CANCELLED = 1223;

#define ORVADE_SCANNER_EXPORTS(X)                                                                              \
    X(DWORD, GetLastScanError, (void))                                                                         \
    X(int, Shutdown, (void))                                                                                   \
    X(BOOL, ScnInitialize, (HWND window, UINT message, const char16_t* programFolder))                        \
    X(BOOL, ScnInitializeMultipleScanners,                                                                     \
      (HWND window, UINT baseMessage, const char16_t* programFolder, int* count, int maximum))                 \
    X(const char16_t*, GetScannerDescription, (void))                                                          \
    X(const char16_t*, GetScannerDescriptionForScanner, (int index))                                           \
    X(BOOL, SupportsSwitching, (HWND window, UINT message, int* index))                                        \
    X(BOOL, SetScannerState, (int state))                                                                      \
    X(BOOL, SetScannerStateForScanner, (int index, int state))                                                 \
    X(int, GetScannerState, (void))                                                                            \
    X(int, GetScannerStateForScanner, (int index))                                                             \
    X(BOOL, GetSupportedDecoders, (DecoderList * list))                                                        \
    X(BOOL, GetSupportedDecodersForScanner, (int index, DecoderList* list))                                    \
    X(BOOL, GetEnabledDecoders, (DecoderList * list))                                                          \
    X(BOOL, GetEnabledDecodersForScanner, (int index, DecoderList* list))                                      \
    X(BOOL, SetEnabledDecoders, (const DecoderList* list))                                                     \
    X(BOOL, SetEnabledDecodersForScanner, (int index, const DecoderList* list))                                \
    X(BOOL, GetGlobalParameter, (unsigned type, BYTE* value))                                                  \
    X(BOOL, GetGlobalParameterForScanner, (int index, unsigned type, BYTE* value))                             \
    X(BOOL, SetGlobalParameter, (unsigned type, const BYTE* value))                                            \
    X(BOOL, SetGlobalParameterForScanner, (int index, unsigned type, const BYTE* value))                       \
    X(BOOL, GetDecoderParameters, (unsigned decoder, DecoderParams* params, int size))                         \
    X(BOOL, GetDecoderParametersForScanner, (int index, unsigned decoder, DecoderParams* params, int size))    \
    X(BOOL, SetDecoderParameters, (unsigned decoder, const DecoderParams* params, int size))                   \
    X(BOOL, SetDecoderParametersForScanner,                                                                    \
      (int index, unsigned decoder, const DecoderParams* params, int size))                                    \
    X(const DecodedData*, GetDecodedData, (WPARAM wParam, LPARAM lParam))                                      \
    X(const DecodedData*, GetDecodedDataForScanner, (int index, WPARAM wParam, LPARAM lParam))                 \
    X(BOOL, HandleScannerEvent, (WPARAM wParam, LPARAM lParam))                                                \
    X(BOOL, HandleScannerEventForScanner, (int index, WPARAM wParam, LPARAM lParam))                           \
    X(DWORD, GetScanKey, (void))                                                                               \
    X(DWORD, GetScanKeyForScanner, (int index))                                                                \
    X(const DWORD*, GetScanKeyList, (void))                                                                    \
    X(const DWORD*, GetScanKeyListForScanner, (int index))                                                     \
    X(BOOL, ScanKeyPressed, (void))                                                                            \
    X(BOOL, ScanKeyPressedForScanner, (int index))                                                             \
    X(BOOL, ScanKeyReleased, (void))                                                                           \
    X(BOOL, ScanKeyReleasedForScanner, (int index))                                                            \
    X(BOOL, FlashScanLED, (int on))                                                                            \
    X(BOOL, FlashScanLEDForScanner, (int index, int on))                                                       \
    X(int, GetScanEventSound, (void))                                                                          \
    X(int, GetScanEventSoundForScanner, (int index))                                                           \
    X(int, GetScanBeepSetting, (void))                                                                         \
    X(int, GetScanBeepSettingForScanner, (int index))                                                          \
    X(BOOL, SetInactivityTimeout, (DWORD milliseconds))                                                        \
    X(BOOL, SetInactivityTimeoutForScanner, (int index, DWORD milliseconds))                                   \
    X(int, GetScannerFocus, (void))                                                                            \
    X(int, GetScannerFocusForScanner, (int index))                                                             \
    X(int, SetScannerFocus, (int focus))                                                                       \
    X(int, SetScannerFocusForScanner, (int index, int focus))                                                  \
    X(BOOL, ShouldRestoreScannerSettings, (void))                                                              \
    X(BOOL, SetScanBeep, (int on, int first, int second))                                                      \
    X(BOOL, SetScanBeepForScanner, (int index, int on, int first, int second))                                 \
    X(BOOL, IsNoThreadVersion, (void))                                                                         \
    X(UINT, RegisterForScannerWindowsMessage, (void))                                                          \
    X(UINT, RegisterForScanDataWindowsMessage, (HWND window))

ORVADE_DECLARE_EXPORTS(ORVADE_SCANNER_EXPORTS)

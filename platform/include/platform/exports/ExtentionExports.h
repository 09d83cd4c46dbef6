// The base export set of the libraries of the "EXTENTIONS" folder (device
// control, magnetic stripe, RFID and generic extensions). "TelnetExtention"
// is the probe: its low 16 bits are the kind flags.
#pragma once

#include "platform/exports/PropertyPages.h"

constexpr DWORD EXTENTION_DEVICE = 0x4;
constexpr DWORD EXTENTION_GENERIC = 0x10;
constexpr DWORD EXTENTION_MSR = 0x200;
constexpr DWORD EXTENTION_RFID = 0x400;

// Allocated by the library with LocalAlloc, freed by the caller with LocalFree.
struct ExtentionInfo {
    uint32_t reserved;
    char16_t name[260];
    uint32_t version;
    uint32_t kind;
};
static_assert(sizeof(ExtentionInfo) == 532);

#define ORVADE_EXTENTION_EXPORTS(X)                                                                        \
    X(DWORD, TelnetExtention, (void))                                                                      \
    X(BOOL, CreateSession, (WORD kind, HWND window, WORD message, const char16_t* regKey, DWORD value))     \
    X(BOOL, DeleteSession, (DWORD value))                                                                  \
    X(BOOL, ActivateSession, (DWORD value))                                                                \
    X(BOOL, SuspendSession, (DWORD value))                                                                 \
    X(BOOL, ResumeSession, (DWORD value))                                                                  \
    X(BOOL, GetExtentionInfo, (ExtentionInfo * *record))                                                   \
    X(BOOL, LoadExternalConfig, (LPARAM value))                                                            \
    X(BOOL, ShowConfiguration, (HWND owner, LPARAM value))                                                 \
    X(void, SetDialogRegKeyBase, (const char16_t* regKey))                                                 \
    X(void, SetBaseRegKey, (const char16_t* regKey))                                                       \
    X(void, SetTelnetHWND, (HWND window))                                                                  \
    X(void, NotifyOnTelnetMove, (void))

ORVADE_DECLARE_EXPORTS(ORVADE_EXTENTION_EXPORTS)

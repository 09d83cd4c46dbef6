// The RFID library's export set (an "EXTENTIONS" library of kind 0x400); it
// reports tag reads to the control window with the message its session is
// created with (WM_EXT_RFID_DATA in the core's catalogue). Blocks the library
// hands out are freed with its RFIDFreeBlock; property names and values are
// multibyte text; a property is read into the caller's buffer (NUL-ended).
// Read and write take a tag-address list as a chain of the entries below,
// passed as the address of its first entry (null when the list is empty).
#pragma once

#include "platform/exports/ExtentionExports.h"

struct RFID_READ_ENTRY {
    WORD first;
    WORD second;
    RFID_READ_ENTRY* next;
};

struct RFID_WRITE_ENTRY {
    WORD first;
    WORD length;
    BYTE* data;  // length bytes; null when length is 0
    RFID_WRITE_ENTRY* next;
};

#define ORVADE_RFID_EXPORTS(X)                                                                               \
    X(int, SelectReader, (void))                                                                             \
    X(int, EnableReader, (int reserved, int on))                                                             \
    X(int, RFIDIdentify, (BYTE * *block, int* length, int reserved))                                         \
    X(int, RFIDLastList, (BYTE * *block, int* length, int reserved))                                         \
    X(void, RFIDFreeBlock, (void* block))                                                                    \
    X(int, OpenRFIDReader, (void))                                                                           \
    X(int, RFIDReaderType, (void))                                                                           \
    X(int, RFIDSetProperty, (const char* name, const char* value))                                           \
    X(int, RFIDGetProperty, (const char* name, char* buffer, int size))                                       \
    X(int, RFIDRead, (const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length))       \
    X(int, RFIDWrite, (const BYTE* tagId, WORD tagLength, const BYTE* list, BYTE** block, int* length))

ORVADE_DECLARE_EXPORTS(ORVADE_RFID_EXPORTS)

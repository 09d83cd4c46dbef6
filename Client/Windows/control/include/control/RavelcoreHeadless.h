// What the headless session tool asks of the client control beyond the
// shell's interfaces. Private to this system: no dispatch identifiers, no
// entry in the type library, and nothing a shell needs.
#pragma once

#include "platform/Com.h"

struct IOVCHeadless : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("5B0E9D41-7C2A-4E6B-9F13-2A8C6D0E4B77");
    // Before the window is made: the window shows no screen. No view is
    // made and no GUI library loaded; the core keeps only its screen model.
    // E_UNEXPECTED once the window exists.
    virtual HRESULT ShowNoScreen() = 0;
    // The log from now on at level 5 into a file of this machine (a UTF-8
    // path, emptied first); E_FAIL without the log.
    virtual HRESULT LogToHostFile(const char* path) = 0;
    // One line into the control's log at the level.
    virtual HRESULT WriteLog(ULONG level, const char* text) = 0;
    // A scanner reading as the control passes one on (decoder 0): to the
    // widgets first, else to the core. S_FALSE without a core.
    virtual HRESULT ScanInput(int length, const char16_t* text) = 0;
    // The input events the core's queue has dropped so far, and how many it
    // holds until the host asks.
    virtual HRESULT GetDroppedEvents(ULONGLONG* dropped, LONG* capacity) = 0;
    // Each error box, menu box and signature screen the session opens is
    // also told to report (on the control window's thread) as one line of
    // UTF-8: what it says, and whether an answer can come without a user.
    // Null stops it.
    virtual HRESULT ReportBoxes(void (*report)(void* context, const char* text), void* context) = 0;

protected:
    ~IOVCHeadless() = default;
};

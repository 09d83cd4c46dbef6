// The shell object's COM identity ("Panthos.dll", class "Panthos.OVCShellObj"),
// as the launcher calls it. Its one operation runs the whole device program.
#pragma once

#include "platform/Com.h"

inline constexpr CLSID CLSID_OVCShellObj = plat::com::Guid("CE35680B-55DD-4ACE-AF47-3B5EF3AC1D35");
inline constexpr GUID LIBID_PANTHOSLib = plat::com::Guid("61A327D6-9980-43E0-9855-D2AA06C75415");
inline constexpr IID DIID__IOVCShellObjEvents = plat::com::Guid("47FCABD8-8067-418F-A410-01829817475B");

constexpr DISPID DISPID_Load = 1;

struct IOVCShellObj : IDispatch {
    using Base = IDispatch;
    static constexpr IID kIID = plat::com::Guid("D5044A02-E80A-48DE-8AD4-AABE14C07C57");
    // Runs the shell on the calling thread until it quits. The argument is not
    // read. 0 after an orderly end; 1 or -1 when the program could not start
    // (see the shell object), or the failing HRESULT of advising an event sink.
    virtual HRESULT Load(BSTR bstrXMLFileName) = 0;

protected:
    ~IOVCShellObj() = default;
};

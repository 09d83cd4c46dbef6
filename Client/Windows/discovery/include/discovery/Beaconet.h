// The discovery object's COM identity and interfaces ("Beaconet.dll", class
// "Beaconet.OVC36_40"), as the shell and the tests call them. The members
// are in the order of the virtual table, after IDispatch's.
#pragma once

#include "platform/Com.h"

inline constexpr CLSID CLSID_OVC36_40 = plat::com::Guid("1DD577D7-4AD6-4636-B30D-0DED28761DD9");
inline constexpr GUID LIBID_BEACONETLib = plat::com::Guid("DBC9E9EA-7644-46DF-AEBE-793CCC6E0193");
inline constexpr IID DIID__IOVC36_40Events = plat::com::Guid("D9E42E4B-1773-4F6A-85B8-F494685EB5D7");

// The event's dispatch id: no arguments; the sink reads the properties.
constexpr DISPID DISPID_AddHostEvent = 2;

struct IOVC36_40 : IDispatch {
    using Base = IDispatch;
    static constexpr IID kIID = plat::com::Guid("1399C37A-D428-4E91-A87A-9FD9AACA2F88");
    // One discovery run on the calling thread; AddHostEvent fires on it for
    // every host. S_OK always.
    virtual HRESULT DoAutodiscovery(BSTR bstrToken) = 0;
    // The string getters hand out a new BSTR the caller frees; S_FALSE for a
    // null pointer.
    virtual HRESULT get_AppName(BSTR* pVal) = 0;
    // The port is unsigned 16-bit: callers read the short back as unsigned.
    virtual HRESULT get_usPort(SHORT* pVal) = 0;
    virtual HRESULT get_usADVersion(SHORT* pVal) = 0;
    virtual HRESULT get_IPAddrAsString(BSTR* pVal) = 0;
    // Asks the host at IPAddrAsString for the port of bstrAppName. S_FALSE
    // when usADVersion lacks 2 or an out pointer is null. Only when that host
    // answers are *pbstrIPAddrAsString (a new BSTR; the one it held is not
    // freed, as for any [out]) and *pusPort written. usPort is not used.
    virtual HRESULT GetSelectedHostIPandPort(SHORT usADVersion, SHORT usPort, BSTR bstrAppName, BSTR IPAddrAsString,
                                             BSTR* pbstrIPAddrAsString, SHORT* pusPort) = 0;
    virtual HRESULT get_usADType(SHORT* pVal) = 0;
    // 0..65535; E_POINTER for a null pointer.
    virtual HRESULT get_AutoDiscoveryPort(LONG* pVal) = 0;
    // Keeps the low 16 bits.
    virtual HRESULT put_AutoDiscoveryPort(LONG newVal) = 0;

protected:
    ~IOVC36_40() = default;
};

// Ends a DoAutodiscovery running on another thread: it returns within one
// wait slice, so its caller can be joined before the object is released (the
// shell's discovery thread at shut-down). S_FALSE when no run was going.
struct IOVC36_40Stop : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("5C0F5E0A-3B7D-4C59-9E0C-6A1B8F2D4E71");
    virtual HRESULT StopAutodiscovery() = 0;

protected:
    ~IOVC36_40Stop() = default;
};

// Dispatch ids of IOVC36_40.
constexpr DISPID DISPID_DoAutodiscovery = 1;
constexpr DISPID DISPID_AppName = 2;
constexpr DISPID DISPID_usPort = 3;
constexpr DISPID DISPID_usADVersion = 4;
constexpr DISPID DISPID_IPAddrAsString = 5;
constexpr DISPID DISPID_GetSelectedHostIPandPort = 6;
constexpr DISPID DISPID_usADType = 7;
constexpr DISPID DISPID_AutoDiscoveryPort = 8;

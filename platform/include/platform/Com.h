// COM-like objects: the binary interface that separately built ".dll"s share.
//
// - Interfaces are C++ classes of pure virtual functions, IUnknown first, so a
//   pointer handed from one library to another keeps its virtual table as
//   the library that made it built it. Each interface names its identifier
//   (kIID) and the interface it extends (Base).
// - Strings that cross libraries are BSTRs of this library: whichever ".dll"
//   allocates one, any other frees it (one allocator per process). A BSTR
//   points at UTF-16 text with a terminator, its length in bytes kept before
//   it; a null BSTR counts as the empty string.
// - VARIANT carries the types the interfaces pass: integers, BSTR, booleans,
//   interface pointers, and references to them (VT_BYREF).
// - Classes are found in the registry (HKEY_CLASSES_ROOT, platform/Registry.h)
//   and their servers loaded by the loader (platform/Library.h) from the path
//   their InprocServer32 key names, so only libraries of the device root or
//   of the installed files ever load. A loaded server stays loaded until
//   CoFreeUnusedLibraries finds that its DllCanUnloadNow answers S_OK.
// - There are no type libraries at run time: GetTypeInfo answers E_NOTIMPL and
//   dispatch works from each class's own table of DISPIDs (platform/ComServer.h).
// - Objects are free-threaded: no apartments and no marshalling; a pointer
//   may be called from any thread, and the object takes its own locks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WinConst.h"
#include "platform/WinTypes.h"

using ULONG = uint32_t;
using USHORT = uint16_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using LCID = DWORD;
using DISPID = LONG;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using SCODE = LONG;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

namespace plat::com {
namespace detail {
constexpr uint32_t Hex(const char* t, int from, int digits) {
    uint32_t v = 0;
    for (int i = from; i < from + digits; ++i) {
        const char c = t[i];
        const uint32_t d = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                           : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                                  : throw "not a hexadecimal digit";
        v = v * 16 + d;
    }
    return v;
}
}  // namespace detail

// A GUID from its text without braces, "2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5",
// at compile time.
constexpr GUID Guid(const char* t) {
    if (t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-' || t[36] != '\0') throw "not a GUID";
    GUID g{detail::Hex(t, 0, 8), uint16_t(detail::Hex(t, 9, 4)), uint16_t(detail::Hex(t, 14, 4)), {}};
    g.Data4[0] = uint8_t(detail::Hex(t, 19, 2));
    g.Data4[1] = uint8_t(detail::Hex(t, 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(detail::Hex(t, 24 + 2 * i, 2));
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::u16string GuidToString(REFGUID guid);
// Braces required; false on anything else.
bool GuidFromString(std::u16string_view text, GUID* guid);
}  // namespace plat::com

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

// ---------------------------------------------------------------------------
// BSTR: one allocator for the process.
BSTR SysAllocString(const OLECHAR* text);  // null text gives null
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // null text: length zeroed characters
// Bytes, not characters; the text ends with a terminator after them.
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
// Frees *bstr and stores a copy; FALSE (the old string kept) when out of memory.
BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text);
BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);  // null does nothing
UINT SysStringLen(BSTR bstr);  // characters; 0 for null
UINT SysStringByteLen(BSTR bstr);

namespace plat::com {
// The text of a BSTR (null is empty).
inline std::u16string_view BstrView(BSTR b) { return b ? std::u16string_view(b, SysStringLen(b)) : std::u16string_view(); }
inline BSTR AllocBstr(std::u16string_view text) { return SysAllocStringLen(text.data() ? text.data() : u"", UINT(text.size())); }

// A BSTR owned by C++ code: freed when it goes.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(std::u16string_view text) : m_b(AllocBstr(text)) {}
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    CBstr(CBstr&& other) noexcept : m_b(other.Detach()) {}
    CBstr& operator=(CBstr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    ~CBstr() { SysFreeString(m_b); }
    BSTR Get() const { return m_b; }
    // For an [out] BSTR*: frees what is held first.
    BSTR* Out() {
        Attach(nullptr);
        return &m_b;
    }
    BSTR Detach() {
        BSTR b = m_b;
        m_b = nullptr;
        return b;
    }
    void Attach(BSTR b) {
        SysFreeString(m_b);
        m_b = b;
    }
    std::u16string_view View() const { return BstrView(m_b); }

private:
    BSTR m_b = nullptr;
};
}  // namespace plat::com

// ---------------------------------------------------------------------------
// Interfaces.
struct IUnknown {
    using Base = void;
    static constexpr IID kIID = plat::com::Guid("00000000-0000-0000-C000-000000000046");
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    template <class Q>
    HRESULT QueryInterface(Q** object) {
        return QueryInterface(Q::kIID, reinterpret_cast<void**>(object));
    }

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("00000001-0000-0000-C000-000000000046");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000,
};

struct IDispatch;
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT_PTR intptrVal;
        int intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        BYTE bVal;
        char cVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        LONG* plVal;
        ULONG* pulVal;
        SHORT* piVal;
        USHORT* puiVal;
        int* pintVal;
        BSTR* pbstrVal;
        VARIANT_BOOL* pboolVal;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees the BSTR or releases the interface a variant owns (not what VT_BYREF points to).
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* source);
// Numbers, booleans and texts between each other (decimal text; a VT_BYREF
// source is read through); DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW otherwise.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, USHORT flags, VARTYPE vt);

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // the arguments in reverse order: the last one first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr LCID LOCALE_USER_DEFAULT = 0x400;

struct ITypeInfo;  // no type information at run time

struct IDispatch : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("00020400-0000-0000-C000-000000000046");
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argError) = 0;

protected:
    ~IDispatch() = default;
};

struct IConnectionPointContainer;
struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};

struct IEnumConnections : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("B196B287-BAB4-101A-B69C-00AA00341D07");
    // Each CONNECTDATA's pUnk is AddRef'd for the caller.
    virtual HRESULT Next(ULONG count, CONNECTDATA* items, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnections** copy) = 0;

protected:
    ~IEnumConnections() = default;
};

struct IConnectionPoint : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("B196B286-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("B196B285-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT Next(ULONG count, IConnectionPoint** items, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** copy) = 0;

protected:
    ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("B196B284-BAB4-101A-B69C-00AA00341D07");
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct ISupportErrorInfo : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("DF0B3D60-548F-101B-8E65-08002B2BD119");
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};

// The hosting contract between the control-hosting window and a control
// that shows a window of its own, in place of in-place activation: the host
// asks the control for its window as a child of the host window over the
// given rectangle, keeps it over the host's client area, and takes it down
// before the host window goes. A control without this interface is held
// by the host without a window.
struct IHostedControl : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("0FE8F5DF-27BE-4AF2-B92B-84D69F033BA6");
    virtual HRESULT CreateControlWindow(HWND host, const RECT* rect, HWND* window) = 0;
    virtual HRESULT DestroyControlWindow() = 0;

protected:
    ~IHostedControl() = default;
};

inline constexpr IID IID_IUnknown = IUnknown::kIID;
inline constexpr IID IID_IClassFactory = IClassFactory::kIID;
inline constexpr IID IID_IDispatch = IDispatch::kIID;
inline constexpr IID IID_IConnectionPoint = IConnectionPoint::kIID;
inline constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::kIID;
inline constexpr IID IID_ISupportErrorInfo = ISupportErrorInfo::kIID;

// ---------------------------------------------------------------------------
// Creation.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr DWORD COINIT_MULTITHREADED = 0;

// Counted per thread; nothing else depends on them.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();

// Only in-process servers exist: a context without CLSCTX_INPROC_SERVER gives
// REGDB_E_CLASSNOTREG. A class that is not registered, or whose server path
// is empty, gives REGDB_E_CLASSNOTREG; a server that does not load
// CO_E_DLLNOTFOUND; one without DllGetClassObject CO_E_ERRORINDLL.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* server, REFIID riid, void** object);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object);
// HKEY_CLASSES_ROOT\<ProgID>\CLSID, else the class of its CurVer;
// CO_E_CLASSSTRING when there is neither.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// A braced GUID, else a ProgID.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// Characters written with the terminator (39), 0 when the buffer is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
// Frees the servers whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

void* CoTaskMemAlloc(size_t bytes);
void CoTaskMemFree(void* block);

namespace plat::com {
// Releases on destruction; for callers holding an interface a while.
template <class T>
class CPtr {
public:
    CPtr() = default;
    CPtr(const CPtr&) = delete;
    CPtr& operator=(const CPtr&) = delete;
    CPtr(CPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    CPtr& operator=(CPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    ~CPtr() { Reset(); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For an out pointer: releases what is held first.
    T** Out() {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    template <class Q>
    HRESULT As(CPtr<Q>* other) const {
        return m_p ? m_p->QueryInterface(Q::kIID, other->OutVoid()) : E_POINTER;
    }

private:
    T* m_p = nullptr;
};

// Creation by CLSID or ProgID text, as the hosting window does.
HRESULT CreateByName(std::u16string_view progIdOrClsid, REFIID riid, void** object);

// ---------------------------------------------------------------------------
// Self-registration under HKEY_CLASSES_ROOT.
struct ClassRegistration {
    CLSID clsid;
    const char16_t* description;  // "OVC Class"
    const char16_t* progId;  // versioned, "Ravelcore.OVC.1"; null for none
    const char16_t* versionIndependentProgId;  // "Ravelcore.OVC" with CurVer; null for none
    const GUID* typeLib;  // the LIBID under TypeLib; null for none
    const char16_t* version;  // "1.0" under Version; null for none
    bool programmable;
    bool control;  // 'Control', 'Insertable' and 'MiscStatus'
    const char16_t* miscStatus1;  // MiscStatus\1, with control
    int toolboxBitmap;  // 'ToolboxBitmap32' = "<module>, N" when nonzero
};
struct TypeLibRegistration {
    GUID libid;
    const char16_t* version;  // "1.0"
    const char16_t* helpString;  // "Ravelcore 1.0 Type Library"
};

// Writes the ProgID keys and CLSID\{clsid} with InprocServer32 = modulePath;
// SELFREG_E_CLASS when the registry refuses.
HRESULT RegisterServerClass(const ClassRegistration& entry, std::u16string_view modulePath);
// Removes what RegisterServerClass wrote; keys that are missing are no error.
HRESULT UnregisterServerClass(const ClassRegistration& entry);
// TypeLib\{libid}\<version>: the help string, 0\win32 = modulePath, FLAGS.
HRESULT RegisterTypeLibrary(const TypeLibRegistration& lib, std::u16string_view modulePath);
HRESULT UnregisterTypeLibrary(const TypeLibRegistration& lib);

// The path a server registers for itself: the device path of the library
// holding the address when it was loaded from the device root, else its bare
// file name (an installed file, found again by the loader's search). Empty
// when the address is in no library.
std::u16string ModulePath(const void* addressInModule);

// ---------------------------------------------------------------------------
// The control-hosting window class "AtlAxWin": a window of it, created with a
// ProgID or braced CLSID as its text, creates that object, gives it its
// window through IHostedControl and holds it until it is destroyed. Creating
// the window fails when the object cannot be created.
inline constexpr char16_t kHostWindowClass[] = u"AtlAxWin";
BOOL RegisterHostWindowClass();  // TRUE also when it is registered already
BOOL UnregisterHostWindowClass();  // FALSE while windows of it exist
// The hosted object's IUnknown, AddRef'd; E_FAIL when the window hosts nothing.
HRESULT GetHostedControl(HWND host, IUnknown** control);
}  // namespace plat::com

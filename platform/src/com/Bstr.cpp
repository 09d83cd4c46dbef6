// BSTRs and VARIANTs: one allocator for every library of the process.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/Com.h"
#include "platform/Text.h"

namespace {

// The byte length sits in the 4 bytes before the text; the block starts there.
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocBytes(const void* source, size_t bytes) {
    if (bytes > UINT32_MAX - kPrefix - 2 * sizeof(OLECHAR)) return nullptr;
    // Room for a whole terminator after an odd byte count too.
    char* block = static_cast<char*>(std::malloc(kPrefix + bytes + 2 * sizeof(OLECHAR)));
    if (!block) return nullptr;
    const uint32_t length = uint32_t(bytes);
    std::memcpy(block, &length, kPrefix);
    char* text = block + kPrefix;
    if (source)
        std::memcpy(text, source, bytes);
    else
        std::memset(text, 0, bytes);
    std::memset(text + bytes, 0, 2 * sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(text);
}

size_t Length(const OLECHAR* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    return AllocBytes(text, Length(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (size_t(length) > (UINT32_MAX / sizeof(OLECHAR))) return nullptr;
    return AllocBytes(text, size_t(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return AllocBytes(bytes, length); }

BOOL SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
    if (!bstr) return FALSE;
    BSTR fresh = SysAllocStringLen(text, length);
    if (!fresh) return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text) {
    return SysReAllocStringLen(bstr, text ? text : u"", text ? UINT(Length(text)) : 0);
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<char*>(bstr) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<char*>(bstr) - kPrefix, kPrefix);
    return length;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

void* CoTaskMemAlloc(size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(void* block) { std::free(block); }

void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        switch (v->vt) {
        case VT_BSTR: SysFreeString(v->bstrVal); break;
        case VT_UNKNOWN:
            if (v->punkVal) v->punkVal->Release();
            break;
        case VT_DISPATCH:
            if (v->pdispVal) v->pdispVal->Release();
            break;
        default: break;
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* source) {
    if (!dest || !source) return E_INVALIDARG;
    if (dest == source) return S_OK;
    VARIANT copy = *source;
    if (!(copy.vt & VT_BYREF)) {
        if (copy.vt == VT_BSTR && copy.bstrVal) {
            copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
            copy.punkVal->AddRef();
        }
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

namespace {

// A plain value read through a reference where there is one.
bool Direct(const VARIANT& source, VARIANT* out) {
    VariantInit(out);
    if (!(source.vt & VT_BYREF)) {
        *out = source;
        return true;
    }
    if (!source.byref) return false;
    out->vt = VARTYPE(source.vt & ~VT_BYREF);
    switch (out->vt) {
    case VT_I2: out->iVal = *source.piVal; break;
    case VT_UI2: out->uiVal = *source.puiVal; break;
    case VT_I4: out->lVal = *source.plVal; break;
    case VT_UI4: out->ulVal = *source.pulVal; break;
    case VT_INT: out->intVal = *source.pintVal; break;
    case VT_UINT: out->uintVal = UINT(*source.pintVal); break;
    case VT_BOOL: out->boolVal = *source.pboolVal; break;
    case VT_BSTR: out->bstrVal = *source.pbstrVal; break;
    case VT_VARIANT: return Direct(*source.pvarVal, out);
    default: return false;
    }
    return true;
}

bool AsInteger(const VARIANT& v, long long* value) {
    switch (v.vt) {
    case VT_EMPTY: *value = 0; return true;
    case VT_I1: *value = v.cVal; return true;
    case VT_UI1: *value = v.bVal; return true;
    case VT_I2: *value = v.iVal; return true;
    case VT_UI2: *value = v.uiVal; return true;
    case VT_I4: *value = v.lVal; return true;
    case VT_UI4: *value = v.ulVal; return true;
    case VT_INT: *value = v.intVal; return true;
    case VT_UINT: *value = v.uintVal; return true;
    case VT_I8: *value = v.llVal; return true;
    case VT_UI8:
        if (v.ullVal > ULONGLONG(LLONG_MAX)) return false;
        *value = LONGLONG(v.ullVal);
        return true;
    case VT_BOOL: *value = v.boolVal ? -1 : 0; return true;
    case VT_R8:
        if (!(v.dblVal >= double(LLONG_MIN) && v.dblVal < double(LLONG_MAX))) return false;
        *value = (long long)(v.dblVal < 0 ? v.dblVal - 0.5 : v.dblVal + 0.5);
        return true;
    case VT_BSTR: {
        const std::string text = plat::text::WideToUtf8(plat::com::BstrView(v.bstrVal));
        if (text.empty()) return false;
        char* end = nullptr;
        errno = 0;
        const long long n = std::strtoll(text.c_str(), &end, 10);
        if (errno || *end) return false;
        *value = n;
        return true;
    }
    default: return false;
    }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, USHORT, VARTYPE vt) {
    if (!dest || !source) return E_INVALIDARG;
    VARIANT from;
    if (!Direct(*source, &from)) return DISP_E_TYPEMISMATCH;
    VARIANT to;
    VariantInit(&to);
    to.vt = vt;
    if (vt == from.vt) return VariantCopy(dest, &from);
    if (vt == VT_BSTR) {
        long long n;
        if (!AsInteger(from, &n)) return DISP_E_TYPEMISMATCH;
        const std::u16string text = plat::text::Utf8ToWide(std::to_string(from.vt == VT_BOOL ? (n ? -1 : 0) : n));
        to.bstrVal = plat::com::AllocBstr(text);
        if (!to.bstrVal) return E_OUTOFMEMORY;
    } else {
        long long n;
        if (!AsInteger(from, &n)) return DISP_E_TYPEMISMATCH;
        auto fits = [n](long long lo, long long hi) { return n >= lo && n <= hi; };
        switch (vt) {
        case VT_I1: if (!fits(-128, 127)) return DISP_E_OVERFLOW; to.cVal = char(n); break;
        case VT_UI1: if (!fits(0, 255)) return DISP_E_OVERFLOW; to.bVal = BYTE(n); break;
        case VT_I2: if (!fits(-32768, 32767)) return DISP_E_OVERFLOW; to.iVal = SHORT(n); break;
        case VT_UI2: if (!fits(0, 65535)) return DISP_E_OVERFLOW; to.uiVal = USHORT(n); break;
        case VT_I4: case VT_INT: if (!fits(INT32_MIN, INT32_MAX)) return DISP_E_OVERFLOW; to.lVal = LONG(n); break;
        case VT_UI4: case VT_UINT: if (!fits(0, UINT32_MAX)) return DISP_E_OVERFLOW; to.ulVal = ULONG(n); break;
        case VT_I8: to.llVal = n; break;
        case VT_UI8: if (n < 0) return DISP_E_OVERFLOW; to.ullVal = ULONGLONG(n); break;
        case VT_BOOL: to.boolVal = n ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_R8: to.dblVal = double(n); break;
        default: return DISP_E_TYPEMISMATCH;
        }
    }
    VariantClear(dest);
    *dest = to;
    return S_OK;
}

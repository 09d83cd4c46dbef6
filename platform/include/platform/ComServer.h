// Building COM-like objects and servers on platform/Com.h. Everything here
// is compiled into each library that includes it (hidden, so every ".dll"
// has its own copy): the object and lock counts are the module's own.
//
//   class CThing : public plat::com::CObject<IThing, IConnectionPointContainer> {...};
//   const plat::com::ServerClass kClasses[] = {plat::com::ServerClassOf<CThing>(registration)};
//   ORVADE_COM_SERVER(kClasses, &kTypeLib)   // the four exports
//
// A method never lets an exception out: the helpers here catch and answer
// E_OUTOFMEMORY or E_FAIL.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <span>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Com.h"
#include "platform/exports/ComServerExports.h"

namespace plat::com {

// The module's live objects and server locks (DllCanUnloadNow).
struct ModuleCounts {
    std::atomic<long> objects{0};
    std::atomic<long> locks{0};
};
__attribute__((visibility("hidden"))) inline ModuleCounts g_moduleCounts;

namespace detail {
template <class I>
constexpr bool Extends(REFIID iid) {
    if (iid == I::kIID) return true;
    if constexpr (!std::is_void_v<typename I::Base>)
        return Extends<typename I::Base>(iid);
    else
        return false;
}
template <class Self, class First, class... Rest>
void* Find(Self* self, REFIID iid) {
    if (Extends<First>(iid)) return static_cast<First*>(self);
    if constexpr (sizeof...(Rest) > 0)
        return Find<Self, Rest...>(self, iid);
    else
        return nullptr;
}
template <class First, class... Rest>
struct FirstOf {
    using type = First;
};
}  // namespace detail

// Reference counting and QueryInterface over the listed interfaces (and the
// interfaces they extend); the first one answers for IUnknown. The object
// starts with no reference; FinalConstruct runs after the first AddRef,
// FinalRelease before the object is deleted. Counted objects keep the
// module loaded.
template <bool Counted, class... Interfaces>
class CObjectImpl : public Interfaces... {
public:
    CObjectImpl() {
        if constexpr (Counted) ++g_moduleCounts.objects;
    }
    CObjectImpl(const CObjectImpl&) = delete;
    CObjectImpl& operator=(const CObjectImpl&) = delete;
    virtual ~CObjectImpl() {
        if constexpr (Counted) --g_moduleCounts.objects;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        using First = typename detail::FirstOf<Interfaces...>::type;
        void* found = iid == IID_IUnknown ? static_cast<IUnknown*>(static_cast<First*>(this))
                                          : detail::Find<CObjectImpl, Interfaces...>(this, iid);
        if (!found) found = QueryMore(iid);
        *object = found;
        if (!found) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ULONG(++m_refs); }
    ULONG Release() override {
        const long left = --m_refs;
        if (left == 0) {
            m_refs = 1;  // a FinalRelease that takes and drops a reference deletes nothing
            FinalRelease();
            delete this;
        }
        return ULONG(left);
    }
    virtual HRESULT FinalConstruct() { return S_OK; }
    virtual void FinalRelease() {}

protected:
    // Interfaces reached otherwise (a member object's); not AddRef'd.
    virtual void* QueryMore(REFIID) { return nullptr; }
    IUnknown* Unknown() { return static_cast<IUnknown*>(static_cast<typename detail::FirstOf<Interfaces...>::type*>(this)); }

private:
    std::atomic<long> m_refs{0};
};

template <class... Interfaces>
using CObject = CObjectImpl<true, Interfaces...>;

// Makes T, runs its FinalConstruct and asks it for the interface.
template <class T>
HRESULT CreateObject(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    T* made = nullptr;
    try {
        made = new T();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    made->AddRef();
    HRESULT hr;
    try {
        hr = made->FinalConstruct();
    } catch (...) {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) hr = made->QueryInterface(iid, object);
    made->Release();
    return hr;
}

template <class T>
class CClassFactory final : public CObjectImpl<false, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreateObject<T>(iid, object);
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock)
            ++g_moduleCounts.locks;
        else if (g_moduleCounts.locks > 0)
            --g_moduleCounts.locks;
        return S_OK;
    }
};

// ---------------------------------------------------------------------------
// Dispatch by DISPID from a table of members.
//
// The arguments of a call, first argument at index 0 (DISPPARAMS holds them
// last first). Values are converted to the type asked for; texts and
// references are borrowed from the caller for the length of the call.
class DispArgs {
public:
    explicit DispArgs(DISPPARAMS* params) : m_params(params) {}
    DispArgs(const DispArgs&) = delete;
    DispArgs& operator=(const DispArgs&) = delete;
    ~DispArgs() {
        for (VARIANT& v : m_converted) VariantClear(&v);
    }
    UINT Count() const { return m_params ? m_params->cArgs : 0; }
    UINT BadIndex() const { return m_bad; }

    HRESULT Long(UINT i, LONG* out) { return Scalar(i, VT_I4, out, &VARIANT::lVal); }
    HRESULT ULong(UINT i, ULONG* out) { return Scalar(i, VT_UI4, out, &VARIANT::ulVal); }
    HRESULT Short(UINT i, SHORT* out) { return Scalar(i, VT_I2, out, &VARIANT::iVal); }
    HRESULT Int(UINT i, int* out) {
        LONG v = 0;
        const HRESULT hr = Long(i, &v);
        *out = v;
        return hr;
    }
    // The caller's BSTR, or a converted one that lives until the call ends;
    // VT_EMPTY and VT_NULL give a null BSTR.
    HRESULT Bstr(UINT i, BSTR* out) {
        *out = nullptr;
        VARIANT* v = At(i);
        if (!v) return DISP_E_PARAMNOTFOUND;
        if (v->vt == VT_EMPTY || v->vt == VT_NULL) return S_OK;
        if (v->vt == VT_BSTR) {
            *out = v->bstrVal;
            return S_OK;
        }
        if (v->vt == (VT_BSTR | VT_BYREF)) {
            *out = v->pbstrVal ? *v->pbstrVal : nullptr;
            return S_OK;
        }
        VARIANT c;
        VariantInit(&c);
        const HRESULT hr = VariantChangeType(&c, v, 0, VT_BSTR);
        if (FAILED(hr)) return Bad(i, hr);
        m_converted.push_back(c);
        *out = c.bstrVal;
        return S_OK;
    }
    // A reference argument of the given type (VT_BYREF | vt); null otherwise.
    template <class T>
    T* Ref(UINT i, VARTYPE vt) {
        VARIANT* v = At(i);
        if (!v || v->vt != (VT_BYREF | vt)) {
            m_bad = i;
            return nullptr;
        }
        return static_cast<T*>(v->byref);
    }
    // An [in] pointer passed as an address in a 4- or 8-byte integer.
    template <class T>
    HRESULT Pointer(UINT i, T** out) {
        *out = nullptr;
        VARIANT* v = At(i);
        if (!v) return DISP_E_PARAMNOTFOUND;
        VARIANT c;
        VariantInit(&c);
        const HRESULT hr = VariantChangeType(&c, v, 0, VT_I8);
        if (FAILED(hr)) return Bad(i, hr);
        *out = reinterpret_cast<T*>(static_cast<intptr_t>(c.llVal));
        return S_OK;
    }

private:
    VARIANT* At(UINT i) {
        if (!m_params || i >= m_params->cArgs || !m_params->rgvarg) return nullptr;
        return &m_params->rgvarg[m_params->cArgs - 1 - i];
    }
    HRESULT Bad(UINT i, HRESULT hr) {
        m_bad = i;
        return hr;
    }
    template <class T, class M>
    HRESULT Scalar(UINT i, VARTYPE vt, T* out, M VARIANT::*member) {
        VARIANT* v = At(i);
        if (!v) return DISP_E_PARAMNOTFOUND;
        VARIANT c;
        VariantInit(&c);
        const HRESULT hr = VariantChangeType(&c, v, 0, vt);
        if (FAILED(hr)) return Bad(i, hr);
        *out = T(c.*member);
        return S_OK;
    }

    DISPPARAMS* m_params;
    std::vector<VARIANT> m_converted;
    UINT m_bad = 0;
};

// One member: its DISPID, name, the kinds of call it answers
// (DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT), its
// argument count, and the call (result may be null).
template <class T>
struct DispMember {
    DISPID id;
    const char16_t* name;
    WORD kinds;
    UINT argCount;
    HRESULT (*call)(T& self, DispArgs& args, VARIANT* result);
};

namespace detail {
inline bool SameName(const char16_t* a, const char16_t* b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b)) return false;
    return *a == *b;
}
}  // namespace detail

template <class T>
HRESULT InvokeMember(T& self, std::span<const DispMember<T>> table, DISPID id, REFIID riid, WORD kinds, DISPPARAMS* params,
                     VARIANT* result, UINT* argError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    bool counted = false;  // a member of that id and kind, with another argument count
    for (const DispMember<T>& m : table) {
        if (m.id != id || !(m.kinds & kinds)) continue;
        const UINT given = params ? params->cArgs : 0;
        if (given != m.argCount) {
            counted = true;
            continue;
        }
        if (params && params->cNamedArgs > 0 &&
            !(m.kinds & DISPATCH_PROPERTYPUT && params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
              params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))
            return DISP_E_NONAMEDARGS;
        if (result) VariantInit(result);
        DispArgs args(params);
        HRESULT hr;
        try {
            hr = m.call(self, args, result);
        } catch (...) {
            hr = E_FAIL;
        }
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND) && argError)
            *argError = args.BadIndex();
        return hr;
    }
    return counted ? DISP_E_BADPARAMCOUNT : DISP_E_MEMBERNOTFOUND;
}

template <class T>
HRESULT MemberIds(std::span<const DispMember<T>> table, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        // Only the member name is looked up; parameter names are not known.
        if (i > 0 || !names[i]) {
            hr = DISP_E_UNKNOWNNAME;
            continue;
        }
        for (const DispMember<T>& m : table)
            if (m.name && detail::SameName(m.name, names[i])) {
                ids[i] = m.id;
                break;
            }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

template <class T, size_t N>
HRESULT InvokeMember(T& self, const DispMember<T> (&table)[N], DISPID id, REFIID riid, WORD kinds, DISPPARAMS* params,
                     VARIANT* result, UINT* argError) {
    return InvokeMember<T>(self, std::span<const DispMember<T>>(table), id, riid, kinds, params, result, argError);
}
template <class T, size_t N>
HRESULT MemberIds(const DispMember<T> (&table)[N], LPOLESTR* names, UINT count, DISPID* ids) {
    return MemberIds<T>(std::span<const DispMember<T>>(table), names, count, ids);
}

// The IDispatch methods of a class with a member table:
//   HRESULT Invoke(...) override { return InvokeMember(*this, kMembers, ...); }
// and these two for the rest.
#define ORVADE_DISPATCH_NO_TYPEINFO                                                    \
    HRESULT GetTypeInfoCount(UINT* count) override {                                   \
        if (!count) return E_POINTER;                                                  \
        *count = 0;                                                                    \
        return S_OK;                                                                   \
    }                                                                                  \
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                       \
        if (info) *info = nullptr;                                                     \
        return E_NOTIMPL;                                                              \
    }

// One of several dual interfaces of a class: each has an Invoke of its own
// over the class's table for it, Derived::Members(static_cast<I*>(nullptr)),
// a std::span<const DispMember<Derived>>; the same DISPID may mean another
// member on another interface. List CDual<I, Derived> among the object's
// interfaces in place of I.
template <class I, class Derived>
class CDual : public I {
public:
    ORVADE_DISPATCH_NO_TYPEINFO
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return MemberIds<Derived>(Derived::Members(static_cast<I*>(nullptr)), names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD kinds, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT* argError) override {
        return InvokeMember<Derived>(static_cast<Derived&>(*this), Derived::Members(static_cast<I*>(nullptr)), id, riid,
                                     kinds, params, result, argError);
    }

protected:
    ~CDual() = default;
};

// ---------------------------------------------------------------------------
// Connection points. A connection point lives inside its container object,
// whose reference count it shares. Sinks are kept in the order they were
// advised; firing takes them out under the lock and calls each one with the
// lock released, so a sink may advise, unadvise or fire again.
// The lock of a sink list: held for a copy or a change of a few pointers, and
// taken with every event, where a mutex would cost more than the rest of
// the firing. Whoever finds it held yields until it is free.
class CSinkLock {
public:
    void lock() {
        while (m_held.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
    }
    void unlock() { m_held.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_held{false};
};

class CConnectionPoint final : public IConnectionPoint {
public:
    CConnectionPoint(IConnectionPointContainer* container, REFIID iid) : m_container(container), m_iid(iid) {}
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;
    ~CConnectionPoint() { UnadviseAll(); }

    REFIID Iid() const { return m_iid; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_container->AddRef(); }
    ULONG Release() override { return m_container->Release(); }

    HRESULT GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = m_iid;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        m_container->AddRef();
        *container = m_container;
        return S_OK;
    }
    // The sink is asked for the connection interface (the event
    // dispinterface); CONNECT_E_CANNOTCONNECT when it has none.
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!sink) return E_POINTER;
        IDispatch* events = nullptr;
        if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&events))) || !events)
            return CONNECT_E_CANNOTCONNECT;
        std::lock_guard lock(m_mutex);
        try {
            m_sinks.push_back({++m_lastCookie, events});
        } catch (...) {
            events->Release();  // nothing of the caller's runs under the lock: this is ours
            return E_OUTOFMEMORY;
        }
        *cookie = m_lastCookie;
        return S_OK;
    }
    HRESULT Unadvise(DWORD cookie) override {
        IDispatch* gone = nullptr;
        {
            std::lock_guard lock(m_mutex);
            auto it = std::find_if(m_sinks.begin(), m_sinks.end(), [cookie](const Sink& s) { return s.cookie == cookie; });
            if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
            gone = it->events;
            m_sinks.erase(it);
        }
        gone->Release();
        return S_OK;
    }
    HRESULT EnumConnections(IEnumConnections** connections) override;

    // The advised sinks, AddRef'd, in the order of advising.
    std::vector<IDispatch*> Sinks() {
        std::lock_guard lock(m_mutex);
        std::vector<IDispatch*> out;
        out.reserve(m_sinks.size());
        for (const Sink& s : m_sinks) {
            s.events->AddRef();
            out.push_back(s.events);
        }
        return out;
    }
    size_t SinkCount() {
        std::lock_guard lock(m_mutex);
        return m_sinks.size();
    }
    // Calls Invoke (IID_NULL, locale 0x400, DISPATCH_METHOD) on every sink
    // with the arguments given first to last; results are ignored. One
    // argument array serves every sink.
    void Fire(DISPID id, std::initializer_list<VARIANT> args = {}) {
        // Events fire per reply segment: a few arguments and sinks stay off the heap.
        VARIANT inlineArgs[kInline];
        std::vector<VARIANT> moreArgs;
        VARIANT* reversed = inlineArgs;
        if (args.size() > kInline) {
            moreArgs.resize(args.size());
            reversed = moreArgs.data();
        }
        size_t n = args.size();
        for (const VARIANT& v : args) reversed[--n] = v;
        FireReversed(id, reversed, UINT(args.size()));
    }
    // The same with the arguments last to first, as DISPPARAMS holds them.
    void FireReversed(DISPID id, VARIANT* reversed, UINT argCount) {
        DISPPARAMS params{argCount ? reversed : nullptr, nullptr, argCount, 0};
        IDispatch* inlineSinks[kInline];
        std::vector<IDispatch*> moreSinks;
        IDispatch** sinks = inlineSinks;
        size_t count = 0;
        {
            std::lock_guard lock(m_mutex);
            count = m_sinks.size();
            if (count > kInline) {
                moreSinks.resize(count);
                sinks = moreSinks.data();
            }
            for (size_t i = 0; i < count; ++i) {
                sinks[i] = m_sinks[i].events;
                sinks[i]->AddRef();  // our own count on a sink we hold: no caller code
            }
        }
        for (size_t i = 0; i < count; ++i) {
            VARIANT ignored{};  // VT_EMPTY; most sinks leave it so, with nothing to free
            sinks[i]->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &ignored, nullptr, nullptr);
            if (ignored.vt != VT_EMPTY) VariantClear(&ignored);
            sinks[i]->Release();
        }
    }
    // The container's FinalRelease drops what sinks are left.
    void UnadviseAll() {
        std::vector<Sink> sinks;
        {
            std::lock_guard lock(m_mutex);
            sinks.swap(m_sinks);
        }
        for (const Sink& s : sinks) s.events->Release();
    }

private:
    static constexpr size_t kInline = 4;
    struct Sink {
        DWORD cookie;
        IDispatch* events;
    };
    IConnectionPointContainer* m_container;
    IID m_iid;
    CSinkLock m_mutex;
    std::vector<Sink> m_sinks;
    DWORD m_lastCookie = 0;
};

namespace detail {
inline void AddRefItem(const CONNECTDATA& c) { c.pUnk->AddRef(); }
inline void ReleaseItem(const CONNECTDATA& c) { c.pUnk->Release(); }
inline void AddRefItem(IConnectionPoint* p) { p->AddRef(); }
inline void ReleaseItem(IConnectionPoint* p) { p->Release(); }
}  // namespace detail

// An enumerator over a snapshot: it is handed the items with a reference
// taken for it, releases them when it goes, and gives each caller its own.
template <class IEnum, class Item>
class CEnumSnapshot final : public CObjectImpl<false, IEnum> {
public:
    explicit CEnumSnapshot(std::vector<Item> items) : m_items(std::move(items)) {}
    ~CEnumSnapshot() override {
        for (const Item& item : m_items) detail::ReleaseItem(item);
    }
    HRESULT Next(ULONG count, Item* items, ULONG* fetched) override {
        if (!items || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_next < m_items.size(); ++n, ++m_next) {
            items[n] = m_items[m_next];
            detail::AddRefItem(items[n]);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        const size_t left = m_items.size() - m_next;
        m_next += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_next = 0;
        return S_OK;
    }
    HRESULT Clone(IEnum** copy) override {
        if (!copy) return E_POINTER;
        *copy = nullptr;
        return Make(m_items, m_next, copy);
    }
    // A new enumerator over the items, taking its own references.
    static HRESULT Make(const std::vector<Item>& items, size_t next, IEnum** out) {
        try {
            auto* made = new CEnumSnapshot(items);
            for (const Item& item : made->m_items) detail::AddRefItem(item);
            made->m_next = next;
            made->AddRef();
            *out = made;
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::vector<Item> m_items;
    size_t m_next = 0;
};

inline HRESULT CConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    std::vector<CONNECTDATA> items;
    {
        // Our own references on the sinks we hold: no caller code under the lock.
        std::lock_guard lock(m_mutex);
        for (const Sink& s : m_sinks) items.push_back({s.events, s.cookie});
        for (const CONNECTDATA& c : items) c.pUnk->AddRef();
    }
    const HRESULT hr = CEnumSnapshot<IEnumConnections, CONNECTDATA>::Make(items, 0, connections);
    for (const CONNECTDATA& c : items) c.pUnk->Release();
    return hr;
}

// The container's FindConnectionPoint over its points.
inline HRESULT FindPoint(std::initializer_list<CConnectionPoint*> points, REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    for (CConnectionPoint* p : points)
        if (p->Iid() == iid) {
            p->AddRef();
            *point = p;
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

// The container's EnumConnectionPoints over its points.
inline HRESULT EnumPoints(std::initializer_list<CConnectionPoint*> points, IEnumConnectionPoints** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
        return CEnumSnapshot<IEnumConnectionPoints, IConnectionPoint*>::Make(
            std::vector<IConnectionPoint*>(points.begin(), points.end()), 0, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// A VT_I4 argument for Fire.
inline VARIANT VariantLong(LONG value) {
    VARIANT v{};  // VT_EMPTY, built in place: it goes out with every reply segment
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// ---------------------------------------------------------------------------
// An event sink: an IDispatch that hands every Invoke to a function. It
// answers for IDispatch and for the event interface it was made for.
class CDispatchSink final : public CObjectImpl<false, IDispatch> {
public:
    using Handler = std::function<HRESULT(DISPID id, DISPPARAMS* params)>;
    CDispatchSink(REFIID events, Handler handler) : m_events(events), m_handler(std::move(handler)) {}

    ORVADE_DISPATCH_NO_TYPEINFO
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        try {
            return m_handler ? m_handler(id, params) : S_OK;
        } catch (...) {
            return E_FAIL;
        }
    }

protected:
    void* QueryMore(REFIID iid) override { return iid == m_events ? static_cast<IDispatch*>(this) : nullptr; }

private:
    IID m_events;
    Handler m_handler;
};

// ---------------------------------------------------------------------------
// A server's class table and its four exports.
struct ServerClass {
    CLSID clsid;
    HRESULT (*createFactory)(REFIID iid, void** object);
    ClassRegistration registration;
};

template <class T>
HRESULT CreateFactory(REFIID iid, void** object) {
    return CreateObject<CClassFactory<T>>(iid, object);
}

template <class T>
ServerClass ServerClassOf(const ClassRegistration& registration) {
    return ServerClass{registration.clsid, &CreateFactory<T>, registration};
}

template <size_t N>
HRESULT ServerGetClassObject(const ServerClass (&classes)[N], REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ServerClass& c : classes)
        if (c.clsid == clsid) return c.createFactory(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

inline HRESULT ServerCanUnloadNow() {
    return g_moduleCounts.objects == 0 && g_moduleCounts.locks == 0 ? S_OK : S_FALSE;
}

template <size_t N>
HRESULT ServerRegister(const ServerClass (&classes)[N], const TypeLibRegistration* typeLib, const void* anchor) {
    const std::u16string path = ModulePath(anchor);
    if (path.empty()) return SELFREG_E_CLASS;
    for (const ServerClass& c : classes) {
        const HRESULT hr = RegisterServerClass(c.registration, path);
        if (FAILED(hr)) return hr;
    }
    return typeLib ? RegisterTypeLibrary(*typeLib, path) : S_OK;
}

template <size_t N>
HRESULT ServerUnregister(const ServerClass (&classes)[N], const TypeLibRegistration* typeLib) {
    for (const ServerClass& c : classes) UnregisterServerClass(c.registration);
    if (typeLib) UnregisterTypeLibrary(*typeLib);
    return S_OK;
}

}  // namespace plat::com

// Defines the four exports of a server from its class table (an array of
// ServerClass) and its type library (a TypeLibRegistration pointer or null).
#define ORVADE_COM_SERVER(classes, typeLib)                                                  \
    ORVADE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {    \
        return plat::com::ServerGetClassObject(classes, clsid, riid, object);                \
    }                                                                                        \
    ORVADE_EXPORT HRESULT DllCanUnloadNow() { return plat::com::ServerCanUnloadNow(); }      \
    ORVADE_EXPORT HRESULT DllRegisterServer() {                                              \
        try {                                                                                \
            return plat::com::ServerRegister(classes, typeLib,                               \
                                             reinterpret_cast<const void*>(&DllCanUnloadNow)); \
        } catch (...) {                                                                      \
            return SELFREG_E_CLASS;                                                          \
        }                                                                                    \
    }                                                                                        \
    ORVADE_EXPORT HRESULT DllUnregisterServer() {                                            \
        try {                                                                                \
            return plat::com::ServerUnregister(classes, typeLib);                            \
        } catch (...) {                                                                      \
            return S_OK;                                                                     \
        }                                                                                    \
    }

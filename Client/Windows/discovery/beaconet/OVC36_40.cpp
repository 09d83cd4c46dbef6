// "Beaconet.dll": the discovery object COVC36_40 over the protocol engine,
// its dispatch table, self-registration and the four exports.
#include <atomic>
#include <mutex>
#include <string>

#include "discovery/Beaconet.h"
#include "discovery/DiscoveryEngine.h"
#include "platform/ComServer.h"

namespace {

using plat::com::DispArgs;
using plat::com::DispMember;

class COVC36_40 final
    : public plat::com::CObject<IOVC36_40, IConnectionPointContainer, ISupportErrorInfo, IOVC36_40Stop> {
public:
    COVC36_40() : m_events(this, DIID__IOVC36_40Events) {}

    HRESULT DoAutodiscovery(BSTR bstrToken) override {
        try {
            {
                std::lock_guard lock(m_mutex);
                m_type = 0;
            }
            m_engine.Discover(plat::com::BstrView(bstrToken), m_autoDiscoveryPort,
                              [this](const discovery::HostAnswer& host) {
                                  {
                                      std::lock_guard lock(m_mutex);
                                      m_appName = host.appName;
                                      m_address = host.address;
                                      m_port = host.port;
                                      m_version = host.version;
                                      m_type = host.type;
                                  }
                                  // The sinks read the properties during the call.
                                  m_events.Fire(DISPID_AddHostEvent);
                              });
        } catch (...) {
            // Nothing is reported to the caller: the run simply ends.
        }
        return S_OK;
    }
    HRESULT get_AppName(BSTR* pVal) override { return GetText(pVal, &COVC36_40::m_appName); }
    HRESULT get_usPort(SHORT* pVal) override { return GetShort(pVal, &COVC36_40::m_port); }
    HRESULT get_usADVersion(SHORT* pVal) override { return GetShort(pVal, &COVC36_40::m_version); }
    HRESULT get_IPAddrAsString(BSTR* pVal) override { return GetText(pVal, &COVC36_40::m_address); }
    HRESULT get_usADType(SHORT* pVal) override { return GetShort(pVal, &COVC36_40::m_type); }
    HRESULT GetSelectedHostIPandPort(SHORT usADVersion, SHORT, BSTR bstrAppName, BSTR IPAddrAsString,
                                     BSTR* pbstrIPAddrAsString, SHORT* pusPort) override {
        if (!(usADVersion & 2) || !pbstrIPAddrAsString || !pusPort) return S_FALSE;
        try {
            const auto port = m_engine.QueryPort(plat::com::BstrView(bstrAppName), plat::com::BstrView(IPAddrAsString),
                                                 m_autoDiscoveryPort);
            if (port) {
                *pbstrIPAddrAsString = plat::com::AllocBstr(plat::com::BstrView(IPAddrAsString));
                *pusPort = static_cast<SHORT>(*port);
            }
        } catch (...) {
            // As any failure of the query: no outputs.
        }
        return S_OK;
    }
    HRESULT StopAutodiscovery() override {
        try {
            return m_engine.StopRun() ? S_OK : S_FALSE;
        } catch (...) {
            return E_FAIL;
        }
    }
    HRESULT get_AutoDiscoveryPort(LONG* pVal) override {
        if (!pVal) return E_POINTER;
        *pVal = m_autoDiscoveryPort;
        return S_OK;
    }
    HRESULT put_AutoDiscoveryPort(LONG newVal) override {
        m_autoDiscoveryPort = static_cast<uint16_t>(newVal & 0xFFFF);
        return S_OK;
    }

    ORVADE_DISPATCH_NO_TYPEINFO
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return plat::com::MemberIds(kMembers, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD kinds, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT* argError) override {
        return plat::com::InvokeMember(*this, kMembers, id, riid, kinds, params, result, argError);
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
        return plat::com::EnumPoints({&m_events}, points);
    }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        return plat::com::FindPoint({&m_events}, iid, point);
    }
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override { return iid == IOVC36_40::kIID ? S_OK : S_FALSE; }
    void FinalRelease() override { m_events.UnadviseAll(); }

private:
    HRESULT GetText(BSTR* out, std::u16string COVC36_40::*field) {
        if (!out) return S_FALSE;
        std::lock_guard lock(m_mutex);
        *out = plat::com::AllocBstr(this->*field);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT GetShort(SHORT* out, uint16_t COVC36_40::*field) {
        if (!out) return S_FALSE;
        std::lock_guard lock(m_mutex);
        *out = static_cast<SHORT>(this->*field);
        return S_OK;
    }

    // Dispatch: getters answer in the result.
    template <HRESULT (COVC36_40::*M)(BSTR*)>
    static HRESULT CallGetText(COVC36_40& o, DispArgs&, VARIANT* result) {
        BSTR text = nullptr;
        const HRESULT hr = (o.*M)(&text);
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = text;
        } else {
            SysFreeString(text);
        }
        return hr;
    }
    template <HRESULT (COVC36_40::*M)(SHORT*)>
    static HRESULT CallGetShort(COVC36_40& o, DispArgs&, VARIANT* result) {
        SHORT value = 0;
        const HRESULT hr = (o.*M)(&value);
        if (result) {
            result->vt = VT_I2;
            result->iVal = value;
        }
        return hr;
    }
    static HRESULT CallDiscover(COVC36_40& o, DispArgs& a, VARIANT*) {
        BSTR token = nullptr;
        const HRESULT hr = a.Bstr(0, &token);
        return FAILED(hr) ? hr : o.DoAutodiscovery(token);
    }
    static HRESULT CallSelected(COVC36_40& o, DispArgs& a, VARIANT* result) {
        SHORT version = 0, port = 0;
        BSTR name = nullptr, address = nullptr;
        HRESULT hr = a.Short(0, &version);
        if (SUCCEEDED(hr)) hr = a.Short(1, &port);
        if (SUCCEEDED(hr)) hr = a.Bstr(2, &name);
        if (SUCCEEDED(hr)) hr = a.Bstr(3, &address);
        if (FAILED(hr)) return hr;
        BSTR* outAddress = a.Ref<BSTR>(4, VT_BSTR);
        // The port is the retval: a reference argument, else the result.
        SHORT resultPort = 0;
        SHORT* outPort = a.Count() > 5 ? a.Ref<SHORT>(5, VT_I2) : &resultPort;
        hr = o.GetSelectedHostIPandPort(version, port, name, address, outAddress, outPort);
        if (a.Count() <= 5 && result) {
            result->vt = VT_I2;
            result->iVal = resultPort;
        }
        return hr;
    }
    static HRESULT CallGetPort(COVC36_40& o, DispArgs&, VARIANT* result) {
        LONG value = 0;
        const HRESULT hr = o.get_AutoDiscoveryPort(&value);
        if (result) *result = plat::com::VariantLong(value);
        return hr;
    }
    static HRESULT CallPutPort(COVC36_40& o, DispArgs& a, VARIANT*) {
        LONG value = 0;
        const HRESULT hr = a.Long(0, &value);
        return FAILED(hr) ? hr : o.put_AutoDiscoveryPort(value);
    }
    static constexpr WORD GET = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
    static constexpr DispMember<COVC36_40> kMembers[] = {
        {DISPID_DoAutodiscovery, u"DoAutodiscovery", DISPATCH_METHOD, 1, &CallDiscover},
        {DISPID_AppName, u"AppName", GET, 0, &CallGetText<&COVC36_40::get_AppName>},
        {DISPID_usPort, u"usPort", GET, 0, &CallGetShort<&COVC36_40::get_usPort>},
        {DISPID_usADVersion, u"usADVersion", GET, 0, &CallGetShort<&COVC36_40::get_usADVersion>},
        {DISPID_IPAddrAsString, u"IPAddrAsString", GET, 0, &CallGetText<&COVC36_40::get_IPAddrAsString>},
        {DISPID_GetSelectedHostIPandPort, u"GetSelectedHostIPandPort", DISPATCH_METHOD, 5, &CallSelected},
        {DISPID_GetSelectedHostIPandPort, u"GetSelectedHostIPandPort", DISPATCH_METHOD, 6, &CallSelected},
        {DISPID_usADType, u"usADType", GET, 0, &CallGetShort<&COVC36_40::get_usADType>},
        {DISPID_AutoDiscoveryPort, u"AutoDiscoveryPort", GET, 0, &CallGetPort},
        {DISPID_AutoDiscoveryPort, u"AutoDiscoveryPort", DISPATCH_PROPERTYPUT, 1, &CallPutPort},
    };

    plat::com::CConnectionPoint m_events;
    discovery::CDiscoveryEngine m_engine;
    // Read by the port query's thread too.
    std::atomic<uint16_t> m_autoDiscoveryPort{0};
    // The last host's values, which the sinks read during AddHostEvent.
    std::mutex m_mutex;
    std::u16string m_appName;
    std::u16string m_address;
    uint16_t m_port = 0;
    uint16_t m_version = 0;
    uint16_t m_type = 0;
};

const plat::com::TypeLibRegistration kTypeLib{LIBID_BEACONETLib, u"1.0", u"Beaconet 1.0 Type Library"};

const plat::com::ServerClass kClasses[] = {plat::com::ServerClassOf<COVC36_40>({
    CLSID_OVC36_40,
    u"OVC36_40 Class",
    u"Beaconet.OVC36_40.1",
    u"Beaconet.OVC36_40",
    &LIBID_BEACONETLib,
    nullptr,  // no Version key
    true,     // Programmable
    false,    // not a control
    nullptr,
    0,
})};

}  // namespace

ORVADE_COM_SERVER(kClasses, &kTypeLib)

// A discovery object that answers with the hosts a test gives it, firing
// AddHostEvent for each on the thread that runs the pass. A pass can be
// held until StopAutodiscovery, as a pass waiting on the network is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/Beaconet.h"
#include "platform/ComServer.h"

namespace panthostest {

struct Answer {
    std::u16string name, address;
    SHORT version = 1, type = 0, port = 0;
};

class CFakeDiscovery final
    : public plat::com::CObject<IOVC36_40, IConnectionPointContainer, IOVC36_40Stop> {
public:
    CFakeDiscovery() : m_events(this, DIID__IOVC36_40Events) {}

    // Made and held by the test.
    static plat::com::CPtr<CFakeDiscovery> Make() {
        plat::com::CPtr<CFakeDiscovery> made;
        auto* object = new CFakeDiscovery();
        object->AddRef();
        *made.Out() = object;
        return made;
    }
    plat::com::CPtr<IOVC36_40> AsDiscovery() {
        plat::com::CPtr<IOVC36_40> result;
        QueryInterface(IOVC36_40::kIID, result.OutVoid());
        return result;
    }

    std::vector<Answer> answers;
    bool holdPass = false;  // a pass waits for StopAutodiscovery
    std::atomic<int> passes{0}, stops{0};
    std::atomic<bool> started{false};  // a pass has begun
    std::u16string lastToken;
    // What GetSelectedHostIPandPort answers (no address: the host is silent).
    std::u16string resolvedAddress;
    SHORT resolvedPort = 0;
    SHORT askedVersion = 0;
    std::u16string askedName, askedHost;
    LONG port = 0;

    HRESULT DoAutodiscovery(BSTR token) override {
        {
            std::lock_guard lock(m_mutex);
            lastToken = std::u16string(plat::com::BstrView(token));
        }
        started = true;
        for (const Answer& a : answers) {
            m_current = a;
            m_events.Fire(DISPID_AddHostEvent);
        }
        if (holdPass) {
            std::unique_lock lock(m_mutex);
            m_stopped.wait(lock, [this] { return m_stopRequested; });
            m_stopRequested = false;
        }
        ++passes;
        return S_OK;
    }
    HRESULT StopAutodiscovery() override {
        ++stops;
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        m_stopped.notify_all();
        return S_OK;
    }
    HRESULT get_AppName(BSTR* v) override { return Text(m_current.name, v); }
    HRESULT get_IPAddrAsString(BSTR* v) override { return Text(m_current.address, v); }
    HRESULT get_usPort(SHORT* v) override { return Number(m_current.port, v); }
    HRESULT get_usADVersion(SHORT* v) override { return Number(m_current.version, v); }
    HRESULT get_usADType(SHORT* v) override { return Number(m_current.type, v); }
    HRESULT GetSelectedHostIPandPort(SHORT version, SHORT, BSTR name, BSTR host, BSTR* address, SHORT* p) override {
        askedVersion = version;
        askedName = std::u16string(plat::com::BstrView(name));
        askedHost = std::u16string(plat::com::BstrView(host));
        if (resolvedAddress.empty()) return S_OK;
        *address = plat::com::AllocBstr(resolvedAddress);
        *p = resolvedPort;
        return S_OK;
    }
    HRESULT get_AutoDiscoveryPort(LONG* v) override {
        *v = port;
        return S_OK;
    }
    HRESULT put_AutoDiscoveryPort(LONG v) override {
        port = v & 0xFFFF;
        return S_OK;
    }

    ORVADE_DISPATCH_NO_TYPEINFO
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
        return plat::com::EnumPoints({&m_events}, points);
    }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        return plat::com::FindPoint({&m_events}, iid, point);
    }
    size_t Sinks() { return m_events.SinkCount(); }

private:
    static HRESULT Text(const std::u16string& text, BSTR* v) {
        *v = plat::com::AllocBstr(text);
        return S_OK;
    }
    static HRESULT Number(SHORT n, SHORT* v) {
        *v = n;
        return S_OK;
    }

    plat::com::CConnectionPoint m_events;
    Answer m_current;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopRequested = false;
};

}  // namespace panthostest

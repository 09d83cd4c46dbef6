// The hosted client control: its interfaces asked of the control host, the
// sinks of its events and of the discovery object's, and the About and
// Configure property sheets.
#include <vector>

#include "ShellObj.h"
#include "platform/PropSheet.h"
#include "shell/ShellUtil.h"

using plat::com::CPtr;
using plat::com::DispArgs;

namespace {

constexpr UINT kAboutPage = 6029;

HRESULT Advise(IUnknown* source, REFIID events, IUnknown* sink, DWORD* cookie) {
    CPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid());
    if (FAILED(hr)) return hr;
    CPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(events, point.Out());
    if (FAILED(hr)) return hr;
    return point->Advise(sink, cookie);
}

void Unadvise(IUnknown* source, REFIID events, DWORD* cookie) {
    if (!*cookie || !source) return;
    CPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(source->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid()))) {
        CPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(events, point.Out()))) point->Unadvise(*cookie);
    }
    *cookie = 0;
}

}  // namespace

template <class I>
CPtr<I> COVCShellObj::AskControlFor() const {
    CPtr<I> result;
    CPtr<IUnknown> control;
    if (m_controlHost && SUCCEEDED(plat::com::GetHostedControl(m_controlHost, control.Out()))) control.As(&result);
    return result;
}

CPtr<IOVC> COVCShellObj::AskControl() const { return AskControlFor<IOVC>(); }

template CPtr<IOVCClassic> COVCShellObj::AskControlFor<IOVCClassic>() const;
template CPtr<IOVCData> COVCShellObj::AskControlFor<IOVCData>() const;

HRESULT COVCShellObj::AdviseControlEvents() {
    CPtr<IOVC> ovc = AskControl();
    if (!ovc) return E_NOINTERFACE;
    UnadviseControlEvents(ovc.Get());
    if (!m_controlSink) {
        auto* sink = new plat::com::CDispatchSink(
            DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* params) { return OnControlEvent(id, params); });
        sink->AddRef();
        *m_controlSink.Out() = sink;
    }
    return Advise(ovc.Get(), DIID__IOVCEvents, m_controlSink.Get(), &m_controlCookie);
}

void COVCShellObj::UnadviseControlEvents(IOVC* ovc) { Unadvise(ovc, DIID__IOVCEvents, &m_controlCookie); }

HRESULT COVCShellObj::OnControlEvent(DISPID id, DISPPARAMS* params) {
    DispArgs args(params);
    switch (id) {
    case DISPID_OVCDataOutEvent: {
        int size = 0;
        const void* data = nullptr;
        // The address comes as VT_I8: a pointer does not fit 32 bits here.
        if (SUCCEEDED(args.Int(0, &size)) && SUCCEEDED(args.Pointer(1, &data))) OnOVCDataOutEvent(size, data);
        return S_OK;
    }
    case DISPID_OVCDisconnect:
        OnOVCDisconnect();
        return S_OK;
    case DISPID_OVCToggleHideMenu:
    default:
        return S_OK;
    }
}

void COVCShellObj::OnOVCDataOutEvent(int size, const void* data) {
    if (m_session) m_session->Send(data, size);
}

void COVCShellObj::OnOVCDisconnect() {
    if (!m_session || !m_session->IsActive()) return;
    ShowHostList();
    PostMessage(m_hWnd, WM_COMMAND, m_settings.Store().GetBool(SETTING_AUTO_RECONNECT) ? ID_RECONNECT : ID_SESSION_ENDED, 0);
}

void COVCShellObj::ShowAbout() { ShowPropertySheet(true); }
void COVCShellObj::ShowConfigure() { ShowPropertySheet(false); }

void COVCShellObj::ShowPropertySheet(bool about) {
    CPtr<IOVC> ovc = AskControl();
    if (!ovc) return;
    LONG count = 0;
    if (about)
        ovc->GetPropSheepCount(&count);
    else
        ovc->GetConfigPropSheetCount(&count);
    if (count < 0) count = 0;
    const int own = about ? 1 : 0;
    const int total = own + int(count);
    if (total == 0) return;
    std::vector<PROPSHEETPAGE> pages(size_t(total), PROPSHEETPAGE{});
    if (about) {
        pages[0].dwSize = sizeof(PROPSHEETPAGE);
        pages[0].hInstance = g_hResInstance;
        pages[0].pszTemplate = kAboutPage;
        pages[0].pfnDlgProc = reinterpret_cast<void*>(&AboutDlgProc);
        pages[0].lParam = 1;
    }
    LONG filled = 0;
    if (count > 0) {
        LONG* at = reinterpret_cast<LONG*>(&pages[size_t(own)]);
        if (about)
            ovc->FillAllPropPages(at, &filled);
        else
            ovc->FillAllConfigPropPages(at, &filled);
    }
    PROPSHEETHEADER header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.hwndParent = m_hWnd;
    header.hInstance = g_hResInstance;
    header.pszCaption = about ? u"About" : u"Configure";
    header.nPages = UINT(total);
    header.nStartPage = 0;
    header.ppsp = pages.data();
    PropertySheet(&header);
}

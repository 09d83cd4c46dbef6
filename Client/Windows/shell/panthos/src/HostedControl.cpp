#include "panthos/HostedControl.h"

#include <utility>
#include <vector>

#include "platform/PropSheet.h"
#include "shell/ShellUtil.h"

using plat::com::CPtr;
using plat::com::DispArgs;

namespace {

constexpr UINT kAboutPage = 6029;
constexpr DWORD kHostStyle = 0x52000000;  // child, visible, clip siblings

}  // namespace

CHostedControl::CHostedControl(DataOut dataOut, std::function<void()> disconnect)
    : m_dataOut(std::move(dataOut)),
      m_disconnect(std::move(disconnect)),
      m_link(DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* params) { return OnEvent(id, params); }) {}

CHostedControl::~CHostedControl() { Detach(); }

HWND CHostedControl::Create(HWND parent, const RECT& rect) {
    m_host = CreateWindowEx(0, plat::com::kHostWindowClass, u"Ravelcore.OVC", kHostStyle, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top, parent, HMENU(kId), nullptr, nullptr);
    return m_host;
}

template <class I>
CPtr<I> CHostedControl::AskFor() const {
    CPtr<I> result;
    CPtr<IUnknown> control;
    if (m_host && SUCCEEDED(plat::com::GetHostedControl(m_host, control.Out()))) control.As(&result);
    return result;
}

CPtr<IOVC> CHostedControl::Ask() const { return AskFor<IOVC>(); }

HRESULT CHostedControl::Attach() {
    m_ovc = Ask();
    if (!m_ovc) return S_FALSE;
    m_classic = AskFor<IOVCClassic>();
    m_data = AskFor<IOVCData>();
    return m_link.Advise(m_ovc.Get());
}

void CHostedControl::Detach() {
    m_ovc.Reset();
    m_classic.Reset();
    m_data.Reset();
    if (CPtr<IOVC> ovc = Ask()) m_link.Unadvise(ovc.Get());
}

void CHostedControl::Tick() {
    if (m_ovc) m_ovc->CheckInputTimeOut();
}

HRESULT CHostedControl::OnEvent(DISPID id, DISPPARAMS* params) {
    DispArgs args(params);
    switch (id) {
    case DISPID_OVCDataOutEvent: {
        int size = 0;
        const void* data = nullptr;
        // The address comes as VT_I8: a pointer does not fit 32 bits here.
        if (SUCCEEDED(args.Int(0, &size)) && SUCCEEDED(args.Pointer(1, &data)) && m_dataOut) m_dataOut(size, data);
        return S_OK;
    }
    case DISPID_OVCDisconnect:
        if (m_disconnect) m_disconnect();
        return S_OK;
    case DISPID_OVCToggleHideMenu:
    default:
        return S_OK;
    }
}

int CHostedControl::ConfigurePages() const {
    LONG pages = 0;
    if (CPtr<IOVC> ovc = Ask()) ovc->GetConfigPropSheetCount(&pages);
    return int(pages);
}

void CHostedControl::ShowSheet(bool about, HWND owner) {
    CPtr<IOVC> ovc = Ask();
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
        pages[0].hInstance = GetShellResources();
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
    header.hwndParent = owner;
    header.hInstance = GetShellResources();
    header.pszCaption = about ? u"About" : u"Configure";
    header.nPages = UINT(total);
    header.nStartPage = 0;
    header.ppsp = pages.data();
    PropertySheet(&header);
}

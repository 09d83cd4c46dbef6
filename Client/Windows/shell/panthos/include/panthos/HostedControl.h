// The client control as the shell hosts it: the host window (8, the host
// window class with "Ravelcore.OVC"), the control's interfaces, the link of
// its events, and the property sheets it adds its pages to. User-interface
// thread only.
#pragma once

#include <functional>

#include "control/Ravelcore.h"
#include "panthos/EventLink.h"

class CHostedControl {
public:
    static constexpr int kId = 8;
    // The control's bytes for the host; the control's end of the session.
    using DataOut = std::function<void(int size, const void* data)>;
    CHostedControl(DataOut dataOut, std::function<void()> disconnect);
    ~CHostedControl();
    CHostedControl(const CHostedControl&) = delete;
    CHostedControl& operator=(const CHostedControl&) = delete;

    // The host window under parent, which creates the control; 0 when it
    // cannot be made.
    HWND Create(HWND parent, const RECT& rect);
    HWND Window() const { return m_host; }
    // Asked of the host window now; null without a control.
    plat::com::CPtr<IOVC> Ask() const;

    // Takes the control's interfaces and advises its events: S_FALSE
    // without a control, else the advise's result.
    HRESULT Attach();
    // Unadvises and lets the interfaces go; the window stays.
    void Detach();
    // Null outside Attach and Detach.
    IOVCClassic* Classic() const { return m_classic.Get(); }
    IOVCData* Data() const { return m_data.Get(); }
    // The timer's look at the control's input time-out.
    void Tick();

    // The About sheet (its own page first) or the Configure sheet, each with
    // the control's pages, owned by owner; nothing without a page.
    void ShowSheet(bool about, HWND owner);
    // The control's Configure pages.
    int ConfigurePages() const;

private:
    template <class I>
    plat::com::CPtr<I> AskFor() const;
    HRESULT OnEvent(DISPID id, DISPPARAMS* params);

    DataOut m_dataOut;
    std::function<void()> m_disconnect;
    HWND m_host = 0;
    plat::com::CPtr<IOVC> m_ovc;
    plat::com::CPtr<IOVCClassic> m_classic;
    plat::com::CPtr<IOVCData> m_data;
    CEventLink m_link;
};

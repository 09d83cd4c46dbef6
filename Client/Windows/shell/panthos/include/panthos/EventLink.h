// One event interface of a COM-like source advised to a handler: the sink
// object, made once, and the cookie while advised.
#pragma once

#include "platform/ComServer.h"

class CEventLink {
public:
    CEventLink(REFIID events, plat::com::CDispatchSink::Handler handler);
    CEventLink(const CEventLink&) = delete;
    CEventLink& operator=(const CEventLink&) = delete;

    // Advises the sink to the source's connection point, unadvising it from
    // the source first; the failure of any step.
    HRESULT Advise(IUnknown* source);
    // Nothing when not advised or without a source.
    void Unadvise(IUnknown* source);
    bool IsAdvised() const { return m_cookie != 0; }

private:
    IID m_events;
    plat::com::CPtr<plat::com::CDispatchSink> m_sink;
    DWORD m_cookie = 0;
};

#include "panthos/EventLink.h"

#include <utility>

using plat::com::CPtr;

namespace {

HRESULT FindEventPoint(IUnknown* source, REFIID events, CPtr<IConnectionPoint>& point) {
    CPtr<IConnectionPointContainer> container;
    const HRESULT hr = source->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid());
    if (FAILED(hr)) return hr;
    return container->FindConnectionPoint(events, point.Out());
}

}  // namespace

CEventLink::CEventLink(REFIID events, plat::com::CDispatchSink::Handler handler) : m_events(events) {
    auto* sink = new plat::com::CDispatchSink(events, std::move(handler));
    sink->AddRef();
    *m_sink.Out() = sink;
}

HRESULT CEventLink::Advise(IUnknown* source) {
    if (!source) return E_POINTER;
    Unadvise(source);
    CPtr<IConnectionPoint> point;
    const HRESULT hr = FindEventPoint(source, m_events, point);
    if (FAILED(hr)) return hr;
    return point->Advise(m_sink.Get(), &m_cookie);
}

void CEventLink::Unadvise(IUnknown* source) {
    if (!m_cookie || !source) return;
    CPtr<IConnectionPoint> point;
    if (SUCCEEDED(FindEventPoint(source, m_events, point))) point->Unadvise(m_cookie);
    m_cookie = 0;
}

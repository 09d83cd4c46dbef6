#include "panthos/HostDiscovery.h"

#include <chrono>
#include <utility>

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "shell/ShellUtil.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

constexpr uint32_t kPassPeriodMs = 30000;
constexpr uint32_t kTypeDefault = 0x4;
constexpr uint32_t kTypeToken = 0x8;
constexpr DWORD kStopPollMs = 50;

bool SameHost(const CHostEntry& a, const CHostEntry& b) {
    return std::u16string_view(a.GetDescription()) == b.GetDescription() &&
           std::u16string_view(a.GetHost()) == b.GetHost() && a.GetDiscoveryKey() == b.GetDiscoveryKey() &&
           a.GetPort() == b.GetPort();
}

}  // namespace

CHostDiscovery::CHostDiscovery(std::function<bool()> busy)
    : m_busy(std::move(busy)), m_link(DIID__IOVC36_40Events, [this](DISPID id, DISPPARAMS*) {
          if (id == DISPID_AddHostEvent) OnAddHost();
          return S_OK;
      }) {}

CHostDiscovery::~CHostDiscovery() { Detach(); }

HRESULT CHostDiscovery::Attach(CPtr<IOVC36_40> object) {
    Detach();
    m_object = std::move(object);
    if (!m_object) return E_POINTER;
    return m_link.Advise(m_object.Get());
}

void CHostDiscovery::Detach() {
    Stop();
    m_link.Unadvise(m_object.Get());
    m_object.Reset();
}

void CHostDiscovery::SetPort(LONG port) {
    if (m_object) m_object->put_AutoDiscoveryPort(port);
}

void CHostDiscovery::Start(HWND notify) {
    if (m_thread.joinable() || !m_object) return;
    m_notify = notify;
    {
        std::lock_guard lock(m_stopMutex);
        m_stop = false;
    }
    m_done = false;
    m_thread = std::thread([this] {
        Run();
        m_done = true;
    });
}

void CHostDiscovery::Stop() {
    if (!m_thread.joinable()) return;
    ShellLog(LOG_TRACE, "Stopping the discovery thread");
    {
        std::lock_guard lock(m_stopMutex);
        m_stop = true;
    }
    m_stopSignal.notify_all();
    // A pass in progress is ended by the discovery object; one that was about
    // to begin sees the stop flag. Keep asking until the thread has ended.
    CPtr<IOVC36_40Stop> stop;
    if (m_object) m_object.As(&stop);
    while (!m_done) {
        if (stop) stop->StopAutodiscovery();
        std::unique_lock lock(m_stopMutex);
        m_stopSignal.wait_for(lock, std::chrono::milliseconds(kStopPollMs));
    }
    m_thread.join();
}

bool CHostDiscovery::Wait(uint32_t ms) {
    std::unique_lock lock(m_stopMutex);
    return !m_stopSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
}

void CHostDiscovery::Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        if (const uint32_t delay = m_startDelay.exchange(0)) {
            if (!Wait(delay)) break;
            continue;
        }
        if (!m_busy || !m_busy()) {
            {
                std::lock_guard lock(m_passLock);
                {
                    std::lock_guard stop(m_stopMutex);
                    if (m_stop) break;
                }
                CBstr token(u"*");
                m_object->DoAutodiscovery(token.Get());
                Merge();
            }
            if (m_notify) PostMessage(m_notify, WM_REFRESH_HOSTS, 0, 0);
        }
        if (!Wait(kPassPeriodMs)) break;
    }
    CoUninitialize();
}

void CHostDiscovery::OnAddHost() {
    // Runs on the thread that called DoAutodiscovery, which holds the pass lock.
    if (!m_object) return;
    CHostEntry record;
    CBstr name, address;
    SHORT version = 0, type = 0, port = 0;
    m_object->get_AppName(name.Out());
    m_object->get_IPAddrAsString(address.Out());
    m_object->get_usADVersion(&version);
    m_object->get_usADType(&type);
    m_object->get_usPort(&port);
    // The record's fields bound the texts.
    if (!name.View().empty()) record.SetDescription(name.View());
    if (!address.View().empty()) record.SetHost(address.View());
    record.SetPort(int32_t(uint16_t(port)));
    record.SetDiscoveryKey(uint32_t(uint16_t(version) | uint16_t(type)));
    record.SetOID(-1);
    for (const CHostEntry& seen : m_collected)
        if (SameHost(seen, record)) return;
    m_collected.push_back(record);
}

void CHostDiscovery::Merge() {
    std::lock_guard lock(m_shownLock);
    m_shown = std::move(m_collected);
    m_collected.clear();
}

std::vector<CHostEntry> CHostDiscovery::Shown() const {
    std::lock_guard lock(m_shownLock);
    return m_shown;
}

CHostDiscovery::Search CHostDiscovery::Find(std::u16string_view token) {
    Search result;
    std::lock_guard lock(m_passLock);
    if (m_object) {
        CBstr text(token);
        m_object->DoAutodiscovery(text.Get());
    }
    Merge();
    std::lock_guard hosts(m_shownLock);
    result.found = m_shown.size();
    const CHostEntry* chosen = nullptr;
    for (const CHostEntry& host : m_shown) {
        if (m_shown.size() == 1) {
            chosen = &host;
            break;
        }
        const uint32_t key = host.GetDiscoveryKey();
        if ((key & kTypeDefault) && (key & kTypeToken)) {
            chosen = &host;
            break;
        }
        if (key & kTypeToken) chosen = &host;  // the last such host, unless a better one comes
    }
    // A copy the caller owns: the shown hosts go with the next merge.
    if (chosen) result.chosen = std::make_unique<CHostEntry>(*chosen);
    return result;
}

void CHostDiscovery::Resolve(CHostEntry& record) {
    if (!m_object) return;
    CBstr description(record.GetDescription());
    CBstr host(record.GetHost());
    CBstr address;
    SHORT port = 0;
    m_object->GetSelectedHostIPandPort(SHORT(record.GetDiscoveryKey() & 0xFFFF), 0, description.Get(), host.Get(),
                                       address.Out(), &port);
    record.SetPort(int32_t(uint16_t(port)));
    if (address.Get()) record.SetHost(address.View());
}

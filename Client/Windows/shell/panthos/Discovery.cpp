// The discovery thread and the discovered hosts. Lock order: the
// configured-host lock (the collected hosts and every DoAutodiscovery), then
// the discovered-host lock (the shown hosts). The thread never touches a
// window: it posts the list's refresh to the main window.
#include <chrono>
#include <string>
#include <vector>

#include "ShellObj.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Sound.h"
#include "platform/Text.h"
#include "shell/ShellUtil.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

constexpr uint32_t kPassPeriodMs = 30000;
constexpr uint32_t kSearchDelayMs = 30000;
constexpr uint32_t kTypeDefault = 0x4;
constexpr uint32_t kTypeToken = 0x8;
constexpr int kImageDiscoveredKnown = 3;
constexpr int kImageDiscovered = 4;
constexpr DWORD kStopPollMs = 50;

}  // namespace

void COVCShellObj::FreeHosts(CIndexMap& map, int& count) {
    for (int i = 0; i < count; ++i) {
        uintptr_t value = 0;
        if (map.Remove(uint32_t(i), &value)) delete reinterpret_cast<CHostEntry*>(value);
    }
    count = 0;
}

void COVCShellObj::StartDiscoveryThread() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stopDiscovery = false;
    }
    m_discoveryDone = false;
    m_discoveryThread = std::thread([this] {
        DiscoveryThreadProc();
        m_discoveryDone = true;
    });
}

void COVCShellObj::StopDiscoveryThread() {
    if (!m_discoveryThread.joinable()) return;
    ShellLog(LOG_TRACE, "Stopping the discovery thread");
    {
        std::lock_guard lock(m_stopMutex);
        m_stopDiscovery = true;
    }
    m_stopSignal.notify_all();
    // A pass in progress is ended by the discovery object; one that was about
    // to begin sees the stop flag. Keep asking until the thread has ended.
    CPtr<IOVC36_40Stop> stop;
    if (m_discovery) m_discovery.As(&stop);
    while (!m_discoveryDone) {
        if (stop) stop->StopAutodiscovery();
        std::unique_lock lock(m_stopMutex);
        m_stopSignal.wait_for(lock, std::chrono::milliseconds(kStopPollMs));
    }
    m_discoveryThread.join();
}

bool COVCShellObj::DiscoveryWait(uint32_t ms) {
    std::unique_lock lock(m_stopMutex);
    return !m_stopSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopDiscovery; });
}

void COVCShellObj::DiscoveryThreadProc() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        if (const uint32_t delay = m_startDelay.exchange(0)) {
            if (!DiscoveryWait(delay)) break;
            continue;
        }
        if (!m_sessionActive) {
            {
                std::lock_guard lock(m_configuredLock);
                {
                    std::lock_guard stop(m_stopMutex);
                    if (m_stopDiscovery) break;
                }
                CBstr token(u"*");
                m_discovery->DoAutodiscovery(token.Get());
                MergeDiscoveredHosts();
            }
            PostMessage(m_hWnd, WM_REFRESH_HOSTS, 0, 0);
        }
        if (!DiscoveryWait(kPassPeriodMs)) break;
    }
    CoUninitialize();
}

void COVCShellObj::OnAddHostEvent() {
    // Runs on the thread that called DoAutodiscovery, which holds the
    // configured-host lock.
    if (!m_discovery) return;
    auto record = std::make_unique<CHostEntry>();
    CBstr name, address;
    SHORT version = 0, type = 0, port = 0;
    m_discovery->get_AppName(name.Out());
    m_discovery->get_IPAddrAsString(address.Out());
    m_discovery->get_usADVersion(&version);
    m_discovery->get_usADType(&type);
    m_discovery->get_usPort(&port);
    // The record's fields bound the texts.
    if (!name.View().empty()) record->SetDescription(name.View());
    if (!address.View().empty()) record->SetHost(address.View());
    record->SetPort(int32_t(uint16_t(port)));
    record->SetDiscoveryKey(uint32_t(uint16_t(version) | uint16_t(type)));
    record->SetOID(-1);
    for (int i = 0; i < m_collectedCount; ++i) {
        uintptr_t value = 0;
        if (!m_collected.Lookup(uint32_t(i), &value)) continue;
        const auto* seen = reinterpret_cast<const CHostEntry*>(value);
        if (std::u16string_view(seen->GetDescription()) == record->GetDescription() &&
            std::u16string_view(seen->GetHost()) == record->GetHost() &&
            seen->GetDiscoveryKey() == record->GetDiscoveryKey() && seen->GetPort() == record->GetPort())
            return;
    }
    if (m_collected.Add(uint32_t(m_collectedCount), uintptr_t(record.get()))) {
        record.release();
        ++m_collectedCount;
    }
}

void COVCShellObj::MergeDiscoveredHosts() {
    std::lock_guard lock(m_discoveredLock);
    FreeHosts(m_shown, m_shownCount);
    for (int i = 0; i < m_collectedCount; ++i) {
        uintptr_t value = 0;
        if (m_collected.Remove(uint32_t(i), &value)) m_shown.Add(uint32_t(i), value);
    }
    m_shownCount = m_collectedCount;
    m_collectedCount = 0;
}

void COVCShellObj::FillDiscoveredHosts(HWND listView) {
    // Copies taken under the lock; the list (and its notifications) outside it.
    std::vector<CHostEntry> shown;
    {
        std::lock_guard lock(m_discoveredLock);
        for (int i = 0; i < m_shownCount; ++i) {
            uintptr_t value = 0;
            if (m_shown.Lookup(uint32_t(i), &value)) shown.push_back(*reinterpret_cast<const CHostEntry*>(value));
        }
    }
    for (const CHostEntry& host : shown) {
        LVITEM item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = int(SendMessage(listView, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<char16_t*>(host.GetDescription());
        item.iImage = (host.GetDiscoveryKey() & 1) ? kImageDiscoveredKnown : kImageDiscovered;
        auto* copy = new CHostEntry(host);
        item.lParam = LPARAM(copy);
        const int at = int(SendMessage(listView, LVM_INSERTITEM, 0, LPARAM(&item)));
        if (at < 0) {
            delete copy;
            continue;
        }
        LVITEM sub{};
        sub.iItem = at;
        sub.iSubItem = 1;
        sub.pszText = const_cast<char16_t*>(host.GetHost());
        SendMessage(listView, LVM_SETITEMTEXT, WPARAM(at), LPARAM(&sub));
        const std::u16string port = plat::text::Utf8ToWide(std::to_string(host.GetPort()));
        sub.iSubItem = 2;
        sub.pszText = const_cast<char16_t*>(port.c_str());
        SendMessage(listView, LVM_SETITEMTEXT, WPARAM(at), LPARAM(&sub));
    }
}

void COVCShellObj::PlayErrorSound() {
    const char16_t* ovc = GetFolder(u"OVC", nullptr);
    const char16_t* sounds = GetFolder(u"SOUNDS", nullptr);
    const std::u16string path = std::u16string(ovc ? ovc : u"") + u"\\" + (sounds ? sounds : u"") + u"\\ERROR.WAV";
    PlaySound(path.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
}

std::unique_ptr<CHostEntry> COVCShellObj::FindHostByName(std::u16string token) {
    m_listSource = 1;
    DeleteAllItems();
    EnableItem(ID_HOST_PROPERTIES, false);
    m_startDelay = kSearchDelayMs;
    m_hostSearch = 1;
    std::unique_ptr<CHostEntry> result;
    int shown = 0;
    {
        std::lock_guard lock(m_configuredLock);
        if (m_discovery) {
            CBstr text(token);
            m_discovery->DoAutodiscovery(text.Get());
        }
        MergeDiscoveredHosts();
        std::lock_guard hosts(m_discoveredLock);
        shown = m_shownCount;
        const CHostEntry* chosen = nullptr;
        for (int i = 0; i < m_shownCount; ++i) {
            uintptr_t value = 0;
            if (!m_shown.Lookup(uint32_t(i), &value)) continue;
            const auto* host = reinterpret_cast<const CHostEntry*>(value);
            if (m_shownCount == 1) {
                chosen = host;
                break;
            }
            const uint32_t key = host->GetDiscoveryKey();
            if ((key & kTypeDefault) && (key & kTypeToken)) {
                chosen = host;
                break;
            }
            if (key & kTypeToken) chosen = host;  // the last such host, unless a better one comes
        }
        // A copy the caller owns: the shown hosts go with the next merge.
        if (chosen) result = std::make_unique<CHostEntry>(*chosen);
    }
    if (shown == 0) {
        PlayErrorSound();
        const std::u16string text = LoadResourceText(41, 200);
        const std::u16string caption = LoadResourceText(6, 100);
        MessageBox(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
        m_listSource = 0;
    }
    m_hostSearch = 0;
    if (!result) RefreshHostList();
    return result;
}

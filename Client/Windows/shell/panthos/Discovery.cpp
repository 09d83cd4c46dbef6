// The discovered hosts in the host list, and the search by name of a
// start-up connection, over the shell's discovery part.
#include <string>
#include <vector>

#include "ShellObj.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Sound.h"
#include "platform/Text.h"
#include "shell/ShellUtil.h"

namespace {

constexpr uint32_t kSearchDelayMs = 30000;
constexpr int kImageDiscoveredKnown = 3;
constexpr int kImageDiscovered = 4;

}  // namespace

void COVCShellObj::FillDiscoveredHosts(HWND listView) {
    // Copies: the list (and its notifications) outside the discovery's locks.
    for (const CHostEntry& host : m_discovery.Shown()) {
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
    m_discovery.DelayNextPass(kSearchDelayMs);
    m_hostSearch = 1;
    CHostDiscovery::Search search = m_discovery.Find(token);
    if (search.found == 0) {
        PlayErrorSound();
        const std::u16string text = LoadResourceText(41, 200);
        const std::u16string caption = LoadResourceText(6, 100);
        MessageBox(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
        m_listSource = 0;
    }
    m_hostSearch = 0;
    if (!search.chosen) RefreshHostList();
    return std::move(search.chosen);
}

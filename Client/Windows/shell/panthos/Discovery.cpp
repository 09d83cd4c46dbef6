// The search by name of a start-up connection, over the shell's discovery
// part.
#include <string>

#include "ShellObj.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Sound.h"
#include "platform/Text.h"
#include "shell/ShellUtil.h"

namespace {

constexpr uint32_t kSearchDelayMs = 30000;

}  // namespace

void COVCShellObj::PlayErrorSound() {
    const char16_t* ovc = GetFolder(u"OVC", nullptr);
    const char16_t* sounds = GetFolder(u"SOUNDS", nullptr);
    const std::u16string path = std::u16string(ovc ? ovc : u"") + u"\\" + (sounds ? sounds : u"") + u"\\ERROR.WAV";
    PlaySound(path.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
}

std::unique_ptr<CHostEntry> COVCShellObj::FindHostByName(std::u16string token) {
    m_hosts.SetSource(CHostListView::Source::Discovered);
    m_hosts.Clear();
    m_menu.Enable(ID_HOST_PROPERTIES, false);
    m_discovery.DelayNextPass(kSearchDelayMs);
    m_hosts.SetSearching(true);
    CHostDiscovery::Search search = m_discovery.Find(token);
    if (search.found == 0) {
        PlayErrorSound();
        const std::u16string text = LoadResourceText(41, 200);
        const std::u16string caption = LoadResourceText(6, 100);
        MessageBox(m_main.Window(), text.c_str(), caption.c_str(), MB_OK);
        m_hosts.SetSource(CHostListView::Source::Programs);
    }
    m_hosts.SetSearching(false);
    if (!search.chosen) RefreshHosts();
    return std::move(search.chosen);
}

// The external host directory: one key=value text per host (Host, Port,
// Description, any case), fetched through ExternalConfigLoader from the
// entry template with the host's name.
#pragma once

#include <string>

#include "platform/Window.h"
#include "shell/HostList.h"

class CSettingsStore;

class CExternalHosts {
public:
    // Shown before a directory entry's name, with a blank.
    static constexpr std::u16string_view kPrefix = u"[E]";

    virtual ~CExternalHosts() = default;
    void SetUrls(const CSettingsStore& store);
    // 1 when the entry gave at least one pair.
    int GetHost(const char16_t* name, CHostEntry& record);
    int FillListBox(HWND listBox, bool emptyFirst);

    const std::u16string& GetListUrl() const { return m_listUrl; }
    const std::u16string& GetEntryTemplate() const { return m_entryTemplate; }

private:
    std::u16string m_listUrl;
    std::u16string m_entryTemplate;
};

#include "shell/ExternalHosts.h"

#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/ExternalConfig.h"
#include "shell/SettingsStore.h"
#include "shell/ShellUtil.h"

void CExternalHosts::SetUrls(const CSettingsStore& store) {
    if (store.HasValue(SETTING_HOST_DIRECTORY_URL)) m_listUrl = store.GetString(SETTING_HOST_DIRECTORY_URL);
    if (store.HasValue(SETTING_HOST_ENTRY_URL)) m_entryTemplate = store.GetString(SETTING_HOST_ENTRY_URL);
}

int CExternalHosts::GetHost(const char16_t* name, CHostEntry& record) {
    if (m_entryTemplate.empty()) return 0;
    std::u16string_view entry = name ? name : u"";
    // "[E] name": the prefix and its blank go, but only when both are there.
    if (entry.substr(0, kPrefix.size()) == kPrefix) {
        entry.remove_prefix(kPrefix.size());
        if (!entry.empty() && entry.front() == u' ') entry.remove_prefix(1);
    }
    record.Reset();
    const auto url = FormatTemplate(m_entryTemplate, entry, 1024);
    if (!url) {
        ShellLog(LOG_ERROR, "CExternalHosts::GetHost: the address for %s is too long",
                 plat::text::WideToUtf8(entry).c_str());
        return 0;
    }
    ExternalConfigLoader loader;
    loader.Load(*url);
    const CNameValueList& list = loader.GetList();
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const CNameValue& pair = list.Get(i);
        if (EqualNoCase(pair.GetName(), u"Host")) record.SetHost(pair.GetValue());
        else if (EqualNoCase(pair.GetName(), u"Port")) record.SetPort(ParseDecimal(pair.GetValue()));
        else if (EqualNoCase(pair.GetName(), u"Description")) record.SetDescription(pair.GetValue());
    }
    return list.GetCount() > 0 ? 1 : 0;
}

int CExternalHosts::FillListBox(HWND listBox, bool emptyFirst) {
    if (emptyFirst) SendMessage(listBox, LB_RESETCONTENT, 0, 0);
    if (m_listUrl.empty()) return 0;
    ExternalConfigLoader loader;
    loader.Load(m_listUrl);
    const CNameValueList& list = loader.GetList();
    int added = 0;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const std::u16string text = std::u16string(kPrefix) + u" " + list.Get(i).GetValue();
        const LRESULT index = SendMessage(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (index < 0) continue;
        SendMessage(listBox, LB_SETITEMDATA, WPARAM(index), LPARAM(-1));
        ++added;
    }
    return added;
}

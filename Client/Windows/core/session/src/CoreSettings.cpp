// What the settings change beyond themselves, the control's activation,
// automation queries.
#include "core/session/ClientCore.h"
#include "core/session/LogicalFolders.h"
#include "core/support/LogFile.h"

namespace {

constexpr UINT kListSetCurSel = 0x0186;
constexpr UINT kListGetText = 0x0189;
constexpr UINT kListGetTextLen = 0x018A;
constexpr int kIdOk = 1;

}  // namespace

void CClientCore::Suspend() {
    m_devices->SuspendAll();
    if (m_scanner->IsPresent()) m_scanner->SetScannerState(SCANNER_STATE_OFF);
}

void CClientCore::Resume() {
    m_devices->ResumeAll();
    if (m_scanner->IsPresent() && m_inputState.scannerWanted) m_scanner->SetScannerState(SCANNER_STATE_ON);
}

void CClientCore::ScannerOnExitChanged(int32_t value) {
    if (m_scanner->IsPresent()) {
        m_scanner->SetScannerState(SCANNER_STATE_OFF);
        m_scanner->SetGlobalParameter(0, value);
    }
}

void CClientCore::CodePageChanged(uint32_t codePage) {
    if (m_writer) m_writer->SetCodePage(codePage);
    if (m_framer) m_framer->SetCodePage(codePage);
}

int32_t CClientCore::SetRFIDProperty(std::string_view name, std::string_view value) {
    return m_devices->SetRfidProperty(name, value);
}

void CClientCore::SetAppDirectory(std::u16string_view folder) {
    m_moduleFolder = folder;
    RegisterFolder(u"APP", u"", m_moduleFolder.c_str());
}

// ---- Automation queries

intptr_t CClientCore::AutomationQuery(void* context, uint32_t query, intptr_t a, intptr_t b) {
    static const char16_t kIdentity[] = u"OVOrvade";
    auto* core = static_cast<CClientCore*>(context);
    switch (query) {
    case AUTO_QUERY_HIGHEST: return AUTO_QUERY_MODULE_FOLDER;
    case AUTO_QUERY_IDENTITY: return reinterpret_cast<intptr_t>(kIdentity);
    case AUTO_QUERY_VERSION: return 54100;
    default: break;
    }
    if (query < AUTO_QUERY_HIGHEST || query > AUTO_QUERY_MODULE_FOLDER) return -1;
    if (!core) return (query == AUTO_QUERY_SCREEN_TEXT || query == AUTO_QUERY_MODULE_FOLDER) ? 0 : -1;
    switch (query) {
    case AUTO_QUERY_DISCONNECT:
        core->Disconnect(nullptr, '9');
        return 0;
    case AUTO_QUERY_SCREEN_TEXT:
        if (auto* rows = reinterpret_cast<int32_t*>(a)) *rows = core->m_screen.Rows();
        if (auto* columns = reinterpret_cast<int32_t*>(b)) *columns = core->m_screen.Columns();
        return reinterpret_cast<intptr_t>(core->m_screen.Characters());
    case AUTO_QUERY_KEY:
        core->OnKeyDown(static_cast<uint32_t>(a), 1);
        return -1;
    case AUTO_QUERY_TYPE_TEXT: {
        const auto* text = reinterpret_cast<const char16_t*>(a);
        if (!text) return -1;
        if (b) {
            // Back to the start of the field: at most one backspace per
            // character in it, and none more once one changes nothing.
            for (size_t left = core->m_field.text.size();
                 left > 0 && core->m_field.command != InputCommand::None && !core->m_field.text.empty(); --left) {
                const size_t before = core->m_field.text.size();
                core->OnChar(VK_BACK, 1, 0);
                if (core->m_field.text.size() == before) break;
            }
        }
        for (; *text; ++text) core->OnChar(*text, 1, 0);
        return -1;
    }
    case AUTO_QUERY_MENU_ITEM_LENGTH:
    case AUTO_QUERY_MENU_ITEM_TEXT:
    case AUTO_QUERY_MENU_CHOOSE: {
        // The menu box answers the list messages sent to its own window.
        const HWND menu = core->m_box.mode == DialogMode::Menu ? core->m_box.window : 0;
        if (!menu || !IsWindow(menu)) return -1;
        if (query == AUTO_QUERY_MENU_ITEM_LENGTH) {
            const LRESULT length = SendMessage(menu, kListGetTextLen, static_cast<WPARAM>(a), 0);
            return length < 0 ? -1 : length;
        }
        if (query == AUTO_QUERY_MENU_ITEM_TEXT) return SendMessage(menu, kListGetText, static_cast<WPARAM>(a), b) < 0 ? -1 : 0;
        if (SendMessage(menu, kListSetCurSel, static_cast<WPARAM>(a), 0) < 0) return -1;
        SendMessage(menu, WM_COMMAND, kIdOk, 0);
        return 0;
    }
    case AUTO_QUERY_MODULE_FOLDER:
        return reinterpret_cast<intptr_t>(core->m_moduleFolder.c_str());
    default:
        return -1;
    }
}

void CClientCore::NotifyAutomation(const char16_t* hostName) {
    m_automation->Notify(AUTO_SESSION_START, reinterpret_cast<intptr_t>(hostName), 0);
}

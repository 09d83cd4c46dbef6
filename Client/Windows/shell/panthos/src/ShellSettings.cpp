#include "panthos/ShellSettings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Text.h"
#include "shell/ExternalConfig.h"
#include "shell/ShellUtil.h"

using plat::com::CBstr;

namespace {

constexpr const char16_t* kDefaultTitle = u"Quillmar Client";
// The client version pushed into the control.
constexpr const char16_t* kClientVersion = u"5.4.1.01";

}  // namespace

void CShellSettings::Load() {
    m_store = std::make_unique<CSettingsStore>(u"");
    LoadExternalConfigs(*m_store, nullptr, nullptr);
    ApplyRunOverrides();
    ApplyLogSettings(*m_store);
    m_colorDepth = GetDisplayColorDepth();
}

void CShellSettings::ApplyRunOverrides() {
    // scripts/run --connect HOST:PORT: a start-up connection for this run only,
    // never written to the device's settings.
    const char* connect = std::getenv("ORVADE_CONNECT");
    if (!connect || !*connect) return;
    const std::string text(connect);
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return;
    const std::u16string host = plat::text::Utf8ToWide(text.substr(0, colon));
    const int32_t port = ParseDecimal(plat::text::Utf8ToWide(text.substr(colon + 1)));
    if (port <= 0 || port > 65535) return;
    m_store->SetString(SETTING_AUTOLAUNCH_ADDRESS, host.c_str());
    m_store->SetInt(SETTING_AUTOLAUNCH_PORT, port);
}

bool CShellSettings::IsZero(int n) const { return m_store->HasValue(n) && m_store->GetInt(n) == 0; }
bool CShellSettings::IsNonZero(int n) const { return m_store->HasValue(n) && m_store->GetInt(n) != 0; }

bool CShellSettings::HasStartUpConnection() const {
    return (m_store->HasValue(SETTING_AUTOLAUNCH_ADDRESS) && m_store->HasValue(SETTING_AUTOLAUNCH_PORT)) ||
           m_store->HasValue(SETTING_AUTOCONNECT_HOST);
}

void CShellSettings::LoadSkin(const RECT& workArea, RECT* frame, std::u16string* title) {
    m_skin = std::make_unique<CSkinWindow>(HWND(0));
    CSkin& skin = m_skin->Skin();
    const std::u16string skinPath = DefaultSkinPath();
    if (m_skin->Load(skinPath.c_str()) != 0) {
        skin.SetDefaults(workArea);
        *frame = workArea;
        *title = kDefaultTitle;
    } else {
        *frame = skin.skin;
        *title = skin.title;
    }
}

void CShellSettings::Push(IOVC* ovc, IOVCClassic* c, HWND shellWindow) const {
    if (!ovc || !c) return;
    const CSettingsStore& s = *m_store;
    const auto has = [&](int n) { return s.HasValue(n) != 0; };
    const auto text = [&](int n) { return CBstr(s.GetString(n) ? s.GetString(n) : u""); };
    const auto low16 = [&](int n) { return SHORT(s.GetInt(n) & 0xFFFF); };

    ovc->put_BaseRegKey(CBstr(GetRegistryRoot()).Get());
    if (has(SETTING_FONT_NAME)) c->put_FontName(text(SETTING_FONT_NAME).Get());
    if (has(SETTING_FONT_SIZE)) c->put_FontSize(low16(SETTING_FONT_SIZE));
    if (has(SETTING_NUM_COLUMNS)) c->put_NumColumns(low16(SETTING_NUM_COLUMNS));
    if (has(SETTING_NUM_ROWS)) c->put_NumRows(low16(SETTING_NUM_ROWS));
    if (has(SETTING_MONO_WIDTH)) c->put_MonoWidth(SHORT(s.GetBool(SETTING_MONO_WIDTH) & 0xFFFF));
    if (has(SETTING_CELL_WIDTH)) c->put_CellWidth(ULONG(LONG(low16(SETTING_CELL_WIDTH))));
    if (has(SETTING_CELL_HEIGHT)) c->put_CellHeight(ULONG(LONG(low16(SETTING_CELL_HEIGHT))));
    ovc->Initialize();
    c->SetTerminalID(has(SETTING_TERMINAL_ID) ? s.GetInt(SETTING_TERMINAL_ID) : (m_skin ? m_skin->Skin().terminalId : 0));
    if (has(SETTING_DEFAULT_TEXT_MODE)) c->put_DefaultTextMode(s.GetBool(SETTING_DEFAULT_TEXT_MODE));
    if (has(SETTING_INCLUDE_DATA_ON_WIDGET)) c->put_IncludeDataOnWidget(s.GetBool(SETTING_INCLUDE_DATA_ON_WIDGET));
    if (has(SETTING_CR_MODE)) c->put_CRMode(s.GetBool(SETTING_CR_MODE));
    if (has(SETTING_EXTENDED_GETEVENT)) c->put_ExtendedGetevent(s.GetBool(SETTING_EXTENDED_GETEVENT));
    if (has(SETTING_WRAP)) c->put_Wrap(s.GetBool(SETTING_WRAP));
    if (has(SETTING_ACTION_AS_ENTER)) c->put_ActionAsEnter(s.GetBool(SETTING_ACTION_AS_ENTER));
    if (has(SETTING_HIDE_MENU_KEY)) c->put_HideMenuKey(low16(SETTING_HIDE_MENU_KEY));
    if (has(SETTING_MENU_EXIT_KEY)) c->put_MenuExitKey(s.GetInt(SETTING_MENU_EXIT_KEY));
    bool logging = false;
    if (has(SETTING_LOG_FILE_NAME)) {
        c->put_LogFileName(text(SETTING_LOG_FILE_NAME).Get());
        logging = true;
    }
    if (has(SETTING_ENABLE_LOGGING)) {
        c->put_EnableLogging(s.GetBool(SETTING_ENABLE_LOGGING));
        logging = true;
    }
    if (has(SETTING_LOG_CLEAR_ON_OPEN)) {
        c->put_LogClearOnOpen(s.GetBool(SETTING_LOG_CLEAR_ON_OPEN));
        logging = true;
    }
    if (logging) c->ApplyLoggingOptions();
    if (has(SETTING_SILENT_MODE)) c->put_SilentMode(s.GetBool(SETTING_SILENT_MODE));
    if (has(SETTING_SCAN_AHEAD_MODE)) c->put_ScanAheadMode(s.GetInt(SETTING_SCAN_AHEAD_MODE));
    if (has(SETTING_SUPP_MODE)) c->put_SuppMode(s.GetInt(SETTING_SUPP_MODE));
    if (has(SETTING_SUPP2)) c->put_Supp2(s.GetBool(SETTING_SUPP2));
    if (has(SETTING_SUPP5)) c->put_Supp5(s.GetBool(SETTING_SUPP5));
    if (has(SETTING_SUPP_RETRIES)) c->put_SuppRetries(s.GetInt(SETTING_SUPP_RETRIES));
    if (has(SETTING_CODE39_FA)) c->put_Code39FA(s.GetBool(SETTING_CODE39_FA));
    if (has(SETTING_ENABLE_SCANNER_ON_EXIT)) c->put_EnableScannerOnExit(s.GetBool(SETTING_ENABLE_SCANNER_ON_EXIT));
    c->put_IgnoreRadio(s.GetBool(SETTING_IGNORE_RADIO));
    c->put_RSSIThreshold(ULONG(s.GetInt(SETTING_RSSI_THRESHOLD)));
    c->put_RadioWakeDelay(ULONG(s.GetInt(SETTING_RADIO_WAKE_DELAY)));
    c->put_CodePage(ULONG(s.GetInt(SETTING_CODE_PAGE)));
    c->put_EscapeIncludeData(s.GetBool(SETTING_ESCAPE_INCLUDE_DATA));
    if (has(SETTING_UPCE0_OPTIONS)) c->put_UPCE0Options(ULONG(s.GetInt(SETTING_UPCE0_OPTIONS)));
    if (has(SETTING_SYMBOL_OVERRIDE)) c->put_SymbolOverride(text(SETTING_SYMBOL_OVERRIDE).Get());
    const auto rfid = [&](const char16_t* name, const std::u16string& value) {
        c->SetRFIDProperty(CBstr(name).Get(), CBstr(value).Get());
    };
    const auto unsignedText = [&](int n) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(uint32_t(s.GetInt(n))));
        return plat::text::Utf8ToWide(digits);
    };
    if (has(SETTING_RFID_FAST_SEARCH)) rfid(u"FastSearch", s.GetBool(SETTING_RFID_FAST_SEARCH) ? u"1" : u"0");
    if (has(SETTING_RFID_MAX_TAGS)) rfid(u"MaxTags", unsignedText(SETTING_RFID_MAX_TAGS));
    if (has(SETTING_RFID_ATTENUATION)) rfid(u"Attenuation", unsignedText(SETTING_RFID_ATTENUATION));
    c->put_ReconnectDelay(ULONG(s.GetInt(SETTING_RECONNECT_DELAY)));
    c->put_ClientVersion(CBstr(kClientVersion).Get());
    c->put_SipStateUp(0);
    ovc->put_ShellWindowHandle(LONG(shellWindow));
}


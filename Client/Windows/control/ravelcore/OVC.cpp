#include "OVC.h"

#include <cstring>
#include <string>

#include "control/ControlDialogs.h"
#include "control/ScreenView.h"
#include "core/extensions/ExtensionModule.h"
#include "core/hooks/CoreMessages.h"
#include "core/extensions/Extensions.h"
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Text.h"
#include "platform/Window.h"
#include "platform/exports/PropertyPages.h"

namespace {

using plat::com::BstrView;

}  // namespace

COVC::COVC() : m_events(this, DIID__IOVCEvents) {}

COVC::~COVC() {
    if (m_shellHelper) FreeLibrary(m_shellHelper);
}

HRESULT COVC::FinalConstruct() {
    // Without the resource library the control is still made; the user has
    // been told.
    ModuleInit();
    return S_OK;
}

void COVC::FinalRelease() {
    m_events.UnadviseAll();
    DestroyControlWindow();
    ModuleTerm();
}

template <class Change>
bool COVC::ChangeProperties(Change change) {
    if (!m_core) return false;
    CallScope scope(*this);
    CoreProperties properties = m_core->Settings().Properties();
    change(properties);
    m_core->Settings().SetProperties(properties);
    return true;
}

// A setter: S_OK whether or not there is a core to take the value.
template <class Change>
HRESULT COVC::Put(Change change) {
    ChangeProperties(change);
    return S_OK;
}

template <class Call>
HRESULT COVC::WithCore(Call call) {
    if (!m_core) return S_OK;
    CallScope scope(*this);
    call(*m_core);
    return S_OK;
}

// ---- IOVC

HRESULT COVC::GetPropSheepCount(LONG* count) {
    if (!count) return S_FALSE;
    if (CExtentions* ext = GetModuleExtentions()) *count = ext->GetPropSheetCount();
    return S_OK;
}

HRESULT COVC::FillAllPropPages(LONG* pages, LONG* count) {
    if (!pages || !count) return S_FALSE;
    if (CExtentions* ext = GetModuleExtentions())
        *count = ext->FillAllPropPages(reinterpret_cast<PROPSHEETPAGE*>(pages));
    return S_OK;
}

HRESULT COVC::IsAssociatedWithRadio(LONG* associated) {
    if (m_core && associated) *associated = m_core->Info().IsAssociated() ? 1 : 0;
    return S_OK;
}

HRESULT COVC::put_ShellWindowHandle(LONG hwnd) {
    if (CModuleContext* context = GetModuleContext()) context->shellWindow = HWND(hwnd);
    return WithCore([&](CClientCore& core) { core.Info().SetShellWindow(HWND(hwnd)); });
}

HRESULT COVC::GetConfigPropSheetCount(LONG* count) {
    if (!count) return S_FALSE;
    if (CExtentions* ext = GetModuleExtentions()) *count = ext->GetConfigPropSheetCount();
    return S_OK;
}

HRESULT COVC::FillAllConfigPropPages(LONG* pages, LONG* count) {
    if (!pages || !count) return S_FALSE;
    if (CExtentions* ext = GetModuleExtentions()) {
        const std::u16string key = m_core ? m_core->Settings().Properties().baseRegistryKey : std::u16string();
        *count = ext->FillAllConfigPropPages(reinterpret_cast<PROPSHEETPAGE*>(pages), m_core ? key.c_str() : nullptr);
    }
    return S_OK;
}

HRESULT COVC::put_BaseRegKey(BSTR key) {
    return Put([&](CoreProperties& p) { p.baseRegistryKey = BstrView(key); });
}

HRESULT COVC::Initialize() {
    return WithCore([&](CClientCore& core) { core.Start(); });
}

HRESULT COVC::CheckInputTimeOut() {
    CallScope scope(*this);
    if (m_core) m_core->OnPoll();
    CheckForeground();
    return S_OK;
}

HRESULT COVC::ShellActivate(LONG activate) {
    CallScope scope(*this);
    LogWrite(LOG_TRACE, activate ? "ShellActivate - Active" : "ShellActivate - Inactive");
    CheckForeground();
    return S_OK;
}

bool COVC::CheckForeground() {
    // Active while the foreground window is the control window's top-level
    // window or lies under it. The chain from the foreground window goes
    // through owners too (GetParent), so a box the control owns, such as the
    // menu or error box, keeps the session running.
    bool active = false;
    const HWND foreground = GetForegroundWindow();
    if (m_window && foreground) {
        HWND top = m_window;
        while (HWND parent = GetParent(top)) top = parent;
        for (HWND w = foreground; w && !active; w = GetParent(w)) active = w == top;
    }
    if (active != m_active) {
        m_active = active;
        if (active) {
            LogWrite(LOG_TRACE, "Resuming");
            if (m_core) m_core->Resume();
        } else {
            LogWrite(LOG_TRACE, "Suspending");
            if (m_core) m_core->Suspend();
        }
    }
    return active;
}

// ---- IOVCClassic

HRESULT COVC::Disconnect() {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    m_core->EndSession();
    // Empty status, wait cursor off: the null text keeps what the handler left.
    if (m_window) PostMessage(m_window, WM_CORE_BUSY_STATUS, 0, 0);
    return S_OK;
}

HRESULT COVC::SetCursor(int row, int column) {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    m_core->MoveCursor(row, column);
    return S_OK;
}

HRESULT COVC::GetTerminalID(ULONG* id) {
    if (!id) return E_INVALIDARG;
    if (!m_core) return S_FALSE;
    *id = ULONG(m_core->Info().TerminalId());
    return S_OK;
}

HRESULT COVC::GetProgramDirectory(BSTR* dir) {
    if (!dir) return E_POINTER;
    if (!m_core) return S_FALSE;
    SysFreeString(*dir);
    *dir = plat::com::AllocBstr(m_core->ModuleFolder());
    return S_OK;
}

HRESULT COVC::put_bstrAppDirectory(BSTR path) {
    return WithCore([&](CClientCore& core) { core.SetAppDirectory(BstrView(path)); });
}

HRESULT COVC::put_IPAddressAsString(BSTR address) {
    return Put([&](CoreProperties& p) { p.peerAddress = BstrView(address); });
}

HRESULT COVC::SetTerminalID(LONG id) {
    if (!m_core) return S_FALSE;
    m_core->Settings().SetTerminalID(id);
    return S_OK;
}

HRESULT COVC::put_DefaultTextMode(LONG v) {
    return Put([&](CoreProperties& p) { p.defaultTextMode = v; });
}

HRESULT COVC::put_CRMode(LONG v) {
    return Put([&](CoreProperties& p) { p.crMode = v; });
}

HRESULT COVC::put_ExtendedGetevent(LONG v) {
    return Put([&](CoreProperties& p) { p.extendedGetevent = v; });
}

HRESULT COVC::put_ClientVersion(BSTR version) {
    return Put([&](CoreProperties& p) { p.clientVersion = BstrView(version); });
}

HRESULT COVC::put_SipStateUp(LONG v) {
    return Put([&](CoreProperties& p) { p.sipStateUp = v; });
}

HRESULT COVC::put_Wrap(LONG v) {
    return Put([&](CoreProperties& p) { p.wrap = v; });
}

HRESULT COVC::IncreaseHeightForMenu() {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    m_core->CreateBackBuffer();
    return S_OK;
}

HRESULT COVC::UndoIncreaseForMenu() {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    m_core->CreateBackBuffer();
    return S_OK;
}

HRESULT COVC::put_HideMenuKey(SHORT v) {
    return Put([&](CoreProperties& p) { p.hideMenuKey = v; });
}

HRESULT COVC::put_LogFileName(BSTR path) {
    if (CLogFile* log = GetModuleLog()) log->SetPath(BstrView(path));
    return S_OK;
}

HRESULT COVC::put_LogClearOnOpen(LONG v) {
    if (CLogFile* log = GetModuleLog()) log->SetClearOnOpen(v != 0);
    return S_OK;
}

HRESULT COVC::put_EnableLogging(LONG v) {
    if (CLogFile* log = GetModuleLog()) log->SetLevel(v ? LOG_TRACE : 0);
    return S_OK;
}

HRESULT COVC::ApplyLoggingOptions() {
    if (CLogFile* log = GetModuleLog()) log->ApplyDefaultPath();
    return S_OK;
}

HRESULT COVC::put_SilentMode(LONG v) {
    ChangeProperties([&](CoreProperties& p) { p.silentMode = v; });
    if (CScannerExtension* scanner = GetModuleScanner()) {
        scanner->SetScannerState(1);
        scanner->SetScanBeep(v == 0 ? 1 : 0);
    }
    return S_OK;
}

// Nothing reads them back; the out values are left as they were.
HRESULT COVC::get_FontName(BSTR*) { return S_OK; }
HRESULT COVC::get_FontSize(SHORT*) { return S_OK; }

HRESULT COVC::put_FontName(BSTR name) {
    return Put([&](CoreProperties& p) { p.cells.fontName = BstrView(name); });
}

HRESULT COVC::put_FontSize(SHORT v) {
    return Put([&](CoreProperties& p) { p.cells.fontSize = v; });
}

HRESULT COVC::put_MenuExitKey(LONG v) {
    return Put([&](CoreProperties& p) { p.menuExitKey = v; });
}

HRESULT COVC::put_NumColumns(SHORT v) {
    return Put([&](CoreProperties& p) { p.cells.numColumns = v; });
}

HRESULT COVC::put_NumRows(SHORT v) {
    return Put([&](CoreProperties& p) { p.cells.numRows = v; });
}

HRESULT COVC::put_ActionAsEnter(LONG v) {
    return Put([&](CoreProperties& p) { p.actionAsEnter = v; });
}

HRESULT COVC::put_IncludeDataOnWidget(LONG v) {
    return Put([&](CoreProperties& p) { p.includeDataOnWidget = v; });
}

HRESULT COVC::put_ScanAheadMode(LONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetScanAheadMode(v); });
}

HRESULT COVC::put_SuppMode(LONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetSuppMode(v); });
}

HRESULT COVC::put_Supp2(LONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetSupp2(v); });
}

HRESULT COVC::put_Supp5(LONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetSupp5(v); });
}

HRESULT COVC::put_SuppRetries(LONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetSuppRetries(v); });
}

HRESULT COVC::put_Code39FA(LONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetCode39FA(v); });
}

HRESULT COVC::put_IgnoreRadio(LONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetIgnoreRadio(v); });
}

HRESULT COVC::put_RSSIThreshold(ULONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetRSSIThreshold(int32_t(v)); });
}

HRESULT COVC::put_RadioWakeDelay(ULONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetRadioWakeDelay(int32_t(v)); });
}

HRESULT COVC::put_CodePage(ULONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetCodePage(v); });
}

HRESULT COVC::put_EscapeIncludeData(LONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetEscapeIncludeData(v); });
}

HRESULT COVC::put_UPCE0Options(ULONG v) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetUPCE0Options(int32_t(v)); });
}

HRESULT COVC::put_SymbolOverride(BSTR text) {
    return WithCore([&](CClientCore& core) { core.Decoders().SetSymbolOverride(BstrView(text)); });
}

HRESULT COVC::SetRFIDProperty(BSTR name, BSTR value) {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    // A null string stays null; an empty one is an empty text.
    const std::string nameText = plat::text::WideToBytes(CP_ACP, BstrView(name));
    const std::string valueText = plat::text::WideToBytes(CP_ACP, BstrView(value));
    m_core->SetRFIDProperty(name ? std::string_view(nameText.c_str(), nameText.size()) : std::string_view(),
                            value ? std::string_view(valueText.c_str(), valueText.size()) : std::string_view());
    return S_OK;
}

HRESULT COVC::put_ReconnectDelay(ULONG v) {
    // Beyond 120000 (or beyond a signed value) the delay in force stays.
    if (m_core && v <= 120000) m_core->Settings().SetReconnectDelay(int32_t(v));
    return S_OK;
}

HRESULT COVC::put_MonoWidth(LONG v) {
    return Put([&](CoreProperties& p) { p.monoWidth = v; });
}

HRESULT COVC::put_CellWidth(ULONG v) {
    return Put([&](CoreProperties& p) { p.cells.cellWidth = int32_t(v); });
}

HRESULT COVC::put_CellHeight(ULONG v) {
    return Put([&](CoreProperties& p) { p.cells.cellHeight = int32_t(v); });
}

HRESULT COVC::put_EnableScannerOnExit(LONG v) {
    return WithCore([&](CClientCore& core) { core.Settings().SetEnableScannerOnExit(v); });
}

HRESULT COVC::Connect(BSTR name) {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    const std::u16string host(BstrView(name));
    m_core->NotifyAutomation(host.c_str());
    return S_OK;
}

HRESULT COVC::SetFeatureNum(ULONG feature, ULONG value) {
    if (!m_core) return S_FALSE;
    if (feature > ULONG(INT32_MAX)) return E_INVALIDARG;
    return m_core->Settings().SetIntSetting(int32_t(feature), value);
}

HRESULT COVC::SetFeatureStr(ULONG feature, BSTR value) {
    if (!m_core) return S_FALSE;
    if (feature > ULONG(INT32_MAX)) return E_INVALIDARG;
    const std::u16string text(BstrView(value));
    return m_core->Settings().SetStringSetting(int32_t(feature), text.c_str());
}

// ---- IOVCData

HRESULT COVC::Input(int count, const unsigned char* bytes, bool framed) {
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    switch (m_inputMutex.Enter()) {
    case CInputMutex::Wait::Acquired: break;
    case CInputMutex::Wait::Abandoned:  // given back already; nothing delivered
    case CInputMutex::Wait::Failed: return S_FALSE;
    }
    // The replies leave as OVCDataOutEvent inside this call; the core may
    // pump messages that come back in here on this thread. The status the
    // input leaves is shown as it returns.
    // Only an input on the window's own thread puts the status off: the
    // status messages of another thread's input come to the window's
    // thread and are shown there at once.
    struct InputScope {
        COVC& self;
        const bool counted;
        explicit InputScope(COVC& s) : self(s), counted(pthread_equal(pthread_self(), s.m_windowThread)) {
            if (counted) ++self.m_inputDepth;
        }
        ~InputScope() {
            if (counted && --self.m_inputDepth == 0) self.FlushStatus();
        }
    };
    try {
        InputScope input(*this);
        if (bytes && count > 0) m_core->OnReceive(bytes, count, framed);
    } catch (...) {
        m_inputMutex.Leave();
        LogWrite(LOG_ERROR, "OVCStreamInput: the core failed");
        return E_FAIL;
    }
    m_inputMutex.Leave();
    return S_OK;
}

HRESULT COVC::OVCCommandInput(int count, unsigned char* command) { return Input(count, command, false); }
HRESULT COVC::OVCStreamInput(int count, unsigned char* data) { return Input(count, data, true); }

// ---- Events

HRESULT COVC::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return plat::com::EnumPoints({&m_events}, points);
}

HRESULT COVC::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    return plat::com::FindPoint({&m_events}, riid, point);
}

HRESULT COVC::InterfaceSupportsErrorInfo(REFIID riid) { return riid == IOVC::kIID ? S_OK : S_FALSE; }

void COVC::Fire_OVCDataOutEvent(int nSize, const void* pData) {
    // The address is pointer-sized: a 32-bit integer cannot carry it here.
    VARIANT args[2] = {};  // last to first: the data, then the size
    args[0].vt = VT_I8;
    args[0].llVal = LONGLONG(reinterpret_cast<intptr_t>(pData));
    args[1] = plat::com::VariantLong(nSize);
    m_events.FireReversed(DISPID_OVCDataOutEvent, args, 2);
}

void COVC::Fire_OVCDisconnect(int id) { m_events.Fire(DISPID_OVCDisconnect, {plat::com::VariantLong(id)}); }

void COVC::Fire_OVCToggleHideMenu() { m_events.Fire(DISPID_OVCToggleHideMenu); }

// ---- IOVCHeadless

HRESULT COVC::ShowNoScreen() {
    if (m_window) return E_UNEXPECTED;
    m_showScreen = false;
    return S_OK;
}

HRESULT COVC::LogToHostFile(const char* path) {
    if (!path || !*path) return E_INVALIDARG;
    CLogFile* log = GetModuleLog();
    if (!log) return E_FAIL;
    log->SetHostPath(path);
    log->SetLevel(LOG_TRACE);
    log->Begin();
    return S_OK;
}

HRESULT COVC::WriteLog(ULONG level, const char* text) {
    if (CLogFile* log = GetModuleLog()) log->Write(level, text);
    return S_OK;
}

HRESULT COVC::ScanInput(int length, const char16_t* text) {
    if (length < 0 || (length > 0 && !text)) return E_INVALIDARG;
    if (!m_core) return S_FALSE;
    CallScope scope(*this);
    OnScan(m_window, DeviceDataRecord{1, 0, 0, length, text});
    return S_OK;
}

HRESULT COVC::GetDroppedEvents(ULONGLONG* dropped, LONG* capacity) {
    if (!dropped || !capacity) return E_POINTER;
    if (!m_core) return S_FALSE;
    *dropped = m_core->InputState().droppedEvents;
    *capacity = CClientCore::kQueueCapacity;
    return S_OK;
}

HRESULT COVC::ReportBoxes(void (*report)(void* context, const char* text), void* context) {
    m_boxReport = report;
    m_boxReportContext = context;
    if (m_dialogs) m_dialogs->SetReport(report, context);
    return S_OK;
}

// COVC, the client control: one CClientCore, made and deleted with the
// control's window, to which almost every call is forwarded.
#pragma once

#include <pthread.h>

#include <memory>
#include <span>
#include <vector>

#include "control/InputMutex.h"
#include "control/Ravelcore.h"
#include "control/RavelcoreHeadless.h"
#include "core/hooks/CoreHooks.h"
#include "core/widgets/WidgetWindowLayer.h"
#include "platform/ComServer.h"
#include "platform/Message.h"
#include "platform/Window.h"

class CClientCore;
class CControlDialogs;
struct DeviceDataRecord;
class IScreenView;

class COVC final : public plat::com::CObject<plat::com::CDual<IOVC, COVC>, plat::com::CDual<IOVCClassic, COVC>,
                                             plat::com::CDual<IOVCData, COVC>, IConnectionPointContainer,
                                             ISupportErrorInfo, IHostedControl, IOVCHeadless> {
public:
    using Member = plat::com::DispMember<COVC>;
    static std::span<const Member> Members(IOVC*);
    static std::span<const Member> Members(IOVCClassic*);
    static std::span<const Member> Members(IOVCData*);

    COVC();
    ~COVC() override;

    HRESULT FinalConstruct() override;
    void FinalRelease() override;

    // IOVC
    HRESULT GetPropSheepCount(LONG* plPropSheetCount) override;
    HRESULT FillAllPropPages(LONG* pPropSheetStruct, LONG* plPages) override;
    HRESULT IsAssociatedWithRadio(LONG* pbAssociated) override;
    HRESULT put_ShellWindowHandle(LONG hwnd) override;
    HRESULT GetConfigPropSheetCount(LONG* plPropSheetCount) override;
    HRESULT FillAllConfigPropPages(LONG* pPropSheetStruct, LONG* plPages) override;
    HRESULT put_BaseRegKey(BSTR key) override;
    HRESULT Initialize() override;
    HRESULT CheckInputTimeOut() override;
    HRESULT ShellActivate(LONG bActivate) override;

    // IOVCClassic
    HRESULT Disconnect() override;
    HRESULT SetCursor(int nRow, int nCol) override;
    HRESULT GetTerminalID(ULONG* pdwTermID) override;
    HRESULT GetProgramDirectory(BSTR* pbstrDir) override;
    HRESULT put_bstrAppDirectory(BSTR path) override;
    HRESULT put_IPAddressAsString(BSTR address) override;
    HRESULT SetTerminalID(LONG lTerminalID) override;
    HRESULT put_DefaultTextMode(LONG value) override;
    HRESULT put_CRMode(LONG value) override;
    HRESULT put_ExtendedGetevent(LONG value) override;
    HRESULT put_ClientVersion(BSTR version) override;
    HRESULT put_SipStateUp(LONG value) override;
    HRESULT put_Wrap(LONG value) override;
    HRESULT IncreaseHeightForMenu() override;
    HRESULT UndoIncreaseForMenu() override;
    HRESULT put_HideMenuKey(SHORT value) override;
    HRESULT put_LogFileName(BSTR path) override;
    HRESULT put_LogClearOnOpen(LONG value) override;
    HRESULT put_EnableLogging(LONG value) override;
    HRESULT ApplyLoggingOptions() override;
    HRESULT put_SilentMode(LONG value) override;
    HRESULT get_FontName(BSTR* name) override;
    HRESULT put_FontName(BSTR name) override;
    HRESULT get_FontSize(SHORT* size) override;
    HRESULT put_FontSize(SHORT size) override;
    HRESULT put_MenuExitKey(LONG value) override;
    HRESULT put_NumColumns(SHORT value) override;
    HRESULT put_NumRows(SHORT value) override;
    HRESULT put_ActionAsEnter(LONG value) override;
    HRESULT put_IncludeDataOnWidget(LONG value) override;
    HRESULT put_ScanAheadMode(LONG value) override;
    HRESULT put_SuppMode(LONG value) override;
    HRESULT put_Supp2(LONG value) override;
    HRESULT put_Supp5(LONG value) override;
    HRESULT put_SuppRetries(LONG value) override;
    HRESULT put_Code39FA(LONG value) override;
    HRESULT put_IgnoreRadio(LONG value) override;
    HRESULT put_RSSIThreshold(ULONG value) override;
    HRESULT put_RadioWakeDelay(ULONG value) override;
    HRESULT put_CodePage(ULONG value) override;
    HRESULT put_EscapeIncludeData(LONG value) override;
    HRESULT put_UPCE0Options(ULONG value) override;
    HRESULT put_SymbolOverride(BSTR text) override;
    HRESULT SetRFIDProperty(BSTR bstrName, BSTR bstrValue) override;
    HRESULT put_ReconnectDelay(ULONG value) override;
    HRESULT put_MonoWidth(LONG value) override;
    HRESULT put_CellWidth(ULONG value) override;
    HRESULT put_CellHeight(ULONG value) override;
    HRESULT put_EnableScannerOnExit(LONG value) override;
    HRESULT Connect(BSTR bstrName) override;
    HRESULT SetFeatureNum(ULONG dwFeature, ULONG dwValue) override;
    HRESULT SetFeatureStr(ULONG dwFeature, BSTR bstrValue) override;

    // IOVCData
    HRESULT OVCCommandInput(int cBuffer, unsigned char* pCommand) override;
    HRESULT OVCStreamInput(int cBuffer, unsigned char* pData) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // ISupportErrorInfo: S_OK for IOVC only.
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    // IHostedControl: the control window, a child of the host window.
    HRESULT CreateControlWindow(HWND host, const RECT* rect, HWND* window) override;
    HRESULT DestroyControlWindow() override;

    // IOVCHeadless
    HRESULT ShowNoScreen() override;
    HRESULT LogToHostFile(const char* path) override;
    HRESULT WriteLog(ULONG level, const char* text) override;
    HRESULT ScanInput(int length, const char16_t* text) override;
    HRESULT GetDroppedEvents(ULONGLONG* dropped, LONG* capacity) override;
    HRESULT ReportBoxes(void (*report)(void* context, const char* text), void* context) override;

    // The events, to every sink in the order of advising.
    void Fire_OVCDataOutEvent(int nSize, const void* pData);
    void Fire_OVCDisconnect(int id);
    void Fire_OVCToggleHideMenu();
    bool CheckForeground();

    // The control window's procedure (OVCWindow.cpp).
    static LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    // Held while a call runs into the core or out to a sink: the object lives
    // on to its end whoever releases it meanwhile, and a window destroyed
    // meanwhile leaves its core (with view and dialogs) to be deleted when
    // the outermost call returns, not under the core's feet.
    class CallScope {
    public:
        explicit CallScope(COVC& self) : m_self(self) {
            if (m_self.m_calls++ == 0) m_self.AddRef();
        }
        ~CallScope() {
            if (--m_self.m_calls == 0) m_self.EndOfCalls();
        }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

    private:
        COVC& m_self;
    };
    struct Session {
        std::unique_ptr<CControlDialogs> dialogs;  // declared first: the core goes first
        std::unique_ptr<IScreenView> view;
        std::unique_ptr<CClientCore> core;
    };

    // The outermost call is over: retired sessions go, then the call's reference.
    void EndOfCalls();
    LRESULT Guarded(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCreate(HWND hwnd, const CREATESTRUCT* cs);
    void OnDestroy();
    // The core sends "" and "Wait" with every packet: inside an input only
    // the last status is kept, and shown when the input returns, or before
    // anything could show it (a paint, a look at the thread's messages).
    void OnStatus(const char16_t* text, LPARAM busy);
    void ShowStatus(const char16_t* text, LPARAM busy);
    bool TakeStatusText(const char16_t* text, size_t length);  // at most 19 characters
    void RepaintStatus();
    void FlushStatus();
    static void FlushStatusHook(void* self);
    // A message box owned by the control window, titled "Orvade".
    void OnMessageBox(UINT style, const char16_t* text);
    void OnScan(HWND hwnd, const DeviceDataRecord& record);
    // 1 busy (the wait cursor), 0 idle (the cursor from before); else nothing.
    void SetBusy(LPARAM busy);
    // Magnetic-stripe and RFID data: 1 without a core or when a widget
    // takes it; a null record does nothing and answers 0.
    LRESULT OnDeviceDataMessage(HWND hwnd, WPARAM wParam, LPARAM lParam, bool rfid);
    void OnScannerMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void SetInputDevices(bool on);
    LRESULT OnTap(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void OnPaint(HWND hwnd);
    HRESULT Input(int count, const unsigned char* bytes, bool framed);
    // Applies a change to the core's settings; false without a core.
    template <class Change>
    bool ChangeProperties(Change change);
    template <class Change>
    HRESULT Put(Change change);
    // A setter forwarded to the core; S_OK with or without one.
    template <class Call>
    HRESULT WithCore(Call call);

    plat::com::CConnectionPoint m_events;
    CInputMutex m_inputMutex;
    HWND m_window = 0;
    std::unique_ptr<CControlDialogs> m_dialogs;  // outlives the core
    std::unique_ptr<IScreenView> m_view;          // outlives the core
    CWidgetWindows m_widgetWindows;               // outlives the core
    std::unique_ptr<CClientCore> m_core;
    int m_calls = 0;                   // CallScopes running
    std::vector<Session> m_retired;    // sessions whose window went during a call
    bool m_showScreen = true;          // false: no view (the headless tool)
    void (*m_boxReport)(void*, const char*) = nullptr;  // given to each window's dialogs
    void* m_boxReportContext = nullptr;
    bool m_active = false;
    bool m_busy = false;
    HCURSOR m_savedCursor = 0;
    char16_t m_statusText[20] = {};
    int m_inputDepth = 0;  // input calls running on this thread (the core may pump)
    // The status put off inside input: its text (when one came) and busy
    // state (0 or 1 when one came, else -1).
    bool m_statusPending = false;
    bool m_pendingHasText = false;
    char16_t m_pendingText[20] = {};
    size_t m_pendingLength = 0;
    LPARAM m_pendingBusy = -1;
    size_t m_statusLength = 0;  // of m_statusText
    // All of the window waits for a paint since this object asked for it.
    // Only its own paint validates the control window, so a status shown
    // after an input does not ask again.
    bool m_wholeInvalid = false;
    // The status the last paint showed, and the window's count of repaint
    // asks while only status changes have asked since that paint.
    char16_t m_shownStatus[20] = {};
    bool m_statusShown = false;
    uint64_t m_statusOnlyAsks = 0;
    plat::messages::BeforeMessages* m_beforeMessages = nullptr;  // the window thread's
    pthread_t m_windowThread{};  // the thread of the control window
    // "aygshell.dll", for the tap-and-hold gesture: looked for with the first
    // tap, not when the control is made (a session may never be tapped).
    HMODULE ShellHelper();
    HMODULE m_shellHelper = nullptr;
    bool m_shellHelperSought = false;
};

// The session object of the client runtime. Fed with the host's bytes, it
// dispatches each command of each packet to its handler and sends the
// replies, one WM_CORE_SEND_SEGMENT message per framed segment, to the control window.
// It owns the parts that keep the session's state -- the input field and the
// event queue, the screen model, the file commands, the decoder settings and
// the session settings -- and its handlers delegate to them. Everything runs
// on the one user-interface thread; the core creates no thread.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/PacketFramer.h"
#include "core/hooks/CoreHooks.h"
#include "core/hooks/CoreMessages.h"
#include "core/session/BarcodeCommands.h"
#include "core/session/CommandTable.h"
#include "core/session/DecoderSettings.h"
#include "core/session/DisplayCommands.h"
#include "core/session/EventQueue.h"
#include "core/session/ExtensionHost.h"
#include "core/session/FileCommands.h"
#include "core/session/InfoCommands.h"
#include "core/session/InputCommands.h"
#include "core/session/InputField.h"
#include "core/session/MenuCommands.h"
#include "core/session/DeviceCommands.h"
#include "core/session/PrintCommands.h"
#include "core/session/RfidCommands.h"
#include "core/session/ReplyChannel.h"
#include "core/session/ScreenModel.h"
#include "core/session/SessionCommands.h"
#include "core/session/SessionSettings.h"
#include "core/session/WidgetCommands.h"
#include "platform/Draw.h"
#include "platform/Library.h"
#include "platform/Message.h"

class CWidgetManager;
class CExtensionBinding;
class IWidgetWindows;


// The operations on the text screen (ScreenOp), by their numbers.
enum class ScreenOpCode : int32_t {
    Clear = 0,             // blank cells, cursor home, repaint
    Size = 1,              // rows and columns into the record's row and column
    ClearToEndOfLine = 2,  // from the cursor, with the attribute
    Cursor = 3,            // the cursor into the record's row and column
    MoveCursor = 4,
    CaretShown = 5,        // returns 1 when the window's caret is shown
    WriteText = 6,
    SaveCells = 7,         // the rectangle into the cell buffer
    RestoreCells = 8,      // the cell buffer into the rectangle
    CaretOn = 9,           // the caret is wanted
    CaretOff = 10,         // the caret is not wanted
    None = 11,
    Repaint = 12,
    RepaintAll = 13,
    SetDefaultAttribute = 14,
    PutCharacter = 15,     // the text's first character at (row, column)
};

// One operation on the text screen with what it reads and, for Size and
// Cursor, what it answers.
struct ScreenOperation {
    ScreenOpCode op = ScreenOpCode::None;
    int32_t row = 0;
    int32_t column = 0;
    int32_t attribute = 0;   // WriteText: the default attribute when 0 or less
    int32_t maxLength = -1;  // WriteText: the text is cut to it (negative: whole)
    std::u16string_view text;
    // SaveCells and RestoreCells: character and attribute pairs, row by row,
    // of the rectangle from (row, column) to (endRow, endColumn), exclusive,
    // as far as it lies on the screen.
    std::vector<char16_t>* cells = nullptr;
    bool moveCursor = false;
    int32_t endColumn = 0;
    int32_t endRow = 0;
};



class CClientCore : public IExtensionHost,
                    private IReplyChannel,
                    private IDialogAnswers,
                    private IBarcodeSession,
                    private ISessionLink,
                    private IDisplaySession,
                    private IMenuSession,
                    private IInputSession,
                    private ISignatureSession {
public:
    // Result codes of the setters, with their Windows values.
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
    static constexpr int32_t kInvalidArg = CSessionSettings::kInvalidArg;
    static constexpr int32_t kOutOfMemory = CSessionSettings::kOutOfMemory;

    static constexpr int kQueueCapacity = static_cast<int>(CEventQueue::kCapacity);
    static constexpr int kInputTextUnits = CInputField::kTextUnits;
    static constexpr int kMaxDeviceDataChars = CInputCommands::kMaxDeviceDataChars;
    static constexpr int kDecoderCapacity = static_cast<int>(CDecoderSettings::kCapacity);
    static constexpr int kDefaultTerminalId = CSessionSettings::kDefaultTerminalId;

    explicit CClientCore(HWND controlWindow);
    static std::unique_ptr<CClientCore> Create(HWND controlWindow) {
        return std::make_unique<CClientCore>(controlWindow);
    }
    ~CClientCore() override;

    CClientCore(const CClientCore&) = delete;
    CClientCore& operator=(const CClientCore&) = delete;

    // Once, after the control has pushed the settings and installed the hooks.
    void Start();

    // The host's Disconnect, as the control ends the session (the host went).
    void EndSession() override { Disconnect(nullptr, cmd::kDisconnect); }
    // The control's window went while a call runs in the core (the core is
    // deleted when that call returns): the session is over, so a handler
    // that waits stops without answering and the packet runs no further.
    void WindowDestroyed() { ++m_sessionEnds; }

    // ---- Input from the control.
    // 0 when handled; kFail when the key is not one of the core's (the
    // control lets it go on).
    int32_t OnKeyDown(uint32_t virtualKey, uint32_t flags);
    // Virtual: a test counts the characters the automation query types.
    virtual int32_t OnChar(char16_t character, int32_t repeat, uint32_t flags);
    // 1 when the data was taken (used, queued or dropped); 0 for a null
    // record or more than 4000 characters (the control offers it elsewhere).
    int32_t OnDeviceData(const DeviceDataRecord* record);
    void NotifyAutomation(const char16_t* hostName);
    int32_t SetIntSetting(int32_t index, uint32_t value);
    int32_t SetStringSetting(int32_t index, const char16_t* text);
    // Host bytes: framed (the stream) or one whole unframed packet. Input that
    // arrives while a packet is being handled (through a message pump inside a
    // handler) is queued and handled, in order, after the running input.
    int OnReceive(const uint8_t* bytes, int32_t count, bool framed);
    int DispatchPacket(CPacket* pkt);
    // The 50 ms poll: the idle serial port, power resume, the field's time-out.
    int OnPoll();
    // A widget's event (its reply bytes): sent, or queued while nothing waits.
    void SendWidgetEvent(const uint8_t* bytes, int32_t count);
    void OnWidgetReply(const CPacketBuffer& writer);
    // A window message of the control for the widgets (taps, commands,
    // drawing, device data); its result, *handled (may be null) whether a
    // widget claimed it.
    LRESULT OnWidgetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled);

    // ---- Replies (each sets the busy status first, as the host expects).
    int SendReply(const CPacketBuffer& writer) override;
    int SendReplyPart(const CPacketBuffer& writer, bool last) override;
    void AbandonReply() override;
    int SendTextReply(uint8_t code, std::u16string_view text) override;
    int SendIntReply(uint8_t code, int32_t number) override;

    // ---- What the input state is (for the control and tests).
    int EventCount() const { return static_cast<int>(m_queue.Size()); }
    // Events a full queue has dropped since the core was made.
    uint64_t DroppedEvents() const { return m_inputState.droppedEvents; }
    void ClearEventQueue() { m_queue.Clear(); }
    ::InputCommand InputCommand() const { return m_field.command; }
    ::InputKind InputKind() const { return m_field.kind; }
    const std::u16string& InputText() const { return m_field.text; }
    int32_t ModeSelectMode() const { return m_inputState.modeSelect; }
    bool IsScannerWanted() const { return m_inputState.scannerWanted; }
    void EnableScanner(bool wanted) override { m_input.EnableScanner(wanted); }

    // The open menu, error or signature box and its mode; a Disconnect within
    // a second of its opening waits for the next reply.
    void SetDialog(HWND window, DialogMode mode);
    HWND GetDialog() const { return m_dialog; }
    DialogMode GetDialogMode() const { return m_dialogMode; }
    bool IsDisconnectPending() const { return m_disconnectPending; }


    // The radio association test: 1 associated, 0 not, -1 unknown.
    int32_t IsAssociated() { return m_info.IsAssociated(); }
    // The shell's main window, told to show or hide the input panel.
    void SetShellWindow(HWND window) { m_info.SetShellWindow(window); }

    // The serial port kept open by the printing and serial commands.
    bool HasSerialPort() const { return m_print.HasPort(); }
    // A resume from suspend, seen by the next poll.
    void SignalPowerResume() { m_resumeSignalled = true; }
    DWORD GetResumeTime() const { return m_resumeTime; }

    // ---- Settings and properties (kept by the session settings).
    int32_t GetTerminalID();
    void SetTerminalID(int32_t id) { m_settings.SetTerminalID(id); }
    void Suspend();
    void Resume();
    void SetScanAheadMode(int32_t value) { m_settings.SetScanAheadMode(value); }
    void SetEnableScannerOnExit(int32_t value);
    void SetReconnectDelay(int32_t value) { m_settings.SetReconnectDelay(value); }
    void SetIgnoreRadio(int32_t value) { m_settings.SetIgnoreRadio(value); }
    void SetRSSIThreshold(int32_t value) { m_settings.SetRSSIThreshold(value); }
    void SetRadioWakeDelay(int32_t value) { m_settings.SetRadioWakeDelay(value); }
    void SetCodePage(uint32_t codePage);
    void SetEscapeIncludeData(int32_t value) { m_settings.SetEscapeIncludeData(value); }
    int32_t SetRFIDProperty(std::string_view name, std::string_view value);
    // The control's properties, pushed whole; the cell settings take effect
    // at the next UpdateCellMetrics.
    void SetProperties(const CoreProperties& properties) { m_settings.SetProperties(properties); }
    const CoreProperties& Properties() const { return m_settings.Properties(); }

    int32_t GetScanAheadMode() const { return m_settings.GetScanAheadMode(); }
    int32_t GetEnableScannerOnExit() const { return m_settings.GetEnableScannerOnExit(); }
    int32_t GetReconnectDelay() const { return m_settings.GetReconnectDelay(); }
    int32_t GetIgnoreRadio() const { return m_settings.GetIgnoreRadio(); }
    int32_t GetRSSIThreshold() const { return m_settings.GetRSSIThreshold(); }
    int32_t GetRadioWakeDelay() const { return m_settings.GetRadioWakeDelay(); }
    int32_t GetEscapeIncludeData() const { return m_settings.GetEscapeIncludeData(); }
    uint32_t GetCodePage() const { return m_settings.GetCodePage(); }
    uint32_t GetFeatureNumber(int32_t index) const { return m_settings.GetFeatureNumber(index); }
    const char16_t* GetFeatureString(int32_t index) const { return m_settings.GetFeatureString(index); }
    const std::u16string& ModuleFolder() const { return m_moduleFolder; }
    // The application folder: kept as the module folder and registered as "APP".
    void SetAppDirectory(std::u16string_view folder);

    // ---- Decoder settings (kept by the decoder settings part).
    void SetSuppMode(int32_t value);
    void SetSupp2(int32_t value);
    void SetSupp5(int32_t value);
    void SetSuppRetries(int32_t value);
    void SetCode39FA(int32_t value);
    void SetUPCE0Options(int32_t value);
    void SetSymbolOverride(std::u16string_view text) { m_decoders.SetSymbolOverride(*m_scanner, text); }
    void ApplyDecoderSettings() { m_decoders.Apply(*m_scanner); }
    const std::vector<DecoderTriple>& DecoderSettings() const { return m_decoders.Settings(); }
    static intptr_t AutomationQuery(void* context, uint32_t query, intptr_t a, intptr_t b);

    // ---- Screen: the model a view paints.
    // The control window's client size in pixels (the control sets it on
    // every resize, then calls UpdateCellMetrics and CreateBackBuffer).
    void SetClientSize(int width, int height) { m_screen.SetClientSize(width, height); }
    void UpdateCellMetrics();
    // The grid for the window and cell size, cleared, and the view's back
    // buffer of the window's size.
    void CreateBackBuffer();
    // The control's menu bar coming and going changes the client size the
    // control sets; the back buffer is remade for it.
    void IncreaseHeightForMenu() { CreateBackBuffer(); }
    void UndoIncreaseForMenu() { CreateBackBuffer(); }
    int GetCellWidth() const { return m_screen.CellWidth(); }
    int GetCellHeight() const { return m_screen.CellHeight(); }
    int GetDoubleCellWidth() const { return m_screen.DoubleCellWidth(); }
    int Columns() const { return m_screen.Columns(); }
    int Rows() const { return m_screen.Rows(); }
    const CScreenModel& Screen() const { return m_screen; }
    // The single entry to the text screen for the control and the widgets;
    // what it returns depends on the operation (0 for most).
    int32_t ScreenOp(ScreenOperation& operation);
    // The control's drawing: the back buffer copied into target (the
    // window's context). Without a back buffer the user is told. An overlay
    // text shows in reverse from cell (0, 0) in this copy only.
    void Paint(HDC target, std::u16string_view overlay = {});
    // The control window's focus gain and loss: the window's caret, one cell,
    // follows the model's caret while the window has the focus.
    void CaretOn();
    void CaretOff();
    bool CaretHasFocus() const { return m_caretFocus; }
    // Whether the host wants the caret; shown while the window has the focus
    // and (outside wrap mode) the cursor lies on the screen.
    void SetCaretWanted(bool wanted) override;
    // The cursor (and the caret with it). In wrap mode column is an offset
    // from the start of row. Off the screen the caret is no longer wanted.
    void MoveCursor(int row, int column) override;
    HWND GetWindow() const override { return m_window; }

    // ---- Hooks to the parts built around the core (not owned; null
    // restores the built-in "not present").
    void SetScanner(ICoreScanner* scanner) override;
    void SetDevices(ICoreDevices* devices) override;
    void SetView(ICoreView* view);
    // Null restores the core's own widget manager.
    void SetWidgets(ICoreWidgets* widgets);
    // The window layer of the core's widgets (null: widgets without windows).
    void SetWidgetWindows(IWidgetWindows* windows);
    void SetAutomation(ICoreAutomation* automation) override;
    // The control's dialogs (null: none shown, as without a display).
    void SetDialogs(ICoreDialogs* dialogs);
    // The view's font measure (null: no fonts, the default cell size).
    void SetFontMeasure(plat::draw::IFontMeasure* fonts) { m_fonts = fonts; }
    // Without a font measure: where one comes from when the session first
    // needs its screen (any command but Ping and Disconnect), so a process
    // that shows no screen loads the GUI library only for a session that
    // uses it. Its cells are those of the fitted font from then on, as
    // where a screen is shown. The measure outlives the core.
    void SetFontMeasureSource(plat::draw::IFontMeasure* (*source)()) { m_fontSource = source; }

    // The answer of a command that failed for want of memory (none for a
    // command without a reply).
    // Whether the dispatcher's table has a handler for a command byte.
    bool HandlesCommand(uint8_t code) const { return m_commands.Has(code); }

private:
    // ---- The core's own command handler (the session's end); the groups
    // register the others. The packet's cursor is on the command's first
    // field; code is the command byte. Returns 0.
    int Disconnect(CPacket* pkt, uint8_t code);  // pkt may be null

    // Fills the dispatcher's table: the groups' bytes and the core's own.
    void RegisterCommands();
    // The framer's send callback: one WM_CORE_SEND_SEGMENT per segment.
    static void SendData(void* context, int pieceCount, const uint8_t* const* pieces, const int32_t* lengths);

    // IReplyChannel, for the parts.
    CPacketBuffer* Writer() override { return m_writer.get(); }
    std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) override;
    int32_t WriterCapacity() const override;

    // IBarcodeSession, for the barcode commands.
    int32_t FramingMode() const override;
    uint32_t CodePage() const override { return m_settings.GetCodePage(); }

    // IExtensionHost, for the extension binding (the hooks and the window are public).
    std::u16string BaseRegistryKey() const override { return Properties().baseRegistryKey; }
    AutoQueryFn AutomationQueryFunction() const override { return &CClientCore::AutomationQuery; }
    void* AutomationQueryContext() override { return this; }

    // IInputSession, for the input (SetCaretWanted, MoveCursor, GetWindow
    // and EndSession are public).
    DialogMode CurrentDialogMode() const override { return m_dialogMode; }
    void ApplyDecoderFile(std::u16string name) override { m_barcodes.SetDecodersFromFile(std::move(name)); }
    void OfferSignatureEvent(const uint8_t* bytes, int32_t count) override {
        m_deviceCommands.OfferSignatureEvent(bytes, count);
    }

    // ISignatureSession, for the signature screen (CurrentDialogMode is the input's).
    void SetSignatureMode(bool on) override;

    // IDisplaySession, for the display commands (MoveCursor is public).
    void PlaceCursor(int row, int column) override;
    void ScreenChanged() override { ShowScreen(); }
    void SetWrap(bool on) override;
    void EndPendingInput() override { m_field.command = InputCommand::None; }
    void OpenErrorBox(ErrorBoxRequest request) override;

    // IMenuSession, for the menu commands.
    void OpenMenuBox(MenuBoxRequest request) override;

    // ISessionLink, for the session commands.
    void SetCommandDelimiter(uint8_t delimiter) override;
    void SetFramingMode(int32_t mode) override;
    int32_t TerminalId() override { return GetTerminalID(); }

    // IDialogAnswers, for the open box.
    void ErrorBoxAnswered() override;
    void ErrorBoxDestroyed() override;
    void MenuBoxAnswered(int32_t choice) override;
    void MenuBoxDestroyed() override;
    // Destroy an open box without an answer (the core goes away).
    void CloseErrorBox();
    void CloseMenuBox();

    void Destroy();
    void SetBusy(bool busy);
    void ReceiveNow(const uint8_t* bytes, int32_t count, bool framed);
    void RenewWriter();
    // Tells the view when the screen model changed since it was last told
    // (always, with force).
    void ShowScreen(bool force = false);

    // Session
    std::u16string m_moduleFolder;
    HWND m_window;
    // The control window as the reply path reaches it: one lookup, not one a segment.
    plat::messages::WindowSender m_control;
    // Where a segment's pieces are joined; kept between segments.
    std::vector<uint8_t> m_segment;
    int m_sendDepth = 0;
    std::unique_ptr<CPacketFramer> m_framer;
    std::unique_ptr<CPacketBuffer> m_writer;
    std::vector<std::unique_ptr<CPacketBuffer>> m_retiredWriters;
    int m_receiveDepth = 0;
    struct PendingInput {
        std::vector<uint8_t> bytes;
        bool framed;
    };
    std::deque<PendingInput> m_pendingInput;
    CCommandTable m_commands;

    // The parts
    CSessionSettings m_settings;
    CDecoderSettings m_decoders;
    CInputField m_field;
    CEventQueue m_queue;
    CScreenModel m_screen;
    CFileCommands m_files;
    CInfoCommands m_info;
    CWidgetCommands m_widgetCommands;
    CBarcodeCommands m_barcodes;
    CRfidCommands m_rfid;
    CDeviceCommands m_deviceCommands;
    CSessionCommands m_sessionCommands;
    CDisplayCommands m_display;
    CMenuCommands m_menus;
    CPrintCommands m_print;
    CInputCommands m_input;

    InputSharedState m_inputState;

    // Serial port and power
    bool m_resumeSignalled = false;
    DWORD m_resumeTime = 0;

    ErrorBoxRequest m_errorBox;
    MenuBoxRequest m_menuBox;

    // Dialog
    HWND m_dialog = 0;
    DWORD m_dialogOpenTime = 0;
    DialogMode m_dialogMode = DialogMode::None;
    bool m_caretFocus = false;  // the control window has the caret
    bool m_caretShown = false;  // the window's caret is shown
    bool m_disconnectPending = false;
    // A reply was cut off (AbandonReply): nothing is sent until the session ends.
    bool m_replyAbandoned = false;
    uint32_t m_sessionEnds = 0;  // counts completed Disconnects and the window going

    // Hooks
    ICoreScanner* m_scanner;
    ICoreDevices* m_devices;
    ICoreView* m_view;
    ICoreWidgets* m_widgets;
    ICoreAutomation* m_automation;
    ICoreDialogs* m_dialogs;
    std::unique_ptr<CWidgetManager> m_widgetManager;
    plat::draw::IFontMeasure* m_fonts = nullptr;
    plat::draw::IFontMeasure* (*m_fontSource)() = nullptr;
    bool m_cellsPending = false;  // the cells wait for the font source
    void MeasureCells();
    uint32_t m_shownRevision = 0;
    // The libraries loaded by Start (declared last: it goes first).
    std::unique_ptr<CExtensionBinding> m_extensions;
};

// The control window of the running core (kept by the module context), 0 when none.
HWND CoreControlWindow();

// The session object of the client runtime. Fed with the host's bytes, it
// dispatches each command of each packet to its handler and sends the
// replies, one WM_CORE_SEND_SEGMENT message per framed segment, to the control window.
// It owns the parts that keep the session's state -- the input field and the
// event queue, the screen model, the decoder settings, the session settings
// and the command groups -- and hands each out through an accessor of its
// own rather than forwarding to it. Everything runs on the one
// user-interface thread; the core creates no thread.
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



// The open box: its window (0: none), its mode (the signature screen's
// without a window of its own), when it opened, and a Disconnect that waits
// for the next reply because it came within a second of the opening.
struct OpenBox {
    HWND window = 0;
    DialogMode mode = DialogMode::None;
    DWORD openTime = 0;
    bool disconnectPending = false;
};

class CClientCore : public IExtensionHost,
                    private IReplyChannel,
                    private IDialogAnswers,
                    private IBarcodeSession,
                    private ISessionLink,
                    private IDisplaySession,
                    private IMenuSession,
                    private IInputSession,
                    private ISignatureSession,
                    private ISettingsObserver {
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

    // ---- Input from the control, routed to the input commands.
    // 0 when handled; kFail when the key is not one of the core's (the
    // control lets it go on).
    int32_t OnKeyDown(uint32_t virtualKey, uint32_t flags);
    // Virtual: a test counts the characters the automation query types.
    virtual int32_t OnChar(char16_t character, int32_t repeat, uint32_t flags);
    // 1 when the data was taken (used, queued or dropped); 0 for a null
    // record or more than 4000 characters (the control offers it elsewhere).
    int32_t OnDeviceData(const DeviceDataRecord* record);
    void NotifyAutomation(const char16_t* hostName);
    // Host bytes: framed (the stream) or one whole unframed packet. Input that
    // arrives while a packet is being handled (through a message pump inside a
    // handler) is queued and handled, in order, after the running input.
    int OnReceive(const uint8_t* bytes, int32_t count, bool framed);
    // The 50 ms poll: the idle serial port, power resume, the field's time-out.
    int OnPoll();
    // A window message of the control for the widgets (taps, commands,
    // drawing, device data); its result, *handled (may be null) whether a
    // widget claimed it.
    LRESULT OnWidgetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled);

    // ---- The parts that own the session's state, for the control and tests.
    // The settings and properties the control pushes; a new code page reaches
    // the framing and the scanner-on-exit value the scanner.
    CSessionSettings& Settings() { return m_settings; }
    const CSessionSettings& Settings() const { return m_settings; }
    // The decoder options, applied through the scanner hook in force.
    CDecoderOptions Decoders() { return CDecoderOptions(m_decoders, m_scanner); }
    // The input field, the queued events and what the input shares with the
    // dispatcher (MODESELECT's mode, whether the scanner is wanted, drops).
    const CInputField& Field() const { return m_field; }
    const CEventQueue& Events() const { return m_queue; }
    CEventQueue& Events() { return m_queue; }
    const InputSharedState& InputState() const { return m_inputState; }
    CInputCommands& Input() { return m_input; }
    // The terminal id, the radio association and the shell's window for the
    // input panel.
    CInfoCommands& Info() { return m_info; }
    // The serial port kept open by the printing and serial commands.
    const CPrintCommands& Print() const { return m_print; }
    // The dispatcher's table.
    const CCommandTable& Commands() const { return m_commands; }
    // The screen model a view paints.
    const CScreenModel& Screen() const { return m_screen; }

    // The open menu, error or signature box and its mode; a Disconnect within
    // a second of its opening waits for the next reply.
    void SetDialog(HWND window, DialogMode mode);
    const OpenBox& Box() const { return m_box; }

    // The control's activation: the extensions' sessions and the scanner.
    void Suspend();
    void Resume();
    int32_t SetRFIDProperty(std::string_view name, std::string_view value);
    const std::u16string& ModuleFolder() const { return m_moduleFolder; }
    // The query the automation libraries are given (context: the core, or null).
    static intptr_t AutomationQuery(void* context, uint32_t query, intptr_t a, intptr_t b);
    // The application folder: kept as the module folder and registered as "APP".
    void SetAppDirectory(std::u16string_view folder);

    // ---- Screen.
    // The control window's client size in pixels, on every resize: the cells
    // are measured again, and the grid and the view's back buffer remade.
    void Resize(int width, int height);
    void UpdateCellMetrics();
    // The grid for the window and cell size, cleared, and the view's back
    // buffer of the window's size (also when the control's menu bar comes or
    // goes).
    void CreateBackBuffer();
    // The single entry to the text screen for the control and the widgets;
    // what it returns depends on the operation (0 for most).
    int32_t ScreenOp(ScreenOperation& operation);
    // The control's drawing: the back buffer copied into target (the
    // window's context). Without a back buffer the user is told through the
    // dialogs hook. An overlay text shows in reverse from cell (0, 0) in
    // this copy only.
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

private:
    // ---- The core's own command handler (the session's end); the groups
    // register the others. The packet's cursor is on the command's first
    // field; code is the command byte. Returns 0.
    int Disconnect(CPacket* pkt, uint8_t code);  // pkt may be null

    // Fills the dispatcher's table: the groups' bytes and the core's own.
    void RegisterCommands();
    int DispatchPacket(CPacket* pkt);
    // A widget's event (its reply bytes): sent, or queued while nothing waits.
    void OnWidgetReply(const CPacketBuffer& writer);

    // IReplyChannel, for the parts (each reply sets the busy status first,
    // as the host expects).
    int SendReply(const CPacketBuffer& writer) override;
    int SendReplyPart(const CPacketBuffer& writer, bool last) override;
    void AbandonReply() override;
    int SendTextReply(uint8_t code, std::u16string_view text) override;
    int SendIntReply(uint8_t code, int32_t number) override;
    // The framer's send callback: one WM_CORE_SEND_SEGMENT per segment.
    static void SendData(void* context, int pieceCount, const uint8_t* const* pieces, const int32_t* lengths);

    CPacketBuffer* Writer() override { return m_writer.get(); }
    std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) override;
    int32_t WriterCapacity() const override;

    // IBarcodeSession, for the barcode commands.
    void EnableScanner(bool wanted) override { m_input.EnableScanner(wanted); }
    int32_t FramingMode() const override;
    uint32_t CodePage() const override { return m_settings.GetCodePage(); }

    // IExtensionHost, for the extension binding (the hooks and the window are public).
    std::u16string BaseRegistryKey() const override { return m_settings.Properties().baseRegistryKey; }
    AutoQueryFn AutomationQueryFunction() const override { return &CClientCore::AutomationQuery; }
    void* AutomationQueryContext() override { return this; }

    // IInputSession, for the input (SetCaretWanted, MoveCursor, GetWindow
    // and EndSession are public).
    DialogMode CurrentDialogMode() const override { return m_box.mode; }
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
    int32_t TerminalId() override { return m_info.TerminalId(); }

    // ISettingsObserver, for the settings.
    void CodePageChanged(uint32_t codePage) override;
    void ScannerOnExitChanged(int32_t value) override;

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

    // Power: the poll reads one notification a time; a resume sets the resume time.
    static constexpr DWORD kPowerMessageBytes = 536;
    void OpenPowerQueue();
    void ClosePowerQueue();
    HANDLE m_powerQueue = nullptr;
    HANDLE m_powerNotification = nullptr;
    DWORD m_resumeTime = 0;

    ErrorBoxRequest m_errorBox;
    MenuBoxRequest m_menuBox;

    OpenBox m_box;
    bool m_caretFocus = false;  // the control window has the caret
    bool m_caretShown = false;  // the window's caret is shown
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

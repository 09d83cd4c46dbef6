// The session object of the client runtime. Fed with the host's bytes, it
// dispatches each command of each packet to its handler and sends the
// replies, one WM_USER+4 message per framed segment, to the control window.
// It keeps the input state and the event queue, the session settings, and the
// back buffer and cell metrics of the session screen. Everything runs on the
// one user-interface thread; the core creates no thread.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/session/CoreHooks.h"
#include "core/session/FileTransfers.h"
#include "common/PacketFramer.h"
#include "core/session/SessionCanvas.h"
#include "core/support/SizedBuffers.h"
#include "platform/Message.h"

class CWidgetManager;
class IWidgetWindows;

// Messages the core sends (posts, for the end of input) to the control window.
constexpr UINT WM_CORE_SEND_SEGMENT = WM_USER + 4;    // wParam byte count, lParam the bytes
constexpr UINT WM_CORE_SESSION_ENDED = WM_USER + 6;   // 0, 0
constexpr UINT WM_CORE_CREATE_DIALOG = WM_USER + 9;   // 0, 0; returns the box's window
constexpr UINT WM_CORE_BUSY_STATUS = WM_USER + 18;    // wParam const char16_t* text, lParam 1 busy / 0 idle
constexpr UINT WM_CORE_END_OF_INPUT = WM_USER + 71;   // posted, 0, 0

// Device data as the control hands it over (scanner, magnetic stripe, RFID).
struct DeviceDataRecord {
    int32_t reserved0;
    int32_t reserved1;
    int32_t kind;    // given by the extension; sent back as the last value of reply '5'
    int32_t length;  // characters of text
    const char16_t* text;
};

// Event types of the queue; also the kind of a text of input (keys,
// characters or device data).
enum EventType : int32_t {
    EVENT_KEY = 1,          // length: the virtual-key code, no data
    EVENT_CHARACTERS = 2,   // data: QueuedText
    EVENT_DEVICE_DATA = 4,  // data: QueuedDeviceData
    EVENT_WIDGET = 7,       // data: the event bytes (new uint8_t[]), length their count
};

struct EventRecord {
    void* data;       // owned copy of the input, or null
    uint16_t length;  // key events: the virtual-key code; widget events: the byte count
    int32_t type;
};

struct QueuedText {
    EventType kind;
    std::u16string text;
};

struct QueuedDeviceData {
    DeviceDataRecord record;  // record.text points into text
    std::u16string text;
};

// Dialog ("screen") modes: what the open box takes from the input.
enum class DialogMode : int32_t { None = 0, Menu = 1, Error = 2, Signature = 4 };

// The command that waits for input: none, GETEVENT or an RfInput field.
enum class InputCommand : int32_t { None = 0, Event = '1', Field = '5' };

// The input the waiting command takes.
enum class InputKind : int32_t { None = 0, Keys = 1, Data = 2, KeysAndData = 3 };

// MODESELECT's mode in which input stays open and each text goes out as it comes.
constexpr uint8_t MODESELECT_OPEN_INPUT = 2;

// Input flags of a field (RfInput's eighth field).
enum InputFlag : int32_t {
    INPUT_NO_ACTIVATE = 0x1,
    INPUT_NO_CHARACTERS = 0x2,
    INPUT_HIDDEN = 0x4,
    INPUT_NO_AUTO_SEND = 0x8,
    INPUT_NO_EMPTY_BACKSPACE = 0x10,
    INPUT_NO_CONTROL_KEYS = 0x20,
    INPUT_NO_EMPTY_ENTER = 0x40,
    INPUT_LETTERS_ONLY = 0x80,
    INPUT_DIGITS_ONLY = 0x100,
    INPUT_BACKLIGHT = 0x200,
    INPUT_STOP_AT_LENGTH = 0x400,
    INPUT_KEY_SENDS_TEXT = 0x800,
    INPUT_SCANNER_TRIGGER = 0x1000,
    INPUT_DISCARD_QUEUE = 0x2000,
    INPUT_PASSWORD = 0x8000,
    INPUT_DOT_UNPRINTABLE = 0x10000,
    INPUT_KEEP_READERS = 0x20000,
    INPUT_RIGHT_ALIGN = 0x40000,
};

// Plain stores of the control's properties.
struct CoreProperties {
    std::u16string baseRegistryKey;
    std::u16string peerAddress;
    std::u16string clientVersion;
    int32_t wrap = 0;
    int32_t sipStateUp = 0;
    int32_t hideMenuKey = 0;
    int32_t displayWord = 0;
    std::u16string fontName;
    int32_t fontSize = 0;
    int32_t monoWidth = 0;
    int32_t menuExitKey = 0;
    int32_t actionAsEnter = 0;
    int32_t defaultTextMode = 1;
    int32_t includeDataOnWidget = 0;
    int32_t extendedGetevent = 1;
    int32_t crMode = 0;
    int32_t numColumns = 21;  // 0 with numRows 0: derived from the cell size
    int32_t numRows = 16;
    int32_t cellWidth = 0;   // 0: measured from the font
    int32_t cellHeight = 0;  // 0: measured from the font
};

class CClientCore {
public:
    // Result codes of the setters, with their Windows values.
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
    static constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057);
    static constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);

    static constexpr int kQueueCapacity = 100;
    static constexpr int kInputTextUnits = 8192;  // terminator included
    static constexpr int kMaxDeviceDataChars = 4000;
    static constexpr int kDecoderCapacity = 100;
    static constexpr int kDefaultTerminalId = 8004;

    // The core of a control window; a null canvas is replaced by the null
    // canvas (no fonts, default cell size).
    explicit CClientCore(HWND controlWindow, std::unique_ptr<ISessionCanvas> canvas = nullptr);
    static std::unique_ptr<CClientCore> Create(HWND controlWindow) {
        return std::make_unique<CClientCore>(controlWindow);
    }
    virtual ~CClientCore();

    CClientCore(const CClientCore&) = delete;
    CClientCore& operator=(const CClientCore&) = delete;

    // Once, after the control has pushed the settings and installed the hooks.
    void Start();

    // ---- Command handlers: the packet's cursor is on the command's first
    // field; code is the command byte. Each returns 0.
    virtual int SetAltPacketDelimiter(CPacket* pkt, uint8_t code);
    virtual int GETEVENT(CPacket* pkt, uint8_t code);
    virtual int COMMANDEVENT(CPacket* pkt, uint8_t code);
    virtual int RfPrint(CPacket* pkt, uint8_t code);
    virtual int RfPrint2(CPacket* pkt, uint8_t code);
    virtual int RfInput(CPacket* pkt, uint8_t code);  // '5' and 'i'
    virtual int RFAUX(CPacket* pkt, uint8_t code);
    virtual int PRINTFILE(CPacket* pkt, uint8_t code);
    virtual int Disconnect(CPacket* pkt, uint8_t code);  // pkt may be null
    virtual int Ping(CPacket* pkt, uint8_t code);
    virtual int GETTERMINFO(CPacket* pkt, uint8_t code);
    virtual int SETTERMINFO(CPacket* pkt, uint8_t code);
    virtual int GETDECODERS(CPacket* pkt, uint8_t code);
    virtual int SETDECODERS(CPacket* pkt, uint8_t code);
    virtual int TELLEVENT(CPacket* pkt, uint8_t code);
    virtual int RETRIEVEFILE(CPacket* pkt, uint8_t code);  // 'G' and 'R'
    virtual int STOREFILE(CPacket* pkt, uint8_t code);
    virtual int SendFile(CPacket* pkt, uint8_t code);
    virtual int DELETEFILE(CPacket* pkt, uint8_t code);
    virtual int PUSHBAR(CPacket* pkt, uint8_t code);
    virtual int PULLBAR(CPacket* pkt, uint8_t code);
    virtual int LISTBAR(CPacket* pkt, uint8_t code);
    virtual int RFMENU(CPacket* pkt, uint8_t code);
    virtual int LISTMENUFILES(CPacket* pkt, uint8_t code);
    virtual int PUSHSCREEN(CPacket* pkt, uint8_t code);
    virtual int PULLSCREEN(CPacket* pkt, uint8_t code);
    virtual int RESTORESCREEN(CPacket* pkt, uint8_t code);
    virtual int LISTFILE(CPacket* pkt, uint8_t code);
    virtual int PLAYTONE(CPacket* pkt, uint8_t code);
    virtual int RFERROR(CPacket* pkt, uint8_t code);
    virtual int MODESELECT(CPacket* pkt, uint8_t code);
    virtual int LoadKeyMap(CPacket* pkt, uint8_t code);
    virtual int SYSTEMCALL(CPacket* pkt, uint8_t code);
    virtual int WAK(CPacket* pkt, uint8_t code);
    virtual int RFSPOOL(CPacket* pkt, uint8_t code);
    virtual int COMDATAEVENT(CPacket* pkt, uint8_t code);
    virtual int SCANNERON(CPacket* pkt, uint8_t code);
    virtual int FILESELECTEX(CPacket* pkt, uint8_t code);
    virtual int GETFILE(CPacket* pkt, uint8_t code);
    virtual int SETTIME(CPacket* pkt, uint8_t code);
    virtual int WIDGETACTION(CPacket* pkt, uint8_t code);
    virtual int COMMONDLG(CPacket* pkt, uint8_t code);
    virtual int KILLCMD(CPacket* pkt, uint8_t code);
    virtual int GetExtendedInfo(CPacket* pkt, uint8_t code);
    virtual int SetExtendedInfo(CPacket* pkt, uint8_t code);
    virtual int MakeDir(CPacket* pkt, uint8_t code);
    virtual int DeleteDir(CPacket* pkt, uint8_t code);
    virtual int GetIniString(CPacket* pkt, uint8_t code);
    virtual int SetIniString(CPacket* pkt, uint8_t code);
    virtual int COUNTFILES(CPacket* pkt, uint8_t code);
    virtual int RfidEvent(CPacket* pkt, uint8_t code);

    // ---- Input from the control.
    // 0 when handled; kFail when the key is not one of the core's (the
    // control lets it go on).
    virtual int32_t OnKeyDown(uint32_t virtualKey, uint32_t flags);
    virtual int32_t OnChar(char16_t character, int32_t repeat, uint32_t flags);
    // 1 when the data was taken (used, queued or dropped); 0 for a null
    // record or more than 4000 characters (the control offers it elsewhere).
    virtual int32_t OnDeviceData(const DeviceDataRecord* record);
    virtual void NotifyAutomation(const char16_t* hostName);
    virtual int32_t SetIntSetting(int32_t index, uint32_t value);
    virtual int32_t SetStringSetting(int32_t index, const char16_t* text);
    // Host bytes: framed (the stream) or one whole unframed packet. Input that
    // arrives while a packet is being handled (through a message pump inside a
    // handler) is queued and handled, in order, after the running input.
    virtual int OnReceive(const uint8_t* bytes, int32_t count, bool framed);
    virtual int DispatchPacket(CPacket* pkt);
    // The 50 ms poll: the idle serial port, power resume, the field's time-out.
    virtual int OnPoll();
    virtual int NoOp() { return 0; }
    // Input editing of one text of the given kind (2 characters, 1 keys, 4 data).
    virtual int OnKey(std::u16string_view text, EventType kind);

    // ---- Replies.
    int SendReply(const CPacketBuffer& writer);
    int SendTextReply(uint8_t code, std::u16string_view text);
    int SendIntReply(uint8_t code, int32_t number);
    // The framer's send callback: one WM_USER+4 per segment.
    static void SendData(void* context, int pieceCount, const uint8_t* const* pieces, const int32_t* lengths);
    CPacketBuffer* ReplyWriter() { return m_writer.get(); }
    CPacketFramer* Framer() { return m_framer.get(); }

    // ---- Input state (used by the command handlers).
    void EndInput();
    void EnableScanner(bool wanted);
    // The scanner, the magnetic-stripe reader and the RFID reader together.
    void EnableReaders(bool on);
    void SendInputText(std::u16string_view text, EventType kind);
    void SendDeviceDataReply(uint8_t code, std::u16string_view text, int32_t number);
    void SendWidgetEvent(const uint8_t* bytes, int32_t count);
    void OnWidgetReply(const CPacketBuffer& writer);
    // A window message of the control for the widgets (taps, commands,
    // drawing, device data); its result, *handled (may be null) whether a
    // widget claimed it.
    LRESULT OnWidgetMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled);
    void ClearEventQueue();
    void ReplayEvent();
    void ReplayAllEvents();
    int EventCount() const { return static_cast<int>(m_queue.size()); }
    ::InputCommand InputCommand() const { return m_inputCommand; }
    ::InputKind InputKind() const { return m_inputKind; }
    const std::u16string& InputText() const { return m_inputText; }
    int32_t ModeSelectMode() const { return m_modeSelect; }

    // The open menu, error or signature box and its mode; a Disconnect within
    // a second of its opening waits for the next reply.
    void SetDialog(HWND window, DialogMode mode);
    HWND GetDialog() const { return m_dialog; }
    DialogMode GetDialogMode() const { return m_dialogMode; }
    bool IsDisconnectPending() const { return m_disconnectPending; }

    // A serial port kept open by a command; noting its use keeps it open.
    void KeepSerialPort(std::unique_ptr<ICoreSerialPort> port);
    ICoreSerialPort* SerialPort() { return m_serialPort.get(); }
    void NoteSerialPortUse();
    // A resume from suspend, seen by the next poll.
    void SignalPowerResume() { m_resumeSignalled = true; }
    DWORD GetResumeTime() const { return m_resumeTime; }

    // ---- Settings and properties.
    int32_t GetTerminalID();
    void SetTerminalID(int32_t id) { m_terminalId = id; }
    void Suspend();
    void Resume();
    void SetScanAheadMode(int32_t value);
    void SetEnableScannerOnExit(int32_t value);
    void SetReconnectDelay(int32_t value);
    void SetIgnoreRadio(int32_t value) { m_ignoreRadio = value; }
    void SetRSSIThreshold(int32_t value);
    void SetRadioWakeDelay(int32_t value);
    void SetCodePage(uint32_t codePage);
    void SetEscapeIncludeData(int32_t value) { m_escapeIncludeData = value; }
    int32_t SetRFIDProperty(std::string_view name, std::string_view value);
    void SetSuppMode(int32_t value);
    void SetSupp2(int32_t value);
    void SetSupp5(int32_t value);
    void SetSuppRetries(int32_t value);
    void SetCode39FA(int32_t value);
    void SetUPCE0Options(int32_t value);
    void SetSymbolOverride(std::u16string_view text);
    void ApplyDecoderSettings();
    // Records (decoder, parameter, value), replacing an equal pair.
    void RecordDecoderSetting(int32_t decoder, int32_t parameter, int32_t value);
    const std::vector<DecoderTriple>& DecoderSettings() const { return m_decoders; }
    static intptr_t AutomationQuery(void* context, uint32_t query, intptr_t a, intptr_t b);

    int32_t GetScanAheadMode() const { return m_scanAheadMode; }
    int32_t GetEnableScannerOnExit() const { return m_enableScannerOnExit; }
    int32_t GetReconnectDelay() const { return m_reconnectDelay; }
    int32_t GetIgnoreRadio() const { return m_ignoreRadio; }
    int32_t GetRSSIThreshold() const { return m_rssiThreshold; }
    int32_t GetRadioWakeDelay() const { return m_radioWakeDelay; }
    int32_t GetEscapeIncludeData() const { return m_escapeIncludeData; }
    uint32_t GetCodePage() const { return m_codePage; }
    uint32_t GetFeatureNumber(int32_t index) const;
    const char16_t* GetFeatureString(int32_t index) const;
    bool IsScannerWanted() const { return m_scannerWanted; }
    CoreProperties& Props() { return m_props; }
    const std::u16string& ModuleFolder() const { return m_moduleFolder; }
    // The application folder: kept as the module folder and registered as "APP".
    void SetAppDirectory(std::u16string_view folder);
    const std::u16string& HtmlPagePath() const { return m_htmlPagePath; }

    // ---- Screen: cell metrics and back buffer.
    // The control window's client size in pixels (the control sets it on
    // every resize, then calls UpdateCellMetrics and CreateBackBuffer).
    void SetClientSize(int width, int height);
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    void UpdateCellMetrics();
    void CreateBackBuffer();
    int GetCellWidth() const { return m_cellWidth; }
    int GetCellHeight() const { return m_cellHeight; }
    int GetDoubleCellWidth() const { return m_doubleCellWidth; }
    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    void SetColumns(int columns) { m_columns = columns; }
    void SetRows(int rows) { m_rows = rows; }
    // (rows + 3) x columns cells, made by CreateBackBuffer.
    CWideBuffer& ScreenCharacters() { return m_screenChars; }
    CWideBuffer& ScreenAttributes() { return m_screenAttrs; }
    ISessionCanvas& Canvas() { return *m_canvas; }
    HWND GetWindow() const { return m_window; }

    // ---- Hooks to the parts built around the core (not owned; null
    // restores the built-in "not present").
    void SetScanner(ICoreScanner* scanner);
    void SetDevices(ICoreDevices* devices);
    void SetScreen(ICoreScreen* screen);
    // Null restores the core's own widget manager.
    void SetWidgets(ICoreWidgets* widgets);
    // The window layer of the core's widgets (null: widgets without windows).
    void SetWidgetWindows(IWidgetWindows* windows);
    void SetAutomation(ICoreAutomation* automation);
    ICoreScanner& Scanner() { return *m_scanner; }
    ICoreDevices& Devices() { return *m_devices; }
    ICoreScreen& Screen() { return *m_screen; }
    ICoreWidgets& Widgets() { return *m_widgets; }
    ICoreAutomation& Automation() { return *m_automation; }

protected:
    using Handler = int (CClientCore::*)(CPacket*, uint8_t);
    // The handler of a command byte; null for bytes without one.
    static Handler HandlerFor(uint8_t code);

    void Destroy();
    void SetBusy(bool busy);
    void ReceiveNow(const uint8_t* bytes, int32_t count, bool framed);
    void RenewWriter();
    void Queue(EventRecord record);
    static void FreeEvent(EventRecord& record);
    void TypedTextRecord();
    void KeyReply(int number);
    void EndFieldWith(std::u16string_view text);
    // FirstCell and LastCell draw the field's opening (the whole default
    // text, then the padding); AfterText draws typed text, aligned and cut.
    enum class CaretAt { FirstCell, LastCell, AfterText };
    void DrawField(std::u16string_view text, CaretAt caret);
    int OnFieldCharacter(char16_t c);

    // Session
    std::u16string m_moduleFolder;
    std::u16string m_htmlPagePath;
    CoreProperties m_props;
    int32_t m_terminalId = 0;
    uint32_t m_codePage = 0;
    HWND m_window;
    std::unique_ptr<CPacketFramer> m_framer;
    std::unique_ptr<CPacketBuffer> m_writer;
    std::vector<std::unique_ptr<CPacketBuffer>> m_retiredWriters;
    int m_receiveDepth = 0;
    struct PendingInput {
        std::vector<uint8_t> bytes;
        bool framed;
    };
    std::deque<PendingInput> m_pendingInput;

    // Settings
    CDwordBuffer m_featureNumbers;
    CPointerBuffer m_featureStrings;
    std::vector<DecoderTriple> m_decoders;
    int32_t m_scanAheadMode = 0;
    int32_t m_reconnectDelay = 0;
    bool m_scannerWanted = false;
    int32_t m_escapeIncludeData = 0;
    int32_t m_enableScannerOnExit = 0;
    int32_t m_ignoreRadio = 0;
    int32_t m_rssiThreshold = 0;
    int32_t m_radioWakeDelay = 0;

    // Serial port and power
    std::unique_ptr<ICoreSerialPort> m_serialPort;
    DWORD m_serialUseTime = 0;
    bool m_resumeSignalled = false;
    DWORD m_resumeTime = 0;

    // Dialog
    HWND m_dialog = 0;
    DWORD m_dialogOpenTime = 0;
    DialogMode m_dialogMode = DialogMode::None;
    bool m_disconnectPending = false;
    uint32_t m_sessionEnds = 0;  // counts completed Disconnects

    // Input state
    ::InputCommand m_inputCommand = InputCommand::None;
    ::InputKind m_inputKind = InputKind::None;
    int32_t m_timeout = 0;
    DWORD m_timeoutStart = 0;
    std::u16string m_terminators;
    int32_t m_fieldLength = 0;
    int32_t m_fieldColumn = 0;
    int32_t m_fieldRow = 0;
    char16_t m_pad = u'_';
    int32_t m_alphaSwitch = 0;
    int32_t m_secondFlags = 0;
    int32_t m_inputFlags = 0;
    std::u16string m_inputText;  // at most kInputTextUnits - 1 characters
    bool m_textStarted = false;
    bool m_textWithKey = true;
    uint8_t m_modeSelect = 0;
    std::deque<EventRecord> m_queue;
    bool m_replayingAll = false;  // ReplayAllEvents is running

    // Screen
    std::unique_ptr<ISessionCanvas> m_canvas;
    int m_clientWidth = 0;
    int m_clientHeight = 0;
    int m_columns = 21;
    int m_rows = 16;
    int m_cellWidth = 11;
    int m_cellHeight = 18;
    int m_doubleCellWidth = 22;
    CWideBuffer m_screenChars;
    CWideBuffer m_screenAttrs;

    // File transfers (SendFile, GETFILE)
    FileTransferState m_fileTransfers;

    // Hooks
    ICoreScanner* m_scanner;
    ICoreDevices* m_devices;
    ICoreScreen* m_screen;
    ICoreWidgets* m_widgets;
    ICoreAutomation* m_automation;
    std::unique_ptr<CWidgetManager> m_widgetManager;
};

// The control window of the running core (module-wide), 0 when none.
HWND CoreControlWindow();

// Narrow interfaces through which the session core reaches parts of the
// runtime that are built around it: the extension libraries, the screen's
// view, the widgets and the automation libraries. Every default answers "not
// present" and does nothing, so the core runs whole without them; the parts
// that provide them derive from these classes and install themselves with
// CClientCore::SetScanner, SetDevices, SetView, SetWidgets, SetDialogs,
// SetAutomation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Draw.h"
#include "platform/WinTypes.h"

class CPacket;
class CPacketBuffer;

// Scanner states as the scanner library knows them.
constexpr int SCANNER_STATE_OFF = 1;
constexpr int SCANNER_STATE_ON = 2;
constexpr int SCANNER_STATE_TRIGGER = 3;

// Symbology code of a name that is not in the symbology table.
constexpr int SYMBOLOGY_UNKNOWN = 242;

// Words in a decoder's parameter record; parameter p is word p + 2.
constexpr int DECODER_RECORD_WORDS = 10;

// The scanner library (extension type 0) and its decoder table.
class ICoreScanner {
public:
    virtual ~ICoreScanner() = default;
    virtual bool IsPresent() { return false; }
    virtual int GetScannerState() { return 0; }
    virtual int SetScannerState(int /*state*/) { return 0; }
    virtual bool GetSupportedDecoders(std::vector<uint8_t>* /*decoders*/) { return false; }
    virtual bool GetEnabledDecoders(std::vector<uint8_t>* /*decoders*/) { return false; }
    virtual bool SetEnabledDecoders(const std::vector<uint8_t>& /*decoders*/) { return false; }
    virtual bool GetDecoderParameters(int /*decoder*/, int32_t (& /*record*/)[DECODER_RECORD_WORDS]) { return false; }
    virtual bool SetDecoderParameters(int /*decoder*/, const int32_t (& /*record*/)[DECODER_RECORD_WORDS]) {
        return false;
    }
    virtual int SetGlobalParameter(int /*parameter*/, int32_t /*value*/) { return 0; }
    // Host symbology code of a name; SYMBOLOGY_UNKNOWN when the name is unknown.
    virtual int SymbologyCode(std::string_view /*name*/) { return SYMBOLOGY_UNKNOWN; }
    // The name of a host symbology code; empty when the code has none.
    virtual std::u16string SymbologyName(int /*code*/) { return {}; }
    // Sets the decoders from a file of the BARCODES folder (a field's decoder file).
    virtual void SetDecodersFromFile(std::u16string_view /*name*/) {}
};

// Functions of the device-control library, with the value each answers when
// the library or the function is missing.
enum class DeviceFunction {
    GetKeyBoardState,   // -1
    GetKeyTimeout,      // -1
    GetBackLightTime,   // -1
    SetKeyBoardState,   // 0
    SetKeyTimeout,      // 0
    SetBackLightTime,   // 0
    SetAlphaMode,       // 0
    SetBacklightState,  // 0
};

struct RFID_READ_ENTRY;
struct RFID_WRITE_ENTRY;

// The device extensions (device control, magnetic-stripe and RFID readers).
class ICoreDevices {
public:
    virtual ~ICoreDevices() = default;
    virtual bool HasDeviceControl() { return false; }
    virtual int32_t CallDevice(DeviceFunction function, int32_t value);
    // The device-control library's device id; 0 when none.
    virtual int32_t GetDeviceId() { return 0; }
    // The device-control library's beep; non-zero when it played the tone.
    virtual int32_t PlayBeep(int32_t /*durationMs*/, int32_t /*frequencyHz*/) { return 0; }
    virtual void EnableMsr(bool /*on*/) {}
    virtual void EnableRfid(bool /*on*/) {}
    virtual void SuspendAll() {}
    virtual void ResumeAll() {}
    virtual int32_t SetRfidProperty(std::string_view /*name*/, std::string_view /*value*/) { return 0; }
    // The RFID library's calls (0: failed, or no library). A block it hands
    // out is given back with RfidFreeBlock.
    virtual bool HasRfid() { return false; }
    virtual int32_t RfidIdentify(uint8_t** /*block*/, int32_t* /*length*/) { return 0; }
    virtual int32_t RfidLastList(uint8_t** /*block*/, int32_t* /*length*/) { return 0; }
    // The value is read into the caller's buffer.
    virtual int32_t RfidGetProperty(const char* /*name*/, char* /*buffer*/, int32_t /*size*/) { return 0; }
    virtual int32_t RfidRead(const uint8_t* /*tag*/, uint16_t /*tagLength*/, const RFID_READ_ENTRY* /*list*/,
                             uint8_t** /*block*/, int32_t* /*length*/) {
        return 0;
    }
    virtual int32_t RfidWrite(const uint8_t* /*tag*/, uint16_t /*tagLength*/, const RFID_WRITE_ENTRY* /*list*/,
                              uint8_t** /*block*/, int32_t* /*length*/) {
        return 0;
    }
    virtual void RfidFreeBlock(void* /*block*/) {}
    // The printer library; without one every call fails and nothing is printed.
    virtual bool HasPrinter() { return false; }
    virtual bool PrinterConnect() { return false; }
    virtual bool PrinterSendWakeupString() { return false; }
    virtual bool PrinterSend(const uint8_t* /*data*/, int32_t /*length*/) { return false; }
    virtual bool PrinterFlush() { return false; }
    virtual void PrinterDisconnect() {}
    // The network library (radio and adapter).
    virtual bool HasNetwork() { return false; }
    // 0 when the six bytes of the adapter's address were read.
    virtual int32_t GetMACAddr(uint8_t (& /*mac*/)[6]) { return -1; }
    virtual int32_t GetAdapterSignalStrength() { return 0; }
    // 0 when the adapter is associated.
    virtual int32_t GetAdapterStatus() { return 0; }
};

// The view of the session screen (the control window): it keeps the back
// buffer -- a picture of the window's size -- paints the core's screen model
// into it and is told when the model changed. Without a view there is no
// back buffer.
class ICoreView {
public:
    virtual ~ICoreView() = default;
    // The screen model changed: bring the back buffer up to date (at the
    // latest before it is next drawn into or copied) and have the window
    // repainted when convenient.
    virtual void ScreenChanged() {}
    // The control window takes the keyboard focus (an input field opens).
    virtual void TakeFocus() {}
    // (Re)makes the back buffer at the window's client size, white; false
    // when none could be made (no size yet).
    virtual bool CreateBackBuffer(int /*width*/, int /*height*/) { return false; }
    virtual bool HasBackBuffer() { return false; }
    // Paints count cells of one row of the picture, from column, into the
    // back buffer.
    virtual void DrawCells(const plat::draw::CellView& /*cells*/, int /*row*/, int /*column*/, int /*count*/) {}
    // Copies the back buffer into the target (the window's drawing context).
    virtual void CopyBackBuffer(HDC /*target*/) {}
};

// The widget manager and the menu box.
class ICoreWidgets {
public:
    virtual ~ICoreWidgets() = default;
    // WIDGETACTION: the command's widget records; the answer goes into the
    // writer when one is given. Returns the bytes left in the packet.
    virtual int32_t ProcessWidgetStream(CPacket& /*packet*/, CPacketBuffer* /*writer*/) { return 0; }
    // Activates the focused widget (keepFocus 0 first gives the focus to the
    // focused widget, or to the first in tab order); false when none took it.
    virtual bool ActivateFocused(bool /*keepFocus*/) { return false; }
    virtual void RemoveAll() {}
    // The widgets' records for a saved screen, and their restoring.
    virtual bool WriteAll(CPacketBuffer& /*writer*/) { return true; }
    virtual void LoadAll(CPacket& /*packet*/) {}
    virtual void SetCellMetrics(int /*cellWidth*/, int /*cellHeight*/) {}
    virtual void SetDefaultFont(std::u16string_view /*face*/, int32_t /*size*/) {}
    // A window message offered to the widgets until one claims it; *handled
    // tells whether one did.
    virtual LRESULT RouteMessage(HWND /*window*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                                 bool* handled) {
        *handled = false;
        return 0;
    }
};

// The error box a host asks for (RFERROR): its width in cells, lines,
// time-out in seconds (0: an OK button) and text.
struct ErrorBoxRequest {
    int32_t width = 0;
    int32_t lines = 0;
    int32_t timeout = 0;
    std::u16string text;  // each line followed by "\n"
};

// One line of the menu box and the number its choice answers, less one.
struct MenuBoxItem {
    std::u16string text;
    int32_t data = 0;
};

// The menu box a host asks for (RFMENU): its rectangle in cells of the
// control window, its title and its items.
struct MenuBoxRequest {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t titleLines = 0;
    std::u16string title;  // each line followed by "\r\n"
    std::vector<MenuBoxItem> items;
    int32_t exitKey = 0;  // the key that ends the program's message loop; 0: none
};

// Where the core's boxes are laid out: the control window, whose character
// grid they are centred on, and the grid's cells.
struct DialogGrid {
    HWND owner = 0;
    int cellWidth = 0;
    int cellHeight = 0;
    int columns = 0;
    int rows = 0;
};

// What an open box tells the core.
class IDialogAnswers {
public:
    virtual ~IDialogAnswers() = default;
    // OK, Enter, ESC or the box's time-out.
    virtual void ErrorBoxAnswered() = 0;
    // The box is gone (after an answer, or closed without one).
    virtual void ErrorBoxDestroyed() = 0;
    // The menu box's choice: an item's data + 1, or -1 (cancelled).
    virtual void MenuBoxAnswered(int32_t choice) = 0;
    virtual void MenuBoxDestroyed() = 0;
};

// The dialogs the core asks for, made by the control beside its view. The
// default shows none, as on a device without a display.
class ICoreDialogs {
public:
    virtual ~ICoreDialogs() = default;
    // Shows the box, modeless, laid out on the grid; its window, or 0 when
    // none is shown. The box tells answers until it is closed.
    virtual HWND OpenErrorBox(const ErrorBoxRequest& /*request*/, const DialogGrid& /*grid*/,
                              IDialogAnswers& /*answers*/) {
        return 0;
    }
    // Destroys the open box without an answer and without telling anyone.
    virtual void CloseErrorBox(HWND /*box*/) {}
    // The menu box, modeless, at its rectangle on the grid; its window, or 0.
    virtual HWND OpenMenuBox(const MenuBoxRequest& /*request*/, const DialogGrid& /*grid*/,
                             IDialogAnswers& /*answers*/) {
        return 0;
    }
    // Destroys the open menu box without an answer and without telling anyone.
    virtual void CloseMenuBox(HWND /*box*/) {}
    // A message with an OK button only, titled "Orvade"; returns when the user dismissed it.
    virtual void ShowMessage(std::u16string_view /*text*/) {}
    // A fault of the control's own, OK only, titled "Orvade error"; returns when dismissed.
    virtual void ShowError(std::u16string_view /*text*/) {}
    // The signature screen has replaced the widgets (its widgets are the
    // core's own); a host that shows no screen says so.
    virtual void SignatureScreenOpened() {}
};

// The automation libraries.
class ICoreAutomation {
public:
    virtual ~ICoreAutomation() = default;
    virtual bool IsLoaded() { return false; }
    virtual void Notify(uint32_t /*code*/, intptr_t /*a*/, intptr_t /*b*/) {}
};

// Automation notification codes the core sends.
constexpr uint32_t AUTO_TERMINATE = 0x9003;
constexpr uint32_t AUTO_SESSION_START = 0x9005;
constexpr uint32_t AUTO_DISCONNECT = 0x9006;
constexpr uint32_t AUTO_INPUT_AWAITED = 0x9007;
constexpr uint32_t AUTO_END_OF_INPUT = 0x9008;
constexpr uint32_t AUTO_MENU_SHOWN = 0x9009;         // the title, the number of items
constexpr uint32_t AUTO_MENU_CLOSED = 0x900A;
constexpr uint32_t AUTO_ERROR_BOX_SHOWN = 0x900B;   // time-out, the box's text
constexpr uint32_t AUTO_ERROR_BOX_CLOSED = 0x900C;

// Queries an automation library asks the core (a, b as each names them).
constexpr uint32_t AUTO_QUERY_HIGHEST = 0xA001;         // the highest query known
constexpr uint32_t AUTO_QUERY_IDENTITY = 0xA002;        // the identity text
constexpr uint32_t AUTO_QUERY_VERSION = 0xA003;         // the version number
constexpr uint32_t AUTO_QUERY_DISCONNECT = 0xA004;      // ends the session
constexpr uint32_t AUTO_QUERY_SCREEN_TEXT = 0xA005;     // a int32_t* rows, b int32_t* columns
constexpr uint32_t AUTO_QUERY_KEY = 0xA006;             // a virtual key
constexpr uint32_t AUTO_QUERY_TYPE_TEXT = 0xA007;       // a text, b clear the field first
constexpr uint32_t AUTO_QUERY_MENU_ITEM_LENGTH = 0xA008; // a item
constexpr uint32_t AUTO_QUERY_MENU_ITEM_TEXT = 0xA009;  // a item, b buffer
constexpr uint32_t AUTO_QUERY_MENU_CHOOSE = 0xA00A;     // a item
constexpr uint32_t AUTO_QUERY_MODULE_FOLDER = 0xA00B;

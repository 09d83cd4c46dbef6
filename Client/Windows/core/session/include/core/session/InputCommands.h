// The input commands and the input they wait for: GETEVENT, COMMANDEVENT,
// RfInput ('5' and 'i') and MODESELECT, the editing of an input field, the
// replies that input produces, and the queue of input that arrived while the
// host waited for nothing. The control's keys, characters and device data
// come here through the core.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/hooks/CoreMessages.h"
#include "core/session/EventQueue.h"
#include "core/session/InputField.h"
#include "core/session/ReplyChannel.h"
#include "core/session/ScreenModel.h"
#include "core/session/SessionSettings.h"


// Dialog ("screen") modes: what the open box takes from the input.
enum class DialogMode : int32_t { None = 0, Menu = 1, Error = 2, Signature = 4 };

// MODESELECT's mode in which input stays open and each text goes out as it comes.
constexpr uint8_t MODESELECT_OPEN_INPUT = 2;

// What the input needs of the session beyond its parts: the caret and the
// cursor, the open box's mode, the control window, the session's end (CAN),
// a field's decoder file and the signature screen's buttons. The core implements it.
class IInputSession {
public:
    virtual ~IInputSession() = default;
    virtual void SetCaretWanted(bool wanted) = 0;
    virtual void MoveCursor(int row, int column) = 0;
    virtual DialogMode CurrentDialogMode() const = 0;
    virtual HWND GetWindow() const = 0;
    virtual void EndSession() = 0;
    virtual void ApplyDecoderFile(std::u16string name) = 0;
    // A widget event looked at by the signature screen first (dialog mode 4).
    virtual void OfferSignatureEvent(const uint8_t* bytes, int32_t count) = 0;
};

// The state it shares with the core, which reads it (the dispatcher resets
// MODESELECT's mode; the control asks whether the scanner is wanted).
struct InputSharedState {
    uint8_t modeSelect = 0;
    bool scannerWanted = false;
    uint64_t droppedEvents = 0;  // events a full queue did not take
};

class CInputCommands {
public:
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
    static constexpr int kMaxDeviceDataChars = 4000;

    // The hooks are the core's, which the control may replace at any time. All outlive this.
    CInputCommands(IReplyChannel& replies, IInputSession& session, CInputField& field, CEventQueue& queue,
                   CScreenModel& screen, const CSessionSettings& settings, InputSharedState& shared,
                   ICoreScanner* const& scanner, ICoreDevices* const& devices, ICoreView* const& view,
                   ICoreWidgets* const& widgets, ICoreAutomation* const& automation)
        : m_replies(replies),
          m_session(session),
          m_field(field),
          m_queue(queue),
          m_screen(screen),
          m_settings(settings),
          m_shared(shared),
          m_scanner(scanner),
          m_devices(devices),
          m_view(view),
          m_widgets(widgets),
          m_automation(automation) {}
    CInputCommands(const CInputCommands&) = delete;
    CInputCommands& operator=(const CInputCommands&) = delete;

    void Register(CCommandTable& table);

    // The control's input, as the core's operations of the same names.
    int32_t OnKeyDown(uint32_t virtualKey, uint32_t flags);
    int32_t OnChar(char16_t character, int32_t repeat, uint32_t flags);
    int32_t OnDeviceData(const DeviceDataRecord* record);
    int OnKey(std::u16string_view text, EventType kind);
    void SendWidgetEvent(const uint8_t* bytes, int32_t count);
    void EndInput();
    // The scanner as the host wants it.
    void EnableScanner(bool wanted);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int GETEVENT(CPacket* pkt, uint8_t code);
    int COMMANDEVENT(CPacket* pkt, uint8_t code);
    int RfInput(CPacket* pkt, uint8_t code);  // '5' and 'i'
    int MODESELECT(CPacket* pkt, uint8_t code);

    // A widget event sent, or queued while nothing waits (a queued one is
    // delivered this way when it is replayed).
    void DeliverWidgetEvent(const uint8_t* bytes, int32_t count);
    // The scanner, the magnetic-stripe reader and the RFID reader together.
    void EnableReaders(bool on);
    void SendInputText(std::u16string_view text, EventType kind);
    void SendDeviceDataReply(uint8_t code, std::u16string_view text, int32_t number);
    void Queue(QueuedEvent event);
    void ReplayEvent();
    void ReplayAllEvents();
    void TypedTextRecord();
    void EndFieldWith(std::u16string_view text);
    void DrawField(std::u16string_view text, CInputField::CaretAt caret);
    int OnFieldCharacter(char16_t c);
    const CoreProperties& Properties() const { return m_settings.Properties(); }

    IReplyChannel& m_replies;
    IInputSession& m_session;
    CInputField& m_field;
    CEventQueue& m_queue;
    CScreenModel& m_screen;
    const CSessionSettings& m_settings;
    InputSharedState& m_shared;
    ICoreScanner* const& m_scanner;
    ICoreDevices* const& m_devices;
    ICoreView* const& m_view;
    ICoreWidgets* const& m_widgets;
    ICoreAutomation* const& m_automation;
    bool m_replayingAll = false;  // ReplayAllEvents is running
};

// User input: what the host waits for, the editing of an input field, the
// replies that input produces, and the queue of input that arrived while the
// host waited for nothing.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/session/InputCommands.h"

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace {

constexpr char16_t kBackspace = 8;
constexpr char16_t kCan = 24;

// The device's action key (the virtual key of F23).
constexpr uint32_t kVkAction = 0x86;

// Host key numbers of the virtual keys the core answers itself; 0 for others.
int KeyNumber(uint32_t virtualKey, bool actionAsEnter) {
    if (virtualKey >= VK_F1 && virtualKey <= VK_F12) return static_cast<int>(virtualKey - VK_F1) + 1;
    switch (virtualKey) {
    case VK_UP: return 21;
    case VK_LEFT: return 22;
    case VK_RIGHT: return 23;
    case VK_DOWN: return 24;
    case VK_HOME: return 25;
    case VK_END: return 26;
    case VK_PRIOR: return 27;
    case VK_NEXT: return 28;
    case VK_INSERT: return 29;
    case VK_DELETE: return 30;
    case kVkAction: return actionAsEnter ? 0 : 31;
    default: return 0;
    }
}

intptr_t CaretWord(const CScreenModel& screen) {
    const CScreenModel::Caret& caret = screen.GetCaret();
    return static_cast<intptr_t>((static_cast<uint32_t>(caret.column) & 0xFFFF) | (static_cast<uint32_t>(caret.row) << 16));
}

}  // namespace

// ---- Commands

int CInputCommands::GETEVENT(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GETEVENT");
    if (!m_queue.Empty()) {
        // The flags of an earlier field must not refuse the queued input.
        m_field.flags = 0;
        m_field.text.clear();
        m_field.kind = InputKind::KeysAndData;
        m_field.command = InputCommand::Event;
        ReplayEvent();
    } else {
        m_field.flags = 0;
        m_field.text.clear();
        const int kind = pkt->GetFieldLength() > 0 ? pkt->PeekByte('0') : '0';
        m_field.kind = kind == '1' ? InputKind::Keys : kind == '2' ? InputKind::Data : InputKind::KeysAndData;
        if (!m_widgets->ActivateFocused(false)) {
            EnableReaders(true);
        }
        m_field.command = InputCommand::Event;
    }
    if (m_automation->IsLoaded() && m_field.command == InputCommand::Event) {
        m_automation->Notify(AUTO_INPUT_AWAITED, CaretWord(m_screen), 0);
    }
    return 0;
}

int CInputCommands::COMMANDEVENT(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "COMMANDEVENT");
    m_field.command = InputCommand::None;
    return 0;
}

int CInputCommands::MODESELECT(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "MODESELECT");
    m_field.ResetText();
    m_shared.modeSelect = static_cast<uint8_t>(pkt->GetInt(0));
    m_field.kind = InputKind::KeysAndData;
    m_session.SetCaretWanted(true);
    m_replies.SendTextReply('b', u"");
    if (m_shared.modeSelect == 0) {
        EnableReaders(false);
    } else if (m_shared.modeSelect == MODESELECT_OPEN_INPUT) {
        EnableReaders(true);
    }
    return 0;
}

int CInputCommands::RfInput(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "RfInput");
    m_field.textWithKey = code != cmd::kRfInputNoKey;
    auto wide = [pkt] {
        std::u16string text(static_cast<size_t>(std::max(pkt->GetWide(nullptr, 0), 1)), u'\0');
        text.resize(static_cast<size_t>(pkt->GetWide(text.data(), static_cast<int32_t>(text.size()))));
        return text;
    };
    const std::u16string defaultText = wide();
    pkt->NextField();
    int32_t length = pkt->GetInt(0);
    pkt->NextField();
    const int32_t column = pkt->GetInt(0);
    pkt->NextField();
    const int32_t row = pkt->GetInt(0);
    pkt->NextField();
    if (!Properties().wrap && column >= 0 && column < m_screen.Columns() && int64_t{column} + length > m_screen.Columns())
        length = m_screen.Columns() - column;
    const std::u16string decoderFile = wide();
    pkt->NextField();
    if (!decoderFile.empty()) m_session.ApplyDecoderFile(std::u16string(decoderFile));
    m_field.alphaSwitch = pkt->GetInt(0);
    pkt->NextField();
    m_field.secondFlags = pkt->GetInt(0);
    pkt->NextField();
    int32_t flags = pkt->GetLong(0);
    pkt->NextField();
    const std::u16string pad = wide();
    pkt->NextField();
    m_field.terminators = wide();
    pkt->NextField();
    m_field.timeout = pkt->GetInt(0);

    if ((flags & (INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS)) == (INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS)) {
        flags &= ~(INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS);
    }
    m_field.flags = flags;
    m_field.length = std::max(length, 0);
    m_field.column = column;
    m_field.row = row;
    m_field.pad = pad.empty() ? u'_' : pad[0];

    if (m_field.alphaSwitch) {
        m_devices->CallDevice(DeviceFunction::SetAlphaMode, (m_field.secondFlags & INPUT2_UPPER_CASE) ? 1 : 0);
    }
    if (!(flags & INPUT_NO_ACTIVATE)) {
        m_widgets->ActivateFocused(true);
        EnableScanner(true);
        m_devices->EnableRfid(true);
    }
    m_devices->EnableMsr(true);
    if (flags & INPUT_BACKLIGHT) m_devices->CallDevice(DeviceFunction::SetBacklightState, 1);
    if (flags & INPUT_SCANNER_TRIGGER) m_scanner->SetScannerState(SCANNER_STATE_TRIGGER);
    if (m_field.timeout > 0) m_field.timeoutStart = GetTickCount();

    // A default text the buffer cannot hold is dropped.
    m_field.text.clear();
    if (defaultText.size() < static_cast<size_t>(CInputField::kTextUnits)) m_field.text = defaultText;
    m_field.started = false;
    m_session.MoveCursor(row, column);
    m_field.kind = InputKind::KeysAndData;
    if ((column >= 0 && column < m_screen.Columns() && row >= 0 && row < m_screen.Rows()) || Properties().wrap) {
        DrawField(m_field.text, (flags & INPUT_RIGHT_ALIGN) ? CInputField::CaretAt::LastCell : CInputField::CaretAt::FirstCell);
    }
    m_view->TakeFocus();
    m_field.command = InputCommand::Field;

    if (flags & INPUT_DISCARD_QUEUE) {
        m_queue.Clear();
    } else {
        for (size_t n = m_queue.Size(); n > 0 && m_field.command == InputCommand::Field && !m_queue.Empty(); --n) ReplayEvent();
    }
    if (m_automation->IsLoaded() && m_field.command == InputCommand::Field) {
        m_automation->Notify(AUTO_INPUT_AWAITED, CaretWord(m_screen), m_field.length);
    }
    return 0;
}

// ---- Input from the control

int32_t CInputCommands::OnKeyDown(uint32_t virtualKey, uint32_t) {
    // Break and Clear are characters of the field.
    if (virtualKey == VK_CANCEL || virtualKey == VK_CLEAR) {
        const char16_t c = static_cast<char16_t>(virtualKey);
        OnKey(std::u16string_view(&c, 1), EVENT_CHARACTERS);
        return kOk;
    }
    const int number = KeyNumber(virtualKey, Properties().actionAsEnter != 0);
    if (number == 0) return kFail;
    if (m_field.kind == InputKind::None) {
        Queue(KeyEvent{virtualKey});
        return kOk;
    }
    if (m_field.flags & INPUT_NO_CONTROL_KEYS) return kOk;
    if (!m_replies.Writer()) return kOk;
    m_replies.Writer()->Reset();
    if ((m_field.flags & INPUT_KEY_SENDS_TEXT) && m_field.textWithKey) TypedTextRecord();
    m_field.textWithKey = true;
    m_session.SetCaretWanted(false);
    m_replies.Writer()->AppendByte('2').EndField().AppendInt(number);
    m_replies.SendReply(*m_replies.Writer());
    EndInput();
    return kOk;
}

int32_t CInputCommands::OnChar(char16_t character, int32_t repeat, uint32_t) {
    if (m_session.CurrentDialogMode() == DialogMode::Error || m_session.CurrentDialogMode() == DialogMode::Signature) return kOk;
    if (m_field.secondFlags & INPUT2_UPPER_CASE) character = plat::text::ToUpper(character);
    for (int32_t i = 0; i < repeat; ++i) OnKey(std::u16string_view(&character, 1), EVENT_CHARACTERS);
    return kOk;
}

int CInputCommands::OnKey(std::u16string_view text, EventType kind) {
    switch (m_field.command) {
    case InputCommand::Field:
        for (char16_t c : text) {
            if (m_field.command != InputCommand::Field) break;
            OnFieldCharacter(c);
        }
        break;
    case InputCommand::Event: {
        const std::u16string copy(text);
        EndInput();
        SendInputText(copy, kind);
        m_field.command = InputCommand::None;
        break;
    }
    case InputCommand::None:
        if (m_shared.modeSelect == MODESELECT_OPEN_INPUT) {
            // A text replayed from the queue goes out as it is: replaying the
            // rest first would send the queue backwards.
            if (!m_replayingAll) ReplayAllEvents();
            SendInputText(text, kind);
        } else {
            Queue(TextEvent{kind, std::u16string(text)});
        }
        break;
    default:
        break;
    }
    return 0;
}

int CInputCommands::OnFieldCharacter(char16_t c) {
    if (!m_field.TakesKeys()) return 0;
    const int32_t flags = m_field.flags;
    if (m_field.terminators.find(c) != std::u16string::npos) {
        EndInput();
        m_replies.SendTextReply('2', std::u16string_view(&c, 1));
        return 0;
    }
    switch (c) {
    case 3:
    case 12:
    case 27:
        if (flags & INPUT_NO_CONTROL_KEYS) return 0;
        if (!m_replies.Writer()) return 0;
        m_replies.Writer()->Reset();
        if ((flags & INPUT_KEY_SENDS_TEXT) && m_settings.GetEscapeIncludeData()) TypedTextRecord();
        EndInput();
        m_replies.Writer()->AppendByte('4').EndField().AppendWide(std::u16string(1, c).c_str());
        m_replies.SendReply(*m_replies.Writer());
        return 0;
    case 9:
        return 0;
    case 13:
        if ((flags & INPUT_NO_EMPTY_ENTER) && m_field.text.empty()) return 0;
        if (Properties().defaultTextMode == 0 && m_field.length != 0 && !m_field.started) m_field.text = u"\r";
        EndFieldWith(m_field.text);
        return 0;
    case kCan:
        if (flags & INPUT_NO_CONTROL_KEYS) return 0;
        EndInput();
        m_replies.SendTextReply('4', std::u16string_view(&c, 1));
        if (m_shared.modeSelect != MODESELECT_OPEN_INPUT) m_session.EndSession();
        return 0;
    default:
        break;
    }

    if (!m_field.started) {
        m_field.text.clear();
        m_field.started = true;
    }
    const bool full = static_cast<int32_t>(m_field.text.size()) >= m_field.length;
    const bool autoSend = !(flags & (INPUT_NO_AUTO_SEND | INPUT_STOP_AT_LENGTH));
    const bool stopsAtLength = !(flags & INPUT_NO_AUTO_SEND) || (flags & INPUT_STOP_AT_LENGTH);
    if (c == kBackspace || !(full && stopsAtLength)) {
        if (c != kBackspace) {
            if (flags & INPUT_NO_CHARACTERS) return 0;
            if ((flags & INPUT_LETTERS_ONLY) && !plat::text::IsLetter(c)) return 0;
            if ((flags & INPUT_DIGITS_ONLY) && !((c >= u'0' && c <= u'9') || c == u'.')) return 0;
            if (m_field.secondFlags & INPUT2_UPPER_CASE) c = plat::text::ToUpper(c);
        }
        if (c == kBackspace) {
            if (m_field.text.empty()) {
                if (!(flags & INPUT_NO_EMPTY_BACKSPACE)) {
                    EndInput();
                    m_replies.SendTextReply('4', std::u16string_view(&c, 1));
                }
                return 0;
            }
            m_field.text.pop_back();
            if (m_field.text.empty() && m_field.TakesData() && !(flags & INPUT_NO_ACTIVATE)) {
                EnableReaders(true);
            }
        } else {
            // The buffer keeps room for its terminator; more is refused.
            if (m_field.text.size() >= static_cast<size_t>(CInputField::kTextUnits - 1)) return 0;
            m_field.text.push_back(c);
            if (!(flags & INPUT_KEEP_READERS)) {
                EnableReaders(false);
            }
        }
        if (!(flags & INPUT_HIDDEN) || (flags & INPUT_PASSWORD)) DrawField(m_field.text, CInputField::CaretAt::AfterText);
    }
    if (autoSend && static_cast<int32_t>(m_field.text.size()) >= m_field.length) EndFieldWith(m_field.text);
    return 0;
}

int32_t CInputCommands::OnDeviceData(const DeviceDataRecord* record) {
    if (!record || record->length < 0 || record->length > kMaxDeviceDataChars) return 0;
    if (record->length > 0 && !record->text) return 0;
    const std::u16string data(record->text ? record->text : u"", static_cast<size_t>(record->length));

    if (m_field.kind == InputKind::None) {
        Queue(DeviceDataEvent{record->reserved0, record->reserved1, record->kind, data});
        if (m_shared.modeSelect != MODESELECT_OPEN_INPUT && m_settings.GetScanAheadMode() == 0) PostMessage(m_session.GetWindow(), WM_CORE_END_OF_INPUT, 0, 0);
        return 1;
    }
    if (!m_field.TakesData()) return 1;  // keys only: taken and dropped

    const ::InputCommand command = m_field.command;
    if (command == InputCommand::Field && !(m_field.flags & INPUT_HIDDEN)) {
        DrawField(data.substr(0, static_cast<size_t>(m_field.length)), CInputField::CaretAt::AfterText);
    }
    EndInput();
    if (command == InputCommand::Event && Properties().extendedGetevent == 0) {
        m_replies.SendTextReply('1', data);
    } else {
        SendDeviceDataReply('5', data, record->kind);
    }
    return 1;
}

// ---- Replies of input

void CInputCommands::TypedTextRecord() {
    if (m_field.text.empty() || !m_replies.Writer()) return;
    m_replies.Writer()->AppendByte('4').EndField().AppendWide(m_field.text.c_str()).EndRecord();
}

void CInputCommands::EndFieldWith(std::u16string_view text) {
    const std::u16string copy(text);
    EndInput();
    m_replies.SendTextReply('4', copy);
}

void CInputCommands::SendInputText(std::u16string_view text, EventType kind) {
    std::u16string copy(text);
    if (kind == EVENT_DEVICE_DATA) copy.push_back(u'\n');
    m_replies.SendTextReply(kind == EVENT_KEY ? '2' : '1', copy);
}

void CInputCommands::SendDeviceDataReply(uint8_t code, std::u16string_view text, int32_t number) {
    if (!m_replies.Writer()) return;
    m_replies.Writer()->Reset();
    if ((m_field.flags & INPUT_KEEP_READERS) && !m_field.text.empty()) {
        if (Properties().defaultTextMode == 0 && m_field.length != 0 && !m_field.started) m_field.text = u"\r";
        TypedTextRecord();
    }
    const std::u16string data(text);
    m_replies.Writer()->AppendByte(code).EndField().AppendWide(data.c_str());
    if (m_shared.modeSelect == MODESELECT_OPEN_INPUT) m_replies.Writer()->AppendByte('\r');
    m_replies.Writer()->EndField();
    if (m_shared.modeSelect != MODESELECT_OPEN_INPUT) m_replies.Writer()->AppendString("-1").EndSubField();
    m_replies.Writer()->AppendInt(number);
    m_replies.SendReply(*m_replies.Writer());
}

void CInputCommands::SendWidgetEvent(const uint8_t* bytes, int32_t count) {
    if (!bytes || count <= 0 || !m_replies.Writer()) return;
    if (m_session.CurrentDialogMode() == DialogMode::Signature) m_session.OfferSignatureEvent(bytes, count);
    DeliverWidgetEvent(bytes, count);
}

void CInputCommands::DeliverWidgetEvent(const uint8_t* bytes, int32_t count) {
    if (!bytes || count <= 0 || !m_replies.Writer()) return;
    // The event goes into the writer only when it is sent: ending the field
    // first uses the same writer.
    auto send = [this, bytes, count] {
        m_replies.Writer()->Reset();
        m_replies.Writer()->AppendBytes(bytes, count);
        m_replies.SendReply(*m_replies.Writer());
    };
    if (bytes[0] == 'w') {
        send();
        return;
    }
    if (m_field.command == InputCommand::Field && !m_field.text.empty() && Properties().includeDataOnWidget) OnFieldCharacter(u'\r');
    if (m_field.kind != InputKind::None) {
        EndInput();
        send();
    } else if (count <= 0xFFFF) {
        Queue(WidgetEvent{std::vector<uint8_t>(bytes, bytes + count)});
    }
}

// ---- Input state

void CInputCommands::EndInput() {
    m_automation->Notify(AUTO_END_OF_INPUT, 0, 0);
    if (m_settings.GetScanAheadMode() == 0) {
        // MODESELECT mode 2 keeps the input open; otherwise the control
        // switches the input devices off.
        if (m_shared.modeSelect == MODESELECT_OPEN_INPUT) return;
        PostMessage(m_session.GetWindow(), WM_CORE_END_OF_INPUT, 0, 0);
    }
    m_session.SetCaretWanted(false);
    m_field.kind = InputKind::None;
    m_field.command = InputCommand::None;
    m_field.timeout = 0;
}

void CInputCommands::EnableScanner(bool wanted) {
    m_shared.scannerWanted = wanted;
    if (!m_scanner->IsPresent()) return;
    const int state = m_scanner->GetScannerState();
    if (wanted && state >= 0 && state <= 3) {
        m_scanner->SetScannerState(SCANNER_STATE_ON);
    } else if (!wanted && (state == 2 || state == 3)) {
        m_scanner->SetScannerState(SCANNER_STATE_OFF);
    }
}

void CInputCommands::EnableReaders(bool on) {
    EnableScanner(on);
    m_devices->EnableMsr(on);
    m_devices->EnableRfid(on);
}

void CInputCommands::DrawField(std::u16string_view text, CInputField::CaretAt caret) {
    const CInputField::Cells cells = m_field.Layout(text, caret);
    if (caret == CInputField::CaretAt::AfterText && cells.text.empty()) return;
    m_session.SetCaretWanted(false);
    if (!cells.text.empty()) m_screen.WriteText(m_field.row, m_field.column, cells.text, CScreenModel::kDefaultAttribute, Properties().wrap != 0);
    m_session.MoveCursor(m_field.row, static_cast<int>(std::min<int64_t>(int64_t{m_field.column} + cells.caretOffset, INT32_MAX)));
    m_session.SetCaretWanted(true);
}

// ---- The queue

void CInputCommands::Queue(QueuedEvent event) {
    if (!m_queue.Push(std::move(event))) ++m_shared.droppedEvents;  // a full queue drops it
}

void CInputCommands::ReplayEvent() {
    std::optional<QueuedEvent> event = m_queue.Pop();
    if (!event) return;
    struct Replay {
        CInputCommands& core;
        void operator()(const KeyEvent& e) const { core.OnKeyDown(e.virtualKey, 0); }
        void operator()(const TextEvent& e) const { core.OnKey(e.text, e.kind); }
        void operator()(const DeviceDataEvent& e) const {
            // The replayed record reads the queued copy of its text.
            const DeviceDataRecord record{e.reserved0, e.reserved1, e.kind, static_cast<int32_t>(e.text.size()),
                                          e.text.c_str()};
            core.OnDeviceData(&record);
        }
        // The signature screen saw it when it was queued: a Clear of an old
        // screen must not clear the drawing of the one now up.
        void operator()(const WidgetEvent& e) const {
            core.DeliverWidgetEvent(e.bytes.data(), static_cast<int32_t>(e.bytes.size()));
        }
    };
    std::visit(Replay{*this}, *event);
}

void CInputCommands::ReplayAllEvents() {
    // Only the events queued now: a replay may queue its input again.
    const bool outer = !m_replayingAll;
    m_replayingAll = true;
    for (size_t n = m_queue.Size(); n > 0 && !m_queue.Empty(); --n) ReplayEvent();
    if (outer) m_replayingAll = false;
}

void CInputCommands::Register(CCommandTable& table) {
    table.Register<&CInputCommands::GETEVENT>(cmd::kGETEVENT, *this);
    table.Register<&CInputCommands::COMMANDEVENT>(cmd::kCOMMANDEVENT, *this);
    table.Register<&CInputCommands::RfInput>(cmd::kRfInput, *this);
    table.Register<&CInputCommands::RfInput>(cmd::kRfInputNoKey, *this);
    table.Register<&CInputCommands::MODESELECT>(cmd::kMODESELECT, *this);
}

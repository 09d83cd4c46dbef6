// User input: what the host waits for, the editing of an input field, the
// replies that input produces, and the queue of input that arrived while the
// host waited for nothing.
#include <QChar>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"

namespace {

constexpr char16_t kBackspace = 8;
constexpr char16_t kCan = 24;

// Host key numbers of the virtual keys the core answers itself; 0 for others.
int KeyNumber(uint32_t virtualKey, bool actionAsEnter) {
    if (virtualKey >= 112 && virtualKey <= 123) return static_cast<int>(virtualKey) - 111;
    switch (virtualKey) {
    case 38: return 21;
    case 37: return 22;
    case 39: return 23;
    case 40: return 24;
    case 36: return 25;
    case 35: return 26;
    case 33: return 27;
    case 34: return 28;
    case 45: return 29;
    case 46: return 30;
    case 134: return actionAsEnter ? 0 : 31;
    default: return 0;
    }
}

// A field's text as the screen shows it: "*" per character for a password,
// '.' for unprintable characters when asked.
std::u16string ShownText(std::u16string_view text, int32_t flags) {
    std::u16string shown = (flags & INPUT_PASSWORD) ? std::u16string(text.size(), u'*') : std::u16string(text);
    if (flags & INPUT_DOT_UNPRINTABLE) {
        for (char16_t& c : shown) {
            if (c < 32 || c > 126) c = u'.';
        }
    }
    return shown;
}

intptr_t CaretWord(ICoreScreen& screen) {
    int row = 0;
    int column = 0;
    screen.GetCursor(&row, &column);
    return static_cast<intptr_t>((static_cast<uint32_t>(column) & 0xFFFF) | (static_cast<uint32_t>(row) << 16));
}

}  // namespace

// ---- Commands

int CClientCore::GETEVENT(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GETEVENT");
    if (!m_queue.empty()) {
        // The flags of an earlier field must not refuse the queued input.
        m_inputFlags = 0;
        m_inputText.clear();
        m_inputKind = InputKind::KeysAndData;
        m_inputCommand = InputCommand::Event;
        ReplayEvent();
    } else {
        m_inputFlags = 0;
        m_inputText.clear();
        const int kind = pkt->GetFieldLength() > 0 ? pkt->PeekByte('0') : '0';
        m_inputKind = kind == '1' ? InputKind::Keys : kind == '2' ? InputKind::Data : InputKind::KeysAndData;
        if (!m_widgets->ActivateFocused(false)) {
            EnableReaders(true);
        }
        m_inputCommand = InputCommand::Event;
    }
    if (m_automation->IsLoaded() && m_inputCommand == InputCommand::Event) {
        m_automation->Notify(AUTO_INPUT_AWAITED, CaretWord(*m_screen), 0);
    }
    return 0;
}

int CClientCore::COMMANDEVENT(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "COMMANDEVENT");
    m_inputCommand = InputCommand::None;
    return 0;
}

int CClientCore::RfInput(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RfInput");
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
    if (!m_props.wrap && column >= 0 && column < m_columns && int64_t{column} + length > m_columns)
        length = m_columns - column;
    const std::u16string decoderFile = wide();
    pkt->NextField();
    if (!decoderFile.empty()) m_scanner->SetDecodersFromFile(decoderFile);
    m_alphaSwitch = pkt->GetInt(0);
    pkt->NextField();
    m_secondFlags = pkt->GetInt(0);
    pkt->NextField();
    int32_t flags = pkt->GetLong(0);
    pkt->NextField();
    const std::u16string pad = wide();
    pkt->NextField();
    m_terminators = wide();
    pkt->NextField();
    m_timeout = pkt->GetInt(0);

    if ((flags & (INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS)) == (INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS)) {
        flags &= ~(INPUT_NO_ACTIVATE | INPUT_NO_CHARACTERS);
    }
    m_inputFlags = flags;
    m_fieldLength = std::max(length, 0);
    m_fieldColumn = column;
    m_fieldRow = row;
    m_pad = pad.empty() ? u'_' : pad[0];

    if (m_alphaSwitch) {
        m_devices->CallDevice(DeviceFunction::SetAlphaMode, (m_secondFlags & 0x40) ? 1 : 0);
    }
    if (!(flags & INPUT_NO_ACTIVATE)) {
        m_widgets->ActivateFocused(true);
        EnableScanner(true);
        m_devices->EnableRfid(true);
    }
    m_devices->EnableMsr(true);
    if (flags & INPUT_BACKLIGHT) m_devices->CallDevice(DeviceFunction::SetBacklightState, 1);
    if (flags & INPUT_SCANNER_TRIGGER) m_scanner->SetScannerState(SCANNER_STATE_TRIGGER);
    if (m_timeout > 0) m_timeoutStart = GetTickCount();

    // A default text the buffer cannot hold is dropped.
    m_inputText.clear();
    if (defaultText.size() < static_cast<size_t>(kInputTextUnits)) m_inputText = defaultText;
    m_textStarted = false;
    m_screen->MoveCaret(row, column);
    m_inputKind = InputKind::KeysAndData;
    if ((column >= 0 && column < m_columns && row >= 0 && row < m_rows) || m_props.wrap) {
        DrawField(m_inputText, (flags & INPUT_RIGHT_ALIGN) ? CaretAt::LastCell : CaretAt::FirstCell);
    }
    m_screen->TakeFocus();
    m_inputCommand = InputCommand::Field;

    if (flags & INPUT_DISCARD_QUEUE) {
        ClearEventQueue();
    } else {
        for (size_t n = m_queue.size(); n > 0 && m_inputCommand == InputCommand::Field && !m_queue.empty(); --n) ReplayEvent();
    }
    if (m_automation->IsLoaded() && m_inputCommand == InputCommand::Field) {
        m_automation->Notify(AUTO_INPUT_AWAITED, CaretWord(*m_screen), m_fieldLength);
    }
    return 0;
}

// ---- Input from the control

int32_t CClientCore::OnKeyDown(uint32_t virtualKey, uint32_t) {
    if (virtualKey == 3 || virtualKey == 12) {
        const char16_t c = static_cast<char16_t>(virtualKey);
        OnKey(std::u16string_view(&c, 1), EVENT_CHARACTERS);
        return kOk;
    }
    const int number = KeyNumber(virtualKey, m_props.actionAsEnter != 0);
    if (number == 0) return kFail;
    if (m_inputKind == InputKind::None) {
        Queue({nullptr, static_cast<uint16_t>(virtualKey), EVENT_KEY});
        return kOk;
    }
    if (m_inputFlags & INPUT_NO_CONTROL_KEYS) return kOk;
    if (!m_writer) return kOk;
    m_writer->Reset();
    if ((m_inputFlags & INPUT_KEY_SENDS_TEXT) && m_textWithKey) TypedTextRecord();
    m_textWithKey = true;
    m_screen->ShowCaret(false);
    m_writer->AppendByte('2').EndField().AppendInt(number);
    SendReply(*m_writer);
    EndInput();
    return kOk;
}

int32_t CClientCore::OnChar(char16_t character, int32_t repeat, uint32_t) {
    if (m_dialogMode == DialogMode::Error || m_dialogMode == DialogMode::Signature) return kOk;
    if (m_secondFlags & 0x40) character = QChar(character).toUpper().unicode();
    for (int32_t i = 0; i < repeat; ++i) OnKey(std::u16string_view(&character, 1), EVENT_CHARACTERS);
    return kOk;
}

int CClientCore::OnKey(std::u16string_view text, EventType kind) {
    switch (m_inputCommand) {
    case InputCommand::Field:
        for (char16_t c : text) {
            if (m_inputCommand != InputCommand::Field) break;
            OnFieldCharacter(c);
        }
        break;
    case InputCommand::Event: {
        const std::u16string copy(text);
        EndInput();
        SendInputText(copy, kind);
        m_inputCommand = InputCommand::None;
        break;
    }
    case InputCommand::None:
        if (m_modeSelect == MODESELECT_OPEN_INPUT) {
            // A text replayed from the queue goes out as it is: replaying the
            // rest first would send the queue backwards.
            if (!m_replayingAll) ReplayAllEvents();
            SendInputText(text, kind);
        } else if (m_queue.size() < static_cast<size_t>(kQueueCapacity)) {
            Queue({new QueuedText{kind, std::u16string(text)}, 0, EVENT_CHARACTERS});
        }
        break;
    default:
        break;
    }
    return 0;
}

int CClientCore::OnFieldCharacter(char16_t c) {
    if (m_inputKind != InputKind::KeysAndData && m_inputKind != InputKind::Keys) return 0;
    const int32_t flags = m_inputFlags;
    if (m_terminators.find(c) != std::u16string::npos) {
        EndInput();
        SendTextReply('2', std::u16string_view(&c, 1));
        return 0;
    }
    switch (c) {
    case 3:
    case 12:
    case 27:
        if (flags & INPUT_NO_CONTROL_KEYS) return 0;
        if (!m_writer) return 0;
        m_writer->Reset();
        if ((flags & INPUT_KEY_SENDS_TEXT) && m_escapeIncludeData) TypedTextRecord();
        EndInput();
        m_writer->AppendByte('4').EndField().AppendWide(std::u16string(1, c).c_str());
        SendReply(*m_writer);
        return 0;
    case 9:
        return 0;
    case 13:
        if ((flags & INPUT_NO_EMPTY_ENTER) && m_inputText.empty()) return 0;
        if (m_props.defaultTextMode == 0 && m_fieldLength != 0 && !m_textStarted) m_inputText = u"\r";
        EndFieldWith(m_inputText);
        return 0;
    case kCan:
        if (flags & INPUT_NO_CONTROL_KEYS) return 0;
        EndInput();
        SendTextReply('4', std::u16string_view(&c, 1));
        if (m_modeSelect != MODESELECT_OPEN_INPUT) Disconnect(nullptr, '9');
        return 0;
    default:
        break;
    }

    if (!m_textStarted) {
        m_inputText.clear();
        m_textStarted = true;
    }
    const bool full = static_cast<int32_t>(m_inputText.size()) >= m_fieldLength;
    const bool autoSend = !(flags & (INPUT_NO_AUTO_SEND | INPUT_STOP_AT_LENGTH));
    const bool stopsAtLength = !(flags & INPUT_NO_AUTO_SEND) || (flags & INPUT_STOP_AT_LENGTH);
    if (c == kBackspace || !(full && stopsAtLength)) {
        if (c != kBackspace) {
            if (flags & INPUT_NO_CHARACTERS) return 0;
            if ((flags & INPUT_LETTERS_ONLY) && !QChar(c).isLetter()) return 0;
            if ((flags & INPUT_DIGITS_ONLY) && !((c >= u'0' && c <= u'9') || c == u'.')) return 0;
            if (m_secondFlags & 0x40) c = QChar(c).toUpper().unicode();
        }
        if (c == kBackspace) {
            if (m_inputText.empty()) {
                if (!(flags & INPUT_NO_EMPTY_BACKSPACE)) {
                    EndInput();
                    SendTextReply('4', std::u16string_view(&c, 1));
                }
                return 0;
            }
            m_inputText.pop_back();
            if (m_inputText.empty() && (m_inputKind == InputKind::KeysAndData || m_inputKind == InputKind::Data) && !(flags & INPUT_NO_ACTIVATE)) {
                EnableReaders(true);
            }
        } else {
            // The buffer keeps room for its terminator; more is refused.
            if (m_inputText.size() >= static_cast<size_t>(kInputTextUnits - 1)) return 0;
            m_inputText.push_back(c);
            if (!(flags & INPUT_KEEP_READERS)) {
                EnableReaders(false);
            }
        }
        if (!(flags & INPUT_HIDDEN) || (flags & INPUT_PASSWORD)) DrawField(m_inputText, CaretAt::AfterText);
    }
    if (autoSend && static_cast<int32_t>(m_inputText.size()) >= m_fieldLength) EndFieldWith(m_inputText);
    return 0;
}

int32_t CClientCore::OnDeviceData(const DeviceDataRecord* record) {
    if (!record || record->length < 0 || record->length > kMaxDeviceDataChars) return 0;
    if (record->length > 0 && !record->text) return 0;
    const std::u16string data(record->text ? record->text : u"", static_cast<size_t>(record->length));

    if (m_inputKind == InputKind::None) {
        if (m_queue.size() < static_cast<size_t>(kQueueCapacity)) {
            auto* copy = new QueuedDeviceData{*record, data};
            copy->record.text = copy->text.c_str();
            Queue({copy, 0, EVENT_DEVICE_DATA});
        }
        if (m_modeSelect != MODESELECT_OPEN_INPUT && m_scanAheadMode == 0) PostMessage(m_window, WM_CORE_END_OF_INPUT, 0, 0);
        return 1;
    }
    if (m_inputKind != InputKind::KeysAndData && m_inputKind != InputKind::Data) return 1;  // keys only: taken and dropped

    const ::InputCommand command = m_inputCommand;
    if (command == InputCommand::Field && !(m_inputFlags & INPUT_HIDDEN)) {
        DrawField(data.substr(0, static_cast<size_t>(m_fieldLength)), CaretAt::AfterText);
    }
    EndInput();
    if (command == InputCommand::Event && m_props.extendedGetevent == 0) {
        SendTextReply('1', data);
    } else {
        SendDeviceDataReply('5', data, record->kind);
    }
    return 1;
}

// ---- Replies of input

void CClientCore::TypedTextRecord() {
    if (m_inputText.empty() || !m_writer) return;
    m_writer->AppendByte('4').EndField().AppendWide(m_inputText.c_str()).EndRecord();
}

void CClientCore::EndFieldWith(std::u16string_view text) {
    const std::u16string copy(text);
    EndInput();
    SendTextReply('4', copy);
}

void CClientCore::SendInputText(std::u16string_view text, EventType kind) {
    std::u16string copy(text);
    if (kind == EVENT_DEVICE_DATA) copy.push_back(u'\n');
    SendTextReply(kind == EVENT_KEY ? '2' : '1', copy);
}

void CClientCore::SendDeviceDataReply(uint8_t code, std::u16string_view text, int32_t number) {
    if (!m_writer) return;
    m_writer->Reset();
    if ((m_inputFlags & INPUT_KEEP_READERS) && !m_inputText.empty()) {
        if (m_props.defaultTextMode == 0 && m_fieldLength != 0 && !m_textStarted) m_inputText = u"\r";
        TypedTextRecord();
    }
    const std::u16string data(text);
    m_writer->AppendByte(code).EndField().AppendWide(data.c_str());
    if (m_modeSelect == MODESELECT_OPEN_INPUT) m_writer->AppendByte('\r');
    m_writer->EndField();
    if (m_modeSelect != MODESELECT_OPEN_INPUT) m_writer->AppendString("-1").EndSubField();
    m_writer->AppendInt(number);
    SendReply(*m_writer);
}

void CClientCore::SendWidgetEvent(const uint8_t* bytes, int32_t count) {
    if (!bytes || count <= 0 || !m_writer) return;
    if (m_dialogMode == DialogMode::Signature) m_widgets->OfferToMenu(bytes, count);
    // The event goes into the writer only when it is sent: ending the field
    // first uses the same writer.
    auto send = [this, bytes, count] {
        m_writer->Reset();
        m_writer->AppendBytes(bytes, count);
        SendReply(*m_writer);
    };
    if (bytes[0] == 'w') {
        send();
        return;
    }
    if (m_inputCommand == InputCommand::Field && !m_inputText.empty() && m_props.includeDataOnWidget) OnFieldCharacter(u'\r');
    if (m_inputKind != InputKind::None) {
        EndInput();
        send();
    } else if (m_queue.size() < static_cast<size_t>(kQueueCapacity) && count <= 0xFFFF) {
        auto* copy = new uint8_t[static_cast<size_t>(count)];
        std::copy(bytes, bytes + count, copy);
        Queue({copy, static_cast<uint16_t>(count), EVENT_WIDGET});
    }
}

void CClientCore::OnWidgetReply(const CPacketBuffer& writer) { SendWidgetEvent(writer.GetData(), writer.GetLength()); }

// ---- Input state

void CClientCore::EndInput() {
    m_automation->Notify(AUTO_END_OF_INPUT, 0, 0);
    if (m_scanAheadMode == 0) {
        // MODESELECT mode 2 keeps the input open; otherwise the control
        // switches the input devices off.
        if (m_modeSelect == MODESELECT_OPEN_INPUT) return;
        PostMessage(m_window, WM_CORE_END_OF_INPUT, 0, 0);
    }
    m_screen->ShowCaret(false);
    m_inputKind = InputKind::None;
    m_inputCommand = InputCommand::None;
    m_timeout = 0;
}

void CClientCore::EnableScanner(bool wanted) {
    m_scannerWanted = wanted;
    if (!m_scanner->IsPresent()) return;
    const int state = m_scanner->GetScannerState();
    if (wanted && state >= 0 && state <= 3) {
        m_scanner->SetScannerState(SCANNER_STATE_ON);
    } else if (!wanted && (state == 2 || state == 3)) {
        m_scanner->SetScannerState(SCANNER_STATE_OFF);
    }
}

void CClientCore::EnableReaders(bool on) {
    EnableScanner(on);
    m_devices->EnableMsr(on);
    m_devices->EnableRfid(on);
}

void CClientCore::DrawField(std::u16string_view text, CaretAt caret) {
    // The typed text never exceeds the input buffer, so no screen shows more of
    // a field than that: a longer field is drawn (and padded) no further.
    const size_t length = static_cast<size_t>(std::clamp(m_fieldLength, 0, kInputTextUnits - 1));
    const bool right = (m_inputFlags & INPUT_RIGHT_ALIGN) != 0;
    std::u16string shown = ShownText(text, m_inputFlags);
    std::u16string cells;
    int caretCell = 0;
    if (caret == CaretAt::AfterText) {
        if (length == 0) return;
        if (shown.size() > length) shown.erase(0, shown.size() - length);
        const std::u16string padding(length - shown.size(), m_pad);
        cells = right ? padding + shown : shown + padding;
        caretCell = right ? static_cast<int>(length) - 1 : std::min(static_cast<int>(shown.size()), static_cast<int>(length) - 1);
    } else {
        // The field's opening: the default text as it is, then the padding;
        // only the caret knows the alignment.
        cells = std::move(shown);
        if (cells.size() < length) cells.append(length - cells.size(), m_pad);
        caretCell = caret == CaretAt::LastCell && length > 0 ? static_cast<int>(length) - 1 : 0;
    }
    m_screen->ShowCaret(false);
    if (!cells.empty()) m_screen->WriteText(m_fieldRow, m_fieldColumn, cells);
    m_screen->MoveCaret(m_fieldRow, static_cast<int>(std::min<int64_t>(int64_t{m_fieldColumn} + caretCell, INT32_MAX)));
    m_screen->ShowCaret(true);
}

// ---- The queue

void CClientCore::Queue(EventRecord record) {
    if (m_queue.size() >= static_cast<size_t>(kQueueCapacity)) {
        FreeEvent(record);
        return;
    }
    m_queue.push_back(record);
}

void CClientCore::FreeEvent(EventRecord& record) {
    switch (record.type) {
    case EVENT_CHARACTERS: delete static_cast<QueuedText*>(record.data); break;
    case EVENT_DEVICE_DATA: delete static_cast<QueuedDeviceData*>(record.data); break;
    case EVENT_WIDGET: delete[] static_cast<uint8_t*>(record.data); break;
    default: break;
    }
    record.data = nullptr;
}

void CClientCore::ReplayEvent() {
    if (m_queue.empty()) return;
    EventRecord record = m_queue.front();
    m_queue.pop_front();
    switch (record.type) {
    case EVENT_KEY:
        OnKeyDown(record.length, 0);
        break;
    case EVENT_CHARACTERS: {
        auto* text = static_cast<QueuedText*>(record.data);
        OnKey(text->text, text->kind);
        break;
    }
    case EVENT_DEVICE_DATA: {
        // The replayed record reads the queued copy of its text.
        auto* data = static_cast<QueuedDeviceData*>(record.data);
        data->record.text = data->text.c_str();
        OnDeviceData(&data->record);
        break;
    }
    case EVENT_WIDGET:
        SendWidgetEvent(static_cast<const uint8_t*>(record.data), record.length);
        break;
    default:
        break;
    }
    FreeEvent(record);
}

void CClientCore::ReplayAllEvents() {
    // Only the events queued now: a replay may queue its input again.
    const bool outer = !m_replayingAll;
    m_replayingAll = true;
    for (size_t n = m_queue.size(); n > 0 && !m_queue.empty(); --n) ReplayEvent();
    if (outer) m_replayingAll = false;
}

void CClientCore::ClearEventQueue() {
    for (EventRecord& record : m_queue) FreeEvent(record);
    m_queue.clear();
}

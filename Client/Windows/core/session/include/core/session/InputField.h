// What the host waits for and the input field an RfInput opened: its place,
// length, flags and the text typed so far. The core's input handling edits
// it; the layout of the field's cells is worked out here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

// The command that waits for input: none, GETEVENT or an RfInput field.
enum class InputCommand : int32_t { None = 0, Event = '1', Field = '5' };

// The input the waiting command takes.
enum class InputKind : int32_t { None = 0, Keys = 1, Data = 2, KeysAndData = 3 };

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

// The second flags' bit that makes typed letters upper case.
constexpr int32_t INPUT2_UPPER_CASE = 0x40;

class CInputField {
public:
    static constexpr int kTextUnits = 8192;  // terminator included

    // Where the caret goes when the field is drawn: FirstCell and LastCell
    // for the field's opening (the whole default text, then the padding),
    // AfterText for typed text, aligned and cut to the field.
    enum class CaretAt { FirstCell, LastCell, AfterText };
    struct Cells {
        std::u16string text;  // the cells from the field's column; empty: nothing to draw
        int caretOffset = 0;  // the caret's cell, from the field's column
    };

    // The cells that show text in the field.
    Cells Layout(std::u16string_view text, CaretAt caret) const;
    // Nothing is awaited any more (the field's settings stay for its last reply).
    void EndWait() {
        kind = InputKind::None;
        command = InputCommand::None;
        timeout = 0;
    }
    // GETEVENT, MODESELECT and the queue replay start afresh.
    void ResetText() {
        flags = 0;
        text.clear();
    }
    // Appends a character when the buffer has room for it and its terminator.
    bool Append(char16_t c);
    // A field whose time-out (seconds) has run out at now.
    bool TimedOut(DWORD now) const;
    bool TakesKeys() const { return kind == InputKind::KeysAndData || kind == InputKind::Keys; }
    bool TakesData() const { return kind == InputKind::KeysAndData || kind == InputKind::Data; }

    InputCommand command = InputCommand::None;
    InputKind kind = InputKind::None;
    int32_t flags = 0;
    int32_t secondFlags = 0;
    int32_t alphaSwitch = 0;
    std::u16string text;  // at most kTextUnits - 1 characters
    bool started = false;     // typing has replaced the default text
    bool textWithKey = true;  // '5' (not 'i'): a key reply carries the typed text
    std::u16string terminators;
    int32_t timeout = 0;  // seconds; 0 none
    DWORD timeoutStart = 0;
    int32_t length = 0;
    int32_t column = 0;
    int32_t row = 0;
    char16_t pad = u'_';
};

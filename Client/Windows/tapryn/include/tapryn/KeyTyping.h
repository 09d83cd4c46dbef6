// What releasing a key types, worked out apart from the window layer: a
// `KeyCode` below 256 is a one-character string; a larger one is a virtual
// key (low byte) pressed with the modifiers of its high byte, bit 0 ALT,
// bit 1 SHIFT, bit 2 CONTROL (0x0441 is CONTROL+A). The events are silent
// keybd_event calls: the modifiers go down in that order, the key goes down
// and up, and the modifiers go up in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

struct KeyEvent {
    BYTE virtualKey = 0;
    DWORD flags = 0;  // KEYEVENTF_SILENT, with KEYEVENTF_KEYUP going up
    bool operator==(const KeyEvent&) const = default;
};

struct KeyTyping {
    std::u16string text;           // a character key's string
    std::vector<KeyEvent> events;  // a virtual key's events
    bool Empty() const { return text.empty() && events.empty(); }
};

// Code 0 types nothing.
KeyTyping TypeKeyCode(uint16_t code);

// What the soft keyboard's panel keeps between taps, apart from its window:
// the keyboard file, the keyboard shown, the one shown before it and the key
// being pressed; and how a key is drawn (its face).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "tapryn/KeyboardFile.h"

// The boxes of a keyboard that cannot be shown.
inline constexpr char16_t kKeyboardErrorCaption[] = u"Keyboard Error";
inline constexpr char16_t kInitErrorText[] = u"Error Initializing KB.";
inline constexpr char16_t kInitErrorCaption[] = u"KB Error";
inline constexpr char16_t kSelectedErrorText[] = u"Unable to load selected keyboard.";
inline constexpr char16_t kPreviousErrorText[] = u"Unable to load previous keyboard.";

// What releasing a key did; the numbers are the panel's result codes.
enum class ReleaseResult : int {
    None = -1,      // nothing pressed, or a switch to the keyboard shown
    Sent = 0,       // the key code is to be typed
    Switched = 1,   // another keyboard is shown
    Nothing = 2,    // a key that does nothing, or a keyboard that failed to show
    SentBack = 3,   // typed, and the previous keyboard is shown again
};

struct Release {
    ReleaseResult result = ReleaseResult::None;
    uint16_t code = 0;     // for Sent and SentBack
    RECT pressed{};        // the released key, to be drawn un-inverted
    bool hadKey = false;   // pressed is a key's rectangle
    bool redraw = false;   // another keyboard is shown: the panel is drawn again
    const char16_t* error = nullptr;  // a box to show (kKeyboardErrorCaption)
};

class CKeyboardPanel {
public:
    KeyboardFile& File() { return m_file; }
    void SetHighResolution(bool high) { m_highResolution = high; }
    bool HighResolution() const { return m_highResolution; }

    // Shows keyboard `number`; the keyboard shown before becomes the previous
    // one unless its return flag is set. False (nothing changed) when the
    // file has no such keyboard.
    bool Show(int number);
    const Keyboard* Current() const { return m_current ? &*m_current : nullptr; }
    int Previous() const { return m_previous; }
    // Drops the file and the keyboards (the window goes).
    void Reset();

    // Button down: the first key, in file order, under the point becomes the
    // pressed one. Ignored (nullopt) while a key is pressed or off the keys;
    // else the key's rectangle, to be inverted.
    std::optional<RECT> Press(POINT point);
    bool Pressed() const { return m_pressed >= 0; }
    // Button up.
    Release ReleaseKey();

    RECT KeyRect(const KeyRecord& key) const { return key.Rect(m_highResolution); }

private:
    KeyboardFile m_file;
    std::optional<Keyboard> m_current;
    int m_previous = -1;
    int m_pressed = -1;
    bool m_highResolution = false;
};

// How a key's label is drawn: an arrow (24 up, 25 down, 26 right, 27 left)
// or a text.
struct KeyFace {
    int arrow = 0;  // 0: text
    std::u16string text;
};
KeyFace FaceOf(const KeyRecord& key);
// The five points of an arrow's polyline around the centre.
std::array<POINT, 5> ArrowPoints(int arrow, int cx, int cy);

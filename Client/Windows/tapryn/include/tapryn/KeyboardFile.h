// The soft keyboard's file "Quillmar.kbb", read whole into memory. The file
// is untrusted: a keyboard is found only when its table entry, its two-byte
// head and all of its keys lie inside the bytes read; anything else is "not
// found", and the window layer reports it as a keyboard that cannot be loaded.
//
// Layout (little-endian): a 20-byte header whose byte 0 is not read and whose
// bytes 1 to 18 hold one u16 per keyboard (at most nine); keyboard i starts at
// (20 + offset) modulo 65536 with its key count, its return flag and then
// count 20-byte `KeyRecord`s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

// What a key does when it is released; other values do nothing.
enum class KeyAction : uint8_t { Send = 0, Switch = 1, Nothing = 2 };

struct KeyRecord {
    static constexpr size_t kSize = 20;
    static constexpr size_t kLabelMax = 12;

    // 8-bit text without its terminator, at most kLabelMax bytes.
    std::string label;
    uint8_t left = 0;
    uint8_t top = 0;
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t action = 0;  // a KeyAction value, or another that does nothing
    uint8_t style = 0;   // non-zero: drawn white on black
    // Bytes 18 and 19: the `KeyCode` of a Send key; a Switch key names its
    // keyboard with the low byte.
    uint16_t code = 0;

    uint8_t TargetKeyboard() const { return static_cast<uint8_t>(code & 0xFF); }
    // The label in UTF-16, through the default code page.
    std::u16string Label() const;
    // In panel client coordinates, every value doubled on a high-resolution panel.
    RECT Rect(bool highResolution) const;
};

struct Keyboard {
    int number = -1;
    bool returnFlag = false;  // after a Send key, the previous keyboard comes back
    std::vector<KeyRecord> keys;
};

class KeyboardFile {
public:
    static constexpr char16_t kFileName[] = u"Quillmar.kbb";
    static constexpr size_t kHeaderSize = 20;
    static constexpr int kMaxKeyboards = 9;
    // No keyboard reaches past this: the last start a u16 offset can give,
    // its head and 255 keys. Bytes beyond it are not read.
    static constexpr size_t kMaxUsefulSize = 0xFFFF + 2 + 255 * KeyRecord::kSize;

    enum class LoadError { None, Open, Memory, Read };
    static constexpr char16_t kLoadErrorCaption[] = u"Keyboard File Error";
    // The message box text of a failed load; empty for None.
    static std::u16string_view ErrorText(LoadError error);

    // The keyboard file beside the module: its path up to and including the
    // last '\', then kFileName.
    static std::u16string PathBeside(std::u16string_view modulePath);

    // Drops the bytes held, then reads the file (a device path); on failure
    // nothing is held.
    LoadError Load(std::u16string_view devicePath);
    // Holds these bytes in place of a file's (at most kMaxUsefulSize are kept).
    void Assign(std::vector<uint8_t> bytes);
    void Clear() { m_bytes.clear(); }
    size_t Size() const { return m_bytes.size(); }

    // Keyboard `number` when all of it lies inside the bytes held.
    std::optional<Keyboard> Find(int number) const;

private:
    std::vector<uint8_t> m_bytes;
};

#include "tapryn/QuillmarLayout.h"

#include <cstring>
#include <string>

#include "tapryn/KeyboardFile.h"

namespace {

struct KeyDef {
    std::string label;
    uint8_t left, top, width, height;
    uint8_t action;  // KeyAction
    uint8_t style;
    uint16_t code;
};

constexpr uint8_t kRow = 20, kKey = 24;
// A virtual key without modifiers: a high byte with none of the modifier bits.
constexpr uint16_t kVirtual = 0x0800;
constexpr uint16_t kBackspace = kVirtual | 0x08, kEnter = kVirtual | 0x0D;
constexpr uint16_t kLeft = kVirtual | 0x25, kUp = kVirtual | 0x26, kRight = kVirtual | 0x27, kDown = kVirtual | 0x28;

KeyDef Send(std::string label, int left, int top, int width, uint16_t code, uint8_t style = 0) {
    return {std::move(label), uint8_t(left), uint8_t(top), uint8_t(width), kRow, uint8_t(KeyAction::Send), style, code};
}
KeyDef Switch(std::string label, int left, int top, int width, int keyboard, uint8_t style = 0) {
    return {std::move(label), uint8_t(left), uint8_t(top), uint8_t(width), kRow, uint8_t(KeyAction::Switch), style,
            uint16_t(keyboard)};
}

// One row of character keys from x, each typing its own character.
void Row(std::vector<KeyDef>& keys, const std::string& chars, int x, int y) {
    for (char c : chars) {
        keys.push_back(Send(std::string(1, c), x, y, kKey, uint8_t(c)));
        x += kKey;
    }
}

std::vector<KeyDef> Letters(bool capitals) {
    const auto cased = [capitals](std::string s) {
        if (capitals)
            for (char& c : s) c = char(c - 'a' + 'A');
        return s;
    };
    std::vector<KeyDef> keys;
    Row(keys, cased("qwertyuiop"), 0, 0);
    Row(keys, cased("asdfghjkl"), 12, kRow);
    keys.push_back(Switch("Shift", 0, 2 * kRow, 36, capitals ? 0 : 1, capitals ? 1 : 0));
    Row(keys, cased("zxcvbnm"), 36, 2 * kRow);
    keys.push_back(Send("Back", 204, 2 * kRow, 36, kBackspace, 1));
    keys.push_back(Switch("123", 0, 3 * kRow, 36, 2, 1));
    keys.push_back(Send("", 36, 3 * kRow, 120, ' '));
    Row(keys, ",.", 156, 3 * kRow);
    keys.push_back(Send("Enter", 204, 3 * kRow, 36, kEnter, 1));
    return keys;
}

std::vector<KeyDef> Signs() {
    std::vector<KeyDef> keys;
    Row(keys, "1234567890", 0, 0);
    Row(keys, "-/:;()$&@\"", 0, kRow);
    Row(keys, "!?'#%*+=_", 12, 2 * kRow);
    keys.push_back(Switch("abc", 0, 3 * kRow, 36, 0, 1));
    keys.push_back(Send("\x1b", 36, 3 * kRow, 30, kLeft));
    keys.push_back(Send("\x18", 66, 3 * kRow, 30, kUp));
    keys.push_back(Send("\x19", 96, 3 * kRow, 30, kDown));
    keys.push_back(Send("\x1a", 126, 3 * kRow, 30, kRight));
    keys.push_back(Send("Back", 156, 3 * kRow, 36, kBackspace, 1));
    keys.push_back(Send("Enter", 192, 3 * kRow, 48, kEnter, 1));
    return keys;
}

void Append(std::vector<uint8_t>& out, const std::vector<KeyDef>& keys, bool returns) {
    out.push_back(uint8_t(keys.size()));
    out.push_back(returns ? 1 : 0);
    for (const KeyDef& k : keys) {
        uint8_t record[KeyRecord::kSize] = {};
        std::memcpy(record, k.label.data(), std::min(k.label.size(), KeyRecord::kLabelMax));
        const uint8_t rest[] = {k.left, k.top, k.width, k.height, k.action, k.style, uint8_t(k.code), uint8_t(k.code >> 8)};
        std::memcpy(record + 12, rest, sizeof rest);
        out.insert(out.end(), record, record + KeyRecord::kSize);
    }
}

}  // namespace

std::vector<uint8_t> QuillmarKeyboards() {
    std::vector<uint8_t> out(KeyboardFile::kHeaderSize, 0);
    const std::vector<KeyDef> boards[] = {Letters(false), Letters(true), Signs()};
    for (size_t i = 0; i < std::size(boards); ++i) {
        const size_t offset = out.size() - KeyboardFile::kHeaderSize;
        out[1 + 2 * i] = uint8_t(offset);
        out[2 + 2 * i] = uint8_t(offset >> 8);
        Append(out, boards[i], i == 1);
    }
    return out;
}

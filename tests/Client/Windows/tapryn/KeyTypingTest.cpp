#include "tapryn/KeyTyping.h"

#include <gtest/gtest.h>

#include "platform/WinConst.h"

namespace {

constexpr DWORD kDown = KEYEVENTF_SILENT;
constexpr DWORD kUp = KEYEVENTF_SILENT | KEYEVENTF_KEYUP;

TEST(KeyTyping, ACharacterCodeTypesAOneCharacterString) {
    const KeyTyping a = TypeKeyCode(0x0061);
    EXPECT_EQ(a.text, u"a");
    EXPECT_TRUE(a.events.empty());
    // The low byte is the character's value, above 127 too.
    EXPECT_EQ(TypeKeyCode(0x00E9).text, u"\u00e9");
    EXPECT_TRUE(TypeKeyCode(0).Empty());
}

TEST(KeyTyping, AVirtualKeyIsPressedInsideItsModifiers) {
    struct Case {
        uint16_t code;
        std::vector<KeyEvent> events;
    };
    const BYTE alt = VK_MENU, shift = VK_SHIFT, ctrl = VK_CONTROL;
    const Case cases[] = {
        // CONTROL+A: bit 2 of the high byte.
        {0x0441, {{ctrl, kDown}, {'A', kDown}, {'A', kUp}, {ctrl, kUp}}},
        {0x0126, {{alt, kDown}, {0x26, kDown}, {0x26, kUp}, {alt, kUp}}},
        {0x0209, {{shift, kDown}, {0x09, kDown}, {0x09, kUp}, {shift, kUp}}},
        // All three: down ALT, SHIFT, CONTROL, and up in the same order.
        {0x0741,
         {{alt, kDown}, {shift, kDown}, {ctrl, kDown}, {'A', kDown}, {'A', kUp}, {alt, kUp}, {shift, kUp}, {ctrl, kUp}}},
        // A high byte with no modifier bit still makes a virtual key.
        {0x0808, {{0x08, kDown}, {0x08, kUp}}},
        {0xF80D, {{0x0D, kDown}, {0x0D, kUp}}},
    };
    for (const Case& c : cases) {
        const KeyTyping t = TypeKeyCode(c.code);
        EXPECT_TRUE(t.text.empty()) << c.code;
        EXPECT_EQ(t.events, c.events) << std::hex << c.code;
    }
}

}  // namespace

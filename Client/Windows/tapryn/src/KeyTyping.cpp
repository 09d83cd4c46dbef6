#include "tapryn/KeyTyping.h"

#include "platform/WinConst.h"

KeyTyping TypeKeyCode(uint16_t code) {
    KeyTyping typing;
    if (code == 0) return typing;
    if (code < 0x100) {
        typing.text.assign(1, static_cast<char16_t>(code));
        return typing;
    }
    struct Modifier {
        uint16_t bit;
        BYTE key;
    };
    static constexpr Modifier kModifiers[] = {
        {0x100, static_cast<BYTE>(VK_MENU)}, {0x200, static_cast<BYTE>(VK_SHIFT)}, {0x400, static_cast<BYTE>(VK_CONTROL)}};
    const auto modifiers = [&](DWORD flags) {
        for (const Modifier& m : kModifiers)
            if (code & m.bit) typing.events.push_back({m.key, flags});
    };
    const BYTE key = static_cast<BYTE>(code & 0xFF);
    modifiers(KEYEVENTF_SILENT);
    typing.events.push_back({key, KEYEVENTF_SILENT});
    typing.events.push_back({key, KEYEVENTF_SILENT | KEYEVENTF_KEYUP});
    modifiers(KEYEVENTF_SILENT | KEYEVENTF_KEYUP);
    return typing;
}

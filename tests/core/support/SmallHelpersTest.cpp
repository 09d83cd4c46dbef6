#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/support/CharWidth.h"
#include "core/support/DevicePath.h"
#include "core/support/Escapes.h"
#include "core/support/MessagePump.h"
#include "platform/Clock.h"
#include "platform/Message.h"

namespace {

std::string Bytes(std::string text) {
    int32_t length = static_cast<int32_t>(text.size());
    UnescapeBytes(reinterpret_cast<uint8_t*>(text.data()), &length);
    return text.substr(0, static_cast<size_t>(length));
}

std::u16string Wide(std::u16string text) {
    UnescapeWide(text.data());
    return std::u16string(text.c_str());
}

TEST(Unescape, BytesLetHexDigitsRunOn) {
    using namespace std::string_literals;
    struct Case {
        std::string in, out;
    } cases[] = {
        {"A\\41G", "A\x41"},                        // the G ends the escape and is dropped
        {"A\\41B", "A\x1B"},                        // B is a digit: 0x41B, its low byte
        {"x\\r\\t\\n\\\\y", "x\r\t\n\\y"},
        {"\\41n!", "\n!"},                          // n after digits: its control character, value lost
        {"\\q!", "\0!"s},                           // any other character: 0 and dropped
        {"\\4", "\x04"},                            // open at the end
        {"ab\\", "ab\0"s},
        {"\\123456789ABCDEF0123456789abcdef41.", "A"},  // a long run keeps the low byte
        {"\\41\\42", "A42"},                         // a backslash ends the escape and is dropped
    };
    for (const auto& c : cases) EXPECT_EQ(Bytes(c.in), c.out) << c.in;

    int32_t zero = 0;
    UnescapeBytes(nullptr, &zero);
    EXPECT_EQ(zero, 0);
}

TEST(Unescape, WideEndsHexAfterTwoDigits) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"A\\41B", u"A\x41" u"B"},
        {u"\\4x", u"\x04"},  // fewer than two digits: written, the x dropped
        {u"\\4n.", u"\n."},
        {u"a\\rb\\tc", u"a\rb\tc"},
        {u"\\\\\\5", u"\\\x05"},
    };
    for (const auto& c : cases) EXPECT_EQ(Wide(c.in), c.out);
}

TEST(PumpMessages, DropsTimersUnlessAskedDispatchesOthersAndStopsAtQuit) {
    DWORD tick = 5000;
    plat::clock::SetTickSource([&] { return tick; });
    std::vector<UINT> seen;
    HWND hwnd = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg != WM_DESTROY) seen.push_back(msg);
        return 0;
    });
    ASSERT_NE(hwnd, 0u);
    ASSERT_NE(SetTimer(hwnd, 7, 50), 0u);
    tick += 100;  // the timer is due
    PostMessage(hwnd, WM_USER + 1, 0, 0);
    PostMessage(hwnd, WM_TIMER, 1, 0);
    PostMessage(hwnd, WM_SYSTIMER, 2, 0);
    PostMessage(hwnd, WM_USER + 2, 0, 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    // Asked for, the timers run with the rest.
    seen.clear();
    tick += 100;
    PostMessage(hwnd, WM_USER + 1, 0, 0);
    EXPECT_EQ(PumpMessages(true), 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_TIMER}));

    seen.clear();
    PostMessage(hwnd, WM_USER + 3, 0, 0);
    PostQuitMessage(4);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 3}));
    MSG msg{};
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 4u);

    KillTimer(hwnd, 7);
    DestroyWindow(hwnd);
    plat::clock::SetTickSource(nullptr);
}

TEST(SplitPath, Parts) {
    struct Case {
        std::u16string path, drive, directory, name, extension;
    } cases[] = {
        {u"\\Temp\\a.txt", u"", u"\\Temp\\", u"a", u".txt"},
        {u"\\Temp\\readme", u"", u"\\Temp\\", u"readme", u""},
        {u"\\my.dir\\readme", u"", u"\\my.dir\\", u"readme", u""},  // a dot in a folder is no extension
        {u"C:\\x\\y.tar.gz", u"C:", u"\\x\\", u"y.tar", u".gz"},
        {u"name.", u"", u"", u"name", u"."},
        {u"\\Temp\\", u"", u"\\Temp\\", u"", u""},
        {u"", u"", u"", u"", u""},
    };
    for (const auto& c : cases) {
        std::u16string drive = u"?", directory = u"?", name = u"?", extension = u"?";
        SplitPath(c.path, &drive, &directory, &name, &extension);
        EXPECT_EQ(drive, c.drive);
        EXPECT_EQ(directory, c.directory);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(extension, c.extension);
    }
    std::u16string name;
    SplitPath(u"\\a\\b.c", nullptr, nullptr, &name, nullptr);
    EXPECT_EQ(name, u"b");
}

TEST(CharDisplayWidth, Classes) {
    struct Case {
        char16_t c;
        int width;
    } cases[] = {
        {0x0000, 0},  {0x0007, -1}, {0x001F, -1}, {0x007F, -1}, {0x009F, -1}, {0x0020, 1},  {0x007E, 1},
        {0x00A0, 1},  {0x00E9, 1},  {0x0300, 0},  {0x0301, 0},  {0x0357, 0},  {0x0358, 1},  {0x05BF, 0},
        {0x05C0, 1},  {0x1160, 0},  {0x11FF, 0},  {0x1100, 2},  {0x115F, 2},  {0x200B, 0},  {0x2329, 2},
        {0x232A, 2},  {0x2E80, 2},  {0x303F, 1},  {0x302A, 0},  {0x4E00, 2},  {0xA4CF, 2},  {0xA4D0, 1},
        {0xAC00, 2},  {0xD7A3, 2},  {0xD800, 1},  {0xFB1E, 0},  {0xFE20, 0},  {0xFE30, 2},  {0xFEFF, 0},
        {0xFF01, 2},  {0xFF61, 1},  {0xFFE6, 2},  {0xFFF9, 0},  {0xFFFD, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(CharDisplayWidth(c.c), c.width) << std::hex << int(c.c);
}

}  // namespace

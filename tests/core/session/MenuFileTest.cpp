// Menu files read as the menu box shows them: separators inside texts and
// bytes that no reading step passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/session/MenuCommands.h"

namespace {

const std::string FD = "\xFD", FE = "\xFE";

struct Parsed {
    int lines = 0;
    std::u16string title;
    std::vector<std::u16string> items;
};

Parsed Parse(const std::string& file) {
    MenuBoxRequest request;
    EXPECT_TRUE(ParseMenuFile(reinterpret_cast<const uint8_t*>(file.data()), static_cast<int32_t>(file.size()), 1,
                              65001, &request));
    Parsed out{request.titleLines, request.title, {}};
    for (size_t i = 0; i < request.items.size(); ++i) {
        // Without items the box shows one blank item, answering 2.
        EXPECT_EQ(request.items[i].data, request.items[i].text == u" " ? 1 : static_cast<int32_t>(i));
        out.items.push_back(request.items[i].text);
    }
    return out;
}

std::string Menu(const std::string& title, const std::string& items) {
    return "1" + FE + "2" + FE + "20" + FE + "8" + FE + title + FE + items;
}

TEST(MenuFile, FinerSeparatorsEndATextAndTheReadingGoesOn) {
    // A title line's text ends at 0xFC; the rest of the line is passed over
    // and the next line and the items are read as such.
    Parsed p = Parse(Menu("Tit\xFCle" + FD + "Two" + FD, "a" + FD + "b\xFB" "x" + FD + "c" + FD));
    EXPECT_EQ(p.lines, 2);
    EXPECT_EQ(p.title, u"Tit\r\nTwo\r\n");
    EXPECT_EQ(p.items, (std::vector<std::u16string>{u"a", u"b", u"c"}));
    // A line cut short by the record's end.
    p = Parse(Menu("One" + FD + "Tw\xFCo", "a" + FD));
    EXPECT_EQ(p.lines, 2);
    EXPECT_EQ(p.title, u"One\r\nTw\r\n");
    EXPECT_EQ(p.items, (std::vector<std::u16string>{u"a"}));
}

TEST(MenuFile, DelimiterBytesNeverHoldTheReading) {
    // 0xFF and 0xFB anywhere end the text they stand in, nothing more.
    Parsed p = Parse(Menu("T\xFFop" + FD, "a\xFF" "b" + FD + "\xFB" + FD + "c\xFF" + FD + "\xFF"));
    EXPECT_EQ(p.lines, 1);
    EXPECT_EQ(p.title, u"T\r\n");
    EXPECT_EQ(p.items, (std::vector<std::u16string>{u"a", u"", u"c", u""}));
    p = Parse("\xFF\xFF\xFE\xFB\xFE\xFF");
    EXPECT_EQ(p.items, (std::vector<std::u16string>{u" "}));
}

}  // namespace

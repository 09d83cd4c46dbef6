#include <gtest/gtest.h>

#include "platform/Text.h"

using namespace plat::text;

TEST(Text, CodePageNames) {
    EXPECT_EQ(CodePageName(0), "CP1252");
    EXPECT_EQ(CodePageName(65001), "UTF-8");
    EXPECT_EQ(CodePageName(437), "CP437");
}

TEST(Text, RoundTripsThroughCodePages) {
    struct Case { uint32_t cp; std::string bytes; std::u16string wide; };
    const Case cases[] = {
        {0, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
        {1252, "\x9C", u"\u0153"},
        {65001, "\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u20AC\U0001F600"},
        {1251, "\xC0", u"\u0410"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToWide(c.cp, c.bytes), c.wide) << c.cp;
        EXPECT_EQ(WideToBytes(c.cp, c.wide), c.bytes) << c.cp;
    }
}

TEST(Text, InvalidBytesBecomeReplacementCharacter) {
    EXPECT_EQ(BytesToWide(CP_UTF8, std::string("a\xFF" "b")), u"a\uFFFDb");
    EXPECT_EQ(BytesToWide(CP_UTF8, std::string("a\xE2\x82")), u"a\uFFFD\uFFFD");  // truncated sequence
}

TEST(Text, Cp1252UndefinedBytesAreTheirC1Controls) {
    EXPECT_EQ(BytesToWide(1252, std::string("\x81\x8D\x8F\x90\x9D")), u"\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(WideToBytes(CP_ACP, std::u16string(u"\u0081\u008D\u008F\u0090\u009D")), "\x81\x8D\x8F\x90\x9D");
    // The other C1 controls have no byte: 0x80 is the euro sign.
    EXPECT_EQ(WideToBytes(1252, std::u16string(u"\u0080\u009F")), "??");
    // Every byte round-trips, in both spellings of the code page.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (uint32_t cp : {CP_ACP, 1252u}) EXPECT_EQ(WideToBytes(cp, BytesToWide(cp, all)), all) << cp;
}

TEST(Text, UnencodableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(WideToBytes(1252, std::u16string(u"a\u0410b")), "a?b");
    EXPECT_EQ(WideToBytes(1252, std::u16string(u"x\U0001F600y")), "x?y");  // a pair is one character
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(WideToBytes(1252, lone), "a?b");
}

TEST(Text, CompositionWhereAsked) {
    // 'e' + combining acute: composed to U+00E9 before encoding.
    std::u16string decomposed = u"e\u0301";
    EXPECT_EQ(WideToBytes(1252, decomposed, true), "\xE9");
    EXPECT_EQ(WideToBytes(1252, decomposed, false), "e?");
    EXPECT_EQ(BytesToWide(CP_UTF8, std::string("e\xCC\x81"), true), u"\u00E9");
    EXPECT_EQ(BytesToWide(CP_UTF8, std::string("e\xCC\x81"), false), u"e\u0301");
}

TEST(Text, WindowsShapedWrappers) {
    char16_t buf[8];
    EXPECT_EQ(MultiByteToWideChar(0, 0, "abc", -1, nullptr, 0), 4);  // terminator counted
    EXPECT_EQ(MultiByteToWideChar(0, 0, "abc", -1, buf, 8), 4);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(MultiByteToWideChar(0, 0, "abc", 3, buf, 2), 0);  // too small
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00E9", 1, nullptr, 0), 2);
    EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00E9", -1, out, 8), 3);
    EXPECT_STREQ(out, "\xC3\xA9");
}

TEST(Text, CharacterClassesAndCase) {
    EXPECT_EQ(ToUpper(u'a'), u'A');
    EXPECT_EQ(ToUpper(u'\u00E9'), u'\u00C9');
    EXPECT_EQ(ToUpper(u'1'), u'1');
    EXPECT_EQ(ToUpper(char16_t(0xD800)), char16_t(0xD800));
    EXPECT_TRUE(IsLetter(u'\u00E9'));
    EXPECT_TRUE(IsLetter(u'\u4E00'));
    EXPECT_FALSE(IsLetter(u'1'));
    EXPECT_FALSE(IsLetter(char16_t(0xD800)));
    EXPECT_TRUE(IsDigit(u'7'));
    EXPECT_TRUE(IsDigit(u'\u0663'));  // Arabic-Indic three
    EXPECT_FALSE(IsDigit(u'x'));
}

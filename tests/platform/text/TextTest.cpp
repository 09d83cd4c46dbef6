#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

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

// The UTF-8 conversion gives what iconv gives, with the same replacement
// for each byte iconv stops at (U+FFFD) and each lone surrogate ('?').
namespace {
std::u16string IconvToWide(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    std::u16string out;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char16_t buf[64];
        char* o = reinterpret_cast<char*>(buf);
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, (sizeof buf - oLeft) / 2);
        if (r == size_t(-1) && errno != E2BIG) {
            out.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::string IconvToUtf8(const std::u16string& wide) {
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    std::string out;
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide.data()));
    size_t inLeft = wide.size() * 2;
    while (inLeft >= 2) {
        char buf[64];
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, sizeof buf - oLeft);
        if (r == size_t(-1) && errno != E2BIG) {
            out.push_back('?');
            in += 2;
            inLeft -= 2;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}
}  // namespace

TEST(Text, Utf8ConvertsAsIconvDoes) {
    std::vector<std::string> inputs;
    for (int a = 0; a < 256; ++a) {
        inputs.push_back(std::string(1, char(a)));
        for (int b = 0; b < 256; ++b) inputs.push_back({char(a), char(b)});
    }
    // Longer sequences over the bytes where the rules are decided.
    const uint8_t edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                             0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF8, 0xFC, 0xFE, 0xFF};
    for (uint8_t a : edges)
        for (uint8_t b : edges)
            for (uint8_t c : edges)
                for (uint8_t d : edges) inputs.push_back({char(a), char(b), char(c), char(d)});
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::string s(random() % 12, '\0');
        for (char& c : s) c = char(edges[random() % std::size(edges)] + (random() % 3 == 0 ? random() % 16 : 0));
        inputs.push_back(s);
    }
    for (const std::string& s : inputs) ASSERT_EQ(BytesToWide(CP_UTF8, s), IconvToWide(s)) << testing::PrintToString(s);

    std::vector<std::u16string> wides;
    for (uint32_t a = 0; a < 0x10000; ++a) wides.push_back(std::u16string(1, char16_t(a)));
    const char16_t units[] = {0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xD800, 0xDBFF,
                              0xDC00, 0xDFFF, 0xE000, 0xFEFF, 0xFFFD, 0xFFFF};
    for (char16_t a : units)
        for (char16_t b : units)
            for (char16_t c : units) wides.push_back({a, b, c});
    for (const std::u16string& w : wides) ASSERT_EQ(WideToUtf8(w), IconvToUtf8(w)) << testing::PrintToString(w);
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

// The names the pen capture and the HTML page take from their labels: the
// stroke file, what counts as an address, the device file an address names,
// and the page file of a label.
#include <gtest/gtest.h>

#include "core/widgets/ContentFiles.h"
#include "platform/DeviceFs.h"

namespace {

TEST(ContentFilesTest, StrokeFilesGetTheirExtensionOnlyWhenTheyHaveNone) {
    EXPECT_EQ(StrokeFileName(u"SIGN"), u"SIGN.PCW");
    EXPECT_EQ(StrokeFileName(u"proof.sig"), u"proof.sig");
    EXPECT_EQ(StrokeFileName(u"$PENCAP$.PCW"), u"$PENCAP$.PCW");
}

TEST(ContentFilesTest, AnAddressIsLettersAndAColonWithinTenCharacters) {
    for (const char16_t* address : {u"http://example.com/", u"file:\\DATA\\a.htm", u"C:\\page.htm", u"abcdefghi:x",
                                    u"mailto:someone", u"Time: 10:30"})
        EXPECT_TRUE(IsHtmlAddress(address)) << std::u16string(address).size();
    for (const char16_t* text : {u"<b>Hello</b>", u":start", u"abcdefghij:x", u"", u"plain text",
                                 u"1a:b", u"caf\u00e9:x"})
        EXPECT_FALSE(IsHtmlAddress(text)) << std::u16string(text).size();
}

TEST(ContentFilesTest, OnlyFileAddressesNameDeviceFiles) {
    EXPECT_EQ(HtmlAddressPath(u"file://\\Session\\DATA\\a.htm"), u"\\Session\\DATA\\a.htm");
    EXPECT_EQ(HtmlAddressPath(u"FILE:///Session/DATA/a.htm"), u"\\Session\\DATA\\a.htm");
    EXPECT_EQ(HtmlAddressPath(u"file:\\a.htm"), u"\\a.htm");
    // Never a network, nor a path that climbs out of its folders.
    for (const char16_t* address : {u"http://example.com/a.htm", u"https://x/", u"ftp://x/y", u"C:\\a.htm",
                                    u"file://", u"file:///../etc/passwd", u"file:\\a\\..\\..\\b"})
        EXPECT_EQ(HtmlAddressPath(address), u"") << std::u16string(address).size();
}

TEST(ContentFilesTest, EachWidgetHasAPageFileOfItsOwn) {
    const std::u16string temp = plat::fs::TempFolder();
    EXPECT_EQ(HtmlPageFile(7), temp + u"\\qm$htm07.htm");
    EXPECT_EQ(HtmlPageFile(123), temp + u"\\qm$htm123.htm");
    EXPECT_NE(HtmlPageFile(1), HtmlPageFile(2));
    EXPECT_EQ(HtmlPageFile(0xFFFFFFFFu), temp + u"\\qm$htm-1.htm");
}

TEST(ContentFilesTest, PageFilesAreReadInTheirEncoding) {
    auto decode = [](const std::string& bytes) {
        return DecodeHtmlPage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(decode(std::string("\xFF\xFE<\0b\0>\0\xE9\0", 10)), u"<b>\u00e9");
    EXPECT_EQ(decode(std::string("\xFF\xFEx", 3)), u"");  // an odd byte at the end is dropped
    EXPECT_EQ(decode("\xEF\xBB\xBF" "caf\xC3\xA9"), u"caf\u00e9");
    EXPECT_EQ(decode("caf\xC3\xA9"), u"caf\u00e9");
    EXPECT_EQ(decode("caf\xE9 \x80"), u"caf\u00e9 \u20ac");  // not UTF-8: Windows-1252
    EXPECT_EQ(DecodeHtmlPage(nullptr, 4), u"");
}

}  // namespace

// Rich text drawn by the layer: HTML laid out for a width and drawn from a
// scroll offset, pictures only through the caller's loader.
#include <cstdlib>
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <string>
#include <vector>

#include "platform/Gdi.h"
#include "platform/RichText.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/window/RecordingContext.h"

namespace {

QImage Picture(const testing_gdi::RecordingContext& dc, int height) {
    QImage image(dc.width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < dc.width; ++x) image.setPixel(x, y, dc.seen[size_t(y) * size_t(dc.width) + size_t(x)]);
    return image;
}

TEST(RichText, PagesAreLaidOutForTheWidthAndScrolled) {
    displaytest::EnsureApplication();
    testing_gdi::RecordingContext dc;
    const RECT r{0, 0, 120, 60};
    std::u16string html = u"<h1>Title</h1>";
    for (int i = 0; i < 30; ++i) html += u"<p>line " + std::u16string(1, char16_t(u'a' + i % 26)) + u"</p>";
    std::vector<std::u16string> asked;
    plat::richtext::Page page(html, [&](std::u16string_view s) { asked.emplace_back(s); return HBITMAP(0); });
    const int height = page.Draw(&dc, r, 0, RGB(0, 0, 0), RGB(255, 255, 255));
    ASSERT_GT(height, 300);  // thirty paragraphs, far taller than the window
    ASSERT_EQ(dc.width, 120);
    QImage top = Picture(dc, 60);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) top.save(QString::fromUtf8(dir) + "/richtext-top.png");
    EXPECT_GT(displaytest::InkPixels(top, QRect(0, 0, 120, 60), Qt::white), 40);
    // Scrolled to the end the title is gone and lines still show.
    EXPECT_EQ(page.Draw(&dc, r, height - 60, RGB(0, 0, 0), RGB(255, 255, 255)), height);
    EXPECT_NE(Picture(dc, 60), top);
    EXPECT_TRUE(asked.empty());

    // The background and text colours are the caller's.
    plat::richtext::Page small(u"<p>xxxxxxxx</p>", {});
    ASSERT_GT(small.Draw(&dc, r, 0, RGB(255, 0, 0), RGB(0, 0, 255)), 0);
    EXPECT_EQ(QColor::fromRgb(dc.seen[size_t(59) * 120 + 119]), QColor(0, 0, 255));
    int reddish = 0;
    for (uint32_t pixel : dc.seen) reddish += QColor::fromRgb(pixel).red() > 128;
    EXPECT_GT(reddish, 10);  // the text in the caller's colour
}

TEST(RichText, PicturesComeOnlyFromTheLoaderAndAreBounded) {
    displaytest::EnsureApplication();
    testing_gdi::RecordingContext dc;
    const RECT r{0, 0, 100, 100};
    std::vector<std::u16string> asked;
    std::vector<uint32_t> green(20 * 20, 0xff00ff00u);
    auto loader = [&](std::u16string_view source) -> HBITMAP {
        asked.emplace_back(source);
        return source == u"dot.png" ? plat::gdi::CreateBitmapFromPixels(20, 20, green.data(), 20) : HBITMAP(0);
    };
    std::u16string html = u"<img src=\"dot.png\"><img src=\"http://example.com/x.png\">";
    for (int i = 0; i < 40; ++i) html += u"<img src=\"p" + std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(u'a' + i / 26)) + u".png\">";
    plat::richtext::Page page(html, loader);
    ASSERT_GE(page.Draw(&dc, r, 0, RGB(0, 0, 0), RGB(255, 255, 255)), 0);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) Picture(dc, 100).save(QString::fromUtf8(dir) + "/richtext-pictures.png");
    EXPECT_EQ(QColor::fromRgb(dc.seen[size_t(10) * 100 + 10]), QColor(0, 255, 0));
    // Every source goes to the loader as written (the web address too, which it refuses), up to the bound.
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], u"dot.png");
    EXPECT_EQ(asked[1], u"http://example.com/x.png");
    EXPECT_EQ(asked.size(), size_t(plat::richtext::kMaxPictures));
    // Drawn again, nothing is asked again.
    page.Draw(&dc, r, 10, RGB(0, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(asked.size(), size_t(plat::richtext::kMaxPictures));
}

TEST(RichText, APagesPicturesTogetherStayWithinOneLargestBitmap) {
    displaytest::EnsureApplication();
    testing_gdi::RecordingContext dc;
    // Eight names of one picture of a million pixels, each on a line of its
    // own: only four fit, so the page is four pictures high.
    std::vector<uint32_t> pixels(1024 * 1024, 0xff0000ffu);
    int asked = 0;
    auto loader = [&](std::u16string_view) {
        ++asked;
        return plat::gdi::CreateBitmapFromPixels(1024, 1024, pixels.data(), 1024);
    };
    std::u16string html;
    for (char16_t c = u'a'; c < u'a' + 8; ++c) html += u"<p><img src=\"" + std::u16string(1, c) + u".png\"></p>";
    plat::richtext::Page page(html, loader);
    const int height = page.Draw(&dc, RECT{0, 0, 100, 100}, 0, RGB(0, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(asked, 8);
    EXPECT_GT(height, 4 * 1024);
    EXPECT_LT(height, 5 * 1024);
}

// Shapes whose parsing or layout costs far more than their size (each table
// inside a table doubles it) are not shown; the same elements side by side,
// or left open where a browser closes them, are.
TEST(RichText, PagesNestedTooDeepOrWithTooManyListItemsAreNotShown) {
    displaytest::EnsureApplication();
    testing_gdi::RecordingContext dc;
    const auto times = [](std::u16string_view s, int n) {
        std::u16string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    const struct {
        const char* what;
        std::u16string html;
        bool shown;
    } cases[] = {
        {"tables four deep", times(u"<table><tr><td>", 4) + u"x", true},
        {"tables five deep", times(u"<table><tr><td>", 5) + u"x", false},
        {"tables closed in any case, side by side", times(u"<TABLE><tr><td>x</td></tr></table>", 20), true},
        {"tables five deep with stray closings between", times(u"<table></div><tr><td></b>", 5) + u"x", false},
        {"256 nested elements", times(u"<div>", 255) + u"<b>x", true},
        {"257 nested elements", times(u"<div>", 256) + u"<b>x", false},
        {"elements side by side", times(u"<div><b>x</b></div><br/><img src=x>", 1000), true},
        {"a closing tag ends those opened inside it", times(u"<div><b><i>x</div>", 1000), true},
        {"paragraphs and cells left open", times(u"<p>x", 5000) + u"<table>" + times(u"<tr><td>x", 500), true},
        {"4096 list items", u"<ul>" + times(u"<li>x", 4096), true},
        {"4097 list items", u"<ul>" + times(u"<li>x</li>", 4097), false},
    };
    for (const auto& c : cases) {
        plat::richtext::Page page(c.html, {});
        EXPECT_EQ(page.Draw(&dc, RECT{0, 0, 100, 100}, 0, RGB(0, 0, 0), RGB(255, 255, 255)) >= 0, c.shown) << c.what;
    }
}

TEST(RichText, NothingIsDrawnIntoNothing) {
    displaytest::EnsureApplication();
    testing_gdi::RecordingContext dc;
    plat::richtext::Page page(u"x", {});
    EXPECT_EQ(page.Draw(nullptr, RECT{0, 0, 10, 10}, 0, 0, 0), -1);
    EXPECT_EQ(page.Draw(&dc, RECT{0, 0, 0, 10}, 0, 0, 0), -1);
    EXPECT_EQ(page.Draw(&dc, RECT{0, 0, 5000, 10}, 0, 0, 0), -1);
}

}  // namespace

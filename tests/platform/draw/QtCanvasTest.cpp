#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <string>

#include "platform/QtCanvas.h"

// Fontconfig keeps its configuration for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

using plat::draw::CellView;
using plat::draw::CQtCanvas;

void EnsureApplication() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "draw_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
    (void)app;
}

TEST(QtCanvas, MeasuresAFontAndPaintsCellsByAttribute) {
    // The configuration loading on its own thread (asked twice, started once)
    // is waited for by the first font.
    plat::draw::PrepareFonts();
    plat::draw::PrepareFonts();
    EnsureApplication();
    CQtCanvas canvas;
    ASSERT_TRUE(canvas.Resize(40, 20));
    plat::draw::FontMetrics metrics;
    ASSERT_TRUE(canvas.SelectFont(u"", 16, 0, &metrics));
    EXPECT_GT(metrics.widthW, 0);
    EXPECT_GT(metrics.height, 0);

    // Two cells: reverse (white on black), then the default (black on white).
    const std::u16string characters = u"X ";
    const std::u16string attributes = {char16_t(0x07), char16_t(0x70)};
    CellView view;
    view.characters = characters.data();
    view.attributes = attributes.data();
    view.columns = 2;
    view.rows = 1;
    view.cellWidth = 10;
    view.cellHeight = 20;
    canvas.Paint(view);
    const QImage* image = canvas.Image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image->pixelColor(15, 10), QColor(Qt::white));
    EXPECT_EQ(image->pixelColor(30, 10), QColor(Qt::white));  // beyond the grid

    // Made again at the same size, the picture is white again.
    ASSERT_TRUE(canvas.Resize(40, 20));
    EXPECT_EQ(canvas.Image()->pixelColor(0, 0), QColor(Qt::white));

    EXPECT_FALSE(canvas.Resize(0, 10));
    EXPECT_EQ(canvas.Image(), nullptr);
    canvas.Paint(view);  // no picture: nothing happens
}

TEST(QtCanvas, WithoutAnApplicationThereIsNoFont) {
    if (QGuiApplication::instance()) GTEST_SKIP() << "the application exists in this process";
    CQtCanvas canvas;
    plat::draw::FontMetrics metrics;
    EXPECT_FALSE(canvas.SelectFont(u"", 16, 0, &metrics));
}

}  // namespace

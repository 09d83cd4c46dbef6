// An HTML page file as the HTML widget shows it: decoded, laid out and drawn
// as rich text, with every picture it names answered by a small bitmap. It
// must neither crash nor hang, and ask for at most the pictures a page may show.
#include <QGuiApplication>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/widgets/ContentFiles.h"
#include "platform/Gdi.h"
#include "platform/RichText.h"

namespace {

// A context that keeps nothing: the pixels are only handed over.
struct NullContext final : plat::gdi::DeviceContext {
    void Fill(const RECT&, COLORREF) override {}
    void Line(POINT, POINT, COLORREF, int) override {}
    void Text(const RECT&, std::u16string_view, UINT, const LOGFONT&, COLORREF, const COLORREF*) override {}
    SIZE Measure(std::u16string_view, const LOGFONT&) override { return {}; }
};

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "fuzz_html_page";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;  // layout time grows with the page; the widget's own bound is 1 MiB
    EnsureApplication();
    const std::u16string html = DecodeHtmlPage(data, size);
    NullContext dc;
    int asked = 0;
    std::vector<uint32_t> pixels(4 * 4, 0xff336699u);
    plat::richtext::Page page(html, [&](std::u16string_view) {
        ++asked;
        return plat::gdi::CreateBitmapFromPixels(4, 4, pixels.data(), 4);
    });
    // A page whose layout would cost far more than its size is not drawn (-1).
    const int height = page.Draw(&dc, RECT{0, 0, 240, 320}, 0, RGB(0, 0, 0), RGB(255, 255, 255));
    if (asked > plat::richtext::kMaxPictures) std::abort();
    page.Draw(&dc, RECT{0, 0, 100, 320}, std::max(0, height / 2), RGB(0, 0, 0), RGB(255, 255, 255));
    if (asked > plat::richtext::kMaxPictures) std::abort();
    return 0;
}

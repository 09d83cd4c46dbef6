// A full screen of RfPrint text with attribute escapes, parsed into the
// screen model and painted into the back buffer, next to QPainter drawing
// the same characters into a QImage directly.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <string>

#include "common/PacketFramer.h"
#include "core/session/ClientCore.h"
#include "platform/Message.h"
#include "platform/QtCanvas.h"

namespace {

constexpr int kColumns = 21;
constexpr int kRows = 16;
constexpr int kCellWidth = 11;
constexpr int kCellHeight = 18;

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "bench_display";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

// Every row: a position, then words in changing colours.
std::string ScreenText() {
    std::string text;
    for (int row = 0; row < kRows; ++row) {
        text += "\x1B[" + std::to_string(row + 1) + ";1H";
        for (int column = 0; column < kColumns; column += 7)
            text += "\x1B[" + std::to_string(30 + (row + column) % 8) + ";47mABCDEFG";
    }
    return text;
}

void RfPrintAndPaint(benchmark::State& state) {
    App();
    HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    CClientCore core(window);
    const std::string payload = "3\xFD" + ScreenText();
    plat::draw::CQtCanvas canvas;
    canvas.Resize(kColumns * kCellWidth, kRows * kCellHeight);
    plat::draw::FontMetrics metrics;
    canvas.SelectFont(u"", kCellHeight, 0, &metrics);
    for (auto _ : state) {
        core.OnReceive(reinterpret_cast<const uint8_t*>(payload.data()), static_cast<int32_t>(payload.size()), false);
        canvas.Paint(core.Screen().View());
        benchmark::DoNotOptimize(canvas.Image());
    }
    state.SetLabel("one screen: parse and paint");
    DestroyWindow(window);
}
BENCHMARK(RfPrintAndPaint)->Unit(benchmark::kMicrosecond);

void QPainterDirect(benchmark::State& state) {
    App();
    QImage image(kColumns * kCellWidth, kRows * kCellHeight, QImage::Format_RGB32);
    QFont font;
    font.setPixelSize(kCellHeight);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        for (int row = 0; row < kRows; ++row)
            for (int column = 0; column < kColumns; ++column) {
                const QRect cell(column * kCellWidth, row * kCellHeight, kCellWidth, kCellHeight);
                painter.fillRect(cell, Qt::white);
                painter.setPen(Qt::black);
                painter.drawText(cell, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(u'A' + column % 7)));
            }
        benchmark::DoNotOptimize(image.bits());
    }
    state.SetLabel("the same characters with QPainter only");
}
BENCHMARK(QPainterDirect)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

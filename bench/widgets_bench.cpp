// A screen of 100 widgets of mixed types: one WIDGETACTION of 100 ADD
// records through the session core, the windows made by the window layer
// and painted through the Qt backing, next to QPainter drawing the same
// rectangles and texts into a QImage. Both are timed in turn in the same
// run; the ratio is ours over QPainter's (goal: 3 times at most).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/session/ClientCore.h"
#include "core/widgets/WidgetWindowLayer.h"
#include "platform/DeviceFs.h"
#include "platform/QtHost.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidgets = 100;
constexpr int kWidth = 24;
constexpr int kHeight = 32;
const std::string FD = "\xFD", FC = "\xFC", FE = "\xFE";

struct Kind {
    int type;
    const char* label;
    const char* value;
    const char* items;
};
// Ten kinds, ten of each; the list kinds read one item-list file.
constexpr Kind kKinds[] = {
    {1, "OK", "", ""},   {8, "Text", "", ""},   {10, "", "123", ""},  {6, "Tick", "1", ""},   {15, "40", "", ""},
    {7, "2", "", ""},    {3, "", "2", "LIST"},  {18, "", "1", "LIST"}, {5, "", "2", "LIST"}, {2, "", "", ""},
};

QRect Place(int i) { return QRect((i % 10) * kWidth, (i / 10) * kHeight, kWidth, kHeight); }

std::string Stream() {
    std::string records;
    for (int i = 0; i < kWidgets; ++i) {
        const Kind& s = kKinds[i % 10];
        const QRect r = Place(i);
        if (!records.empty()) records += FE;
        records += std::to_string(s.type) + FD + "1" + FD + std::to_string(i + 1) + FD + "1" + FC +
                   std::to_string(r.y()) + FC + std::to_string(r.x()) + FC + std::to_string(r.width()) + FC +
                   std::to_string(r.height()) + FD + FC + FC + FC + s.label + FD + FD + s.value + FD + FD + s.items;
    }
    return "w" + FD + records;
}

// The control window's part: the core's own messages dropped, the widgets'
// routed to them.
class Screen {
public:
    Screen() {
        WNDCLASS wc{};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); };
        wc.lpszClassName = u"WidgetBenchOwner";
        RegisterClass(&wc);
        m_owner = CreateWindowEx(0, u"WidgetBenchOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth * 10,
                                 kHeight * 10, 0, 0, nullptr, nullptr);
        plat::window::SetWindowProcedure(m_owner, [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            switch (m) {
            case WM_COMMAND:
            case WM_DRAWITEM:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX: {
                bool handled = false;
                const LRESULT r = m_core ? m_core->OnWidgetMessage(h, m, w, l, &handled) : 0;
                if (handled) return r;
                break;
            }
            default:
                if (m >= WM_USER) return 0;
                break;
            }
            return DefWindowProc(h, m, w, l);
        });
        m_core = std::make_unique<CClientCore>(m_owner);
        m_core->SetWidgetWindows(&m_windows);
        m_core->SetAppDirectory(m_core->ModuleFolder());
        const std::u16string menus = m_core->ModuleFolder() + u"\\MENUS";
        for (size_t at = 1; (at = menus.find(u'\\', at + 1)) != std::u16string::npos;)
            plat::fs::CreateDirectory(menus.substr(0, at));
        plat::fs::CreateDirectory(menus);
        const std::string list = "1" + FE + "1" + FE + "8" + FE + "4" + FE + "List" + FE + "One" + FD + "Two" + FD + "Three" + FD;
        plat::fs::WriteFile(menus + u"\\LIST.MNU", list.data(), list.size());
        m_add = Stream();
        m_remove = "w" + FD + "0" + FD + "2" + FD;
    }
    ~Screen() {
        m_core.reset();
        DestroyWindow(m_owner);
    }
    // Creates and paints the screen; the seconds it took.
    double Build() {
        const auto start = Clock::now();
        Receive(m_add);
        Drain();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        Receive(m_remove);
        Drain();
        return seconds;
    }

private:
    // A packet's payload, as the framer hands it on.
    void Receive(const std::string& bytes) {
        m_core->OnReceive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), false);
    }
    // Every window painted, and the display told.
    static void Drain() {
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        QCoreApplication::processEvents();
        plat::qt::SyncWidgets();
    }
    HWND m_owner = 0;
    CWidgetWindows m_windows;
    std::unique_ptr<CClientCore> m_core;
    std::string m_add, m_remove;
};

// What the screen shows, with QPainter alone: each widget's rectangle filled
// and framed, and its texts (a list's three rows, a radio group's three
// buttons, a box's mark, a bar's fill, an arrow).
double PaintDirect(QImage& image) {
    const auto start = Clock::now();
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(18);
    painter.setFont(font);
    const QString items[] = {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")};
    for (int i = 0; i < kWidgets; ++i) {
        const Kind& s = kKinds[i % 10];
        const QRect r = Place(i);
        painter.fillRect(r, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        switch (s.type) {
        case 18:
            for (int k = 0; k < 3; ++k) painter.drawText(r.adjusted(1, 1 + k * 10, -1, 0), Qt::AlignLeft | Qt::AlignTop, items[k]);
            break;
        case 5:
            for (int k = 0; k < 3; ++k) {
                const QRect b(r.x() + 1 + k * 7, r.y() + 1, 7, r.height() - 2);
                painter.drawRect(QRect(b.x(), b.center().y() - 3, 6, 6));
                painter.drawText(b, Qt::AlignLeft | Qt::AlignVCenter, items[k]);
            }
            break;
        case 3: painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, items[1]); break;
        case 6:
            painter.fillRect(QRect(r.x() + 2, r.center().y() - 4, 8, 8), Qt::black);
            painter.drawText(r.adjusted(12, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(s.label));
            break;
        case 15: painter.fillRect(r.adjusted(1, 1, -r.width() * 6 / 10, -1), Qt::darkBlue); break;
        case 7: {
            const QPoint arrow[] = {r.topLeft(), QPoint(r.right(), r.center().y()), r.bottomLeft()};
            painter.setBrush(Qt::black);
            painter.drawPolygon(arrow, 3);
            painter.setBrush(Qt::NoBrush);
            break;
        }
        default:
            painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(*s.label ? s.label : s.value));
            break;
        }
    }
    painter.end();
    benchmark::DoNotOptimize(image.bits());
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void CreateAndPaint100Widgets(benchmark::State& state) {
    Screen screen;
    for (auto _ : state) state.SetIterationTime(screen.Build());
    state.SetLabel("WIDGETACTION of 100 ADDs, windows made and painted");
}

void QPainterSameRectanglesAndTexts(benchmark::State& state) {
    QImage image(kWidth * 10, kHeight * 10, QImage::Format_RGB32);
    for (auto _ : state) state.SetIterationTime(PaintDirect(image));
    state.SetLabel("what the 100 widgets show, with QPainter only");
}

// Ours and QPainter's in turn, a few of each at a time: the ratio.
void WidgetsVsQPainter(benchmark::State& state) {
    constexpr int kRun = 4;
    Screen screen;
    QImage image(kWidth * 10, kHeight * 10, QImage::Format_RGB32);
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        double batch = 0;
        for (int i = 0; i < kRun; ++i) batch += screen.Build();
        for (int i = 0; i < kRun; ++i) theirs += PaintDirect(image);
        ours += batch;
        state.SetIterationTime(batch / kRun);
    }
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    state.SetLabel("goal: ratio 3 at most");
}

BENCHMARK(CreateAndPaint100Widgets)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(QPainterSameRectanglesAndTexts)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(WidgetsVsQPainter)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // A device root of its own, gone at the end.
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("orvade-bench-widgets-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    plat::fs::SetDeviceRoot(root.string());
    int code = 0;
    {
        QApplication app(argc, argv);  // QT_QPA_PLATFORM=offscreen runs it without a display
        plat::qt::AttachQtEventLoop();
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        plat::qt::DetachQtEventLoop();
    }
    std::filesystem::remove_all(root);
    return code;
}

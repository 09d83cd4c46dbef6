// The pen capture, bitmap and HTML widget windows made through WIDGETACTION
// and driven by the stylus: stroke files byte for byte, the signature screen
// of COMMONDLG end to end, taps on a picture reaching the hot spot over it,
// page files, and what each draws (offscreen).
#include <cstdlib>
#include <QImage>
#include <QPainter>

#include "WidgetWindowFixture.h"
#include "core/widgets/ContentWidgets.h"
#include "platform/QtHost.h"
#include "tests/control/QtApplication.h"
#include "tests/core/support/SmallFileSystem.h"
#include "tests/platform/qt/QtPump.h"

namespace widgetwindowtest {
namespace {

class ContentWidgetsTest : public WidgetWindowTest {
protected:
    void SetUp() override {
        WidgetWindowTest::SetUp();
        m_data = m_core->ModuleFolder() + u"\\DATA";
        for (size_t at = 1; (at = m_data.find(u'\\', at + 1)) != std::u16string::npos;)
            plat::fs::CreateDirectory(m_data.substr(0, at));
        plat::fs::CreateDirectory(m_data);
    }
    Bytes DataFile(const std::u16string& name) {
        FILE* f = plat::fs::OpenFile(m_data + u"\\" + name, "rb");
        if (!f) return "(none)";
        Bytes bytes;
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
        std::fclose(f);
        return bytes;
    }
    // The stylus on a window: down at the first point, moves through the
    // others, up at the last (client coordinates of that window).
    void Stroke(HWND window, const std::vector<POINT>& points) {
        for (size_t i = 0; i < points.size(); ++i) {
            POINT p = points[i];
            ClientToScreen(window, &p);
            plat::input::InjectMouse(i == 0 ? WM_LBUTTONDOWN : WM_MOUSEMOVE, p, MK_LBUTTON);
            if (i + 1 == points.size()) plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
            Pump();  // moves that wait together are one, as the layer coalesces them
        }
    }
    static std::vector<POINT> Line(POINT from, POINT to) {
        std::vector<POINT> points;
        const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
        for (int i = 0; i <= steps; ++i)
            points.push_back({from.x + (to.x - from.x) * i / std::max(1, steps), from.y + (to.y - from.y) * i / std::max(1, steps)});
        return points;
    }
    QImage Render(HWND window) {
        qttest::Pump();
        UpdateWindow(window);
        plat::qt::SyncWidgets();
        return plat::qt::RenderWindow(window).convertToFormat(QImage::Format_RGB32);
    }
    void SavePicture(const std::u16string& name, QColor left, QColor right, QSize size = QSize(40, 20)) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(left);
        QPainter(&image).fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), right);
        const std::optional<std::string> path = plat::fs::ToHostPath(m_data + u"\\" + name);
        ASSERT_TRUE(path && image.save(QString::fromStdString(*path), "PNG"));
    }
    std::u16string m_data;
};

const Bytes kEmpty200x80 = "200" + FD + "80" + FD;

TEST_F(ContentWidgetsTest, APenCaptureSavesItsStrokesByteForByte) {
    Widgets(Add(11, "9", {Cells(10, 10, 200, 80, 1), Looks("SIGN")}) + FE + Add(1, "2", {Cells(0, 0), Looks("OK")}));
    const HWND pen = WindowOf(9);
    ASSERT_NE(pen, 0u);
    char16_t name[64] = {};
    GetClassName(pen, name, 64);
    EXPECT_EQ(std::u16string(name), u"OV_WIDGET_PENCAP_CLASS");
    EXPECT_EQ(plat::window::GetWindowString(pen), u"PENCAP");
    EXPECT_TRUE(GetWindowLongPtr(pen, GWL_STYLE) & WS_BORDER);
    // At once, the empty capture: the area's width and height only.
    Pump();
    EXPECT_EQ(DataFile(u"SIGN.PCW"), kEmpty200x80);

    // A straight stroke in many small moves is two points; out of the
    // window the stroke ends, and back in a new one starts at re-entry.
    Stroke(pen, Line({10, 12}, {30, 12}));
    Stroke(pen, {{50, 40}, {60, 40}, {250, 40}, {70, 50}, {80, 50}});
    EXPECT_EQ(GetCapture(), 0u);  // lifting the pen released it
    EXPECT_EQ(DataFile(u"SIGN.PCW"), kEmpty200x80);  // saved when the focus goes
    TapWindow(WindowOf(2));
    const Bytes strokes = kEmpty200x80 + "10" + FC + "12" + FC + "30" + FC + "12" + FD + "50" + FC + "40" + FC + "60" + FC +
                          "40" + FD + "70" + FC + "50" + FC + "80" + FC + "50" + FD;
    EXPECT_EQ(DataFile(u"SIGN.PCW"), strokes);
    // Drawing sends no event; the button's does.
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "OK", "2")});

    // A new label clears the drawing and writes an empty capture under the
    // new name; one with an extension is used as it stands. The old file stays.
    Widgets(Action(1, WID_ACTION_SETLABEL, "9", FD + FD + Looks("NEXT")));
    Pump();
    EXPECT_EQ(DataFile(u"NEXT.PCW"), kEmpty200x80);
    EXPECT_EQ(DataFile(u"SIGN.PCW"), strokes);
    Widgets(Action(1, WID_ACTION_SETLABEL, "9", FD + FD + Looks("proof.sig")));
    Pump();
    EXPECT_EQ(DataFile(u"proof.sig"), kEmpty200x80);
    // A disabled pen capture takes no strokes.
    Widgets(Action(1, WID_ACTION_DISABLE, "9"));
    Stroke(pen, {{5, 5}, {9, 9}});
    SendMessage(pen, WIDGET_MSG_COMMIT, 1, 0);
    EXPECT_EQ(DataFile(u"proof.sig"), kEmpty200x80);
}

// The label names the stroke file, so a host could name a library of the
// program folder with it: the capture writes no library, wherever it is.
TEST_F(ContentWidgetsTest, APenCaptureWritesNoLibrary) {
    const std::u16string library = m_core->ModuleFolder() + u"\\keep.dll";
    ASSERT_TRUE(plat::fs::WriteFile(library, "library", 7));
    Widgets(Add(11, "9", {Cells(10, 10, 200, 80, 1), Looks(plat::text::WideToUtf8(library))}) + FE +
            Add(11, "8", {Cells(100, 10, 100, 80, 1), Looks("sig.DLL. ")}) + FE + Add(1, "2", {Cells(0, 0), Looks("OK")}));
    Pump();
    Stroke(WindowOf(9), {{10, 10}, {40, 20}});
    Stroke(WindowOf(8), {{10, 10}, {40, 20}});
    TapWindow(WindowOf(2));
    FILE* f = plat::fs::OpenFile(library, "rb");
    ASSERT_TRUE(f);
    char kept[16] = {};
    EXPECT_EQ(std::fread(kept, 1, sizeof kept, f), 7u);
    std::fclose(f);
    EXPECT_EQ(Bytes(kept), "library");
    EXPECT_TRUE(plat::fs::FindFiles(m_data + u"\\*").empty());
}

// A full disk: the stroke file that cannot be replaced goes, so neither the
// host nor the signature screen takes an older drawing for this one; where
// its room is enough, the new file is written in its place.
TEST_F(ContentWidgetsTest, AStrokeFileThatCannotBeSavedLeavesNoOlderDrawingBehind) {
    const std::string root = plat::fs::DeviceRoot();
    const std::filesystem::path mount = std::filesystem::temp_directory_path() /
                                        ("orvade-pencap-" + std::to_string(::getpid()));
    std::filesystem::create_directories(mount);
    {
        SmallFileSystem small(mount, 64 * 1024);
        if (!small.Ready()) {
            std::filesystem::remove(mount);
            GTEST_SKIP() << small.Reason();
        }
        plat::fs::SetDeviceRoot(small.Path());
        ASSERT_TRUE(plat::fs::CreateDirectories(m_data));
        Widgets(Add(11, "9", {Cells(10, 10, 200, 80, 1), Looks("SIGN")}) + FE + Add(1, "2", {Cells(0, 0), Looks("OK")}));
        const HWND pen = WindowOf(9);
        Stroke(pen, {{10, 10}, {40, 20}});
        TapWindow(WindowOf(2));
        const Bytes first = kEmpty200x80 + "10" + FC + "10" + FC + "40" + FC + "20" + FD;
        ASSERT_EQ(DataFile(u"SIGN.PCW"), first);
        // Fill the disk.
        FILE* filler = plat::fs::OpenFile(u"\\filler", "wb");
        ASSERT_TRUE(filler);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);

        // More strokes, which fit in the old file's room.
        Stroke(pen, {{50, 50}, {60, 70}});
        TapWindow(WindowOf(2));
        const Bytes second = first + "50" + FC + "50" + FC + "60" + FC + "70" + FD;
        EXPECT_EQ(DataFile(u"SIGN.PCW"), second);
        // Then a zigzag that does not fit anywhere: no file at all.
        std::vector<POINT> zigzag;
        for (int i = 0; i < 4000; ++i) zigzag.push_back({10 + i % 180, i % 2 ? 75 : 5});
        Stroke(pen, zigzag);
        TapWindow(WindowOf(2));
        EXPECT_FALSE(plat::fs::Exists(m_data + u"\\SIGN.PCW"));
        Widgets(Action(1, WID_ACTION_REMOVE, "9") + FE + Action(1, WID_ACTION_REMOVE, "2"));
        plat::fs::SetDeviceRoot(root);
    }
    std::filesystem::remove(mount);
}

TEST_F(ContentWidgetsTest, TheSignatureScreenSendsWhatWasDrawn) {
    Send("p" + FD + "1");
    EXPECT_TRUE(Replies().empty());
    const HWND pen = WindowOf(100);
    ASSERT_NE(pen, 0u);
    RECT r{};
    GetClientRect(pen, &r);
    // 96% by 84% of the 240 x 320 window.
    EXPECT_EQ(r.right, 230);
    EXPECT_EQ(r.bottom, 268);
    const Bytes empty = "230" + FD + "268" + FD;
    Pump();
    EXPECT_EQ(DataFile(u"$PENCAP$.PCW"), empty);

    // Clear empties the drawing and keeps the file: OK then sends nothing.
    Stroke(pen, {{10, 10}, {40, 20}});
    TapWindow(WindowOf(4));
    EXPECT_EQ(DataFile(u"$PENCAP$.PCW"), empty);
    TapWindow(WindowOf(1));
    std::vector<Bytes> replies = Replies();
    EXPECT_EQ(replies, std::vector<Bytes>{});
    EXPECT_EQ(WindowOf(100), 0u);  // the screen is gone
    EXPECT_EQ(DataFile(u"$PENCAP$.PCW"), "(none)");

    // The buttons' events of that screen still wait for the host: they
    // leave the next screen alone when GETEVENT takes them.
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "Clear", "4"), Event('8', "OK", "1")}));
    // Drawn, then OK: the strokes, then the button's event on its way.
    Send("p" + FD + "1");
    Stroke(WindowOf(100), {{10, 10}, {40, 20}});
    Send("1" + FD);  // the host waits for input
    TapWindow(WindowOf(1));
    replies = Replies();
    EXPECT_EQ(replies, (std::vector<Bytes>{"p" + FD + "1" + FD + "1" + FD + empty + "10" + FC + "10" + FC + "40" + FC + "20" + FD,
                                           Event('8', "OK", "1")}));
    // Cancel answers "0".
    Send("p" + FD + "1");
    TapWindow(WindowOf(2));
    EXPECT_EQ(Replies(), std::vector<Bytes>{"p" + FD + "1" + FD + "0" + FD});
}

TEST_F(ContentWidgetsTest, TapsOnAPictureReachTheHotSpotOverIt) {
    SavePicture(u"logo.png", Qt::red, Qt::blue);
    // The picture at 20,20 (100 x 100); a hot spot at 70,70 reporting the tap
    // from its own corner, and one at 0,0 reporting it as it came.
    Widgets(Add(9, "3", {Cells(20, 20, 100, 100, 1), Looks("logo.png")}) + FE +
            Add(2, "4", {Cells(70, 70, 40, 40, 1), Looks(""), "", FC + "8"}));
    const HWND picture = WindowOf(3);
    ASSERT_NE(picture, 0u);
    EXPECT_EQ(plat::window::GetWindowString(picture), u"BITMAP");
    Tap(80, 90);
    Tap(30, 30);  // on the picture, outside the hot spot: nobody's
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "10,20", "4")});
    Widgets(Action(1, WID_ACTION_REMOVE, "4") + FE + Add(2, "5", {Cells(0, 0, 240, 320, 1), Looks("")}));
    Tap(80, 90);
    // In the picture's own coordinates, as the window that took the tap.
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "60,70", "5")});
}

TEST_F(ContentWidgetsTest, HtmlPagesKeepAPageFileAndNeverFetchAnAddress) {
    Widgets(Add(19, "5", {Cells(0, 0, 0, 0, 1), Looks("<b>caf\xC3\xA9</b>")}) + FE +
            Add(19, "6", {Cells(0, 0, 100, 50, 1), Looks("<i>two</i>")}));
    // Mode 0 text is Windows-1252: the label arrives as "<b>caf" 0xC3 0xA9 "</b>".
    const HWND page = WindowOf(5);
    ASSERT_NE(page, 0u);
    RECT r{};
    GetWindowRect(page, &r);
    EXPECT_EQ(r.right - r.left, 240);  // no size: the whole window
    EXPECT_EQ(r.bottom - r.top, 320);
    EXPECT_EQ(Widget(5)->Fields().mode, 3);
    const std::u16string file5 = HtmlPageFile(5), file6 = HtmlPageFile(6);
    auto read = [](const std::u16string& path) {
        FILE* f = plat::fs::OpenFile(path, "rb");
        if (!f) return Bytes("(none)");
        Bytes bytes(4096, '\0');
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return bytes;
    };
    EXPECT_EQ(read(file6), Bytes("\xFF\xFE<\0i\0>\0t\0w\0o\0<\0/\0i\0>\0", 22));
    EXPECT_EQ(read(file5).substr(0, 4), Bytes("\xFF\xFE<\0", 4));
    // An address is not a page: no file, nothing fetched.
    Widgets(Action(1, WID_ACTION_SETLABEL, "6", FD + FD + Looks("http://example.com/")));
    EXPECT_EQ(read(file6), "(none)");
    Widgets(Action(1, WID_ACTION_REMOVE, "5"));
    EXPECT_EQ(read(file5), "(none)");
}

TEST_F(ContentWidgetsTest, PenCapturePictureAndPageAreDrawn) {
    displaytest::EnsureApplication();
    SavePicture(u"half.png", Qt::red, Qt::blue);
    const Bytes page = "<h1>Orders</h1><p>Pick <b>three</b> boxes.</p><img src=\"half.png\">";
    plat::fs::WriteFile(m_data + u"\\page.htm", page.data(), page.size());
    const std::u16string address = u"file://" + m_data + u"\\page.htm";
    Widgets(Add(11, "1", {Cells(0, 0, 100, 60, 1), Looks("INK")}) + FE +
            Add(9, "2", {Cells(0, 110, 60, 30, 1), Looks("half.png")}) + FE +
            Add(9, "3", {Cells(40, 110, 60, 30, 1), Looks("missing.png")}) + FE +
            Add(19, "4", {Cells(80, 0, 200, 200, 1), Looks(plat::text::WideToUtf8(address))}));
    Stroke(WindowOf(1), Line({10, 30}, {90, 30}));

    const QImage ink = Render(WindowOf(1));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) ink.save(QString::fromUtf8(dir) + "/pencapture.png");
    // The stroke is a black line on the window colour.
    EXPECT_EQ(QColor(ink.pixel(50, 30)), QColor(Qt::black));
    EXPECT_NE(QColor(ink.pixel(50, 45)), QColor(Qt::black));
    EXPECT_EQ(QColor(ink.pixel(0, 45)), QColor(Qt::black));  // its frame

    const QImage picture = Render(WindowOf(2));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) picture.save(QString::fromUtf8(dir) + "/bitmap.png");
    // Scaled to the window: red left, blue right.
    EXPECT_EQ(QColor(picture.pixel(10, 15)), QColor(Qt::red));
    EXPECT_EQ(QColor(picture.pixel(50, 15)), QColor(Qt::blue));
    const QImage none = Render(WindowOf(3));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) none.save(QString::fromUtf8(dir) + "/noimage.png");
    EXPECT_EQ(QColor(none.pixel(2, 2)), QColor(0xC0, 0xC0, 0xC0));  // light grey, with "No image"
    EXPECT_GT(displaytest::InkPixels(none, QRect(0, 0, 60, 30), QColor(0xC0, 0xC0, 0xC0)), 10);

    const QImage html = Render(WindowOf(4));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) html.save(QString::fromUtf8(dir) + "/html.png");
    EXPECT_GT(displaytest::InkPixels(html, QRect(0, 0, 200, 40), Qt::white), 50);  // the heading
    // The page's picture, from beside the page.
    int red = 0;
    for (int y = 0; y < html.height(); ++y)
        for (int x = 0; x < html.width(); ++x) red += QColor(html.pixel(x, y)) == QColor(Qt::red);
    EXPECT_GT(red, 100);
}

TEST_F(ContentWidgetsTest, ALongPageScrollsByKeysAndByDragging) {
    displaytest::EnsureApplication();
    Bytes html = "<h1>Top</h1>";
    for (int i = 0; i < 60; ++i) html += "<p>Line " + std::to_string(i) + "</p>";
    Widgets(Add(19, "7", {Cells(0, 0, 200, 100, 1), Looks(html), "", "", "", "", "", "1"}) + FE + Add(1, "8", {Cells(0, 0), Looks("OK"), "", "", "", "", "", "2"}));
    const HWND page = WindowOf(7);
    const QImage top = Render(page);
    TapWindow(page);
    EXPECT_EQ(GetFocus(), page);
    Key(VK_NEXT);
    const QImage down = Render(page);
    EXPECT_NE(down, top);
    Key(VK_PRIOR);
    EXPECT_EQ(Render(page), top);  // back at the top, and not above it
    Key(VK_PRIOR);
    EXPECT_EQ(Render(page), top);
    // The pen drags the page up; Tab moves on to the next widget.
    Stroke(page, Line({100, 90}, {100, 20}));
    EXPECT_NE(Render(page), top);
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(8));
}

TEST_F(ContentWidgetsTest, TheSignatureScreenIsDrawn) {
    displaytest::EnsureApplication();
    Send("p" + FD + "1");
    Stroke(WindowOf(100), Line({20, 100}, {200, 60}));
    const QImage screen = Render(m_owner);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) screen.save(QString::fromUtf8(dir) + "/signature.png");
    // The signature's frame and line, and the three buttons' captions below it.
    EXPECT_EQ(QColor(screen.pixel(4, 150)), QColor(Qt::black));
    EXPECT_GT(displaytest::InkPixels(screen, QRect(30, 60, 180, 60), Qt::white), 100);
    for (uint32_t id : {4u, 2u, 1u}) {
        RECT r{};
        GetWindowRect(WindowOf(id), &r);
        EXPECT_GT(r.top, 6 + 268) << id;
        EXPECT_GT(displaytest::InkPixels(screen, QRect(r.left + 4, r.top + 4, r.right - r.left - 8, r.bottom - r.top - 8),
                                         screen.pixelColor(r.left + 2, r.top + 2)), 10) << id;
    }
}

}  // namespace
}  // namespace widgetwindowtest

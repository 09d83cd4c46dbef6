// The control's drawing: the view's back buffer copied into a real window
// shown by Qt offscreen, the overlay text of one copy, and the message box
// when there is no back buffer yet.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "control/ControlDialogs.h"
#include "control/ScreenView.h"
#include "tests/control/QtApplication.h"
#include "tests/core/session/CoreFixture.h"
#include "tests/platform/qt/QtPump.h"
#include "platform/MsgBox.h"

namespace {

using namespace coretest;

constexpr int kWidth = 231;
constexpr int kHeight = 288;

class PaintTest;
PaintTest* g_test = nullptr;

class PaintTest : public CoreTest {
protected:
    static LRESULT ScreenProc(HWND h, UINT msg, WPARAM w, LPARAM l);

    void SetUp() override {
        displaytest::EnsureApplication();
        CoreTest::SetUp();
        g_test = this;
        m_previous = plat::msgbox::SetPresenter(&m_boxes);
        // The control's boxes, owned by its window, as the control installs them.
        m_dialogs = std::make_unique<CControlDialogs>(nullptr, m_window);
        m_core->SetDialogs(m_dialogs.get());
        WNDCLASS wc{};
        wc.lpfnWndProc = ScreenProc;
        wc.lpszClassName = u"ScreenPaintTest";
        RegisterClass(&wc);  // a second registration fails and may be ignored
        m_screen = CreateWindowEx(0, u"ScreenPaintTest", u"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, 0, 0,
                                  nullptr, nullptr);
        ASSERT_NE(m_screen, 0u);
    }
    void TearDown() override {
        DestroyWindow(m_screen);
        Pump();
        plat::msgbox::SetPresenter(m_previous);
        g_test = nullptr;
        if (m_core) m_core->SetDialogs(nullptr);
        CoreTest::TearDown();
    }

    // The view of the control window, then the window's size as the control
    // sets it on a resize.
    void InstallView(bool sized = true) {
        m_screenView = std::make_unique<CScreenView>(m_screen, m_core->Screen());
        m_core->SetView(m_screenView.get());
        m_core->SetFontMeasure(&m_screenView->Canvas());
        if (!sized) return;
        m_core->Resize(kWidth, kHeight);
    }
    static void Pump() { qttest::Pump(); }
    QImage Shown() { return plat::qt::RenderWindow(m_screen).convertToFormat(QImage::Format_RGB32); }
    QImage BackBuffer() { return m_screenView->Canvas().Image()->convertToFormat(QImage::Format_RGB32); }
    // Whether any pixel of the cell has the colour.
    static bool CellHas(const QImage& image, int row, int column, int cw, int ch, QColor colour) {
        for (int y = row * ch; y < (row + 1) * ch; ++y)
            for (int x = column * cw; x < (column + 1) * cw; ++x)
                if (image.pixelColor(x, y) == colour) return true;
        return false;
    }

    plat::msgbox::ScriptedAnswerer m_boxes;
    std::unique_ptr<CControlDialogs> m_dialogs;
    plat::msgbox::IPresenter* m_previous = nullptr;
    HWND m_screen = 0;
    std::unique_ptr<CScreenView> m_screenView;
    std::u16string m_overlay;
    int m_paints = 0;
};

// The control window's drawing: the core paints into the window's context.
LRESULT PaintTest::ScreenProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg != WM_PAINT || !g_test) return DefWindowProc(h, msg, w, l);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    g_test->m_core->Paint(dc, g_test->m_overlay);
    ++g_test->m_paints;
    EndPaint(h, &ps);
    return 0;
}

TEST_F(PaintTest, WithoutABackBufferEveryPaintTellsTheUser) {
    // Before the view is installed, then before the window has a size.
    for (bool viewInstalled : {false, true}) {
        if (viewInstalled) InstallView(false);
        const size_t before = m_boxes.Seen().size();
        HDC dc = GetDC(m_screen);
        m_core->Paint(dc);
        m_core->Paint(dc, u"OVERLAY");
        ReleaseDC(m_screen, dc);
        const auto boxes = m_boxes.Seen();
        ASSERT_EQ(boxes.size(), before + 2) << viewInstalled;
        for (size_t i = before; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i].text, u"Backbuffer not initialized.");
            EXPECT_EQ(boxes[i].caption, u"Orvade error");
            EXPECT_EQ(boxes[i].owner, m_window);
        }
    }
    // Once the window has its size there is a back buffer and no box.
    m_core->Resize(kWidth, kHeight);
    const size_t before = m_boxes.Seen().size();
    HDC dc = GetDC(m_screen);
    m_core->Paint(dc);
    ReleaseDC(m_screen, dc);
    EXPECT_EQ(m_boxes.Seen().size(), before);
}

TEST_F(PaintTest, TheWindowShowsTheBackBufferAfterTheHostDraws) {
    InstallView();
    const Bytes ESC = "\x1B";
    Send("3" + FD + "AB" + ESC + "[7mCD" + ESC + "[m" + ESC + "[3;2HEF");
    Pump();  // the view invalidated the window; its WM_PAINT copies
    ASSERT_GT(m_paints, 0);
    EXPECT_TRUE(m_boxes.Seen().empty());
    const QImage shown = Shown();
    const QImage back = BackBuffer();
    ASSERT_EQ(shown.size(), back.size());
    EXPECT_EQ(shown, back);
    // The back buffer is the cells: reverse cells black behind, others white.
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    EXPECT_EQ(back.pixelColor(2 * cw + 1, 1), QColor(Qt::black));
    EXPECT_EQ(back.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_TRUE(CellHas(back, 2, 1, cw, ch, QColor(Qt::black)));  // E at row 2, column 1
}

TEST_F(PaintTest, AnOverlayShowsReversedInTheCopyOnly) {
    InstallView();
    Send("3" + FD + "xyz");
    Pump();
    const QImage before = BackBuffer();
    m_overlay = u"OV";
    InvalidateRect(m_screen, nullptr, FALSE);
    Pump();
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    const QImage shown = Shown();
    // The overlay's two cells: black behind, white letters.
    for (int column : {0, 1}) {
        EXPECT_EQ(shown.pixelColor(column * cw + 1, 1), QColor(Qt::black)) << column;
        EXPECT_TRUE(CellHas(shown, 0, column, cw, ch, QColor(Qt::white))) << column;
    }
    // Past the overlay the row shows its own cells.
    EXPECT_EQ(shown.pixelColor(2 * cw + 1, 1), QColor(Qt::white));
    EXPECT_EQ(shown.copy(2 * cw, 0, cw, ch), before.copy(2 * cw, 0, cw, ch));
    // The back buffer's row 0 is the cells' own again.
    EXPECT_EQ(BackBuffer(), before);

    // An overlay longer than the row stops at its end: nothing stays behind
    // in the rows below.
    m_overlay = std::u16string(static_cast<size_t>(m_core->Screen().Columns()) + 5, u'W');
    InvalidateRect(m_screen, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Shown().pixelColor(1, ch + 1), QColor(Qt::white));
    EXPECT_EQ(BackBuffer(), before);
}

TEST_F(PaintTest, ChangesMadeWhileHiddenShowWhenPaintedUnderTheOverlay) {
    InstallView();
    Pump();
    ShowWindow(m_screen, SW_HIDE);
    Pump();
    const int paints = m_paints;
    const Bytes ESC = "\x1B";
    Send("3" + FD + "AB" + ESC + "[2;1HCD");
    Pump();
    ASSERT_EQ(m_paints, paints);  // hidden: nothing copied yet
    // The first copy after the changes carries them, with the overlay over row 0.
    m_overlay = u"O";
    ShowWindow(m_screen, SW_SHOW);
    Pump();
    ASSERT_GT(m_paints, paints);
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixelColor(1, 1), QColor(Qt::black));           // the overlay, reversed
    EXPECT_TRUE(CellHas(shown, 0, 1, cw, ch, QColor(Qt::black)));   // B
    EXPECT_TRUE(CellHas(shown, 1, 0, cw, ch, QColor(Qt::black)));   // C
    EXPECT_FALSE(CellHas(shown, 1, 2, cw, ch, QColor(Qt::black)));  // a blank
    // Row 0 of the back buffer is the cells' own again: A, not the overlay.
    const QImage back = BackBuffer();
    EXPECT_EQ(back.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_TRUE(CellHas(back, 0, 0, cw, ch, QColor(Qt::black)));
    EXPECT_EQ(shown.copy(0, ch, kWidth, kHeight - ch), back.copy(0, ch, kWidth, kHeight - ch));
}

}  // namespace

TEST_F(PaintTest, TheHostsCursorShowsOnlyWhileTheScreenHoldsTheCaret) {
    // The view of the core's own window, as the control makes it.
    m_screenView = std::make_unique<CScreenView>(m_window, m_core->Screen());
    m_core->SetView(m_screenView.get());
    m_core->SetFontMeasure(&m_screenView->Canvas());
    m_core->Resize(kWidth, kHeight);
    Send("3" + FD + "\x1B[3;5H");  // the cursor on a blank cell
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    const auto cursorShown = [&] {
        m_screenView->ScreenChanged();
        HDC dc = GetDC(m_screen);
        m_core->Paint(dc);  // brings the picture up to date first
        ReleaseDC(m_screen, dc);
        return CellHas(BackBuffer(), 2, 4, cw, ch, QColor(Qt::black));
    };
    m_core->SetCaretWanted(true);  // the host wants the caret
    m_core->CaretOn();             // and the screen has the focus
    EXPECT_TRUE(cursorShown());
    // A widget takes the focus, and an edit its own caret: nothing of the
    // host's cursor stays behind.
    m_core->CaretOff();
    EXPECT_FALSE(cursorShown());
    const HWND edit = CreateWindowEx(0, u"EDIT", u"", WS_POPUP, 0, 0, 50, 20, 0, 0, nullptr, nullptr);
    CreateCaret(edit, 0, 1, ch);
    ShowCaret(edit);
    EXPECT_FALSE(cursorShown());
    DestroyWindow(edit);
    m_core->CaretOn();
    EXPECT_TRUE(cursorShown());
}

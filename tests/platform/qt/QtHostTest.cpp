// The window layer shown by Qt, offscreen: input translated into our
// messages, rendering, windows of worker threads, and one event loop that
// serves our queue inside Qt loops and never wakes while idle.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/ListView.h"
#include "platform/Menu.h"
#include "platform/MsgBox.h"
#include "platform/QtHost.h"
#include "platform/Screen.h"
#include "tests/platform/qt/QtPump.h"

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "qt_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::thread::id thread;
};

std::mutex g_mutex;
std::vector<Seen> g_seen;
COLORREF g_fill = RGB(255, 0, 0);

// Records input and paints its client area in g_fill with a 10-pixel blue
// square at (5, 5).
LRESULT PainterProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_USER: {
        std::lock_guard lock(g_mutex);
        g_seen.push_back({h, msg, w, l, std::this_thread::get_id()});
        return msg == WM_USER ? 42 : 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        HBRUSH brush = CreateSolidBrush(g_fill);
        FillRect(dc, &r, brush);
        RECT square{5, 5, 15, 15};
        FillRect(dc, &square, CreateSolidBrush(RGB(0, 0, 255)));
        EndPaint(h, &ps);
        return 0;
    }
    default: return DefWindowProc(h, msg, w, l);
    }
}

class QtHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        app();
        WNDCLASS wc{};
        wc.lpfnWndProc = PainterProc;
        wc.lpszClassName = u"Painter";
        RegisterClass(&wc);
        plat::qt::AttachQtEventLoop();
    }
    static void TearDownTestSuite() { plat::qt::DetachQtEventLoop(); }
    void SetUp() override {
        std::lock_guard lock(g_mutex);
        g_seen.clear();
        g_fill = RGB(255, 0, 0);
    }
    void TearDown() override {
        for (HWND h : made_)
            if (IsWindow(h)) DestroyWindow(h);
        Pump();
    }
    HWND Make(const char16_t* cls, DWORD style, int x, int y, int w, int h, HWND parent = 0, int id = 0) {
        const HWND hwnd = CreateWindowEx(0, cls, u"", style, x, y, w, h, parent, HMENU(id), nullptr, nullptr);
        if (!parent) made_.push_back(hwnd);
        return hwnd;
    }
    // Runs our queue and Qt's events until nothing is left.
    static void Pump() { qttest::Pump(); }
    static std::vector<Seen> Seen_(UINT msg) {
        std::lock_guard lock(g_mutex);
        std::vector<Seen> out;
        for (const auto& s : g_seen)
            if (s.msg == msg) out.push_back(s);
        return out;
    }
    std::vector<HWND> made_;
};

}  // namespace

TEST_F(QtHost, KeysArriveWithVirtualKeyCodesAndCharactersAtTheFocusWindow) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    const HWND child = Make(u"Painter", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, top, 5);
    SetFocus(child);
    Pump();
    QWidget* w = plat::qt::WidgetOf(top);
    ASSERT_NE(w, nullptr);

    struct Key {
        int qt;
        Qt::KeyboardModifiers mods;
        QString text;
        UINT vk;
    };
    const Key keys[] = {
        {Qt::Key_A, Qt::NoModifier, "a", 'A'},          {Qt::Key_Return, Qt::NoModifier, "\r", VK_RETURN},
        {Qt::Key_F5, Qt::NoModifier, "", VK_F5},        {Qt::Key_5, Qt::KeypadModifier, "5", VK_NUMPAD0 + 5},
        {Qt::Key_Tab, Qt::NoModifier, "\t", VK_TAB},    {Qt::Key_Escape, Qt::NoModifier, "\x1b", VK_ESCAPE},
        {Qt::Key_Down, Qt::NoModifier, "", VK_DOWN},    {Qt::Key_Minus, Qt::NoModifier, "-", VK_OEM_MINUS},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.vk);
        {
            std::lock_guard lock(g_mutex);
            g_seen.clear();
        }
        QKeyEvent press(QEvent::KeyPress, k.qt, k.mods, k.text);
        QKeyEvent release(QEvent::KeyRelease, k.qt, k.mods, k.text);
        QCoreApplication::sendEvent(w, &press);
        QCoreApplication::sendEvent(w, &release);
        Pump();
        const auto down = Seen_(WM_KEYDOWN), chars = Seen_(WM_CHAR), up = Seen_(WM_KEYUP);
        ASSERT_EQ(down.size(), 1u);
        EXPECT_EQ(down[0].hwnd, child);
        EXPECT_EQ(down[0].wParam, k.vk);
        ASSERT_EQ(up.size(), 1u);
        EXPECT_EQ(up[0].wParam, k.vk);
        EXPECT_NE(up[0].lParam & (LPARAM(1) << 31), 0);  // transition bit of a release
        ASSERT_EQ(chars.size(), size_t(k.text.size()));
        if (!k.text.isEmpty()) {
            EXPECT_EQ(chars[0].wParam, k.text[0].unicode());
        }
    }
    // Tab did not move Qt's focus: the layer's focus is where it was.
    EXPECT_EQ(GetFocus(), child);
    EXPECT_EQ(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == w->window(), true);
}

// Keys whose text some platforms give as NUL or DEL type what the device's
// keys type: Enter, Backspace, Tab and Escape their control character,
// Delete and the function keys nothing.
TEST_F(QtHost, KeysTypeTheDevicesCharactersWhateverTextThePlatformGives) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    SetFocus(top);
    Pump();
    QWidget* w = plat::qt::WidgetOf(top);
    ASSERT_NE(w, nullptr);
    struct Key {
        int qt;
        QString text;
        UINT vk;
        std::u16string typed;
    };
    const Key keys[] = {
        {Qt::Key_Return, QString(QChar(0)), VK_RETURN, u"\r"},  {Qt::Key_Enter, QString(), VK_RETURN, u"\r"},
        {Qt::Key_F1, QString(QChar(0)), VK_F1, u""},             {Qt::Key_Delete, QString(QChar(0x7F)), VK_DELETE, u""},
        {Qt::Key_Backspace, QString(), VK_BACK, u"\b"},         {Qt::Key_Escape, QString(QChar(0)), VK_ESCAPE, u"\x1b"},
        {Qt::Key_A, "a", 'A', u"a"},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.vk);
        {
            std::lock_guard lock(g_mutex);
            g_seen.clear();
        }
        QKeyEvent press(QEvent::KeyPress, k.qt, Qt::NoModifier, k.text);
        QKeyEvent release(QEvent::KeyRelease, k.qt, Qt::NoModifier, k.text);
        QCoreApplication::sendEvent(w, &press);
        QCoreApplication::sendEvent(w, &release);
        Pump();
        std::u16string typed;
        for (const auto& m : Seen_(WM_CHAR)) typed.push_back(char16_t(m.wParam));
        EXPECT_EQ(typed, k.typed);
        EXPECT_EQ(Seen_(WM_KEYDOWN).size(), 1u);
    }
}

TEST_F(QtHost, MouseArrivesInClientCoordinatesOfTheWindowOrTheCapture) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    const HWND child = Make(u"Painter", WS_CHILD | WS_VISIBLE, 30, 40, 50, 20, top, 5);
    Pump();
    QWidget* cw = plat::qt::WidgetOf(child);
    ASSERT_NE(cw, nullptr);
    const QPointF at(7, 9);
    QMouseEvent press(QEvent::MouseButtonPress, at, cw->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(cw, &press);
    Pump();
    auto downs = Seen_(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, child);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 7);
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lParam), 9);
    EXPECT_EQ(downs[0].wParam, MK_LBUTTON | MK_SHIFT);

    SetCapture(top);  // the capture window gets it, in its own coordinates
    QMouseEvent release(QEvent::MouseButtonRelease, at, cw->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(cw, &release);
    Pump();
    ReleaseCapture();
    auto ups = Seen_(WM_LBUTTONUP);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0].hwnd, top);
    EXPECT_EQ(GET_X_LPARAM(ups[0].lParam), 37);
    EXPECT_EQ(GET_Y_LPARAM(ups[0].lParam), 49);
}

TEST_F(QtHost, WindowIsRenderedFromItsBackBufferWithItsChildren) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80);
    Pump();  // the parent paints red
    g_fill = RGB(0, 255, 0);
    const HWND child = Make(u"Painter", WS_CHILD | WS_VISIBLE, 60, 40, 40, 30, top, 1);
    Pump();  // the child paints green
    ASSERT_TRUE(IsWindow(child));
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    ASSERT_GE(image.width(), 120);
    EXPECT_EQ(image.pixelColor(2, 2), QColor(255, 0, 0));    // the parent's fill
    EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 255));  // its square
    EXPECT_EQ(image.pixelColor(50, 30), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(62, 42), QColor(0, 255, 0));  // the child over it
    EXPECT_EQ(image.pixelColor(70, 50), QColor(0, 0, 255));  // the child's square at its (5, 5)
    EXPECT_EQ(image.pixelColor(110, 75), QColor(255, 0, 0));  // past the child

    MoveWindow(child, 0, 0, 40, 30, TRUE);  // a moved child shows where it now is
    Pump();
    const QImage moved = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(moved.pixelColor(2, 2), QColor(0, 255, 0));
    EXPECT_EQ(moved.pixelColor(62, 42), QColor(255, 0, 0));
}

// Children are drawn by their top-level window's widget: each over what lies
// below it in the layer's z-order, inside its parent, and only when shown.
TEST_F(QtHost, ChildrenAreComposedInZOrderInsideTheirParentsWhileShown) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80);
    Pump();  // red
    g_fill = RGB(0, 255, 0);
    const HWND a = Make(u"Painter", WS_CHILD | WS_VISIBLE, 20, 20, 40, 30, top, 1);
    Pump();
    g_fill = RGB(255, 255, 0);
    Make(u"Painter", WS_CHILD | WS_VISIBLE, 25, 0, 30, 10, a, 2);  // reaches 15 pixels past a's right
    Pump();
    g_fill = RGB(0, 255, 255);
    const HWND b = Make(u"Painter", WS_CHILD | WS_VISIBLE, 50, 40, 40, 30, top, 3);
    Pump();
    g_fill = RGB(255, 0, 255);
    const HWND hidden = Make(u"Painter", WS_CHILD, 0, 60, 20, 20, top, 4);
    Pump();
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();
    QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixelColor(22, 40), QColor(0, 255, 0));    // a
    EXPECT_EQ(image.pixelColor(47, 22), QColor(255, 255, 0));  // a's child
    EXPECT_EQ(image.pixelColor(65, 25), QColor(255, 0, 0));    // past a: the parent
    EXPECT_EQ(image.pixelColor(52, 42), QColor(0, 255, 255));  // b over a
    EXPECT_EQ(image.pixelColor(5, 65), QColor(255, 0, 0));     // the hidden child is not drawn

    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(hidden, SW_SHOW);
    Pump();
    image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixelColor(52, 42), QColor(0, 255, 0));    // a over b now
    EXPECT_EQ(image.pixelColor(2, 62), QColor(255, 0, 255));  // shown

    // A child alone, with its own children, on clear pixels.
    const QImage alone = plat::qt::RenderWindow(a).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(alone.size(), QSize(40, 30));
    EXPECT_EQ(alone.pixelColor(2, 20), QColor(0, 255, 0));
    EXPECT_EQ(alone.pixelColor(27, 2), QColor(255, 255, 0));

    g_fill = RGB(255, 0, 0);
    DestroyWindow(b);
    Pump();
    image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixelColor(85, 65), QColor(255, 0, 0));  // gone with its window
}

TEST_F(QtHost, WindowOfAWorkerThreadKeepsItsQueueThereAndIsShownByTheGuiThread) {
    std::promise<HWND> made;
    std::atomic<bool> stop{false};
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        const HWND h = CreateWindowEx(0, u"Painter", u"Connecting", WS_POPUP | WS_VISIBLE | WS_BORDER, 10, 10, 100, 60,
                                      0, 0, nullptr, nullptr);
        made.set_value(h);
        MSG m;
        while (!stop && GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
        DestroyWindow(h);
    });
    const HWND h = made.get_future().get();
    // The worker paints (blue square on red) on its thread; the GUI shows it.
    // The waits end as soon as what they wait for is there; their limits are
    // generous for a loaded machine.
    QWidget* w = nullptr;
    for (int i = 0; i < 1000 && (!w || !w->isVisible()); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        w = plat::qt::WidgetOf(h);
    }
    ASSERT_NE(w, nullptr);
    QImage image;
    for (int i = 0; i < 1000; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        image = plat::qt::RenderWindow(h).convertToFormat(QImage::Format_RGB32);
        if (!image.isNull() && image.pixelColor(10, 10) == QColor(0, 0, 255)) break;
    }
    EXPECT_EQ(image.pixelColor(2, 2), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 255));
    EXPECT_EQ(w->windowTitle(), QString("Connecting"));

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b");
    QCoreApplication::sendEvent(w, &press);
    for (int i = 0; i < 2000 && Seen_(WM_CHAR).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto chars = Seen_(WM_CHAR);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].wParam, 27u);
    EXPECT_EQ(chars[0].thread, workerId);  // handled on the window's own thread

    stop = true;
    PostMessage(h, WM_NULL, 0, 0);
    worker.join();
    for (int i = 0; i < 1000 && plat::qt::WidgetOf(h); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(plat::qt::WidgetOf(h), nullptr);  // its widget went with it
}

TEST_F(QtHost, QtModalLoopServesSendsAndTimersOfTheGuiThread) {
    const HWND gui = Make(u"Painter", WS_POPUP, 0, 0, 10, 10);
    QEventLoop modal;
    std::atomic<LRESULT> answer{0};
    int ticks = 0;
    plat::window::SetWindowProcedure(gui, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_TIMER && ++ticks == 3) modal.quit();
        return PainterProc(h, msg, w, l);
    });
    SetTimer(gui, 1, 10);
    std::thread sender([&] { answer = SendMessage(gui, WM_USER, 0, 0); });
    QTimer::singleShot(10000, &modal, [&] { modal.quit(); });  // a safety net only
    modal.exec();
    sender.join();
    KillTimer(gui, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(answer.load(), 42);
    DestroyWindow(gui);
}

TEST_F(QtHost, GetMessageOnTheGuiThreadRunsQtAndIdleDoesNotWakeUp) {
    const HWND gui = Make(u"Painter", WS_POPUP, 0, 0, 10, 10);
    Pump();
    std::atomic<int> wakeups{0};
    auto* dispatcher = QAbstractEventDispatcher::instance();
    auto connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++wakeups; });

    // Idle for 300 ms inside our wait: a 10 ms poll would wake about 30 times.
    EXPECT_FALSE(WaitMessageTimeout(300));
    EXPECT_LE(wakeups.load(), 2);  // the end of the wait itself

    // A post from another thread wakes GetMessage, and Qt events run meanwhile.
    bool qtRan = false;
    QTimer::singleShot(0, [&] { qtRan = true; });
    std::thread poster([gui] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        PostMessage(gui, WM_USER + 1, 7, 0);
    });
    MSG m{};
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    poster.join();
    EXPECT_EQ(m.message, WM_USER + 1u);
    EXPECT_TRUE(qtRan);
    QObject::disconnect(connection);
}

namespace {

const plat::res::DialogItem kBoxItems[] = {
    {WC_EDIT, 101, WS_VISIBLE | WS_TABSTOP | WS_BORDER, u"", 4, 4, 80, 12},
    {WC_BUTTON, IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, u"OK", 4, 20, 40, 14},
    {WC_BUTTON, IDCANCEL, WS_VISIBLE | WS_TABSTOP, u"Cancel", 50, 20, 40, 14},
};
const plat::res::Dialog kBox{1, WS_POPUP | WS_CAPTION, u"Box", nullptr, 8, 10, 10, 100, 40, kBoxItems, 3};

struct ModalRun {
    std::vector<int> focusAfterTab;  // control ids
    int ticks = 0;
    std::atomic<bool> sendAnswered{false};
};
ModalRun* g_run = nullptr;

// Presses Tab twice through Qt, then ends when the timer has fired three
// times and the other thread's send has been answered.
INT_PTR ModalProc(HWND h, UINT msg, WPARAM w, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: SetTimer(h, 9, 10); return TRUE;
    case WM_TIMER:
        if (w != 9) return FALSE;
        ++g_run->ticks;
        if (g_run->ticks == 1) {
            plat::qt::SyncWidgets();
            QWidget* widget = plat::qt::WidgetOf(h);
            for (int i = 0; i < 2 && widget; ++i) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
                QCoreApplication::sendEvent(widget, &press);
                MSG m;
                while (PeekMessage(&m, 0, WM_KEYDOWN, WM_CHAR, PM_REMOVE))
                    if (!IsDialogMessage(h, &m)) DispatchMessage(&m);
                g_run->focusAfterTab.push_back(GetDlgCtrlID(GetFocus()));
            }
        }
        if (g_run->ticks >= 3 && g_run->sendAnswered) EndDialog(h, 5);
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

TEST_F(QtHost, ModalDialogRunsWhileAnotherThreadSendsAndATimerFires) {
    const HWND owner = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    Pump();
    ModalRun run;
    g_run = &run;
    std::thread sender([&] {
        while (!FindWindow(WC_DIALOG, u"Box")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (SendMessage(owner, WM_USER, 0, 0) == 42) run.sendAnswered = true;
    });
    const INT_PTR result = DialogBoxIndirectParam(nullptr, &kBox, owner, ModalProc, 0);
    sender.join();
    g_run = nullptr;
    EXPECT_EQ(result, 5);
    EXPECT_GE(run.ticks, 3);
    EXPECT_TRUE(run.sendAnswered);
    ASSERT_EQ(run.focusAfterTab.size(), 2u);
    EXPECT_EQ(run.focusAfterTab[0], IDOK);  // from the edit to OK, then Cancel
    EXPECT_EQ(run.focusAfterTab[1], IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(QtHost, ControlsDrawWithTheColoursTheirParentGives) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    plat::window::SetWindowProcedure(top, [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_CTLCOLORSTATIC) return LRESULT(CreateSolidBrush(RGB(0, 128, 0)));
        return PainterProc(h, msg, w, l);
    });
    const HWND label = Make(WC_STATIC, WS_CHILD | WS_VISIBLE | SS_LEFT, 20, 20, 100, 30, top, 3);
    const HWND button = Make(WC_BUTTON, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 60, 60, 30, top, 4);
    SetWindowText(label, u"");
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixelColor(25, 25), QColor(0, 128, 0));  // the static's background from its parent
    EXPECT_EQ(image.pixelColor(20, 60), QColor(0, 0, 0));    // the push button's frame
    EXPECT_EQ(image.pixelColor(30, 70), QColor(212, 208, 200));  // its face: the default button colour
    EXPECT_EQ(image.pixelColor(2, 2), QColor(255, 0, 0));  // the parent around them
    DestroyWindow(top);
    (void)button;
}

namespace {

QMessageBox* shownBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// A tap as Qt delivers it: press and release at the widget's centre.
void tapWidget(QWidget* w, QPointF at = QPointF(-1, -1)) {
    if (at.x() < 0) at = QPointF(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

void keyWidget(QWidget* w, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

// Runs act on the message box once it shows, from inside its loop.
void whenBoxShows(std::function<void(QMessageBox*)> act) {
    QTimer::singleShot(5, [act] {
        if (QMessageBox* box = shownBox())
            act(box);
        else
            whenBoxShows(act);
    });
}

}  // namespace

TEST_F(QtHost, MessageBoxOfAnOwnerIsAnsweredByATapAndByKeys) {
    const HWND owner = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    Pump();
    struct Case {
        const char* name;
        UINT style;
        std::function<void(QMessageBox*)> act;
        int want;
    };
    const Case cases[] = {
        {"tap No", MB_YESNO, [](QMessageBox* b) { tapWidget(b->button(QMessageBox::No)); }, IDNO},
        {"Enter on the default", MB_OKCANCEL | MB_DEFBUTTON2, [](QMessageBox* b) { keyWidget(b, Qt::Key_Return, "\r"); },
         IDCANCEL},
        {"Escape", MB_OKCANCEL | MB_TOPMOST, [](QMessageBox* b) { keyWidget(b, Qt::Key_Escape, "\x1b"); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool ownerDisabled = false, boxEnabled = false, topmost = false;
        whenBoxShows([&](QMessageBox* box) {
            ownerDisabled = !IsWindowEnabled(owner);
            boxEnabled = box->isEnabled() && box->buttons().front()->isEnabled();
            topmost = box->windowFlags() & Qt::WindowStaysOnTopHint;
            c.act(box);
        });
        EXPECT_EQ(MessageBox(owner, u"Delete the host?", u"Hosts", c.style), c.want);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(boxEnabled);
        EXPECT_EQ(topmost, (c.style & MB_TOPMOST) != 0);
        EXPECT_TRUE(IsWindowEnabled(owner));
    }
}

TEST_F(QtHost, MessageBoxLiesInsideTheDevicesScreenWithItsTextWrappedToFit) {
    const HWND owner = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    Pump();
    QWidget* screen = plat::qt::WidgetOf(owner)->parentWidget();
    const QRect area(screen->mapToGlobal(QPoint(0, 0)), screen->size());
    const struct {
        const char16_t* text;
        UINT style;
        int maxLines;
    } cases[] = {
        {u"Gone.", MB_OK, 1},
        {u"Do you want to exit the Orvade Client?", MB_YESNO | MB_ICONQUESTION, 2},
        {u"Unable to connect to the host.\nThe host refused the connection.", MB_OK | MB_ICONEXCLAMATION, 4},
        {u"A host description of many words that needs several lines however wide the device's screen is made "
         u"by whoever sets it up for the depot",
         MB_OKCANCEL | MB_ICONHAND | MB_TOPMOST, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
        QRect outer;
        int lines = 0;
        whenBoxShows([&](QMessageBox* box) {
            outer = box->frameGeometry();
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            if (label) lines = label->height() / label->fontMetrics().lineSpacing();
            box->reject();
        });
        MessageBox(owner, c.text, u"Orvade", c.style);
        EXPECT_TRUE(area.contains(outer)) << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();
        EXPECT_GE(lines, 1);
        EXPECT_LE(lines, c.maxLines);
        // Centred across the screen.
        EXPECT_LE(std::abs(outer.center().x() - area.center().x()), 1);
    }
}

TEST_F(QtHost, MessageBoxOfAWorkerKeepsServingWhatIsSentToTheWorker) {
    std::promise<HWND> made;
    std::atomic<int> answer{0};
    std::thread worker([&] {
        const HWND h = CreateWindowEx(0, u"Painter", u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, 0, 0, nullptr, nullptr);
        made.set_value(h);
        answer = MessageBox(h, u"Connection lost", u"Worker", MB_RETRYCANCEL);
        DestroyWindow(h);
    });
    const HWND h = made.get_future().get();
    // The box is shown by the GUI thread, which sends to the worker meanwhile.
    LRESULT sent = 0;
    bool tapped = false;
    whenBoxShows([&](QMessageBox* box) {
        sent = SendMessage(h, WM_USER, 7, 0);  // the worker answers from inside its box
        tapWidget(box->button(QMessageBox::Retry));
        tapped = true;
    });
    for (int i = 0; i < 500 && !answer; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(tapped);
    EXPECT_EQ(sent, 42);
    worker.join();
    EXPECT_EQ(answer, IDRETRY);
}

TEST_F(QtHost, WorkersWindowIsShownAndPaintedWhileTheGuiThreadPeeksAndSleeps) {
    std::promise<HWND> made;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        const HWND h = CreateWindowEx(0, u"Painter", u"Connecting To:", WS_POPUP | WS_VISIBLE, 10, 10, 100, 60, 0, 0,
                                      nullptr, nullptr);
        made.set_value(h);
        MSG m;
        while (!stop && GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
        DestroyWindow(h);
    });
    const HWND h = made.get_future().get();
    // The connect wait: no Qt call of our own, only the layer's calls.
    bool shown = false;
    for (int i = 0; i < 100 && !shown; ++i) {
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        Sleep(30);
        QWidget* w = plat::qt::WidgetOf(h);
        shown = w && w->isVisible();
    }
    EXPECT_TRUE(shown);
    QImage image;
    for (int i = 0; i < 100; ++i) {
        Sleep(10);
        image = plat::qt::RenderWindow(h).convertToFormat(QImage::Format_RGB32);
        if (!image.isNull() && image.pixelColor(10, 10) == QColor(0, 0, 255)) break;
    }
    EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 255));
    stop = true;
    PostMessage(h, WM_NULL, 0, 0);
    worker.join();
    Pump();
}

TEST_F(QtHost, GroupBoxShowsAndPassesTapsToTheRadioButtonsInside) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 120);
    Make(u"Button", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 20, 20, 160, 90, top, 10);
    const HWND radio = Make(u"Button", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 30, 40, 100, 16, top, 11);
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.pixelColor(100, 90), QColor(255, 0, 0));  // inside the frame: the parent shows through
    EXPECT_EQ(image.pixelColor(37, 48), QColor(255, 255, 255));  // the radio's box
    tapWidget(plat::qt::WidgetOf(top), QPointF(37, 48));
    Pump();
    EXPECT_EQ(SendMessage(radio, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(QtHost, TopLevelWindowsStandInTheScreenInTheLayersZOrder) {
    const HWND a = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    const HWND b = Make(u"Painter", WS_POPUP | WS_VISIBLE, 20, 20, 50, 50);
    Pump();
    QWidget* wa = plat::qt::WidgetOf(a);
    QWidget* wb = plat::qt::WidgetOf(b);
    ASSERT_TRUE(wa && wb);
    ASSERT_EQ(wa->parentWidget(), wb->parentWidget());  // the device's screen
    const SIZE screen = plat::screen::ScreenSize();
    EXPECT_EQ(wa->parentWidget()->size(), QSize(screen.cx, screen.cy));
    // Qt stacks its children bottom first.
    const auto above = [](QWidget* x, QWidget* y) {
        const QObjectList& order = x->parentWidget()->children();
        return order.indexOf(x) > order.indexOf(y);
    };
    EXPECT_TRUE(above(wb, wa));
    SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Pump();
    EXPECT_TRUE(above(wa, wb));
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // a top-most window stays above
    Pump();
    EXPECT_TRUE(above(wa, wb));
    SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Pump();
    EXPECT_TRUE(above(wb, wa));
    // A tap where they overlap goes to the one on top.
    {
        std::lock_guard lock(g_mutex);
        g_seen.clear();
    }
    tapWidget(wa->parentWidget(), QPointF(30, 30));
    Pump();
    const auto downs = Seen_(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, b);
}

namespace {

// Keeps the picture for a look when CONTROLS_PNG_DIR names a folder.
void keep(const QImage& image, const char* name) {
    if (const char* dir = std::getenv("CONTROLS_PNG_DIR")) image.save(QString::fromUtf8(dir) + "/" + name + ".png");
}

int countColour(const QImage& image, const QRect& area, const QColor& colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == colour) ++n;
    return n;
}

const QColor kHighlight(10, 36, 106);

}  // namespace

TEST_F(QtHost, ComboBoxShowsOneLineClosedAndItsListAboveTheControlsBelowWhenDropped) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 160);
    SetForegroundWindow(top);
    const HWND combo = Make(WC_COMBOBOX, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_TABSTOP, 10, 10, 120, 100, top, 20);
    const HWND below = Make(WC_BUTTON, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 40, 120, 30, top, 21);
    SetWindowText(below, u"Cancel");
    for (const char16_t* s : {u"alpha", u"beta", u"gamma"}) SendMessage(combo, CB_ADDSTRING, 0, LPARAM(s));
    SendMessage(combo, CB_SETCURSEL, 1, 0);
    Pump();
    const QImage closed = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(closed, "combo-closed");
    EXPECT_EQ(closed.pixelColor(10, 10), QColor(0, 0, 0));   // the field's frame
    EXPECT_EQ(closed.pixelColor(10, 29), QColor(0, 0, 0));   // one line high
    EXPECT_EQ(closed.pixelColor(10, 35), QColor(255, 0, 0));  // the parent below it
    EXPECT_EQ(closed.pixelColor(12, 50), QColor(212, 208, 200));  // and the button it no longer covers
    EXPECT_EQ(closed.pixelColor(127, 13), QColor(212, 208, 200));  // the arrow button

    tapWidget(plat::qt::WidgetOf(top)->parentWidget(), QPointF(40, 20));
    Pump();
    ASSERT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    const HWND list = GetCapture();
    ASSERT_TRUE(list);
    const QImage screen = plat::qt::WidgetOf(top)->parentWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    keep(screen, "combo-dropped");
    EXPECT_EQ(screen.pixelColor(12, 30), QColor(0, 0, 0));  // the list's frame, right below the field
    EXPECT_GT(countColour(screen, QRect(11, 31 + 16, 100, 16), kHighlight), 100);  // the selection, over the button
    EXPECT_EQ(screen.pixelColor(12, 31 + 8), QColor(255, 255, 255));  // "alpha" on the list's white
    tapWidget(plat::qt::WidgetOf(top)->parentWidget(), QPointF(40, 31 + 2 * 16 + 8));  // "gamma"
    Pump();
    EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(plat::window::GetWindowString(combo), u"gamma");
    EXPECT_EQ(plat::qt::WidgetOf(list), nullptr);
}

TEST_F(QtHost, ListBoxShowsItsSelectionScrolledIntoViewAndItsBar) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 140, 80);
    const HWND list = Make(WC_LISTBOX, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL, 10, 10, 100, 50, top, 30);
    for (int i = 0; i < 12; ++i) {
        const std::u16string t = u"item " + std::u16string(1, char16_t(u'A' + i));
        SendMessage(list, LB_ADDSTRING, 0, LPARAM(t.c_str()));
    }
    SendMessage(list, LB_SETCURSEL, 10, 0);
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(image, "list-scrolled");
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 8);
    // The selection is the last whole row: rows start inside the border.
    EXPECT_GT(countColour(image, QRect(12, 11 + 2 * 16, 80, 16), kHighlight), 600);
    EXPECT_EQ(countColour(image, QRect(12, 11, 80, 32), kHighlight), 0);
    // The bar: arrow boxes framed, the thumb near the bottom of the track.
    EXPECT_EQ(image.pixelColor(10 + 100 - 1 - 13, 11), QColor(0, 0, 0));
    EXPECT_GT(countColour(image, QRect(97, 36, 10, 8), QColor(128, 128, 128)), 10);
    EXPECT_EQ(countColour(image, QRect(97, 25, 10, 4), QColor(128, 128, 128)), 0);
}

TEST_F(QtHost, EditScrollsToItsCaretAndShowsItsSelection) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 140, 60);
    SetForegroundWindow(top);
    const HWND edit = Make(WC_EDIT, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 80, 22, top, 40);
    SetWindowText(edit, u"0123456789 the end of a long line");
    SetFocus(edit);
    const int n = GetWindowTextLength(edit);
    SendMessage(edit, EM_SETSEL, n - 4, n);  // "line", caret at its end
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(image, "edit-scrolled");
    // The end of the text shows, selected; the beginning has scrolled away.
    EXPECT_GT(countColour(image, QRect(60, 12, 28, 18), kHighlight), 50);
    EXPECT_EQ(countColour(image, QRect(12, 12, 20, 18), kHighlight), 0);
    EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 0));  // the frame stays over the scrolled text
    EXPECT_EQ(image.pixelColor(10, 20), QColor(0, 0, 0));
    // Home brings the start back: no selection, nothing highlighted.
    SendMessage(edit, WM_KEYDOWN, VK_HOME, 0);
    Pump();
    const QImage home = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(home, "edit-home");
    EXPECT_EQ(countColour(home, QRect(11, 11, 78, 20), kHighlight), 0);
    EXPECT_GT(countColour(home, QRect(12, 12, 12, 18), QColor(0, 0, 0)), 5);  // the caret and "0"
}

TEST_F(QtHost, ADoubleTapOnAnEditSelectsTheWordUnderIt) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 160, 40);
    SetForegroundWindow(top);
    const HWND edit = Make(WC_EDIT, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 140, 22, top, 41);
    SetWindowText(edit, u"one two six");
    Pump();
    QWidget* screen = plat::qt::WidgetOf(top)->parentWidget();
    const auto selection = [&] {
        DWORD a = 0, b = 0;
        SendMessage(edit, EM_GETSEL, WPARAM(&a), LPARAM(&b));
        return std::pair<DWORD, DWORD>(a, b);
    };
    // Where a tap puts the caret, column by column (left of the text: its start).
    std::vector<DWORD> caretAt;
    for (int x = 10; x < 150; ++x) {
        tapWidget(screen, QPointF(x, 20));
        Pump();
        caretAt.push_back(selection().first);
    }
    EXPECT_EQ(caretAt.front(), 0u);
    const auto doubleTapAt = [&](DWORD index) {
        const QPointF at(10 + double(std::find_if(caretAt.begin(), caretAt.end(), [&](DWORD c) { return c >= index; }) -
                                     caretAt.begin()),
                         20);
        tapWidget(screen, at);
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, screen->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(screen, &twice);
        Pump();
        return selection();
    };
    using Span = std::pair<DWORD, DWORD>;
    EXPECT_EQ(doubleTapAt(5), (Span{4, 7}));   // inside a word
    EXPECT_EQ(doubleTapAt(0), (Span{0, 3}));   // at the text's start
    EXPECT_EQ(doubleTapAt(11), (Span{8, 11}));  // at its end
    EXPECT_EQ(GetFocus(), edit);
    SendMessage(edit, WM_CHAR, u'x', 1);
    EXPECT_EQ(plat::window::GetWindowString(edit), u"one two x");
}

TEST_F(QtHost, TopLevelWindowsShowTheFramesTheirStylesAskFor) {
    const struct {
        DWORD style;
        QColor outer, inner;
    } cases[] = {
        {0, QColor(255, 0, 0), QColor(255, 0, 0)},
        {WS_BORDER, QColor(0, 0, 0), QColor(255, 0, 0)},
        {WS_DLGFRAME, QColor(0, 0, 0), QColor(128, 128, 128)},
        {WS_CAPTION, QColor(0, 0, 0), QColor(128, 128, 128)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE | c.style, 20, 20, 60, 40);
        Pump();
        const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
        // Every side, and the contents inside the frame untouched.
        for (QPoint p : {QPoint(30, 0), QPoint(0, 20), QPoint(59, 20), QPoint(30, 39)}) EXPECT_EQ(image.pixelColor(p), c.outer);
        for (QPoint p : {QPoint(30, 1), QPoint(1, 20), QPoint(58, 20), QPoint(30, 38)}) EXPECT_EQ(image.pixelColor(p), c.inner);
        EXPECT_EQ(image.pixelColor(30, 20), QColor(255, 0, 0));
        DestroyWindow(top);
    }
}

TEST_F(QtHost, StaticBitmapAndPolylineAreDrawn) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 100, 60);
    const HWND image = Make(WC_STATIC, WS_CHILD | WS_VISIBLE | SS_BITMAP, 20, 20, 30, 30, top, 50);
    std::vector<uint32_t> pixels(8 * 4, 0x00ff00u);
    pixels[0] = 0x0000ffu;
    const HBITMAP bitmap = plat::gdi::CreateBitmapFromPixels(8, 4, pixels.data(), 8);
    SendMessage(image, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(bitmap));
    Pump();
    QImage shown = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(shown, "static-bitmap");
    EXPECT_EQ(shown.pixelColor(20, 20), QColor(0, 0, 255));
    EXPECT_EQ(shown.pixelColor(27, 23), QColor(0, 255, 0));
    EXPECT_NE(shown.pixelColor(28, 23), QColor(0, 255, 0));  // the image's own size
    HDC dc = GetDC(top);
    const POINT line[] = {{60, 10}, {90, 10}, {90, 40}};
    EXPECT_TRUE(Polyline(dc, line, 3));
    ReleaseDC(top, dc);
    Pump();
    shown = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixelColor(75, 10), QColor(0, 0, 0));
    EXPECT_EQ(shown.pixelColor(90, 30), QColor(0, 0, 0));
    EXPECT_EQ(shown.pixelColor(75, 30), QColor(255, 0, 0));
    DestroyWindow(image);
    DeleteObject(bitmap);
}

TEST_F(QtHost, PopUpMenuShowsItsItemsChecksAndSubmenuAndATapChooses) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    SetForegroundWindow(top);
    const HMENU menu = CreatePopupMenu();
    const HMENU sub = CreatePopupMenu();
    AppendMenu(menu, MF_STRING | MF_CHECKED, 10, u"&Connect");
    AppendMenu(menu, MF_STRING | MF_GRAYED, 11, u"Disconnect");
    AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenu(menu, MF_POPUP, UINT_PTR(sub), u"Hosts");
    AppendMenu(sub, MF_STRING, 20, u"First host");
    CheckMenuRadioItem(sub, 20, 20, 20, MF_BYCOMMAND);
    QImage shown;
    Pump();
    QWidget* screen = plat::qt::WidgetOf(top)->parentWidget();
    // From inside the menu's loop: open the submenu, look, choose.
    QTimer::singleShot(20, [&] {
        tapWidget(screen, QPointF(40, 40 + 1 + 2 * 18 + 7 + 9));  // "Hosts"
        QTimer::singleShot(20, [&] {
            shown = screen->grab().toImage().convertToFormat(QImage::Format_RGB32);
            tapWidget(screen, QPointF(170, 40 + 1 + 2 * 18 + 7 + 1 + 9));  // "First host"
        });
    });
    const BOOL chosen = TrackPopupMenuEx(menu, TPM_RETURNCMD, 30, 40, top, nullptr);
    keep(shown, "menu");
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(30, 40), QColor(0, 0, 0));        // the menu's frame
    EXPECT_EQ(shown.pixelColor(32, 42 + 18), QColor(255, 255, 255));  // its white
    EXPECT_GT(countColour(shown, QRect(31, 41 + 18, 100, 18), QColor(128, 128, 128)), 3);  // greyed text
    EXPECT_GT(countColour(shown, QRect(31, 41, 14, 18), QColor(0, 0, 0)), 3);  // the check mark
    EXPECT_GT(countColour(shown, QRect(31, 41 + 36 + 7, 150, 18), kHighlight), 200);  // "Hosts", open
    EXPECT_EQ(chosen, 20);
    DestroyMenu(menu);
}

TEST_F(QtHost, WindowContextsInvertBlitFromMemoryAndFillPolygons) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 100, 60);
    const HWND child = Make(u"Painter", WS_CHILD | WS_VISIBLE, 50, 0, 50, 60, top, 1);
    Pump();
    HDC dc = GetDC(top);
    EXPECT_TRUE(BitBlt(dc, 20, 20, 10, 10, nullptr, 0, 0, DSTINVERT));
    const HDC memory = CreateCompatibleDC(dc);
    const HBITMAP bitmap = CreateCompatibleBitmap(dc, 6, 6);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const RECT all{0, 0, 6, 6};
    FillRect(memory, &all, CreateSolidBrush(RGB(0, 255, 0)));
    EXPECT_TRUE(StretchBlt(dc, 0, 30, 12, 12, memory, 0, 0, 6, 6, SRCCOPY));
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    SelectObject(dc, CreateSolidBrush(RGB(255, 255, 0)));
    const POINT triangle[] = {{30, 40}, {45, 40}, {30, 55}};
    EXPECT_TRUE(Polygon(dc, triangle, 3));
    TEXTMETRIC tm{};
    EXPECT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_GT(tm.tmHeight, 8);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 2);
    ReleaseDC(top, dc);
    UpdateWindow(child);
    HDC childDc = GetDC(child);
    const RECT part{0, 0, 10, 10};
    EXPECT_TRUE(InvertRect(childDc, &part));
    ReleaseDC(child, childDc);
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(image, "blit");
    EXPECT_EQ(image.pixelColor(25, 25), QColor(0, 255, 255));  // red inverted
    EXPECT_EQ(image.pixelColor(35, 25), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(11, 41), QColor(0, 255, 0));  // the bitmap, twice its size
    EXPECT_EQ(image.pixelColor(13, 41), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(33, 43), QColor(255, 255, 0));  // inside the triangle
    EXPECT_EQ(image.pixelColor(43, 53), QColor(255, 0, 0));   // outside it
    EXPECT_EQ(image.pixelColor(52, 2), QColor(0, 255, 255));  // the child's own red, inverted
    EXPECT_EQ(image.pixelColor(56, 7), QColor(255, 255, 0));  // and its blue square
}

TEST_F(QtHost, GuiThreadWaitingForABusyWorkerKeepsQtRunning) {
    std::promise<HWND> made;
    std::thread worker([&] {
        const HWND h = CreateMessageWindow([](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_USER) Sleep(300);  // busy: the GUI thread waits for the answer
            return msg == WM_USER ? 5 : 0;
        });
        made.set_value(h);
        MSG m;
        while (GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
        DestroyWindow(h);
    });
    const HWND h = made.get_future().get();
    bool ranDuringTheSend = false;
    bool answered = false;
    QTimer::singleShot(20, [&] { ranDuringTheSend = !answered; });
    const LRESULT r = SendMessage(h, WM_USER, 0, 0);
    answered = true;
    EXPECT_EQ(r, 5);
    EXPECT_TRUE(ranDuringTheSend);
    PostMessage(h, WM_QUIT, 0, 0);
    worker.join();
}

TEST_F(QtHost, ListViewShowsColumnsRowsWithImagesAndTheSelection) {
    const HWND top = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 240, 120);
    const HWND list = Make(WC_LISTVIEW, WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 240, 120, top, 175);
    std::vector<uint32_t> green(16 * 16, 0xff00c000u);
    for (int i = 0; i < 16; ++i) green[size_t(i)] = 0x00000000u;  // a clear top row
    const HICON icon = plat::gdi::CreateIconFromPixels(16, 16, green.data(), 16);
    const HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 0);
    ImageList_AddIcon(images, icon);
    SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(images));
    int at = 0;
    for (auto [text, width] : {std::pair{u"Host", 90}, {u"Address", 80}, {u"Port", 50}}) {
        LVCOLUMN c{LVCF_TEXT | LVCF_WIDTH, LVCFMT_LEFT, width, const_cast<char16_t*>(text), 0, at};
        SendMessage(list, LVM_INSERTCOLUMN, WPARAM(at++), LPARAM(&c));
    }
    for (const char16_t* name : {u"Depot", u"Dock"}) {
        LVITEM item{LVIF_TEXT | LVIF_IMAGE, 9, 0, 0, 0, const_cast<char16_t*>(name), 0, 0, 0};
        const int index = int(SendMessage(list, LVM_INSERTITEM, 0, LPARAM(&item)));
        LVITEM sub{LVIF_TEXT, index, 1, 0, 0, const_cast<char16_t*>(u"10.0.0.7"), 0, 0, 0};
        SendMessage(list, LVM_SETITEM, 0, LPARAM(&sub));
    }
    LVITEM state{0, 0, 0, LVIS_SELECTED, LVIS_SELECTED, nullptr, 0, 0, 0};
    SendMessage(list, LVM_SETITEMSTATE, 1, LPARAM(&state));
    Pump();
    const QImage image = plat::qt::RenderWindow(top).convertToFormat(QImage::Format_RGB32);
    keep(image, "list-view");
    EXPECT_EQ(image.pixelColor(80, 5), QColor(212, 208, 200));  // the header
    EXPECT_EQ(image.pixelColor(8, 1 + 18 + 8), QColor(0, 192, 0));  // the first row's image
    EXPECT_EQ(image.pixelColor(8, 1 + 18 + 1), QColor(255, 255, 255));  // through its clear row
    EXPECT_GT(countColour(image, QRect(20, 1 + 2 * 18, 60, 18), kHighlight), 200);  // the second row, selected
    EXPECT_EQ(countColour(image, QRect(20, 1 + 18, 60, 18), kHighlight), 0);
    EXPECT_GT(countColour(image, QRect(95, 1 + 18, 70, 18), QColor(0, 0, 0)), 10);  // the address column
    DestroyWindow(list);
    ImageList_Destroy(images);
    DestroyIcon(icon);
}

TEST_F(QtHost, AReadableSocketPostsItsMessageOncePerArming) {
    const HWND gui = Make(u"Painter", WS_POPUP, 0, 0, 10, 10);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
    // Nothing to read: the wait times out with nothing posted.
    EXPECT_FALSE(WaitMessageTimeout(50));
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    MSG m{};
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 9u);
    EXPECT_EQ(int(m.wParam), pair[0]);
    // The byte is still unread, yet the watch has ended until armed again.
    EXPECT_FALSE(WaitMessageTimeout(50));
    ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 9u);
    // Stopped: the peer's close is not reported.
    plat::messages::StopWatching(pair[0]);
    ::close(pair[1]);
    EXPECT_FALSE(WaitMessageTimeout(50));
    ::close(pair[0]);
    // A thread whose wait runs no outside loop cannot watch.
    std::thread([] { EXPECT_FALSE(plat::messages::PostWhenReadable(0, 0, WM_USER)); }).join();
}

TEST_F(QtHost, AWritableWatchPostsOnceTheSocketTakesMoreApartFromTheReadWatch) {
    const HWND gui = Make(u"Painter", WS_POPUP, 0, 0, 10, 10);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair), 0);
    const std::string chunk(4096, 'x');
    size_t written = 0;
    for (ssize_t n; (n = ::write(pair[0], chunk.data(), chunk.size())) > 0;) written += size_t(n);
    ASSERT_GT(written, 0u);
    ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
    ASSERT_TRUE(plat::messages::PostWhenWritable(pair[0], gui, WM_USER + 10));
    // Full, with nothing to read: nothing is posted.
    EXPECT_FALSE(WaitMessageTimeout(50));
    // The peer reads it all: only the write watch posts, once.
    char sink[4096];
    while (::read(pair[1], sink, sizeof sink) > 0) {
    }
    MSG m{};
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 10u);
    EXPECT_EQ(int(m.wParam), pair[0]);
    EXPECT_FALSE(WaitMessageTimeout(50));
    // The read watch is still armed; the write watch posts again when armed again.
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 9u);
    ASSERT_TRUE(plat::messages::PostWhenWritable(pair[0], gui, WM_USER + 10));
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 10u);
    // Stopped: neither watch reports any more.
    ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
    ASSERT_TRUE(plat::messages::PostWhenWritable(pair[0], gui, WM_USER + 10));
    plat::messages::StopWatching(pair[0]);
    EXPECT_FALSE(WaitMessageTimeout(50));
    ::close(pair[1]);
    ::close(pair[0]);
}

// A socket that became readable before a paint was asked for is announced
// first, as a posted message comes before WM_PAINT; with nothing to read,
// the paint comes at once.
TEST_F(QtHost, AReadySocketIsAnnouncedBeforeAPaint) {
    const HWND gui = Make(u"Painter", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    Pump();
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
    MSG m{};
    InvalidateRect(gui, nullptr, FALSE);
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 9u);
    ASSERT_EQ(PeekMessage(&m, 0, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    ValidateRect(gui, nullptr);
    // Announced once per arming, however many paints come.
    InvalidateRect(gui, nullptr, FALSE);
    ASSERT_EQ(PeekMessage(&m, 0, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    ValidateRect(gui, nullptr);
    EXPECT_FALSE(WaitMessageTimeout(50));
    // A socket readable without pause still lets a paint through after each notice.
    for (int round = 0; round < 2; ++round) {
        InvalidateRect(gui, nullptr, FALSE);
        ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
        ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
        EXPECT_EQ(m.message, WM_USER + 9u);
        ASSERT_TRUE(plat::messages::PostWhenReadable(pair[0], gui, WM_USER + 9));
        ASSERT_EQ(PeekMessage(&m, 0, 0, 0, PM_REMOVE), TRUE);
        ASSERT_EQ(m.message, UINT(WM_PAINT));
        ValidateRect(gui, nullptr);
        ASSERT_TRUE(WaitMessageTimeout(5000));  // the notice of this arming, by the loop
        ASSERT_EQ(PeekMessage(&m, 0, 0, 0, PM_REMOVE), TRUE);
        EXPECT_EQ(m.message, WM_USER + 9u);
    }
    plat::messages::StopWatching(pair[0]);
    ::close(pair[1]);
    ::close(pair[0]);
}

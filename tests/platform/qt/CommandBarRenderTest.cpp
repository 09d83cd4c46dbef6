// The command bar shown by Qt offscreen: its pop-ups' names are drawn along
// the top of its parent, a greyed one in grey.
#include <cstdlib>
#include <gtest/gtest.h>

#include <QImage>

#include "platform/CommandBar.h"
#include "platform/Library.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/qt/QtPump.h"

TEST(CommandBarRender, ThePopupsNamesAreDrawnAlongTheTop) {
    displaytest::EnsureApplication();
    const HMODULE res = LoadLibrary(u"ORVADERES.DLL");
    ASSERT_TRUE(res);
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszClassName = u"BarWindow";
    RegisterClass(&wc);
    const HWND main = CreateWindowEx(0, u"BarWindow", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 80, 0, 0, nullptr, nullptr);
    const HWND bar = CommandBar_Create(nullptr, main, 1);
    ASSERT_TRUE(CommandBar_InsertMenubar(bar, res, 178, 0));
    EnableMenuItem(CommandBar_GetMenu(bar, 0), 2, MF_BYPOSITION | MF_GRAYED);
    CommandBar_DrawMenuBar(bar, 0);
    qttest::Pump();
    UpdateWindow(main);
    UpdateWindow(bar);
    plat::qt::SyncWidgets();
    const QImage shot = plat::qt::RenderWindow(main).convertToFormat(QImage::Format_RGB32);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString::fromUtf8(dir) + "/commandbar.png");
    const QColor face = shot.pixelColor(230, 4);
    EXPECT_GT(displaytest::InkPixels(shot, QRect(2, 2, 120, 20), face), 30);  // "Term", "Host" (and grey "Help")
    EXPECT_EQ(displaytest::InkPixels(shot, QRect(160, 2, 70, 20), face), 0);  // nothing beside them
    EXPECT_NE(shot.pixelColor(120, 50), face);  // the parent below the bar
    DestroyWindow(main);
    FreeLibrary(res);
}

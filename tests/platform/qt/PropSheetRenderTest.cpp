// A property sheet shown by Qt offscreen: its tab strip, the page shown and
// its buttons are drawn.
#include <cstdlib>
#include <gtest/gtest.h>

#include <QImage>

#include "platform/PropSheet.h"
#include "platform/QtHost.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/qt/QtPump.h"

namespace {

QImage g_shot;

INT_PTR ShotPage(HWND page, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetDlgItemText(page, 1020, u"Orvade Client");
        PostMessage(page, WM_APP, 0, 0);
        return TRUE;
    }
    if (msg == WM_APP) {
        const HWND sheet = GetParent(page);
        UpdateWindow(sheet);
        for (HWND c = GetWindow(sheet, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) UpdateWindow(c);
        for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) UpdateWindow(c);
        plat::qt::SyncWidgets();
        g_shot = plat::qt::RenderWindow(sheet).convertToFormat(QImage::Format_RGB32);
        PostMessage(sheet, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST(PropSheetRender, TheTabStripThePageShownAndTheButtonsAreDrawn) {
    displaytest::EnsureApplication();
    const HMODULE res = LoadLibrary(u"ORVADERES.DLL");
    ASSERT_TRUE(res);
    PROPSHEETPAGE pages[] = {{kPropSheetPageSize, 0, res, 6029, reinterpret_cast<void*>(&ShotPage), 0},
                             {kPropSheetPageSize, 0, res, 134, reinterpret_cast<void*>(&ShotPage), 0}};
    const PROPSHEETHEADER h{sizeof(PROPSHEETHEADER), PSH_PROPSHEETPAGE, 0, res, u"About", 2, 0, pages};
    EXPECT_EQ(PropertySheet(&h), 0);
    ASSERT_FALSE(g_shot.isNull());
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) g_shot.save(QString::fromUtf8(dir) + "/propsheet.png");
    // The client area: tabs in the top 20 rows, the "About" page (138 by 90
    // dialog units of an 8-point font: 207 by 146 pixels) under them, then
    // the buttons.
    const QColor face = g_shot.pixelColor(g_shot.width() - 2, g_shot.height() / 2);
    using displaytest::InkPixels;
    EXPECT_GT(InkPixels(g_shot, QRect(4, 2, 80, 18), face), 20);    // tab frames and captions
    EXPECT_GT(InkPixels(g_shot, QRect(4, 22, 200, 14), face), 10);  // "Orvade Client" on the page
    EXPECT_GT(InkPixels(g_shot, QRect(g_shot.width() - 110, g_shot.height() - 26, 106, 24), face), 40);  // OK, Cancel
    qttest::Pump();
    FreeLibrary(res);
}

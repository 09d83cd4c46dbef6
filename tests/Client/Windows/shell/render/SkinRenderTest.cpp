#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <cstdlib>

#include "../ShellFixture.h"
#include "platform/Message.h"
#include "platform/QtHost.h"
#include "platform/WinConst.h"
#include "shell/Skin.h"
#include "tests/control/QtApplication.h"

namespace {

CSkinWindow* g_skin = nullptr;

LRESULT SkinProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (g_skin) g_skin->Paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class SkinRenderTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        ShellTest::SetUp();
    }
    void PutImage(const std::string& name, const QImage& image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "BMP");
        Put(Folder() + "\\" + name, bytes.toStdString());
    }
    std::string Folder() const {
        return plat::text::WideToUtf8(plat::fs::ProgramFolder()) + "\\Skins\\Default";
    }
    QImage Shot(HWND hwnd) {
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        plat::qt::SyncWidgets();
        return plat::qt::RenderWindow(hwnd);
    }
};

TEST_F(SkinRenderTest, TheSkinShowsItsKeypadAndAPressInvertsTheButton) {
    // A keypad of two keys on a dark body; the mapping picture marks each
    // key with its own colour.
    QImage picture(120, 160, QImage::Format_RGB32), mapping(120, 160, QImage::Format_RGB32);
    picture.fill(QColor(40, 40, 60));
    mapping.fill(Qt::black);
    {
        QPainter p(&picture), m(&mapping);
        p.fillRect(10, 100, 45, 40, QColor(200, 200, 200));
        p.fillRect(65, 100, 45, 40, QColor(200, 80, 80));
        p.setPen(Qt::black);
        p.drawText(QRect(10, 100, 45, 40), Qt::AlignCenter, "1");
        p.drawText(QRect(65, 100, 45, 40), Qt::AlignCenter, "OK");
        m.fillRect(10, 100, 45, 40, QColor(0, 0, 255));
        m.fillRect(65, 100, 45, 40, QColor(0, 255, 0));
    }
    PutImage("skin.bmp", picture);
    PutImage("map.bmp", mapping);
    Put(Folder() + "\\Config.xml",
        "<skin><view titleBar=\"Keypad\" skinImage=\"skin.bmp\" mappingImage=\"map.bmp\" SkinPosX=\"0\" "
        "SkinPosY=\"0\" SkinPosWidth=\"120\" SkinPosHeight=\"160\" displayPosX=\"10\" displayPosY=\"10\" "
        "displayWidth=\"100\" displayHeight=\"80\"/><button mappingColor=\"0x0000ff\" onClick=\"Key_1\"/>"
        "<button mappingColor=\"0x00ff00\" onClick=\"Key_Enter\"/></skin>");

    WNDCLASS wc{};
    wc.lpfnWndProc = SkinProc;
    wc.lpszClassName = u"SkinTestWindow";
    RegisterClass(&wc);
    HWND main = CreateWindow(u"SkinTestWindow", u"", WS_POPUP | WS_VISIBLE, 0, 0, 120, 160, 0, 0, nullptr, nullptr);
    CSkinWindow skin(main);
    g_skin = &skin;
    ASSERT_EQ(skin.Load(DefaultSkinPath().c_str()), 0);
    SkinButton* one = skin.Skin().buttons.First();
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->rect.left, 10);
    EXPECT_EQ(one->rect.bottom, 140);

    QImage before = Shot(main);
    before.save("/tmp/shell-skin.png");
    EXPECT_EQ(before.pixelColor(30, 105), QColor(200, 200, 200));
    EXPECT_EQ(before.pixelColor(5, 5), QColor(40, 40, 60));

    skin.OnLButtonDown(30, 110);
    plat::qt::SyncWidgets();
    QImage pressed = plat::qt::RenderWindow(main);
    pressed.save("/tmp/shell-skin-pressed.png");
    EXPECT_EQ(pressed.pixelColor(30, 105), QColor(55, 55, 55));  // inverted
    EXPECT_EQ(pressed.pixelColor(80, 105), QColor(200, 80, 80));  // the other key as it was
    skin.OnLButtonUp(30, 110);
    plat::qt::SyncWidgets();
    EXPECT_EQ(plat::qt::RenderWindow(main).pixelColor(30, 105), QColor(200, 200, 200));
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    g_skin = nullptr;
    DestroyWindow(main);
}

TEST_F(SkinRenderTest, AScaledSkinIsSmoothAndAPressInvertsItsScaledPicture) {
    // The picture is half the skin rectangle; the mapping picture is the
    // window's size, and its second key runs past the skin's picture.
    QImage picture(60, 80, QImage::Format_RGB32), mapping(140, 180, QImage::Format_RGB32);
    picture.fill(QColor(40, 40, 60));
    mapping.fill(Qt::black);
    {
        QPainter p(&picture), m(&mapping);
        p.fillRect(5, 50, 25, 20, QColor(200, 200, 200));
        p.fillRect(30, 50, 25, 20, QColor(200, 80, 80));
        m.fillRect(10, 100, 50, 40, QColor(0, 0, 255));
        m.fillRect(100, 140, 40, 40, QColor(0, 255, 0));
    }
    PutImage("skin.bmp", picture);
    PutImage("map.bmp", mapping);
    Put(Folder() + "\\Config.xml",
        "<skin><view skinImage=\"skin.bmp\" mappingImage=\"map.bmp\" SkinPosX=\"0\" SkinPosY=\"0\" "
        "SkinPosWidth=\"120\" SkinPosHeight=\"160\"/><button mappingColor=\"0x0000ff\" onClick=\"Key_1\"/>"
        "<button mappingColor=\"0x00ff00\" onClick=\"Key_2\"/></skin>");

    WNDCLASS wc{};
    wc.lpfnWndProc = SkinProc;
    wc.lpszClassName = u"ScaledSkinTestWindow";
    RegisterClass(&wc);
    HWND main = CreateWindow(u"ScaledSkinTestWindow", u"", WS_POPUP | WS_VISIBLE, 0, 0, 140, 180, 0, 0, nullptr,
                             nullptr);
    CSkinWindow skin(main);
    g_skin = &skin;
    ASSERT_EQ(skin.Load(DefaultSkinPath().c_str()), 0);
    const char* dir = std::getenv("ORVADE_RENDER_DIR");

    QImage before = Shot(main);
    if (dir) before.save(QString(dir) + "/skin-scaled.png");
    EXPECT_EQ(before.pixelColor(30, 110), QColor(200, 200, 200));
    const QColor edge = before.pixelColor(60, 110);
    EXPECT_NE(edge, QColor(200, 200, 200));
    EXPECT_NE(edge, QColor(200, 80, 80));

    skin.OnLButtonDown(30, 110);
    plat::qt::SyncWidgets();
    QImage pressed = plat::qt::RenderWindow(main);
    if (dir) pressed.save(QString(dir) + "/skin-scaled-pressed.png");
    EXPECT_EQ(pressed.pixelColor(30, 110), QColor(55, 55, 55));
    skin.OnLButtonUp(30, 110);

    // Past the picture there is nothing to show pressed but white.
    skin.OnLButtonDown(130, 170);
    plat::qt::SyncWidgets();
    QImage beyond = plat::qt::RenderWindow(main);
    if (dir) beyond.save(QString(dir) + "/skin-scaled-beyond.png");
    EXPECT_EQ(beyond.pixelColor(130, 170), QColor(255, 255, 255));
    EXPECT_EQ(beyond.pixelColor(105, 145), QColor(255 - 40, 255 - 40, 255 - 60));
    skin.OnLButtonUp(130, 170);
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    g_skin = nullptr;
    DestroyWindow(main);
}

}  // namespace

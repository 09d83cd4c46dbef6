#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "ShellFixture.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinConst.h"
#include "shell/Skin.h"

namespace {

using shelltest::ShellTest;

class SkinTest : public ShellTest {
protected:
    std::u16string SkinFolder() const { return plat::fs::ProgramFolder() + u"\\Skins\\Default"; }
    std::string SkinFile(const std::string& name) const {
        return plat::text::WideToUtf8(SkinFolder()) + "\\" + name;
    }
    std::u16string Config(const std::string& xml) {
        Put(SkinFile("Config.xml"), xml);
        return SkinFolder() + u"\\Config.xml";
    }
    void PutImage(const std::string& name, const QImage& image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "BMP");
        Put(SkinFile(name), bytes.toStdString());
    }
};

TEST_F(SkinTest, ConfigGivesLayoutAndButtons) {
    const std::u16string path = Config(
        "<?xml version=\"1.0\"?><skin><view titleBar=\"Rugged\" skinImage=\"skin.bmp\" mappingImage=\"\\Maps\\m.bmp\" "
        "displayPosX=\"10\" displayPosY=\"20\" displayWidth=\"200\" displayHeight=\"100\" SkinPosX=\"0\" "
        "SkinPosY=\"0\" SkinPosWidth=\"240\" SkinPosHeight=\"320\" TerminalID=\"0x1F\"/>"
        "<button mappingColor=\"0xff0000\" onClick=\"key_ENTER\"/>"
        "<button onClick=\"65\" OnFuncPressed=\"Key_F1\" OnAlphaPressed=\"0\"/>"
        "<button onClick=\"Key_PageUp\"/><button onClick=\"nonsense\"/></skin>");
    CSkin skin;
    ASSERT_EQ(LoadSkin(path.c_str(), &skin), 0);
    EXPECT_EQ(skin.title, u"Rugged");
    EXPECT_EQ(skin.skinImage, SkinFolder() + u"\\skin.bmp");
    EXPECT_EQ(skin.mappingImage, u"\\Maps\\m.bmp");
    EXPECT_TRUE(skin.downImage.empty());
    EXPECT_EQ(skin.display.left, 10);
    EXPECT_EQ(skin.display.right, 210);
    EXPECT_EQ(skin.display.bottom, 120);
    EXPECT_EQ(skin.skin.bottom, 320);
    EXPECT_EQ(skin.status.right, 0);
    EXPECT_EQ(skin.terminalId, 0x1F);
    ASSERT_EQ(skin.buttons.GetCount(), 4);
    SkinButton* b = skin.buttons.First();
    EXPECT_EQ(b->mappingColor, 0xff0000u);
    EXPECT_EQ(b->clickKey, 0x0du);
    EXPECT_EQ(b->funcKey, 0x0du);  // none given: the click key
    b = skin.buttons.Next();
    EXPECT_EQ(b->clickKey, 0x41u);
    EXPECT_EQ(b->funcKey, 0x70u);
    EXPECT_EQ(b->alphaKey, 0x41u);  // 0: the click key
    EXPECT_EQ(skin.buttons.Next()->clickKey, ParseKey(u"Key_Up"));
    EXPECT_EQ(skin.buttons.Next()->clickKey, 0u);
    EXPECT_EQ(skin.buttons.Next(), nullptr);
}

TEST_F(SkinTest, FailuresAndBounds) {
    CSkin skin;
    EXPECT_EQ(LoadSkin(u"\\nothing.xml", nullptr), 160);
    EXPECT_EQ(LoadSkin(u"\\nothing.xml", &skin), 2);
    EXPECT_EQ(LoadSkin(Config("<view titleBar=\"x\"").c_str(), &skin), 2);
    EXPECT_EQ(LoadSkin(Config("<skin><button onClick=\"1\"/></skin>").c_str(), &skin), 1359);
    // Long texts and joined paths stay within a path.
    CSkin bounded;
    const std::string name(300, 'n');
    ASSERT_EQ(LoadSkin(Config("<view titleBar=\"" + name + "\" skinImage=\"" + name + "\" downImage=\"\\" + name +
                              "\"/>")
                           .c_str(),
                       &bounded),
              0);
    EXPECT_EQ(bounded.title.size(), CSkin::kTextMax);
    EXPECT_TRUE(bounded.skinImage.empty());
    EXPECT_EQ(bounded.downImage.size(), CSkin::kTextMax);
    CSkin none;
    none.SetDefaults({0, 26, 240, 320});
    EXPECT_EQ(none.display.top, 26);
    EXPECT_EQ(none.skin.bottom, 320);
    EXPECT_EQ(none.terminalId, 0);
}

TEST_F(SkinTest, KeyTableFirstRowCounts) {
    EXPECT_EQ(ParseKey(u"KEY_enter"), 0x0du);
    EXPECT_EQ(ParseKey(u"Key_PageDown"), ParseKey(u"Key_Down"));
    EXPECT_EQ(ParseKey(u"Key_NumLock"), 0x90u);
    EXPECT_EQ(ParseKey(u"Key_OnOff"), Key_OnOff);
    EXPECT_EQ(ParseKey(u"12abc"), 12u);
    EXPECT_EQ(ParseKey(u"0x41"), 0u);  // a key is a name or a decimal number
    int rows = 0;
    for (const KeyName* row = KeyNameTable; row->name; ++row) ++rows;
    EXPECT_EQ(rows, 131);
}

TEST_F(SkinTest, ImagesAreDecodedWithinLimitsAndMappingColoursGiveRectangles) {
    QImage mapping(40, 30, QImage::Format_RGB32);
    mapping.fill(QColor(0, 0, 0));
    for (int y = 10; y < 20; ++y)
        for (int x = 5; x < 25; ++x) mapping.setPixelColor(x, y, QColor(0x12, 0x34, 0x57));
    PutImage("map.bmp", mapping);
    CImageHolder holder;
    ASSERT_TRUE(LoadImageFile(holder, SkinFolder() + u"\\map.bmp"));
    const RECT r = FindColorRect(holder, 0x123456);  // within 1 in each byte
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right, 25);
    EXPECT_EQ(r.bottom, 20);
    EXPECT_TRUE(IsRectEmpty(&(const RECT&)FindColorRect(holder, 0xFFFFFF)));
    // Not a picture, too large a picture, no file.
    Put(SkinFile("junk.bmp"), "BM not really");
    EXPECT_FALSE(LoadImageFile(holder, SkinFolder() + u"\\junk.bmp"));
    EXPECT_TRUE(holder.IsEmpty());
    PutImage("huge.bmp", QImage(5000, 2, QImage::Format_RGB32));
    EXPECT_FALSE(LoadImageFile(holder, SkinFolder() + u"\\huge.bmp"));
    EXPECT_FALSE(LoadImageFile(holder, u"\\none.bmp"));
}

TEST_F(SkinTest, SplashIsTheFirstBitmapOfItsFolder) {
    EXPECT_TRUE(FindSplashBitmap().empty());
    const std::string folder = plat::text::WideToUtf8(plat::fs::ProgramFolder()) + "\\Splash\\Default\\";
    Put(folder + "b.bmp", "x");
    Put(folder + "a.bmp", "x");
    Put(folder + "0.txt", "x");
    EXPECT_EQ(FindSplashBitmap(), plat::fs::ProgramFolder() + u"\\Splash\\Default\\a.bmp");
}

// The keys the focused window receives: "+vk" down, "-vk" up.
class KeypadTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        window_ = CreateWindow(u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        SetForegroundWindow(window_);
        SetActiveWindow(window_);
        SetFocus(window_);
    }
    void TearDown() override {
        DestroyWindow(window_);
        ShellTest::TearDown();
    }
    std::string Keys() {
        std::string out;
        MSG msg;
        while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
            const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
            const bool up = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
            if (down || up) {
                char text[16];
                std::snprintf(text, sizeof text, "%c%02x ", down ? '+' : '-', unsigned(msg.wParam));
                out += text;
            } else {
                DispatchMessage(&msg);  // paint and the like
            }
        }
        return out;
    }
    static SkinButton Button(uint32_t click, uint32_t funcKey = 0, uint32_t alphaKey = 0) {
        SkinButton b;
        b.clickKey = click;
        b.funcKey = funcKey ? funcKey : click;
        b.alphaKey = alphaKey ? alphaKey : click;
        return b;
    }
    HWND window_ = 0;
};

TEST_F(KeypadTest, ModifiersAndModesShapeTheStrokes) {
    CSkinWindow keypad(window_);
    keypad.SendKey(Button(0x41));
    EXPECT_EQ(Keys(), "+41 -41 ");
    keypad.SendKey(Button(0x131));  // typed with Shift
    EXPECT_EQ(Keys(), "+10 +31 -31 -10 ");
    // Shift, then a shifted code: one Shift round it.
    keypad.SendKey(Button(VK_SHIFT));
    EXPECT_EQ(Keys(), "");
    keypad.SendKey(Button(0x131));
    EXPECT_EQ(Keys(), "+10 +31 -31 -10 ");
    EXPECT_FALSE(keypad.shift);
    // Ctrl with a shifted code.
    keypad.SendKey(Button(VK_CONTROL));
    keypad.SendKey(Button(0x131));
    EXPECT_EQ(Keys(), "+11 +10 +31 -31 -10 -11 ");
    // Func: the Func key; without one, the click key.
    keypad.SendKey(Button(Key_Func));
    keypad.SendKey(Button(0x41, 0x70));
    EXPECT_EQ(Keys(), "+70 -70 ");
    keypad.SendKey(Button(Key_Func));
    keypad.SendKey(Button(0x42));
    EXPECT_EQ(Keys(), "+42 -42 ");
    // Func, then a button whose Func key is Shift: Shift stays on for the next.
    keypad.SendKey(Button(Key_Func));
    keypad.SendKey(Button(0x43, VK_SHIFT));
    EXPECT_TRUE(keypad.shift);
    EXPECT_FALSE(keypad.func);
    keypad.SendKey(Button(0x44));
    EXPECT_EQ(Keys(), "+10 +44 -44 -10 ");
    // Alpha stays on across keys.
    keypad.SendKey(Button(Key_Alpha));
    keypad.SendKey(Button(0x31, 0, 0x45));
    keypad.SendKey(Button(0x32, 0, 0x46));
    EXPECT_EQ(Keys(), "+45 -45 +46 -46 ");
    EXPECT_TRUE(keypad.alpha);
}

TEST_F(KeypadTest, OnOffQuitsAndATapOutsideTheButtonsDrags) {
    CSkinWindow keypad(window_);
    keypad.SendKey(Button(Key_OnOff));
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    SetWindowPos(window_, 0, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    keypad.OnLButtonDown(50, 60);
    EXPECT_EQ(GetCapture(), window_);
    keypad.OnMouseMove(55, 70);
    RECT r{};
    GetWindowRect(window_, &r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 20);
    keypad.OnLButtonUp(55, 70);
    EXPECT_EQ(GetCapture(), 0u);
    keypad.OnMouseMove(80, 80);  // released: no more dragging
    GetWindowRect(window_, &r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(Keys(), "");
}

}  // namespace

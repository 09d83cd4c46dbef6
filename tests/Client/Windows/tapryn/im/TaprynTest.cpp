// "Tapryn.dll" as the input panel uses it: registered, selected on the panel,
// tapped as a user taps it, shown offscreen by Qt.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Com.h"
#include "platform/Controls.h"
#include "platform/DeviceFs.h"
#include "platform/Input.h"
#include "platform/InputPanel.h"
#include "platform/MsgBox.h"
#include "platform/Window.h"
#include "tapryn/QuillmarLayout.h"
#include "tests/Client/Windows/tapryn/KbbBuilder.h"
#include "tests/control/QtApplication.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/platform/com/ServerCalls.h"
#include "tests/platform/qt/QtPump.h"

namespace {

constexpr CLSID kClsidTapryn = plat::com::Guid("A44D8698-221B-11D4-8EB1-00105AE378D3");
const std::u16string kClassKey = u"CLSID\\{A44D8698-221B-11D4-8EB1-00105AE378D3}";

struct KeyMessage {
    UINT msg;
    WPARAM key;
    bool operator==(const KeyMessage&) const = default;
};

class TaprynTest : public DeviceRootTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        DeviceRootTest::SetUp();
        plat::msgbox::SetPresenter(&m_boxes);
        ASSERT_EQ(comtest::CallExport(u"Tapryn.dll", "DllRegisterServer"), S_OK);
    }
    void TearDown() override {
        plat::sip::ClosePanel();
        if (m_main) DestroyWindow(m_main);
        qttest::Pump();
        plat::msgbox::SetPresenter(nullptr);
        CoFreeUnusedLibraries();
        DeviceRootTest::TearDown();
    }
    void PutKeyboards(const std::vector<uint8_t>& bytes) {
        Put("\\Program Files\\Orvade Client\\Quillmar.kbb", std::string(bytes.begin(), bytes.end()));
    }
    // The field being typed into: an edit in a window of its own, active and
    // in front, whose key messages are recorded.
    void OpenField() {
        m_main = CreateWindowEx(0, u"STATIC", u"form", WS_VISIBLE, 0, 0, 240, 240, 0, 0, nullptr, nullptr);
        m_edit = CreateWindowEx(0, u"EDIT", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, m_main, HMENU(5),
                                nullptr, nullptr);
        ASSERT_TRUE(m_edit);
        auto old = std::make_shared<WindowProc>();
        *old = plat::window::SetWindowProcedure(m_edit, [this, old](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_CHAR) m_keys.push_back({msg, w});
            return (*old)(h, msg, w, l);
        });
        SetForegroundWindow(m_main);
        SetFocus(m_edit);
        qttest::Pump();
        ASSERT_EQ(GetFocus(), m_edit);
    }
    // A tap at a point of the panel's client area.
    void Tap(int x, int y) {
        RECT panel{};
        ASSERT_TRUE(GetWindowRect(plat::sip::PanelWindow(), &panel));
        const POINT p{panel.left + x, panel.top + y};
        plat::input::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
        qttest::Pump();
        plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
        qttest::Pump();
    }
    std::u16string FieldText() const { return plat::window::GetWindowString(m_edit); }
    HWND Keyboard() const { return GetDlgItem(plat::sip::PanelWindow(), 10); }

    plat::msgbox::ScriptedAnswerer m_boxes;
    HWND m_main = 0;
    HWND m_edit = 0;
    std::vector<KeyMessage> m_keys;
};

TEST_F(TaprynTest, RegistersAsAnInputMethodAndUnregisters) {
    EXPECT_EQ(comtest::ClassesText(kClassKey), u"Quillmar");
    EXPECT_EQ(comtest::ClassesText(kClassKey + u"\\InProcServer32"), u"Tapryn.dll");
    EXPECT_EQ(comtest::ClassesText(kClassKey + u"\\DefaultIcon"), u"Tapryn.dll,0");
    EXPECT_EQ(comtest::ClassesText(kClassKey + u"\\IsSIPInputMethod"), u"1");

    static std::vector<IMENUMINFO> listed;
    listed.clear();
    EXPECT_EQ(SipEnumIM([](IMENUMINFO* info) {
                  listed.push_back(*info);
                  return 1;
              }),
              1);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(std::u16string(listed[0].szName), u"Quillmar");
    EXPECT_EQ(listed[0].clsid, kClsidTapryn);

    EXPECT_EQ(comtest::CallExport(u"Tapryn.dll", "DllUnregisterServer"), S_OK);
    EXPECT_FALSE(comtest::ClassesKeyExists(kClassKey));
    EXPECT_EQ(SipEnumIM([](IMENUMINFO*) { return 1; }), 0);
    EXPECT_EQ(comtest::CallExport(u"Tapryn.dll", "DllUnregisterServer"), E_FAIL);  // nothing left to delete
}

TEST_F(TaprynTest, TheClassFactoryAnswersAsAServerShould) {
    HMODULE module = LoadLibrary(u"Tapryn.dll");
    ASSERT_TRUE(module);
    auto getClass = GetProc<HRESULT (*)(REFCLSID, REFIID, void**)>(module, "DllGetClassObject");
    auto canUnload = GetProc<HRESULT (*)()>(module, "DllCanUnloadNow");
    ASSERT_TRUE(getClass && canUnload);
    plat::com::CPtr<IClassFactory> factory;
    EXPECT_EQ(getClass(IID_IUnknown, IID_IClassFactory, factory.OutVoid()), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClass(kClsidTapryn, IID_IClassFactory, factory.OutVoid()), S_OK);
    plat::com::CPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, object.OutVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.OutVoid()), E_NOINTERFACE);
    EXPECT_EQ(canUnload(), S_OK);
    plat::com::CPtr<IInputMethod> method;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInputMethod, method.OutVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    method.Reset();
    EXPECT_EQ(canUnload(), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_OK);
    // The rest of the method's operations, as the panel's options ask for them.
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInputMethod, method.OutVoid()), S_OK);
    char data[4] = {};
    EXPECT_EQ(method->GetImData(sizeof data, data), E_FAIL);
    EXPECT_EQ(method->SetImData(sizeof data, data), S_OK);
    EXPECT_EQ(method->Showing(), S_OK);
    EXPECT_EQ(method->Hiding(), S_OK);
    EXPECT_EQ(method->UserOptionsDlg(0), S_OK);
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].text, u"No Configuration Options are currently available.");
    EXPECT_EQ(m_boxes.Seen()[0].caption, u"Quillmar");
    method.Reset();
    factory.Reset();
    FreeLibrary(module);
}

TEST_F(TaprynTest, TapsTypeIntoTheFocusedFieldOfAnotherWindowWithoutTakingTheFocus) {
    taprtest::KbbBuilder kbb;
    using taprtest::Key;
    kbb.AddKeyboard(false, {Key{"a", 0, 0, 30, 20, 0, 0, 0x61}, Key{"^A", 30, 0, 30, 20, 0, 0, 0x0441},
                            Key{"Bk", 60, 0, 30, 20, 0, 0, 0x0808}, Key{"=", 90, 0, 30, 20, 0, 0, u'='}});
    PutKeyboards(kbb.Bytes());
    OpenField();
    ASSERT_TRUE(SipShowIM(SIPF_ON));  // the one registered method is taken
    CLSID current{};
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_EQ(current, kClsidTapryn);
    const HWND panel = plat::sip::PanelWindow();
    ASSERT_TRUE(IsWindowVisible(panel));
    ASSERT_TRUE(Keyboard());
    EXPECT_EQ(GetWindowLongPtr(panel, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_NOACTIVATE), WS_EX_TOPMOST | WS_EX_NOACTIVATE);
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    ASSERT_TRUE(SipGetInfo(&sip));
    EXPECT_TRUE(sip.fdwFlags & SIPF_ON);
    RECT r{};
    GetWindowRect(Keyboard(), &r);
    EXPECT_EQ(r.right - r.left, sip.rcSipRect.right - sip.rcSipRect.left);  // fitted to the panel

    Tap(5, 5);
    Tap(95, 5);
    EXPECT_EQ(FieldText(), u"a=");
    m_keys.clear();
    Tap(35, 5);  // CONTROL+A
    const std::vector<KeyMessage> controlA = {
        {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'A'}, {WM_KEYUP, 'A'}, {WM_KEYUP, VK_CONTROL}};
    std::vector<KeyMessage> keysOnly;
    for (const KeyMessage& k : m_keys)
        if (k.msg != WM_CHAR) keysOnly.push_back(k);
    EXPECT_EQ(keysOnly, controlA);
    Tap(65, 5);  // Backspace, a virtual key without modifiers
    EXPECT_EQ(GetAsyncKeyState(VK_CONTROL), 0);

    // The field kept the focus, its window the activation and the foreground.
    EXPECT_EQ(GetFocus(), m_edit);
    EXPECT_EQ(GetActiveWindow(), m_main);
    EXPECT_EQ(GetForegroundWindow(), m_main);
    EXPECT_TRUE(m_boxes.Seen().empty());

    // A tap beside the keys types nothing.
    const std::u16string before = FieldText();
    Tap(200, 60);
    EXPECT_EQ(FieldText(), before);

    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_FALSE(IsWindowVisible(panel));
    ASSERT_TRUE(SipGetInfo(&sip));
    EXPECT_FALSE(sip.fdwFlags & SIPF_ON);
}

TEST_F(TaprynTest, TheShippedKeyboardsSwitchAndReturn) {
    PutKeyboards(QuillmarKeyboards());
    OpenField();
    ASSERT_TRUE(SipSetCurrentIM(&kClsidTapryn));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    Tap(12 + 6 * 24 + 4, 25);  // "j" on the second row
    Tap(10, 45);               // Shift: the capitals
    Tap(4, 5);                 // "Q", then back to the letters
    Tap(4, 5);                 // "q"
    Tap(10, 65);               // "123"
    Tap(24 + 4, 5);            // "2"
    Tap(10, 65);               // "abc"
    Tap(40 + 60, 65);          // space
    Tap(4, 5);                 // "q"
    EXPECT_EQ(FieldText(), u"jQq2 q");
    EXPECT_EQ(GetFocus(), m_edit);
    EXPECT_TRUE(m_boxes.Seen().empty());
}

TEST_F(TaprynTest, AKeyboardOutsideTheFileIsReportedAndTheCurrentOneStays) {
    taprtest::KbbBuilder kbb;
    using taprtest::Key;
    kbb.AddKeyboard(false, {Key{"a", 0, 0, 30, 20, 0, 0, 'a'}, Key{"far", 30, 0, 30, 20, 1, 0, 9}});
    PutKeyboards(kbb.Bytes());
    OpenField();
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    Tap(35, 5);
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].text, u"Unable to load selected keyboard.");
    EXPECT_EQ(m_boxes.Seen()[0].caption, u"Keyboard Error");
    Tap(5, 5);
    EXPECT_EQ(FieldText(), u"a");
}

TEST_F(TaprynTest, AFileThatCannotBeReadLeavesNoKeyboard) {
    struct Case {
        const char* name;
        bool present;
        std::vector<uint8_t> bytes;
        std::u16string firstBox;
    };
    taprtest::KbbBuilder kbb;
    kbb.AddKeyboard(false, {taprtest::Key{"a", 0, 0, 30, 20, 0, 0, 'a'}});
    std::vector<uint8_t> cut = kbb.Bytes();
    cut.resize(cut.size() - 1);
    const Case cases[] = {
        {"missing", false, {}, u"Unable to open the keyboard file."},
        {"keyboard 0 cut short", true, cut, u"Error Initializing KB."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::fs::DeleteFile(u"\\Program Files\\Orvade Client\\Quillmar.kbb");
        if (c.present) PutKeyboards(c.bytes);
        plat::msgbox::ScriptedAnswerer boxes;
        plat::msgbox::SetPresenter(&boxes);
        EXPECT_FALSE(SipSetCurrentIM(&kClsidTapryn));
        CLSID none{};
        EXPECT_FALSE(SipGetCurrentIM(&none));
        ASSERT_FALSE(boxes.Seen().empty());
        EXPECT_EQ(boxes.Seen().front().text, c.firstBox);
        EXPECT_EQ(boxes.Seen().back().text, u"Error Initializing KB.");
        EXPECT_EQ(boxes.Seen().back().caption, u"KB Error");
        EXPECT_FALSE(Keyboard());
        plat::msgbox::SetPresenter(&m_boxes);
    }
}

TEST_F(TaprynTest, TheKeyboardAsShown) {
    PutKeyboards(QuillmarKeyboards());
    OpenField();
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    qttest::Pump();
    const HWND panel = plat::sip::PanelWindow();
    // A key held down is shown inverted.
    RECT pr{};
    GetWindowRect(panel, &pr);
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{pr.left + 4, pr.top + 5}, MK_LBUTTON);
    qttest::Pump();
    const QImage held = plat::qt::RenderWindow(panel);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{pr.left + 4, pr.top + 5}, 0);
    qttest::Pump();
    const QImage shot = plat::qt::RenderWindow(panel);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString(dir) + "/tapryn-keyboard.png");
    ASSERT_EQ(shot.width(), 240);
    ASSERT_EQ(shot.height(), 80);
    // White keys with black labels; the Shift and 123 keys are black with white labels.
    EXPECT_EQ(QColor(shot.pixel(12, 10)).lightness() > 200, true);
    EXPECT_GT(displaytest::InkPixels(shot, QRect(1, 1, 22, 18), Qt::white), 3);  // "q"
    EXPECT_LT(QColor(shot.pixel(3, 62)).lightness(), 60);  // "123", drawn inverse
    EXPECT_GT(displaytest::InkPixels(shot, QRect(2, 61, 32, 17), Qt::black), 3);
    // Held, the "q" key is inverted; released, it is white again.
    EXPECT_LT(QColor(held.pixel(12, 3)).lightness(), 60);
    EXPECT_GT(QColor(shot.pixel(12, 3)).lightness(), 200);
    EXPECT_EQ(FieldText(), u"q");

    // The signs: arrows drawn as lines on their keys.
    Tap(10, 65);  // "123"
    const QImage signs = plat::qt::RenderWindow(panel);
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) signs.save(QString(dir) + "/tapryn-signs.png");
    for (int left : {36, 66, 96, 126}) {
        SCOPED_TRACE(left);
        EXPECT_GE(displaytest::InkPixels(signs, QRect(left + 8, 62, 14, 16), Qt::white), 10);
    }
}

}  // namespace

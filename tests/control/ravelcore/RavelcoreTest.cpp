#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QImage>

#include "control/InputMutex.h"
#include "control/Ravelcore.h"
#include "control/RavelcoreHeadless.h"
#include "core/hooks/CoreMessages.h"
#include "tests/control/QtApplication.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/platform/com/ServerCalls.h"
#include "tests/platform/qt/QtPump.h"
#include "tests/platform/serial/PortPeer.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/Dialog.h"
#include "platform/Input.h"
#include "platform/Library.h"
#include "platform/Menu.h"
#include "platform/MsgBox.h"
#include "platform/Registry.h"
#include "platform/Window.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

// The record the extension libraries post with their data, as they build it.
struct DeviceDataRecord {
    int32_t reserved0;
    int32_t reserved1;
    int32_t kind;
    int32_t length;
    const char16_t* text;
};

// Mode 0 framing: STX, length, ETX, payload, ETB.
std::string Framed(const std::string& payload) {
    return std::string("\x02", 1) + char(payload.size()) + "\x03" + payload + "\x17";
}

class RavelcoreTest : public DeviceRootTest {
protected:
    void SetUp() override {
        // The control paints with Qt, as in the shell.
        displaytest::EnsureApplication();
        DeviceRootTest::SetUp();
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    }
    void TearDown() override {
        if (m_top) DestroyWindow(m_top);
        plat::com::UnregisterHostWindowClass();
        CoFreeUnusedLibraries();
        DeviceRootTest::TearDown();
    }
    // The installed library beside the tests.
    static HRESULT CallExport(const char* name) { return comtest::CallExport(u"Ravelcore.dll", name); }
    static std::u16string Text(const std::u16string& key) { return comtest::ClassesText(key); }
    static bool KeyExists(const std::u16string& key) { return comtest::ClassesKeyExists(key); }
    // The control hosted as the shell hosts it, with a sink on its events.
    void Host() {
        ASSERT_TRUE(plat::com::RegisterHostWindowClass());
        m_top = CreateWindowEx(0, u"STATIC", u"shell", WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        m_host = CreateWindowEx(0, plat::com::kHostWindowClass, u"Ravelcore.OVC", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                0, 0, 240, 294, m_top, HMENU(8), nullptr, nullptr);
        ASSERT_NE(m_host, 0u);
        CPtr<IUnknown> control;
        ASSERT_EQ(plat::com::GetHostedControl(m_host, control.Out()), S_OK);
        ASSERT_EQ(control.As(&m_ovc), S_OK);
        ASSERT_EQ(control.As(&m_classic), S_OK);
        ASSERT_EQ(control.As(&m_data), S_OK);
        CPtr<IConnectionPointContainer> container;
        ASSERT_EQ(m_ovc.As(&container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__IOVCEvents, m_point.Out()), S_OK);
        auto* sink = new plat::com::CDispatchSink(DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* p) {
            plat::com::DispArgs args(p);
            if (id == DISPID_OVCDataOutEvent) {
                int size = 0;
                const char* bytes = nullptr;
                EXPECT_EQ(args.Int(0, &size), S_OK);
                EXPECT_EQ(args.Pointer(1, &bytes), S_OK);
                m_segments.emplace_back(bytes, size_t(size));
            } else if (id == DISPID_OVCDisconnect) {
                ++m_disconnects;
            } else if (id == DISPID_OVCToggleHideMenu) {
                ++m_toggles;
            }
            return S_OK;
        });
        sink->AddRef();
        ASSERT_EQ(m_point->Advise(sink, &m_cookie), S_OK);
        sink->Release();
    }
    // The shell's shut-down: the sink goes, then the host window with the control.
    void Unhost() {
        EXPECT_EQ(m_point->Unadvise(m_cookie), S_OK);
        m_point.Reset();
        m_ovc.Reset();
        m_classic.Reset();
        m_data.Reset();
        DestroyWindow(m_host);
        m_host = 0;
    }
    // The control logs to \Temp\ovc.log from here on.
    void StartLog() {
        Put("\\Temp\\keep", "");
        CBstr log(u"\\Temp\\ovc.log");
        EXPECT_EQ(m_classic->put_LogFileName(log.Get()), S_OK);
        EXPECT_EQ(m_classic->put_EnableLogging(1), S_OK);
    }
    size_t LogLines(const std::string& text) {
        const std::string all = Get("\\Temp\\ovc.log");
        size_t n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
    HRESULT Stream(const std::string& bytes) {
        std::string copy = bytes;
        return m_data->OVCStreamInput(int(copy.size()), reinterpret_cast<unsigned char*>(copy.data()));
    }
    std::string Out() {
        std::string all;
        for (const std::string& s : m_segments) all += s;
        m_segments.clear();
        return all;
    }

    HWND m_top = 0;
    HWND m_host = 0;
    CPtr<IOVC> m_ovc;
    CPtr<IOVCClassic> m_classic;
    CPtr<IOVCData> m_data;
    CPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    std::vector<std::string> m_segments;
    int m_disconnects = 0;
    int m_toggles = 0;
};

const std::u16string kClsidKey = u"CLSID\\{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}";

TEST_F(RavelcoreTest, RegistersItsKeysAndRemovesThem) {
    EXPECT_EQ(Text(u"Ravelcore.OVC.1\\CLSID"), u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}");
    EXPECT_EQ(Text(u"Ravelcore.OVC\\CLSID"), u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}");
    EXPECT_EQ(Text(u"Ravelcore.OVC\\CurVer"), u"Ravelcore.OVC.1");
    EXPECT_EQ(Text(kClsidKey), u"OVC Class");
    EXPECT_EQ(Text(kClsidKey + u"\\ProgID"), u"Ravelcore.OVC.1");
    EXPECT_EQ(Text(kClsidKey + u"\\VersionIndependentProgID"), u"Ravelcore.OVC");
    EXPECT_EQ(Text(kClsidKey + u"\\InprocServer32"), u"Ravelcore.dll");
    EXPECT_EQ(Text(kClsidKey + u"\\ToolboxBitmap32"), u"Ravelcore.dll, 101");
    EXPECT_EQ(Text(kClsidKey + u"\\MiscStatus"), u"0");
    EXPECT_EQ(Text(kClsidKey + u"\\MiscStatus\\1"), u"131473");
    EXPECT_EQ(Text(kClsidKey + u"\\TypeLib"), u"{2686AD94-BBD4-452B-A6F4-B10AC681837E}");
    EXPECT_EQ(Text(kClsidKey + u"\\Version"), u"1.0");
    for (const char16_t* key : {u"\\Programmable", u"\\Control", u"\\Insertable"})
        EXPECT_TRUE(KeyExists(kClsidKey + key));
    EXPECT_EQ(Text(u"TypeLib\\{2686AD94-BBD4-452B-A6F4-B10AC681837E}\\1.0"), u"Ravelcore 1.0 Type Library");
    EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK);
    for (const char16_t* key : {u"Ravelcore.OVC.1", u"Ravelcore.OVC", u"TypeLib\\{2686AD94-BBD4-452B-A6F4-B10AC681837E}"})
        EXPECT_FALSE(KeyExists(key));
    EXPECT_FALSE(KeyExists(kClsidKey));
}

TEST_F(RavelcoreTest, WithoutItsWindowMethodsAnswerSFalseAndSettersDropTheirValues) {
    CPtr<IOVCClassic> classic;
    ASSERT_EQ(plat::com::CreateByName(u"Ravelcore.OVC", IOVCClassic::kIID, classic.OutVoid()), S_OK);
    CPtr<IOVC> ovc;
    ASSERT_EQ(classic.As(&ovc), S_OK);
    CPtr<IOVCData> data;
    ASSERT_EQ(classic.As(&data), S_OK);
    EXPECT_EQ(classic->GetTerminalID(nullptr), E_INVALIDARG);
    ULONG id = 7;
    EXPECT_EQ(classic->GetTerminalID(&id), S_FALSE);
    EXPECT_EQ(classic->Disconnect(), S_FALSE);
    EXPECT_EQ(classic->put_ReconnectDelay(5000), S_OK);
    CBstr font(u"Courier");
    EXPECT_EQ(classic->put_FontName(font.Get()), S_OK);
    EXPECT_EQ(classic->put_FontName(nullptr), S_OK);
    EXPECT_EQ(classic->SetFeatureNum(1, 1), S_FALSE);
    EXPECT_EQ(ovc->Initialize(), S_OK);
    EXPECT_EQ(ovc->GetPropSheepCount(nullptr), S_FALSE);
    LONG associated = 9;
    EXPECT_EQ(ovc->IsAssociatedWithRadio(&associated), S_OK);
    EXPECT_EQ(associated, 9);
    unsigned char ping[] = {2, 3, 3, 'A', 0xFD, 'z', 0x17};
    EXPECT_EQ(data->OVCStreamInput(int(sizeof ping), ping), S_FALSE);
    CPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(ovc.As(&errors), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IOVC::kIID), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IOVCClassic::kIID), S_FALSE);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IOVCData::kIID), S_FALSE);
}

TEST_F(RavelcoreTest, HostedControlAnswersTheHostThroughItsEvents) {
    Host();
    ASSERT_TRUE(m_data);
    CBstr folder(u"\\Program Files\\Orvade Client");
    Put("\\Program Files\\Orvade Client\\keep.txt", "");
    EXPECT_EQ(m_classic->put_bstrAppDirectory(folder.Get()), S_OK);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    // Two commands in one packet give two replies, in order, before the call returns.
    EXPECT_EQ(Stream(Framed("A\xFDx\xFF" "A\xFDy")), S_OK);
    EXPECT_GE(m_segments.size(), 2u);
    EXPECT_EQ(Out(), Framed("A\xFDx\xFF" "A\xFDy") + Framed("A\xFDy"));
    // A packet in two reads is answered once it is whole.
    const std::string whole = Framed("A\xFDz");
    EXPECT_EQ(Stream(whole.substr(0, 4)), S_OK);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Stream(whole.substr(4)), S_OK);
    EXPECT_EQ(Out(), whole);
    // Unframed: one packet as it is.
    std::string command = "A\xFDu";
    EXPECT_EQ(m_data->OVCCommandInput(int(command.size()), reinterpret_cast<unsigned char*>(command.data())), S_OK);
    EXPECT_EQ(Out(), Framed("A\xFDu"));

    // Through Invoke, by DISPID: the same DISPID is another member on another interface.
    std::string bytes = Framed("A\xFDw");
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_I8;
    args[0].llVal = LONGLONG(reinterpret_cast<intptr_t>(bytes.data()));
    args[1] = plat::com::VariantLong(LONG(bytes.size()));
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(m_data->Invoke(2, IID_NULL, 0x400, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Out(), bytes);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(m_ovc->Invoke(13, IID_NULL, 0x400, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    VARIANT terminal;
    VariantInit(&terminal);
    EXPECT_EQ(m_classic->Invoke(18, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, &terminal, nullptr, nullptr), S_OK);
    EXPECT_EQ(terminal.vt, VT_UI4);
    ULONG id = 0;
    EXPECT_EQ(m_classic->GetTerminalID(&id), S_OK);
    EXPECT_EQ(terminal.ulVal, id);
    EXPECT_EQ(m_classic->SetTerminalID(4321), S_OK);
    EXPECT_EQ(m_classic->GetTerminalID(&id), S_OK);
    EXPECT_EQ(id, 4321u);

    // The program directory is the one given; the old BSTR is freed.
    BSTR dir = SysAllocString(u"old");
    EXPECT_EQ(m_classic->GetProgramDirectory(&dir), S_OK);
    EXPECT_EQ(plat::com::BstrView(dir), u"\\Program Files\\Orvade Client");
    SysFreeString(dir);

    // The host's Disconnect ends the session with the event.
    EXPECT_EQ(Stream(Framed("9\xFD")), S_OK);
    EXPECT_EQ(m_disconnects, 1);
    EXPECT_EQ(m_classic->Disconnect(), S_OK);
    Unhost();
}

// The shell's window is the module's while its control lives: the host's
// input-panel requests reach it, and a later control of the process is not
// left with a window that may be gone.
TEST_F(RavelcoreTest, TheShellWindowIsKeptForTheControlsModuleOnly) {
    int panelRequests = 0;
    const HWND shell = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_SHELL_INPUT_PANEL) ++panelRequests;
        return 0;
    });
    const std::string sipUp = Framed("\xB1\xFDSIPSTATE\xFD" "1");
    Host();
    EXPECT_EQ(m_ovc->put_ShellWindowHandle(LONG(shell)), S_OK);
    EXPECT_EQ(Stream(sipUp), S_OK);
    EXPECT_EQ(panelRequests, 1);
    Unhost();
    Host();
    EXPECT_EQ(Stream(sipUp), S_OK);
    EXPECT_EQ(panelRequests, 1);
    EXPECT_EQ(m_ovc->put_ShellWindowHandle(LONG(shell)), S_OK);
    EXPECT_EQ(Stream(sipUp), S_OK);
    EXPECT_EQ(panelRequests, 2);
    Unhost();
    DestroyWindow(shell);
}

TEST_F(RavelcoreTest, KeysAndDeviceDataReachTheCoreAsTheHostSeesThem) {
    Host();
    ASSERT_TRUE(m_data);
    const HWND control = GetWindow(m_host, GW_CHILD);
    ASSERT_NE(control, 0u);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    const std::string getEvent = "1\xFD" "0";
    auto events = [&](int n) {
        std::string packet;
        for (int i = 0; i < n; ++i) packet += (i ? "\xFF" : "") + getEvent;
        EXPECT_EQ(Stream(Framed(packet)), S_OK);
        return Out();
    };

    // The hide-menu key fires its event and still reaches the core.
    EXPECT_EQ(m_classic->put_HideMenuKey(113), S_OK);
    SendMessage(control, WM_KEYDOWN, 112, 0);
    SendMessage(control, WM_KEYDOWN, 113, 0);
    SendMessage(control, WM_CHAR, 'a', 1);
    EXPECT_EQ(m_toggles, 1);
    EXPECT_EQ(events(3), Framed("2\xFD" "1") + Framed("2\xFD" "2") + Framed("1\xFD" "a"));

    // An RFID record reaches the core as kind 19; the library's record is left as it was.
    const char16_t tag[] = {u'T', u'A', u'G'};  // not terminated
    DeviceDataRecord rfid{7, 8, 5, 3, tag};
    SendMessage(control, WM_USER + 17, 0, reinterpret_cast<LPARAM>(&rfid));
    EXPECT_EQ(rfid.kind, 5);
    DeviceDataRecord msr{0, 0, 2, 2, u"CARD"};
    SendMessage(control, WM_USER + 3, 0, reinterpret_cast<LPARAM>(&msr));
    // A null record does nothing and answers 0.
    EXPECT_EQ(SendMessage(control, WM_USER + 3, 0, 0), 0);
    EXPECT_EQ(SendMessage(control, WM_USER + 17, 0, 0), 0);
    EXPECT_EQ(events(2), Framed("5\xFDTAG\xFD-1\xFC" "19") + Framed("5\xFD" "CA\xFD-1\xFC" "2"));
    EXPECT_EQ(events(1), "");  // nothing more was queued: the GETEVENT waits

    // The log line shows at most the record's length of its text.
    StartLog();
    const char16_t longer[] = {u'A', u'B', u'C', u'D', u'E', u'F', u'G', u'H'};
    DeviceDataRecord cut{0, 0, 2, 5, longer};
    SendMessage(control, WM_USER + 3, 0, reinterpret_cast<LPARAM>(&cut));
    EXPECT_NE(Get("\\Temp\\ovc.log").find("Termelle::WM_OVC_MSR_MESSAGE - Size=5 Data=ABCDE\r\n"), std::string::npos)
        << Get("\\Temp\\ovc.log");
    // A long record logs its first 4000 characters; the core refuses it whole.
    const std::u16string huge(5000, u'X');
    DeviceDataRecord capped{0, 0, 2, int32_t(huge.size()), huge.c_str()};
    SendMessage(control, WM_USER + 3, 0, reinterpret_cast<LPARAM>(&capped));
    EXPECT_NE(Get("\\Temp\\ovc.log").find("Size=5000 Data=" + std::string(4000, 'X') + "\r\n"), std::string::npos);
    EXPECT_EQ(m_classic->put_EnableLogging(0), S_OK);
    EXPECT_EQ(events(1), Framed("5\xFD" "ABCDE\xFD-1\xFC" "2"));

    // Busy twice, idle once: the cursor from before comes back.
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    ::SetCursor(arrow);
    SendMessage(control, WM_USER + 18, reinterpret_cast<WPARAM>(u"Sending data, please wait"), 1);
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
    SendMessage(control, WM_USER + 18, 0, 1);
    SendMessage(control, WM_USER + 18, 0, 0);
    EXPECT_EQ(GetCursor(), arrow);
    // The same text again (only its first 19 characters are kept) does not repaint.
    ValidateRect(control, nullptr);
    SendMessage(control, WM_USER + 18, reinterpret_cast<WPARAM>(u"Sending data, please wait"), 0);
    RECT dirty{};
    EXPECT_FALSE(GetUpdateRect(control, &dirty, FALSE));
    SendMessage(control, WM_USER + 18, reinterpret_cast<WPARAM>(u"Wait"), 0);
    EXPECT_TRUE(GetUpdateRect(control, &dirty, FALSE));

    Unhost();
    // After its window has gone, the control's messages reach nothing.
    EXPECT_FALSE(IsWindow(control));
}

TEST_F(RavelcoreTest, TheControlWindowShowsTheScreenTheHostDrew) {
    Host();
    ASSERT_TRUE(m_data);
    const HWND control = GetWindow(m_host, GW_CHILD);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    // Text, then reverse text, then text at row 3, column 2.
    EXPECT_EQ(Stream(Framed("3\xFD" "AB\x1B[7mCD\x1B[m\x1B[3;2HEF")), S_OK);
    qttest::Pump();
    const QImage shown = plat::qt::RenderWindow(control).convertToFormat(QImage::Format_RGB32);
    if (const char* dir = getenv("ORVADE_RENDER_DIR")) shown.save(QString(dir) + "/ravelcore-control.png");
    RECT client{};
    GetClientRect(control, &client);
    ASSERT_EQ(shown.width(), client.right);
    ASSERT_EQ(shown.height(), client.bottom);
    // Black behind the reverse cells, white elsewhere, and dark pixels of text in the first cell.
    const int cw = client.right / 21;
    const int ch = client.bottom / 16;
    EXPECT_EQ(shown.pixelColor(2 * cw + 1, 1), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(client.right - 2, client.bottom - 2), QColor(Qt::white));
    bool ink = false;
    for (int y = 0; y < ch && !ink; ++y)
        for (int x = 0; x < cw && !ink; ++x) ink = shown.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(ink);
    Unhost();
}

// The busy status changes twice with every packet and ends as it was: only
// an input that leaves another status than the one shown asks for a paint.
TEST_F(RavelcoreTest, OnlyTheStatusAnInputLeavesAsksForAPaint) {
    Host();
    ASSERT_TRUE(m_data);
    const HWND control = GetWindow(m_host, GW_CHILD);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    RECT update{};
    // The first packet leaves the status a packet leaves; the next ones leave it as shown.
    for (const bool asks : {true, false, false}) {
        UpdateWindow(control);
        ASSERT_FALSE(GetUpdateRect(control, &update, FALSE));
        EXPECT_EQ(Stream(Framed("A\xFDx")), S_OK);
        EXPECT_EQ(GetCursor(), IDC_WAIT);  // busy after the reply, until the next packet
        EXPECT_EQ(GetUpdateRect(control, &update, FALSE) != FALSE, asks);
    }
    // A status shown between packets is replaced by the one the next input leaves.
    SendMessage(control, WM_USER + 18, reinterpret_cast<WPARAM>(u"Sending"), 0);
    UpdateWindow(control);
    EXPECT_EQ(Stream(Framed("A\xFDz")), S_OK);
    EXPECT_TRUE(GetUpdateRect(control, &update, FALSE));
    Unhost();
}

// The backing of the windows, counting the drawing contexts made for one.
class CountingBackend final : public plat::window::WindowBackend {
public:
    CountingBackend(std::shared_ptr<plat::window::WindowBackend> inner, HWND counted)
        : m_inner(std::move(inner)), m_counted(counted) {}
    void Notify(HWND hwnd, unsigned what) override { m_inner->Notify(hwnd, what); }
    HDC CreateDC(HWND hwnd) override {
        if (hwnd == m_counted) ++contexts;
        return m_inner->CreateDC(hwnd);
    }
    int contexts = 0;

private:
    std::shared_ptr<plat::window::WindowBackend> m_inner;
    HWND m_counted;
};

// A Ping turns the status from "Wait" to "" and back: it asks for no paint,
// and a paint that would show what the window shows draws nothing. A paint
// someone else asked for, or one after the screen changed, still draws.
TEST_F(RavelcoreTest, APaintThatWouldShowTheSameDrawsNothing) {
    Host();
    ASSERT_TRUE(m_data);
    const HWND control = GetWindow(m_host, GW_CHILD);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    const auto qtBacking = plat::window::GetWindowBackend();
    ASSERT_TRUE(qtBacking);
    const auto counting = std::make_shared<CountingBackend>(qtBacking, control);
    plat::window::SetWindowBackend(counting);
    RECT update{};
    EXPECT_EQ(Stream(Framed("A\xFDx")), S_OK);
    UpdateWindow(control);
    const QImage waiting = plat::qt::RenderWindow(control);
    const int drawn = counting->contexts;
    EXPECT_GE(drawn, 1);

    EXPECT_EQ(Stream(Framed("A\xFDy")), S_OK);
    EXPECT_FALSE(GetUpdateRect(control, &update, FALSE));  // the status ends as shown
    UpdateWindow(control);
    EXPECT_EQ(counting->contexts, drawn);
    EXPECT_EQ(plat::qt::RenderWindow(control), waiting);

    EXPECT_EQ(Stream(Framed("A\xFDz")), S_OK);
    InvalidateRect(control, nullptr, FALSE);
    UpdateWindow(control);
    EXPECT_EQ(counting->contexts, drawn + 1);

    // Text on the screen and a Ping in one packet: the status ends as shown, the screen does not.
    EXPECT_EQ(Stream(Framed("3\xFD" "\x1B[3;2HEF\xFF" "A\xFDw")), S_OK);
    UpdateWindow(control);
    EXPECT_EQ(counting->contexts, drawn + 2);
    EXPECT_NE(plat::qt::RenderWindow(control), waiting);

    plat::window::SetWindowBackend(qtBacking);
    Unhost();
}

TEST_F(RavelcoreTest, TheForegroundAloneDecidesWhetherTheControlIsActive) {
    Host();
    ASSERT_TRUE(m_ovc);
    StartLog();
    auto lines = [&](const std::string& text) { return LogLines(text); };
    SetForegroundWindow(m_top);
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    EXPECT_EQ(lines(" Resuming\r\n"), 1u);
    // Inactive by its argument, yet the shell's window is in front: still active.
    EXPECT_EQ(m_ovc->ShellActivate(0), S_OK);
    EXPECT_EQ(lines("ShellActivate - Inactive"), 1u);
    EXPECT_EQ(lines(" Suspending\r\n"), 0u);
    // Another top-level window in front suspends it; the shell's again resumes it.
    const HWND other = CreateWindowEx(0, u"STATIC", u"other", WS_VISIBLE, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    SetForegroundWindow(other);
    EXPECT_EQ(m_ovc->ShellActivate(1), S_OK);
    EXPECT_EQ(lines(" Suspending\r\n"), 1u);
    SetForegroundWindow(m_top);
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    EXPECT_EQ(lines(" Resuming\r\n"), 2u);
    EXPECT_EQ(m_classic->put_EnableLogging(0), S_OK);
    DestroyWindow(other);
    Unhost();
}

// The error box the host opens is owned by the shell's window: while it is
// in front the session goes on (no suspend of the scanner and RFID libraries
// at the 50 ms tick), and closing it by key hands the foreground back.
TEST_F(RavelcoreTest, AnOwnedBoxInFrontLeavesTheControlActive) {
    Host();
    ASSERT_TRUE(m_ovc);
    StartLog();
    SetForegroundWindow(m_top);
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    ASSERT_EQ(LogLines(" Resuming\r\n"), 1u);

    EXPECT_EQ(Stream(Framed("V\xFD" "10\xFE" "2\xFE" "0\xFE" "Disk full\xFD")), S_OK);
    const HWND box = GetForegroundWindow();
    ASSERT_NE(box, m_top);
    EXPECT_EQ(GetWindowLongPtr(box, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(GetWindow(box, GW_OWNER), m_top);
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    EXPECT_EQ(LogLines(" Suspending\r\n"), 0u);

    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    MSG msg{};
    while (IsWindow(box) && PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        if (IsDialogMessage(box, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(Out(), Framed("V\xFD" "1"));
    EXPECT_EQ(m_ovc->CheckInputTimeOut(), S_OK);
    EXPECT_EQ(LogLines(" Suspending\r\n"), 0u);
    EXPECT_EQ(LogLines(" Resuming\r\n"), 1u);
    EXPECT_EQ(m_classic->put_EnableLogging(0), S_OK);
    Unhost();
}

TEST_F(RavelcoreTest, TheMessageBoxMessageShowsABoxOwnedByTheControlWindow) {
    Host();
    ASSERT_TRUE(m_ovc);
    const HWND control = GetWindow(m_host, GW_CHILD);
    plat::msgbox::ScriptedAnswerer answerer;
    plat::msgbox::IPresenter* old = plat::msgbox::SetPresenter(&answerer);
    EXPECT_EQ(SendMessage(control, WM_USER + 1, MB_OK | MB_ICONHAND, reinterpret_cast<LPARAM>(u"Session ended")), 0);
    EXPECT_EQ(SendMessage(control, WM_USER + 1, 0, 0), 0);  // no text, no box
    plat::msgbox::SetPresenter(old);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].owner, control);
    EXPECT_EQ(seen[0].text, u"Session ended");
    EXPECT_EQ(seen[0].caption, u"Orvade");
    EXPECT_EQ(seen[0].style, UINT(MB_OK | MB_ICONHAND));
    Unhost();
}

// The shell may do anything inside the control's events: disconnect, stop
// listening, destroy its windows or release the control.
TEST_F(RavelcoreTest, ASinkMayEndTheSessionOrLetGoOfTheControlInsideAnEvent) {
    // Disconnect inside the first reply of a packet of two commands; the
    // session goes on answering afterwards.
    Host();
    ASSERT_TRUE(m_data);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    {
        CPtr<IConnectionPoint> point;
        CPtr<IConnectionPointContainer> container;
        ASSERT_EQ(m_ovc.As(&container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__IOVCEvents, point.Out()), S_OK);
        DWORD cookie = 0;
        int calls = 0;
        auto* sink = new plat::com::CDispatchSink(DIID__IOVCEvents, [&](DISPID id, DISPPARAMS*) {
            // The first reply: end the session and stop listening.
            if (id == DISPID_OVCDataOutEvent && ++calls == 1) {
                EXPECT_EQ(m_classic->Disconnect(), S_OK);
                EXPECT_EQ(point->Unadvise(cookie), S_OK);
            }
            return S_OK;
        });
        sink->AddRef();
        ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
        sink->Release();
        EXPECT_EQ(Stream(Framed("A\xFDx\xFF" "A\xFDy")), S_OK);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    }
    Out();
    EXPECT_EQ(Stream(Framed("A\xFDz")), S_OK);
    EXPECT_EQ(Out(), Framed("A\xFDz"));

    // The shell hands over more bytes inside a reply event: they are
    // answered after the running input, in order.
    bool fed = false;
    auto* feeder = new plat::com::CDispatchSink(DIID__IOVCEvents, [&](DISPID id, DISPPARAMS*) {
        if (id == DISPID_OVCDataOutEvent && !fed) {
            fed = true;
            EXPECT_EQ(Stream(Framed("A\xFDinner")), S_OK);
        }
        return S_OK;
    });
    feeder->AddRef();
    DWORD feederCookie = 0;
    ASSERT_EQ(m_point->Advise(feeder, &feederCookie), S_OK);
    feeder->Release();
    EXPECT_EQ(Stream(Framed("A\xFDouter")), S_OK);
    EXPECT_EQ(m_point->Unadvise(feederCookie), S_OK);
    EXPECT_EQ(Out(), Framed("A\xFDouter") + Framed("A\xFDinner"));

    // The shell destroys its host window (and with it the control's window
    // and core) inside the Disconnect event the core sends from its handler.
    auto* closer = new plat::com::CDispatchSink(DIID__IOVCEvents, [&](DISPID id, DISPPARAMS*) {
        if (id == DISPID_OVCDisconnect && m_host) {
            DestroyWindow(m_host);
            m_host = 0;
        }
        return S_OK;
    });
    closer->AddRef();
    DWORD closerCookie = 0;
    ASSERT_EQ(m_point->Advise(closer, &closerCookie), S_OK);
    closer->Release();
    const int disconnects = m_disconnects;
    EXPECT_EQ(Stream(Framed("A\xFDw\xFF" "9\xFD\xFF" "A\xFDv")), S_OK);
    EXPECT_EQ(m_host, 0u);
    EXPECT_EQ(m_disconnects, disconnects + 1);
    EXPECT_EQ(Stream(Framed("A\xFDu")), S_FALSE);  // no window, no core
    EXPECT_EQ(m_point->Unadvise(closerCookie), S_OK);
    Unhost();

    // The shell releases the control, its last holder, inside the reply
    // event: the control lives on to the end of the input call, then goes
    // with its window and core.
    DestroyWindow(m_top);
    m_top = CreateWindowEx(0, u"STATIC", u"shell", WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
    CPtr<IOVCData> data;
    ASSERT_EQ(plat::com::CreateByName(u"Ravelcore.OVC", IOVCData::kIID, data.OutVoid()), S_OK);
    CPtr<IHostedControl> hosted;
    ASSERT_EQ(data.As(&hosted), S_OK);
    const RECT rect{0, 0, 240, 294};
    HWND window = 0;
    ASSERT_EQ(hosted->CreateControlWindow(m_top, &rect, &window), S_OK);
    hosted.Reset();
    CPtr<IConnectionPointContainer> container;
    ASSERT_EQ(data.As(&container), S_OK);
    CPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IOVCEvents, point.Out()), S_OK);
    container.Reset();
    int replies = 0;
    auto* releaser = new plat::com::CDispatchSink(DIID__IOVCEvents, [&](DISPID id, DISPPARAMS*) {
        if (id == DISPID_OVCDataOutEvent && ++replies == 1) {
            point.Reset();
            data.Reset();
        }
        return S_OK;
    });
    releaser->AddRef();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(releaser, &cookie), S_OK);
    releaser->Release();
    IOVCData* raw = data.Get();
    std::string packet = Framed("A\xFDx\xFF" "A\xFDy");
    EXPECT_EQ(raw->OVCStreamInput(int(packet.size()), reinterpret_cast<unsigned char*>(packet.data())), S_OK);
    EXPECT_EQ(replies, 2);  // the packet was answered whole
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);  // no object of the library is left
}

// Runs an action on this thread from its message queue (as the shell's or
// the user's doing among the messages a waiting handler pumps), and posts a
// quit should the test still wait after 10 s, so a wait that goes on fails
// the test instead of hanging it.
class PumpedAction {
public:
    static constexpr UINT kAct = WM_USER + 71;
    static constexpr UINT kGiveUp = WM_USER + 72;
    explicit PumpedAction(std::function<void()> action) : m_action(std::move(action)) {
        m_window = CreateWindowEx(0, u"STATIC", u"", 0, 0, 0, 1, 1, 0, 0, nullptr, nullptr);
        m_old = plat::window::SetWindowProcedure(m_window, [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == kAct && m_action) m_action();
            if (m == kGiveUp) {
                m_gaveUp = true;
                PostQuitMessage(0);
            }
            return m == kAct || m == kGiveUp ? 0 : m_old(h, m, w, l);
        });
        m_watch = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(10), [this] { return m_stop; }))
                PostMessage(m_window, kGiveUp, 0, 0);
        });
    }
    ~PumpedAction() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_done.notify_all();
        m_watch.join();
        MSG msg;
        while (PeekMessage(&msg, m_window, 0, 0, PM_REMOVE)) {
        }
        PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE);
        DestroyWindow(m_window);
    }
    void Post() { PostMessage(m_window, kAct, 0, 0); }
    void Run() { m_action(); }
    bool GaveUp() const { return m_gaveUp; }

private:
    std::function<void()> m_action;
    HWND m_window = 0;
    WindowProc m_old;
    bool m_gaveUp = false;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stop = false;
    std::thread m_watch;
};

// A message box that does the action while it is shown.
class ActingPresenter final : public plat::msgbox::IPresenter {
public:
    explicit ActingPresenter(PumpedAction& action) : m_action(action) {}
    int Show(const plat::msgbox::Request& request) override {
        m_action.Run();
        return plat::msgbox::DefaultButton(request.style);
    }

private:
    PumpedAction& m_action;
};

// Handlers that wait (serial bytes, a program, the user reading a box) pump
// messages; among them the user may end the session, the shell may destroy
// its host window (with the control's window and core) or let go of the
// control. The wait ends at once, the handler answers nothing to the session
// that is gone, and a next session runs as usual.
TEST_F(RavelcoreTest, AWaitingHandlerStopsWhenItsSessionEndsOrItsWindowGoes) {
    // The serial device: a pseudo-terminal that never answers.
    const int master = serialtest::OpenPortPeer(u"COM1:");
    ASSERT_GE(master, 0);
    // The program: one that sleeps on and writes nothing.
    std::filesystem::create_directories(root_ / "bin");
    std::ofstream(root_ / "bin" / "slow") << "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null; exec sleep 15\n";
    chmod((root_ / "bin" / "slow").c_str(), 0755);

    enum class Ending { Disconnect, DestroyHost, ReleaseControl };
    struct Handler {
        const char* name;
        std::string command;
        bool box;  // waits in a message box rather than a pump
    };
    const Handler handlers[] = {
        {"COMDATAEVENT", "d\xFD" "0\xFD\xFD\xFD" "10\xFD\xFD", false},
        {"SYSTEMCALL", "U\xFD\\bin\\slow", false},
        {"KILLCMD", "k\xFD" "bye", true},
    };
    for (const Handler& handler : handlers) {
        for (Ending ending : {Ending::Disconnect, Ending::DestroyHost, Ending::ReleaseControl}) {
            SCOPED_TRACE(std::string(handler.name) + " " + std::to_string(int(ending)));
            Host();
            ASSERT_TRUE(m_data);
            EXPECT_EQ(m_ovc->Initialize(), S_OK);
            Out();
            const int disconnects = m_disconnects;
            PumpedAction action([&] {
                if (ending == Ending::Disconnect) {
                    EXPECT_EQ(m_classic->Disconnect(), S_OK);
                } else if (ending == Ending::DestroyHost) {
                    DestroyWindow(m_host);
                    m_host = 0;
                } else {
                    Unhost();
                }
            });
            ActingPresenter presenter(action);
            plat::msgbox::IPresenter* old = plat::msgbox::SetPresenter(&presenter);
            if (!handler.box) action.Post();
            // Held by the test, as the shell's socket holds it while it feeds it.
            CPtr<IOVCData> data;
            ASSERT_EQ(m_data.As(&data), S_OK);
            std::string packet = Framed(handler.command + "\xFF" "A\xFD" "after");
            data->OVCStreamInput(int(packet.size()), reinterpret_cast<unsigned char*>(packet.data()));
            plat::msgbox::SetPresenter(old);
            EXPECT_FALSE(action.GaveUp());
            EXPECT_EQ(Out(), "");  // nothing answered, nothing run behind it
            if (ending == Ending::Disconnect) {
                EXPECT_EQ(m_disconnects, disconnects + 1);
                // The same control goes on with the next session.
                EXPECT_EQ(Stream(Framed("A\xFDnext")), S_OK);
                EXPECT_EQ(Out(), Framed("A\xFDnext"));
                Unhost();
            } else {
                EXPECT_EQ(data->OVCStreamInput(int(packet.size()), reinterpret_cast<unsigned char*>(packet.data())),
                          S_FALSE);  // no window, no core
                if (m_point) Unhost();
            }
            data.Reset();
            DestroyWindow(m_top);
            m_top = 0;
        }
    }
    close(master);
}

TEST_F(RavelcoreTest, TheControlsWindowClassGoesWithItsLibrary) {
    Host();
    ASSERT_TRUE(m_data);
    Unhost();
    CoFreeUnusedLibraries();
    // Unloaded: no class is left naming its window procedure, so the name is free.
    WNDCLASS wc{};
    wc.lpfnWndProc = &DefWindowProc;
    wc.lpszClassName = u"RavelcoreOVC";
    EXPECT_NE(RegisterClass(&wc), 0);
    EXPECT_TRUE(UnregisterClass(u"RavelcoreOVC", nullptr));
    // Loaded again, the control makes its window and answers.
    Host();
    ASSERT_TRUE(m_data);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    EXPECT_EQ(Stream(Framed("A\xFDz")), S_OK);
    EXPECT_EQ(Out(), Framed("A\xFDz"));
    Unhost();
}

// What the headless session tool asks beyond the shell's interfaces.
TEST_F(RavelcoreTest, TheHeadlessInterfaceShowsNoScreenAndPassesScansOn) {
    CPtr<IOVCHeadless> headless;
    ASSERT_EQ(plat::com::CreateByName(u"Ravelcore.OVC", IOVCHeadless::kIID, headless.OutVoid()), S_OK);
    ASSERT_EQ(headless.As(&m_data), S_OK);
    ULONGLONG dropped = 7;
    LONG capacity = 0;
    EXPECT_EQ(headless->GetDroppedEvents(&dropped, &capacity), S_FALSE);  // no window, no core
    EXPECT_EQ(headless->ScanInput(2, u"42"), S_FALSE);
    EXPECT_EQ(headless->ShowNoScreen(), S_OK);
    m_top = CreateWindowEx(0, u"STATIC", u"tool", 0, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
    CPtr<IHostedControl> hosted;
    ASSERT_EQ(headless.As(&hosted), S_OK);
    const RECT rect{0, 0, 240, 294};
    HWND window = 0;
    ASSERT_EQ(hosted->CreateControlWindow(m_top, &rect, &window), S_OK);
    EXPECT_EQ(headless->ShowNoScreen(), E_UNEXPECTED);  // the window is made already
    CPtr<IConnectionPointContainer> container;
    ASSERT_EQ(headless.As(&container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IOVCEvents, m_point.Out()), S_OK);
    auto* sink = new plat::com::CDispatchSink(DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* p) {
        plat::com::DispArgs args(p);
        int size = 0;
        const char* bytes = nullptr;
        if (id == DISPID_OVCDataOutEvent && args.Int(0, &size) == S_OK && args.Pointer(1, &bytes) == S_OK)
            m_segments.emplace_back(bytes, size_t(size));
        return S_OK;
    });
    sink->AddRef();
    ASSERT_EQ(m_point->Advise(sink, &m_cookie), S_OK);
    sink->Release();

    // A scan reaches the core as scanner data of decoder 0.
    EXPECT_EQ(headless->ScanInput(-1, u"x"), E_INVALIDARG);
    EXPECT_EQ(headless->ScanInput(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(headless->ScanInput(5, u"0123 45"), S_OK);  // only its length is read
    EXPECT_EQ(Stream(Framed("1\xFD" "0")), S_OK);
    EXPECT_EQ(Out(), Framed("5\xFD" "0123 \xFD-1\xFC" "0"));
    EXPECT_EQ(headless->GetDroppedEvents(&dropped, &capacity), S_OK);
    EXPECT_EQ(dropped, 0u);
    EXPECT_EQ(capacity, 100);
    for (int i = 0; i < 103; ++i) headless->ScanInput(1, u"s");
    EXPECT_EQ(headless->GetDroppedEvents(&dropped, &capacity), S_OK);
    EXPECT_EQ(dropped, 3u);

    // The log into a file of this machine, with the tool's own lines.
    EXPECT_EQ(headless->LogToHostFile(nullptr), E_INVALIDARG);
    const std::string log = DeviceRootTest::Host("\\tool.log").string();
    ASSERT_EQ(headless->LogToHostFile(log.c_str()), S_OK);
    EXPECT_EQ(headless->WriteLog(5, "headless-session: a line"), S_OK);
    EXPECT_NE(Get("\\tool.log").find(" headless-session: a line\r\n"), std::string::npos) << Get("\\tool.log");

    EXPECT_EQ(m_point->Unadvise(m_cookie), S_OK);
    m_point.Reset();
    m_data.Reset();
    container.Reset();
    hosted.Reset();
    headless.Reset();
    EXPECT_FALSE(IsWindow(window));  // the last release takes the window down
}

TEST_F(RavelcoreTest, HostileBytesThroughTheControlLeaveItAnswering) {
    Host();
    ASSERT_TRUE(m_data);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    // Counts and pointers that do not fit: nothing is read.
    unsigned char byte = 2;
    EXPECT_EQ(m_data->OVCStreamInput(-5, &byte), S_OK);
    EXPECT_EQ(m_data->OVCStreamInput(7, nullptr), S_OK);
    EXPECT_EQ(m_data->OVCCommandInput(0, nullptr), S_OK);
    EXPECT_EQ(m_data->OVCCommandInput(INT32_MIN, &byte), S_OK);
    const std::string hostile[] = {
        std::string("\x02\xFF\x03", 3) + std::string(255, '\xFF') + "\x17",   // delimiters only
        std::string("\x02\x05\x03\x00\x00\x00\x00\x00\x17", 9),              // zero bytes as commands
        Framed(std::string("A\xFD", 2)) + std::string("\x02\x02\x03", 3),   // a segment cut off
        std::string(20480, '\x02'),                                           // headers without end
        Framed("B\xFD" "1") + "\x02" "99999999999999999999\x03" "ab\x17",     // mode 1, a length past any int
        "\x02" "4096\x03" + std::string(4096, '\xFD') + "\x17",               // fields without a command
    };
    for (const std::string& bytes : hostile) EXPECT_EQ(Stream(bytes), S_OK);
    // The host goes; the next one is answered from the start, in mode 0.
    EXPECT_EQ(m_classic->Disconnect(), S_OK);
    Out();
    EXPECT_EQ(Stream(Framed("A\xFDstill here")), S_OK);
    EXPECT_EQ(Out(), Framed("A\xFDstill here"));
    Unhost();
}

TEST(InputMutexTest, NestsOnItsThreadAndIsGivenBackWhenAbandoned) {
    CInputMutex mutex;
    ASSERT_EQ(mutex.Enter(), CInputMutex::Wait::Acquired);
    EXPECT_EQ(mutex.Enter(), CInputMutex::Wait::Acquired);  // a nested input call passes
    mutex.Leave();
    mutex.Leave();
    // A thread that ends holding it leaves it abandoned: the next wait says so
    // and gives it back, so the one after it succeeds.
    std::thread([&mutex] { EXPECT_EQ(mutex.Enter(), CInputMutex::Wait::Acquired); }).join();
    EXPECT_EQ(mutex.Enter(), CInputMutex::Wait::Abandoned);
    std::thread([&mutex] {
        EXPECT_EQ(mutex.Enter(), CInputMutex::Wait::Acquired);
        mutex.Leave();
    }).join();
    EXPECT_EQ(mutex.Enter(), CInputMutex::Wait::Acquired);
    mutex.Leave();
}

}  // namespace

namespace {

TEST_F(RavelcoreTest, WidgetsAreWindowsOfTheControlWindowAndGoWithIt) {
    Host();
    ASSERT_TRUE(m_data);
    const HWND control = GetWindow(m_host, GW_CHILD);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    // A button "OK" at cell row 1, column 1.
    EXPECT_EQ(Stream(Framed("w\xFD" "1\xFD" "1\xFD" "5\xFD" "2\xFC" "1\xFC" "1\xFD\xFC\xFC\xFCOK")), S_OK);
    EXPECT_EQ(Out(), Framed("w\xFD" "5"));
    const HWND button = GetWindow(control, GW_CHILD);
    ASSERT_NE(button, 0u);
    EXPECT_EQ(plat::window::GetWindowString(button), u"OK");
    // A tap on it, as the device's screen gives one.
    RECT r{};
    GetWindowRect(button, &r);
    const POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    plat::input::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
    qttest::Pump();
    EXPECT_EQ(Stream(Framed("1\xFD" "0")), S_OK);
    EXPECT_EQ(Out(), Framed("8\xFDOK\xFD" "5\xFC-1"));
    // The control's window takes its widgets' windows with it.
    Unhost();
    EXPECT_FALSE(IsWindow(button));
}

TEST_F(RavelcoreTest, TapAndHoldOpensThePopUpMenuWidget) {
    Host();
    ASSERT_TRUE(m_data);
    EXPECT_EQ(m_ovc->Initialize(), S_OK);
    // A pop-up menu of the names A and B.
    EXPECT_EQ(Stream(Framed("w\xFD" "12\xFD" "1\xFD" "3\xFD\xFD\xFD\xFD\xFD\xFD" "A\xFC" "B")), S_OK);
    EXPECT_EQ(Out(), Framed("w\xFD" "3"));
    std::vector<std::u16string> shown;
    plat::menu::SetChooser([&](HMENU menu, HWND) -> UINT {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) shown.push_back(plat::menu::ItemText(menu, UINT(i)));
        return GetMenuItemID(menu, 1);
    });
    // The stylus held on the control window past the hold time.
    const POINT p{100, 100};
    plat::input::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    qttest::Pump();
    plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
    qttest::Pump();
    plat::menu::SetChooser(nullptr);
    EXPECT_EQ(shown, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(Stream(Framed("1\xFD" "0")), S_OK);
    EXPECT_EQ(Out(), Framed("6\xFD" "0\xFD" "2\xFC-1"));
    Unhost();
}

}  // namespace

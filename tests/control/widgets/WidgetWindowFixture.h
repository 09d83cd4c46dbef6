// A session core whose control window is a real top-level window of the
// window layer, routing to the widgets what the control window routes
// (commands, drawing, colours, the context menu, taps with the tap-and-hold
// gesture), with the widgets' windows made by CWidgetWindows. Widgets come
// from WIDGETACTION packets; taps and keys enter the layer as the device's
// would and are pumped headless; events come back through GETEVENT.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/widgets/WidgetManager.h"
#include "core/widgets/WidgetWindowLayer.h"
#include "core/widgets/WidgetWindowTypes.h"
#include "platform/Controls.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Gesture.h"
#include "platform/Input.h"
#include "platform/Menu.h"
#include "platform/Screen.h"
#include "tests/core/session/CoreFixture.h"

namespace widgetwindowtest {

using namespace coretest;
const Bytes FB = "\xFB";

// A definition record of WIDGETACTION: type, action ADD, id, then fields 4 to 12.
inline Bytes Add(int type, const Bytes& id, const std::vector<Bytes>& rest = {}) {
    Bytes r = std::to_string(type) + FD + "1" + FD + id;
    for (const Bytes& f : rest) r += FD + f;
    return r;
}
// Field 5 with a label (face, text colour, background colour, label, options).
inline Bytes Looks(const Bytes& label, const Bytes& options = "", const Bytes& text = "", const Bytes& back = "") {
    return FC + text + FC + back + FC + label + FC + options;
}
// Field 4: mode, row, column, width, height.
inline Bytes Cells(int row, int column, int width = 0, int height = 0, int mode = 2) {
    return std::to_string(mode) + FC + std::to_string(row) + FC + std::to_string(column) + FC + std::to_string(width) +
           FC + std::to_string(height);
}
inline Bytes Action(int scope, int action, const Bytes& id, const Bytes& rest = "") {
    return std::to_string(scope) + FD + std::to_string(action) + FD + id + rest;
}

class WidgetWindowTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core.reset();
        WNDCLASS wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); };
        wc.lpszClassName = u"WidgetTestOwner";
        RegisterClass(&wc);
        m_owner = CreateWindowEx(0, u"WidgetTestOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        ASSERT_NE(m_owner, 0u);
        plat::window::SetWindowProcedure(m_owner, [this](HWND h, UINT m, WPARAM w, LPARAM l) { return Owner(h, m, w, l); });
        SetForegroundWindow(m_owner);
        m_core = std::make_unique<CClientCore>(m_owner);
        m_core->SetView(&m_view);
        m_core->SetWidgetWindows(&m_windows);
        m_core->SetAppDirectory(m_core->ModuleFolder());
        plat::menu::SetChooser(nullptr);
    }
    void TearDown() override {
        plat::menu::SetChooser(nullptr);
        m_core.reset();
        DestroyWindow(m_owner);
        CoreTest::TearDown();
    }

    // As the control window: the core's messages, the widgets' routing.
    LRESULT Owner(HWND h, UINT m, WPARAM w, LPARAM l) {
        switch (m) {
        case WM_CORE_SEND_SEGMENT:
        case WM_CORE_BUSY_STATUS:
        case WM_CORE_SESSION_ENDED: return OnMessage(m, w, l);
        case WM_WIDGET_INPUT_DEVICES: m_inputDevices.push_back(static_cast<int>(w)); return 0;
        case WM_LBUTTONDOWN: {
            SHRGINFO info{sizeof(SHRGINFO), h, {GET_X_LPARAM(l), GET_Y_LPARAM(l)}, 0};
            if (plat::input::RecognizeTapAndHold(&info)) return 0;
            const LRESULT result = m_core ? m_core->OnWidgetMessage(h, m, w, l, nullptr) : 0;
            SetFocus(h);
            return result;
        }
        case WM_KEYDOWN:
            if (m_core) m_core->OnKeyDown(static_cast<uint32_t>(w), 0);
            return 0;
        case WM_CHAR:
            if (m_core) m_core->OnChar(static_cast<char16_t>(w), 1, 0);
            return 0;
        case WM_CONTEXTMENU:
        case WM_COMMAND:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            if (!m_core) break;
            bool handled = false;
            const LRESULT result = m_core->OnWidgetMessage(h, m, w, l, &handled);
            if (handled) return result;
            break;
        }
        default: break;
        }
        return DefWindowProc(h, m, w, l);
    }

    static void Pump() {
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    }
    // A tap (down and up) at a point of the owner's client area.
    void Tap(int x, int y) {
        POINT p{x, y};
        ClientToScreen(m_owner, &p);
        plat::input::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
        plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
        Pump();
    }
    // A tap in the middle of a window.
    void TapWindow(HWND hwnd) {
        RECT r{};
        GetWindowRect(hwnd, &r);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ScreenToClient(m_owner, &p);
        Tap(p.x, p.y);
    }
    void Key(UINT vk, bool shift = false) {
        if (shift) keybd_event(VK_SHIFT, 0, 0, 0);
        keybd_event(static_cast<BYTE>(vk), 0, 0, 0);
        keybd_event(static_cast<BYTE>(vk), 0, KEYEVENTF_KEYUP, 0);
        if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        Pump();
    }
    void Type(std::u16string_view text) {
        for (char16_t c : text) {
            plat::input::InjectKey(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c, true, 0, std::u16string(1, c));
            plat::input::InjectKey(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c, false, 0, u"");
        }
        Pump();
    }

    // One WIDGETACTION command; its reply.
    Bytes Widgets(const Bytes& records) {
        Send("w" + FD + records);
        const std::vector<Bytes> replies = Replies();
        return replies.empty() ? Bytes() : replies.back();
    }
    // The events the host gets: those that answered a GETEVENT left waiting,
    // then one GETEVENT each until none is queued (that one stays waiting,
    // as a host's does). WIDGETACTION drops the events queued before it.
    std::vector<Bytes> Events() {
        std::vector<Bytes> events = Replies();
        for (int i = 0; i < 100; ++i) {
            Send("1" + FD);
            const std::vector<Bytes> replies = Replies();
            if (replies.empty()) break;
            events.insert(events.end(), replies.begin(), replies.end());
        }
        return events;
    }
    CWidget* Widget(uint32_t id) { return m_core ? FindWidget(id) : nullptr; }
    HWND WindowOf(uint32_t id) {
        CWidget* w = Widget(id);
        return w ? w->GetWindow() : 0;
    }
    // The widget of an id, through the owner's child windows.
    CWidget* FindWidget(uint32_t id) {
        for (HWND c = GetWindow(m_owner, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            CWidget* w = WidgetOfWindow(c);
            if (w && w->GetId() == id) return w;
        }
        return nullptr;
    }

    // An item-list file of the MENUS folder: four geometry records, the
    // title's record, then the items.
    void WriteItems(const std::u16string& name, const Bytes& title, const std::vector<Bytes>& items) {
        Bytes content = "1" + FE + "1" + FE + "10" + FE + "5" + FE + title + FE;
        for (const Bytes& item : items) content += item + FD;
        WriteMenuFile(name, content);
    }
    void WriteMenuFile(const std::u16string& name, const Bytes& content) {
        const std::u16string folder = m_core->ModuleFolder() + u"\\MENUS";
        for (size_t at = 1; (at = folder.find(u'\\', at + 1)) != std::u16string::npos;)
            plat::fs::CreateDirectory(folder.substr(0, at));
        plat::fs::CreateDirectory(folder);
        ASSERT_TRUE(plat::fs::WriteFile(folder + u"\\" + name, content.data(), content.size()));
    }

    HWND m_owner = 0;
    CWidgetWindows m_windows;
    std::vector<int> m_inputDevices;
};

// The event record a widget sends: code, data, id and extra.
inline Bytes Event(char code, const Bytes& data, const Bytes& id, const Bytes& extra = "-1") {
    return Bytes(1, code) + FD + data + FD + id + FC + extra;
}

}  // namespace widgetwindowtest

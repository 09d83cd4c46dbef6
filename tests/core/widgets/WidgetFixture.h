// Widgets on their own: definition records as bytes, packets over them, and
// a window layer of message windows that keeps what the shared window
// procedure keeps (visible, enabled, focus, label) and records every message.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/PacketFramer.h"
#include "core/widgets/Widget.h"
#include "core/widgets/WidgetManager.h"
#include "core/widgets/WidgetWindows.h"
#include "platform/Message.h"

namespace widgettest {

using Bytes = std::string;
const Bytes FB = "\xFB";
const Bytes FC = "\xFC";
const Bytes FD = "\xFD";
const Bytes FE = "\xFE";

// A packet over bytes that the holder keeps alive.
struct PacketOver {
    explicit PacketOver(Bytes b, int mode = 0, uint32_t codePage = 0)
        : bytes(std::move(b)),
          packet(mode, 0xFF, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()),
                 codePage) {}
    Bytes bytes;
    CPacket packet;
};

inline Bytes Written(const CPacketBuffer& w) { return Bytes(reinterpret_cast<const char*>(w.GetData()), w.GetLength()); }

// A definition record: type, action, id, then fields 4 to 12 as given.
inline Bytes Definition(int type, const Bytes& id, const std::vector<Bytes>& rest = {}) {
    Bytes r = std::to_string(type) + FD + "1" + FD + id;
    for (const Bytes& f : rest) r += FD + f;
    return r;
}

// An action record: scope, action, id, then further fields.
inline Bytes Action(int scope, int action, const Bytes& id, const Bytes& rest = "") {
    return std::to_string(scope) + FD + std::to_string(action) + FD + id + rest;
}

struct FakeWindows : IWidgetWindows {
    struct Window {
        CWidget* widget;
        bool visible;
        bool enabled;
        std::u16string label;
        WidgetRect rect;
        uint32_t style;
        std::vector<UINT> messages;
    };
    std::map<HWND, Window> windows;
    std::vector<HWND> destroyed;
    HWND focus = 0;
    int32_t clientWidth = 240, clientHeight = 300;
    CWidgetManager* manager = nullptr;

    HWND Create(CWidget& widget, HWND, const WidgetRect& rect, uint32_t style) override {
        HWND hwnd = CreateMessageWindow([this](HWND h, UINT m, WPARAM w, LPARAM l) { return Proc(h, m, w, l); });
        windows[hwnd] = {&widget, (style & 0x10000000) != 0, (style & 0x08000000) == 0, u"", rect, style, {}};
        return hwnd;
    }
    LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto it = windows.find(h);
        if (it == windows.end()) return 0;
        Window& win = it->second;
        win.messages.push_back(m);
        switch (m) {
        case WIDGET_MSG_SHOW: win.visible = w != 0; break;
        case WIDGET_MSG_ENABLE: win.enabled = w != 0; break;
        case WIDGET_MSG_SET_FOCUS:
            focus = h;
            if (manager) manager->SetFocusedWidget(win.widget);
            break;
        case WIDGET_MSG_SET_LABEL: win.label = reinterpret_cast<const char16_t*>(l); break;
        case WM_COMMAND: return 77;
        default: break;
        }
        return 0;
    }
    void Destroy(HWND window) override {
        destroyed.push_back(window);
        windows.erase(window);
        if (focus == window) focus = 0;
        DestroyWindow(window);
    }
    bool IsVisible(HWND w) override { return windows.count(w) && windows[w].visible; }
    bool IsEnabled(HWND w) override { return windows.count(w) && windows[w].enabled; }
    HWND GetFocus() override { return focus; }
    void GetClientSize(HWND, int32_t* w, int32_t* h) override { *w = clientWidth, *h = clientHeight; }
    bool GetScreenRect(HWND w, WidgetRect* r) override {
        if (!windows.count(w)) return false;
        *r = windows[w].rect;
        return true;
    }
    void ClientToScreen(HWND, int32_t*, int32_t*) override {}
    Window& Of(const CWidget* widget) { return windows.at(widget->GetWindow()); }
};

// A manager with the fake window layer, a mode-0 framer and the events it sends.
class WidgetTest : public ::testing::Test {
protected:
    WidgetTest() {
        m_windows.manager = &m_manager;
        m_manager.SetWindowLayer(&m_windows);
        m_manager.SetFramer(&m_framer);
        m_manager.SetCallback(
            [](void* self, CWidgetManager*, const CPacketBuffer& writer) {
                static_cast<WidgetTest*>(self)->m_events.push_back(Written(writer));
            },
            this);
    }
    ~WidgetTest() override { m_manager.RemoveAll(); }

    // The stream of one WIDGETACTION command (without its command byte); the reply.
    Bytes Stream(const Bytes& records, int32_t capacity = 4096) {
        PacketOver p(records);
        CPacketBuffer writer(0, 0xFF, capacity, 0);
        m_manager.ProcessWidgetStream(p.packet, &writer);
        return Written(writer);
    }
    CWidget* Widget(uint32_t id) { return m_manager.FindById(id); }

    CPacketFramer m_framer{nullptr, nullptr, 0};
    FakeWindows m_windows;
    CWidgetManager m_manager;
    std::vector<Bytes> m_events;
};

}  // namespace widgettest

// A session core on a recording control window: framed host bytes go in
// through OnReceive, and every message the core sends or posts to the window
// is recorded. Time is driven by the test; the device root is a fresh
// temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "core/session/LogicalFolders.h"
#include "common/PacketFramer.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"
#include "platform/Text.h"

namespace coretest {

using Bytes = std::string;
const Bytes FD = "\xFD";
const Bytes FC = "\xFC";
const Bytes FE = "\xFE";
const Bytes FF = "\xFF";

inline DWORD g_now = 100000;

// The host side of the framing: a payload cut into segments of the mode.
inline Bytes Frame(const Bytes& payload, int mode = 0) {
    Bytes out;
    CPacketFramer framer(
        [](void* context, int count, const uint8_t* const* pieces, const int32_t* lengths) {
            auto* s = static_cast<Bytes*>(context);
            for (int i = 0; i < count; ++i) s->append(reinterpret_cast<const char*>(pieces[i]), lengths[i]);
        },
        &out, 0);
    framer.SetMode(mode);
    CPacketBuffer writer(mode, 0xFF, static_cast<int32_t>(payload.size()) + 1, 0);
    writer.AppendBytes(payload.data(), static_cast<int32_t>(payload.size()));
    framer.Send(writer);
    return out;
}

// The device side of the framing: the packets of a byte stream in the mode.
inline std::vector<Bytes> Unframe(const Bytes& wire, int mode = 0) {
    std::vector<Bytes> out;
    CPacketFramer framer(nullptr, nullptr, 0);
    framer.SetMode(mode);
    int32_t position = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(wire.data());
    while (position < static_cast<int32_t>(wire.size())) {
        CPacket* p = framer.Parse(data, position, static_cast<int32_t>(wire.size()));
        if (p) out.emplace_back(reinterpret_cast<const char*>(p->GetData()), p->GetLength());
    }
    return out;
}

// Counts what the view of the screen is told.
struct FakeView : ICoreView {
    int changes = 0;
    int focus = 0;
    void ScreenChanged() override { ++changes; }
    void TakeFocus() override { ++focus; }
};

struct FakeScanner : ICoreScanner {
    int state = 1;
    std::vector<int> states;
    bool IsPresent() override { return true; }
    int GetScannerState() override { return state; }
    int SetScannerState(int s) override {
        states.push_back(s);
        state = s;
        return 1;
    }
};

struct FakeDevices : ICoreDevices {
    bool msr = false;
    bool rfid = false;
    int32_t deviceId = 0;
    std::vector<std::pair<DeviceFunction, int32_t>> calls;
    bool HasDeviceControl() override { return true; }
    int32_t CallDevice(DeviceFunction f, int32_t value) override {
        calls.emplace_back(f, value);
        switch (f) {
        case DeviceFunction::GetKeyBoardState: return 4;
        case DeviceFunction::GetKeyTimeout: return 5;
        case DeviceFunction::GetBackLightTime: return 6;
        default: return 1;
        }
    }
    int32_t GetDeviceId() override { return deviceId; }
    void EnableMsr(bool on) override { msr = on; }
    void EnableRfid(bool on) override { rfid = on; }
};

struct FakeAutomation : ICoreAutomation {
    std::vector<std::pair<uint32_t, intptr_t>> notes;
    bool IsLoaded() override { return true; }
    void Notify(uint32_t code, intptr_t a, intptr_t) override { notes.emplace_back(code, a); }
    std::vector<uint32_t> Codes() const {
        std::vector<uint32_t> codes;
        for (const auto& n : notes) codes.push_back(n.first);
        return codes;
    }
};

// The fakes outlive the core: they are members, and the core goes first.
class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_base = std::filesystem::temp_directory_path() /
                 ("orvade-core-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_base);
        std::filesystem::create_directories(m_base);
        plat::fs::SetDeviceRoot(m_base.string());
        g_now = 100000;
        plat::clock::SetTickSource([] { return g_now; });
        ResetLogicalFolders();
        m_window = CreateMessageWindow([this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            return OnMessage(msg, w, l);
        });
        ASSERT_NE(m_window, 0u);
        m_core = std::make_unique<CClientCore>(m_window);
        m_core->SetView(&m_view);
        m_segments.clear();
        m_busy.clear();
    }

    void TearDown() override {
        m_core.reset();
        DestroyLog();
        DestroyWindow(m_window);
        plat::clock::SetTickSource(nullptr);
        ResetLogicalFolders();
        std::filesystem::remove_all(m_base);
    }

    virtual LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) {
        if (msg == WM_CORE_SEND_SEGMENT) {
            m_segments.emplace_back(reinterpret_cast<const char*>(l), w);
            m_events.push_back("segment");
            if (m_onSegment) m_onSegment();
        } else if (msg == WM_CORE_BUSY_STATUS) {
            m_busy.push_back(static_cast<int>(l));
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(w)), l ? u"Wait" : u"");
            m_events.push_back(l ? "busy" : "idle");
        } else if (msg == WM_CORE_SESSION_ENDED) {
            m_events.push_back("ended");
        }
        return 0;
    }

    void Receive(const Bytes& bytes) {
        m_core->OnReceive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), true);
    }
    void Send(const Bytes& payload, int mode = 0) { Receive(Frame(payload, mode)); }

    // The payloads of the segments sent since the last call, reassembled in the mode.
    std::vector<Bytes> Replies(int mode = 0) {
        Bytes all;
        for (const Bytes& s : m_segments) all += s;
        m_segments.clear();
        return Unframe(all, mode);
    }

    // Posted messages of a number waiting in the window's queue (taken out).
    int TakePosted(UINT message) {
        int n = 0;
        MSG msg;
        while (PeekMessage(&msg, m_window, message, message, PM_REMOVE)) ++n;
        return n;
    }

    void StartLog() {
        CLogFile* log = CreateLog(LOG_TRACE);
        log->SetPath(u"\\core.log");
    }
    std::string LogText() {
        std::ifstream in(m_base / "core.log", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // RfInput: default text, length, column 0, row 0, flags, terminators, time-out.
    Bytes RfInputCommand(std::u16string_view text, int length, int32_t flags, std::u16string_view terminators = u"",
                         int timeout = 0, char code = '5', int column = 0) {
        return Bytes(1, code) + FD + plat::text::WideToBytes(0, text) + FD + std::to_string(length) + FD +
               std::to_string(column) + FD + "0" + FD + FD + "0" + FD + "0" + FD + std::to_string(flags) + FD + FD +
               plat::text::WideToBytes(0, terminators) + FD + std::to_string(timeout);
    }

    // Changes the control's properties as the control pushes them.
    template <typename Change>
    void ChangeProperties(Change change) {
        CoreProperties properties = m_core->Settings().Properties();
        change(properties);
        m_core->Settings().SetProperties(properties);
    }

    // count cells of the screen from (row, column).
    std::u16string ScreenText(int row, int column, int count) const { return m_core->Screen().Text(row, column, count); }
    const CScreenModel::Caret& Caret() const { return m_core->Screen().GetCaret(); }

    void Key(uint32_t vk) { m_core->OnKeyDown(vk, 0); }
    void Type(std::u16string_view text) {
        for (char16_t c : text) m_core->OnChar(c, 1, 0);
    }

    std::filesystem::path m_base;
    HWND m_window = 0;
    std::unique_ptr<CClientCore> m_core;
    FakeView m_view;
    FakeScanner m_scanner;
    FakeDevices m_devices;
    FakeAutomation m_automation;
    std::vector<Bytes> m_segments;
    std::vector<int> m_busy;
    std::vector<std::string> m_events;
    std::function<void()> m_onSegment;
};

}  // namespace coretest

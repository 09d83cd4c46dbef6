// The device program as a user runs it, in this process: the launcher's
// work on the main thread (it registers and creates the shell, which loads
// the control and the discovery object from their ".dll"s), a fresh
// device root prepared as on a first start, message boxes recorded and
// answered by a script, and a director thread that plays the host on
// 127.0.0.1 and the user's taps while the shell runs.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <QImage>

#include "Launchwick.h"
#include "platform/Com.h"
#include "platform/CommandBar.h"
#include "platform/DeviceFs.h"
#include "platform/Input.h"
#include "platform/ListView.h"
#include "platform/Library.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/QtHost.h"
#include "platform/Text.h"
#include "platform/Window.h"
#include "tests/control/QtApplication.h"

namespace sessiontest {

using Clock = std::chrono::steady_clock;

// Waits up to the limit for the condition, looking every 10 ms.
inline bool WaitFor(const std::function<bool()>& done, int limitMs = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The start-up settings that connect to a host on 127.0.0.1 at once.
inline std::string AutoLaunch(uint16_t port) {
    return "Autodiscovery=0\nAutoLaunchAddress=127.0.0.1\nAutoLaunchPort=" + std::to_string(port) + "\n";
}

// Framing of the host protocol, as the host writes it.
inline std::string Frame0(const std::string& payload) {
    std::string out;
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(100, payload.size() - at);
        out += '\x02';
        out += char(n);
        out += '\x03';
        out += payload.substr(at, n);
        at += n;
        out += at < payload.size() ? '\x03' : '\x17';
    } while (at < payload.size());
    return out;
}
inline std::string Frame1(const std::string& payload) {
    return "\x02" + std::to_string(payload.size()) + "\x03" + payload + "\x17";
}

// A host application on 127.0.0.0/8: one listener, a connection at a time.
class ScriptedHost {
public:
    explicit ScriptedHost(const char* address = "127.0.0.1") {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        const int one = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(m_listener, 8), 0);
        socklen_t len = sizeof a;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~ScriptedHost() {
        CloseConnection();
        if (m_listener >= 0) ::close(m_listener);
    }
    uint16_t Port() const { return m_port; }
    int Connections() const { return m_accepted; }
    // The connection, for a test that reads it itself.
    int Handle() const { return m_conn; }

    bool Accept(int limitMs = 15000) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, limitMs) <= 0) return false;
        CloseConnection();
        m_conn = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_conn < 0) return false;
        const int one = 1;
        setsockopt(m_conn, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++m_accepted;
        m_in.clear();
        return true;
    }
    bool Send(const std::string& bytes) {
        return m_conn >= 0 && ::send(m_conn, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    void CloseConnection() {
        if (m_conn >= 0) ::close(m_conn);
        m_conn = -1;
    }
    // The payload of the next whole packet the device sends, in either
    // framing mode; empty when none comes in time or the device closes.
    std::string ReadPacket(int mode = 0, int limitMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            std::string payload;
            size_t used = 0;
            if (Parse(mode, &payload, &used)) {
                m_in.erase(0, used);
                return payload;
            }
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0 || m_conn < 0) return {};
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) return {};
            char buffer[8192];
            const ssize_t n = ::recv(m_conn, buffer, sizeof buffer, 0);
            if (n <= 0) return {};
            m_in.append(buffer, size_t(n));
        }
    }
    // True when the device closes the connection in time.
    bool WaitClosed(int limitMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        while (m_conn >= 0 && Clock::now() < end) {
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buffer[4096];
            if (::recv(m_conn, buffer, sizeof buffer, 0) <= 0) return true;
        }
        return false;
    }

private:
    bool Parse(int mode, std::string* payload, size_t* used) const {
        size_t at = 0;
        for (;;) {
            if (at >= m_in.size()) return false;
            if (m_in[at] != '\x02') return false;
            size_t length = 0, data = 0;
            if (mode == 0) {
                if (at + 3 > m_in.size()) return false;
                length = uint8_t(m_in[at + 1]);
                data = at + 3;
            } else {
                const size_t etx = m_in.find('\x03', at + 1);
                if (etx == std::string::npos) return false;
                length = size_t(std::stoul(m_in.substr(at + 1, etx - at - 1)));
                data = etx + 1;
            }
            if (data + length + 1 > m_in.size()) return false;
            payload->append(m_in, data, length);
            at = data + length + 1;
            if (m_in[at - 1] == '\x17') {
                *used = at;
                return true;
            }
        }
    }

    int m_listener = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
    int m_accepted = 0;
    std::string m_in;
};

// Records every box and answers after a while, running the thread's
// messages meanwhile (timers included) as a box's own loop does: from the
// script of answers, then with the box's default button.
class ModalAnswerer final : public plat::msgbox::IPresenter {
public:
    void Script(int answer) {
        std::lock_guard lock(m_mutex);
        m_script.push_back(answer);
    }
    int Show(const plat::msgbox::Request& request) override {
        int answer = plat::msgbox::DefaultButton(request.style);
        {
            std::lock_guard lock(m_mutex);
            m_seen.push_back(request);
            if (!m_script.empty()) {
                answer = m_script.front();
                m_script.erase(m_script.begin());
            }
        }
        const auto end = Clock::now() + std::chrono::milliseconds(150);
        while (Clock::now() < end) {
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    PostQuitMessage(int(msg.wParam));
                    return answer;
                }
                DispatchMessage(&msg);
            }
            WaitMessageTimeout(10);
        }
        return answer;
    }
    std::vector<plat::msgbox::Request> Seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<plat::msgbox::Request> m_seen;
    std::vector<int> m_script;
};

class DeviceProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/device-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        plat::fs::SetDeviceRoot(m_root.string());
        ASSERT_TRUE(launchwick::PrepareDevice(ModuleHostDirectory(reinterpret_cast<const void*>(&WaitFor))));
        displaytest::EnsureApplication();
        plat::msgbox::SetPresenter(&m_boxes);
    }
    void TearDown() override {
        // The servers the program created its objects from stay loaded for
        // the process; the next test's device root has its own.
        CoFreeUnusedLibraries();
        plat::msgbox::SetPresenter(nullptr);
        plat::fs::SetDeviceRoot("");
        std::filesystem::remove_all(m_root);
    }

    // The global configuration of the program folder, key=value lines.
    void Configure(const std::string& lines) { Write("Program Files/Orvade Client/Ravelcore.cfg", lines); }
    void Write(const std::string& relative, const std::string& bytes) {
        std::filesystem::create_directories((m_root / relative).parent_path());
        std::ofstream(m_root / relative, std::ios::binary) << bytes;
    }

    // Runs the launcher on this thread while the director plays host and
    // user on another; the director ends the program when it is done (or
    // the program ends by itself). Returns once both have ended.
    void Run(const std::function<void()>& director) {
        std::thread play([&] {
            director();
            // Whatever the director left: close the shell if it still runs.
            if (HWND main = MainWindow()) PostMessage(main, WM_CLOSE, 0, 0);
        });
        m_code = launchwick::Run(u"");
        play.join();
        // The ended program leaves no window class naming its libraries'
        // procedures: the next start (perhaps of other loads) would use it.
        for (const char16_t* cls : {u"OVSCShellWindow", u"CLDGCN"})
            EXPECT_FALSE(GetClassInfo(nullptr, cls, nullptr)) << plat::text::WideToUtf8(cls);
        // Nor any window: the next start would find it (a shell running).
        for (HWND left = GetTopWindow(0); left; left = GetWindow(left, GW_HWNDNEXT)) {
            char16_t cls[64] = {};
            GetClassName(left, cls, 64);
            ADD_FAILURE() << "window left: " << plat::text::WideToUtf8(cls);
        }
    }

    static HWND MainWindow() { return FindWindow(u"OVSCShellWindow", nullptr); }
    static HWND HostList() { return MainWindow() ? GetDlgItem(MainWindow(), 175) : 0; }
    static HWND ControlHost() { return MainWindow() ? GetDlgItem(MainWindow(), 8) : 0; }
    // The state of a menu item of the main window's menu bar (-1 when it has
    // no such item); the shell's thread reads it.
    static UINT MenuState(UINT id) {
        return OnShell([id] {
            const HMENU menu = CommandBar_GetMenu(GetDlgItem(MainWindow(), 1), 0);
            return GetMenuState(menu, id, MF_BYCOMMAND);
        });
    }
    static bool WaitForMainWindow() {
        return WaitFor([] { return MainWindow() != 0 && IsWindowVisible(MainWindow()); });
    }

    // Runs the task on the shell's thread and waits for it.
    template <class F>
    static auto OnShell(F task) -> decltype(task()) {
        using R = decltype(task());
        auto promise = std::make_shared<std::promise<R>>();
        auto future = promise->get_future();
        plat::window::RunOnWindowThread(MainWindow(), [promise, task] {
            if constexpr (std::is_void_v<R>) {
                task();
                promise->set_value();
            } else {
                promise->set_value(task());
            }
        });
        return future.get();
    }

    // The host list's item texts, as shown.
    static std::vector<std::u16string> ListItems() {
        return OnShell([] {
            std::vector<std::u16string> items;
            HWND list = HostList();
            const int n = int(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char16_t text[128] = {};
                LVITEM item{};
                item.iItem = i;
                item.pszText = text;
                item.cchTextMax = 128;
                SendMessage(list, LVM_GETITEMTEXT, WPARAM(i), LPARAM(&item));
                items.emplace_back(text);
            }
            return items;
        });
    }

    // Double-taps the host list's icon in the given place of its first row
    // ("Add New" is the first, the first host beside it), as a finger does.
    static void DoubleTapIcon(int place) {
        RECT list;
        GetWindowRect(HostList(), &list);
        const POINT icon{list.left + 38 + 76 * place, list.top + 20};
        for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
            plat::input::InjectMouse(msg, icon, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON);
    }

    // The boxes shown so far whose text is the resource text given.
    int BoxesSaying(const std::u16string& text) const {
        int n = 0;
        for (const auto& box : m_boxes.Seen()) n += box.text == text;
        return n;
    }

    std::filesystem::path m_root;
    ModalAnswerer m_boxes;
    int m_code = -1;
};

}  // namespace sessiontest

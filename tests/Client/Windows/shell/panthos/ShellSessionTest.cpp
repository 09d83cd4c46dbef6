// The session part against a scripted host on 127.0.0.1, its window a
// message window that hands it the socket's announcements as the main
// window does.
#include "panthos/ShellSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "tests/Client/Windows/shell/ScriptedTcpHost.h"
#include "tests/Client/Windows/shell/ShellFixture.h"
#include "tests/control/QtApplication.h"

namespace {

using shelltest::ScriptedTcpHost;
using namespace std::chrono_literals;

class ShellSessionTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        // The shell's wait runs Qt's loop: only there is the connection watched.
        displaytest::EnsureApplication();
        window_ = CreateMessageWindow([this](HWND, UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
            if (msg == WM_QUERY_ASSOCIATION && lParam) *reinterpret_cast<BOOL*>(lParam) = associated_;
            if (msg == WM_SOCKET_READABLE) {
                ++readable_;
                session_->Poll();
            }
            if (msg == WM_SOCKET_WRITABLE) {
                ++writable_;
                session_->Poll();
            }
            if (msg == WM_SOCKET_NOTIFY && lParam == FD_READ) session_->OnRead();
            if (msg == WM_SOCKET_NOTIFY && lParam == FD_CONNECT) local_ = session_->OnConnected();
            if (msg == WM_SOCKET_NOTIFY && lParam == FD_CLOSE) closedInSession_.push_back(session_->OnClosed());
            return 0;
        });
        session_ = std::make_unique<CShellSession>(window_, nullptr, [this](int size, unsigned char* bytes) {
            received_.append(reinterpret_cast<const char*>(bytes), size_t(size));
        });
    }
    void TearDown() override {
        session_.reset();
        DestroyWindow(window_);
        ShellTest::TearDown();
    }

    // The thread's wait and messages only (no timer tick) until the
    // condition holds, at most 10 s.
    static bool PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            WaitMessageTimeout(20);
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
        }
        return true;
    }

    HWND window_ = 0;
    std::unique_ptr<CShellSession> session_;
    std::string received_;
    std::u16string local_;
    int readable_ = 0;
    int writable_ = 0;
    BOOL associated_ = TRUE;
    std::vector<bool> closedInSession_;
};

TEST_F(ShellSessionTest, ASessionCarriesBytesBothWaysReadAsTheyComeAndItsEndClosesTheConnection) {
    ScriptedTcpHost host;
    EXPECT_FALSE(session_->IsActive());
    ASSERT_EQ(session_->Open(u"127.0.0.1", host.Port()), CShellSession::Opened::Connected);
    EXPECT_TRUE(session_->IsActive());
    const int peer = host.Accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(local_, u"127.0.0.1");

    // No timer runs here: the wait sees the connection readable.
    ScriptedTcpHost::Write(peer, "\x02\x05\x03hello\x17");
    ASSERT_TRUE(PumpUntil([&] { return received_.size() == 9; }));
    EXPECT_GE(readable_, 1);
    EXPECT_EQ(received_, "\x02\x05\x03hello\x17");
    session_->Send("abc", 3);
    EXPECT_EQ(ScriptedTcpHost::ReadExactly(peer, 3), "abc");

    session_->End();
    EXPECT_FALSE(session_->IsActive());
    EXPECT_EQ(ScriptedTcpHost::ReadSome(peer), "");  // closed
    session_->Send("late", 4);                        // dropped: no session
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ShellSessionTest, RepliesTheHostCouldNotTakeGoOutAsItReadsWithoutATimerTick) {
    ScriptedTcpHost host;
    ASSERT_EQ(session_->Open(u"127.0.0.1", host.Port()), CShellSession::Opened::Connected);
    const int peer = host.Accept();
    ASSERT_GE(peer, 0);
    // More than the socket takes while the host reads nothing: the rest waits.
    std::string sent;
    const auto sendMore = [&] {
        for (int i = 0; i < 128; ++i) {
            std::string chunk(65536, char('a' + i % 26));
            chunk[0] = char(i);
            chunk[1] = char(sent.size() >> 20);
            session_->Send(chunk.data(), int(chunk.size()));
            sent += chunk;
        }
    };
    sendMore();
    EXPECT_EQ(writable_, 0);
    std::string got;
    std::atomic<bool> done{false};
    const auto read = [&](size_t count) {
        return std::thread([&, count] {
            got += ScriptedTcpHost::ReadExactly(peer, count, 20000);
            done = true;
        });
    };
    std::thread reader = read(sent.size());
    // Only the wait runs: each time the socket takes more, it is told.
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    reader.join();
    EXPECT_GE(writable_, 1);
    EXPECT_TRUE(got == sent);

    // Without the radio the socket's room is no reason to wake: the waiting
    // bytes go at the tick that finds the radio back.
    const size_t before = sent.size();
    sendMore();
    associated_ = FALSE;
    done = false;
    reader = read(sent.size() - before);
    writable_ = 0;
    const auto end = std::chrono::steady_clock::now() + 300ms;
    PumpUntil([&] { return std::chrono::steady_clock::now() > end; });
    EXPECT_LE(writable_, 1);
    associated_ = TRUE;
    session_->Poll();
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    reader.join();
    EXPECT_TRUE(got == sent);
    session_->End();
}

TEST_F(ShellSessionTest, TheHostsCloseClosesTheConnectionAndLeavesTheEndToTheShell) {
    ScriptedTcpHost host;
    ASSERT_EQ(session_->Open(u"127.0.0.1", host.Port()), CShellSession::Opened::Connected);
    const int peer = host.Accept();
    ASSERT_GE(peer, 0);
    ::shutdown(peer, SHUT_RDWR);
    ASSERT_TRUE(PumpUntil([&] {
        session_->Poll();
        return !closedInSession_.empty();
    }));
    EXPECT_EQ(closedInSession_, std::vector<bool>{true});
    EXPECT_TRUE(session_->IsActive());
    session_->End();
    EXPECT_FALSE(session_->IsActive());
    // Polled on, the closed connection announces nothing more.
    for (int i = 0; i < 5; ++i) session_->Poll();
    EXPECT_EQ(closedInSession_.size(), 1u);
}

TEST_F(ShellSessionTest, AnOpenThatFailsEndsTheSessionAgain) {
    EXPECT_EQ(session_->Open(u"1nvalid", 1000), CShellSession::Opened::NotCreated);
    EXPECT_FALSE(session_->IsActive());
    EXPECT_EQ(session_->Open(u"127.0.0.1", ScriptedTcpHost::ClosedPort()), CShellSession::Opened::NotConnected);
    EXPECT_FALSE(session_->IsActive());
    ASSERT_EQ(Boxes().size(), 1u);  // the socket's "unable to connect"
    EXPECT_EQ(Boxes()[0].text, LoadResourceText(41, 200) + u"\nThe host refused the connection.");
}

}  // namespace

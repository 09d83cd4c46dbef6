// The host connection against a scripted host on 127.0.0.1: connect and
// exchange, refusals and time-outs, the host closing, held-back data, the
// radio not associated, and cancelling through the connecting window.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "ScriptedTcpHost.h"
#include "ShellFixture.h"
#include "platform/Input.h"
#include "platform/Sound.h"
#include "shell/CeSock.h"
#include "shell/ConnectingWnd.h"
#include "shell/SettingsStore.h"
#include "shell/ShellWindows.h"

namespace shelltest {
namespace {

using namespace std::chrono_literals;

// Waits until the condition holds, at most 10 s; true when it did.
bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

HWND FindConnectingWindow() { return FindWindow(u"CLDGCN", nullptr); }

// Taps the centre of a window as the user would.
void Tap(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    plat::input::InjectMouse(WM_LBUTTONDOWN, centre, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, centre, 0);
}

// Taps the Cancel button of the connecting window once it is shown.
void TapCancelWhenShown() {
    HWND button = 0;
    if (!WaitFor([&] {
            const HWND window = FindConnectingWindow();
            button = window ? GetDlgItem(window, IDCANCEL) : 0;
            return button && IsWindowVisible(button);
        }))
        return;
    Tap(button);
}

std::string Pattern(size_t size, size_t start) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((start + i) * 7 % 251);
    return bytes;
}

class CeSockTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        plat::sound::SetPlayer([this](const std::u16string& sound, DWORD) {
            sounds_.push_back(sound);
            return TRUE;
        });
        owner_ = CreateMessageWindow([this](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            return OwnerProc(msg, wParam, lParam);
        });
        sock_ = std::make_unique<CCeSock>(owner_);
    }
    void TearDown() override {
        sock_.reset();
        DestroyWindow(owner_);
        plat::sound::SetPlayer(nullptr);
        SetShellMainWindow(0);
        ShellTest::TearDown();
    }

    // The main window's part: the association answer, the socket's
    // notifications (reading everything on FD_READ) and commands.
    LRESULT OwnerProc(UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_QUERY_ASSOCIATION) {
            ++questions_;
            if (lParam) *reinterpret_cast<BOOL*>(lParam) = associated_;
        } else if (msg == WM_SOCKET_NOTIFY) {
            events_.push_back(lParam);
            if (lParam == FD_CONNECT) windowAtConnect_ = sock_->GetConnectingWnd() != nullptr;
            if (lParam == FD_CLOSE) {
                EXPECT_EQ(wParam, 0u);
            }
            if (lParam == FD_READ && readOnNotify_) {
                char buffer[20480];
                const int n = sock_->Read(buffer, sizeof buffer);
                received_.append(buffer, size_t(n));
            }
            if (lParam == FD_READ && onRead_) onRead_();
            if (lParam == FD_CLOSE && onClose_) onClose_();
        } else if (msg == WM_COMMAND) {
            commands_.push_back(LOWORD(wParam));
        }
        return 0;
    }

    // The timer's work and the thread's posted messages until the condition
    // holds (at most 10 s).
    bool PollUntil(const std::function<bool()>& done) {
        return WaitFor([&] {
            sock_->Poll();
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            return done();
        });
    }
    void PollTimes(int count) {
        for (int i = 0; i < count; ++i) {
            sock_->Poll();
            std::this_thread::sleep_for(5ms);
        }
    }

    int Count(LPARAM event) const { return int(std::count(events_.begin(), events_.end(), event)); }

    // Connects to the host; the host's end of the connection.
    int Connect(ScriptedTcpHost& host) {
        EXPECT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 1);
        EXPECT_EQ(sock_->WaitForConnection(), 1);
        return host.Accept();
    }

    // The box's text, and the reason on a second line when there is one.
    void ExpectOneBox(UINT textId, std::u16string_view reason = {}) {
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text, LoadResourceText(textId, 200) + (reason.empty() ? u"" : u"\n" + std::u16string(reason)));
        EXPECT_EQ(Boxes()[0].caption, LoadResourceText(6, 100));
        EXPECT_EQ(Boxes()[0].owner, owner_);
    }

    HWND owner_ = 0;
    std::unique_ptr<CCeSock> sock_;
    BOOL associated_ = 1;
    int questions_ = 0;  // association questions asked
    bool readOnNotify_ = true;
    std::function<void()> onRead_;
    std::function<void()> onClose_;
    std::vector<LPARAM> events_;
    bool windowAtConnect_ = false;  // the connecting window was up when FD_CONNECT came
    std::vector<WORD> commands_;
    std::string received_;
    std::vector<std::u16string> sounds_;
};

TEST_F(CeSockTest, ConnectsAnnouncesTheConnectAndExchangesBytes) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    EXPECT_TRUE(sock_->IsConnected());
    EXPECT_EQ(Count(FD_CONNECT), 1);
    // A connect done at once needs no connecting window: it would only flash.
    EXPECT_FALSE(windowAtConnect_);
    EXPECT_EQ(std::u16string(sock_->GetHostText()), u"127.0.0.1");
    EXPECT_EQ(sock_->GetPort(), host.Port());
    EXPECT_EQ(std::u16string(sock_->GetLocalAddress()), u"127.0.0.1");
    EXPECT_EQ(FindConnectingWindow(), 0u);
    EXPECT_TRUE(Boxes().empty());

    ScriptedTcpHost::Write(peer, "\x02\x05\x03hello\x17");
    ASSERT_TRUE(PollUntil([&] { return received_.size() == 9; }));
    EXPECT_EQ(received_, "\x02\x05\x03hello\x17");
    EXPECT_EQ(sock_->Send("abc", 3), 3);
    EXPECT_EQ(ScriptedTcpHost::ReadExactly(peer, 3), "abc");
    EXPECT_EQ(sock_->Send(nullptr, 0), 0);
}

TEST_F(CeSockTest, ANameIsLookedUpAndADottedAddressIsNot) {
    ScriptedTcpHost host;
    ASSERT_EQ(sock_->Create(u"localhost", host.Port()), 1);
    EXPECT_EQ(std::u16string(sock_->GetHostText()), u"127.0.0.1");
    sock_->Close();
    EXPECT_EQ(sock_->GetPort(), 0);
    // Not a valid address, yet not looked up because it starts with a digit.
    EXPECT_EQ(sock_->Create(u"1nvalid", host.Port()), 0);
    EXPECT_EQ(std::u16string(sock_->GetHostText()), u"1nvalid");
}

// The socket a host text that is no address leaves open (until Close) has
// no connect under way: the timer never takes it for connected.
TEST_F(CeSockTest, ASocketWithoutAConnectIsNeverTakenForConnected) {
    for (const char16_t* host : {u"no-such-host.invalid", u"1nvalid"}) {
        EXPECT_EQ(sock_->Create(host, ScriptedTcpHost::ClosedPort()), 0);
        PollTimes(5);
        EXPECT_FALSE(sock_->IsConnected());
        EXPECT_EQ(Count(FD_CONNECT), 0);
        EXPECT_EQ(sock_->Send("x", 1), -1);
    }
    EXPECT_EQ(std::u16string(sock_->GetHostText()), u"1nvalid");
}

TEST_F(CeSockTest, HostTextIsCutToItsField) {
    const std::u16string longHost = u"127.0.0.1" + std::u16string(200, u' ');
    sock_->Create(longHost.c_str(), ScriptedTcpHost::ClosedPort());
    EXPECT_EQ(std::u16string(sock_->GetHostText()).size(), 99u);
}

TEST_F(CeSockTest, RepliesToOneReadLeaveInOneSegment) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    onRead_ = [&] {
        for (const char* reply : {"one", "two", "three"}) sock_->Send(reply, int(strlen(reply)));
    };
    ScriptedTcpHost::Write(peer, "ping");
    ASSERT_TRUE(PollUntil([&] { return received_ == "ping"; }));
    EXPECT_EQ(ScriptedTcpHost::ReadSome(peer), "onetwothree");
}

TEST_F(CeSockTest, GatheredRepliesLeaveAtAPacketsEndOrWhenTheTimerRunsInAHandler) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    // Inside the announcement of a read, as a handler that then waits for
    // the user: a whole packet has gone before the wait.
    std::string seenInHandler;
    onRead_ = [&] {
        sock_->Send("\x02\x02\x03", 3);
        sock_->Send("A1", 2);
        sock_->Send("\x17", 1);
        // On loopback a send has arrived when it returns.
        seenInHandler = ScriptedTcpHost::ReadSome(peer, 100);
        // Bytes that end no packet go when a loop in the handler runs the timer.
        sock_->Send("partial", 7);
        sock_->Poll();
        seenInHandler += ScriptedTcpHost::ReadSome(peer);
    };
    ScriptedTcpHost::Write(peer, "x");
    ASSERT_TRUE(PollUntil([&] { return received_ == "x"; }));
    EXPECT_EQ(seenInHandler, "\x02\x02\x03" "A1\x17partial");

    // Without the radio, what was gathered goes first into the data held back.
    onRead_ = [&] {
        sock_->Send("first", 5);
        associated_ = 0;
        sock_->Send("second", 6);
    };
    ScriptedTcpHost::Write(peer, "y");
    ASSERT_TRUE(PollUntil([&] { return received_ == "xy"; }));
    EXPECT_EQ(sock_->GetBlockedLength(), 11u);
    associated_ = 1;
    onRead_ = nullptr;
    sock_->Poll();
    EXPECT_EQ(ScriptedTcpHost::ReadExactly(peer, 11), "firstsecond");
}

// A handler of a read that waits in a loop of its own, whose timer polls:
// what the host sends meanwhile is read ahead rather than left waiting at
// the socket (which would keep the loop awake), is not announced inside the
// handler, and is announced in order once it returns, more than the receive
// buffer holds included. The host closing after it is still seen at once.
TEST_F(CeSockTest, BytesThatComeWhileAReadsHandlerWaitsAreAnnouncedAfterIt) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    const std::string later = Pattern(20000, 1);
    int reads = 0;
    std::string inHandler;
    bool drained = false;
    onRead_ = [&] {
        if (++reads > 1) return;
        ScriptedTcpHost::Write(peer, later.substr(0, 100));
        PollTimes(5);
        pollfd p{sock_->GetSocketHandle(), POLLIN, 0};
        drained = ::poll(&p, 1, 0) == 0;
        ScriptedTcpHost::Write(peer, later.substr(100));
        PollTimes(5);
        inHandler = received_;
    };
    ScriptedTcpHost::Write(peer, "first");
    ASSERT_TRUE(PollUntil([&] { return received_.size() == 5 + later.size(); }));
    EXPECT_EQ(inHandler, "first");
    EXPECT_TRUE(drained);
    EXPECT_TRUE(received_ == "first" + later);
    EXPECT_EQ(Count(FD_CLOSE), 0);

    onRead_ = [&] {
        ScriptedTcpHost::Write(peer, "bye");
        host.CloseClient(peer);
        PollTimes(5);
        EXPECT_EQ(Count(FD_CLOSE), 1);
    };
    ScriptedTcpHost::Write(peer, "last");
    ASSERT_TRUE(PollUntil([&] { return Count(FD_CLOSE) > 0; }));
    EXPECT_FALSE(sock_->HasSocket());
}

TEST_F(CeSockTest, AClosedPortFailsAtOnceWithOneBox) {
    const int port = ScriptedTcpHost::ClosedPort();
    const auto start = std::chrono::steady_clock::now();
    if (sock_->Create(u"127.0.0.1", port) == 1) {
        EXPECT_EQ(sock_->WaitForConnection(), 0);
    }
    // Well before the connect wait runs out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(CCeSock::kConnectWaitMs));
    ExpectOneBox(41, u"The host refused the connection.");
    EXPECT_EQ(Boxes()[0].style & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);
    EXPECT_FALSE(sock_->HasSocket());
    EXPECT_EQ(Count(FD_CONNECT), 0);
    EXPECT_EQ(FindConnectingWindow(), 0u);
}

TEST_F(CeSockTest, ANameNotLookedUpFailsAndItsBoxSaysSo) {
    // No name at all: the look-up asks nobody, the failure is the same.
    EXPECT_EQ(sock_->Create(u"", 2001), 0);
    EXPECT_TRUE(Boxes().empty());  // the caller shows the box
    sock_->ShowConnectFailure(owner_);
    ExpectOneBox(41, u"The host name is not known.");
}

TEST_F(CeSockTest, NoAnswerWithinTheConnectWaitShowsOneBox) {
    ScriptedTcpHost host(0);
    if (!host.FillBacklog()) GTEST_SKIP() << "the listener's queue never filled";
    ASSERT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 1);
    EXPECT_EQ(sock_->WaitForConnection(), 0);
    ExpectOneBox(41, u"The host did not answer.");
    EXPECT_FALSE(sock_->HasSocket());
    EXPECT_EQ(FindConnectingWindow(), 0u);
}

TEST_F(CeSockTest, CancelDuringTheConnectWaitEndsItWithoutABox) {
    ScriptedTcpHost host(0);
    if (!host.FillBacklog()) GTEST_SKIP() << "the listener's queue never filled";
    ASSERT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 1);
    std::thread user(TapCancelWhenShown);
    EXPECT_EQ(sock_->WaitForConnection(), 0);
    user.join();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(sock_->HasSocket());
    EXPECT_EQ(FindConnectingWindow(), 0u);
}

TEST_F(CeSockTest, QuittingDuringTheConnectWaitEndsItWithoutABox) {
    ScriptedTcpHost host(0);
    if (!host.FillBacklog()) GTEST_SKIP() << "the listener's queue never filled";
    ASSERT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 1);
    PostQuitMessage(0);
    EXPECT_EQ(sock_->WaitForConnection(), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(sock_->HasSocket());
    // The quit stays for the program's own loop.
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

TEST_F(CeSockTest, TheHostClosingIsAnnouncedOnce) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        events_.clear();
        ScriptedTcpHost host;
        const int peer = Connect(host);
        ASSERT_GE(peer, 0);
        // A box shown in the handler runs a loop whose timer polls again.
        onClose_ = [&] { sock_->Poll(); };
        if (reset)
            host.ResetClient(peer);
        else
            host.CloseClient(peer);
        ASSERT_TRUE(PollUntil([&] { return Count(FD_CLOSE) > 0; }));
        PollTimes(5);
        EXPECT_EQ(Count(FD_CLOSE), 1);
        EXPECT_FALSE(sock_->HasSocket());
        EXPECT_FALSE(sock_->IsConnected());
        onClose_ = nullptr;
    }
}

TEST_F(CeSockTest, ASegmentSplitOverTwoWritesArrivesWhole) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    const std::string segment = "\x02\x0B\x03" "hello world\x17";
    ScriptedTcpHost::Write(peer, segment.substr(0, 6));
    ASSERT_TRUE(PollUntil([&] { return received_.size() == 6; }));
    ScriptedTcpHost::Write(peer, segment.substr(6));
    ASSERT_TRUE(PollUntil([&] { return received_.size() == segment.size(); }));
    EXPECT_EQ(received_, segment);
}

TEST_F(CeSockTest, AFullReceiveBufferIsNotTakenForAClose) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    readOnNotify_ = false;
    const std::string data = Pattern(20000, 0);
    ScriptedTcpHost::Write(peer, data);
    ASSERT_TRUE(PollUntil([&] { return Count(FD_READ) > 0; }));
    PollTimes(10);
    EXPECT_EQ(Count(FD_CLOSE), 0);
    EXPECT_TRUE(sock_->IsConnected());
    EXPECT_TRUE(sock_->IsReadingPaused());
    // The buffer keeps one byte free.
    char buffer[20480];
    const int first = sock_->Read(buffer, sizeof buffer);
    EXPECT_EQ(first, 8191);
    received_.assign(buffer, size_t(first));
    readOnNotify_ = true;
    ASSERT_TRUE(PollUntil([&] { return received_.size() == data.size(); }));
    EXPECT_EQ(received_, data);
}

TEST_F(CeSockTest, DataForAPeerThatDoesNotReadWaitsAndGoesOutInOrder) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    // Until the socket takes no more: what it would not take is kept.
    std::string sent;
    const size_t chunk = 65536;
    while (sock_->GetBlockedLength() == 0 && sent.size() < (size_t(256) << 20)) {
        const std::string bytes = Pattern(chunk, sent.size());
        const int n = sock_->Send(bytes.data(), int(bytes.size()));
        ASSERT_GE(n, 0);
        sent += bytes;
        if (size_t(n) < chunk) {
            EXPECT_EQ(sock_->GetBlockedLength(), chunk - size_t(n));
        }
    }
    ASSERT_GT(sock_->GetBlockedLength(), 0u);
    // Later sends go behind it (the socket may take some of them once what
    // waited went first); more than a megabyte waiting stops reading.
    const std::string more = Pattern(size_t(2) << 20, sent.size());
    const int taken = sock_->Send(more.data(), int(more.size()));
    EXPECT_GE(taken, 0);
    EXPECT_LT(size_t(taken), more.size());
    EXPECT_GT(sock_->GetBlockedLength(), size_t(1) << 20);
    sent += more;
    ScriptedTcpHost::Write(peer, "ping");
    PollTimes(5);
    EXPECT_EQ(Count(FD_READ), 0);
    EXPECT_TRUE(sock_->IsReadingPaused());

    std::string got;
    std::thread reader([&] { got = ScriptedTcpHost::ReadExactly(peer, sent.size(), 60000); });
    const bool flushed = PollUntil([&] { return sock_->GetBlockedLength() == 0; });
    reader.join();
    ASSERT_TRUE(flushed);
    ASSERT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_FALSE(sock_->IsReadingPaused());
    ASSERT_TRUE(PollUntil([&] { return received_ == "ping"; }));
}

TEST_F(CeSockTest, PastTheBoundASendWaitsForTheHostWithTimersRunningAndAStalledHostEndsIt) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    std::atomic<int> ticks{0};
    HWND ticking = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_TIMER) ++ticks;
        return 0;
    });
    SetTimer(ticking, 1, 20);
    const size_t chunk = size_t(4) << 20;
    std::string sent;
    // A reader that starts once timers have run in a waiting send: the send
    // past the bound returns only once it has read, and nothing is lost or
    // reordered.
    constexpr int kChunks = 16;
    std::string got;
    std::thread reader([&] {
        WaitFor([&] { return ticks > 5; });
        got = ScriptedTcpHost::ReadExactly(peer, kChunks * chunk, 60000);
    });
    for (int i = 0; i < kChunks; ++i) {
        const std::string bytes = Pattern(chunk, sent.size());
        ASSERT_GE(sock_->Send(bytes.data(), int(bytes.size())), 0);
        sent += bytes;
        EXPECT_LE(sock_->GetBlockedLength(), size_t(16) << 20);
    }
    EXPECT_GT(ticks, 5);
    ASSERT_TRUE(PollUntil([&] { return sock_->GetBlockedLength() == 0; }));
    reader.join();
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(Count(FD_CLOSE), 0);

    // A host that reads nothing for the stall limit: the connection ends
    // as at a close, and later sends keep nothing.
    sock_->SetStallLimitMs(300);
    for (int i = 0; i < 64 && sock_->HasSocket(); ++i) {
        const std::string bytes = Pattern(chunk, 0);
        sock_->Send(bytes.data(), int(bytes.size()));
    }
    EXPECT_FALSE(sock_->HasSocket());
    EXPECT_EQ(Count(FD_CLOSE), 1);
    EXPECT_EQ(sock_->Send("x", 1), -1);
    EXPECT_EQ(sock_->GetBlockedLength(), 0u);
    KillTimer(ticking, 1);
    DestroyWindow(ticking);
}

TEST_F(CeSockTest, SendingToAResetConnectionFailsWithoutASignal) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    host.ResetClient(peer);
    int result = 0;
    ASSERT_TRUE(WaitFor([&] { return (result = sock_->Send("x", 1)) == -1; }));
    EXPECT_EQ(sock_->GetBlockedLength(), 0u);
}

TEST_F(CeSockTest, ConnectingAgainEndsTheFirstConnection) {
    ScriptedTcpHost host;
    const int first = Connect(host);
    ASSERT_GE(first, 0);
    const int second = Connect(host);
    ASSERT_GE(second, 0);
    EXPECT_TRUE(ScriptedTcpHost::SeesEnd(first));
    sock_->Close();
    EXPECT_TRUE(ScriptedTcpHost::SeesEnd(second));
    const int third = Connect(host);
    ASSERT_GE(third, 0);
    EXPECT_EQ(sock_->Send("again", 5), 5);
    EXPECT_EQ(ScriptedTcpHost::ReadExactly(third, 5), "again");
    EXPECT_EQ(Count(FD_CONNECT), 3);
}

TEST_F(CeSockTest, NotAssociatedAtConnectTimeShowsItsBoxAndConnectsNothing) {
    ScriptedTcpHost host;
    associated_ = 0;
    EXPECT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 0);
    ExpectOneBox(6059);
    ASSERT_EQ(sounds_.size(), 1u);
    EXPECT_EQ(sounds_[0], std::u16string(GetFolder(u"OVC", nullptr)) + u"\\Sounds\\ERROR.WAV");
    EXPECT_FALSE(sock_->HasSocket());
    EXPECT_EQ(host.Accept(200), -1);

    CSettingsStore store;
    store.SetString(SETTING_NOT_ASSOCIATED_MESSAGE, u"No radio here.");
    sock_->SetSettingsStore(&store);
    EXPECT_EQ(sock_->Create(u"127.0.0.1", host.Port()), 0);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1].text, u"No radio here.");
    sock_->SetSettingsStore(nullptr);
}

TEST_F(CeSockTest, DataSentWithoutTheRadioWaitsAndGoesOutInOneSendWhenItReturns) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    associated_ = 0;
    EXPECT_EQ(sock_->Send("abc", 3), 0);
    EXPECT_TRUE(sock_->IsNotAssociated());
    ASSERT_NE(sock_->GetConnectingWnd(), nullptr);
    EXPECT_EQ(sock_->GetConnectingWnd()->GetText(), LoadResourceText(6058, 100));
    EXPECT_TRUE(WaitFor([] { return FindConnectingWindow() != 0; }));
    EXPECT_EQ(sounds_.size(), 1u);
    EXPECT_EQ(sock_->Send("def", 3), 0);
    EXPECT_EQ(sock_->GetBlockedLength(), 6u);
    PollTimes(3);
    EXPECT_EQ(ScriptedTcpHost::ReadSome(peer, 50), "");

    associated_ = 1;
    sock_->Poll();
    EXPECT_EQ(ScriptedTcpHost::ReadSome(peer), "abcdef");
    EXPECT_FALSE(sock_->IsNotAssociated());
    EXPECT_EQ(sock_->GetConnectingWnd(), nullptr);
    EXPECT_EQ(FindConnectingWindow(), 0u);
    EXPECT_TRUE(commands_.empty());
}

// A long reply is many segments gathered into one write: the radio is asked
// once, at that write, and its answer then holds for every segment.
TEST_F(CeSockTest, ABatchAsksForTheRadioOnceAtItsWrite) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    constexpr int kSegments = 40;
    std::string reply;
    for (int i = 0; i < kSegments; ++i) reply += "\x02seg" + std::to_string(i) + (i + 1 < kSegments ? "\x03" : "\x17");
    // The radio's state while the segments are gathered, then from the last
    // one on.
    BOOL whileGathering = 1;
    BOOL fromTheLast = 1;
    const auto sendSegments = [&](const std::string& bytes) {
        associated_ = whileGathering;
        for (size_t at = 0; at < bytes.size();) {
            const size_t end = bytes.find_first_of("\x03\x17", at) + 1;
            if (end == bytes.size()) associated_ = fromTheLast;
            sock_->Send(bytes.data() + at, int(end - at));
            at = end;
        }
    };
    int reads = 0;
    const auto hostWrites = [&] {
        ScriptedTcpHost::Write(peer, "go");
        ++reads;
        return PollUntil([&] { return received_.size() == 2u * size_t(reads); });
    };

    for (const BOOL gathering : {1, 0}) {
        SCOPED_TRACE(gathering ? "associated throughout" : "radio back by the write");
        whileGathering = gathering;
        fromTheLast = 1;
        questions_ = 0;
        onRead_ = [&] { sendSegments(reply); };
        ASSERT_TRUE(hostWrites());
        EXPECT_EQ(questions_, 1);
        EXPECT_EQ(ScriptedTcpHost::ReadExactly(peer, reply.size()), reply);
        EXPECT_EQ(sock_->GetBlockedLength(), 0u);
        EXPECT_FALSE(sock_->IsNotAssociated());
    }

    // The radio gone at the write, at the packet's end or at the end of the
    // read (a packet not finished yet): the whole batch, and what the
    // handler sends after it, waits behind the waiting window.
    const std::string unfinished = reply.substr(0, reply.size() - 1) + "\x03";
    for (const bool atPacketEnd : {true, false}) {
        SCOPED_TRACE(atPacketEnd ? "gone at the packet's end" : "gone at the read's end");
        whileGathering = 1;
        fromTheLast = atPacketEnd ? 0 : 1;
        onRead_ = [&] {
            sendSegments(atPacketEnd ? reply : unfinished);
            if (atPacketEnd)
                sock_->Send("after", 5);
            else
                associated_ = 0;
        };
        const std::string held = atPacketEnd ? reply + "after" : unfinished;
        const size_t soundsBefore = sounds_.size();
        ASSERT_TRUE(hostWrites());
        onRead_ = nullptr;
        EXPECT_EQ(sock_->GetBlockedLength(), held.size());
        EXPECT_TRUE(sock_->IsNotAssociated());
        ASSERT_NE(sock_->GetConnectingWnd(), nullptr);
        EXPECT_EQ(sounds_.size(), soundsBefore + 1);
        PollTimes(3);
        EXPECT_EQ(ScriptedTcpHost::ReadSome(peer, 50), "");

        associated_ = 1;
        sock_->Poll();
        EXPECT_EQ(ScriptedTcpHost::ReadExactly(peer, held.size()), held);
        EXPECT_FALSE(sock_->IsNotAssociated());
        EXPECT_EQ(sock_->GetConnectingWnd(), nullptr);
    }
}

TEST_F(CeSockTest, TheWaitingWindowsTextComesFromTheSettingsCutToItsField) {
    ScriptedTcpHost host;
    ASSERT_GE(Connect(host), 0);
    CSettingsStore store;
    const std::u16string longText(150, u'w');
    store.SetString(SETTING_NOT_ASSOCIATED_TEXT, longText.c_str());
    sock_->SetSettingsStore(&store);
    associated_ = 0;
    EXPECT_EQ(sock_->Send("abc", 3), 0);
    ASSERT_NE(sock_->GetConnectingWnd(), nullptr);
    EXPECT_EQ(sock_->GetConnectingWnd()->GetText(), longText.substr(0, 99));
    sock_->Close();
    sock_->SetSettingsStore(nullptr);
}

TEST_F(CeSockTest, CancellingTheWaitWithoutTheRadioEndsTheSession) {
    ScriptedTcpHost host;
    const int peer = Connect(host);
    ASSERT_GE(peer, 0);
    associated_ = 0;
    EXPECT_EQ(sock_->Send("abc", 3), 0);
    TapCancelWhenShown();
    ASSERT_TRUE(WaitFor([&] { return sock_->GetConnectingWnd()->IsCancelled() == TRUE; }));
    ASSERT_TRUE(PollUntil([&] { return !commands_.empty(); }));
    EXPECT_EQ(commands_, std::vector<WORD>{WORD(ID_SESSION_ENDED)});
    EXPECT_EQ(sock_->GetConnectingWnd(), nullptr);
    EXPECT_EQ(FindConnectingWindow(), 0u);
    EXPECT_EQ(ScriptedTcpHost::ReadSome(peer, 50), "");
}

// ---- the connecting window on its own ----

class ConnectingWndTest : public ShellTest {
protected:
    void TearDown() override {
        if (main_) DestroyWindow(main_);
        SetShellMainWindow(0);
        ShellTest::TearDown();
    }
    // A main window at 20,40 of 240 x 300.
    void MakeMainWindow() {
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"ConnectingTestMain";
        RegisterClass(&wc);
        main_ = CreateWindowEx(0, wc.lpszClassName, u"", WS_POPUP | WS_VISIBLE, 20, 40, 240, 300, 0, 0, nullptr, nullptr);
        SetShellMainWindow(main_);
    }
    HWND main_ = 0;
};

TEST_F(ConnectingWndTest, ShowsCentredOnTheMainWindowWithItsCancelButton) {
    MakeMainWindow();
    CConnectingWnd wnd(u"10.1.2.3", nullptr, TRUE);
    ASSERT_TRUE(WaitFor([&] { return wnd.GetWindow() && GetDlgItem(wnd.GetWindow(), IDCANCEL); }));
    const HWND window = wnd.GetWindow();
    RECT r{};
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 20 + (240 - 200) / 2);
    EXPECT_EQ(r.top, 40 + (300 - 100) / 2);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.bottom - r.top, 100);
    const HWND button = GetDlgItem(window, IDCANCEL);
    EXPECT_EQ(plat::window::GetWindowString(button), u"Cancel");
    RECT b{};
    GetWindowRect(button, &b);
    EXPECT_EQ(b.left - r.left, (200 - 75) / 2);
    EXPECT_EQ(b.top - r.top, 100 - 40);
    EXPECT_EQ(wnd.GetText(), u"\nConnecting To:\n10.1.2.3");
    EXPECT_FALSE(wnd.IsCancelled());
    // Made behind the main window, it comes in front of it to stay.
    EXPECT_TRUE(WaitFor([&] { return GetTopWindow(0) == window && GetForegroundWindow() == window; }));
    wnd.Close();
    EXPECT_EQ(wnd.GetWindow(), 0u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ConnectingWndTest, WithoutCancelThereIsNoButtonAndACustomTextReplacesTheWhole) {
    CConnectingWnd wnd(u"10.1.2.3", u"Waiting for the radio", FALSE);
    ASSERT_TRUE(WaitFor([&] { return wnd.GetWindow() != 0; }));
    // The button would be made while the window is created.
    EXPECT_EQ(GetDlgItem(wnd.GetWindow(), IDCANCEL), 0u);
    EXPECT_EQ(wnd.GetText(), u"Waiting for the radio");
}

TEST_F(ConnectingWndTest, EscapeCancelsAsTheButtonDoes) {
    CConnectingWnd wnd(u"10.1.2.3", nullptr, TRUE);
    ASSERT_TRUE(WaitFor([&] { return wnd.GetWindow() && GetForegroundWindow() == wnd.GetWindow(); }));
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    EXPECT_TRUE(WaitFor([&] { return wnd.IsCancelled() == TRUE; }));
    // The window stays until it is closed.
    EXPECT_TRUE(IsWindow(wnd.GetWindow()));
}

TEST_F(ConnectingWndTest, ClosingBeforeTheWindowExistsStillEndsItsThread) {
    for (int i = 0; i < 20; ++i) {
        CConnectingWnd wnd(u"10.1.2.3", nullptr, TRUE);
        wnd.Close();
        EXPECT_EQ(wnd.GetWindow(), 0u);
    }
    EXPECT_EQ(FindConnectingWindow(), 0u);
}

}  // namespace
}  // namespace shelltest

// Windows of another program of the same device root: found by FindWindow,
// reached by PostMessage, SendMessage, ShowWindow and SetForegroundWindow,
// and gone with the program. The other program is this test binary run again
// in its peer role.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Screen.h"
#include "platform/Window.h"

extern char** environ;

namespace {

constexpr UINT kDouble = WM_USER + 1, kRemember = WM_USER + 2, kRemembered = WM_USER + 3, kVisible = WM_USER + 4,
               kInFront = WM_USER + 5;
WPARAM g_remembered = 0;

LRESULT CALLBACK_PeerMain(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case kDouble: return LRESULT(w * 2);
    case kRemember: g_remembered = w; return 0;
    case kRemembered: return LRESULT(g_remembered);
    case kVisible: return IsWindowVisible(h);
    case kInFront: return GetForegroundWindow() == h;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

// The other program: a hidden main window, and another window in front.
TEST(CrossProcess, PeerRole) {
    const char* fdText = std::getenv("ORVADE_WINDOW_PEER");
    if (!fdText) GTEST_SKIP() << "run by AnotherProgramsWindowsAreFoundAndReached";
    WNDCLASS wc{};
    wc.lpfnWndProc = CALLBACK_PeerMain;
    wc.lpszClassName = u"PeerMain";
    ASSERT_NE(RegisterClass(&wc), 0);
    const HWND main = CreateWindowEx(0, u"PeerMain", u"Peer Program", WS_POPUP, 0, 0, 100, 100, 0, 0, nullptr, nullptr);
    const HWND other = CreateWindowEx(0, u"PeerMain", u"Other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    ASSERT_TRUE(main && other);
    SetForegroundWindow(other);
    const int fd = std::atoi(fdText);
    ASSERT_EQ(write(fd, "1", 1), 1);
    close(fd);
    MSG m;
    while (GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
}

TEST(CrossProcess, AnotherProgramsWindowsAreFoundAndReached) {
    if (std::getenv("ORVADE_WINDOW_PEER")) GTEST_SKIP();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("ORVADE_WINDOW_PEER=" + std::to_string(ready[1]));
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe", filter = "--gtest_filter=CrossProcess.PeerRole";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    pollfd pfd{ready[0], POLLIN, 0};
    char c = 0;
    ASSERT_EQ(poll(&pfd, 1, 20000), 1);
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);

    const HWND h = FindWindow(u"peermain", u"Peer Program");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(FindWindow(nullptr, u"Peer Program"), h);
    EXPECT_TRUE(IsWindow(h));
    DWORD owner = 0;
    EXPECT_NE(GetWindowThreadProcessId(h, &owner), 0u);
    EXPECT_EQ(owner, DWORD(pid));
    EXPECT_EQ(SendMessage(h, kDouble, 21, 0), 42);
    // A pointer means nothing in another program: such system messages are refused.
    EXPECT_EQ(SendMessage(h, WM_SETTEXT, 0, LPARAM(u"Renamed")), 0);
    EXPECT_EQ(FindWindow(nullptr, u"Peer Program"), h);
    EXPECT_TRUE(PostMessage(h, kRemember, 7, 0));
    EXPECT_TRUE(eventually([&] { return SendMessage(h, kRemembered, 0, 0) == 7; }));
    EXPECT_FALSE(SendMessage(h, kVisible, 0, 0));
    ShowWindow(h, SW_SHOW);
    EXPECT_TRUE(eventually([&] { return SendMessage(h, kVisible, 0, 0) != 0; }));
    const HWND other = FindWindow(u"PeerMain", u"Other");
    ASSERT_NE(other, 0u);
    EXPECT_TRUE(SetForegroundWindow(other));
    EXPECT_TRUE(eventually([&] { return SendMessage(h, kInFront, 0, 0) == 0; }));
    EXPECT_TRUE(SetForegroundWindow(h));
    EXPECT_TRUE(eventually([&] { return SendMessage(h, kInFront, 0, 0) != 0; }));

    // The program ends; its windows go with it.
    PostMessage(h, WM_CLOSE, 0, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(FindWindow(u"PeerMain", nullptr), 0u);
    EXPECT_FALSE(PostMessage(h, kRemember, 1, 0));
}

// Two libraries loaded with RTLD_LOCAL share the program's platform state:
// windows, queues, timers, the clock offset and the device root.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Window.h"

namespace {

struct Peer {
    explicit Peer(const char* name) {
        handle = dlopen((std::string(FIXTURE_DIR) + "/" + name + ".dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle, nullptr) << dlerror();
    }
    ~Peer() {
        if (handle) dlclose(handle);
    }
    template <typename Fn>
    Fn get(const char* symbol) {
        auto fn = reinterpret_cast<Fn>(dlsym(handle, symbol));
        EXPECT_NE(fn, nullptr) << symbol;
        return fn;
    }
    void* handle = nullptr;
};

}  // namespace

TEST(SharedState, LibrariesLoadedLocallyShareWindowsTimersClockAndRoot) {
    int received[3] = {0, 0, 0};
    UINT timerId = 0;
    const HWND mine = CreateMessageWindow([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_USER) ++received[0];
        if (msg == WM_USER + 1) ++received[1];
        if (msg == WM_TIMER) timerId = UINT(w);
        return msg == WM_USER + 1 ? LRESULT(w * 2) : 0;
    });
    ASSERT_NE(mine, 0u);
    {
        Peer a("PeerA"), b("PeerB");
        ASSERT_TRUE(a.handle && b.handle);
        ASSERT_NE(a.handle, b.handle);

        // A posts and sets a timer on the program's window; B sends from
        // another thread while the program pumps.
        EXPECT_TRUE(a.get<BOOL (*)(HWND, UINT, WPARAM)>("PeerPost")(mine, WM_USER, 0));
        EXPECT_EQ(a.get<UINT (*)(HWND, UINT, UINT)>("PeerSetTimer")(mine, 7, 10), 7u);
        LRESULT sendResult = 0;
        std::thread sender([&] { sendResult = b.get<LRESULT (*)(HWND, UINT, WPARAM)>("PeerSend")(mine, WM_USER + 1, 21); });
        MSG m;
        while ((received[0] == 0 || received[1] == 0 || timerId == 0) && GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
        sender.join();
        KillTimer(mine, 7);
        EXPECT_EQ(sendResult, 42);
        EXPECT_EQ(timerId, 7u);

        // A's window is a window to B and to the program.
        const HWND theirs = a.get<HWND (*)()>("PeerMakeWindow")();
        ASSERT_NE(theirs, 0u);
        EXPECT_TRUE(b.get<BOOL (*)(HWND)>("PeerIsWindow")(theirs));
        EXPECT_TRUE(b.get<BOOL (*)(HWND, UINT, WPARAM)>("PeerPost")(theirs, WM_USER, 0));
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
        EXPECT_EQ(a.get<int (*)()>("PeerReceived")(), 1);
        EXPECT_EQ(b.get<int (*)()>("PeerReceived")(), 0);
        DestroyWindow(theirs);

        plat::clock::SetDeviceClockOffsetMs(123456);
        EXPECT_EQ(a.get<int64_t (*)()>("PeerClockOffset")(), 123456);
        EXPECT_EQ(b.get<int64_t (*)()>("PeerClockOffset")(), 123456);
        plat::clock::SetDeviceClockOffsetMs(0);

        const std::string root = std::filesystem::temp_directory_path() / "orvade-shared-root";
        const std::string before = plat::fs::DeviceRoot();
        plat::fs::SetDeviceRoot(root);
        char seen[512];
        b.get<void (*)(char*, size_t)>("PeerDeviceRoot")(seen, sizeof seen);
        EXPECT_EQ(std::string(seen), plat::fs::DeviceRoot());
        plat::fs::SetDeviceRoot(before);
    }
    DestroyWindow(mine);
}

// Lectrum copied into a fresh device root's "EXT2" folder and loaded from
// there; its scanners are the simulated ones of the vendor stand-in (pipes
// in the device root) unless a test puts a fake "TVSCAN32.dll" into the
// program folder first.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Library.h"
#include "platform/Message.h"
#include "platform/exports/ScannerExports.h"
#include "tests/core/support/DeviceRoot.h"

namespace lectrumtest {

constexpr char16_t kProgramFolder[] = u"\\Program Files\\Orvade Client";
constexpr UINT kBase = WM_USER + 21;

class LectrumTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        plat::fs::SetProgramFolder(kProgramFolder);
        program_ = root_ / "Program Files" / "Orvade Client";
        std::filesystem::create_directories(program_ / "EXT2");
        std::filesystem::copy_file(LECTRUM_LIBRARY, program_ / "EXT2" / "Lectrum.dll");
        window_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
            messages_.push_back(message);
            return 0;
        });
    }
    void TearDown() override {
        if (lectrum_) {
            Fn<int (*)()>("Shutdown")();
            FreeLibrary(lectrum_);
        }
        for (HMODULE module : held_) FreeLibrary(module);
        DestroyWindow(window_);
        plat::fs::SetProgramFolder(u"");
        DeviceRootTest::TearDown();
    }

    HMODULE Lectrum() {
        if (!lectrum_) lectrum_ = LoadLibrary(u"\\Program Files\\Orvade Client\\EXT2\\Lectrum.dll");
        EXPECT_NE(lectrum_, nullptr);
        return lectrum_;
    }
    template <typename F>
    F Fn(const char* name) {
        F f = GetProc<F>(Lectrum(), name);
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    // Installs a fixture as the program folder's "TVSCAN32.dll" and holds it.
    HMODULE FakeVendor() {
        std::filesystem::copy_file(std::filesystem::path(FIXTURE_DIR) / "FakeTvScan.dll", program_ / "TVSCAN32.dll");
        HMODULE fake = LoadLibrary(u"\\Program Files\\Orvade Client\\TVSCAN32.dll");
        EXPECT_NE(fake, nullptr);
        held_.push_back(fake);
        return fake;
    }

    BOOL Initialize(int* count, int maximum = 100, HWND window = 0) {
        return Fn<ScnInitializeMultipleScanners_fn>("ScnInitializeMultipleScanners")(window ? window : window_, kBase,
                                                                                     u"", count, maximum);
    }
    void Pipe(int number) {
        ASSERT_EQ(mkfifo((root_ / ("Scanner" + std::to_string(number) + ".fifo")).c_str(), 0600), 0);
    }
    // One label line into a scanner's pipe.
    void Scan(int number, const std::string& line) {
        const int fd = open((root_ / ("Scanner" + std::to_string(number) + ".fifo")).c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string text = line + "\n";
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    }
    // Serves the queue until the message has come (or 10 s have passed).
    bool WaitFor(UINT message) {
        for (int i = 0; i < 1000; ++i) {
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            for (size_t k = 0; k < messages_.size(); ++k) {
                if (messages_[k] == message) {
                    messages_.erase(messages_.begin() + static_cast<long>(k));
                    return true;
                }
            }
            WaitMessageTimeout(10);
        }
        return false;
    }

    std::filesystem::path program_;
    HMODULE lectrum_ = nullptr;
    std::vector<HMODULE> held_;
    HWND window_ = 0;
    std::vector<UINT> messages_;
};

}  // namespace lectrumtest

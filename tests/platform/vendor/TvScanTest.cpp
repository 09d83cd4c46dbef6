// The simulated vendor scanner library on its own: the pipe it makes, its
// statuses, and lines it cannot take.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/Message.h"
#include "platform/vendor/TvScanExports.h"
#include "tests/core/support/DeviceRoot.h"

namespace {

class TvScanTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        module_ = LoadLibrary(u"TVSCAN32.dll");
        ASSERT_NE(module_, nullptr);
        fn_.Bind(module_);
        window_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
            messages_.push_back(message);
            return 0;
        });
    }
    void TearDown() override {
        if (scanner_) fn_.TvScanClose(scanner_);
        if (buffer_) fn_.TvScanFreeBuffer(buffer_);
        DestroyWindow(window_);
        FreeLibrary(module_);
        DeviceRootTest::TearDown();
    }
    static std::vector<BYTE> Record(DWORD size) {
        std::vector<BYTE> record(size);
        std::memcpy(record.data(), &size, 4);
        return record;
    }
    void OpenFirst() {
        std::vector<BYTE> info = Record(TVSCAN_INFO_SIZE);
        TVHANDLE search = 0;
        ASSERT_EQ(fn_.TvScanFindFirst(info.data(), &search), TVSCAN_OK);
        fn_.TvScanFindClose(search);
        ASSERT_EQ(fn_.TvScanOpen(reinterpret_cast<const char16_t*>(info.data() + 8), &scanner_), TVSCAN_OK);
        buffer_ = static_cast<BYTE*>(fn_.TvScanAllocateBuffer(0, 1024));
        ASSERT_NE(buffer_, nullptr);
    }
    bool WaitForLabel() {
        for (int i = 0; i < 1000; ++i) {
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            if (!messages_.empty()) {
                messages_.clear();
                return true;
            }
            WaitMessageTimeout(10);
        }
        return false;
    }
    std::string Label() const {
        uint32_t offset, length;
        std::memcpy(&offset, buffer_ + 12, 4);
        std::memcpy(&length, buffer_ + 16, 4);
        return std::string(reinterpret_cast<const char*>(buffer_ + offset), length);
    }

    HMODULE module_ = nullptr;
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_TVSCAN_EXPORTS)
    } fn_;
    TVHANDLE scanner_ = 0;
    BYTE* buffer_ = nullptr;
    HWND window_ = 0;
    std::vector<UINT> messages_;
};

TEST_F(TvScanTest, TheFirstSearchMakesTheFirstPipe) {
    std::vector<BYTE> info = Record(TVSCAN_INFO_SIZE);
    TVHANDLE search = 0;
    ASSERT_EQ(fn_.TvScanFindFirst(info.data(), &search), TVSCAN_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.data() + 8)), u"SCN1:");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.data() + 32)), u"Simulated scanner 1");
    EXPECT_EQ(fn_.TvScanFindNext(search, info.data()), TVSCAN_E_NO_MORE);
    EXPECT_EQ(fn_.TvScanFindClose(search), TVSCAN_OK);
    struct stat st;
    ASSERT_EQ(lstat((root_ / "Scanner1.fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(fn_.TvScanOpen(u"SCN7:", &scanner_), TVSCAN_E_NOT_FOUND);
    std::vector<BYTE> shortRecord = Record(100);
    EXPECT_EQ(fn_.TvScanFindFirst(shortRecord.data(), &search), TVSCAN_E_PARAMETER);
}

TEST_F(TvScanTest, StatusesOfMisuse) {
    OpenFirst();
    std::vector<BYTE> status = Record(TVSCAN_STATUS_SIZE);
    EXPECT_EQ(fn_.TvScanGetDeviceStatus(12345, status.data()), TVSCAN_E_HANDLE);
    DWORD request = 0;
    EXPECT_EQ(fn_.TvScanRead(scanner_, buffer_, window_, WM_USER, 0, &request), TVSCAN_E_NOT_ENABLED);
    ASSERT_EQ(fn_.TvScanEnable(scanner_), TVSCAN_OK);
    EXPECT_EQ(fn_.TvScanEnable(scanner_), TVSCAN_E_ALREADY_ENABLED);
    EXPECT_EQ(fn_.TvScanCancelRead(scanner_), TVSCAN_E_NO_READ);
    int local = 0;
    EXPECT_EQ(fn_.TvScanRead(scanner_, &local, window_, WM_USER, 0, &request), TVSCAN_E_PARAMETER);  // not its buffer
    ASSERT_EQ(fn_.TvScanRead(scanner_, buffer_, window_, WM_USER, 0, &request), TVSCAN_OK);
    EXPECT_EQ(fn_.TvScanRead(scanner_, buffer_, window_, WM_USER, 0, &request), TVSCAN_E_READ_PENDING);
    ASSERT_EQ(fn_.TvScanGetDeviceStatus(scanner_, status.data()), TVSCAN_OK);
    EXPECT_EQ(status[12], TVSCAN_DEVICE_READING);
    ASSERT_EQ(fn_.TvScanCancelRead(scanner_), TVSCAN_OK);
    uint32_t word;
    std::memcpy(&word, buffer_ + 24, 4);
    EXPECT_EQ(word, TVSCAN_E_READ_CANCELLED);
    EXPECT_EQ(fn_.TvScanFreeBuffer(&local), TVSCAN_E_HANDLE);
}

TEST_F(TvScanTest, AnOverlongLineIsDroppedWholeAndTheNextOneTaken) {
    OpenFirst();
    ASSERT_EQ(fn_.TvScanEnable(scanner_), TVSCAN_OK);
    DWORD request = 0;
    ASSERT_EQ(fn_.TvScanRead(scanner_, buffer_, window_, WM_USER + 5, 0, &request), TVSCAN_OK);
    const int fd = open((root_ / "Scanner1.fifo").c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string lines = "CODE_39:" + std::string(9000, '7') + "\n\r\nCODE_39:ok\r\n";
    ASSERT_EQ(write(fd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    close(fd);
    ASSERT_TRUE(WaitForLabel());
    EXPECT_EQ(Label(), "ok");
    uint32_t type;
    std::memcpy(&type, buffer_ + 32, 4);
    EXPECT_EQ(type, 0x37u);
}

// A scanner whose decoders were never set answers none (nothing is copied
// from an empty list).
TEST_F(TvScanTest, AFreshScannerHasNoEnabledDecoders) {
    OpenFirst();
    std::vector<BYTE> decoders = Record(TVSCAN_DECODERS_SIZE);
    std::memset(decoders.data() + 8, 0xAA, TVSCAN_DECODERS_SIZE - 8);
    ASSERT_EQ(fn_.TvScanGetEnabledDecoders(scanner_, decoders.data()), TVSCAN_OK);
    EXPECT_EQ(std::vector<BYTE>(decoders.begin() + 8, decoders.end()), std::vector<BYTE>(TVSCAN_DECODERS_SIZE - 8, 0));
}

}  // namespace

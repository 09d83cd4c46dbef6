// A label scanned into the simulated scanner reaches the host as device data
// through the core, with Lectrum found in the client's "EXT2" folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "tests/core/session/CoreFixture.h"

namespace coretest {
namespace {

class CoreScanTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(CreateModuleContext());
        SetExtensionWindow(m_window);  // the core was made before the context
        plat::clock::SetTickSource(nullptr);  // the scanner waits in real time
        const std::filesystem::path ext2 = m_base / "Program Files" / "Orvade Client" / "EXT2";
        std::filesystem::create_directories(ext2);
        std::filesystem::copy_file(LECTRUM_LIBRARY, ext2 / "Lectrum.dll");
        ASSERT_EQ(mkfifo((m_base / "Scanner1.fifo").c_str(), 0600), 0);
    }

    void TearDown() override {
        CoreTest::TearDown();  // the core goes first
        DestroyModuleContext();
    }

    // What the control does with a scanner's message: the label offered to
    // the core as device data.
    LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (msg >= CScannerExtension::kScanMessage && msg < CScannerExtension::kScanMessage + 50) {
            CScannerExtension* scanner = GetModuleScanner();
            const std::optional<CScannerExtension::Label> label = scanner ? scanner->TakeLabel(msg, w, l) : std::nullopt;
            if (!label) return 0;
            const DeviceDataRecord record{1, 0, label->decoder, static_cast<int32_t>(label->text.size()),
                                          label->text.c_str()};
            m_core->OnDeviceData(&record);
            ++labels;
            return 0;
        }
        return CoreTest::OnMessage(msg, w, l);
    }

    void Scan(const std::string& line) {
        const int fd = open((m_base / "Scanner1.fifo").c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        close(fd);
    }
    bool Pump(int wantedLabels) {
        for (int i = 0; i < 1000 && labels < wantedLabels; ++i) {
            MSG msg;
            while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            if (labels < wantedLabels) WaitMessageTimeout(10);
        }
        return labels >= wantedLabels;
    }

    int labels = 0;
};

TEST_F(CoreScanTest, ALabelAnswersTheWaitingInputAndOneScannedMeanwhileWaitsForGetEvent) {
    m_core->Start();
    ASSERT_NE(GetModuleScanner(), nullptr);
    ASSERT_EQ(GetModuleScanner()->ScannerCount(), 1);

    // An input command switches the scanner on; the label answers it.
    Send(RfInputCommand(u"", 10, 0));
    Replies();
    EXPECT_EQ(GetModuleScanner()->GetScannerState(), SCANNER_READ_PENDING);
    Scan("CODE_39:12345\n");
    ASSERT_TRUE(Pump(1));
    std::vector<Bytes> replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], "5" + FD + "12345" + FD + "-1" + FC + "7");  // decoder index 7: CODE_39

    // Scanned while the host waits for nothing: queued as device data.
    if (GetModuleScanner()->GetScannerState() != SCANNER_READ_PENDING)
        GetModuleScanner()->SetScannerState(SCANNER_READ_PENDING);
    Scan("EAN_8:96385074\n");
    ASSERT_TRUE(Pump(2));
    EXPECT_TRUE(Replies().empty());
    Send("1" + FD);
    replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_NE(replies[0].find("96385074"), std::string::npos) << replies[0];
    m_core.reset();
}

}  // namespace
}  // namespace coretest

// The barcode and scanner commands through the core, on a scanner that keeps
// its decoder lists and records.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "CoreFixture.h"

namespace {

using namespace coretest;
namespace fsys = std::filesystem;

const Bytes FB = "\xFB";

struct DecoderScanner : FakeScanner {
    std::vector<uint8_t> supported = {0x30, 0x32, 0x37, 0x3C, 0x52, 0x51, 0xF4};
    std::vector<uint8_t> enabled = {0x30, 0x32};
    std::map<int, std::array<int32_t, DECODER_RECORD_WORDS>> records;
    std::vector<int> writes;
    bool failRecords = false;
    const std::map<std::string, int> names = {{"UPC_E0", 0x30}, {"UPC_A", 0x32}, {"CODE_39", 0x37},
                                              {"CODE_128", 0x3C}, {"SIGNATURE", 0x52}, {"IMAGE", 0x51},
                                              {"SUPPS", 0xF4}};
    bool GetSupportedDecoders(std::vector<uint8_t>* d) override { return *d = supported, true; }
    bool GetEnabledDecoders(std::vector<uint8_t>* d) override { return *d = enabled, true; }
    bool SetEnabledDecoders(const std::vector<uint8_t>& d) override { return enabled = d, true; }
    bool GetDecoderParameters(int decoder, int32_t (&record)[DECODER_RECORD_WORDS]) override {
        if (failRecords) return false;
        std::copy(records[decoder].begin(), records[decoder].end(), record);
        return true;
    }
    bool SetDecoderParameters(int decoder, const int32_t (&record)[DECODER_RECORD_WORDS]) override {
        std::copy(record, record + DECODER_RECORD_WORDS, records[decoder].begin());
        writes.push_back(decoder);
        return true;
    }
    int SymbologyCode(std::string_view name) override {
        auto it = names.find(std::string(name));
        return it == names.end() ? SYMBOLOGY_UNKNOWN : it->second;
    }
    std::u16string SymbologyName(int code) override {
        for (const auto& [name, c] : names)
            if (c == code && name != "SUPPS") return std::u16string(name.begin(), name.end());
        return code == 0xF4 ? u"UPC_EAN_SETTINGS" : u"";
    }
    std::vector<uint8_t> Sorted() const {
        std::vector<uint8_t> s = enabled;
        std::sort(s.begin(), s.end());
        return s;
    }
};

class BarcodeCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetScanner(&m_decoders);
        m_core->SetAppDirectory(u"\\App");
        fsys::create_directories(m_base / "App");
    }
    Bytes Ask(const Bytes& command) {
        Send(command);
        const std::vector<Bytes> replies = Replies();
        return replies.empty() ? Bytes("(none)") : replies.back();
    }
    // names, parameters, enabled, minimums, maximums, mode
    static Bytes Stream(const std::vector<std::array<Bytes, 5>>& items, const Bytes& mode = "") {
        Bytes lists[5];
        for (const auto& item : items)
            for (int i = 0; i < 5; ++i) lists[i] += FB + item[i];
        Bytes out = lists[0];
        for (int i = 1; i < 5; ++i) out += FC + lists[i];
        return out + FC + mode;
    }
    DecoderScanner m_decoders;
};

TEST_F(BarcodeCommandsTest, SetDecodersEnablesDisablesAndSetsRecords) {
    EXPECT_EQ(Ask("E" + FD + Stream({{"CODE_39", "1", "1", "4", "20"}, {"UPC_A", "0", "0", "0", "0"},
                                     {"code_39", "0", "0", "0", "0"}, {"NOPE", "0", "1", "0", "0"}})),
              "E" + FD + "1");
    EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x30, 0x37}));
    EXPECT_EQ(m_decoders.records[0x37][0], 4);
    EXPECT_EQ(m_decoders.records[0x37][1], 20);
    EXPECT_EQ(m_decoders.records[0x37][5], 1);
    // The same again changes no record.
    m_decoders.writes.clear();
    Send("E" + FD + Stream({{"CODE_39", "1", "1", "4", "20"}}));
    EXPECT_TRUE(m_decoders.writes.empty());
    // The UPC/EAN settings take the lengths as flags in words 3 and 4 only.
    Send("E" + FD + Stream({{"SUPPS", "7", "1", "5", "0"}}));
    EXPECT_EQ(m_decoders.records[0xF4][0], 0);
    EXPECT_EQ(m_decoders.records[0xF4][3], 1);
    EXPECT_EQ(m_decoders.records[0xF4][4], 0);
    EXPECT_EQ(m_decoders.records[0xF4][5], 7);
    EXPECT_EQ(m_decoders.records[0xF4][6], 10);
}

TEST_F(BarcodeCommandsTest, OnlyZeroAndTwoDisableADecoder) {
    for (const char* value : {"1", "3", "-1", "7"}) {
        SCOPED_TRACE(value);
        Send("E" + FD + Stream({}, "1"));
        Send("E" + FD + Stream({{"CODE_39", "0", value, "0", "0"}}));
        EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x37}));
    }
    for (const char* value : {"0", "2", ""}) {
        SCOPED_TRACE(value);
        Send("E" + FD + Stream({{"CODE_39", "0", "1", "0", "0"}}, "1"));
        Send("E" + FD + Stream({{"CODE_39", "0", value, "0", "0"}}));
        EXPECT_TRUE(m_decoders.Sorted().empty());
    }
}

TEST_F(BarcodeCommandsTest, ListModesAndAFailedRecord) {
    Send("E" + FD + Stream({}, "2"));
    EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x30, 0x32, 0x37, 0x3C}));
    Send("E" + FD + Stream({{"CODE_128", "0", "1", "0", "0"}}, "1"));
    EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x3C}));
    // Without the decoder's record, the list still changes and no record is written.
    m_decoders.failRecords = true;
    m_decoders.writes.clear();
    Send("E" + FD + Stream({{"CODE_39", "3", "1", "1", "9"}}));
    EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x37, 0x3C}));
    EXPECT_TRUE(m_decoders.writes.empty());
}

TEST_F(BarcodeCommandsTest, PushThenPullRestoresTheSetUpAndRemovesTheFile) {
    m_decoders.records[0x37] = {2, 30, 0, 0, 0, 1};
    m_decoders.enabled = {0x30, 0x32, 0x37};
    EXPECT_EQ(Ask("J" + FD + "setup.BAR"), "J" + FD + "0");
    ASSERT_TRUE(fsys::exists(m_base / "App" / "BARCODES" / "setup.BAR"));
    EXPECT_EQ(Ask("L" + FD), "L" + FD + "setup.BAR" + FD);
    Send("E" + FD + Stream({}, "1"));
    m_decoders.records[0x37] = {};
    EXPECT_TRUE(m_decoders.Sorted().empty());
    // No dot: ".BAR" is appended for the apply and for the delete.
    EXPECT_EQ(Ask("K" + FD + "setup"), "K" + FD + "0");
    EXPECT_EQ(m_decoders.Sorted(), (std::vector<uint8_t>{0x30, 0x32, 0x37}));
    EXPECT_EQ(m_decoders.records[0x37][1], 30);
    EXPECT_FALSE(fsys::exists(m_base / "App" / "BARCODES" / "setup.BAR"));
    EXPECT_EQ(Ask("K" + FD + "setup"), "K" + FD + "1");
}

TEST_F(BarcodeCommandsTest, ScannerOnAndNoScanner) {
    EXPECT_EQ(Ask("e" + FD + "none"), "e" + FD + "1");
    EXPECT_TRUE(m_core->InputState().scannerWanted);
    ICoreScanner none;
    m_core->SetScanner(&none);
    EXPECT_EQ(Ask("E" + FD + Stream({{"CODE_39", "1", "1", "4", "20"}})), "E" + FD + "1");
    EXPECT_EQ(Ask("e" + FD + "none"), "e" + FD + "0");
    EXPECT_EQ(Ask("J" + FD + "empty.BAR"), "J" + FD + "0");
    EXPECT_EQ(fsys::file_size(m_base / "App" / "BARCODES" / "empty.BAR"), 0u);
    EXPECT_EQ(Ask("D" + FD), "(none)");
    m_core->SetScanner(nullptr);
}

}  // namespace

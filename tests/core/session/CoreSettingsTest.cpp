// Settings, decoder settings, automation queries, cell metrics and the back buffer.
#include <algorithm>
#include <array>
#include <map>

#include "CoreFixture.h"

namespace coretest {
namespace {

// A scanner with a decoder table and per-decoder parameter records.
struct DecoderScanner : FakeScanner {
    std::map<int, std::array<int32_t, DECODER_RECORD_WORDS>> records;
    std::vector<uint8_t> enabled{1, 2};
    int writes = 0;
    int SymbologyCode(std::string_view name) override {
        if (name == "Code39") return 55;
        if (name == "UPCE0") return 48;
        return SYMBOLOGY_UNKNOWN;
    }
    bool GetSupportedDecoders(std::vector<uint8_t>* d) override {
        *d = {48, 49, 50, 52, 53, 55};
        return true;
    }
    bool GetEnabledDecoders(std::vector<uint8_t>* d) override {
        *d = enabled;
        return true;
    }
    bool SetEnabledDecoders(const std::vector<uint8_t>& d) override {
        enabled = d;
        return true;
    }
    bool GetDecoderParameters(int decoder, int32_t (&record)[DECODER_RECORD_WORDS]) override {
        auto& r = records[decoder];
        std::copy(r.begin(), r.end(), record);
        return true;
    }
    bool SetDecoderParameters(int decoder, const int32_t (&record)[DECODER_RECORD_WORDS]) override {
        ++writes;
        std::copy(record, record + DECODER_RECORD_WORDS, records[decoder].begin());
        return true;
    }
};

class CoreSettingsTest : public CoreTest {
protected:
    DecoderScanner m_decoderScanner;
    bool HasTriple(int32_t decoder, int32_t parameter, int32_t value) {
        for (const DecoderTriple& t : m_core->Decoders().Settings()) {
            if (t.decoder == decoder && t.parameter == parameter) return t.value == value;
        }
        return false;
    }
};

TEST_F(CoreSettingsTest, FeatureArraysHaveOneEntry) {
    EXPECT_EQ(m_core->Settings().SetIntSetting(1, 5), CClientCore::kInvalidArg);
    EXPECT_EQ(m_core->Settings().SetIntSetting(-1, 5), CClientCore::kInvalidArg);
    EXPECT_EQ(m_core->Settings().SetIntSetting(0, 5), CClientCore::kOk);
    EXPECT_EQ(m_core->Settings().GetFeatureNumber(0), 5u);
    EXPECT_EQ(m_core->Settings().SetStringSetting(1, u"x"), CClientCore::kInvalidArg);
    EXPECT_EQ(m_core->Settings().SetStringSetting(0, u"first"), CClientCore::kOk);
    EXPECT_EQ(m_core->Settings().SetStringSetting(0, u"second"), CClientCore::kOk);
    EXPECT_EQ(std::u16string(m_core->Settings().GetFeatureString(0)), u"second");
}

TEST_F(CoreSettingsTest, RangeChecks) {
    struct Case {
        void (CSessionSettings::*set)(int32_t);
        int32_t (CSessionSettings::*get)() const;
        int32_t stored;
        int32_t ignored;
    };
    const Case cases[] = {
        {&CSessionSettings::SetReconnectDelay, &CSessionSettings::GetReconnectDelay, 120000, 120001},
        {&CSessionSettings::SetRadioWakeDelay, &CSessionSettings::GetRadioWakeDelay, 20000, 20001},
        {&CSessionSettings::SetRSSIThreshold, &CSessionSettings::GetRSSIThreshold, -70, 5},
        {&CSessionSettings::SetScanAheadMode, &CSessionSettings::GetScanAheadMode, 2, 3},
    };
    for (const Case& c : cases) {
        CSessionSettings& settings = m_core->Settings();
        (settings.*c.set)(c.stored);
        (settings.*c.set)(c.ignored);
        EXPECT_EQ((settings.*c.get)(), c.stored);
    }
    // Every value below 3 is stored, negative ones too.
    m_core->Settings().SetScanAheadMode(-1);
    EXPECT_EQ(m_core->Settings().GetScanAheadMode(), -1);
}

TEST_F(CoreSettingsTest, DecoderSettersCheckRangesAndKeepOneTriplePerParameter) {
    m_core->Decoders().SetSuppRetries(1);
    m_core->Decoders().SetSuppRetries(11);
    EXPECT_TRUE(m_core->Decoders().Settings().empty());
    m_core->Decoders().SetSuppRetries(2);
    m_core->Decoders().SetSuppRetries(10);
    EXPECT_EQ(m_core->Decoders().Settings().size(), 1u);
    EXPECT_TRUE(HasTriple(244, 4, 10));
    m_core->Decoders().SetSuppMode(3);
    EXPECT_FALSE(HasTriple(244, 3, 3));
    m_core->Decoders().SetCode39FA(7);
    EXPECT_TRUE(HasTriple(55, 3, 1));
    m_core->Decoders().SetUPCE0Options(2);
    EXPECT_TRUE(HasTriple(48, 0, 0));
    EXPECT_TRUE(HasTriple(48, 1, 1));
}

TEST_F(CoreSettingsTest, DecoderSetterWritesTheScannersRecord) {
    m_core->SetScanner(&m_decoderScanner);
    m_decoderScanner.state = SCANNER_STATE_ON;
    m_core->Decoders().SetSupp5(1);
    EXPECT_EQ(m_decoderScanner.records[244][2 + 2], 1);
    EXPECT_EQ(m_decoderScanner.state, SCANNER_STATE_OFF);
}

TEST_F(CoreSettingsTest, SymbolOverrideEnablesAndDisables) {
    m_core->SetScanner(&m_decoderScanner);
    m_decoderScanner.enabled = {48};
    m_core->Decoders().SetSymbolOverride(u" Code39, Nonsense ,-UPCE0");
    EXPECT_TRUE(HasTriple(55, -1, 1));
    EXPECT_TRUE(HasTriple(48, -1, 0));
    EXPECT_EQ(m_core->Decoders().Settings().size(), 2u);
    EXPECT_EQ(m_decoderScanner.enabled, (std::vector<uint8_t>{55}));
}

TEST_F(CoreSettingsTest, ApplyingDecoderSettingsWritesOnlyChangedRecords) {
    m_core->SetScanner(&m_decoderScanner);
    m_core->Decoders().SetCode39FA(1);
    m_core->Decoders().SetSymbolOverride(u"-Code39");
    // The scanner as it is found at start.
    m_decoderScanner.records.clear();
    m_decoderScanner.records[55][1] = 1;
    m_decoderScanner.enabled = {55, 49};
    m_decoderScanner.writes = 0;
    m_core->Decoders().Apply();
    EXPECT_TRUE(HasTriple(48, 4, 1));
    EXPECT_EQ(m_decoderScanner.records[55][3 + 2], 1);
    EXPECT_EQ(m_decoderScanner.records[55][1], 0);
    EXPECT_EQ(m_decoderScanner.records[48][4 + 2], 1);
    EXPECT_EQ(m_decoderScanner.records[53][1 + 2], 1);
    EXPECT_EQ(m_decoderScanner.enabled, (std::vector<uint8_t>{49}));
    // 55 twice (its enabled-state setting starts a run), 48, 50, 52, 53; 49 is unchanged.
    EXPECT_EQ(m_decoderScanner.writes, 6);
}

TEST_F(CoreSettingsTest, ScannerOnExitIsKeptWithoutAScannerAndAppliedAtTheEnd) {
    m_core->Settings().SetEnableScannerOnExit(1);
    EXPECT_EQ(m_core->Settings().GetEnableScannerOnExit(), 1);
    m_core->SetScanner(&m_scanner);
    m_core.reset();
    EXPECT_EQ(m_scanner.state, SCANNER_STATE_ON);
}

TEST_F(CoreSettingsTest, SuspendAndResume) {
    m_core->SetScanner(&m_scanner);
    m_core->Input().EnableScanner(true);
    m_core->Suspend();
    EXPECT_EQ(m_scanner.state, SCANNER_STATE_OFF);
    m_core->Resume();
    EXPECT_EQ(m_scanner.state, SCANNER_STATE_ON);
    m_core->Input().EnableScanner(false);
    m_core->Resume();
    EXPECT_EQ(m_scanner.state, SCANNER_STATE_OFF);
}

TEST_F(CoreSettingsTest, CodePageReachesReplies) {
    m_core->Settings().SetCodePage(1251);
    Send("1" + FD);
    Type(u"\u0416");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"1" + FD + "\xC6"}));
}

TEST_F(CoreSettingsTest, AutomationQueries) {
    // The query as the automation libraries are given it.
    IExtensionHost& host = *m_core;
    const AutoQueryFn query = host.AutomationQueryFunction();
    void* core = host.AutomationQueryContext();
    EXPECT_EQ(query(nullptr, 0xA001, 0, 0), 0xA00B);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(query(nullptr, 0xA002, 0, 0))),
              u"OVOrvade");
    EXPECT_EQ(query(nullptr, 0xA003, 0, 0), 54100);
    EXPECT_EQ(query(core, 0xA00C, 0, 0), -1);
    EXPECT_EQ(query(nullptr, 0xA006, 112, 0), -1);
    EXPECT_EQ(query(nullptr, 0xA005, 0, 0), 0);
    EXPECT_EQ(query(core, 0xA008, 0, 0), -1);  // no menu box

    int32_t rows = 0;
    int32_t columns = 0;
    EXPECT_NE(query(core, 0xA005, reinterpret_cast<intptr_t>(&rows),
                                           reinterpret_cast<intptr_t>(&columns)),
              0);
    EXPECT_EQ(rows, 16);
    EXPECT_EQ(columns, 21);

    // Typing through the query, clearing the field first.
    Send(RfInputCommand(u"", 5, 0));
    Type(u"zz");
    query(core, 0xA007, reinterpret_cast<intptr_t>(u"ab\r"), 1);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab"}));
    EXPECT_EQ(query(core, 0xA004, 0, 0), 0);
    EXPECT_EQ(std::count(m_events.begin(), m_events.end(), "ended"), 1);
}

// ---- Cell metrics and the back buffer

struct ZeroFontCanvas : plat::draw::IFontMeasure {
    bool SelectFont(const std::u16string&, int, int, plat::draw::FontMetrics* m) override {
        *m = plat::draw::FontMetrics{};
        return true;
    }
};

TEST_F(CoreSettingsTest, WithoutFontsTheDefaultCellsFitTheWindow) {
    EXPECT_EQ(m_core->Screen().CellWidth(), 11);
    EXPECT_EQ(m_core->Screen().CellHeight(), 18);
    m_core->Resize(231, 288);
    m_core->Start();
    EXPECT_EQ(m_core->Screen().Columns(), 21);
    EXPECT_EQ(m_core->Screen().Rows(), 16);
    EXPECT_EQ(m_core->Screen().CellCount(), (16 + 3) * 21);
    CoreProperties properties = m_core->Settings().Properties();
    properties.cells.cellWidth = 10;
    properties.cells.cellHeight = 16;
    m_core->Settings().SetProperties(properties);
    m_core->UpdateCellMetrics();
    m_core->CreateBackBuffer();
    EXPECT_EQ(m_core->Screen().DoubleCellWidth(), 20);
    EXPECT_EQ(m_core->Screen().Columns(), 23);
    EXPECT_EQ(m_core->Screen().Rows(), 18);
}

TEST_F(CoreSettingsTest, AFontMeasuringNothingLeavesUsableCells) {
    ZeroFontCanvas fonts;
    m_core->SetFontMeasure(&fonts);
    m_core->Resize(240, 320);
    m_core->Start();
    EXPECT_GT(m_core->Screen().CellWidth(), 0);
    EXPECT_GT(m_core->Screen().CellHeight(), 0);
    EXPECT_GT(m_core->Screen().Columns(), 0);
}

TEST_F(CoreSettingsTest, AnyConfiguredFontSizeAsksForAPositiveHeight) {
    struct HeightCanvas : ZeroFontCanvas {
        std::vector<int> heights;
        bool SelectFont(const std::u16string& face, int height, int width, plat::draw::FontMetrics* m) override {
            heights.push_back(height);
            return ZeroFontCanvas::SelectFont(face, height, width, m);
        }
    };
    HeightCanvas fonts;
    HeightCanvas* seen = &fonts;
    m_core->SetFontMeasure(&fonts);
    m_core->Resize(240, 320);
    for (int32_t size : {12, 30000000, 0x7FFFFFFF}) {
        SCOPED_TRACE(size);
        CoreProperties properties = m_core->Settings().Properties();
        properties.cells.fontSize = size;
        m_core->Settings().SetProperties(properties);
        seen->heights.clear();
        m_core->UpdateCellMetrics();
        ASSERT_EQ(seen->heights.size(), 1u);
        EXPECT_GE(seen->heights[0], size == 12 ? 16 : 0x7FFFFFFF / 96);
    }
}

}  // namespace
}  // namespace coretest

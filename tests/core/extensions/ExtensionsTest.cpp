#include <gtest/gtest.h>

#include "ExtensionFixture.h"
#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "platform/Clock.h"

namespace extensionstest {
namespace {

class ExtensionsTest : public ExtensionTest {
protected:
    // The wrappers register with the module context, as under the control.
    void SetUp() override {
        ExtensionTest::SetUp();
        ASSERT_TRUE(CreateModuleContext());
        NewManager();
    }
    void TearDown() override {
        manager_.reset();
        DestroyModuleContext();
        plat::clock::SetTickSource(nullptr);
        ExtensionTest::TearDown();
    }
    // Loads the one installed scanner fake (held) into the manager.
    CScannerExtension* LoadScanner() {
        EXPECT_EQ(manager_->LoadFolder(u"\\EXT2"), 1);
        return GetModuleScanner();
    }
    void NewManager() {
        manager_ = std::make_unique<CExtensionManager>();
        RegisterExtensionFactories(*manager_);
    }
    std::unique_ptr<CExtensionManager> manager_;
};

using SetupFn = void (*)(int, BOOL);

TEST_F(ExtensionsTest, SkipListTypesAndFactoriesDecideWhatIsBound) {
    Install("FakeScanner", "\\EXT2", "pelmora.dll");  // a support library of the folder
    Install("FakeType2", "\\EXT2", "a.dll");          // no factory for type 2
    Install("FakeTypeNegative", "\\EXT2", "b.dll");   // never indexes the table
    Install("FakeNoProbe", "\\EXT2", "c.dll");
    Install("FakePrinter", "\\EXT2", "d.dll");
    Install("FakeNetwork", "\\EXT2", "e.dll");
    EXPECT_EQ(manager_->LoadFolder(u"\\EXT2"), 2);
    ASSERT_NE(manager_->First(), nullptr);
    EXPECT_EQ(manager_->First()->GetType(), EXTENSION_PRINTER);
    ASSERT_NE(manager_->First()->Next(), nullptr);
    EXPECT_EQ(manager_->First()->Next()->GetType(), EXTENSION_NETWORK);
    EXPECT_EQ(manager_->First()->Next()->Next(), nullptr);
    EXPECT_EQ(GetModuleScanner(), nullptr);

    for (const char16_t* name : {u"PELMORA.DLL", u"Duvane.dll", u"veltar.DLL", u"ovtbsvc.dll"})
        EXPECT_TRUE(CExtensionManager::IsSkipped(name)) << plat::text::WideToUtf8(name);
    EXPECT_FALSE(CExtensionManager::IsSkipped(u"Pelmora2.dll"));
    EXPECT_FALSE(manager_->SetFactory(8, nullptr));
    EXPECT_FALSE(manager_->SetFactory(-1, nullptr));
    EXPECT_TRUE(manager_->SetFactory(7, nullptr));
}

TEST_F(ExtensionsTest, PrinterNeedsEveryRequiredExportAndShutsDownOnlyWithAHandle) {
    HMODULE printer = InstallAndHold("FakePrinter", "\\P1");
    HMODULE noHandle = InstallAndHold("FakePrinterNoHandle", "\\P2");
    HMODULE incomplete = InstallAndHold("FakePrinterIncomplete", "\\P3");
    EXPECT_FALSE(manager_->LoadExtension(u"\\P3\\FakePrinterIncomplete.dll"));
    EXPECT_EQ(GetModulePrinter(), nullptr);
    EXPECT_EQ(Calls(incomplete), "");
    {
        CExtensionManager second;
        RegisterExtensionFactories(second);
        ASSERT_TRUE(second.LoadExtension(u"\\P2\\FakePrinterNoHandle.dll"));
        ASSERT_NE(GetModulePrinter(), nullptr);
        EXPECT_EQ(GetModulePrinter()->Handle(), 0);
    }
    EXPECT_EQ(Calls(noHandle), "Initialize;");  // no shutdown without a handle
    EXPECT_EQ(GetModulePrinter(), nullptr);
    ASSERT_TRUE(manager_->LoadExtension(u"\\P1\\FakePrinter.dll"));
    CPrinterExtension* wrapper = GetModulePrinter();
    ASSERT_NE(wrapper, nullptr);
    EXPECT_TRUE(wrapper->Connect());
    EXPECT_TRUE(wrapper->SendWakeupString());
    EXPECT_TRUE(wrapper->Send(reinterpret_cast<const BYTE*>("abc"), 3));
    EXPECT_TRUE(wrapper->Flush());
    wrapper->Disconnect();
    manager_.reset();
    EXPECT_EQ(Calls(printer), "Initialize;Connect;Wakeup;Send 3;Flush;Disconnect;Shutdown;");
}

TEST_F(ExtensionsTest, NetworkStatusIsAskedOnFirstUseThenAtMostTwiceASecond) {
    HMODULE refusing = InstallAndHold("FakeNetworkRefusing", "\\N1");
    EXPECT_FALSE(manager_->LoadExtension(u"\\N1\\FakeNetworkRefusing.dll"));
    EXPECT_EQ(Calls(refusing), "Initialize;");
    HMODULE network = InstallAndHold("FakeNetwork", "\\N2");
    DWORD now = 0;  // the first question reaches the library whatever the tick
    plat::clock::SetTickSource([&now] { return now; });
    ASSERT_TRUE(manager_->LoadExtension(u"\\N2\\FakeNetwork.dll"));
    CNetworkExtension* wrapper = GetModuleNetwork();
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(wrapper->GetAdapterStatus(), 1);
    now = 100;
    EXPECT_EQ(wrapper->GetAdapterStatus(), 1);
    now = 499;
    wrapper->GetAdapterStatus();
    now = 500;
    wrapper->GetAdapterStatus();
    EXPECT_EQ(Calls(network), "Initialize;Status 0;Status 0;");
    EXPECT_EQ(wrapper->GetSignalStrength(), -60);
    BYTE mac[6];
    EXPECT_EQ(wrapper->GetMACAddr(mac, 6), -1);  // the library lacks it
}

TEST_F(ExtensionsTest, SeveralScannersAskTheUserOncePerDescribedAlternative) {
    struct Case {
        int count;
        const char16_t* second;  // description of scanner 1
        std::vector<int> answers;
        int expectedCurrent;
        size_t expectedQuestions;
    } cases[] = {
        {2, u"Imager", {IDNO}, 0, 1},
        {2, u"Imager", {IDYES}, 1, 1},
        {3, nullptr, {IDYES}, 2, 1},  // scanner 1 has no description: asked for scanner 2 only
        {1, u"Imager", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        std::filesystem::remove_all(Host("\\EXT2"));
        HMODULE fake = InstallAndHold("FakeScanner", "\\EXT2");
        Call<SetupFn>(fake, "FakeSetScanners", c.count, TRUE);
        Call<void (*)(int, const char16_t*)>(fake, "FakeSetDescription", 1, c.second);
        boxes_.clear();
        answers_ = c.answers;
        NewManager();
        CScannerExtension* scanner = LoadScanner();
        ASSERT_NE(scanner, nullptr);
        EXPECT_EQ(scanner->CurrentScanner(), c.expectedCurrent);
        EXPECT_EQ(scanner->SelectedScanner(), c.expectedCurrent);
        ASSERT_EQ(boxes_.size(), c.expectedQuestions);
        if (!boxes_.empty()) {
            const std::u16string candidate = c.expectedCurrent == 2 || c.count == 3 ? u"Camera" : u"Imager";
            EXPECT_EQ(boxes_[0].text, u"Do you want to use the scanner \"" + candidate +
                                          u"\" instead of the default scanner \"Laser?\"");
            EXPECT_EQ(boxes_[0].caption, u"Scanner Selection");
            EXPECT_EQ(boxes_[0].style, MB_YESNO | MB_DEFBUTTON2);
        }
        manager_.reset();
        FreeLibrary(fake);
        held_.pop_back();
    }
}

TEST_F(ExtensionsTest, ScannerThatSwitchesItselfIsNotQuestioned) {
    HMODULE fake = InstallAndHold("FakeScannerSwitching", "\\EXT2");
    CScannerExtension* scanner = LoadScanner();
    ASSERT_NE(scanner, nullptr);
    EXPECT_EQ(scanner->CurrentScanner(), 1);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_NE(Calls(fake).find("SupportsSwitching 1044;"), std::string::npos);
    // Initialised with the control's scanner message, the program folder and room for 100.
    EXPECT_EQ(Calls(fake).rfind("Init 1045 100 \\Program Files\\Orvade Client;", 0), 0u);
}

TEST_F(ExtensionsTest, RefusedStateFallsBackToEarlierScannersOnCancel) {
    HMODULE fake = InstallAndHold("FakeScanner", "\\EXT2");
    Call<SetupFn>(fake, "FakeSetScanners", 3, TRUE);
    answers_ = {IDNO, IDYES};  // scanner 2
    CScannerExtension* scanner = LoadScanner();
    ASSERT_EQ(scanner->CurrentScanner(), 2);
    Call<void (*)(int, DWORD)>(fake, "FakeRefuse", 2, SCANNER_ERROR_CANCELLED);
    Call<void (*)(int, DWORD)>(fake, "FakeRefuse", 1, SCANNER_ERROR_CANCELLED);
    Call<void (*)()>(fake, "FakeClearCalls");
    EXPECT_EQ(scanner->SetScannerState(SCANNER_READ_PENDING), TRUE);
    EXPECT_EQ(Calls(fake), "Set 2 2;Set 1 2;Set 0 2;");
    EXPECT_EQ(scanner->CurrentScanner(), 0);
}

TEST_F(ExtensionsTest, ReinitialisationThatLosesTheCurrentScannerAnswersZero) {
    HMODULE fake = InstallAndHold("FakeScanner", "\\EXT2");
    answers_ = {IDYES};  // scanner 1 of 2
    CScannerExtension* scanner = LoadScanner();
    ASSERT_EQ(scanner->CurrentScanner(), 1);
    Call<void (*)(int, DWORD)>(fake, "FakeRefuse", 1, 5);
    Call<void (*)(int)>(fake, "FakeSetCountAfterReinit", 1);
    Call<void (*)()>(fake, "FakeClearCalls");
    EXPECT_EQ(scanner->SetScannerState(SCANNER_ENABLED), 0);
    // Shut down, opened again with one scanner: the vanished index is not asked.
    EXPECT_EQ(Calls(fake), "Set 1 1;Shutdown;Init 1045 100 \\Program Files\\Orvade Client;");
    EXPECT_FALSE(scanner->IsInitialised());
}

TEST_F(ExtensionsTest, ScannerCallsPreferTheCurrentScannersTwins) {
    HMODULE fake = InstallAndHold("FakeScanner", "\\EXT2");
    Call<SetupFn>(fake, "FakeSetScanners", 1, TRUE);
    CScannerExtension* scanner = LoadScanner();
    ASSERT_NE(scanner, nullptr);
    Call<void (*)()>(fake, "FakeClearCalls");
    DecoderParams params{};
    EXPECT_TRUE(scanner->GetDecoderParameters(0x37, &params));
    EXPECT_EQ(params.fields[1], 20u);
    EXPECT_TRUE(scanner->SetDecoderParameters(0x37, &params));
    scanner->SetScanBeep(1);
    EXPECT_TRUE(scanner->IsScanKey(0x20));
    EXPECT_FALSE(scanner->IsScanKey(0x21));
    EXPECT_TRUE(scanner->IsNoThreadVersion());
    EXPECT_TRUE(scanner->IsNoThreadVersion());
    EXPECT_EQ(Calls(fake), "GetParams 55 40;SetParams 55 40 1;Beep 0 1 200 2000;GetScanKeyList 0;IsNoThreadVersion;");
    // A trigger released while pulled goes back to a pending read.
    Call<void (*)(int)>(fake, "FakeSetState", SCANNER_TRIGGER_PULLED);
    Call<void (*)()>(fake, "FakeClearCalls");
    scanner->SetTrigger(false);
    EXPECT_EQ(scanner->SetTrigger(false), 0);
    EXPECT_EQ(Calls(fake), "Set 0 2;");
    manager_.reset();
    EXPECT_EQ(GetModuleScanner(), nullptr);
    EXPECT_NE(Calls(fake).find("Shutdown;"), std::string::npos);
}

TEST_F(ExtensionsTest, PlainScannerLibraryGetsTheDefaults) {
    HMODULE fake = InstallAndHold("FakeScannerPlain", "\\EXT2");
    CScannerExtension* scanner = LoadScanner();
    ASSERT_NE(scanner, nullptr);
    DecoderList list{5, {1}};
    EXPECT_TRUE(scanner->GetEnabledDecoders(&list));
    EXPECT_EQ(list.count, 0u);
    EXPECT_FALSE(scanner->GetSupportedDecoders(&list));
    DecoderParams params{};
    EXPECT_FALSE(scanner->GetDecoderParameters(0x30, &params));
    EXPECT_EQ(scanner->GetDecodedData(0, 0, 0), nullptr);
    EXPECT_FALSE(scanner->ScanKeyPressed());
    EXPECT_FALSE(scanner->IsNoThreadVersion());
    EXPECT_TRUE(scanner->IsScanKey(0xC1));
    EXPECT_TRUE(scanner->IsScanKey(0xC1));
    EXPECT_EQ(scanner->SetScannerState(SCANNER_ENABLED), TRUE);
    EXPECT_EQ(Calls(fake), "ScnInitialize 1045;GetScanKey;Set 0 1;");

    // A library whose initialisation fails is not bound.
    HMODULE failing = InstallAndHold("FakeScanner", "\\EXT3");
    Call<SetupFn>(failing, "FakeSetScanners", 0, FALSE);
    CExtensionManager other;
    RegisterExtensionFactories(other);
    EXPECT_EQ(other.LoadFolder(u"\\EXT3"), 0);
}

TEST(DecoderListTest, AddRemoveAndTheSeventyLimit) {
    DecoderList list{};
    for (int i = 0; i < kMaxDecoders; ++i) EXPECT_TRUE(DecoderListAdd(&list, static_cast<uint8_t>(i)));
    EXPECT_TRUE(DecoderListAdd(&list, 5));  // present already
    EXPECT_FALSE(DecoderListAdd(&list, 200));
    EXPECT_EQ(list.count, 70u);
    EXPECT_FALSE(DecoderListContains(&list, 200));
    list.decoders[3] = 7;  // 7 twice now
    EXPECT_TRUE(DecoderListRemove(&list, 7));
    EXPECT_EQ(list.count, 68u);
    EXPECT_FALSE(DecoderListContains(&list, 7));
    EXPECT_EQ(list.decoders[3], 4);
}

TEST(SymbologyTest, FirstRowWinsByCodeAndByName) {
    EXPECT_EQ(SymbologyCodeFromName("CODE_39"), 0x37);
    EXPECT_EQ(SymbologyCodeFromName("SUPPS"), 0xF4);
    EXPECT_EQ(SymbologyCodeFromName("code_39"), 242);
    EXPECT_STREQ(SymbologyNameFromCode(0xF4), "UPC_EAN_SETTINGS");
    EXPECT_EQ(DecoderIndexFromCode(0xF4), 255);
    EXPECT_EQ(DecoderIndexFromCode(0x140), 13);  // only the low byte counts
    EXPECT_EQ(DecoderIndexFromCode(0x5A), 255);
    EXPECT_EQ(SymbologyNameFromCode(0x5A), nullptr);
}

}  // namespace
}  // namespace extensionstest

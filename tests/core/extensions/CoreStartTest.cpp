// Module start-up, the core's start and teardown with libraries in the
// client's folders, and the automation manager's rules.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ExtensionFixture.h"
#include "common/PacketFramer.h"
#include "core/extensions/AutomationManager.h"
#include "core/extensions/ExtensionModule.h"
#include "core/extensions/Extensions.h"
#include "core/session/ClientCore.h"
#include "core/session/ExtensionBinding.h"
#include "core/session/LogicalFolders.h"
#include "core/support/LogFile.h"
#include "platform/Message.h"
#include "platform/Resources.h"

namespace extensionstest {
namespace {

using QueryFn = intptr_t (*)(uint32_t, intptr_t, intptr_t);

class CoreStartTest : public ExtensionTest {
protected:
    void SetUp() override {
        ExtensionTest::SetUp();
        ResetLogicalFolders();
        window_ = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    }
    void TearDown() override {
        core_.reset();
        ModuleTerm();
        DestroyWindow(window_);
        ResetLogicalFolders();
        ExtensionTest::TearDown();
    }
    void PutResourceLibrary() {
        std::filesystem::copy_file(RESOURCE_LIBRARY, program_ / "orvaderes.dll");
    }
    // The log at trace level in a machine file, enabled before anything loads.
    std::filesystem::path EnableLog() {
        const std::filesystem::path file = root_ / "log.txt";
        CLogFile* log = CreateLog(LOG_TRACE);
        log->SetHostPath(file.string());
        return file;
    }
    static std::string Read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // The client's folders: "<program>\Ext", "\EXT2", "\AUTO".
    static std::string Folder(const char* name) { return plat::text::WideToUtf8(kProgramFolder) + "\\" + name; }

    HWND window_ = 0;
    std::unique_ptr<CClientCore> core_;
};

TEST_F(CoreStartTest, WithoutTheResourceLibraryTheUserIsToldAndNoFamilyALoads) {
    HMODULE device = InstallAndHold("FakeDevice", Folder("Ext"));
    EXPECT_EQ(ModuleInit(), FALSE);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, u"Missing Critical component-001");
    EXPECT_EQ(boxes_[0].caption, u"Error");  // no title: the platform's default caption
    EXPECT_EQ(boxes_[0].owner, 0u);
    EXPECT_EQ(boxes_[0].style, MB_ICONHAND);
    EXPECT_EQ(GetModuleExtentions(), nullptr);
    EXPECT_NE(GetModuleLog(), nullptr);  // the log exists either way

    core_ = std::make_unique<CClientCore>(window_);
    core_->Start();
    EXPECT_EQ(Calls(device), "");
    EXPECT_EQ(core_->Info().TerminalId(), CClientCore::kDefaultTerminalId);
}

TEST_F(CoreStartTest, StartLoadsTheFoldersInOrderAndDestroyTearsThemDown) {
    PutResourceLibrary();
    ASSERT_EQ(ModuleInit(), TRUE);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(plat::res::LoadText(GetModuleResources(), 4), u"Orvade Client");
    HMODULE device = InstallAndHold("FakeDevice", Folder("Ext"), "a.dll");
    HMODULE rfid = InstallAndHold("FakeRfid", Folder("Ext"), "b.dll");
    HMODULE scanner = InstallAndHold("FakeScanner", Folder("EXT2"));
    Call<void (*)(int, BOOL)>(scanner, "FakeSetScanners", 1, TRUE);
    HMODULE automation = InstallAndHold("FakeAutoType1", Folder("AUTO"));

    core_ = std::make_unique<CClientCore>(window_);
    CoreProperties properties = core_->Settings().Properties();
    properties.baseRegistryKey = u"Software\\Quillmar\\OVC v1.0";
    core_->Settings().SetProperties(properties);
    core_->Start();
    EXPECT_EQ(Calls(device), "Activate 0;");
    EXPECT_EQ(Calls(rfid),
              "SelectReader;CreateSession 1024 1041 Software\\Quillmar\\OVC v1.0 0;Activate 0;OpenReader;"
              "EnableReader 0 0;");
    EXPECT_EQ(core_->Info().TerminalId(), 4711);  // through the devices hook
    EXPECT_NE(GetModuleScanner(), nullptr);
    EXPECT_EQ(Calls(automation), "Notify 1;Notify 4;Notify 2;");

    core_.reset();
    EXPECT_EQ(Calls(rfid).substr(Calls(rfid).rfind("EnableReader")), "EnableReader 0 0;Delete 0;");
    EXPECT_EQ(Calls(automation), "Notify 1;Notify 4;Notify 2;Notify 3;");
    EXPECT_NE(Calls(scanner).find("Shutdown;"), std::string::npos);
    EXPECT_EQ(GetModuleScanner(), nullptr);
    // The family-A wrappers stay until the module ends.
    ASSERT_NE(GetModuleExtentions(), nullptr);
    EXPECT_EQ(GetModuleExtentions()->Count(), 2);
}

TEST_F(CoreStartTest, TheModuleContextLivesFromStartUpToTearDown) {
    EXPECT_EQ(GetModuleContext(), nullptr);
    PutResourceLibrary();
    ASSERT_EQ(ModuleInit(), TRUE);
    ASSERT_NE(GetModuleContext(), nullptr);
    core_ = std::make_unique<CClientCore>(window_);
    EXPECT_EQ(CoreControlWindow(), window_);
    EXPECT_EQ(GetExtensionWindow(), window_);
    core_.reset();
    EXPECT_EQ(CoreControlWindow(), 0u);
    EXPECT_EQ(GetExtensionWindow(), 0u);
    ModuleTerm();
    EXPECT_EQ(GetModuleContext(), nullptr);
    EXPECT_EQ(GetModuleResources(), nullptr);
    EXPECT_EQ(GetModuleExtentions(), nullptr);
    // Without a context nothing is kept.
    SetExtensionWindow(window_);
    EXPECT_EQ(GetExtensionWindow(), 0u);
}

// RfidEvent through the real binding: the library gets the calls in its
// export's form and every block it hands out is freed.
TEST_F(CoreStartTest, RfidEventReachesTheRfidLibraryAndFreesItsBlocks) {
    PutResourceLibrary();
    ASSERT_EQ(ModuleInit(), TRUE);
    HMODULE rfid = InstallAndHold("FakeRfid", Folder("Ext"));
    core_ = std::make_unique<CClientCore>(window_);
    core_->Start();
    Call<void (*)()>(rfid, "FakeClearCalls");
    auto send = [this](const std::string& payload) {
        core_->OnReceive(reinterpret_cast<const uint8_t*>(payload.data()), static_cast<int32_t>(payload.size()), false);
    };
    send("r\xFDi");
    send("r\xFDl");
    send("r\xFDgPower");
    send("r\xFDsPower=2");
    send(std::string("r\xFDr\0\0\0\1\0\0\0\2TG\0\2\0\1\0\2\0\3\0\4", 23));
    send(std::string("r\xFDw\0\0\0\1\0\0\0\1T\0\2\0\1\0\2ab\0\3\0\0", 24));
    EXPECT_EQ(Calls(rfid),
              "Identify 0;FreeBlock;LastList 0;FreeBlock;GetProperty Power;SetProperty Power=2;"
              "Read TG 3,4 1,2;FreeBlock;Write T 3: 1:ab;FreeBlock;");
}

// Printing through the real binding: the printer library of "EXT2" gets
// each job between a connect and a disconnect, and the core answers nothing.
TEST_F(CoreStartTest, PrintingReachesThePrinterLibrary) {
    PutResourceLibrary();
    ASSERT_EQ(ModuleInit(), TRUE);
    HMODULE printer = InstallAndHold("FakePrinter", Folder("EXT2"));
    core_ = std::make_unique<CClientCore>(window_);
    core_->Start();
    Call<void (*)()>(printer, "FakeClearCalls");
    const std::string rfaux = "6\xFDlabel\\r";
    core_->OnReceive(reinterpret_cast<const uint8_t*>(rfaux.data()), static_cast<int32_t>(rfaux.size()), false);
    EXPECT_EQ(Calls(printer), "Connect;Wakeup;Send 7;Flush;Disconnect;");
}

// PUSHBAR through the real binding: the decoders of the scanner library
// are written by name, and PULLBAR of the file enables them again.
TEST_F(CoreStartTest, ADecoderSetUpPushedThroughTheScannerLibraryIsRestoredByPull) {
    PutResourceLibrary();
    ASSERT_EQ(ModuleInit(), TRUE);
    HMODULE scanner = InstallAndHold("FakeScanner", Folder("EXT2"));
    Call<void (*)(int, BOOL)>(scanner, "FakeSetScanners", 1, TRUE);
    core_ = std::make_unique<CClientCore>(window_);
    core_->SetAppDirectory(u"\\App");
    std::filesystem::create_directories(root_ / "App");
    core_->Start();
    auto send = [this](const std::string& payload) {
        core_->OnReceive(reinterpret_cast<const uint8_t*>(payload.data()), static_cast<int32_t>(payload.size()), false);
    };
    send("J\xFDset.bar");
    const std::string file = Read(root_ / "App" / "BARCODES" / "set.bar");
    EXPECT_EQ(file.substr(0, file.find('\xFC')), "\xFBUPC_E0\xFBUPC_E1\xFB" "CODE_39");
    // The third list holds the enabled flags: only CODE_39.
    std::vector<std::string> lists(1);
    for (char c : file) {
        if (c == '\xFC') lists.emplace_back();
        else lists.back().push_back(c);
    }
    ASSERT_EQ(lists.size(), 5u);
    EXPECT_EQ(lists[2], "\xFB" "0\xFB" "0\xFB" "1");
    const size_t before = Calls(scanner).size();
    send("K\xFDset.bar");
    const std::string calls = Calls(scanner).substr(before);
    // The enabled decoder is found by its name: its record is read and it stays enabled.
    EXPECT_NE(calls.find("GetParams 55"), std::string::npos) << calls;
    EXPECT_NE(calls.find("SetEnabled 0 55"), std::string::npos) << calls;
}

TEST_F(CoreStartTest, AutomationLibrariesAreKeptByTypeAndLevelAndNotifiedByLevel) {
    const std::filesystem::path log = EnableLog();
    HMODULE plain = InstallAndHold("FakeAutoPlain", "\\AUTO", "a.dll");     // level 0x9003, never asked its type
    HMODULE level5 = InstallAndHold("FakeAutoLevel5", "\\AUTO", "b.dll");   // level 0x9005
    HMODULE type1 = InstallAndHold("FakeAutoType1", "\\AUTO", "c.dll");
    InstallAndHold("FakeAutoType3", "\\AUTO", "d.dll");
    HMODULE type4 = InstallAndHold("FakeAutoType4", "\\AUTO", "e.dll");
    HMODULE refusing = InstallAndHold("FakeAutoRefusing", "\\AUTO", "f.dll");
    InstallAndHold("FakeAutoLowLevel", "\\AUTO", "g.dll");
    Install("FakeDevice", "\\AUTO", "h.dll");  // no AutoNotify
    Put("\\AUTO\\i.dll", "not a library");

    CAutomationManager manager;
    EXPECT_EQ(manager.LoadFolder(u"\\AUTO", &CClientCore::AutomationQuery, nullptr, 3), 4);
    EXPECT_EQ(manager.LoadFolder(u"\\AUTO", &CClientCore::AutomationQuery, nullptr, 3), -2);
    EXPECT_EQ(Calls(type4), "Notify 1;Notify 4;");
    EXPECT_EQ(Calls(refusing), "Notify 1;Notify 4;Notify 2;");
    const std::string lines = Read(log);
    for (const char* expected : {"Loading automation DLL: \\AUTO\\a.dll", "Unallowed automation DLL type: 4",
                                 "\\AUTO\\f.dll Error initializing: 0", "\\AUTO\\g.dll Bad support level: 36866",
                                 "\\AUTO\\i.dll Error loading: 0x000000c1", "Automation DLL type: 3"})
        EXPECT_NE(lines.find(expected), std::string::npos) << expected;

    manager.Notify(0x9005, 0, 0);
    manager.Notify(0x9006, 0, 0);
    manager.Notify(0x9003, 0, 0);
    EXPECT_EQ(Calls(plain), "Notify 1;Notify 2;Notify 3;");
    EXPECT_EQ(Calls(level5), "Notify 1;Notify 4;Notify 2;Notify 5;Notify 3;");
    EXPECT_EQ(Calls(type1), "Notify 1;Notify 4;Notify 2;Notify 5;Notify 6;Notify 3;");

    // Queries with the null context this manager was given.
    const auto query = GetProc<QueryFn>(type1, "FakeQuery");
    EXPECT_EQ(query(0xA001, 0, 0), 0xA00B);
    EXPECT_EQ(query(0xA00C, 0, 0), -1);
    EXPECT_EQ(query(AUTO_QUERY_VERSION, 0, 0), 54100);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(query(AUTO_QUERY_IDENTITY, 0, 0))), u"OVOrvade");
    EXPECT_EQ(query(AUTO_QUERY_SCREEN_TEXT, 0, 0), 0);
    EXPECT_EQ(query(AUTO_QUERY_MODULE_FOLDER, 0, 0), 0);
    EXPECT_EQ(query(AUTO_QUERY_DISCONNECT, 0, 0), -1);
    DestroyLog();
}

TEST_F(CoreStartTest, NetworkLibraryAnswersTheDevicesHook) {
    HMODULE network = InstallAndHold("FakeNetwork", Folder("EXT2"));
    ASSERT_TRUE(CreateModuleContext());  // the wrappers register there, as under the control
    core_ = std::make_unique<CClientCore>(window_);
    CExtensionBinding binding(*core_);
    EXPECT_FALSE(binding.HasNetwork());
    binding.LoadExtensions();
    ASSERT_TRUE(binding.HasNetwork());
    EXPECT_EQ(binding.GetAdapterStatus(), 1);
    EXPECT_EQ(binding.GetAdapterSignalStrength(), -60);
    uint8_t mac[6];
    EXPECT_EQ(binding.GetMACAddr(mac), -1);  // the library lacks it
    EXPECT_EQ(Calls(network), "Initialize;Status 0;");
    binding.UnloadExtensions();
    EXPECT_FALSE(binding.HasNetwork());
    EXPECT_EQ(binding.GetAdapterStatus(), 0);
}

// A core that counts the characters typed into it.
class CountingCore : public CClientCore {
public:
    using CClientCore::CClientCore;
    int32_t OnChar(char16_t c, int32_t repeat, uint32_t flags) override {
        ++chars;
        return CClientCore::OnChar(c, repeat, flags);
    }
    int chars = 0;
};

TEST_F(CoreStartTest, TypingQueryClearsAtMostTheFieldAndStopsWhenBackspaceDoesNothing) {
    InstallAndHold("FakeAutoType1", Folder("AUTO"));
    auto* core = new CountingCore(window_);
    core_.reset(core);
    core->Start();
    std::string field = std::string("5") + "\xFD" + "\xFD" + "5\xFD" + "0\xFD" + "0\xFD\xFD" + "0\xFD" + "0\xFD" +
                        "0\xFD\xFD\xFD" + "0";
    std::string framed;
    CPacketFramer framer(
        [](void* context, int count, const uint8_t* const* pieces, const int32_t* lengths) {
            for (int i = 0; i < count; ++i)
                static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(pieces[i]), lengths[i]);
        },
        &framed, 0);
    CPacketBuffer writer(0, 0xFF, 256, 0);
    writer.AppendBytes(field.data(), static_cast<int32_t>(field.size()));
    framer.Send(writer);
    core->OnReceive(reinterpret_cast<const uint8_t*>(framed.data()), static_cast<int32_t>(framed.size()), true);
    core->OnChar(u'z', 1, 0);
    core->OnChar(u'z', 1, 0);
    ASSERT_EQ(core->Field().text, u"zz");
    // An error box takes the characters: a backspace changes nothing.
    core->SetDialog(window_, DialogMode::Error);
    core->chars = 0;
    const auto query = GetProc<QueryFn>(held_.back(), "FakeQuery");
    EXPECT_EQ(query(AUTO_QUERY_TYPE_TEXT, reinterpret_cast<intptr_t>(u"ab"), 1), -1);
    EXPECT_EQ(core->chars, 1 + 2);  // one backspace, then the two characters
    EXPECT_EQ(core->Field().text, u"zz");
    core->SetDialog(0, DialogMode::None);
    core->chars = 0;
    EXPECT_EQ(query(AUTO_QUERY_TYPE_TEXT, reinterpret_cast<intptr_t>(u"ab"), 1), -1);
    EXPECT_EQ(core->chars, 2 + 2);
    EXPECT_EQ(core->Field().text, u"ab");
    EXPECT_EQ(query(AUTO_QUERY_MENU_CHOOSE, 0, 0), -1);  // no menu box
}

}  // namespace
}  // namespace extensionstest

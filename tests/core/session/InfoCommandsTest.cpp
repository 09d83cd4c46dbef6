// Extended information, the input panel's state, INI values and the call of a
// library function by name, through the core.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CoreFixture.h"
#include "platform/Library.h"
#include "platform/Power.h"

namespace {

using namespace coretest;
namespace fsys = std::filesystem;

const Bytes B0 = "\xB0";
const Bytes B1 = "\xB1";

struct FakeNetwork : FakeDevices {
    bool present = true;
    int32_t status = 0;
    int32_t signal = -50;
    std::vector<int32_t> signals;  // read in turn, then signal
    int32_t macResult = 0;
    int signalReads = 0;
    bool HasNetwork() override { return present; }
    int32_t GetMACAddr(uint8_t (&mac)[6]) override {
        const uint8_t bytes[6] = {0x00, 0x1A, 0xB2, 0x0C, 0xFF, 0x09};
        std::copy(bytes, bytes + 6, mac);
        return macResult;
    }
    int32_t GetAdapterSignalStrength() override {
        ++signalReads;
        if (!signals.empty()) {
            const int32_t s = signals.front();
            signals.erase(signals.begin());
            return s;
        }
        return signal;
    }
    int32_t GetAdapterStatus() override { return status; }
};

class InfoCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetDevices(&m_network);
    }
    void TearDown() override {
        plat::power::SetSuspendedTimeSource(nullptr);
        if (m_toolkit) FreeLibrary(m_toolkit);
        CoreTest::TearDown();
    }

    Bytes Ask(const Bytes& command) {
        Send(command);
        const std::vector<Bytes> replies = Replies();
        return replies.empty() ? Bytes("(none)") : replies.back();
    }
    template <typename Change>
    void SetProperty(Change change) {
        CoreProperties props = m_core->Settings().Properties();
        change(props);
        m_core->Settings().SetProperties(props);
    }
    Bytes Info(const Bytes& key) { return Ask(B0 + FD + key); }

    // The fake toolkit installed in the program folder, and what it last recorded.
    void InstallToolkit() {
        fsys::create_directories(m_base / "Program Files" / "Orvade Client");
        fsys::copy_file(fsys::path(FIXTURE_DIR) / "FakeToolkit.dll", m_base / "Program Files" / "Orvade Client" / "Toolkit.dll");
    }
    static Bytes ReadFixture(const char* name) {
        std::ifstream in(fsys::path(FIXTURE_DIR) / name, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string LastCall() {
        if (!m_toolkit) m_toolkit = LoadLibrary(u"\\Program Files\\Orvade Client\\Toolkit.dll");
        auto last = GetProc<int32_t (*)(char*, int32_t)>(m_toolkit, "LastCall");
        if (!last) return "(no toolkit)";
        char text[512];
        last(text, sizeof text);
        return text;
    }
    Bytes Ext(const Bytes& function, const std::vector<Bytes>& arguments = {}) {
        Bytes command = B0 + FD + "ext" + FD + "Toolkit.dll" + FD + function;
        for (const Bytes& a : arguments) command += FD + a;
        return Ask(command);
    }

    FakeNetwork m_network;
    HMODULE m_toolkit = nullptr;
};

TEST_F(InfoCommandsTest, KeysAnswerTheirValuesWithoutRegardToCase) {
    SetProperty([](CoreProperties& p) { p.clientVersion = u"4.2"; });
    struct Case {
        Bytes key;
        Bytes value;
    } cases[] = {
        {"COLS", "21"},          {"rows", "16"},          {"Widget_Support", "1"},
        {"HASSIP", "1"},         {"SIPSTATE", "0"},       {"IP", "-1"},
        {"CLIENTVERSION", "4.2"}, {"TERMID", std::to_string(m_core->Info().TerminalId())},
        {"MAC", "001AB20CFF09"},  {"NOSUCHKEY", "-1"},    {"", "-1"},
    };
    for (const Case& c : cases) EXPECT_EQ(Info(c.key), B0 + FD + c.value) << c.key;

    SetProperty([](CoreProperties& p) {
        p.peerAddress = u"10.1.2.3";
        p.sipStateUp = 1;
    });
    EXPECT_EQ(Info("ip"), B0 + FD + "10.1.2.3");
    EXPECT_EQ(Info("sipstate"), B0 + FD + "1");
}

TEST_F(InfoCommandsTest, FreeMemoryIsNeverNegativeAndMacNeedsTheLibrary) {
    const Bytes reply = Info("FREEMEM");
    ASSERT_EQ(reply.substr(0, 2), B0 + FD);
    const long long bytes = std::stoll(reply.substr(2));
    EXPECT_GE(bytes, 0);
    EXPECT_LE(bytes, 0x7FFFFFFF);

    m_network.macResult = 5;
    EXPECT_EQ(Info("MAC"), B0 + FD + "-1");
    m_network.macResult = 0;
    m_network.present = false;
    EXPECT_EQ(Info("MAC"), B0 + FD + "-1");
    EXPECT_EQ(Info("assoc"), B0 + FD + "-1");
}

// A figure from the environment stands in for the machine's, clamped as the
// machine's is; one that is no number is not taken.
TEST_F(InfoCommandsTest, FreeMemoryFromTheEnvironmentIsClamped) {
    const struct {
        const char* given;
        Bytes answer;
    } cases[] = {{"5000", "5000"}, {"4294967296", "2147483647"}, {"0", "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        setenv("ORVADE_FREE_MEMORY", c.given, 1);
        EXPECT_EQ(Info("FREEMEM"), B0 + FD + c.answer);
    }
    for (const char* junk : {"", "12x", "-5"}) {
        setenv("ORVADE_FREE_MEMORY", junk, 1);
        const Bytes reply = Info("FREEMEM");
        EXPECT_NE(reply, B0 + FD + "12") << junk;
        EXPECT_GE(std::stoll(reply.substr(2)), 0) << junk;
    }
    unsetenv("ORVADE_FREE_MEMORY");
}

TEST_F(InfoCommandsTest, AssociationFollowsTheRadioSettings) {
    EXPECT_EQ(Info("assoc"), B0 + FD + "1");
    m_core->Settings().SetIgnoreRadio(1);
    EXPECT_EQ(Info("ASSOC"), B0 + FD + "-1");
    m_core->Settings().SetIgnoreRadio(0);

    // A weak signal is read twice before the radio counts as lacking.
    m_core->Settings().SetRSSIThreshold(-70);
    m_network.signals = {-80, -60};
    EXPECT_EQ(m_core->Info().IsAssociated(), 1);
    EXPECT_EQ(m_network.signalReads, 2);
    m_network.signal = -90;
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);
    m_core->Settings().SetRSSIThreshold(0);
    m_network.signal = -50;
}

TEST_F(InfoCommandsTest, ReconnectDelayKeepsARadioThatCameBackLacking) {
    m_core->Settings().SetReconnectDelay(5000);
    m_network.status = 1;
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);
    m_network.status = 0;
    g_now += 2000;
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);
    g_now += 3000;
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);  // exactly the delay: still lacking
    g_now += 1;
    EXPECT_EQ(m_core->Info().IsAssociated(), 1);
    EXPECT_EQ(m_core->Info().IsAssociated(), 1);
}

TEST_F(InfoCommandsTest, WakeDelayAnswersNotAssociatedAfterAResumeThePollReads) {
    int64_t suspended = 0;
    plat::power::SetSuspendedTimeSource([&] { return suspended; });
    m_core->Settings().SetRadioWakeDelay(3000);
    m_core->OnPoll();
    suspended += 40;  // the clocks drifting apart is no resume
    m_core->OnPoll();
    EXPECT_EQ(m_core->Info().ResumeTime(), 0u);
    EXPECT_EQ(m_core->Info().IsAssociated(), 1);

    suspended += 60000;  // the device slept a minute
    const DWORD resumed = g_now += 10;
    m_core->OnPoll();
    g_now += 5;
    m_core->OnPoll();  // the resume is read once
    EXPECT_EQ(m_core->Info().ResumeTime(), resumed);
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);
    g_now += 2994;
    EXPECT_EQ(m_core->Info().IsAssociated(), 0);
    g_now += 1;
    EXPECT_EQ(m_core->Info().IsAssociated(), 1);
    EXPECT_EQ(m_core->Info().ResumeTime(), 0u);
}

TEST_F(InfoCommandsTest, SetExtendedInfoShowsTheInputPanelThroughTheShell) {
    std::vector<WPARAM> states;
    HWND shell = CreateMessageWindow([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_SHELL_INPUT_PANEL) states.push_back(w);
        return 0;
    });
    m_core->Info().SetShellWindow(shell);
    EXPECT_EQ(Ask(B1 + FD + "sipstate" + FD + "1"), B1 + FD + "1");
    EXPECT_EQ(Ask(B1 + FD + "SIPSTATE"), B1 + FD + "1");
    EXPECT_EQ(Ask(B1 + FD + "COLS" + FD + "3"), B1 + FD + "-1");
    EXPECT_EQ(states, (std::vector<WPARAM>{1, 0}));
    DestroyWindow(shell);
}

TEST_F(InfoCommandsTest, IniNamesThatCouldNotBeReadBackAreRefused) {
    m_core->SetAppDirectory(u"\\App");
    fsys::create_directories(m_base / "App" / "DATA");
    const Bytes before = "[Main]\r\nname=old\r\n";
    std::ofstream(m_base / "App" / "DATA" / "cfg.ini") << before;
    const struct {
        Bytes section, key;
    } cases[] = {
        {"Main", "a=b"}, {"Main", "a\rb"}, {"Main", "a\nb"}, {"Main", ";note"}, {"Main", "k\r\n[Evil]\r\nx"},
        {"Ma]in", "k"},  {"Ma\rin", "k"},  {"Ma\nin", "k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section + "/" + c.key);
        EXPECT_EQ(Ask("\"" + FD + "cfg.ini" + FD + c.section + FD + c.key + FD + "v"), "!" + FD + "0");
        std::ifstream in(m_base / "App" / "DATA" / "cfg.ini", std::ios::binary);
        EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), before);
    }
    // A ';' inside a key and '=' or '[' in a section are read back.
    EXPECT_EQ(Ask("\"" + FD + "cfg.ini" + FD + "Ma=[in" + FD + "a;b" + FD + "v"), "!" + FD + "1");
    EXPECT_EQ(Ask("!" + FD + "cfg.ini" + FD + "Ma=[in" + FD + "a;b"), "!" + FD + "v");
}

TEST_F(InfoCommandsTest, IniValuesAreReadAndWrittenAsRawBytes) {
    m_core->SetAppDirectory(u"\\App");
    fsys::create_directories(m_base / "App" / "DATA");
    std::ofstream(m_base / "App" / "DATA" / "cfg.ini") << "[Main]\r\nname=old\r\n";

    EXPECT_EQ(Ask("!" + FD + "cfg.ini" + FD + "Main" + FD + "name"), "!" + FD + "old");
    EXPECT_EQ(Ask("\"" + FD + "cfg.ini" + FD + "Main" + FD + "name" + FD + "caf\xE9"), "!" + FD + "1");
    EXPECT_EQ(Ask("!" + FD + "cfg.ini" + FD + "Main" + FD + "name"), "!" + FD + "caf\xE9");
    EXPECT_EQ(Ask("!" + FD + "cfg.ini" + FD + "Main" + FD + "missing"), "!" + FD + "notfound");
    EXPECT_EQ(Ask("!" + FD + "cfg.ini" + FD + "Other" + FD + "name"), "!" + FD + "notfound");
    EXPECT_EQ(Ask("!" + FD + "none.ini" + FD + "Main" + FD + "name"), "!" + FD + "notfound");
    // A file that does not exist is not created, and the host still hears "1".
    EXPECT_EQ(Ask("\"" + FD + "none.ini" + FD + "Main" + FD + "name" + FD + "v"), "!" + FD + "1");
    EXPECT_FALSE(fsys::exists(m_base / "App" / "DATA" / "none.ini"));
    // A name longer than 259 characters is refused, never cut to the name of another file.
    const Bytes d(120, 'd'), e(120, 'e'), folder = "\\" + d + "\\" + e + "\\";
    const Bytes full = folder + Bytes(259 - folder.size(), 'f');
    fsys::create_directories(m_base / d / e);
    std::ofstream(m_base / d / e / full.substr(folder.size())) << "[Main]\r\nname=cut\r\n";
    EXPECT_EQ(Ask("!" + FD + full + FD + "Main" + FD + "name"), "!" + FD + "cut");
    EXPECT_EQ(Ask("!" + FD + full + ".bak" + FD + "Main" + FD + "name"), "!" + FD + "notfound");
}

TEST_F(InfoCommandsTest, ExtCallsTheFunctionWithArgumentsByItsName) {
    InstallToolkit();
    EXPECT_EQ(Ext("WWANRadioPowerOn"), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "WWANRadioPowerOn()");
    EXPECT_EQ(Ext("SetGPRSAttach", {"-3"}), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "SetGPRSAttach(-3)");
    EXPECT_EQ(Ext("SetGPRSAttach", {"99999999999"}), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "SetGPRSAttach(2147483647)");
    EXPECT_EQ(Ext("AddEntryToConnMgr", {"isp", "apn", "5"}), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "AddEntryToConnMgr(isp,apn,1)");
    // Arguments the host did not send are null texts and zero numbers.
    EXPECT_EQ(Ext("CreateRasEntry", {"a", "b", "3"}), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "CreateRasEntry(a,b,3,0,0,null,null,null,null,null,null,null,null,null,null,null)");
    EXPECT_EQ(Ext("Dial", {"x", "", "z"}), B0 + FD + "0");
    EXPECT_EQ(LastCall(), "Dial(x,,z)");
}

TEST_F(InfoCommandsTest, ExtRefusesWhatItCannotCall) {
    InstallToolkit();
    EXPECT_EQ(Ext("Dial", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}), B0 + FD + "-1");
    EXPECT_EQ(Ext("CreateRasEntry", std::vector<Bytes>(17, "a")), B0 + FD + "-1");
    EXPECT_EQ(Ext("Dial", {std::string(2048, 'a')}), B0 + FD + "-1");
    EXPECT_EQ(Ext("NoSuchFunction"), B0 + FD + "-1");
    EXPECT_EQ(Ext("wwanradiopoweron"), B0 + FD + "-1");  // function names are exact
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "NoSuchLibrary.dll" + FD + "WWANRadioPowerOn"), B0 + FD + "-1");
    EXPECT_EQ(LastCall(), "");
}

TEST_F(InfoCommandsTest, ExtBareNamesAreLibrariesOfTheProgramFolderOnly) {
    // The platform's own library is installed beside the program, outside the device root.
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "liborvade_platform.so" + FD + "_Z12GetTickCountv"), B0 + FD + "-1");
    const fsys::path program = m_base / "Program Files" / "Orvade Client";
    fsys::create_directories(program);
    fsys::copy_file(fsys::path(FIXTURE_DIR) / "FakeToolkit.dll", program / "Toolkit.dll");
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "toolkit.dll" + FD + "WWANRadioPowerOn"), B0 + FD + "0");
}

// A library a host could have stored never runs: EXT takes a bare library
// name of the program folder only, and no file command writes a library.
TEST_F(InfoCommandsTest, NoLibraryAHostStoredIsLoaded) {
    InstallToolkit();
    const Bytes library = ReadFixture("FakeToolkit.dll");
    m_core->SetAppDirectory(u"\\Session");
    fsys::create_directories(m_base / "Session");
    // Stored anywhere in the device root under a library's name: refused as a refused name is.
    for (const char* name : {"evil.dll", "EVIL.DLL", "evil.dll.", "\\Program Files\\Orvade Client\\evil.dll",
                              "\\Program Files\\Orvade Client\\EXT2\\scan.Dll", "%DATA%\\evil.dll"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Ask("H" + FD + name + FD + library), "H" + FD + "0");
        EXPECT_EQ(Ask("X" + FD + name + FD + std::to_string(library.size()) + FD + FD), "X" + FD + "0");
    }
    // The toolkit itself is not replaced.
    EXPECT_EQ(Ask("H" + FD + "\\Program Files\\Orvade Client\\Toolkit.dll" + FD + "x"), "H" + FD + "0");
    EXPECT_EQ(fsys::file_size(m_base / "Program Files" / "Orvade Client" / "Toolkit.dll"), library.size());
    EXPECT_EQ(Ask("J" + FD + "set.dll"), "J" + FD + "1");
    EXPECT_EQ(Ask("\"" + FD + "x.dll" + FD + "Main" + FD + "k" + FD + "v"), "!" + FD + "0");
    Send("O" + FD + "screen.dll");
    std::vector<std::string> dlls;
    for (const auto& entry : fsys::recursive_directory_iterator(m_base))
        if (entry.path().extension() == ".dll" || entry.path().extension() == ".DLL") dlls.push_back(entry.path().filename());
    EXPECT_EQ(dlls, std::vector<std::string>{"Toolkit.dll"});
    // A shared object is code too: refused, and a path to one does not load.
    EXPECT_EQ(Ask("H" + FD + "\\Program Files\\Orvade Client\\kit.so" + FD + library), "H" + FD + "0");
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "kit.so" + FD + "WWANRadioPowerOn"), B0 + FD + "-1");
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "\\Program Files\\Orvade Client\\Toolkit.dll" + FD + "WWANRadioPowerOn"),
              B0 + FD + "-1");
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + "..\\Toolkit.dll" + FD + "WWANRadioPowerOn"), B0 + FD + "-1");
    EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + ".dll" + FD + "WWANRadioPowerOn"), B0 + FD + "-1");
    EXPECT_EQ(LastCall(), "");
    EXPECT_EQ(Ext("WWANRadioPowerOn"), B0 + FD + "0");
}

// EXT calls extension functions only: not the client's own component
// libraries, whatever the function, nor what registers, installs or removes.
TEST_F(InfoCommandsTest, ExtCallsNoComponentLibraryNorRegistrationOrInstallationHook) {
    InstallToolkit();
    for (const char* export_ : {"DllRegisterServer", "Install_Exit", "Uninstall_Init"}) {
        EXPECT_EQ(Ext(export_), B0 + FD + "-1") << export_;
        EXPECT_EQ(LastCall(), "") << export_;
    }
    const fsys::path program = m_base / "Program Files" / "Orvade Client";
    for (const char* library : {"Ravelcore.dll", "Panthos.dll", "Beaconet.dll", "Instavo.dll", "Tapryn.dll",
                                "orvaderes.dll"}) {
        fsys::copy_file(fsys::path(FIXTURE_DIR) / "FakeToolkit.dll", program / library);
        for (const std::string& name : {std::string(library), std::string(library) + ".", std::string("RAVELCORE.DLL")})
            EXPECT_EQ(Ask(B0 + FD + "EXT" + FD + name + FD + "WWANRadioPowerOn"), B0 + FD + "-1") << name;
        EXPECT_EQ(LastCall(), "") << library;
    }
    EXPECT_EQ(Ext("WWANRadioPowerOn"), B0 + FD + "0");
    // A name the file system finds the library by beyond ASCII case: an "s"
    // written as U+017F (mode 1: texts in UTF-8).
    Send("B" + FD + "1");
    Replies();
    Send(B0 + FD + "EXT" + FD + "Pantho\xC5\xBF.dll" + FD + "WWANRadioPowerOn", 1);
    EXPECT_EQ(Replies(1), std::vector<Bytes>{B0 + FD + "-1"});
}

TEST_F(InfoCommandsTest, ExtSurvivesAFaultingFunction) {
    InstallToolkit();
    EXPECT_EQ(Ext("Crash"), B0 + FD + "-1");
    EXPECT_EQ(LastCall(), "Crash");
    EXPECT_EQ(Ext("WWANRadioPowerOn"), B0 + FD + "0");
}

TEST_F(InfoCommandsTest, ExtArgumentsEndWithTheirCommand) {
    InstallToolkit();
    // A command after EXT is neither taken as an argument nor lost.
    Send(B0 + FD + "EXT" + FD + "Toolkit.dll" + FD + "Dial" + FD + "a" + FD + "b" + FD + "c" + FF + "A" + FD +
         "ping");
    const std::vector<Bytes> replies = Replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], B0 + FD + "0");
    EXPECT_EQ(replies[1], "A" + FD + "ping");
    EXPECT_EQ(LastCall(), "Dial(a,b,c)");
}

}  // namespace

// "Config Only", "Application Only" and "Application && Config" against a
// device root attached as the connected device, with every failure text.
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "shell/HostList.h"
#include "shell/ShellUtil.h"
#include "tests/desktop/mevrant/MevrantFixture.h"

namespace {

using mevranttest::MevrantTest;
using Lines = std::vector<std::string>;

constexpr char16_t kClientKey[] = u"Software\\Quillmar\\Orvade Client";
const char kHosts[] = "[OID=1]\r\nHost=10.0.0.5\r\nDescription=Yard\r\nPort=2001\r\n";

class ConfigOnlyTest : public MevrantTest {};

TEST_F(ConfigOnlyTest, HostsFileGoesIntoTheInstallFolderWhereTheShellReadsIt) {
    Installed(kClientKey, u"\\Program Files\\Orvade Client");
    Product("OrvadeConfig.cfg", "title=Hosts,app=Zendril\r\n");
    Product("hosts.cfg", kHosts);
    struct stat before{};
    ASSERT_EQ(stat((product_ / "hosts.cfg").c_str(), &before), 0);

    EXPECT_TRUE(Model().OnConfigOnly());
    EXPECT_EQ(box_.titles, Lines{Title()});
    EXPECT_EQ(box_.Take(), Lines{"Updates successfully installed."});
    EXPECT_EQ(progress_.events,
              (Lines{"start Connecting...", "file Host Configuration", "0", "100", "hide"}));
    EXPECT_EQ(Get("\\Program Files\\Orvade Client\\hosts.cfg"), kHosts);
    EXPECT_FALSE(model_->Connected());
    // The desktop file's last-write time goes with it; no temporary is left.
    struct stat after{};
    ASSERT_EQ(stat(Host("\\Program Files\\Orvade Client\\hosts.cfg").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Host("\\Program Files\\Orvade Client")),
                            std::filesystem::directory_iterator()),
              1);

    // The device's shell finds it as "Hosts.cfg" in its program folder.
    ResetFolders();
    SetFolder(u"OVC", nullptr, plat::fs::ProgramFolder().c_str());
    CHostListFile hosts;
    std::vector<CHostEntry> records;
    ASSERT_TRUE(hosts.ReadAll(records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::u16string(records[0].GetHost()), u"10.0.0.5");
    EXPECT_EQ(records[0].GetPort(), 2001);
    ResetFolders();
}

TEST_F(ConfigOnlyTest, DevicePathsMatchWithoutCaseAndMissingFoldersAreMade) {
    // The folder exists on the device in another case: it is used, not doubled.
    std::filesystem::create_directories(root_ / "PROGRAM FILES" / "orvade client");
    Installed(kClientKey, u"\\Program Files\\Orvade Client\\Config\\Site");
    Product("OrvadeConfig.cfg", "");
    Product("Ravelcore.cfg", "[Ravelcore]\r\n");
    Product("HOSTS.CFG", kHosts);
    EXPECT_TRUE(Model().OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Updates successfully installed."});
    EXPECT_EQ(Get("\\PROGRAM FILES\\orvade client\\Config\\Site\\Ravelcore.cfg"), "[Ravelcore]\r\n");
    EXPECT_EQ(Get("\\PROGRAM FILES\\orvade client\\Config\\Site\\hosts.cfg"), kHosts);
    EXPECT_FALSE(std::filesystem::exists(root_ / "Program Files"));
    // A folder without its leading backslash, with '/' between its names.
    Installed(kClientKey, u"Site/Other");
    EXPECT_TRUE(model_->OnConfigOnly());
    EXPECT_EQ(Get("\\Site\\Other\\hosts.cfg"), kHosts);
}

TEST_F(ConfigOnlyTest, AFailedFileIsListedWithTheAbsentOnesAndTheOldFileStays) {
    Installed(kClientKey, u"\\Program Files\\Orvade Client");
    Product("OrvadeConfig.cfg", "");
    Product("Ravelcore.cfg", "new settings");
    // A folder where the file should go: the copy cannot take its name.
    std::filesystem::create_directories(Host("\\Program Files\\Orvade Client\\Ravelcore.cfg"));
    EXPECT_FALSE(Model().OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Failed to update:\n   Client Configuration\n   Host Configuration\n"});
    EXPECT_TRUE(std::filesystem::is_directory(Host("\\Program Files\\Orvade Client\\Ravelcore.cfg")));
    EXPECT_FALSE(HostExists("\\Program Files\\Orvade Client\\Ravelcore.cfg.~tmp"));
}

TEST_F(ConfigOnlyTest, AFileThatCannotBeReadFailsWithItsReason) {
    Installed(kClientKey, u"\\Orvade");
    Product("OrvadeConfig.cfg", "");
    Product("Ravelcore.cfg", "settings");
    Product("hosts.cfg", kHosts);
    chmod((product_ / "Ravelcore.cfg").c_str(), 0);
    // In a child without the administrator's right to read any file, as a
    // user would run it.
    auto asAUser = [this] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        syscall(SYS_capget, &header, caps);
        caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header, caps);
        const bool ok = Model().OnConfigOnly();
        std::fprintf(stderr, "[%s]%s", box_.Take().at(0).c_str(), HostExists("\\Orvade\\hosts.cfg") ? "hosts" : "");
        // At once: the child leaves the parent's state to the parent.
        std::_Exit(ok ? 1 : 0);
    };
    EXPECT_EXIT(asAUser(),
        ::testing::ExitedWithCode(0),
        "\\[Failed to update:\n   Client Configuration \\(Ravelcore.cfg: Permission denied\\)\n\\]hosts");
}

TEST_F(ConfigOnlyTest, AnInterruptedCopyLeavesTheOldConfigurationWhole) {
    Installed(kClientKey, u"\\Program Files\\Orvade Client");
    Put("\\Program Files\\Orvade Client\\Ravelcore.cfg", "old settings");
    Product("OrvadeConfig.cfg", "");
    Product("Ravelcore.cfg", std::string(100000, 's'));
    // The device goes away after the first block.
    progress_.onPercent = [](int percent) {
        if (percent > 0)
            CeRapiUninit();
    };
    EXPECT_FALSE(Model().OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Failed to update:\n   Client Configuration\n   Host Configuration\n"});
    EXPECT_EQ(Get("\\Program Files\\Orvade Client\\Ravelcore.cfg"), "old settings");
}

TEST_F(ConfigOnlyTest, BlocksOf32000BytesAndEmptyFiles) {
    Installed(kClientKey, u"\\Orvade");
    Product("OrvadeConfig.cfg", "");
    std::string block(32000, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    Product("Ravelcore.cfg", block);
    Product("hosts.cfg", "");
    EXPECT_TRUE(Model().OnConfigOnly());
    // One whole block, then the empty read that ends the file; the empty
    // file is whole at once.
    EXPECT_EQ(progress_.events, (Lines{"start Connecting...", "file Client Configuration", "0", "100", "100",
                                       "file Host Configuration", "0", "100", "hide"}));
    EXPECT_EQ(Get("\\Orvade\\Ravelcore.cfg"), block);
    EXPECT_TRUE(HostExists("\\Orvade\\hosts.cfg"));
    EXPECT_EQ(Get("\\Orvade\\hosts.cfg"), "");
}

TEST_F(ConfigOnlyTest, RegistryFailuresAreShownUnderTheProductTitle) {
    Product("OrvadeConfig.cfg", "");
    Product("hosts.cfg", kHosts);
    EXPECT_FALSE(Model().OnConfigOnly());
    EXPECT_EQ(box_.titles, Lines{"Quillmar Orvade Client"});
    EXPECT_EQ(box_.Take(), Lines{"Update failed.  Unable to open Product Registry Key.  Please verify that the "
                                 "product is installed on the device.\nThe system cannot find the file specified."});
    EXPECT_EQ(progress_.events, (Lines{"start Connecting...", "hide"}));

    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, kClientKey, u"Other", u"x"));
    EXPECT_FALSE(model_->OnConfigOnly());
    EXPECT_EQ(box_.titles, Lines{"Quillmar Orvade Client"});
    EXPECT_EQ(box_.Take(), Lines{"Update failed.  Unable to determine install directory.  Please verify that "
                                 "the product is installed on the device."});
    EXPECT_FALSE(HostExists("\\hosts.cfg"));
}

TEST_F(ConfigOnlyTest, RegistryStringsAreAlwaysEndedInTheirBuffer) {
    Product("OrvadeConfig.cfg", "");
    Product("hosts.cfg", kHosts);
    // 130 characters, the whole 260-byte buffer, and no terminator.
    const std::u16string folder = u"\\" + std::u16string(129, u'd');
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, kClientKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.data()),
                            static_cast<DWORD>(folder.size() * 2)),
              ERROR_SUCCESS);
    EXPECT_TRUE(Model().OnConfigOnly());
    EXPECT_EQ(Get(plat::text::WideToUtf8(folder) + "\\hosts.cfg"), kHosts);
    // One more character does not fit: no install folder is known.
    const std::u16string longer = folder + u"e";
    ASSERT_EQ(RegSetValueEx(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(longer.data()),
                            static_cast<DWORD>(longer.size() * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    box_.Take();
    EXPECT_FALSE(model_->OnConfigOnly());
    EXPECT_EQ(box_.Take().at(0).rfind("Update failed.  Unable to determine install directory.", 0), 0u);
}

class ConnectionTest : public MevrantTest {};

TEST_F(ConnectionTest, WithoutADeviceEveryButtonEndsWithTheConnectionMessage) {
    Product("OrvadeConfig.cfg",
            "[Install]\nInstallType=1\nInstallDir=App\nInstallApp=\\Windows\\setup\nCABFile=Quillmar.cab\n");
    Product("hosts.cfg", kHosts);
    Product("Quillmar.cab", "package");
    const std::string timedOut =
        "Update failed.  Rapi interface initialization timed out.  Please verify that the device is attached to "
        "the desktop.\nNo device answered in 150 ms: the device root ";
    // A device folder that is not there (not plugged in).
    plat::rapi::AttachDevice((root_ / "absent").string());
    mevrant::CMevrant& m = Model();
    m.SetInitWait(150);
    EXPECT_FALSE(m.OnConfigOnly());
    EXPECT_FALSE(m.OnApplicationOnly());
    EXPECT_FALSE(m.OnApplicationAndConfig());
    EXPECT_EQ(box_.titles, Lines(3, Title()));
    EXPECT_EQ(box_.Take(), Lines(3, timedOut + "folder " + (root_ / "absent").string() + " does not exist."));
    // Each wait was shown, a slice at a time, and ended before its box.
    EXPECT_EQ(progress_.waits, (Lines{"waiting", "waited", "waiting", "waited", "waiting", "waited"}));
    // A file where the device folder should be.
    std::ofstream(root_ / "file") << "x";
    plat::rapi::AttachDevice((root_ / "file").string());
    EXPECT_FALSE(m.OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{timedOut + (root_ / "file").string() + " is not a folder."});

    // No device named at all.
    plat::rapi::AttachDevice("");
    EXPECT_FALSE(m.OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Update failed.  Unable to initialize the rapi interface."});

    // A device whose registry is not one: it answers at once, so no wait
    // is shown.
    progress_.waits.clear();
    std::filesystem::create_directories(root_ / "broken" / "Windows");
    std::ofstream(root_ / "broken" / "Windows" / "Registry.db") << "not a database, not at all, not ever";
    plat::rapi::AttachDevice((root_ / "broken").string());
    EXPECT_FALSE(m.OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Update failed.  Rapi interface initialization failed.  Please verify that the "
                                 "device is attached to the desktop."});
    EXPECT_TRUE(progress_.events.empty());
    EXPECT_TRUE(progress_.waits.empty());
    EXPECT_FALSE(std::filesystem::exists(root_ / "broken" / "App"));
}

TEST_F(ConnectionTest, ADeviceAttachedWhileWaitingIsConnected) {
    Installed(kClientKey, u"\\App");
    const std::filesystem::path later = root_ / "later";
    plat::rapi::AttachDevice(later.string());
    Product("OrvadeConfig.cfg", "");
    Product("hosts.cfg", kHosts);
    std::thread plug([later] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::filesystem::create_directories(later);
    });
    mevrant::CMevrant& m = Model();
    // The product key is not on this device: the connection was made.
    EXPECT_FALSE(m.OnConfigOnly());
    plug.join();
    EXPECT_EQ(box_.Take().at(0).rfind("Update failed.  Unable to open Product Registry Key.", 0), 0u);
    EXPECT_EQ(progress_.waits, (Lines{"waiting", "waited"}));
}

class InstallTest : public MevrantTest {
protected:
    void Client(const std::string& install) {
        Product("OrvadeConfig.cfg", "title=Hosts,app=Zendril\n[Install]\n" + install);
        Product("Quillmar.cab", "the package");
    }
};

TEST_F(InstallTest, TheDeviceInstallCopiesThePackageAndStartsTheInstaller) {
    Client("InstallType=1\nInstallDir=Program Files\\Orvade Client\nInstallApp=\\Windows\\setup\n"
           "InstallAppArgs=/noui\nCABFile=Quillmar.cab\n");
    DeviceProgram("\\Windows\\setup", "setup.log");
    EXPECT_TRUE(Model().OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"Install Initiated"});
    EXPECT_EQ(box_.Take(), Lines{"Please check the device to see if additional steps are required to complete the "
                                 "install."});
    EXPECT_EQ(Get("\\Program Files\\Orvade Client\\Quillmar.cab"), "the package");
    EXPECT_EQ(AwaitDeviceFile("\\setup.log"), "/noui \\Program Files\\Orvade Client\\Quillmar.cab\n");
    EXPECT_EQ(progress_.events, (Lines{"start Connecting...", "file Orvade Application", "0", "100", "hide"}));
}

TEST_F(InstallTest, TheDevicesOwnInstallerIsThisMachinesInstallerOnTheDeviceRoot) {
    Client("InstallType=1\nInstallDir=Program Files\\Orvade Client\nInstallApp=\\Windows\\wceload.exe\n"
           "InstallAppArgs=/noui\nCABFile=Quillmar.cab\n");
    // A stand-in for the installer program, which records its words.
    const std::filesystem::path fake = root_.string() + "-installer";
    const std::filesystem::path log = root_.string() + "-installer.log";
    std::ofstream(fake) << "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + log.string() + ".part\"\nmv \"" + log.string() +
                               ".part\" \"" + log.string() + "\"\n";
    chmod(fake.c_str(), 0755);
    setenv("ORVADE_INSTALLER", fake.c_str(), 1);
    EXPECT_TRUE(Model().OnApplicationOnly());
    unsetenv("ORVADE_INSTALLER");
    EXPECT_EQ(box_.Take(), Lines{"Please check the device to see if additional steps are required to complete the "
                                 "install."});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(log) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream in(log);
    std::stringstream words;
    words << in.rdbuf();
    EXPECT_EQ(words.str(), "--device-root|" + root_.string() + "|--folder|\\Program Files\\Orvade Client|" +
                               root_.string() + "/Program Files/Orvade Client/Quillmar.cab|");
    std::filesystem::remove(fake);
    std::filesystem::remove(log);
}

TEST_F(InstallTest, InstallFailures) {
    const std::string install = "InstallType=1\nInstallDir=App\nInstallApp=\\Windows\\setup\nCABFile=Quillmar.cab\n";
    Client(install);
    EXPECT_FALSE(Model().OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"\\Windows\\setup"});
    EXPECT_EQ(box_.Take(), Lines{"Install Failed.\nThe install app was not found."});

    // There, but not a program.
    Put("\\Windows\\setup", "not a program");
    EXPECT_FALSE(model_->OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"\\Windows\\setup"});
    EXPECT_EQ(box_.Take(), Lines{"Install failed.\nUnable to spawn the install app on the device."});
    EXPECT_EQ(Get("\\App\\Quillmar.cab"), "the package");

    // No package in the product folder: nothing to install.
    DeviceProgram("\\Windows\\setup", "setup.log");
    std::filesystem::remove(product_ / "Quillmar.cab");
    EXPECT_FALSE(model_->OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"Install Failed."});
    EXPECT_EQ(box_.Take(), Lines{"Unable to copy CAB file to device."});
    EXPECT_FALSE(model_->Connected());
}

TEST_F(InstallTest, ApplicationAndConfigInstallsThenCopiesTheConfiguration) {
    Client("InstallType=1\nInstallDir=Orvade\nInstallApp=\\Windows\\setup\nCABFile=Quillmar.cab\n");
    DeviceProgram("\\Windows\\setup", "setup.log");
    // What the installation hooks write on the device.
    Installed(kClientKey, u"\\Orvade");
    Product("hosts.cfg", kHosts);
    EXPECT_TRUE(Model().OnApplicationAndConfig());
    EXPECT_EQ(box_.Take(), (Lines{"Please check the device to see if additional steps are required to complete "
                                  "the install.",
                                  "Updates successfully installed."}));
    EXPECT_EQ(AwaitDeviceFile("\\setup.log"), "\\Orvade\\Quillmar.cab\n");
    EXPECT_EQ(Get("\\Orvade\\hosts.cfg"), kHosts);
}

TEST_F(InstallTest, TheAgentsPackageGoesBelowCabDirAndItsMonitorIsTold) {
    Product("TavrineConfig.cfg", "[Install]\nInstallType=1\nInstallDir=Agent\nInstallApp=\\Windows\\setup\n"
                                 "CABFile=Agent.cab\nCABDir=Packages\\New\n");
    Product("Agent.cab", "agent package");
    DeviceProgram("\\Windows\\setup", "setup.log");
    EXPECT_TRUE(Model().OnApplicationOnly());
    EXPECT_EQ(Get("\\Agent\\Packages\\New\\Agent.cab"), "agent package");
    EXPECT_EQ(AwaitDeviceFile("\\setup.log"), "\\Agent\\Packages\\New\\Agent.cab\n");

    // Its configuration goes to its work folder; the monitor is told.
    box_.Take();
    Installed(u"Software\\Quillmar\\Nivalorum", u"\\Agent");
    DeviceProgram("\\Agent\\Monitor.exe", "monitor.log");
    Product("NivCfg.dat", "cfg");
    Product("Nivalorum.alk", "links");
    EXPECT_TRUE(model_->OnConfigOnly());
    EXPECT_EQ(box_.titles, Lines{Title()});
    EXPECT_EQ(box_.Take(), Lines{"Updates successfully installed."});
    EXPECT_EQ(Get("\\Agent\\Work\\NivCfg.dat"), "cfg");
    EXPECT_EQ(Get("\\Agent\\Work\\Nivalorum.alk"), "links");
    EXPECT_EQ(AwaitDeviceFile("\\monitor.log"), "/update\n");
}

TEST_F(InstallTest, TheTerminalEmulationKeepsASecondCopyInFlashDir) {
    Product("TelnetConfig.cfg", "");
    Product("TMHosts.cfg", "hosts");
    Installed(u"Software\\Quillmar\\Termelle", u"\\Termelle");
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Termelle", u"FlashDir",
                                          u"\\Flash\\Termelle"));
    EXPECT_TRUE(Model().OnConfigOnly());
    EXPECT_EQ(Get("\\Termelle\\TMHosts.cfg"), "hosts");
    EXPECT_EQ(Get("\\Flash\\Termelle\\TMHosts.cfg"), "hosts");
}

TEST_F(InstallTest, TheDesktopApplicationManagerTakesEachIniFile) {
    Client("InstallType=0\n");
    Product("Client.ini", "");
    Product("Extras.INI", "");
    const std::string log = (product_ / "appmgr.log").string();
    Product("appmgr.sh", "#!/bin/sh\necho \"$#:$1\" >> \"" + log + "\"\n");
    chmod((product_ / "appmgr.sh").c_str(), 0755);
    const std::string registry = (root_ / "DesktopRegistry.ini").string();
    mevrant::CMevrant& m = Model();
    m.SetDesktopRegistry(registry);
    EXPECT_FALSE(m.OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"Error"});
    EXPECT_EQ(box_.Take(), Lines{"The system cannot find the file specified."});

    std::ofstream(registry) << (
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CEAppMgr.exe]\r\n"
            "@=\"" + (product_ / "appmgr.sh").string() + "\"\r\n");
    EXPECT_TRUE(m.OnApplicationOnly());
    EXPECT_TRUE(box_.Take().empty());
    std::ifstream in(log);
    std::stringstream runs;
    runs << in.rdbuf();
    EXPECT_EQ(runs.str(), "1:Client.ini\n1:Extras.INI\n");
}

}  // namespace

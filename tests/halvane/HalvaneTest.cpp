// Halvane over the vendor stand-ins: display, beeper, keyboard, the
// registry dump's bytes and the about page.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstdlib>

#include "platform/Dialog.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/Sound.h"
#include "platform/Window.h"
#include "platform/exports/DeviceExports.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/core/support/ExportedNames.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Quillmar\\Termelle v1.0";

class HalvaneTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        plat::fs::SetProgramFolder(u"\\Program Files\\Orvade Client");
        const std::filesystem::path ext = root_ / "Program Files" / "Orvade Client" / "Ext";
        std::filesystem::create_directories(ext);
        std::filesystem::copy_file(HALVANE_LIBRARY, ext / "Halvane.dll");
        halvane_ = LoadLibrary(u"\\Program Files\\Orvade Client\\Ext\\Halvane.dll");
        ASSERT_NE(halvane_, nullptr);
        setenv("ORVADE_BACKLIGHT_DIR", (root_ / "no-backlight").c_str(), 1);
    }
    void TearDown() override {
        if (halvane_) FreeLibrary(halvane_);
        unsetenv("ORVADE_BACKLIGHT_DIR");
        plat::sound::SetTonePlayer(nullptr);
        plat::fs::SetProgramFolder(u"");
        DeviceRootTest::TearDown();
    }
    template <typename F>
    F Fn(const char* name) {
        F f = GetProc<F>(halvane_, name);
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    int Call(const char* name) { return Fn<int (*)()>(name)(); }
    int Call(const char* name, int a) { return Fn<int (*)(int)>(name)(a); }
    int Call(const char* name, int a, int b) { return Fn<int (*)(int, int)>(name)(a, b); }

    static void SetString(HKEY key, const char16_t* name, std::u16string_view text) {
        std::u16string data(text);
        RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                      static_cast<DWORD>((data.size() + 1) * 2));
    }
    static void SetDword(HKEY key, const char16_t* name, DWORD value) {
        RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    static HKEY Create(const std::u16string& path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    HMODULE halvane_ = nullptr;
};

TEST_F(HalvaneTest, ExportsExactlyItsSetAndDescribesItself) {
    EXPECT_EQ(ExportedNames(HALVANE_LIBRARY),
              (std::set<std::string>{"TelnetExtention", "GetExtentionInfo", "GetAboutPropSheet", "CreateRegistryFile",
                                     "SetBacklightIntensity", "GetBacklightIntensity", "SetBacklightState",
                                     "GetBacklightState", "GetBacklightIntensityLevels", "SetContrast", "GetContrast",
                                     "GetContrastLevels", "SetAlphaMode", "SetKeyBoardState", "GetKeyBoardState",
                                     "PlayBeep", "GetBatteryType", "GetPowerState", "SetBackLightTime",
                                     "SetKeyTimeout", "GetBackLightTime", "GetKeyTimeout"}));
    EXPECT_EQ(Fn<DWORD (*)()>("TelnetExtention")(), EXTENTION_DEVICE);

    const auto info = Fn<GetExtentionInfo_fn>("GetExtentionInfo");
    EXPECT_FALSE(info(nullptr));
    ExtentionInfo* record = nullptr;
    ASSERT_TRUE(info(&record));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::u16string(record->name), u"Tarvex R24");
    EXPECT_EQ(record->version, 1u);
    EXPECT_EQ(record->kind, 4u);
    ASSERT_TRUE(info(&record));  // the record handed back is freed, a new one made
    LocalFree(record);

    for (const char* name : {"GetBatteryType", "GetPowerState"}) EXPECT_EQ(Call(name), 0) << name;
    for (const char* name : {"GetBackLightTime", "GetKeyTimeout", "GetKeyBoardState"}) EXPECT_EQ(Call(name), -1);
    EXPECT_EQ(Call("SetBackLightTime", 5), 0);
    EXPECT_EQ(Call("SetKeyTimeout", 5), 0);
}

TEST_F(HalvaneTest, KeyboardStateGoesToTheDriverUnlessItsLowByteIsAllOnes) {
    Fn<DWORD (*)()>("TelnetExtention")();
    HMODULE keyboard = LoadLibrary(u"tvkeybd.dll");
    ASSERT_NE(keyboard, nullptr);
    const auto alpha = GetProc<int (*)()>(keyboard, "KeybdGetAlphaMode");
    const auto keys = GetProc<int (*)()>(keyboard, "KeybdGetKeyState");
    EXPECT_EQ(Call("SetAlphaMode", 1), 1);
    EXPECT_EQ(alpha(), 1);
    EXPECT_EQ(Call("SetKeyBoardState", 0x102), 1);
    EXPECT_EQ(keys(), 0x102);
    EXPECT_EQ(Call("SetKeyBoardState", 0x1FF), 0);
    EXPECT_EQ(keys(), 0x102);
    FreeLibrary(keyboard);
}

TEST_F(HalvaneTest, TheKeyboardDriverIsLoadedOnceAndGoesWithTheLibrary) {
    for (int i = 0; i < 5; ++i) Fn<DWORD (*)()>("TelnetExtention")();
    const std::string driver = std::string(VENDOR_DIR) + "/tvkeybd.dll";
    void* loaded = dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(loaded, nullptr);
    dlclose(loaded);
    FreeLibrary(halvane_);
    halvane_ = nullptr;
    // One reference was held, and it went: five probes kept no more.
    EXPECT_EQ(dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(HalvaneTest, BacklightFollowsTheMachinesDeviceAndContrastIsKept) {
    const std::filesystem::path device = root_ / "backlight" / "panel";
    std::filesystem::create_directories(device);
    Put("\\backlight\\panel\\brightness", "5\n");
    Put("\\backlight\\panel\\max_brightness", "9\n");
    Put("\\backlight\\panel\\bl_power", "0\n");
    setenv("ORVADE_BACKLIGHT_DIR", (root_ / "backlight").c_str(), 1);
    EXPECT_EQ(Call("GetBacklightIntensity"), 5);
    EXPECT_EQ(Call("GetBacklightIntensityLevels", 0, 0), 10);
    EXPECT_EQ(Call("SetBacklightIntensity", 7), 0);
    EXPECT_EQ(Get("\\backlight\\panel\\brightness"), "7\n");
    EXPECT_NE(Call("SetBacklightIntensity", 10), 0);
    EXPECT_EQ(Call("SetBacklightState", 0), 0);
    EXPECT_EQ(Get("\\backlight\\panel\\bl_power"), "4\n");
    EXPECT_EQ(Call("GetBacklightState"), 0);
    EXPECT_EQ(Call("SetBacklightState", 1), 0);
    EXPECT_EQ(Call("GetBacklightState"), 1);

    // Without one, the library keeps the values.
    setenv("ORVADE_BACKLIGHT_DIR", (root_ / "none").c_str(), 1);
    EXPECT_EQ(Call("GetBacklightIntensityLevels", 0, 0), 16);
    EXPECT_EQ(Call("SetBacklightIntensity", 4), 0);
    EXPECT_EQ(Call("GetBacklightIntensity"), 4);
    EXPECT_EQ(Call("SetContrast", 3), 0);
    EXPECT_EQ(Call("GetContrast"), 3);
    EXPECT_EQ(Call("GetContrastLevels", 0, 7), 16);
    EXPECT_NE(Call("SetContrast", 16), 0);
    EXPECT_EQ(Call("GetContrast"), 3);
}

TEST_F(HalvaneTest, TheBeeperSoundsThroughTheSoundLayer) {
    std::vector<std::pair<DWORD, DWORD>> tones;
    plat::sound::SetTonePlayer([&](DWORD frequency, DWORD ms) {
        tones.emplace_back(frequency, ms);
        return TRUE;
    });
    EXPECT_EQ(Call("PlayBeep", 20, 2000), 1);
    EXPECT_EQ(Call("PlayBeep", -5, 440), 1);  // no time, not four billion milliseconds
    EXPECT_EQ(tones, (std::vector<std::pair<DWORD, DWORD>>{{2000, 20}, {440, 0}}));
}

TEST_F(HalvaneTest, TheRegistryDumpOfASubkeyOnly) {
    HKEY top = Create(kKey);
    HKEY hosts = Create(std::u16string(kKey) + u"\\Hosts");
    SetDword(hosts, u"Port", 1000);
    RegCloseKey(hosts);
    RegCloseKey(top);
    const auto dump = Fn<void* (*)()>("CreateRegistryFile");
    EXPECT_EQ(reinterpret_cast<HCURSOR>(dump()), LoadCursor(nullptr, IDC_WAIT));
    EXPECT_EQ(Get("\\Termelle.reg"),
              "REGEDIT4\r\n\r\n"
              "\r\n[HKEY_LOCAL_MACHINE\\Software\\Quillmar\\Termelle v1.0\\Hosts]\r\n"
              "\"Port\"=dword:000003e8\r\n");
}

TEST_F(HalvaneTest, TheRegistryDumpWritesEveryValueWholeIntoTheChosenFolder) {
    std::filesystem::create_directories(root_ / "Temp");
    HKEY top = Create(kKey);
    SetString(top, u"RegFilePath", u"\\Temp");
    SetDword(top, u"Count", 0x1A);
    SetString(top, u"", u"caf\u00e9");  // the default value; OEM text
    const BYTE blob[] = {1, 2, 3};
    RegSetValueEx(top, u"Blob", 0, REG_BINARY, blob, 3);
    const std::u16string longText(300, u'x');
    SetString(top, u"Long", longText);
    for (const char16_t* skipped : {u"\\CharacterSets", u"\\KeyMaps"}) {
        HKEY key = Create(std::u16string(kKey) + skipped);
        SetDword(key, u"Skipped", 1);
        RegCloseKey(key);
    }
    RegCloseKey(Create(std::u16string(kKey) + u"\\Empty"));
    HKEY deep = Create(std::u16string(kKey) + u"\\Hosts\\KeyMaps");
    SetString(deep, u"Name", u"a\"b");  // not escaped
    RegCloseKey(deep);
    RegCloseKey(top);

    Fn<void* (*)()>("CreateRegistryFile")();
    const std::string header = "\r\n[HKEY_LOCAL_MACHINE\\Software\\Quillmar\\Termelle v1.0";
    EXPECT_EQ(Get("\\Temp\\Termelle.reg"),
              "REGEDIT4\r\n\r\n" + header + "]\r\n"
              "\"RegFilePath\"=\"\\Temp\"\r\n"
              "\"Count\"=dword:0000001a\r\n"
              "\"\"=\"caf\x82\"\r\n"
              "\"Blob\"=\r\n"
              "\"Long\"=\"" + std::string(300, 'x') + "\"\r\n" +
              header + "\\Empty]\r\n" +
              header + "\\Hosts]\r\n" +
              header + "\\Hosts\\KeyMaps]\r\n"
              "\"Name\"=\"a\"b\"\r\n");
    EXPECT_FALSE(HostExists("\\Termelle.reg"));
}

TEST_F(HalvaneTest, TheAboutPageShowsPowerAndDisplay) {
    PROPSHEETPAGE page{};
    page.dwSize = 40;
    ASSERT_TRUE(Fn<GetAboutPropSheet_fn>("GetAboutPropSheet")(&page));
    EXPECT_EQ(page.dwSize, 40u);
    EXPECT_EQ(page.hInstance, halvane_);
    ASSERT_EQ(page.pszTemplate, 109u);
    const plat::res::Dialog* dialog = plat::res::FindDialog(page.hInstance, 109);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(std::u16string(dialog->caption), u"Tarvex Device");
    EXPECT_EQ(Call("SetContrast", 3), 0);
    EXPECT_EQ(Call("SetBacklightIntensity", 15), 0);

    const HWND sheet = CreateWindowEx(0, u"STATIC", u"", WS_POPUP, 0, 0, 200, 200, 0, 0, nullptr, nullptr);
    const HWND window =
        CreateDialogIndirectParam(nullptr, dialog, sheet, reinterpret_cast<DLGPROC>(page.pfnDlgProc), 0);
    ASSERT_NE(window, 0u);
    SendMessage(window, WM_TIMER, 1, 0);
    char16_t text[1024] = {};
    GetDlgItemText(window, 1000, text, 1024);
    EXPECT_EQ(std::u16string(text),
              u"Power Information\r\n"
              u"   Battery Type=NONE\r\n"
              u"  Battery Level=NONE\r\n"
              u"\r\nDisplay Information\r\n"
              u"      Backlight=15 max(16)\r\n"
              u"       Contrast=3 max(16)\r\n");
    DestroyWindow(sheet);
}

}  // namespace

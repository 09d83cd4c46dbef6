#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "shell/ExternalConfig.h"
#include "shell/SettingsStore.h"

namespace {

using shelltest::ShellTest;

class SettingsStoreTest : public ShellTest {
protected:
    const std::u16string kDefaults = u"Software\\Quillmar\\OVC v1.0\\Defaults";
    void SetDword(const char16_t* name, DWORD value) {
        ASSERT_TRUE(plat::registry::SetDword(HKEY_LOCAL_MACHINE, kDefaults.c_str(), name, value));
    }
    void SetText(const char16_t* name, std::u16string_view text) {
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, kDefaults.c_str(), name, text));
    }
};

TEST_F(SettingsStoreTest, FreshStoreHasTheTableDefaultsAndTypes) {
    CSettingsStore store(u"");
    EXPECT_EQ(store.GetBool(SETTING_LOG_CLEAR_ON_OPEN), 1);
    EXPECT_EQ(store.GetBool(SETTING_ENABLE_LOGGING), 0);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), -1);
    EXPECT_EQ(store.GetString(SETTING_LOG_FILE_NAME), nullptr);
    EXPECT_EQ(store.HasValue(SETTING_AUTO_RECONNECT), 0);
    EXPECT_EQ(store.GetType(SETTING_AUTO_RECONNECT), 0);
    for (const SettingDef& def : kSettingDefs) {
        EXPECT_EQ(store.GetType(def.number), int(def.type)) << def.number;
        EXPECT_EQ(store.HasValue(def.number), def.hasDefault ? 1 : 0) << def.number;
        if (def.hasDefault) {
            EXPECT_EQ(store.GetInt(def.number), def.defaultValue) << def.number;
        }
        // Every setting is found by its name, in any case.
        std::u16string upper(def.name);
        for (char16_t& c : upper) c = plat::text::ToUpper(c);
        EXPECT_EQ(store.FindByName(upper.c_str()), def.number);
    }
    EXPECT_EQ(store.FindByName(u"NoSuchSetting"), -1);
    // Numbers out of range.
    EXPECT_EQ(store.GetType(62), 3);
    EXPECT_EQ(store.GetInt(62), -1);
    EXPECT_EQ(store.GetBool(-1), 0);
    EXPECT_EQ(store.GetString(62), nullptr);
    store.SetInt(62, 5);
    store.SetString(100, u"x");
    // Without a name only the defaults, and no types for settings without one.
    CSettingsStore bare;
    EXPECT_EQ(bare.GetType(SETTING_AUTO_RECONNECT), 3);
    EXPECT_EQ(bare.FindByName(u"AutoReconnect"), -1);
}

TEST_F(SettingsStoreTest, RegistryValuesOverrideDefaults) {
    SetDword(u"EnableLogging", 1);
    SetDword(u"FontSize", 12);
    SetText(u"FontName", u"Courier");
    SetDword(u"Reserved20", 1);  // read by nobody, loaded like the others
    // Another product's key is not read.
    ASSERT_TRUE(plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Other\\Defaults", u"FontSize", 9));
    CSettingsStore store(u"");
    EXPECT_EQ(store.GetBool(SETTING_ENABLE_LOGGING), 1);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 12);
    EXPECT_EQ(std::u16string(store.GetString(SETTING_FONT_NAME)), u"Courier");
    EXPECT_EQ(store.GetBool(SETTING_RESERVED_20), 1);
    // A named store reads "<name>\Defaults".
    ASSERT_TRUE(plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\OVC v1.0\\Site\\Defaults",
                                         u"FontSize", 7));
    CSettingsStore named(u"Site");
    EXPECT_EQ(named.GetInt(SETTING_FONT_SIZE), 7);
}

TEST_F(SettingsStoreTest, ShortDwordValueReadsWithZeroedHighBytes) {
    // A one-byte binary value: the rest of the number is zero, not what the
    // buffer held before.
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, kDefaults.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_SUCCESS);
    const BYTE one = 7;
    ASSERT_EQ(RegSetValueEx(key, u"FontSize", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    RegCloseKey(key);
    DWORD value = 0xFFFFFFFF;
    ASSERT_EQ(RegReadDword(u"Defaults", u"FontSize", &value), 1);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(RegReadDword(u"Defaults", u"Missing", &value), 0);
    EXPECT_EQ(RegReadDword(u"NoKey", u"FontSize", &value), 0);
    std::u16string text;
    EXPECT_EQ(RegReadString(u"NoKey", u"FontName", &text), 0);
}

// The store reads its key's values at once; each comes out as a read of
// that one value gives it.
TEST_F(SettingsStoreTest, TheStoreReadsEachValueAsASingleReadDoes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, kDefaults.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_SUCCESS);
    const struct {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    } values[] = {
        {u"fontsize", REG_BINARY, {7}},                            // another case, one byte
        {u"EnableLogging", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}},  // too long for a number
        {u"FontName", REG_SZ, {'C', 0, 'o', 0, 0, 0, 'x', 0, 'y'}},  // up to its terminator
        {u"LogFileName", REG_BINARY, {'a', 0, 'b', 0, 'c'}},         // no terminator, an odd byte
        {u"AutoReconnect", REG_SZ, {'1', 0, 0, 0}},                  // a number of a text's bytes
    };
    for (const auto& v : values)
        ASSERT_EQ(RegSetValueEx(key, v.name, 0, v.type, v.data.data(), DWORD(v.data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
    CSettingsStore store(u"");
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 7);
    EXPECT_EQ(store.GetBool(SETTING_ENABLE_LOGGING), 0);
    EXPECT_EQ(std::u16string(store.GetString(SETTING_FONT_NAME)), u"Co");
    EXPECT_EQ(std::u16string(store.GetString(SETTING_LOG_FILE_NAME)), u"ab");
    EXPECT_EQ(store.GetInt(SETTING_AUTO_RECONNECT), 0x31);
    const CSettingsStore defaults;
    for (const SettingDef& def : kSettingDefs) {
        SCOPED_TRACE(plat::text::WideToUtf8(def.name));
        DWORD number = 0;
        std::u16string text;
        if (def.type == SettingType::String && RegReadString(u"Defaults", def.name, &text))
            EXPECT_EQ(std::u16string(store.GetString(def.number)), text);
        else if (def.type != SettingType::String && RegReadDword(u"Defaults", def.name, &number))
            EXPECT_EQ(store.GetInt(def.number), int32_t(number));
        else
            EXPECT_EQ(store.GetInt(def.number), defaults.GetInt(def.number));
    }
}

TEST_F(SettingsStoreTest, SetIntAndSetStringKeepOrChangeTypes) {
    CSettingsStore store(u"");
    store.SetString(SETTING_FONT_NAME, u"Arial");
    const char16_t* first = store.GetString(SETTING_FONT_NAME);
    store.SetString(SETTING_FONT_NAME, u"Arial");
    EXPECT_EQ(store.GetString(SETTING_FONT_NAME), first);  // the same text: no new copy
    store.SetString(SETTING_FONT_NAME, u"Tahoma");
    EXPECT_EQ(std::u16string(store.GetString(SETTING_FONT_NAME)), u"Tahoma");
    // An int on a string setting makes it int; a bool setting stays bool.
    store.SetInt(SETTING_FONT_NAME, 3);
    EXPECT_EQ(store.GetType(SETTING_FONT_NAME), 1);
    EXPECT_EQ(store.GetString(SETTING_FONT_NAME), nullptr);
    store.SetInt(SETTING_WRAP, 1);
    EXPECT_EQ(store.GetType(SETTING_WRAP), 0);
    store.ClearValue(SETTING_WRAP);
    EXPECT_EQ(store.HasValue(SETTING_WRAP), 0);
    EXPECT_EQ(store.GetType(SETTING_WRAP), 0);
}

TEST_F(SettingsStoreTest, ConfigPairsConvertByTheSettingsType) {
    SetDword(u"Wrap", 1);
    CSettingsStore store(u"");
    CNameValueList list;
    ParseConfigText(list,
                    u"Wrap=off\nSilentMode=ON\nActionAsEnter=Yes\nIgnoreRadio=1\nCRMode=2\n"
                    u"FontSize=12pt\nNumRows=rows\nCellWidth=-5\nFontName= Lucida Console \nUnknownKey=1\n"
                    u"Reserved31=kept\nReserved59=false\n");
    EXPECT_EQ(ApplyConfigPairs(list, store), 11);
    const struct {
        int n;
        int32_t value;
    } numbers[] = {{SETTING_WRAP, 0},        {SETTING_SILENT_MODE, 1}, {SETTING_ACTION_AS_ENTER, 1},
                   {SETTING_IGNORE_RADIO, 1}, {SETTING_CR_MODE, 0},     {SETTING_FONT_SIZE, 12},
                   {SETTING_NUM_ROWS, 0},     {SETTING_CELL_WIDTH, -5}, {SETTING_RESERVED_59, 0}};
    for (const auto& c : numbers) EXPECT_EQ(store.GetInt(c.n), c.value) << c.n;
    EXPECT_EQ(store.GetType(SETTING_WRAP), 0);
    EXPECT_EQ(std::u16string(store.GetString(SETTING_FONT_NAME)), u"Lucida Console");
    EXPECT_EQ(std::u16string(store.GetString(SETTING_RESERVED_31)), u"kept");
}

}  // namespace

#include <gtest/gtest.h>

#include <set>

#include "SettingsCatalog.h"
#include "settingseditor/ItemType.h"
#include "shell/SettingsTable.h"

namespace {

std::string Ascii(const char16_t* text) { return std::string(text, text + std::char_traits<char16_t>::length(text)); }

TEST(SettingsCatalogTest, TheBuiltCatalogHoldsEverySettingOfTheTable) {
    settingseditor::OptionList list;
    ASSERT_NO_THROW(settingseditor::LoadCatalog(SETTINGS_CATALOG, list));
    ASSERT_EQ(list.size(), size_t(kSettingCount));
    std::set<std::string> keys;
    for (const SettingDef& def : kSettingDefs) {
        const settingseditor::CItemType& item = *list[def.number];
        SCOPED_TRACE(def.number);
        EXPECT_EQ(item.section, kSettingsSection);
        EXPECT_EQ(item.key, Ascii(def.name));
        EXPECT_EQ(item.order, def.number);
        EXPECT_EQ(item.treePath, def.folder);
        EXPECT_FALSE(item.help.bytes.empty());
        EXPECT_EQ(item.help.bytes.rfind("{\\rtf1", 0), 0u);
        switch (def.type) {
        case SettingType::Bool:
            EXPECT_EQ(item.type, settingseditor::kDword);
            EXPECT_EQ(item.ValueToLabel("1"), "Yes");
            EXPECT_EQ(item.LabelToValue("No"), "0");
            break;
        case SettingType::Int:
            EXPECT_EQ(item.type, settingseditor::kInteger);
            break;
        case SettingType::String:
            EXPECT_EQ(item.type, settingseditor::kString);
            break;
        }
        EXPECT_EQ(item.defaultValue,
                  def.hasDefault && def.type != SettingType::String ? std::to_string(def.defaultValue) : "");
        EXPECT_TRUE(item.defaultValue.empty() || item.Validate(item.defaultValue, false));
        keys.insert(item.key);
    }
    EXPECT_EQ(keys.size(), size_t(kSettingCount));
}

TEST(SettingsCatalogTest, NamesAndHelpTexts) {
    EXPECT_EQ(settingscatalog::DisplayName("AutoReconnect"), "Auto Reconnect");
    EXPECT_EQ(settingscatalog::DisplayName("RSSIThreshold"), "RSSI Threshold");
    EXPECT_EQ(settingscatalog::DisplayName("UPCE0Options"), "UPCE0 Options");
    EXPECT_EQ(settingscatalog::DisplayName("Supp2"), "Supp2");
    EXPECT_EQ(settingscatalog::RichText("a\\b{c}"),
              "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss MS Sans Serif;}}\\f0\\fs16 a\\\\b\\{c\\}\\par}");
}

}  // namespace

#include <fstream>
#include <sstream>

#include "settingseditor/Document.h"
#include "shell/ExternalConfig.h"
#include "shell/SettingsStore.h"
#include "tests/Client/Windows/shell/ShellFixture.h"

namespace {

// What Optarium saves against the generated catalog is what the shell reads
// at start-up from "Ravelcore.cfg" of its program folder.
class CatalogRoundTripTest : public shelltest::ShellTest {};

TEST_F(CatalogRoundTripTest, ASettingsFileSavedByTheEditorIsWhatTheShellApplies) {
    settingseditor::CommandLineInfo info;
    info.catalogPath = SETTINGS_CATALOG;
    const std::string folder = root_.string() + "/desktop";
    std::filesystem::create_directories(folder);
    settingseditor::COptariumDoc doc(info, folder);
    ASSERT_TRUE(doc.OnNewDocument());
    for (auto [key, value] : {std::pair{"FontSize", "12"}, {"Wrap", "1"}, {"LogClearOnOpen", "0"},
                              {"FontName", "Lucida Console"}, {"HostEntryURL", "\\Hosts\\%s.cfg"}}) {
        auto setting = std::make_unique<settingseditor::CRawType>();
        setting->section = kSettingsSection;
        setting->key = key;
        setting->value = value;
        doc.MergeSetting(std::move(setting));
    }
    const std::string saved = folder + "/Ravelcore.cfg";
    ASSERT_TRUE(doc.OnSaveDocument(saved));
    std::ifstream in(saved, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    Put(ProgramFile("Ravelcore.cfg"), text.str());

    CSettingsStore store(u"");
    LoadExternalConfigs(store, nullptr, nullptr);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 12);
    EXPECT_EQ(store.GetBool(SETTING_WRAP), 1);
    EXPECT_EQ(store.GetBool(SETTING_LOG_CLEAR_ON_OPEN), 0);
    ASSERT_NE(store.GetString(SETTING_FONT_NAME), nullptr);
    EXPECT_EQ(std::u16string(store.GetString(SETTING_FONT_NAME)), u"Lucida Console");
    EXPECT_EQ(std::u16string(store.GetString(SETTING_HOST_ENTRY_URL)), u"\\Hosts\\%s.cfg");
}

}  // namespace

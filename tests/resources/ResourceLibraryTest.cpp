#include <gtest/gtest.h>

#include "platform/Resources.h"
#include "shell/SettingsTable.h"

namespace {

class ResourceLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { module_ = LoadLibrary(u"ORVADERES.DLL"); }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
};

TEST_F(ResourceLibraryTest, EveryTextFitsItsBuffer) {
    ASSERT_NE(module_, nullptr) << GetLastError();
    struct Case {
        UINT id;
        int bufferChars;
    } cases[] = {{4, 100},    {6, 260},    {38, 200},   {39, 100},   {41, 200},   {57, 100},  {124, 260},
                 {141, 200},  {6058, 100}, {6059, 260}, {6064, 200}, {6101, 200}, {6075, 260}};
    for (const Case& c : cases) {
        const std::u16string text = plat::res::LoadText(module_, c.id);
        EXPECT_FALSE(text.empty()) << c.id;
        EXPECT_LT(static_cast<int>(text.size()), c.bufferChars) << c.id;
    }
    // The registry root the shell builds from it.
    EXPECT_EQ(plat::res::LoadText(module_, 124) + u"OVC v1.0", u"Software\\Quillmar\\OVC v1.0");
    // The global configuration is the settings file of the program folder.
    EXPECT_EQ(plat::res::LoadText(module_, 153), u"Ravelcore.cfg");
}

TEST_F(ResourceLibraryTest, SettingNamesAreDistinctWithoutRegardToCase) {
    ASSERT_NE(module_, nullptr);
    // Every row of the settings table, under the identifier the table gives.
    std::vector<UINT> ids;
    for (const SettingDef& def : kSettingDefs) {
        EXPECT_EQ(plat::res::LoadText(module_, def.nameId), def.name) << def.number;
        ids.push_back(def.nameId);
    }
    ASSERT_EQ(ids.size(), 62u);
    std::vector<std::u16string> names;
    for (UINT id : ids) {
        std::u16string name = plat::res::LoadText(module_, id);
        EXPECT_FALSE(name.empty()) << id;
        EXPECT_LT(name.size(), 200u);
        for (char16_t& c : name) c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << id;
        names.push_back(name);
    }
}

TEST_F(ResourceLibraryTest, DialogTemplatesHoldTheirControls) {
    ASSERT_NE(module_, nullptr);
    struct Case {
        UINT dialog;
        std::vector<std::pair<UINT, std::u16string>> controls;
    } cases[] = {
        {134,
         {{1016, u"EDIT"}, {1017, u"EDIT"}, {1018, u"EDIT"}, {1020, u"COMBOBOX"}, {1, u"BUTTON"},
          {1028, u"BUTTON"}, {2, u"BUTTON"}, {1029, u"BUTTON"}}},
        {6029, {{1020, u"STATIC"}, {1035, u"STATIC"}, {1041, u"STATIC"}, {1, u"BUTTON"}, {2, u"BUTTON"}}},
        {30001, {{30000, u"LISTBOX"}, {0xFFFF, u"STATIC"}, {1, u"BUTTON"}, {2, u"BUTTON"}}},
        {30002, {{0xFFFF, u"STATIC"}, {1, u"BUTTON"}}},
    };
    for (const Case& c : cases) {
        const plat::res::Dialog* dialog = plat::res::FindDialog(module_, c.dialog);
        ASSERT_NE(dialog, nullptr) << c.dialog;
        for (const auto& [id, className] : c.controls) {
            const plat::res::DialogItem* item = plat::res::FindItem(*dialog, id);
            ASSERT_NE(item, nullptr) << c.dialog << " " << id;
            EXPECT_EQ(std::u16string(item->className), className) << c.dialog << " " << id;
        }
    }
    EXPECT_EQ(plat::res::FindDialog(module_, 9999), nullptr);
}

TEST_F(ResourceLibraryTest, LoadStringCutsToTheBufferAndMissingReadsEmpty) {
    ASSERT_NE(module_, nullptr);
    char16_t buffer[6];
    EXPECT_EQ(LoadString(module_, 4, buffer, 6), 5);
    EXPECT_EQ(std::u16string(buffer), u"Orvad");
    EXPECT_EQ(LoadString(module_, 1, buffer, 6), 0);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(LoadString(nullptr, 4, buffer, 6), 0);
    EXPECT_EQ(plat::res::LoadText(nullptr, 4), u"");
}

}  // namespace

namespace {

TEST_F(ResourceLibraryTest, HostListIconsComeAtBothSizes) {
    ASSERT_NE(module_, nullptr);
    for (UINT id : {175u, 173u, 172u, 171u, 6003u, 180u}) {
        for (int size : {32, 16}) {
            const plat::res::Icon* icon = plat::res::FindIcon(module_, id, size);
            ASSERT_NE(icon, nullptr) << id << " " << size;
            // Some ink, some transparency.
            int opaque = 0;
            for (int i = 0; i < size * size; ++i) opaque += (icon->pixels[i] >> 24) != 0;
            EXPECT_GT(opaque, size) << id;
            EXPECT_LT(opaque, size * size) << id;
        }
    }
    EXPECT_EQ(plat::res::FindIcon(module_, 175, 24), nullptr);
    EXPECT_EQ(plat::res::FindIcon(module_, 999, 32), nullptr);
}

}  // namespace

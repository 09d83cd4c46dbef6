#include "panthos/ShellSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/Client/Windows/shell/ShellFixture.h"

namespace {

class ShellSettingsTest : public shelltest::ShellTest {
protected:
    void TearDown() override {
        unsetenv("ORVADE_CONNECT");
        ShellTest::TearDown();
    }
};

TEST_F(ShellSettingsTest, ADevelopersRunConnectsAtStartUpWithoutWritingTheDevicesSettings) {
    struct Case {
        const char* connect;
        const char16_t* address;  // null: no start-up connection
        int32_t port;
    };
    const Case cases[] = {
        {"10.0.0.5:2000", u"10.0.0.5", 2000},
        {"depot.example:65535", u"depot.example", 65535},
        {"a:b:3000", u"a:b", 3000},  // the last colon separates the port
        {"10.0.0.5", nullptr, 0},
        {":2000", nullptr, 0},
        {"10.0.0.5:0", nullptr, 0},
        {"10.0.0.5:65536", nullptr, 0},
        {"10.0.0.5:port", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connect);
        setenv("ORVADE_CONNECT", c.connect, 1);
        CShellSettings settings;
        settings.Load();
        EXPECT_EQ(settings.HasStartUpConnection(), c.address != nullptr);
        if (!c.address) continue;
        EXPECT_EQ(std::u16string(settings.Store().GetString(SETTING_AUTOLAUNCH_ADDRESS)), c.address);
        EXPECT_EQ(settings.Store().GetInt(SETTING_AUTOLAUNCH_PORT), c.port);
        EXPECT_FALSE(CSettingsStore(u"").HasValue(SETTING_AUTOLAUNCH_ADDRESS));
    }
}

TEST_F(ShellSettingsTest, ZeroAndNonZeroAskForAValue) {
    CShellSettings settings;
    settings.Load();
    CSettingsStore& store = settings.Store();
    store.ClearValue(SETTING_EXIT_MENU);
    EXPECT_FALSE(settings.IsZero(SETTING_EXIT_MENU));
    EXPECT_FALSE(settings.IsNonZero(SETTING_EXIT_MENU));
    store.SetInt(SETTING_EXIT_MENU, 0);
    EXPECT_TRUE(settings.IsZero(SETTING_EXIT_MENU));
    EXPECT_FALSE(settings.IsNonZero(SETTING_EXIT_MENU));
    store.SetInt(SETTING_EXIT_MENU, 7);
    EXPECT_FALSE(settings.IsZero(SETTING_EXIT_MENU));
    EXPECT_TRUE(settings.IsNonZero(SETTING_EXIT_MENU));
    // A name to search for is a start-up connection too.
    EXPECT_FALSE(settings.HasStartUpConnection());
    store.SetString(SETTING_AUTOCONNECT_HOST, u"STOCK");
    EXPECT_TRUE(settings.HasStartUpConnection());
}

TEST_F(ShellSettingsTest, WithoutASkinTheWindowTakesTheWorkAreaAndTheDefaultTitle) {
    CShellSettings settings;
    EXPECT_EQ(settings.SkinWindow(), nullptr);
    settings.Load();
    const RECT work{0, 26, 240, 320};
    RECT frame{};
    std::u16string title;
    settings.LoadSkin(work, &frame, &title);
    ASSERT_NE(settings.SkinWindow(), nullptr);
    EXPECT_FALSE(settings.SkinWindow()->IsLoaded());
    EXPECT_EQ(title, u"Quillmar Client");
    EXPECT_EQ(frame.top, 26);
    EXPECT_EQ(frame.bottom, 320);
    EXPECT_EQ(settings.SkinWindow()->Skin().display.bottom, 320);
    EXPECT_EQ(settings.SkinWindow()->Skin().terminalId, 0);
}

}  // namespace

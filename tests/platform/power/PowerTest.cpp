#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <map>
#include <string>

#include "platform/Power.h"

namespace {

using Supply = std::map<std::string, std::string>;  // attribute -> text

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orvade-power-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        plat::power::SetPowerSupplyFolder(dir);
    }
    void TearDown() override {
        plat::power::SetPowerSupplyFolder("");
        plat::power::SetPowerStatusSource(nullptr);
        nftw(dir.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    void Add(const std::string& name, const Supply& attributes, const std::string& folder = "") {
        std::string supply = (folder.empty() ? dir : folder) + "/" + name;
        mkdir(supply.c_str(), 0777);
        for (const auto& [key, text] : attributes) std::ofstream(supply + "/" + key) << text << "\n";
    }
    PowerStatus Read() {
        PowerStatus s;
        EXPECT_TRUE(GetSystemPowerStatus(&s));
        EXPECT_EQ(s.backupBatteryFlag, BATTERY_FLAG_UNKNOWN);
        EXPECT_EQ(s.backupBatteryLifePercent, 0xFF);
        return s;
    }
    std::string dir;
};

TEST_F(PowerTest, BatteryAttributesMapToFlags) {
    struct Case { Supply battery; BYTE flag; BYTE percent; };
    const Case cases[] = {
        {{{"capacity", "90"}, {"status", "Discharging"}, {"capacity_level", "High"}}, BATTERY_FLAG_HIGH, 90},
        {{{"capacity", "100"}, {"status", "Full"}, {"capacity_level", "Full"}}, BATTERY_FLAG_HIGH, 100},
        {{{"capacity", "50"}, {"status", "Discharging"}, {"capacity_level", "Normal"}}, 0, 50},
        {{{"capacity", "20"}, {"status", "Discharging"}, {"capacity_level", "Low"}}, BATTERY_FLAG_LOW, 20},
        {{{"capacity", "3"}, {"status", "Discharging"}, {"capacity_level", "Critical"}}, BATTERY_FLAG_CRITICAL, 3},
        {{{"capacity", "20"}, {"status", "Charging"}, {"capacity_level", "Low"}},
         BATTERY_FLAG_LOW | BATTERY_FLAG_CHARGING, 20},
        // Without a level the capacity decides.
        {{{"capacity", "80"}}, BATTERY_FLAG_HIGH, 80},
        {{{"capacity", "40"}, {"capacity_level", "Unknown"}}, 0, 40},
        {{{"capacity", "10"}}, BATTERY_FLAG_LOW, 10},
        {{{"capacity", "4"}}, BATTERY_FLAG_CRITICAL, 4},
        {{{"capacity", "250"}}, BATTERY_FLAG_HIGH, 100},
        {{{"status", "Charging"}}, BATTERY_FLAG_CHARGING, 0xFF},
        {{{"capacity", "junk"}}, BATTERY_FLAG_UNKNOWN, 0xFF},
    };
    int index = 0;
    for (const auto& c : cases) {
        std::string folder = dir + "/" + std::to_string(index++);
        mkdir(folder.c_str(), 0777);
        Supply battery = c.battery;
        battery["type"] = "Battery";
        Add("BAT0", battery, folder);
        plat::power::SetPowerSupplyFolder(folder);
        PowerStatus s = Read();
        EXPECT_EQ(s.batteryFlag, c.flag) << "case " << index;
        EXPECT_EQ(s.batteryLifePercent, c.percent) << "case " << index;
    }
}

TEST_F(PowerTest, AcLineAndChoiceOfBattery) {
    Add("AC", {{"type", "Mains"}, {"online", "1"}});
    Add("USB", {{"type", "USB"}, {"online", "0"}});
    Add("BAT0", {{"type", "Battery"}, {"present", "0"}, {"capacity", "5"}});
    Add("BAT1", {{"type", "Battery"}, {"capacity", "70"}});
    Add("BAT2", {{"type", "Battery"}, {"capacity", "20"}});
    Add("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "1"}});
    PowerStatus s = Read();
    EXPECT_EQ(s.acLineStatus, AC_LINE_ONLINE);
    EXPECT_EQ(s.batteryFlag, BATTERY_FLAG_HIGH);
    EXPECT_EQ(s.batteryLifePercent, 70);

    std::ofstream(dir + "/AC/online") << "0\n";
    EXPECT_EQ(Read().acLineStatus, AC_LINE_OFFLINE);
}

TEST_F(PowerTest, NoBatteryAndNoFolder) {
    Add("AC", {{"type", "Mains"}, {"online", "1"}});
    PowerStatus s = Read();
    EXPECT_EQ(s.batteryFlag, BATTERY_FLAG_NO_BATTERY);
    EXPECT_EQ(s.batteryLifePercent, 0xFF);
    EXPECT_EQ(s.acLineStatus, AC_LINE_ONLINE);

    plat::power::SetPowerSupplyFolder(dir + "/missing");
    s = Read();
    EXPECT_EQ(s.batteryFlag, BATTERY_FLAG_UNKNOWN);
    EXPECT_EQ(s.acLineStatus, AC_LINE_UNKNOWN);
    EXPECT_FALSE(GetSystemPowerStatus(nullptr));
}

TEST_F(PowerTest, SourceCanBeReplaced) {
    plat::power::SetPowerStatusSource([](PowerStatus* s) {
        s->batteryFlag = BATTERY_FLAG_LOW;
        return FALSE;
    });
    PowerStatus s;
    EXPECT_FALSE(GetSystemPowerStatus(&s));
    EXPECT_EQ(s.batteryFlag, BATTERY_FLAG_LOW);
    plat::power::SetPowerStatusSource(nullptr);
    EXPECT_TRUE(GetSystemPowerStatus(&s));
    EXPECT_EQ(s.batteryFlag, BATTERY_FLAG_NO_BATTERY);  // the empty fake folder again
}

}  // namespace

// A fresh device root in a machine temporary directory for each test, and a
// fixed time zone (UTC+3, no daylight saving) so local and UTC times differ.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Clock.h"
#include "platform/DeviceFs.h"

class DeviceRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "XYZ-3", 1);
        tzset();
        char pattern[] = "/tmp/core-support-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        plat::fs::SetDeviceRoot(root_.string());
    }
    void TearDown() override {
        plat::fs::SetDeviceRoot("");
        std::filesystem::remove_all(root_);
    }

    // Machine path of a device path such as "\Data\a.txt" (names as given).
    std::filesystem::path Host(const std::string& devicePath) const {
        std::string rel = devicePath;
        for (char& c : rel)
            if (c == '\\') c = '/';
        return root_ / rel.substr(rel.find_first_not_of('/'));
    }
    void Put(const std::string& devicePath, const std::string& bytes) const {
        std::filesystem::create_directories(Host(devicePath).parent_path());
        std::ofstream(Host(devicePath), std::ios::binary) << bytes;
    }
    std::string Get(const std::string& devicePath) const {
        std::ifstream in(Host(devicePath), std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    bool HostExists(const std::string& devicePath) const { return std::filesystem::exists(Host(devicePath)); }
    // Last write 2024-01-02 13:04:05 UTC (16:04:05 local).
    void Stamp(const std::u16string& path) {
        SYSTEMTIME st{2024, 1, 0, 2, 13, 4, 5, 0};
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
        ASSERT_TRUE(plat::fs::SetFileTimes(path, &ft, &ft));
    }

    std::filesystem::path root_;
};

// A product folder and a device root attached as the connected device, with
// message boxes answered by the scripted answerer.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "mevrant/Mevrant.h"
#include "platform/Rapi.h"
#include "platform/Registry.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/desktop/deskcommon/ScriptedMessages.h"

namespace mevranttest {

// What the copy shows in its progress dialog.
struct RecordedProgress : mevrant::IDeployProgress {
    std::vector<std::string> events;
    std::function<void(int)> onPercent;
    void Start(const std::u16string& s) override { events.push_back("start " + plat::text::WideToUtf8(s)); }
    void File(const std::u16string& s) override { events.push_back("file " + plat::text::WideToUtf8(s)); }
    void Percent(int p) override {
        events.push_back(std::to_string(p));
        if (onPercent)
            onPercent(p);
    }
    void Hide() override { events.push_back("hide"); }
    // The wait for the device apart, once however many slices it takes.
    std::vector<std::string> waits;
    void Waiting(bool waiting) override {
        const char* event = waiting ? "waiting" : "waited";
        if (waits.empty() || waits.back() != event)
            waits.push_back(event);
    }
};

class MevrantTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        product_ = root_.parent_path() / (root_.filename().string() + "-product");
        std::filesystem::create_directories(product_);
        plat::rapi::AttachDevice(root_.string());
    }
    void TearDown() override {
        model_.reset();
        plat::rapi::AttachDevice("");
        std::filesystem::remove_all(product_);
        DeviceRootTest::TearDown();
    }

    // The model on the product folder, its configuration read.
    mevrant::CMevrant& Model() {
        model_ = std::make_unique<mevrant::CMevrant>(product_.string());
        model_->Load();
        model_->SetProgress(&progress_);
        model_->SetInitWait(10000);
        return *model_;
    }
    void Product(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories((product_ / name).parent_path());
        std::ofstream(product_ / name, std::ios::binary) << bytes;
    }
    // The product key on the device, as the installation writes it.
    void Installed(const char16_t* key, const char16_t* installDir) const {
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, key, u"InstallDir", installDir));
    }
    // A program of the device root: a shell script that appends its
    // arguments, a line each run, to a file of the device root.
    void DeviceProgram(const std::string& devicePath, const std::string& log) const {
        Put(devicePath, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$ORVADE_DEVICE_ROOT/" + log + "\"\n");
        chmod(Host(devicePath).c_str(), 0755);
    }
    // Waits (generously) until the device file exists; its bytes.
    std::string AwaitDeviceFile(const std::string& devicePath) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!HostExists(devicePath) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (std::string bytes; std::chrono::steady_clock::now() < end;) {
            bytes = Get(devicePath);
            if (!bytes.empty() && bytes.back() == '\n')
                return bytes;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return Get(devicePath);
    }
    std::string Title() const {
        return "Quillmar Product Configuration - " + product_.filename().string();
    }

    std::filesystem::path product_;
    deskcommontest::ScriptedMessages box_;
    RecordedProgress progress_;
    std::unique_ptr<mevrant::CMevrant> model_;
};

}  // namespace mevranttest

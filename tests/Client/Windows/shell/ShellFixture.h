// A fresh device root (with its own registry) for each test, the resource
// library loaded, and message boxes answered from a script.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/MsgBox.h"
#include "platform/Text.h"
#include "shell/ShellUtil.h"
#include "tests/core/support/DeviceRoot.h"

namespace shelltest {

class ShellTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        Answer({});
        ResetFolders();
        SetFolder(u"OVC", nullptr, plat::fs::ProgramFolder().c_str());
        ASSERT_TRUE(plat::fs::CreateDirectory(u"\\Program Files") || plat::fs::IsDirectory(u"\\Program Files"));
        plat::fs::CreateDirectory(plat::fs::ProgramFolder());
        ASSERT_EQ(LoadResourceDll(), 1);
    }
    void TearDown() override {
        FreeResourceDll();
        ResetFolders();
        plat::msgbox::SetPresenter(nullptr);
        DeviceRootTest::TearDown();
    }
    // A file of the program folder, by name.
    std::string ProgramFile(const std::string& name) const {
        return plat::text::WideToUtf8(plat::fs::ProgramFolder()) + "\\" + name;
    }

    // Message boxes from now on get these answers, then their defaults.
    void Answer(std::vector<int> answers) {
        auto boxes = std::make_unique<plat::msgbox::ScriptedAnswerer>(std::move(answers));
        plat::msgbox::SetPresenter(boxes.get());
        boxes_ = std::move(boxes);
    }
    std::vector<plat::msgbox::Request> Boxes() const { return boxes_->Seen(); }

    std::unique_ptr<plat::msgbox::ScriptedAnswerer> boxes_;
};

}  // namespace shelltest

// A device root with a program folder of its own, into which tests copy the
// fake libraries; message boxes are answered by a script and recorded.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Library.h"
#include "platform/MsgBox.h"
#include "platform/Text.h"
#include "tests/core/support/DeviceRoot.h"

namespace extensionstest {

constexpr char16_t kProgramFolder[] = u"\\Program Files\\Orvade Client";

class ExtensionTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        program_ = root_ / "Program Files" / "Orvade Client";
        std::filesystem::create_directories(program_);
        plat::fs::SetProgramFolder(kProgramFolder);
        previous_ = plat::msgbox::SetPresenter(&presenter_);
    }
    void TearDown() override {
        plat::msgbox::SetPresenter(previous_);
        for (HMODULE module : held_) FreeLibrary(module);
        plat::fs::SetProgramFolder(u"");
        DeviceRootTest::TearDown();
    }

    // Copies a fake into a device folder; its device path.
    std::u16string Install(const std::string& fixture, const std::string& deviceFolder, std::string name = "") {
        if (name.empty()) name = fixture + ".dll";
        const std::string devicePath = deviceFolder + "\\" + name;
        const std::u16string path = plat::text::Utf8ToWide(devicePath);
        const std::filesystem::path host = plat::fs::ToHostPath(path).value_or("");
        std::filesystem::create_directories(host.parent_path());
        std::filesystem::copy_file(std::filesystem::path(FIXTURE_DIR) / (fixture + ".dll"), host);
        return path;
    }
    // Loads an installed fake ahead of the code under test, which then gets
    // the same instance: the test sets it up and reads what it was asked.
    HMODULE Hold(const std::u16string& devicePath) {
        HMODULE module = LoadLibrary(devicePath);
        EXPECT_NE(module, nullptr) << plat::text::WideToUtf8(devicePath);
        if (module) held_.push_back(module);
        return module;
    }
    HMODULE InstallAndHold(const std::string& fixture, const std::string& folder, std::string name = "") {
        return Hold(Install(fixture, folder, std::move(name)));
    }
    static std::string Calls(HMODULE fake) {
        using CallsFn = const char* (*)();
        return fake ? GetProc<CallsFn>(fake, "FakeCalls")() : "";
    }
    template <typename Fn, typename... Args>
    static auto Call(HMODULE fake, const char* name, Args... args) {
        return GetProc<Fn>(fake, name)(args...);
    }

    std::filesystem::path program_;
    std::vector<HMODULE> held_;
    // Answers from answers_ in order (then the default button); records every box.
    class Presenter : public plat::msgbox::IPresenter {
    public:
        explicit Presenter(ExtensionTest& test) : m_test(test) {}
        int Show(const plat::msgbox::Request& request) override {
            m_test.boxes_.push_back(request);
            if (m_test.answers_.empty()) return plat::msgbox::DefaultButton(request.style);
            const int answer = m_test.answers_.front();
            m_test.answers_.erase(m_test.answers_.begin());
            return answer;
        }

    private:
        ExtensionTest& m_test;
    };

    std::vector<plat::msgbox::Request> boxes_;
    std::vector<int> answers_;
    Presenter presenter_{*this};
    plat::msgbox::IPresenter* previous_ = nullptr;
};

}  // namespace extensionstest

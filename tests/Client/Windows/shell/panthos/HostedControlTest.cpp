// The hosted control part with the installed "Ravelcore.dll": the control's
// replies reach the part's data-out handler while it is attached, and a
// host window without a registered control attaches nothing.
#include "panthos/HostedControl.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ComServer.h"
#include "tests/Client/Windows/shell/ShellFixture.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/com/ServerCalls.h"

namespace {

// Mode 0 framing: STX, length, ETX, payload, ETB.
std::string Framed(const std::string& payload) {
    return std::string("\x02", 1) + char(payload.size()) + "\x03" + payload + "\x17";
}

class HostedControlTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();  // the control paints with Qt, as in the shell
        ShellTest::SetUp();
        ASSERT_TRUE(plat::com::RegisterHostWindowClass());
        top_ = CreateWindowEx(0, u"STATIC", u"shell", WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
    }
    void TearDown() override {
        control_.reset();
        DestroyWindow(top_);
        plat::com::UnregisterHostWindowClass();
        CoFreeUnusedLibraries();
        ShellTest::TearDown();
    }
    // The part with its host window; 0 when the window could not be made.
    HWND Make() {
        control_ = std::make_unique<CHostedControl>(
            [this](int size, const void* data) { out_.append(static_cast<const char*>(data), size_t(size)); },
            [this] { ++disconnects_; });
        return control_->Create(top_, RECT{0, 24, 240, 320});
    }
    HRESULT Stream(IOVCData* data, std::string bytes) {
        return data->OVCStreamInput(int(bytes.size()), reinterpret_cast<unsigned char*>(bytes.data()));
    }

    HWND top_ = 0;
    std::unique_ptr<CHostedControl> control_;
    std::string out_;
    int disconnects_ = 0;
};

TEST_F(HostedControlTest, TheControlsRepliesReachTheHandlerWhileAttached) {
    ASSERT_EQ(comtest::CallExport(u"Ravelcore.dll", "DllRegisterServer"), S_OK);
    ASSERT_NE(Make(), HWND(0));
    EXPECT_EQ(control_->Classic(), nullptr);
    ASSERT_EQ(control_->Attach(), S_OK);
    ASSERT_NE(control_->Classic(), nullptr);
    ASSERT_NE(control_->Data(), nullptr);
    EXPECT_EQ(control_->Ask()->Initialize(), S_OK);
    EXPECT_EQ(Stream(control_->Data(), Framed("A\xFDx")), S_OK);
    EXPECT_EQ(out_, Framed("A\xFDx"));
    control_->Tick();

    // Attached again (a second start-up step), the events still come once.
    out_.clear();
    ASSERT_EQ(control_->Attach(), S_OK);
    EXPECT_EQ(Stream(control_->Data(), Framed("A\xFDy")), S_OK);
    EXPECT_EQ(out_, Framed("A\xFDy"));

    control_->Detach();
    EXPECT_EQ(control_->Classic(), nullptr);
    out_.clear();
    plat::com::CPtr<IOVCData> data;
    ASSERT_EQ(control_->Ask().As(&data), S_OK);
    EXPECT_EQ(Stream(data.Get(), Framed("A\xFDz")), S_OK);
    EXPECT_EQ(out_, "");  // no longer advised
    EXPECT_EQ(disconnects_, 0);
}

TEST_F(HostedControlTest, WithoutARegisteredControlThereIsNoWindowAndNothingIsAttached) {
    EXPECT_EQ(Make(), HWND(0));
    EXPECT_FALSE(control_->Ask());
    EXPECT_EQ(control_->Attach(), S_FALSE);
    EXPECT_EQ(control_->Classic(), nullptr);
    EXPECT_EQ(control_->ConfigurePages(), 0);
    control_->Tick();
    control_->ShowSheet(true, top_);  // no control: no sheet
}

}  // namespace

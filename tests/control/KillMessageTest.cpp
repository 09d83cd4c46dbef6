// KILLCMD's message through the control's dialogs: a message box titled
// "Orvade" with an OK button, answered before the reply goes.
#include <gtest/gtest.h>

#include "control/ControlDialogs.h"
#include "platform/Library.h"
#include "platform/MsgBox.h"
#include "tests/core/session/CoreFixture.h"

namespace {

using namespace coretest;

class KillMessageTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_previous = plat::msgbox::SetPresenter(&m_presenter);
        m_core->SetDialogs(&m_dialogs);
    }
    void TearDown() override {
        plat::msgbox::SetPresenter(m_previous);
        CoreTest::TearDown();
    }
    plat::msgbox::ScriptedAnswerer m_presenter;
    plat::msgbox::IPresenter* m_previous = nullptr;
    CControlDialogs m_dialogs{LoadLibrary(u"ORVADERES.DLL"), 0};
};

TEST_F(KillMessageTest, TheMessageIsShownBeforeTheAnswer) {
    m_onSegment = [this] { EXPECT_EQ(m_presenter.Seen().size(), 1u); };
    Send("k" + FD + "Going down");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"k" + FD + "1"}));
    const std::vector<plat::msgbox::Request> seen = m_presenter.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, u"Going down");
    EXPECT_EQ(seen[0].caption, u"Orvade");
    EXPECT_EQ(seen[0].style, 0u);
}

}  // namespace

// The error box the core asks the control for (RFERROR): made from the
// resource library, laid out on the cell grid, answering the host when it
// closes, and never left behind by the core.
#include <gtest/gtest.h>

#include <string>

#include "control/ControlDialogs.h"
#include "tests/core/session/CoreFixture.h"
#include "platform/Dialog.h"
#include "platform/Library.h"
#include "platform/Sound.h"

namespace {

using namespace coretest;

// The control's dialogs, with the last request and box kept for the test.
// The recording window is a message-only window, which owns no box, so the
// boxes stand alone.
struct RecordingDialogs final : ICoreDialogs {
    CControlDialogs real{LoadLibrary(u"ORVADERES.DLL"), 0};
    ErrorBoxRequest request;
    HWND box = 0;
    HWND OpenErrorBox(const ErrorBoxRequest& r, const DialogGrid& grid, IDialogAnswers& answers) override {
        request = r;
        return box = real.OpenErrorBox(r, grid, answers);
    }
    void CloseErrorBox(HWND b) override { real.CloseErrorBox(b); }
};

class ErrorBoxTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetDialogs(&m_dialogs);
        m_core->SetAutomation(&m_automation);
    }

    RecordingDialogs m_dialogs;
    HWND& m_box = m_dialogs.box;
};

TEST_F(ErrorBoxTest, TheErrorBoxAnswersWhenItCloses) {
    Send("V" + FD + "10" + FE + "2" + FE + "0" + FE + "Disk full" + FD + "Retry" + FD);
    EXPECT_TRUE(Replies().empty());
    ASSERT_NE(m_box, 0u);
    EXPECT_EQ(m_core->Box().window, m_box);
    EXPECT_EQ(m_core->Box().mode, DialogMode::Error);
    EXPECT_EQ(m_dialogs.request.text, u"Disk full\nRetry\n");
    ASSERT_FALSE(m_automation.notes.empty());
    EXPECT_EQ(m_automation.notes.back().first, AUTO_ERROR_BOX_SHOWN);
    RECT ok{};
    GetWindowRect(GetDlgItem(m_box, IDOK), &ok);
    RECT box{};
    GetWindowRect(m_box, &box);
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    EXPECT_EQ(box.right - box.left, 10 * cw);
    EXPECT_EQ(box.bottom - box.top, 4 * ch + 3);
    EXPECT_EQ(ok.left - box.left, (5 - 1) * cw);
    EXPECT_EQ(ok.right - ok.left, 3 * cw);

    SendMessage(m_box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"V" + FD + "1"});
    EXPECT_EQ(m_core->Box().window, 0u);
    EXPECT_EQ(m_automation.notes.back().first, AUTO_ERROR_BOX_CLOSED);
}

TEST_F(ErrorBoxTest, ErrorBoxFlagsAndKeys) {
    // 0x80 takes two lines off; a time-out drops the button.
    Send("V" + FD + "5" + FE + "4" + FE + "131" + FE + "a" + FD + "b" + FD + "c" + FD + "d" + FD);
    EXPECT_EQ(m_dialogs.request.text, u"a\nb\n");
    EXPECT_EQ(m_dialogs.request.timeout, 3);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(m_box, IDOK)));
    SendMessage(m_box, WM_CHAR, VK_ESCAPE, 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"V" + FD + "1"});
    // Absurd host sizes are bounded.
    Send("V" + FD + "-4" + FE + "99999999" + FE + "0" + FE + "x" + FD);
    EXPECT_LE(m_dialogs.request.lines, 1000);
    EXPECT_EQ(m_dialogs.request.width, 0);
    SendMessage(m_box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Box().window, 0u);
    // A core that goes away takes its open box with it.
    Send("V" + FD + "5" + FE + "1" + FE + "0" + FE + "x" + FD);
    ASSERT_TRUE(IsWindow(m_box));
    m_core.reset();
    EXPECT_FALSE(IsWindow(m_box));
}

TEST_F(ErrorBoxTest, ASecondErrorBoxAnswersAndClosesTheFirst) {
    const Bytes error = "V" + FD + "10" + FE + "1" + FE + "0" + FE + "Jammed" + FD;
    Send(error);
    const HWND first = m_box;
    ASSERT_TRUE(IsWindow(first));
    Send(error);
    EXPECT_FALSE(IsWindow(first));
    ASSERT_NE(m_box, first);
    EXPECT_EQ(m_core->Box().window, m_box);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"V" + FD + "1"});
    // The core's end closes the one box open; none is left holding it.
    const HWND second = m_box;
    m_core.reset();
    EXPECT_FALSE(IsWindow(second));
}

TEST_F(ErrorBoxTest, TheErrorBoxSoundsUnlessSilent) {
    std::vector<std::pair<std::u16string, DWORD>> played;
    plat::sound::SetPlayer([&](const std::u16string& sound, DWORD flags) {
        played.emplace_back(sound, flags);
        return TRUE;
    });
    const Bytes box = "V" + FD + "5" + FE + "1" + FE + "0" + FE + "x" + FD;
    Send(box);
    SendMessage(m_box, WM_CLOSE, 0, 0);
    ASSERT_EQ(played.size(), 1u);
    const std::u16string suffix = u"\\SOUNDS\\ERROR.WAV";
    ASSERT_GE(played[0].first.size(), suffix.size());
    EXPECT_EQ(played[0].first.substr(played[0].first.size() - suffix.size()), suffix);
    EXPECT_EQ(played[0].first.substr(0, played[0].first.size() - suffix.size()), *FindFolder(u"OVC", u""));
    EXPECT_EQ(played[0].second, SND_ASYNC | SND_FILENAME);

    CoreProperties silent = m_core->Settings().Properties();
    silent.silentMode = 1;
    m_core->Settings().SetProperties(silent);
    Send(box);
    SendMessage(m_box, WM_CLOSE, 0, 0);
    EXPECT_EQ(played.size(), 1u);
    plat::sound::SetPlayer(nullptr);
}

}  // namespace

// COMMONDLG and its signature screen through the core: the four widgets it
// adds, and what its OK, Cancel and Clear buttons send, with the widgets as
// model objects (their events are handed to the core as a window would).
#include "CoreFixture.h"
#include "core/widgets/Widget.h"
#include "platform/DeviceFs.h"

namespace coretest {
namespace {

const Bytes FB = "\xFB";

class SignatureScreenTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetAppDirectory(m_core->ModuleFolder());
        const std::u16string data = m_core->ModuleFolder() + u"\\DATA";
        for (size_t at = 1; (at = data.find(u'\\', at + 1)) != std::u16string::npos;)
            plat::fs::CreateDirectory(data.substr(0, at));
        plat::fs::CreateDirectory(data);
        m_file = data + u"\\$PENCAP$.PCW";
    }
    void Store(const Bytes& content) { ASSERT_TRUE(plat::fs::WriteFile(m_file, content.data(), content.size())); }
    // The event a button of the screen sends when tapped.
    void Tap(const Bytes& label, int id) {
        const Bytes event = "8" + FD + label + FD + std::to_string(id) + FC + "-1";
        m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(event.data()),
                                        static_cast<int32_t>(event.size()));
    }
    // Every widget's record, as GETLABEL for all answers.
    Bytes AllWidgets() {
        Send("w" + FD + "0" + FD + "9" + FD);
        const std::vector<Bytes> replies = Replies();
        return replies.empty() ? Bytes() : replies[0];
    }
    std::u16string m_file;
};

TEST_F(SignatureScreenTest, OtherDialogTypesAreRefusedInBothModes) {
    EXPECT_EQ((Send("p" + FD + "2"), Replies()), std::vector<Bytes>{"p" + FD + "2" + FD + "-1"});
    Send("B" + FD + "1");
    Replies();
    EXPECT_EQ((Send("p" + FD + "0", 1), Replies(1)), std::vector<Bytes>{"p" + FD + "0" + FD + "-1"});
    EXPECT_EQ(m_core->Box().mode, DialogMode::None);
}

TEST_F(SignatureScreenTest, TheScreenIsFourWidgetsInPercentOfTheWindow) {
    CoreProperties properties = m_core->Settings().Properties();
    properties.cells.fontName = u"Tahoma";
    properties.cells.fontSize = 9;
    m_core->Settings().SetProperties(properties);
    Send("w" + FD + "8" + FD + "1" + FD + "77");  // a widget of the old screen
    Replies();
    Send("p" + FD + "1");
    EXPECT_TRUE(Replies().empty());  // no answer until a button is tapped
    EXPECT_EQ(m_core->Box().mode, DialogMode::Signature);
    // Event slots, value and flags 0, window style 0, no item data or name.
    const Bytes tail = "-1" + FB + "-1" + FB + "-1" + FB + FC + FB + FB + FB + FC + FB + FB + FB + FC + FD + FC + "0" + FC +
                       FD + "0" + FD + FD + FD;
    const Bytes pen = "11" + FD + "1" + FD + "100" + FD + "3" + FC + "2" + FC + "2" + FC + "96" + FC + "84" + FC + FD +
                      FC + "4294967295" + FC + "4294967295" + FC + "$PENCAP$.PCW" + FC + "0" + FC + "0" + FC + "0" +
                      FC + FD + tail + "0" + FD + FD;
    auto button = [&](const Bytes& id, const Bytes& rect, const Bytes& label, const Bytes& tab) {
        return "1" + FD + "1" + FD + id + FD + "3" + FC + rect + FC + FD + "Tahoma" + FC + "4294967295" + FC +
               "4294967295" + FC + label + FC + "4" + FC + "9" + FC + "0" + FC + FD + tail + tab + FD + FD;
    };
    const Bytes expected = "w" + FD + "1" + FD + pen + FE + button("4", "88" + FC + "2" + FC + "30" + FC + "10", "Clear", "1") +
                           FE + button("2", "88" + FC + "35" + FC + "30" + FC + "10", "Cancel", "2") + FE +
                           button("1", "88" + FC + "68" + FC + "30" + FC + "10", "OK", "3") + FE;
    EXPECT_EQ(AllWidgets(), expected);
}

TEST_F(SignatureScreenTest, ALongFontFaceLeavesNoButtonOut) {
    // The stream is sized to what it holds: a fixed 500 bytes would drop the
    // later buttons' pieces.
    CoreProperties properties = m_core->Settings().Properties();
    properties.cells.fontName = std::u16string(200, u'F');
    m_core->Settings().SetProperties(properties);
    Send("p" + FD + "1");
    const Bytes all = AllWidgets();
    for (const char* label : {"Clear", "Cancel", "OK"}) EXPECT_NE(all.find(FC + label + FC + "4" + FC), Bytes::npos) << label;
    size_t faces = 0;
    for (size_t at = 0; (at = all.find(Bytes(200, 'F'), at)) != Bytes::npos; at += 200) ++faces;
    EXPECT_EQ(faces, 3u);
}

TEST_F(SignatureScreenTest, OkSendsTheStoredStrokesAndDeletesTheFile) {
    Send("p" + FD + "1");
    const Bytes strokes = "200" + FD + "80" + FD + "10" + FC + "12" + FC + "30" + FC + "12" + FD;
    Store(strokes);
    Tap("OK", 1);
    // The answer, then the button's event on its usual way: queued, as no input waits.
    EXPECT_EQ(Replies(), std::vector<Bytes>{"p" + FD + "1" + FD + "1" + FD + strokes});
    EXPECT_EQ(m_core->Events().Size(), 1);
    EXPECT_FALSE(plat::fs::Exists(m_file));
    EXPECT_EQ(m_core->Box().mode, DialogMode::None);
    EXPECT_EQ(AllWidgets(), "w" + FD + "1" + FD);

    // In mode 1 the file's bytes travel as they are.
    Send("B" + FD + "1");
    Replies();
    Send("p" + FD + "1", 1);
    Store(strokes);
    Tap("OK", 1);
    EXPECT_EQ(Replies(1), std::vector<Bytes>{"p" + FD + "1" + FD + "1" + FD + strokes});
}

TEST_F(SignatureScreenTest, OkWithoutStrokesSendsNothingAndEndsTheScreen) {
    for (const Bytes& content : {Bytes(), "200" + FD + "80" + FD, Bytes("not a stroke file")}) {
        Send("p" + FD + "1");
        Store(content);
        Tap("OK", 1);
        EXPECT_TRUE(Replies().empty()) << content;
        EXPECT_FALSE(plat::fs::Exists(m_file));
        EXPECT_EQ(m_core->Box().mode, DialogMode::None);
        EXPECT_EQ(AllWidgets(), "w" + FD + "1" + FD);
        m_core->Events().Clear();
    }
    // No file at all.
    Send("p" + FD + "1");
    Tap("OK", 1);
    EXPECT_TRUE(Replies().empty());
}

TEST_F(SignatureScreenTest, CancelAnswersZeroAndClearKeepsTheScreen) {
    Send("p" + FD + "1");
    Store("200" + FD + "80" + FD + "1" + FC + "1" + FD);
    Tap("Clear", 4);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Box().mode, DialogMode::Signature);
    // The pen capture keeps its file name: the cleared drawing is saved there.
    const Bytes all = AllWidgets();
    EXPECT_NE(all.find("$PENCAP$.PCW"), Bytes::npos);
    EXPECT_NE(all.find("Clear"), Bytes::npos);

    Tap("Cancel", 2);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"p" + FD + "1" + FD + "0" + FD});
    EXPECT_EQ(m_core->Box().mode, DialogMode::None);
    EXPECT_EQ(AllWidgets(), "w" + FD + "1" + FD);
}

// Cancel leaves the stroke file where it is (only OK deletes it); the
// session ending while the screen is up does not leave it behind.
TEST_F(SignatureScreenTest, CancelKeepsTheFileASessionEndingOnTheScreenDoesNot) {
    const Bytes strokes = "200" + FD + "80" + FD + "10" + FC + "12" + FC + "30" + FC + "12" + FD;
    Send("p" + FD + "1");
    Store(strokes);
    Tap("Cancel", 2);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"p" + FD + "1" + FD + "0" + FD});
    EXPECT_TRUE(plat::fs::Exists(m_file));

    Send("p" + FD + "1");
    Store(strokes);
    Send("9" + FD);
    Replies();
    EXPECT_EQ(m_core->Box().mode, DialogMode::None);
    EXPECT_FALSE(plat::fs::Exists(m_file));
    // Without the screen the file is the host's own: the session's end keeps it.
    Store(strokes);
    Send("9" + FD);
    Replies();
    EXPECT_TRUE(plat::fs::Exists(m_file));
}

TEST_F(SignatureScreenTest, QueuedButtonEventsAreLookedAtOnlyOnce) {
    StartLog();
    Send("p" + FD + "1");
    Tap("Clear", 4);  // queued: no input waits
    Tap("Cancel", 2);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"p" + FD + "1" + FD + "0" + FD});
    // A new screen; GETEVENT hands the old Clear to the host and leaves the
    // new drawing alone.
    Send("p" + FD + "1");
    const auto clears = [&] {
        const std::string log = LogText();
        size_t n = 0;
        for (size_t at = 0; (at = log.find("WID_ACTION_SETLABEL", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    const size_t before = clears();
    Send("1" + FD);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"8" + FD + "Clear" + FD + "4" + FC + "-1"});
    Send("1" + FD);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"8" + FD + "Cancel" + FD + "2" + FC + "-1"});
    EXPECT_EQ(clears(), before);
    EXPECT_EQ(m_core->Box().mode, DialogMode::Signature);
}

TEST_F(SignatureScreenTest, OnlyTheScreensButtonsAreLookedAt) {
    // Outside the screen an event of id 1 is only an event.
    Store("200" + FD + "80" + FD + "1" + FC + "1" + FD);
    Tap("OK", 1);
    EXPECT_TRUE(Replies().empty());
    EXPECT_TRUE(plat::fs::Exists(m_file));
    // On the screen, other ids and events of a reply code pass by.
    Send("p" + FD + "1");
    Tap("Other", 7);
    const Bytes coded = "3" + FD + "OK" + FD + "1" + FC + "-1";
    m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(coded.data()), static_cast<int32_t>(coded.size()));
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Box().mode, DialogMode::Signature);
    // Disconnect takes the screen down with the widgets.
    Send("9" + FD);
    Replies();
    EXPECT_EQ(m_core->Box().mode, DialogMode::None);
}

}  // namespace
}  // namespace coretest

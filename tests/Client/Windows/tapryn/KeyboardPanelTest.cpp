#include "tapryn/KeyboardPanel.h"

#include <gtest/gtest.h>

#include "KbbBuilder.h"

namespace {

using taprtest::Key;

constexpr uint8_t kSend = 0, kSwitch = 1, kNothing = 2;

// Keyboard 0: "a", a switch to 1, a switch to 0 (itself), a switch to 9 (not one
// of nine keyboards), a key that does nothing, one with an unknown action.
// Keyboard 1 returns after a key: "b" and a switch to 2. Keyboard 2: "c".
CKeyboardPanel ThreeKeyboards() {
    taprtest::KbbBuilder kbb;
    kbb.AddKeyboard(false, {Key{"a", 0, 0, 30, 20, kSend, 0, 'a'}, Key{"\\26", 30, 0, 30, 20, kSwitch, 0, 1},
                            Key{"self", 60, 0, 30, 20, kSwitch, 0, 0}, Key{"far", 90, 0, 30, 20, kSwitch, 0, 9},
                            Key{"dead", 120, 0, 30, 20, kNothing, 0, 0}, Key{"odd", 150, 0, 30, 20, 9, 0, 'x'}});
    kbb.AddKeyboard(true, {Key{"b", 0, 0, 30, 20, kSend, 0, 'b'}, Key{"two", 30, 0, 30, 20, kSwitch, 0, 2}});
    kbb.AddKeyboard(false, {Key{"c", 0, 0, 30, 20, kSend, 0, 'c'}, Key{"zero", 30, 0, 30, 20, kSwitch, 0, 0}});
    CKeyboardPanel panel;
    panel.File().Assign(kbb.Bytes());
    return panel;
}

Release Tap(CKeyboardPanel& panel, POINT p) {
    EXPECT_TRUE(panel.Press(p).has_value()) << p.x << "," << p.y;
    return panel.ReleaseKey();
}

TEST(KeyboardPanel, KeysAreDoubledOnAHighResolutionPanel) {
    CKeyboardPanel panel = ThreeKeyboards();
    ASSERT_TRUE(panel.Show(0));
    const KeyRecord& switchKey = panel.Current()->keys[1];
    EXPECT_EQ(panel.KeyRect(switchKey).right - panel.KeyRect(switchKey).left, 30);
    panel.SetHighResolution(true);
    const RECT wide = panel.KeyRect(switchKey);
    EXPECT_EQ(wide.left, 60);
    EXPECT_EQ(wide.right - wide.left, 60);
    EXPECT_EQ(wide.bottom, 40);
    // Hit tests follow the doubled rectangles.
    const std::optional<RECT> hit = panel.Press({70, 30});
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->left, 60);
}

TEST(KeyboardPanel, TheFirstKeyUnderThePointIsPressedAndASecondPressIsIgnored) {
    taprtest::KbbBuilder kbb;
    kbb.AddKeyboard(false, {Key{"under", 0, 0, 40, 40, kSend, 0, 'u'}, Key{"over", 10, 10, 10, 10, kSend, 0, 'o'}});
    CKeyboardPanel panel;
    panel.File().Assign(kbb.Bytes());
    ASSERT_TRUE(panel.Show(0));
    EXPECT_FALSE(panel.Press({50, 50}));  // off the keys
    ASSERT_TRUE(panel.Press({15, 15}));
    EXPECT_FALSE(panel.Press({15, 15}));  // pressed already
    EXPECT_EQ(panel.ReleaseKey().code, 'u');
    EXPECT_EQ(panel.ReleaseKey().result, ReleaseResult::None);  // nothing pressed any more
}

TEST(KeyboardPanel, ReleasingEachKindOfKey) {
    CKeyboardPanel panel = ThreeKeyboards();
    ASSERT_TRUE(panel.Show(0));

    Release r = Tap(panel, {5, 5});
    EXPECT_EQ(r.result, ReleaseResult::Sent);
    EXPECT_EQ(r.code, 'a');
    EXPECT_TRUE(r.hadKey);
    EXPECT_FALSE(r.redraw);

    r = Tap(panel, {65, 5});  // a switch to the keyboard shown
    EXPECT_EQ(r.result, ReleaseResult::None);
    EXPECT_TRUE(r.hadKey);  // drawn back all the same
    EXPECT_EQ(Tap(panel, {125, 5}).result, ReleaseResult::Nothing);
    EXPECT_EQ(Tap(panel, {155, 5}).result, ReleaseResult::None);

    // A keyboard outside the file: reported, the current one stays.
    r = Tap(panel, {95, 5});
    EXPECT_EQ(r.result, ReleaseResult::Nothing);
    EXPECT_EQ(std::u16string(r.error), kSelectedErrorText);
    EXPECT_EQ(panel.Current()->number, 0);

    r = Tap(panel, {35, 5});
    EXPECT_EQ(r.result, ReleaseResult::Switched);
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(panel.Current()->number, 1);
    EXPECT_EQ(panel.Previous(), 0);

    // Keyboard 1 returns: "b" is sent and keyboard 0 comes back.
    r = Tap(panel, {5, 5});
    EXPECT_EQ(r.result, ReleaseResult::SentBack);
    EXPECT_EQ(r.code, 'b');
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(panel.Current()->number, 0);
}

TEST(KeyboardPanel, LeavingAReturningKeyboardKeepsThePreviousOne) {
    CKeyboardPanel panel = ThreeKeyboards();
    ASSERT_TRUE(panel.Show(0));
    ASSERT_EQ(Tap(panel, {35, 5}).result, ReleaseResult::Switched);  // 0 -> 1
    ASSERT_EQ(Tap(panel, {35, 5}).result, ReleaseResult::Switched);  // 1 -> 2
    EXPECT_EQ(panel.Current()->number, 2);
    EXPECT_EQ(panel.Previous(), 0);  // keyboard 1 returns by itself: not remembered
}

TEST(KeyboardPanel, AReturningKeyboardWithNoPreviousOneReportsIt) {
    taprtest::KbbBuilder kbb;
    kbb.AddKeyboard(true, {Key{"r", 0, 0, 30, 20, kSend, 0, 'r'}});
    CKeyboardPanel panel;
    panel.File().Assign(kbb.Bytes());
    ASSERT_TRUE(panel.Show(0));
    const Release r = Tap(panel, {5, 5});
    EXPECT_EQ(r.result, ReleaseResult::Nothing);  // nothing typed
    EXPECT_EQ(std::u16string(r.error), kPreviousErrorText);
    EXPECT_EQ(panel.Current()->number, 0);
}

TEST(KeyboardPanel, AKeyboardThatDoesNotFitIsNotShown) {
    taprtest::KbbBuilder kbb;
    kbb.AddKeyboard(false, {Key{"a", 0, 0, 30, 20, kSend, 0, 'a'}});
    std::vector<uint8_t> bytes = kbb.Bytes();
    bytes.pop_back();  // the last key is cut
    CKeyboardPanel panel;
    panel.File().Assign(bytes);
    EXPECT_FALSE(panel.Show(0));
    EXPECT_EQ(panel.Current(), nullptr);
    EXPECT_FALSE(panel.Press({5, 5}));
}

TEST(KeyboardPanel, KeyFaces) {
    struct Case {
        std::string label;
        int arrow;
        std::u16string text;
    };
    const Case cases[] = {
        {"\x18", 24, u""},       {"\x1b" "x", 27, u""},    {"\\25", 25, u""},     {"\\27", 27, u""},
        {"\\28", 0, u"28"},      {"\\Tab", 0, u"Tab"},     {"\\", 0, u""},        {"Shift", 0, u"Shift"},
        {"\x9b", 0, u"\u00a2"},  {"\xaa", 0, u"\u00ac"},   {"\xb3", 0, u"\u00a6"}, {"a\x9b", 0, u"a\u203a"},
        {"", 0, u""},
    };
    for (const Case& c : cases) {
        KeyRecord key;
        key.label = c.label;
        const KeyFace face = FaceOf(key);
        EXPECT_EQ(face.arrow, c.arrow) << c.label;
        EXPECT_EQ(face.text, c.text) << c.label;
    }
    const auto up = ArrowPoints(24, 50, 40);
    EXPECT_EQ(up[0].y, 45);
    EXPECT_EQ(up[1].y, 35);
    EXPECT_EQ(up[2].x, 47);
    const auto left = ArrowPoints(27, 50, 40);
    EXPECT_EQ(left[1].x, 45);
    EXPECT_EQ(left[2].x, 48);
}

}  // namespace

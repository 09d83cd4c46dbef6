#include "tapryn/KeyboardFile.h"

#include <gtest/gtest.h>

#include <string>

#include "KbbBuilder.h"
#include "platform/DeviceFs.h"
#include "tests/core/support/DeviceRoot.h"

using taprtest::KbbBuilder;
using taprtest::Key;

namespace {

KbbBuilder TwoKeyboards() {
    KbbBuilder b;
    b.AddKeyboard(false, {{"a", 0, 0, 30, 20, 0, 0, 0x0061},
                          {"123", 30, 0, 30, 20, 1, 1, 1},
                          {"\x1b", 60, 0, 30, 20, 0, 0, 0x0441}});
    b.AddKeyboard(true, {{"1", 0, 0, 20, 20, 0, 0, '1'}, {"abc", 20, 0, 20, 20, 1, 0, 0}});
    return b;
}

TEST(KeyboardFile, ReadsKeyboardsWithTheirKeys) {
    KeyboardFile file;
    file.Assign(TwoKeyboards().Bytes());

    const auto first = file.Find(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->number, 0);
    EXPECT_FALSE(first->returnFlag);
    ASSERT_EQ(first->keys.size(), 3u);
    const KeyRecord& a = first->keys[0];
    EXPECT_EQ(a.label, "a");
    EXPECT_EQ(a.action, static_cast<uint8_t>(KeyAction::Send));
    EXPECT_EQ(a.code, 0x0061);
    const KeyRecord& sw = first->keys[1];
    EXPECT_EQ(sw.label, "123");
    EXPECT_EQ(sw.action, static_cast<uint8_t>(KeyAction::Switch));
    EXPECT_EQ(sw.TargetKeyboard(), 1);
    EXPECT_EQ(sw.style, 1);
    EXPECT_EQ(sw.left, 30);
    EXPECT_EQ(first->keys[2].code, 0x0441);

    const auto second = file.Find(1);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->returnFlag);
    ASSERT_EQ(second->keys.size(), 2u);
    EXPECT_EQ(second->keys[1].label, "abc");
}

TEST(KeyboardFile, KeyRectangleDoublesOnAHighResolutionPanel) {
    KeyRecord key;
    key.left = 10;
    key.top = 5;
    key.width = 30;
    key.height = 20;
    const RECT low = key.Rect(false), high = key.Rect(true);
    EXPECT_EQ(low.right - low.left, 30);
    EXPECT_EQ(high.right - high.left, 60);
    EXPECT_EQ(high.left, 20);
    EXPECT_EQ(high.top, 10);
    EXPECT_EQ(high.bottom, 50);
    // Unsigned bytes: 200 + 200 is not wrapped.
    key.left = 200;
    key.width = 200;
    EXPECT_EQ(key.Rect(false).right, 400);
}

TEST(KeyboardFile, LabelsStopAtTwelveBytesAndConvertFromTheDefaultCodePage) {
    KbbBuilder b;
    b.AddKeyboard(false, {{"ABCDEFGHIJKL", 7, 8, 9, 10, 0, 0, 'x'}, {"\xe9t\xe9", 0, 0, 1, 1, 2, 0, 0}});
    KeyboardFile file;
    file.Assign(b.Bytes());
    const auto k = file.Find(0);
    ASSERT_TRUE(k);
    // A label with no terminator ends where the record's geometry starts.
    EXPECT_EQ(k->keys[0].label, "ABCDEFGHIJKL");
    EXPECT_EQ(k->keys[0].left, 7);
    EXPECT_EQ(k->keys[1].Label(), u"\u00e9t\u00e9");
}

std::vector<uint8_t> WithOffset(std::vector<uint8_t> bytes, int keyboard, uint16_t offset) {
    bytes[1 + 2 * keyboard] = static_cast<uint8_t>(offset);
    bytes[2 + 2 * keyboard] = static_cast<uint8_t>(offset >> 8);
    return bytes;
}

// Every way a keyboard can fail to fit the file leaves it "not found".
TEST(KeyboardFile, AKeyboardThatDoesNotFitIsNotFound) {
    const std::vector<uint8_t> good = TwoKeyboards().Bytes();
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int number;
    };
    const std::vector<uint8_t> lastKeyCut(good.begin(), good.end() - 1);
    std::vector<uint8_t> countTooLarge = good;
    countTooLarge[20] = 4;  // keyboard 0 claims four keys: its fourth lies in keyboard 1's
    std::vector<uint8_t> countPastEnd = good;
    countPastEnd[20 + 2 + 3 * 20] = 3;  // keyboard 1 claims three keys, the file has two
    const Case cases[] = {
        {"empty file", {}, 0},
        {"header cut inside the entry", std::vector<uint8_t>(good.begin(), good.begin() + 2), 0},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 20), 0},
        {"head cut after the count", std::vector<uint8_t>(good.begin(), good.begin() + 21), 0},
        {"last key one byte short", lastKeyCut, 1},
        {"count past the end", countPastEnd, 1},
        {"offset past the end", WithOffset(good, 0, 0x7FFF), 0},
        {"offset pointing at the last byte", WithOffset(good, 0, static_cast<uint16_t>(good.size() - 21)), 0},
        {"negative number", good, -1},
        {"number past the table", good, KeyboardFile::kMaxKeyboards},
        {"number a switch byte can hold", good, 255},
    };
    for (const Case& c : cases) {
        KeyboardFile file;
        file.Assign(c.bytes);
        EXPECT_FALSE(file.Find(c.number)) << c.what;
    }
    KeyboardFile file;
    file.Assign(countTooLarge);
    ASSERT_TRUE(file.Find(0)) << "four keys still lie inside the file";
    EXPECT_EQ(file.Find(0)->keys.size(), 4u);
}

TEST(KeyboardFile, OffsetsWrapAtSixtyFourKilobytes) {
    // 20 + 0xFFEC is 0x10000: the keyboard starts at the file's first byte,
    // whose count byte 0 (not otherwise read) now is.
    std::vector<uint8_t> bytes = WithOffset(TwoKeyboards().Bytes(), 1, 0xFFEC);
    bytes[0] = 1;
    KeyboardFile file;
    file.Assign(bytes);
    const auto k = file.Find(1);
    ASSERT_TRUE(k);
    ASSERT_EQ(k->keys.size(), 1u);
    EXPECT_FALSE(k->returnFlag);  // byte 1: keyboard 0's offset, 0
    bytes[0] = 255;  // 255 keys from byte 2 do not fit
    file.Assign(bytes);
    EXPECT_FALSE(file.Find(1));
}

TEST(KeyboardFile, AnEmptyKeyboardIsFound) {
    KbbBuilder b;
    b.AddKeyboard(true, {});
    KeyboardFile file;
    file.Assign(b.Bytes());
    const auto k = file.Find(0);
    ASSERT_TRUE(k);
    EXPECT_TRUE(k->keys.empty());
    EXPECT_TRUE(k->returnFlag);
}

TEST(KeyboardFile, PathIsBesideTheModule) {
    EXPECT_EQ(KeyboardFile::PathBeside(u"\\Windows\\Tapryn.dll"), u"\\Windows\\Quillmar.kbb");
    EXPECT_EQ(KeyboardFile::PathBeside(u"\\Tapryn.dll"), u"\\Quillmar.kbb");
    EXPECT_EQ(KeyboardFile::PathBeside(u"Tapryn.dll"), u"Quillmar.kbb");
}

class KeyboardFileLoad : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        ASSERT_TRUE(plat::fs::CreateDirectory(u"\\Windows"));
    }
    const std::u16string m_path = KeyboardFile::PathBeside(u"\\Windows\\Tapryn.dll");
};

TEST_F(KeyboardFileLoad, ReadsTheFileWholeAndReplacesWhatWasHeld) {
    const std::vector<uint8_t> bytes = TwoKeyboards().Bytes();
    ASSERT_TRUE(plat::fs::WriteFile(m_path, bytes.data(), bytes.size()));
    KeyboardFile file;
    ASSERT_EQ(file.Load(m_path), KeyboardFile::LoadError::None);
    EXPECT_EQ(file.Size(), bytes.size());
    ASSERT_TRUE(file.Find(1));
    EXPECT_EQ(file.Find(1)->keys[0].label, "1");

    // A failed load holds nothing: the old keyboards are gone.
    ASSERT_TRUE(plat::fs::DeleteFile(m_path));
    EXPECT_EQ(file.Load(m_path), KeyboardFile::LoadError::Open);
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_FALSE(file.Find(0));
}

TEST_F(KeyboardFileLoad, WhatCannotBeOpenedIsReportedAsSuch) {
    KeyboardFile file;
    EXPECT_EQ(file.Load(m_path), KeyboardFile::LoadError::Open);  // missing
    ASSERT_TRUE(plat::fs::CreateDirectory(m_path));
    EXPECT_EQ(file.Load(m_path), KeyboardFile::LoadError::Open);  // a folder
    EXPECT_EQ(KeyboardFile::ErrorText(KeyboardFile::LoadError::Open), u"Unable to open the keyboard file.");
    EXPECT_EQ(KeyboardFile::ErrorText(KeyboardFile::LoadError::Read), u"Error reading the keyboard file.");
    EXPECT_EQ(KeyboardFile::ErrorText(KeyboardFile::LoadError::Memory),
              u"Unable to allocate memory for the keyboard.");
    EXPECT_TRUE(KeyboardFile::ErrorText(KeyboardFile::LoadError::None).empty());
}

TEST_F(KeyboardFileLoad, AHugeFileKeepsOnlyWhatAKeyboardCanReach) {
    std::vector<uint8_t> bytes = TwoKeyboards().Bytes();
    bytes.resize(KeyboardFile::kMaxUsefulSize + 100000, 0xAA);
    ASSERT_TRUE(plat::fs::WriteFile(m_path, bytes.data(), bytes.size()));
    KeyboardFile file;
    ASSERT_EQ(file.Load(m_path), KeyboardFile::LoadError::None);
    EXPECT_EQ(file.Size(), KeyboardFile::kMaxUsefulSize);
    ASSERT_TRUE(file.Find(0));
    // The last keyboard a header can place still fits: 255 keys from 0xFFFF.
    std::vector<uint8_t> far = WithOffset(bytes, 0, 0xFFFF - 20);
    far[0xFFFF] = 255;
    file.Assign(far);
    ASSERT_TRUE(file.Find(0));
    EXPECT_EQ(file.Find(0)->keys.size(), 255u);
}

}  // namespace

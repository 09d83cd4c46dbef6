// The display commands through the core: RfPrint's escapes, RfPrint2's
// boxes and screen files (the error box: tests/control).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CoreFixture.h"

namespace {

using namespace coretest;
namespace fsys = std::filesystem;

const Bytes ESC = "\x1B";

// Records what the widgets are asked to save and load.
struct RecordingWidgets : ICoreWidgets {
    Bytes saved = "W1";
    Bytes loaded;
    int loads = 0;
    bool WriteAll(CPacketBuffer& writer) override {
        writer.AppendBytes(saved.data(), static_cast<int32_t>(saved.size()));
        return true;
    }
    void LoadAll(CPacket& packet) override {
        ++loads;
        loaded.assign(reinterpret_cast<const char*>(packet.GetCursor()), packet.BytesLeft());
    }
};

class DisplayCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetWidgets(&m_widgets);
        m_core->SetAutomation(&m_automation);
    }
    void TearDown() override {
        if (m_core) m_core->SetWidgets(nullptr);
        CoreTest::TearDown();
    }
    void Print(const Bytes& text) { Send("3" + FD + text); }
    const CScreenModel& Screen() { return m_core->Screen(); }
    std::u16string Row(int row) { return Screen().Text(row, 0, Screen().Columns()); }
    char16_t Attr(int row, int column) { return Screen().AttributeAt(row, column); }
    std::pair<int, int> Cursor() { return {Screen().GetCaret().row, Screen().GetCaret().column}; }

    RecordingWidgets m_widgets;
};

std::u16string Padded(std::u16string text, int width = 21) {
    text.resize(static_cast<size_t>(width), u' ');
    return text;
}

TEST_F(DisplayCommandsTest, RfPrintPositionsAndWritesText) {
    Print(ESC + "[2;5HAB");
    EXPECT_EQ(Screen().CharacterAt(1, 4), u'A');
    EXPECT_EQ(Screen().CharacterAt(1, 5), u'B');
    EXPECT_EQ(Cursor(), std::make_pair(1, 6));
    // A line feed returns to column 0, or to the print's left margin in CR mode 1.
    Print(ESC + "[4;3Hab\ncd\r\nef");
    EXPECT_EQ(Row(3), Padded(u"  ab"));
    EXPECT_EQ(Row(4), Padded(u"cd"));
    EXPECT_EQ(Row(5), Padded(u"ef"));
    CoreProperties props = m_core->Settings().Properties();
    props.crMode = 1;
    m_core->Settings().SetProperties(props);
    Print(ESC + "[8;3Hab\ncd");
    EXPECT_EQ(Row(8), Padded(u"  cd"));
    // A clear homes the cursor, and the print goes on where it was.
    Print(ESC + "[2J");
    EXPECT_EQ(Row(8), Padded(u""));
    EXPECT_EQ(Cursor(), std::make_pair(8, 4));
    Print("ab" + ESC + "[2J" + "cd");
    EXPECT_EQ(Row(8), Padded(u"      cd"));
    Print(ESC + "[1;1Hxyz" + ESC + "[1;2H" + ESC + "[K");
    EXPECT_EQ(Row(0), Padded(u"x"));
}

TEST_F(DisplayCommandsTest, RfPrintAttributesBecomeTheDefault) {
    struct Case {
        Bytes sequence;
        char16_t attribute;
    } cases[] = {
        {"[1;7m", 0x670},   {"[m", 0x70},        {"[31;44m", 0x41},  {"[97;103m", 0xBF},
        {"[5;4;8;9;3m", 0x7970}, {"[7;27m", 0x70}, {"[39;49m", 0x70}, {"[1;22m", 0x70},
    };
    for (const Case& c : cases) {
        Print(ESC + "[m" + ESC + c.sequence + "Q");
        EXPECT_EQ(Screen().DefaultAttribute(), c.attribute) << c.sequence;
        EXPECT_EQ(Attr(Cursor().first, Cursor().second - 1), c.attribute) << c.sequence;
    }
}

TEST_F(DisplayCommandsTest, AnUnknownFinalLetterKeepsCollectingParameters) {
    Print(ESC + "[5AXYmZ");
    EXPECT_EQ(Row(0), Padded(u"Z"));
    EXPECT_EQ(Attr(0, 0), 0x170);  // the collected 5: blink
}

TEST_F(DisplayCommandsTest, WrapModeRunsOnAndDropsTextPastTheLastRow) {
    Print(ESC + "[?7h" + ESC + "[16;19Habcdefg");
    EXPECT_EQ(m_core->Settings().Properties().wrap, 1);
    EXPECT_EQ(Screen().Text(15, 18, 3), u"abc");
    EXPECT_EQ(Screen().CharacterAt(16, 0), u' ');  // never into the rows below
    // A double-width character in the last column moves to the next row behind a space.
    Send("B" + FD + "1");  // framing mode 1: texts in UTF-8
    Replies();
    Send("3" + FD + ESC + "[1;21H\xE4\xB8\xAD", 1);
    EXPECT_EQ(Screen().CharacterAt(0, 20), u' ');
    EXPECT_EQ(Screen().CharacterAt(1, 0), u'\u4E2D');
    EXPECT_EQ(Attr(1, 0), 0x8070);
    EXPECT_EQ(Screen().CharacterAt(1, 1), u' ');
}

TEST_F(DisplayCommandsTest, WithoutWrapTextStopsAtTheRowsEnd) {
    Print(ESC + "[?7l" + ESC + "[1;20Habcd");
    EXPECT_EQ(Row(0), Padded(u"                   ab"));
    EXPECT_EQ(Row(1), Padded(u""));
}

TEST_F(DisplayCommandsTest, RfPrintEndsAPendingInput) {
    Send(RfInputCommand(u"", 5, 0));
    ASSERT_EQ(m_core->Field().command, InputCommand::Field);
    Print("x");
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
}

TEST_F(DisplayCommandsTest, CommandsAfterAnRfPrintInItsPacketRun) {
    // Two prints in one packet both draw; an input after a print opens its field.
    Send("3" + FD + ESC + "[3;1Hab" + FF + "3" + FD + "cd" + FF + RfInputCommand(u"", 5, 0));
    EXPECT_EQ(Row(2), Padded(u"abcd"));
    EXPECT_EQ(m_core->Field().command, InputCommand::Field);
}

TEST_F(DisplayCommandsTest, RfPrint2LaysOutLinesInTheBox) {
    // Centred, word-wrapped, height 1 shows two lines.
    Send("(" + FD + "one two three" + FD + "2" + FD + "3" + FD + "9" + FD + "1" + FD + "1" + FD + "1");
    EXPECT_EQ(Screen().Text(3, 2, 9), u" one two ");
    EXPECT_EQ(Screen().Text(4, 2, 9), u"  three  ");
    EXPECT_EQ(Screen().CharacterAt(5, 2), u' ');
    // Right-aligned in reverse; the default attribute is black on white afterwards.
    Send("(" + FD + "ab" + FD + "0" + FD + "0" + FD + "4" + FD + "0" + FD + "6");
    EXPECT_EQ(Screen().Text(0, 0, 4), u"  ab");
    EXPECT_EQ(Attr(0, 3), 0x270);
    EXPECT_EQ(Screen().DefaultAttribute(), 0x70);
    // Absurd sizes are bounded; an empty text does nothing.
    Send("(" + FD + "z" + FD + "0" + FD + "9" + FD + "2000000000" + FD + "-5" + FD + "0");
    EXPECT_EQ(Screen().CharacterAt(9, 0), u'z');
    Send("(" + FD + FD + "0" + FD + "0" + FD + "5" + FD + "5");
    // A box at the far end of the row numbers stays off the screen: no later
    // line comes round to the cursor's row.
    Print(ESC + "[2J");
    Send("(" + FD + "x\ny\nz" + FD + "0" + FD + "2147483647" + FD + "1" + FD + "2");
    for (int r = 0; r < 16; ++r) EXPECT_EQ(Row(r), Padded(u"")) << r;
}

TEST_F(DisplayCommandsTest, ScreensArePushedAndPulledWithTheirWidgets) {
    StartLog();
    Print(ESC + "[7mHi");
    Send("O" + FD + "one");
    const fsys::path file = m_base / "SCREENS" / "one";
    ASSERT_TRUE(fsys::exists(file));
    EXPECT_EQ(fsys::file_size(file), 8u + 21 * 16 * 4 + 4 + 2);
    Print(ESC + "[m" + ESC + "[2J");
    Send("Q" + FD + "one");
    EXPECT_EQ(Row(0), Padded(u"Hi"));
    EXPECT_EQ(Attr(0, 0), 0x270);
    EXPECT_EQ(m_widgets.loaded, "W1");
    EXPECT_TRUE(fsys::exists(file));
    Send("P" + FD + "one");
    EXPECT_FALSE(fsys::exists(file));
    Send("P" + FD + "one");
    EXPECT_NE(LogText().find("SCREEN NOT FOUND"), std::string::npos);
    EXPECT_EQ(m_widgets.loads, 2);
}

TEST_F(DisplayCommandsTest, AScreenOfAnotherSizeRestoresTheOverlapOnly) {
    // Stored 2 rows of 3 columns, then the reserved word and the widgets.
    Bytes content("\x02\0\0\0\x03\0\0\0", 8);
    for (char c : std::string("abcdef")) content += Bytes(1, c) + Bytes("\0\x70\0", 3);
    content += Bytes(4, '\0') + "WIDGETS";
    fsys::create_directories(m_base / "SCREENS");
    std::ofstream(m_base / "SCREENS" / "small", std::ios::binary) << content;
    Send("Q" + FD + "small");
    EXPECT_EQ(Row(0), Padded(u"abc"));
    EXPECT_EQ(Row(1), Padded(u"def"));
    EXPECT_EQ(m_widgets.loaded, "WIDGETS");

    // A file cut short, or claiming a huge grid, is read no further than it goes.
    Bytes huge("\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F", 8);
    huge += Bytes("Z\0\x70\0", 4);
    std::ofstream(m_base / "SCREENS" / "huge", std::ios::binary) << huge;
    m_widgets.loaded.clear();
    Send("P" + FD + "huge");
    EXPECT_EQ(Screen().CharacterAt(0, 0), u'Z');
    EXPECT_EQ(m_widgets.loaded, "");
    // 2^31 rows of 2^31 columns: the cells' size does not wrap to 0, so no
    // widget records are read from inside the cells.
    Bytes wrapping("\0\0\0\x80\0\0\0\x80", 8);
    wrapping += Bytes("Y\0\x70\0", 4) + "WIDGETS";
    std::ofstream(m_base / "SCREENS" / "wrapping", std::ios::binary) << wrapping;
    Send("P" + FD + "wrapping");
    EXPECT_EQ(Screen().CharacterAt(0, 0), u'Y');
    EXPECT_EQ(m_widgets.loaded, "");
}

}  // namespace

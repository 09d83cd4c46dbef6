// The pen capture's strokes: points along a straight line merge, strokes end,
// and the stroke file is written and read back byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "core/widgets/StrokeList.h"
#include "WidgetFixture.h"

namespace {

const std::string FC = "\xFC";
const std::string FD = "\xFD";

bool Parse(const std::string& bytes, StrokeFile* out) {
    return ParseStrokeFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

TEST(StrokeListTest, AStraightStrokeInSmallMovesIsTwoPoints) {
    CStrokeList list;
    StrokePoint from;
    EXPECT_FALSE(list.AddPoint(10, 12, &from));  // the first point draws nothing
    for (int x = 11; x <= 30; ++x) {
        ASSERT_TRUE(list.AddPoint(x, 12, &from));
        EXPECT_EQ(from.x, 10) << x;  // after the second point the line is drawn from its start
    }
    list.EndStroke();
    EXPECT_EQ(list.Points().size(), 2u);
    EXPECT_EQ(list.FileBytes(200, 80), "200" + FD + "80" + FD + "10" + FC + "12" + FC + "30" + FC + "12" + FD);

    // Vertical, diagonal and backward lines merge too; a turn does not.
    CStrokeList lines;
    for (auto [x, y] : {std::pair{5, 5}, {5, 6}, {5, 9}, {6, 10}, {8, 12}, {4, 12}, {1, 12}}) lines.AddPoint(x, y, &from);
    const std::vector<StrokePoint> expected{{5, 5, false}, {5, 9, false}, {8, 12, false}, {1, 12, false}};
    EXPECT_EQ(lines.Points(), expected);
}

TEST(StrokeListTest, StrokesEndAndANewStrokeDrawsNothingFromTheOld) {
    CStrokeList list;
    StrokePoint from;
    list.AddPoint(1, 1, &from);
    list.AddPoint(2, 2, &from);
    list.EndStroke();
    // The next point starts a stroke: no line from the last one, and no merge
    // across the end even on the same line.
    EXPECT_FALSE(list.AddPoint(3, 3, &from));
    EXPECT_TRUE(list.AddPoint(4, 4, &from));
    EXPECT_EQ(from, (StrokePoint{3, 3, false}));
    list.EndStroke();
    EXPECT_EQ(list.FileBytes(5, 6), "5" + FD + "6" + FD + "1" + FC + "1" + FC + "2" + FC + "2" + FD + "3" + FC + "3" + FC +
                                         "4" + FC + "4" + FD);
    list.Clear();
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.FileBytes(5, 6), "5" + FD + "6" + FD);
}

TEST(StrokeListTest, APointBeyondTheLimitEndsTheStroke) {
    CStrokeList list;
    StrokePoint from;
    // A zigzag never merges.
    for (size_t i = 0; i < CStrokeList::kMaxPoints; ++i) list.AddPoint(static_cast<int32_t>(i), (i % 2) ? 1 : 0, &from);
    EXPECT_FALSE(list.AddPoint(-5, -5, &from));
    EXPECT_EQ(list.Points().size(), CStrokeList::kMaxPoints);
    EXPECT_TRUE(list.Points().back().endOfStroke);
}

TEST(StrokeListTest, StrokeFilesReadBack) {
    CStrokeList list;
    StrokePoint from;
    list.AddPoint(-3, 7, &from);
    list.AddPoint(40, -2, &from);
    list.EndStroke();
    list.AddPoint(2147483647, -2147483647 - 1, &from);  // the last stroke still open
    StrokeFile file;
    ASSERT_TRUE(Parse(list.FileBytes(240, 320), &file));
    EXPECT_EQ(file.width, 240);
    EXPECT_EQ(file.height, 320);
    EXPECT_EQ(file.points, list.Points());

    for (const std::string& bad : {std::string(), "1" + FD, "1" + FD + "2", "1" + FD + "2" + FD + "3",
                                   "1" + FD + "2" + FD + "3" + FC, "1" + FD + "2" + FD + "3" + FD + "4",
                                   "1" + FD + "2" + FD + "3" + FC + "4" + "x", "1" + FD + "2" + FD + "-" + FC + "4",
                                   "1" + FD + "2" + FD + "2147483648" + FC + "4", "x" + FD + "2" + FD}) {
        EXPECT_FALSE(Parse(bad, &file)) << bad;
    }
    EXPECT_TRUE(Parse("1" + FD + "2" + FD, &file));
    EXPECT_TRUE(file.points.empty());
}

using widgettest::Action;
using widgettest::Definition;
using widgettest::WidgetTest;

// An empty label clears the drawing but keeps the file: the signature
// screen's Clear must not leave the old strokes in it.
TEST_F(WidgetTest, APenCaptureKeepsItsFileOnAnEmptyLabel) {
    Stream(Definition(11, "100", {"", widgettest::FC + widgettest::FC + widgettest::FC + "SIG"}) + widgettest::FE +
           Definition(8, "5", {"", widgettest::FC + widgettest::FC + widgettest::FC + "text"}));
    for (const std::string& label : {std::string(), widgettest::FD + widgettest::FD + widgettest::FC + widgettest::FC +
                                                        widgettest::FC + "\x01"}) {
        EXPECT_EQ(Stream(Action(1, WID_ACTION_SETLABEL, "100", label)), "w" + FD + "100");
        EXPECT_EQ(Widget(100)->Fields().label, u"SIG");
        EXPECT_EQ(m_windows.Of(Widget(100)).label, u"SIG");
    }
    // Any other label names a new file; other widgets take an empty label.
    Stream(Action(1, WID_ACTION_SETLABEL, "100", FD + FD + FC + FC + FC + "NEXT"));
    EXPECT_EQ(Widget(100)->Fields().label, u"NEXT");
    Stream(Action(1, WID_ACTION_SETLABEL, "5"));
    EXPECT_EQ(Widget(5)->Fields().label, u"");
}

}  // namespace

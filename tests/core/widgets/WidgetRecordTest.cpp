// The definition record: reading it field by field, writing it back, and the
// values a widget derives from it (event records, placement, font, files).
#include "WidgetFixture.h"

namespace widgettest {
namespace {

// Every field given, items and sub-fields included.
const Bytes kFull = Definition(10, "42", {
    "2" + FC + "3" + FC + "4" + FC + "12" + FC + "1",
    "Arial" + FC + "255" + FC + "-1" + FC + "Caption" + FC + "33024" + FC + "9" + FC + "5",
    "3" + FB + "4" + FB + "-1" + FC + "d0" + FB + FB + "d2" + FC + FB + "x1" + FB,
    "init" + FC + "18",
    "2048",
    "LIST" + FC + "40" + FB + "z",
    "field",
    "7",
    "hidden text",
});

WidgetFields ParseOf(const Bytes& record, uint32_t ownId = 0x80000000u) {
    PacketOver p(record);
    CWidget w;
    w.SetId(ownId);
    w.Parse(nullptr, p.packet);
    return w.Fields();
}

TEST(WidgetRecord, ParseReadsEveryFieldInOrder) {
    const WidgetFields f = ParseOf(kFull);
    EXPECT_EQ(f.type, 10);
    EXPECT_EQ(f.id, 42u);
    EXPECT_EQ((std::vector<int32_t>{f.mode, f.row, f.column, f.width, f.height}), (std::vector<int32_t>{2, 3, 4, 12, 1}));
    EXPECT_EQ(f.fontFace, u"Arial");
    EXPECT_EQ(f.textColor, 255u);
    EXPECT_EQ(f.backColor, WIDGET_SYSTEM_COLOR);
    EXPECT_EQ(f.label, u"Caption");
    EXPECT_EQ(f.options, 33024u);
    EXPECT_EQ(f.fontPoints, 9);
    EXPECT_EQ(f.fontStyle, 5);
    EXPECT_EQ(f.replyCode, (std::array<int32_t, 3>{3, 4, -1}));
    EXPECT_EQ(f.dataText[0], u"d0");
    EXPECT_EQ(f.dataText[1], std::nullopt);
    EXPECT_EQ(f.dataText[2], u"d2");
    EXPECT_EQ(f.extraText[0], std::nullopt);
    EXPECT_EQ(f.extraText[1], u"x1");
    EXPECT_EQ(f.value, u"init");
    EXPECT_EQ(f.flags, 18u);
    EXPECT_EQ(f.windowStyle, 2048u);
    EXPECT_EQ(f.itemData, (std::vector<uint8_t>{'L', 'I', 'S', 'T', 0xFC, '4', '0', 0xFB, 'z'}));
    EXPECT_EQ(f.name, u"field");
    EXPECT_EQ(f.tabIndex, 7u);
    EXPECT_EQ(f.text, u"hidden text");
}

TEST(WidgetRecord, MissingAndEmptyPiecesKeepTheirDefaults) {
    const WidgetFields defaults;
    struct Case {
        const char* what;
        Bytes record;
        uint32_t id;
        std::u16string label;
        std::optional<std::u16string> value;
    };
    const Case cases[] = {
        {"empty id keeps the client's own", Definition(1, ""), 0x80000005u, u"", std::nullopt},
        {"a name in the id field keeps the client's own", Definition(1, "abc"), 0x80000005u, u"",
         std::nullopt},
        {"digits then letters", Definition(1, "12abc"), 12u, u"", std::nullopt},
        {"two label items", Definition(1, "1", {"", FC + FC + FC + "v" + FB + "lab"}), 1u, u"lab", u"v"},
        {"value field replaces the first item", Definition(1, "1", {"", FC + FC + FC + "v" + FB + "lab", "", "val"}),
         1u, u"lab", u"val"},
        {"empty label sub-field is an empty label", Definition(1, "1", {"", "face" + FC + FC + FC}), 1u, u"",
         std::nullopt},
        {"record ends at 0xFE", Definition(1, "3") + FE + Definition(2, "4", {"1" + FC + "9"}), 3u, u"",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WidgetFields f = ParseOf(c.record, 0x80000005u);
        EXPECT_EQ(f.id, c.id);
        EXPECT_EQ(f.label, c.label);
        EXPECT_EQ(f.value, c.value);
        EXPECT_EQ(f.mode, defaults.mode);
        EXPECT_EQ(f.row, defaults.row);
        EXPECT_EQ(f.textColor, defaults.textColor);
        EXPECT_EQ(f.replyCode, defaults.replyCode);
        EXPECT_EQ(f.tabIndex, defaults.tabIndex);
    }
}

TEST(WidgetRecord, ColoursAreReadUnsigned) {
    for (const auto& [text, color] : std::vector<std::pair<Bytes, uint32_t>>{
             {"-1", 0xFFFFFFFFu}, {"4294967295", 0xFFFFFFFFu}, {"0", 0u}, {"16711680", 0xFF0000u}}) {
        const WidgetFields f = ParseOf(Definition(8, "1", {"", FC + text + FC + text}));
        EXPECT_EQ(f.textColor, color) << text;
        EXPECT_EQ(f.backColor, color) << text;
    }
}

TEST(WidgetRecord, WrittenBackLayoutAndRoundTrip) {
    // The smallest widget: mode 0 carries no geometry, strings without a
    // value are empty, the tab index -1 is left out.
    CWidget bare;
    PacketOver one(Definition(8, "9"));
    bare.Parse(nullptr, one.packet);
    CPacketBuffer w(0, 0xFF, 1024, 0);
    ASSERT_TRUE(bare.WriteState(w));
    EXPECT_EQ(Written(w), "8" + FD + "1" + FD + "9" + FD + "0" + FC + FD + FC + "4294967295" + FC + "4294967295" +
                              FC + FC + "0" + FC + "0" + FC + "0" + FC + FD + "-1" + FB + "-1" + FB + "-1" + FB + FC +
                              FB + FB + FB + FC + FB + FB + FB + FC + FD + FC + "0" + FC + FD + "0" + FD + FD + FD +
                              FD + FD);

    // Everything given, in both framing modes: read back, the same widget.
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        PacketOver p(kFull, mode);
        CWidget first;
        first.Parse(nullptr, p.packet);
        CPacketBuffer out(mode, 0xFF, 1024, 0);
        ASSERT_TRUE(first.WriteState(out));
        EXPECT_EQ(Written(out).substr(0, 5), "10" + FD + "1" + FD);
        PacketOver again(Written(out), mode);
        CWidget second;
        second.Parse(nullptr, again.packet);
        EXPECT_EQ(second.Fields(), first.Fields());
    }
}

TEST(WidgetRecord, NonAsciiTextsTravelInTheSessionEncoding) {
    PacketOver p(Definition(1, "1", {"", FC + FC + FC + "caf\xC3\xA9"}), 1);
    CWidget w;
    w.Parse(nullptr, p.packet);
    EXPECT_EQ(w.Fields().label, u"caf\u00e9");
    CPacketBuffer cp1252(0, 0xFF, 1024, 1252);
    ASSERT_TRUE(w.WriteState(cp1252));
    EXPECT_NE(Written(cp1252).find("caf\xE9"), Bytes::npos);
}

TEST(WidgetRecord, ARecordThatDoesNotFitLeavesTheWriterAsItWas) {
    PacketOver p(kFull);
    CWidget w;
    w.Parse(nullptr, p.packet);
    CPacketBuffer big(0, 0xFF, 1024, 0);
    ASSERT_TRUE(w.WriteState(big));
    const int32_t size = big.GetLength();
    // A writer holds less than its capacity: room for all but the last byte.
    CPacketBuffer small(0, 0xFF, size + 2, 0);
    small.AppendString("ab");
    EXPECT_FALSE(w.WriteState(small));
    EXPECT_EQ(Written(small), "ab");
    CPacketBuffer exact(0, 0xFF, size + 3, 0);
    exact.AppendString("ab");
    EXPECT_TRUE(w.WriteState(exact));
}

TEST_F(WidgetTest, EventRecordsCarryTheSlotCodeTextIdAndExtra) {
    Stream(Definition(1, "5", {"", FC + FC + FC + "OK", "3" + FB + "0" + FB + FC + FB + "data1" + FC + "extra0"}));
    CWidget* w = Widget(5);
    ASSERT_NE(w, nullptr);
    w->SendEvent(u"OK", 0);
    w->SendEvent(u"OK", 1);
    w->SendEvent(u"OK", 2);
    EXPECT_EQ(m_events, (std::vector<Bytes>{"3" + FD + "OK" + FD + "5" + FC + "extra0",
                                            "8" + FD + "data1" + FD + "5" + FC + "-1",
                                            "8" + FD + "OK" + FD + "5" + FC + "-1"}));
    // The code byte is '0' + code modulo 256, whatever the code.
    Stream(Definition(1, "6", {"", "", "2147483647"}));
    Widget(6)->SendEvent(u"", 0);
    EXPECT_EQ(m_events.back().substr(0, 1), "/");
}

TEST_F(WidgetTest, LongNonAsciiEventTextIsSentWholeInUtf8) {
    m_framer.SetMode(1);
    Stream(Definition(10, "6"));
    const std::u16string text(300, u'\u20AC');  // three bytes each in UTF-8
    Widget(6)->SendEvent(text, 0);
    ASSERT_EQ(m_events.size(), 1u);
    Bytes euros;
    for (int i = 0; i < 300; ++i) euros += "\xE2\x82\xAC";
    EXPECT_EQ(m_events[0], "8" + FD + euros + FD + "6" + FC + "-1");
}

TEST_F(WidgetTest, PlacementByModeAndListExtrasStayOutOfTheRecord) {
    m_manager.SetCellMetrics(10, 20);
    struct Case {
        Bytes geometry;
        int32_t extra;
        WidgetRect rect;
    };
    const Case cases[] = {
        {"1" + FC + "5" + FC + "7" + FC + "30" + FC + "40", 0, {7, 5, 30, 40}},
        {"2" + FC + "2" + FC + "3" + FC + "4" + FC + "1", 0, {30, 40, 40, 20}},
        {"2" + FC + "2" + FC + "3" + FC + "4" + FC + "1", 4, {30, 40, 80, 20}},
        {"3" + FC + "10" + FC + "50" + FC + "25" + FC + "33", 0, {120, 30, 60, 99}},
        {"3" + FC + "-10" + FC + "-50" + FC + "1" + FC + "1", 0, {-120, -30, 2, 3}},
        {"7" + FC + "1" + FC + "1" + FC + "1" + FC + "1", 0, {0, 0, 0, 0}},
        {"2" + FC + "2147483647" + FC + "2147483647" + FC + "1" + FC + "1", 0, {INT32_MAX, INT32_MAX, 10, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.geometry);
        Stream(Definition(18, "1", {c.geometry}));
        const CWidget* w = Widget(1);
        const WidgetFields before = w->Fields();
        EXPECT_EQ(w->Placement(240, 300, c.extra), c.rect);
        EXPECT_EQ(m_windows.Of(w).rect, w->Placement(240, 300));
        // Saving and restoring keeps the host's width.
        CPacketBuffer saved(0, 0xFF, 4096, 0);
        ASSERT_TRUE(m_manager.WriteAll(saved));
        PacketOver restore(Written(saved));
        m_manager.LoadAll(restore.packet);
        ASSERT_EQ(m_manager.Count(), 1);
        EXPECT_EQ(Widget(1)->Fields(), before);
        EXPECT_EQ(Widget(1)->Placement(240, 300, c.extra), c.rect);
    }
}

TEST_F(WidgetTest, FontFromTheWidgetThenTheManagerThenCourierNew) {
    Stream(Definition(1, "1") + FE + Definition(1, "2", {"", "Tahoma" + FC + FC + FC + FC + FC + "10" + FC + "15"}));
    WidgetFont font = Widget(1)->ChooseFont();
    EXPECT_EQ(font.face, u"Courier New");
    EXPECT_TRUE(font.fixedPitchAnsi);
    EXPECT_EQ(font.points, 14);
    EXPECT_EQ(font.HeightFor(96), -18);

    m_manager.SetDefaultFont(u"Lucida", 8);
    font = Widget(1)->ChooseFont();
    EXPECT_EQ(font.face, u"Lucida");
    EXPECT_FALSE(font.fixedPitchAnsi);
    EXPECT_EQ(font.points, 8);
    EXPECT_EQ(font.weight, 0);

    font = Widget(2)->ChooseFont();
    EXPECT_EQ(font.face, u"Tahoma");
    EXPECT_EQ(font.points, 10);
    EXPECT_EQ(font.weight, 700);
    EXPECT_TRUE(font.italic && font.underline && font.strikeOut);
}

TEST_F(WidgetTest, AOnePointFontIsTheWidgetsOwn) {
    // 1 point is the smallest size a widget gives; 0 and below take the default.
    Stream(Definition(1, "1", {"", FC + FC + FC + FC + FC + "1"}) + FE + Definition(1, "2", {"", FC + FC + FC + FC + FC + "0"}) +
           FE + Definition(1, "3", {"", FC + FC + FC + FC + FC + "-1"}));
    m_manager.SetDefaultFont(u"Lucida", 8);
    EXPECT_EQ(Widget(1)->ChooseFont().points, 1);
    EXPECT_EQ(Widget(2)->ChooseFont().points, 8);
    EXPECT_EQ(Widget(3)->ChooseFont().points, 8);
}

TEST_F(WidgetTest, WindowStyleColoursAndFiles) {
    Stream(Definition(9, "1", {"", FC + "-1" + FC + "128" + FC + "logo.bmp", "", FC + "3", "4"}));
    const CWidget* w = Widget(1);
    EXPECT_EQ(w->BaseWindowStyle(), 0x40000000u | 0x08000000u | 4u);  // hidden: no WS_VISIBLE
    EXPECT_EQ(w->TextColor(0x123456), 0x123456u);
    EXPECT_EQ(w->BackColor(0x123456), 128u);
    EXPECT_EQ(w->DataFile().name, u"logo.bmp");
    EXPECT_EQ(w->DataFile().defaultFolder, u"DATA");
    EXPECT_EQ(CWidget::ItemListFile(u"PICK").name, u"PICK.MNU");
    EXPECT_EQ(CWidget::ItemListFile(u"pick.lst").name, u"pick.lst");
    EXPECT_EQ(CWidget::ItemListFile(u"PICK").defaultFolder, u"MENUS");
}

}  // namespace
}  // namespace widgettest

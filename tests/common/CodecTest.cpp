#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/Packet.h"
#include "common/PacketBuffer.h"

namespace {

// A packet over its own copy of the bytes.
struct P {
    std::string bytes;
    CPacket pkt;
    explicit P(std::string b, int mode = 0, uint8_t delim = 0xFF, uint32_t cp = 0)
        : bytes(std::move(b)),
          pkt(mode, delim, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), cp) {}
    CPacket* operator->() { return &pkt; }
};

std::string Written(const CPacketBuffer& w) {
    return std::string(reinterpret_cast<const char*>(w.GetData()), static_cast<size_t>(w.GetLength()));
}

}  // namespace

TEST(PacketRead, DispatcherExample) {
    P p("B\xFD" "1\xFC" "2\xFD");
    EXPECT_EQ(p->GetFieldLength(), 1);
    EXPECT_EQ(p->PeekByte(-1), 'B');
    p->NextField();
    EXPECT_EQ(p->GetFieldLength(), 1);
    EXPECT_EQ(p->GetInt(0), 1);
    p->NextSubField();
    EXPECT_EQ(p->GetInt(0), 2);
    p->NextField();
    EXPECT_EQ(p->BytesLeft(), 0);
    EXPECT_EQ(p->PeekByte(-1), -1);
}

TEST(PacketRead, NumbersOnEmptyFieldAndAtEnd) {
    P p("\xFD");
    EXPECT_EQ(p->GetInt(7), 7);
    EXPECT_EQ(p->GetLong(7), 0);
    EXPECT_EQ(p->GetULong(7), 0u);
    p->NextField();
    EXPECT_EQ(p->GetInt(7), 7);
    EXPECT_EQ(p->GetLong(7), 7);
    EXPECT_EQ(p->GetULong(7), 7u);
}

TEST(PacketRead, NumberConversions) {
    struct Case { std::string field; int32_t i; uint32_t u; };
    const Case cases[] = {
        // Past the unsigned range a value saturates, as an unsigned conversion does.
        {"12345678901234567890", INT32_MAX, 4294967295u},  // first 13 characters
        {"-9999999999999", INT32_MIN, 4294967295u},        // 13 characters, clamped
        {"-1", -1, 4294967295u},
        {"-4294967295", INT32_MIN, 1u},
        {"  42abc", 42, 42u},
        {"+17", 17, 17u},
        {"x9", 0, 0u},
        {"4294967295", INT32_MAX, 4294967295u},
        {"4294967296", INT32_MAX, 4294967295u},
        {"-4294967296", INT32_MIN, 4294967295u},
    };
    for (const auto& c : cases) {
        P p(c.field + "\xFD");
        EXPECT_EQ(p->GetInt(-5), c.i) << c.field;
        EXPECT_EQ(p->GetLong(-5), c.i) << c.field;
        EXPECT_EQ(p->GetULong(5), c.u) << c.field;
    }
}

TEST(PacketRead, SkipRespectsSeparatorRanks) {
    P p("a\xFB" "b\xFC" "c\xFD" "d\xFE" "e\xFF" "f");
    p->NextField();  // passes items and sub-fields
    EXPECT_EQ(p->PeekByte(0), 'd');
    p->NextField();  // stops on the record end
    EXPECT_EQ(p->PeekByte(0), 0xFE);
    EXPECT_EQ(p->GetFieldLength(), 0);
    p->NextField();  // does not move past it
    EXPECT_EQ(p->PeekByte(0), 0xFE);
    p->NextRecord();
    EXPECT_EQ(p->PeekByte(0), 'e');
    p->NextRecord();  // stops on the command delimiter
    EXPECT_EQ(p->PeekByte(0), 0xFF);
    p->NextCommand();
    EXPECT_EQ(p->PeekByte(0), 'f');
    p->NextCommand();  // nothing more: stays at the end
    EXPECT_EQ(p->BytesLeft(), 0);
}

TEST(PacketRead, ItemsAndSubFieldsInOrder) {
    P p("1\xFB" "2\xFB" "3\xFC" "4\xFD");
    p->NextItem();
    EXPECT_EQ(p->GetInt(0), 2);
    p->NextItem();
    EXPECT_EQ(p->GetInt(0), 3);
    p->NextItem();  // a sub-field end is above the item level: stop on it
    EXPECT_EQ(p->PeekByte(0), 0xFC);
    p->NextSubField();
    EXPECT_EQ(p->GetInt(0), 4);
}

TEST(PacketRead, CustomCommandDelimiter) {
    // A low delimiter ranks above every separator: fields end at it, and
    // NextCommand passes over the separators to reach it.
    P p("AB\x05" "C\xFD" "1\xFE" "x\x05" "D", 0, 0x05);
    EXPECT_EQ(p->GetFieldLength(), 2);
    EXPECT_EQ(p->CommandLength(), 2);
    p->NextField();
    EXPECT_EQ(p->PeekByte(0), 0x05);  // never crosses the delimiter
    p->NextCommand();
    EXPECT_EQ(p->PeekByte(0), 'C');
    p->NextField();
    EXPECT_EQ(p->GetInt(0), 1);
    p->NextCommand();
    EXPECT_EQ(p->PeekByte(0), 'D');

    // A delimiter equal to a separator byte still ends commands, not fields.
    P q("A\xFD" "B\xFD" "C", 0, 0xFD);
    q->NextField();
    EXPECT_EQ(q->PeekByte(0), 0xFD);
    q->NextCommand();
    EXPECT_EQ(q->PeekByte(0), 'B');
}

TEST(PacketRead, NextCommandAlwaysProgressesOrEnds) {
    // Every delimiter value, over bytes that hold every separator: each step
    // lands just after the next delimiter, and the last one at the end.
    const std::string bytes("\x01\xFB\xFC\xFD\xFE\xFF\x00\x7F\xFFz", 10);
    for (int delim = 0; delim < 256; ++delim) {
        std::vector<int32_t> expected;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (static_cast<uint8_t>(bytes[i]) == delim && i + 1 < bytes.size()) expected.push_back(static_cast<int32_t>(i + 1));
        expected.push_back(static_cast<int32_t>(bytes.size()));
        P p(bytes, 0, static_cast<uint8_t>(delim));
        std::vector<int32_t> visited;
        while (p->BytesLeft() > 0 && visited.size() <= bytes.size()) {
            p->NextCommand();
            visited.push_back(p->GetPosition());
        }
        EXPECT_EQ(visited, expected) << delim;
    }
}

TEST(PacketRead, Strings) {
    P p("hello\xFDz");
    char buf[4];
    EXPECT_EQ(p->GetString(nullptr, 0), 6);
    EXPECT_EQ(p->GetString(buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "hel");
    char big[16];
    EXPECT_EQ(p->GetString(big, sizeof big), 6);
    EXPECT_STREQ(big, "hello");
}

TEST(PacketRead, WideTextByMode) {
    char16_t buf[16];
    P m0("caf\xE9\xFD", 0, 0xFF, 1252);
    EXPECT_EQ(m0->GetWide(nullptr, 0), 5);
    EXPECT_EQ(m0->GetWide(buf, 16), 4);
    EXPECT_EQ(std::u16string(buf), u"caf\u00E9");
    P m1("caf\xC3\xA9\xFD", 1);
    EXPECT_EQ(m1->GetWide(buf, 16), 4);
    EXPECT_EQ(std::u16string(buf), u"caf\u00E9");
    EXPECT_EQ(m1->GetWide(buf, 3), 2);  // truncated, still terminated
    EXPECT_EQ(std::u16string(buf), u"ca");
    P whole("a\xFD" "b\xFC" "c\xFF" "d");
    EXPECT_EQ(whole->GetWide(buf, 16, true), 5);
    EXPECT_EQ(std::u16string(buf), u"a\u00FDb\u00FCc");  // separators read as code-page text
}

TEST(PacketRead, CopyRestAdvanceExtentAndClone) {
    P p("ab\xFC" "cd\xFD" "ef");
    uint8_t buf[4];
    EXPECT_EQ(p->CopyRest(buf, 4), 4);
    EXPECT_EQ(p->GetPosition(), 0);
    EXPECT_EQ(p->CopyRest(nullptr, 4), 0);
    EXPECT_EQ(p->FieldExtent(), 6);  // up to and including the 0xFD
    p->Advance(1000);
    EXPECT_EQ(p->BytesLeft(), 0);
    p->NextCommand();  // the stale field length never carries the cursor past the end
    EXPECT_EQ(p->BytesLeft(), 0);
    EXPECT_EQ(p->GetPosition(), p->GetLength());
    P q("ab\xFC" "cd\xFD" "ef");
    q->NextField();
    EXPECT_EQ(q->FieldExtent(), 2);  // no 0xFD: to the end
    std::unique_ptr<CPacket> c(q->CloneRest());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->GetLength(), 2);
    EXPECT_EQ(c->GetFieldLength(), 2);
}

TEST(PacketWrite, CapacityRule) {
    std::string data(4096, 'x');
    CPacketBuffer w(0, 0xFF, 4096, 0);
    w.AppendBytes(data.data(), 4096);
    EXPECT_EQ(w.GetLength(), 0);
    w.AppendBytes(data.data(), 4095);
    EXPECT_EQ(w.GetLength(), 4095);
    w.AppendByte('y');  // would reach the capacity
    EXPECT_EQ(w.GetLength(), 4095);
    w.Reset();
    w.AppendBytes(data.data(), 4094).AppendString("ab").AppendByte('c');  // too long, then fits
    EXPECT_EQ(w.GetLength(), 4095);
    EXPECT_EQ(w.GetData()[4094], 'c');
}

TEST(PacketWrite, NegativeCountsAndReserve) {
    CPacketBuffer w(0, 0xFF, 16, 0);
    w.AppendBytes("abc", -1);
    EXPECT_EQ(w.GetLength(), 0);
    EXPECT_EQ(w.Reserve(-3), nullptr);
    EXPECT_EQ(w.Reserve(16), nullptr);
    uint8_t* at = w.Reserve(15);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at, w.GetData());
    EXPECT_EQ(w.GetLength(), 15);
}

TEST(PacketWrite, NumbersAndSeparators) {
    CPacketBuffer w(0, 0xFF, 64, 0);
    w.AppendInt(-1).EndField().AppendLong(INT32_MIN).EndSubField().AppendULong(4294967295u).EndItem()
        .AppendInt(0).EndRecord();
    EXPECT_EQ(Written(w), "-1\xFD-2147483648\xFC" "4294967295\xFB" "0\xFE");
}

TEST(PacketWrite, WideTextByMode) {
    CPacketBuffer m1(1, 0xFF, 64, 0);
    m1.AppendWide(u"\u20AC\u00E9");
    EXPECT_EQ(Written(m1), "\xE2\x82\xAC\xC3\xA9");
    CPacketBuffer m0(0, 0xFF, 64, 1252);
    m0.AppendWide(u"\u20AC\u00E9e\u0301\u0410");
    EXPECT_EQ(Written(m0), "\x80\xE9\xE9?");  // composed, unencodable becomes '?'
    CPacketBuffer small(0, 0xFF, 4, 0);
    small.AppendWide(u"abcd");  // all or nothing
    EXPECT_EQ(small.GetLength(), 0);
    small.AppendWide(u"");
    small.AppendWide(nullptr);
    EXPECT_EQ(small.GetLength(), 0);
}

TEST(PacketRead, FieldEndFoundAtEveryOffset) {
    // The scan works in blocks; a field end must be found wherever it falls.
    for (uint8_t delim : {uint8_t(0xFF), uint8_t(0x05), uint8_t(0x80)}) {
        for (int size = 0; size <= 40; ++size) {
            for (int at = 0; at <= size; ++at) {
                for (uint8_t end : {uint8_t(0xFB), uint8_t(0xFE), delim}) {
                    std::string bytes(static_cast<size_t>(size), 'a');
                    if (size > 5) bytes[5] = '\xFA';  // just below the separators: not an end
                    if (at < size) bytes[static_cast<size_t>(at)] = static_cast<char>(end);
                    P p(bytes, 0, delim);
                    int expected = size;
                    for (int i = 0; i < size; ++i) {
                        uint8_t b = static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
                        if (b >= 0xFB || b == delim) {
                            expected = i;
                            break;
                        }
                    }
                    ASSERT_EQ(p->GetFieldLength(), expected) << int(delim) << " " << size << " " << at;
                }
            }
        }
    }
}

namespace {

// The reader as plainly described: the field measured eagerly after every
// move, Next… stepping byte by byte. The packet, which measures only when
// asked and searches in blocks, must agree with it at every step.
struct ReferenceReader {
    std::string bytes;
    uint8_t delim;
    int32_t cursor = 0, field = 0;
    int32_t size() const { return static_cast<int32_t>(bytes.size()); }
    uint8_t at(int32_t i) const { return static_cast<uint8_t>(bytes[static_cast<size_t>(i)]); }
    void Measure() {
        int32_t i = cursor;
        while (i < size() && at(i) < 0xFB && at(i) != delim) ++i;
        field = i - cursor;
    }
    void SkipTo(uint8_t separator, bool toCommand) {
        cursor = std::min(cursor + field, size());
        while (cursor < size()) {
            uint8_t b = at(cursor++);
            if (b == delim) {
                if (!toCommand) --cursor;
                break;
            }
            if (toCommand) continue;
            if (b == separator) break;
            if (b > separator && b >= 0xFB) {
                --cursor;
                break;
            }
        }
        Measure();
    }
    void Advance(int32_t n) { cursor += std::min(n, size() - cursor); }
    int32_t Int(int32_t def) const {
        if (cursor >= size() || field == 0) return def;
        const std::string text = bytes.substr(static_cast<size_t>(cursor), static_cast<size_t>(std::min(field, 13)));
        return static_cast<int32_t>(std::clamp<long long>(std::strtoll(text.c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
    }
    int32_t Extent() const {
        int32_t i = std::min(cursor + field, size());
        while (i < size() && at(i) != 0xFD) ++i;
        if (i < size()) ++i;
        return i - cursor;
    }
};

}  // namespace

TEST(PacketRead, MeasuringOnDemandAgreesWithEagerReading) {
    const uint8_t alphabet[] = {'a', '1', 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0x05};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 3000; ++round) {
        const uint8_t delim = round % 3 == 0 ? uint8_t(0x05) : uint8_t(0xFF);
        std::string bytes;
        // Long runs of plain bytes so the block search meets separators at every offset.
        for (uint32_t n = next(60); n > 0; --n)
            bytes.append(next(4) == 0 ? next(40) : 1, static_cast<char>(alphabet[next(9)]));
        ReferenceReader ref{bytes, delim};
        ref.Measure();
        P p(bytes, 0, delim);
        for (int step = 0; step < 40; ++step) {
            const uint32_t op = next(10);
            switch (op) {
            case 0: p->NextField(); ref.SkipTo(0xFD, false); break;
            case 1: p->NextSubField(); ref.SkipTo(0xFC, false); break;
            case 2: p->NextItem(); ref.SkipTo(0xFB, false); break;
            case 3: p->NextRecord(); ref.SkipTo(0xFE, false); break;
            case 4: p->NextCommand(); ref.SkipTo(delim, true); break;
            case 5: p->SkipTo('1'); ref.SkipTo('1', false); break;  // not a separator at all
            case 6: p->Advance(static_cast<int32_t>(next(5))); ref.Advance(p->GetPosition() - ref.cursor); break;
            case 7: EXPECT_EQ(p->GetInt(-7), ref.Int(-7)); break;
            case 8: EXPECT_EQ(p->FieldExtent(), ref.Extent()); break;
            default: EXPECT_EQ(p->GetFieldLength(), ref.field); break;
            }
            ASSERT_EQ(p->GetPosition(), ref.cursor) << "round " << round << " step " << step << " op " << op;
        }
    }
}

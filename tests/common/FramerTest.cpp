#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "common/PacketFramer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<uint8_t>(x));
    return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string AsString(const CPacket* p) {
    return std::string(reinterpret_cast<const char*>(p->GetData()), static_cast<size_t>(p->GetLength()));
}

struct Segment {
    Bytes header, data;
    uint8_t trailer;
};

struct Capture {
    std::vector<Segment> segments;
    static void Callback(void* ctx, int count, const uint8_t* const* pieces, const int32_t* lengths) {
        ASSERT_EQ(count, 3);
        auto* self = static_cast<Capture*>(ctx);
        self->segments.push_back({Bytes(pieces[0], pieces[0] + lengths[0]), Bytes(pieces[1], pieces[1] + lengths[1]),
                                  lengths[2] == 1 ? pieces[2][0] : uint8_t(0)});
    }
};

// Feeds every chunk in turn, collecting the packets that complete.
std::vector<std::string> Feed(CPacketFramer& f, const std::vector<Bytes>& chunks) {
    std::vector<std::string> out;
    for (const auto& c : chunks) {
        int32_t pos = 0;
        while (pos < static_cast<int32_t>(c.size())) {
            CPacket* p = f.Parse(c.data(), pos, static_cast<int32_t>(c.size()));
            if (p) out.push_back(AsString(p));
        }
    }
    return out;
}

}  // namespace

TEST(FramerReceive, LeadingNoiseIgnoredAndOnePacketMode0) {
    CPacketFramer f(nullptr, nullptr, 0);
    Bytes in = Cat(Cat(B({0x41, 0x02, 0x05, 0x03}), Text("HELLO")), B({0x17}));
    int32_t pos = 0;
    CPacket* p = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(AsString(p), "HELLO");
    EXPECT_EQ(pos, static_cast<int32_t>(in.size()));
}

TEST(FramerReceive, SegmentSplitAcrossCalls) {
    CPacketFramer f(nullptr, nullptr, 0);
    std::vector<Bytes> parts = {B({0x02}), Cat(B({0x05, 0x03}), Text("HE")), Text("LLO"), B({0x17})};
    int got = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        int32_t pos = 0;
        CPacket* p = f.Parse(parts[i].data(), pos, static_cast<int32_t>(parts[i].size()));
        EXPECT_EQ(pos, static_cast<int32_t>(parts[i].size()));
        if (p) {
            EXPECT_EQ(i, parts.size() - 1);
            EXPECT_EQ(AsString(p), "HELLO");
            ++got;
        }
    }
    EXPECT_EQ(got, 1);
}

TEST(FramerReceive, MultiSegmentPacketAndTwoPacketsInOneInput) {
    CPacketFramer f(nullptr, nullptr, 0);
    Bytes in = Cat(Cat(B({2, 2, 3, 'A', 'B', 3}), B({2, 1, 3, 'C', 0x17})), B({2, 1, 3, 'D', 0x17}));
    int32_t pos = 0;
    CPacket* p = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(AsString(p), "ABC");
    EXPECT_EQ(pos, 11);
    p = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(AsString(p), "D");
    EXPECT_EQ(pos, static_cast<int32_t>(in.size()));
}

TEST(FramerReceive, MalformedHeadersResynchronise) {
    struct Case { const char* name; int mode; Bytes bad; };
    const Case cases[] = {
        {"mode 0, no ETX after length", 0, B({2, 5, 4})},
        {"mode 1, letter in length", 1, B({2, '1', 'x'})},
        {"mode 1, ten length digits", 1, Cat(B({2}), Text("1000000000"))},
    };
    for (const auto& c : cases) {
        CPacketFramer f(nullptr, nullptr, 0);
        f.SetMode(c.mode);
        Bytes good = c.mode == 1 ? B({2, '2', 3, 'O', 'K', 0x17}) : B({2, 2, 3, 'O', 'K', 0x17});
        auto out = Feed(f, {c.bad, good});
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_EQ(out[0], "OK") << c.name;
    }
}

TEST(FramerReceive, NineDigitLengthAccepted) {
    CPacketFramer f(nullptr, nullptr, 0);
    f.SetMode(1);
    Bytes in = Cat(B({2}), Text("000000002"));
    in = Cat(in, B({3, 'h', 'i', 0x17}));
    auto out = Feed(f, {in});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "hi");
}

TEST(FramerReceive, BadTrailerKeepsAssembledBytes) {
    CPacketFramer f(nullptr, nullptr, 0);
    auto out = Feed(f, {B({2, 2, 3, 'A', 'B', 0x55}), B({2, 1, 3, 'C', 0x17})});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ABC");
}

TEST(FramerReceive, EmptySegmentsAndLargeMode1Packet) {
    CPacketFramer f(nullptr, nullptr, 0);
    f.SetMode(1);
    std::string big(5000, 'z');
    big[4999] = 'e';
    Bytes in = Cat(Cat(B({2, 3, 3}), Cat(Cat(B({2}), Text("5000")), B({3}))), Cat(Text(big), B({0x17})));
    auto out = Feed(f, {in});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], big);
    EXPECT_GE(f.GetCapacity(), 5000);
}

TEST(FramerReceive, PacketBytesStayValidUntilNextCall) {
    CPacketFramer f(nullptr, nullptr, 0);
    Bytes in = B({2, 1, 3, 'X', 0x17, 2, 1, 3, 'Y', 0x17});
    int32_t pos = 0;
    CPacket* p = f.Parse(in.data(), pos, 5);
    ASSERT_TRUE(p);
    EXPECT_EQ(f.GetState(), CPacketFramer::State::Delivered);
    EXPECT_EQ(f.GetUsed(), 1);
    p = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(AsString(p), "Y");
}

TEST(FramerReceive, ResetDropsPartialPacket) {
    CPacketFramer f(nullptr, nullptr, 0);
    Feed(f, {B({2, 2, 3, 'A', 'B', 3, 2, 5, 3, 'x'})});
    f.Reset();
    auto out = Feed(f, {B({2, 1, 3, 'C', 0x17})});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "C");
}

namespace {
// Fails the given number of assembly growths, then grows normally.
class FailingFramer : public CPacketFramer {
public:
    explicit FailingFramer(int failures) : CPacketFramer(nullptr, nullptr, 0), failures(failures) {
        SetDiscardCallback(&FailingFramer::OnDiscard, this);
    }
    int failures;
    int32_t refuseFrom = INT32_MAX;  // growths to this size or more fail
    int resizes = 0;
    std::vector<std::pair<FramerDiscard, int64_t>> discarded;
protected:
    uint8_t* ResizeAssembly(uint8_t* buffer, int32_t used, int32_t size) override {
        ++resizes;
        if (size >= refuseFrom) return nullptr;
        if (failures > 0) {
            --failures;
            return nullptr;
        }
        return CPacketFramer::ResizeAssembly(buffer, used, size);
    }
private:
    static void OnDiscard(void* ctx, FramerDiscard reason, int64_t received) {
        static_cast<FailingFramer*>(ctx)->discarded.emplace_back(reason, received);
    }
};

Bytes Mode1Segment(const std::string& data, uint8_t trailer) {
    return Cat(Cat(Cat(B({2}), Text(std::to_string(data.size()))), B({3})), Cat(Text(data), B({trailer})));
}

// A mode-1 segment of the longest packet, more to follow.
Bytes MaxSegment() {
    Bytes full = Cat(Cat(B({2}), Text(std::to_string(CPacketFramer::kMaxPacket))), B({3}));
    full.resize(full.size() + CPacketFramer::kMaxPacket, 'm');
    full.push_back(3);
    return full;
}
}  // namespace

TEST(FramerReceive, GrowthFailureDiscardsThePacketToItsEtb) {
    // One packet of two segments, the first split over three reads: the
    // growth fails on the first read, and no later byte of that packet (even
    // once growth works again) is handed out as a packet of its own.
    const std::string head(5000, 'q'), tail = "\xFF" "DELETEFILE";
    Bytes first = Mode1Segment(head, 3), second = Mode1Segment(tail, 0x17);
    FailingFramer f(1);
    f.SetMode(1);
    auto out = Feed(f, {Bytes(first.begin(), first.begin() + 10), Bytes(first.begin() + 10, first.begin() + 4500),
                        Bytes(first.begin() + 4500, first.end()), second, Mode1Segment("ok", 0x17)});
    EXPECT_EQ(out, std::vector<std::string>{"ok"});
    ASSERT_EQ(f.discarded.size(), 1u);
    EXPECT_EQ(f.discarded[0].first, FramerDiscard::kNoMemory);
    // The stream stays in sync and a later packet of the same size assembles.
    out = Feed(f, {Cat(first, second)});
    EXPECT_EQ(out, std::vector<std::string>{head + tail});
}

TEST(FramerReceive, BufferGrowsGeometricallyInWholeSteps) {
    CPacketFramer f(nullptr, nullptr, 0);
    f.SetMode(1);
    const std::string big(1000000, 'b');
    Bytes in = Mode1Segment(big, 0x17);
    // Many small reads: each growth at least doubles, so few reallocations.
    std::vector<Bytes> reads;
    for (size_t i = 0; i < in.size(); i += 777) reads.emplace_back(in.begin() + i, in.begin() + std::min(in.size(), i + 777));
    auto out = Feed(f, reads);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], big);
    EXPECT_EQ(f.GetCapacity() % CPacketFramer::kGrowStep, 0);
    EXPECT_GE(f.GetCapacity(), 1000000);
    EXPECT_LT(f.GetCapacity(), 2 * 1000000);
}

TEST(FramerReceive, ALongSegmentIsTakenIntoItsFinalSizeAtOnce) {
    // One segment of 3 MB in socket-sized reads: one growth, to its end.
    const std::string big(3000000, 'b');
    const Bytes in = Mode1Segment(big, 0x17);
    std::vector<Bytes> reads;
    for (size_t i = 0; i < in.size(); i += 20480) reads.emplace_back(in.begin() + i, in.begin() + std::min(in.size(), i + 20480));
    FailingFramer one(0);
    one.SetMode(1);
    EXPECT_EQ(Feed(one, reads), std::vector<std::string>{big});
    EXPECT_EQ(one.resizes, 1);
    EXPECT_EQ(one.GetCapacity(), (3000000 + CPacketFramer::kGrowStep - 1) / CPacketFramer::kGrowStep * CPacketFramer::kGrowStep);
    // The same bytes in segments of 4096: the packet's length is not known
    // before its end, and the buffer doubles.
    Bytes many;
    for (size_t at = 0; at < big.size(); at += 4096)
        many = Cat(many, Mode1Segment(big.substr(at, 4096), at + 4096 >= big.size() ? 0x17 : 3));
    FailingFramer doubling(0);
    doubling.SetMode(1);
    EXPECT_EQ(Feed(doubling, {many}), std::vector<std::string>{big});
    EXPECT_LE(doubling.resizes, 10);
}

TEST(FramerReceive, AFilesPacketTakesTheLargestSizeOnceItPassesTheLargeMark) {
    // A file's packet in 4096-byte segments: doubling up to the mark, then
    // one growth to the largest packet; its bytes come through whole.
    std::string big(CPacketFramer::kLargePacket + 100000, 'f');
    for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>('a' + i % 26);
    Bytes many;
    for (size_t at = 0; at < big.size(); at += 4096) {
        const Bytes segment = Mode1Segment(big.substr(at, 4096), at + 4096 >= big.size() ? 0x17 : 3);
        many.insert(many.end(), segment.begin(), segment.end());
    }
    FailingFramer f(0);
    f.SetMode(1);
    EXPECT_EQ(Feed(f, {many}), std::vector<std::string>{big});
    EXPECT_EQ(f.GetCapacity(), CPacketFramer::kMaxPacket);
    EXPECT_LE(f.resizes, 11);
    // Without the address space for it, the buffer goes on doubling.
    FailingFramer tight(0);
    tight.SetMode(1);
    tight.refuseFrom = CPacketFramer::kMaxPacket;
    EXPECT_EQ(Feed(tight, {many}), std::vector<std::string>{big});
    EXPECT_EQ(tight.GetCapacity(), 2 * CPacketFramer::kLargePacket);
    EXPECT_TRUE(tight.discarded.empty());
}

TEST(FramerReceive, PacketOverTheMaximumIsDiscardedToItsEtb) {
    FailingFramer f(0);
    f.SetMode(1);
    // The maximum in one segment, then one byte more in a second one.
    Bytes full = MaxSegment();
    auto out = Feed(f, {full, Mode1Segment("x", 3), Mode1Segment("yz", 0x17), Mode1Segment("ok", 0x17)});
    EXPECT_EQ(out, std::vector<std::string>{"ok"});
    ASSERT_EQ(f.discarded.size(), 1u);
    EXPECT_EQ(f.discarded[0].first, FramerDiscard::kTooLong);
    EXPECT_EQ(f.discarded[0].second, int64_t{CPacketFramer::kMaxPacket} + 1);
    // Exactly the maximum is a packet.
    full.back() = 0x17;
    int32_t pos = 0;
    CPacket* p = f.Parse(full.data(), pos, static_cast<int32_t>(full.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetLength(), CPacketFramer::kMaxPacket);
}

TEST(FramerSend, SegmentsByMode) {
    struct Case { int mode; int size; std::vector<int> chunks; };
    const Case cases[] = {
        {0, 250, {100, 100, 50}}, {0, 100, {100}}, {0, 101, {100, 1}},
        {1, 250, {250}},          {1, 4097, {4096, 1}}, {0, 0, {}},
    };
    for (const auto& c : cases) {
        Capture cap;
        CPacketFramer f(&Capture::Callback, &cap, 0);
        f.SetMode(c.mode);
        CPacketBuffer w(c.mode, 0xFF, 8192, 0);
        std::string data;
        for (int i = 0; i < c.size; ++i) data.push_back(static_cast<char>('a' + i % 26));
        w.AppendBytes(data.data(), c.size);
        f.Send(w);
        ASSERT_EQ(cap.segments.size(), c.chunks.size()) << c.mode << "/" << c.size;
        std::string joined;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const auto& s = cap.segments[i];
            Bytes header = c.mode == 1 ? Cat(Cat(B({2}), Text(std::to_string(c.chunks[i]))), B({3}))
                                       : B({2, c.chunks[i], 3});
            EXPECT_EQ(s.header, header);
            EXPECT_EQ(static_cast<int>(s.data.size()), c.chunks[i]);
            EXPECT_EQ(s.trailer, i + 1 == c.chunks.size() ? 0x17 : 0x03);
            joined.append(s.data.begin(), s.data.end());
        }
        EXPECT_EQ(joined, data);
    }
}

TEST(FramerSend, RoundTripThroughParse) {
    for (int mode : {0, 1}) {
        Capture cap;
        CPacketFramer tx(&Capture::Callback, &cap, 0), rx(nullptr, nullptr, 0);
        tx.SetMode(mode);
        rx.SetMode(mode);
        CPacketBuffer w(mode, 0xFF, 20000, 0);
        std::string data(9000, '\x02');  // payload bytes that look like framing
        data[17] = 0x17;
        w.AppendBytes(data.data(), static_cast<int32_t>(data.size()));
        tx.Send(w);
        Bytes wire;
        for (const auto& s : cap.segments) wire = Cat(Cat(Cat(wire, s.header), s.data), B({s.trailer}));
        auto out = Feed(rx, {wire});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], data);
    }
}

TEST(FramerFactories, ShareModeDelimiterAndCodePage) {
    CPacketFramer f(nullptr, nullptr, 1251);
    f.SetMode(1);
    f.SetCommandDelimiter(0x7E);
    std::unique_ptr<CPacketBuffer> w(f.NewDefaultWriter());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->GetCapacity(), 4096);
    EXPECT_EQ(w->GetMode(), 1);
    EXPECT_EQ(w->GetCommandDelimiter(), 0x7E);
    EXPECT_EQ(w->GetCodePage(), 1251u);
    w->AppendString("ab~cd");
    std::unique_ptr<CPacket> p(f.PacketFromWriter(w.get()));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetFieldLength(), 2);
    EXPECT_EQ(p->GetCommandDelimiter(), 0x7E);
    EXPECT_EQ(f.PacketFromWriter(nullptr), nullptr);
}

TEST(FramerReceive, WholeInputAndByteAtATimeAgree) {
    // Whole segments are taken in one step; the same stream fed one byte at a
    // time goes through the byte states. Both must give the same packets,
    // through noise, empty segments, malformed headers and bad trailers.
    for (int mode : {0, 1}) {
        uint32_t seed = 99u + static_cast<uint32_t>(mode);
        auto next = [&seed](uint32_t n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        for (int round = 0; round < 300; ++round) {
            Bytes wire;
            for (uint32_t n = next(12); n > 0; --n) {
                const uint32_t kind = next(8);
                Bytes data(next(3) == 0 ? 0 : next(300) % (mode == 0 ? 256 : 300), static_cast<uint8_t>('a' + next(26)));
                Bytes header = mode == 1 ? Cat(Cat(B({2}), Text(std::to_string(data.size()))), B({3}))
                                         : B({2, static_cast<int>(data.size()), 3});
                if (kind == 0) header.back() = 4;                      // malformed header
                if (kind == 1) wire = Cat(wire, B({0x41, 0x17, 3}));   // noise
                const uint8_t trailer = kind == 2 ? 0x55 : next(2) ? 0x17 : 3;
                wire = Cat(Cat(wire, header), Cat(data, B({trailer})));
            }
            std::vector<Bytes> bytes;
            for (uint8_t b : wire) bytes.push_back({b});
            CPacketFramer whole(nullptr, nullptr, 0), single(nullptr, nullptr, 0);
            whole.SetMode(mode);
            single.SetMode(mode);
            ASSERT_EQ(Feed(whole, {wire}), Feed(single, bytes)) << "mode " << mode << " round " << round;
            EXPECT_EQ(whole.GetState(), single.GetState());
            EXPECT_EQ(whole.GetUsed(), single.GetUsed());
        }
    }
}

TEST(FramerReceive, OnePacketObjectIsHandedOutAgain) {
    CPacketFramer f(nullptr, nullptr, 0);
    Bytes in = B({2, 3, 3, 'A', 0xFD, '7', 0x17, 2, 1, 3, 'B', 0x17});
    int32_t pos = 0;
    CPacket* first = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(first);
    first->NextField();
    EXPECT_EQ(first->GetInt(0), 7);
    CPacket* second = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    EXPECT_EQ(second, first);  // no allocation per packet
    // A new packet in every respect: cursor at the start, its own field measured.
    EXPECT_EQ(second->GetPosition(), 0);
    EXPECT_EQ(second->GetFieldLength(), 1);
    EXPECT_EQ(AsString(second), "B");
}

TEST(FramerReceive, LargeBufferShrinksOnceItsPacketIsDone) {
    CPacketFramer f(nullptr, nullptr, 0);
    f.SetMode(1);
    const std::string big(CPacketFramer::kKeepCapacity + 1, 'b');
    const Bytes in = Mode1Segment(big, 0x17), small = Mode1Segment("ok", 0x17);
    int32_t pos = 0;
    CPacket* p = f.Parse(in.data(), pos, static_cast<int32_t>(in.size()));
    ASSERT_TRUE(p);
    EXPECT_EQ(AsString(p), big);  // the handed-out packet is whole until it is released
    f.ReleasePacket();
    EXPECT_EQ(f.GetCapacity(), CPacketFramer::kGrowStep);
    EXPECT_EQ(Feed(f, {small}), std::vector<std::string>{"ok"});
    // The next Parse releases it too; a buffer within the limit is kept.
    const std::string medium(CPacketFramer::kKeepCapacity / 2, 'm');
    EXPECT_EQ(Feed(f, {Mode1Segment(medium, 0x17), in, small}), (std::vector<std::string>{medium, big, "ok"}));
    EXPECT_EQ(f.GetCapacity(), CPacketFramer::kGrowStep);
    EXPECT_EQ(Feed(f, {Mode1Segment(medium, 0x17)}), std::vector<std::string>{medium});
    f.ReleasePacket();
    EXPECT_GT(f.GetCapacity(), CPacketFramer::kGrowStep);
    // A packet dropped for its length gives its buffer back at its ETB.
    FailingFramer g(0);
    g.SetMode(1);
    Bytes full = MaxSegment();
    EXPECT_EQ(Feed(g, {full, Mode1Segment("x", 0x17), small}), std::vector<std::string>{"ok"});
    EXPECT_EQ(g.GetCapacity(), CPacketFramer::kGrowStep);
}

// A two-packet stream cut at every point, in both modes: both packets come
// out whole whatever the cut. Each piece lies in a buffer with an ETX after
// it that is not input, so a read past a piece's end is seen.
TEST(FramerReceive, EverySplitPointOfATwoPacketStream) {
    for (int mode : {0, 1}) {
        // The first packet takes two segments in its mode.
        const std::string first(mode == 0 ? 150 : CPacketFramer::kMode1Chunk + 20, 'p');
        const std::string second = "A\xFDxy";
        Bytes wire;
        CPacketFramer sender(
            [](void* context, int count, const uint8_t* const* pieces, const int32_t* lengths) {
                auto* out = static_cast<Bytes*>(context);
                for (int i = 0; i < count; ++i) out->insert(out->end(), pieces[i], pieces[i] + lengths[i]);
            },
            &wire, 0);
        sender.SetMode(mode);
        for (const std::string& payload : {first, second}) {
            CPacketBuffer writer(mode, 0xFF, static_cast<int32_t>(payload.size()) + 1, 0);
            writer.AppendBytes(payload.data(), static_cast<int32_t>(payload.size()));
            sender.Send(writer);
        }
        for (size_t cut = 0; cut <= wire.size(); ++cut) {
            CPacketFramer receiver(nullptr, nullptr, 0);
            receiver.SetMode(mode);
            std::vector<std::string> packets;
            for (const auto& [from, to] : {std::pair{size_t{0}, cut}, std::pair{cut, wire.size()}}) {
                Bytes piece(wire.begin() + static_cast<std::ptrdiff_t>(from), wire.begin() + static_cast<std::ptrdiff_t>(to));
                piece.push_back(0x03);  // not input
                int32_t position = 0;
                const int32_t length = static_cast<int32_t>(to - from);
                while (position < length) {
                    if (CPacket* p = receiver.Parse(piece.data(), position, length)) packets.push_back(AsString(p));
                }
                ASSERT_EQ(position, length) << "mode " << mode << " cut " << cut;
            }
            ASSERT_EQ(packets, (std::vector<std::string>{first, second})) << "mode " << mode << " cut " << cut;
        }
    }
}

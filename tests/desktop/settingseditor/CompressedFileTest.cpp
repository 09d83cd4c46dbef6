#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/desktop/deskcommon/TempDir.h"
#include "settingseditor/CompressedFile.h"

using namespace settingseditor;
using namespace deskcommontest;

namespace {

class CompressedFileTest : public TempDirTest {
protected:
    // The file that writing these bytes (in one call) produces.
    std::string Compress(const std::string& bytes) {
        CCompressedFile f;
        EXPECT_TRUE(f.Open(Path("c.dat"), CCompressedFile::kWrite));
        f.Write(bytes.data(), bytes.size());
        f.Close();
        return Get("c.dat");
    }
    std::string Decompress(const std::string& file) {
        Put("d.dat", file);
        CCompressedFile f;
        EXPECT_TRUE(f.Open(Path("d.dat"), CCompressedFile::kRead));
        std::string out(file.size() * 8 + 8, '\0');
        out.resize(f.Read(out.data(), out.size()));
        return out;
    }
};

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

std::string Group(char c) {
    return std::string(8, c);
}

TEST_F(CompressedFileTest, WorkedExamplesCompressAsDescribed) {
    std::string firstGroupAgain = "ABCDEFGH";
    for (int g = 1; g < 32; ++g)
        firstGroupAgain += Group('\xEE');
    std::string overwritten = firstGroupAgain + Group('\xDD') + "ABCDEFGH";
    firstGroupAgain += "ABCDEFGH";
    struct Case {
        const char* what;
        std::string in;
        std::string tail;   // the expected end of the file
        size_t size;        // the expected file size
    } cases[] = {
        {"empty", "", "", 0},
        {"identity", Bytes({0, 1, 2, 3, 4, 5, 6, 7}), Bytes({0xFF, 0}), 2},
        {"first start that matches wins", Group('A'), Bytes({0x01, 0x3A}) + std::string(7, 'A'), 9},
        {"part group", Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), Bytes({0xFF, 0, 0, 8, 9, 10, 11, 12}), 8},
        {"a group of the last 32 is found", firstGroupAgain, Bytes({0xFF, 0}), 0},
        {"the 33rd group takes slot 0", overwritten, Bytes({0}) + "ABCDEFGH", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = Compress(c.in);
        if (c.size) {
            EXPECT_EQ(file.size(), c.size);
        }
        ASSERT_GE(file.size(), c.tail.size());
        EXPECT_EQ(file.substr(file.size() - c.tail.size()), c.tail);
        EXPECT_EQ(Decompress(file), c.in);
    }
}

TEST_F(CompressedFileTest, TiesGoToTheSmallestStart) {
    // Bytes 0 and 1 match at start 0, bytes 9 and 10 as many at start 7.
    EXPECT_EQ(Compress(Bytes({0, 1, 9, 10, 'x', 'x', 'x', 'x'})), Bytes({0xC0, 0, 9, 10, 'x', 'x', 'x', 'x'}));
}

TEST_F(CompressedFileTest, FlushInsideAGroupReadsBackAndPositionCountsPlainBytes) {
    std::string text = "The quick brown fox jumps over the lazy dog, The quick brown fox.";
    CCompressedFile f;
    ASSERT_TRUE(f.Open(Path("c.dat"), CCompressedFile::kWrite));
    f.Write(text.data(), 3);
    f.Flush();
    f.Flush();   // nothing pending: writes nothing more
    f.Write(text.data() + 3, 17);
    EXPECT_EQ(f.GetPosition(), 20u);
    f.Write(text.data() + 20, text.size() - 20);
    f.Close();
    std::string file = Get("c.dat");
    EXPECT_EQ(file.substr(0, 9), Bytes({0}) + "The quic");   // mask 0, 3 bytes, then 5 raw
    EXPECT_EQ(Decompress(file), text);
}

TEST_F(CompressedFileTest, MissingStartByteIsAFileErrorAndAMissingMaskEndsTheData) {
    Put("bad.dat", Bytes({0xFF}));
    CCompressedFile f;
    ASSERT_TRUE(f.Open(Path("bad.dat"), CCompressedFile::kRead));
    char buffer[8];
    EXPECT_THROW(f.Read(buffer, 8), FileError);
    EXPECT_EQ(Decompress(Bytes({0, 'a', 'b'})), "ab");
    EXPECT_FALSE(f.Open(Path("bad.dat"), CCompressedFile::kRead));   // already open
    CCompressedFile missing;
    EXPECT_FALSE(missing.Open(Path("none.dat"), CCompressedFile::kRead));
}

TEST_F(CompressedFileTest, AnUnfinishedWriteLeavesTheOldFileWhole) {
    Put("c.dat", "old");
    {
        CCompressedFile f;
        ASSERT_TRUE(f.Open(Path("c.dat"), CCompressedFile::kWrite));
        f.Write("new bytes", 9);
    }   // destroyed without Close
    EXPECT_EQ(Get("c.dat"), "old");
    EXPECT_EQ(FileCount(), 1u);
}

// The format as plainly as it can be said: every start tried in turn, the
// first of the most matches kept.
std::string ReferenceCompress(const std::string& in) {
    uint8_t dict[256];
    for (int i = 0; i < 256; ++i)
        dict[i] = static_cast<uint8_t>(i);
    std::string out;
    size_t whole = in.size() / 8 * 8;
    for (size_t g = 0; g < whole; g += 8) {
        const uint8_t* group = reinterpret_cast<const uint8_t*>(in.data() + g);
        unsigned best = 0, start = 0;
        for (unsigned st = 0; st < 256; ++st) {
            unsigned n = 0;
            for (unsigned j = 0; j < 8; ++j)
                n += group[j] == dict[(st + j) % 256];
            if (n > best) {
                best = n;
                start = st;
            }
        }
        uint8_t mask = 0;
        for (unsigned j = 0; best && j < 8; ++j)
            mask |= group[j] == dict[(start + j) % 256] ? static_cast<uint8_t>(0x80 >> j) : 0;
        out += static_cast<char>(mask);
        if (mask)
            out += static_cast<char>(start);
        for (unsigned j = 0; j < 8; ++j) {
            if (!(mask & (0x80 >> j)))
                out += static_cast<char>(group[j]);
        }
        std::memcpy(dict + g % 256, group, 8);
    }
    if (whole < in.size())
        out += '\0' + in.substr(whole);
    return out;
}

TEST_F(CompressedFileTest, TheFastSearchWritesTheBytesOfThePlainOne) {
    std::mt19937 rng(7);
    auto random = [&](size_t n, int range) {
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(rng() % range);
        return s;
    };
    std::string text;
    while (text.size() < 40000)
        text += "[Radio]\r\nEssid=\"net" + std::to_string(rng() % 50) + "\"\r\nHelp {\\rtf1 words}\r\n";
    std::string ties;   // many starts with equal counts
    for (int i = 0; i < 5000; ++i)
        ties += static_cast<char>(i % 3 ? 0x20 : 0x41 + (i / 3) % 4);
    const std::pair<const char*, std::string> streams[] = {
        {"random bytes", random(50000, 256)},
        {"few byte values", random(50000, 3)},
        {"zeros", std::string(40003, '\0')},
        {"text of a catalog", text},
        {"ties", ties},
        {"every byte value", random(7, 256) + [] {
             std::string all;
             for (int r = 0; r < 40; ++r)
                 for (int b = 0; b < 256; ++b)
                     all += static_cast<char>((b * 7 + r) & 0xFF);
             return all;
         }()},
    };
    // Every width of the search this processor has.
    for (int width : {64, 32, 16, 1}) {
        if (CCompressedFile::LimitSearchWidth(width) != width)
            continue;
        for (const auto& [what, bytes] : streams) {
            SCOPED_TRACE(std::string(what) + " at width " + std::to_string(width));
            std::string file = Compress(bytes);
            EXPECT_EQ(file, ReferenceCompress(bytes));
            EXPECT_EQ(Decompress(file), bytes);
        }
    }
    CCompressedFile::LimitSearchWidth(64);
}

}  // namespace

// The blocks of bytes a connection has yet to send.
#include "shell/SendQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr size_t kBlock = CSendQueue::kBlockSize;

std::string Pattern(size_t n, size_t from) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((from + i) * 31 + (from + i) / 251);
    return s;
}

// What Gather offers, joined.
std::string Front(const CSendQueue& q, int max) {
    std::vector<iovec> pieces(size_t(max) + 1);
    const int n = q.Gather(pieces.data(), max);
    std::string joined;
    for (int i = 0; i < n; ++i) joined.append(static_cast<const char*>(pieces[size_t(i)].iov_base), pieces[size_t(i)].iov_len);
    return joined;
}

void Append(CSendQueue& q, const std::string& bytes) {
    q.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(SendQueueTest, BytesLeaveInOrderAcrossBlocksWhateverTheSizesAppendedAndSent) {
    CSendQueue q;
    std::string all;
    // Appends that fill a block exactly, run over one, and span several.
    for (const size_t n : {size_t(7), kBlock - 7, size_t(1), 2 * kBlock + 5, size_t(4096)}) {
        const std::string bytes = Pattern(n, all.size());
        Append(q, bytes);
        all += bytes;
    }
    ASSERT_EQ(q.Size(), all.size());
    EXPECT_TRUE(Front(q, 64) == all);
    EXPECT_EQ(Front(q, 1).size(), kBlock);  // at most as many pieces as asked

    // Sent in parts ending inside a block, at a block's end and past one;
    // bytes appended meanwhile go behind.
    size_t sent = 0;
    for (const size_t n : {size_t(3), kBlock - 3, kBlock + 100, size_t(1)}) {
        q.Consume(n);
        sent += n;
        const std::string more = Pattern(1000, all.size());
        Append(q, more);
        all += more;
        ASSERT_EQ(q.Size(), all.size() - sent);
        ASSERT_TRUE(Front(q, 64) == all.substr(sent));
    }
    q.Consume(q.Size() + 10);  // never past the end
    EXPECT_TRUE(q.Empty());
    EXPECT_EQ(Front(q, 64), "");
    // Empty, it takes bytes again; Clear drops them.
    Append(q, "abc");
    EXPECT_EQ(Front(q, 64), "abc");
    q.Clear();
    EXPECT_TRUE(q.Empty());
    EXPECT_EQ(Front(q, 64), "");
}

}  // namespace

// The bytes a connection has yet to send, in order, in blocks of a fixed
// size: appending never moves what waits, and what went out is dropped a
// block at a time rather than erased from the front. A send takes several
// blocks at once (Gather). Not thread-safe.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

class CSendQueue {
public:
    // Below the program's threshold for mapping an allocation of its own, so
    // blocks come from the heap and are used again without page faults.
    static constexpr size_t kBlockSize = size_t(256) << 10;

    size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    // Copies the bytes in behind what waits; throws std::bad_alloc with the
    // queue as it was.
    void Append(const uint8_t* bytes, size_t length);
    // The waiting bytes from the front, as at most max pieces; their count.
    int Gather(iovec* pieces, int max) const;
    // Drops count bytes (at most Size()) from the front.
    void Consume(size_t count);
    // Drops everything and gives the memory back.
    void Clear();

private:
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        size_t used = 0;
    };
    std::deque<Block> m_blocks;
    size_t m_front = 0;  // bytes of the first block that went out
    size_t m_size = 0;
    // The most that waited since the queue was last empty: once that was
    // this much, emptying it gives the heap's free pages back to the system.
    static constexpr size_t kTrimAfter = size_t(4) << 20;
    size_t m_peak = 0;
    // One emptied block kept for the next append: a long reply that goes as
    // fast as it is made uses the same block over and over.
    std::unique_ptr<uint8_t[]> m_spare;
};

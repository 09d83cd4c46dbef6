#include "shell/SendQueue.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>

void CSendQueue::Append(const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    // The first block written: the last one while it has room.
    size_t first = m_blocks.size();
    if (first > 0 && m_blocks.back().used < kBlockSize) --first;
    const size_t room = first < m_blocks.size() ? kBlockSize - m_blocks.back().used : 0;
    if (length > room) {
        // Every block the bytes need is there before any is copied: memory
        // running out leaves the queue as it was, never with part of a segment.
        const size_t before = m_blocks.size();
        try {
            for (size_t added = (length - room + kBlockSize - 1) / kBlockSize; added > 0; --added) {
                Block block;
                block.bytes = m_spare ? std::move(m_spare) : std::make_unique_for_overwrite<uint8_t[]>(kBlockSize);
                m_blocks.push_back(std::move(block));
            }
        } catch (...) {
            m_blocks.resize(before);
            throw;
        }
    }
    m_size += length;
    m_peak = std::max(m_peak, m_size);
    for (size_t i = first; length > 0; ++i) {
        Block& block = m_blocks[i];
        const size_t n = std::min(length, kBlockSize - block.used);
        std::memcpy(block.bytes.get() + block.used, bytes, n);
        block.used += n;
        bytes += n;
        length -= n;
    }
}

int CSendQueue::Gather(iovec* pieces, int max) const {
    int count = 0;
    size_t skip = m_front;
    for (const Block& block : m_blocks) {
        if (count == max) break;
        if (block.used > skip) pieces[count++] = iovec{block.bytes.get() + skip, block.used - skip};
        skip = 0;
    }
    return count;
}

void CSendQueue::Consume(size_t count) {
    count = std::min(count, m_size);
    m_size -= count;
    while (count > 0) {
        Block& head = m_blocks.front();
        const size_t n = std::min(count, head.used - m_front);
        m_front += n;
        count -= n;
        if (m_front < head.used) break;
        if (!m_spare) m_spare = std::move(head.bytes);
        m_blocks.pop_front();
        m_front = 0;
    }
    if (m_size == 0 && m_peak >= kTrimAfter) {
        // The freed blocks lie among the heap's other allocations, where
        // freeing alone leaves their pages with the program.
        m_peak = 0;
        malloc_trim(0);
    }
}

void CSendQueue::Clear() {
    std::deque<Block>().swap(m_blocks);
    m_spare.reset();
    m_front = 0;
    m_size = 0;
    m_peak = 0;
}

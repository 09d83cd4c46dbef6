#include "common/PacketFramer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

CPacketFramer::CPacketFramer(FramerSendCallback send, void* context, uint32_t codePage)
    : m_send(send), m_context(context), m_codePage(codePage) {
    m_buffer = static_cast<uint8_t*>(std::malloc(kGrowStep));
    m_capacity = m_buffer ? kGrowStep : 0;
}

CPacketFramer::~CPacketFramer() { std::free(m_buffer); }

uint8_t* CPacketFramer::ResizeAssembly(uint8_t* buffer, int32_t used, int32_t size) {
    // A buffer up to kLargePacket grows in place or by moving its pages
    // (realloc), not its bytes.
    if (size < kLargePacket) return static_cast<uint8_t*>(std::realloc(buffer, static_cast<size_t>(size)));
    // A large one is a fresh mapping in huge pages where the system has
    // them, as a fault for every 4 KiB of a file costs more than receiving
    // its bytes; the few MiB so far are copied over. (Advice splits a mapping,
    // which realloc could then no longer move.)
    auto* fresh = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (!fresh) return nullptr;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(fresh) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(fresh) + static_cast<uintptr_t>(size)) / page * page;
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    if (used > 0) std::memcpy(fresh, buffer, static_cast<size_t>(used));
    std::free(buffer);
    return fresh;
}

void CPacketFramer::ShrinkIfLarge() {
    if (m_capacity <= kKeepCapacity) return;
    std::free(m_buffer);
    m_buffer = static_cast<uint8_t*>(std::malloc(kGrowStep));
    m_capacity = m_buffer ? kGrowStep : 0;
}

void CPacketFramer::ReleasePacket() {
    if (m_state != State::Delivered) return;
    m_used = 0;
    m_state = State::Hunting;
    ShrinkIfLarge();
}

void CPacketFramer::Reset() {
    m_used = 0;
    m_state = State::Hunting;
    m_expected = 0;
    m_discarding = false;
    ShrinkIfLarge();
}

bool CPacketFramer::Grow(int64_t needed, int64_t segmentEnd) {
    // A segment whose length is known is taken into a buffer of its end at
    // once; growth past it is geometric in whole steps, which keeps a packet
    // of many segments linear in its size.
    int64_t capacity = std::max<int64_t>(static_cast<int64_t>(m_capacity) * 2, kGrowStep);
    while (capacity < needed) capacity *= 2;
    // A packet of many segments that passes kLargePacket is a file: its
    // buffer is taken at the largest packet's size once, which costs address
    // space only (its pages come as its bytes do), instead of being moved at
    // every doubling into pages that are new each time.
    const bool toMax = capacity > kLargePacket;
    if (toMax) capacity = kMaxPacket;
    if (segmentEnd > m_capacity + int64_t{kGrowStep}) capacity = std::max(needed, segmentEnd);
    capacity = std::min<int64_t>((capacity + kGrowStep - 1) / kGrowStep * kGrowStep, kMaxPacket);
    uint8_t* grown = ResizeAssembly(m_buffer, m_used, static_cast<int32_t>(capacity));
    if (!grown && toMax && capacity > needed) {
        // Address space short: what the bytes so far need, doubled.
        capacity = std::min<int64_t>(std::max<int64_t>(needed, static_cast<int64_t>(m_capacity) * 2), kMaxPacket);
        capacity = (capacity + kGrowStep - 1) / kGrowStep * kGrowStep;
        grown = ResizeAssembly(m_buffer, m_used, static_cast<int32_t>(capacity));
    }
    if (!grown) return false;
    m_buffer = grown;
    m_capacity = static_cast<int32_t>(capacity);
    return true;
}

void CPacketFramer::Discard(FramerDiscard reason, int64_t received) {
    m_discarding = true;
    m_used = 0;
    if (m_discard) m_discard(m_discardContext, reason, received);
}

void CPacketFramer::AppendSlow(const uint8_t* chunk, int32_t count) {
    if (count <= 0 || m_discarding) return;
    const int64_t needed = static_cast<int64_t>(m_used) + count;
    if (needed > kMaxPacket) return Discard(FramerDiscard::kTooLong, needed);
    // Whatever the packet holds so far is useless once one of its bytes is lost.
    const int64_t segmentEnd = static_cast<int64_t>(m_used) + std::max(count, m_expected - m_received);
    if (needed > m_capacity && !Grow(needed, segmentEnd)) return Discard(FramerDiscard::kNoMemory, needed);
    std::memcpy(m_buffer + m_used, chunk, static_cast<size_t>(count));
    m_used += count;
}

// The rest of a header whose STX was just taken, when all of it is in the
// input and well formed: expected is set and position moves past the ETX.
// Anything else is left to the byte-by-byte states, which resynchronise.
inline bool CPacketFramer::ReadHeader(const uint8_t* input, int32_t& position, int32_t length) {
    const int32_t left = length - position;
    const uint8_t* at = input + position;
    if (m_mode != 1) {
        if (left < 2 || at[1] != FRAME_ETX) return false;
        m_expected = at[0];
        position += 2;
        return true;
    }
    int32_t value = 0;
    for (int n = 0; n < left; ++n) {
        const uint8_t b = at[n];
        if (b == FRAME_ETX) {
            m_expected = value;
            position += n + 1;
            return true;
        }
        if (b < '0' || b > '9' || n == kMaxLengthDigits) return false;
        value = value * 10 + (b - '0');
    }
    return false;
}

// The trailer of a segment whose data is complete; the packet at an ETB.
CPacket* CPacketFramer::EndSegment(uint8_t trailer) {
    if (trailer == FRAME_ETB && m_discarding) {
        // The end of a dropped packet: nothing of it is handed out.
        m_discarding = false;
        m_used = 0;
        m_state = State::Hunting;
        ShrinkIfLarge();
    } else if (trailer == FRAME_ETB) {
        m_state = State::Delivered;
        m_packet.Reset(m_mode, m_delimiter, m_buffer, m_used, m_codePage);
        return &m_packet;
    } else {
        m_state = State::Hunting;  // ETX: more segments follow; anything else: resynchronise
    }
    return nullptr;
}

// Whole segments in a row, as they usually arrive, with the state kept in
// registers. Stops at anything else (a partial or malformed segment, noise,
// growth of the buffer), which the states below take from there.
CPacket* CPacketFramer::TakeWholeSegments(const uint8_t* input, int32_t& position, int32_t length) {
    int32_t at = position;
    const bool binary = m_mode != 1;
    while (at < length && input[at] == FRAME_STX) {
        int32_t data = at + 1;
        int32_t expected = 0;
        if (binary) {
            if (length - data < 2 || input[data + 1] != FRAME_ETX) break;
            expected = input[data];
            data += 2;
        } else {
            int n = 0;
            while (data < length && input[data] >= '0' && input[data] <= '9' && n < kMaxLengthDigits) {
                expected = expected * 10 + (input[data++] - '0');
                ++n;
            }
            if (data >= length || input[data] != FRAME_ETX) break;
            ++data;
        }
        if (length - data <= expected || expected > m_capacity - m_used) break;
        CopyBytes(m_buffer + m_used, input + data, expected);
        m_used += expected;
        at = data + expected;
        // ETX: more segments follow; any other trailer resynchronises, keeping the bytes.
        if (input[at++] == FRAME_ETB) {
            position = at;
            m_state = State::Delivered;
            m_packet.Reset(m_mode, m_delimiter, m_buffer, m_used, m_codePage);
            return &m_packet;
        }
    }
    position = at;
    return nullptr;
}

CPacket* CPacketFramer::Parse(const uint8_t* input, int32_t& position, int32_t length) {
    if (!input || position < 0) return nullptr;
    // The previous packet has been handed back; its bytes may go now.
    ReleasePacket();
    if (m_state == State::Hunting && !m_discarding) {
        if (CPacket* packet = TakeWholeSegments(input, position, length)) return packet;
    }
    while (position < length) {
        switch (m_state) {
        case State::Hunting: {
            m_expected = 0;
            m_digits = 0;
            if (input[position] != FRAME_STX) {
                // Bytes before a segment are dropped in one search.
                const void* stx = std::memchr(input + position, FRAME_STX, static_cast<size_t>(length - position));
                if (!stx) {
                    position = length;
                    break;
                }
                position = static_cast<int32_t>(static_cast<const uint8_t*>(stx) - input);
            }
            ++position;
            m_state = State::Length;
            if (!ReadHeader(input, position, length)) break;
            m_received = 0;
            m_state = State::Data;
            // A whole segment in the input is taken in one step.
            if (length - position > m_expected) {
                AppendChunk(input + position, m_expected);
                m_received = m_expected;
                position += m_expected;
                if (CPacket* packet = EndSegment(input[position++])) return packet;
            }
            break;
        }
        case State::Length: {
            uint8_t b = input[position++];
            if (m_mode == 1) {
                if (b == FRAME_ETX) {
                    m_received = 0;
                    m_state = State::Data;
                } else if (b >= '0' && b <= '9' && m_digits < kMaxLengthDigits) {
                    m_expected = m_expected * 10 + (b - '0');
                    ++m_digits;
                } else {
                    m_state = State::Hunting;
                }
            } else {
                m_expected = b;
                m_state = State::HeaderEnd;
            }
            break;
        }
        case State::HeaderEnd: {
            if (input[position++] == FRAME_ETX) {
                m_received = 0;
                m_state = State::Data;
            } else {
                m_state = State::Hunting;
            }
            break;
        }
        case State::Data: {
            int32_t left = length - position;
            int32_t chunk = m_expected - m_received;
            if (chunk > left) chunk = left;
            AppendChunk(input + position, chunk);
            m_received += chunk;
            position += chunk;
            if (position >= length) break;  // the trailer has not arrived yet
            if (CPacket* packet = EndSegment(input[position++])) return packet;
            break;
        }
        case State::Delivered:
            m_state = State::Hunting;
            break;
        }
    }
    return nullptr;
}

void CPacketFramer::Send(const CPacketBuffer& writer, bool endsPacket) {
    const int32_t total = writer.GetLength();
    const uint8_t* data = writer.GetData();
    const int32_t limit = m_mode == 1 ? kMode1Chunk : kMode0Chunk;
    for (int32_t offset = 0; offset < total;) {
        int32_t remaining = total - offset;
        int32_t chunk = remaining < limit ? remaining : limit;
        int32_t headerLength;
        m_header[0] = FRAME_STX;
        if (m_mode == 1) {
            char digits[12];
            int n = 0;
            for (int32_t v = chunk; v > 0 || n == 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
            headerLength = 1;
            while (n > 0) m_header[headerLength++] = static_cast<uint8_t>(digits[--n]);
        } else {
            m_header[1] = static_cast<uint8_t>(chunk);
            headerLength = 2;
        }
        m_header[headerLength++] = FRAME_ETX;
        m_trailer = endsPacket && remaining <= limit ? FRAME_ETB : FRAME_ETX;
        if (m_send) {
            const uint8_t* pieces[3] = {m_header, data + offset, &m_trailer};
            const int32_t lengths[3] = {headerLength, chunk, 1};
            m_send(m_context, 3, pieces, lengths);
        }
        offset += chunk;
    }
}

std::unique_ptr<CPacketBuffer> CPacketFramer::NewWriter(int32_t capacity) const {
    return std::unique_ptr<CPacketBuffer>(new (std::nothrow) CPacketBuffer(m_mode, m_delimiter, capacity, m_codePage));
}

std::unique_ptr<CPacket> CPacketFramer::NewPacket(const uint8_t* bytes, int32_t length) const {
    return std::unique_ptr<CPacket>(new (std::nothrow) CPacket(m_mode, m_delimiter, bytes, length, m_codePage));
}

std::unique_ptr<CPacket> CPacketFramer::PacketFromWriter(const CPacketBuffer* writer) const {
    if (!writer) return nullptr;
    return NewPacket(writer->GetData(), writer->GetLength());
}

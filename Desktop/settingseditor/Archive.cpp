#include "settingseditor/Archive.h"

#include <algorithm>
#include <cstring>

namespace settingseditor {

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kFirstClassRef = 0x8001;
constexpr size_t kBlock = 4096;

}  // namespace

void ArchiveWriter::Bytes(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_buffer.insert(m_buffer.end(), p, p + n);
    if (m_buffer.size() >= kBlock) {
        size_t whole = m_buffer.size() / kBlock * kBlock;
        m_file.Write(m_buffer.data(), whole);
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(whole));
    }
}

void ArchiveWriter::U16(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Bytes(b, 2);
}

void ArchiveWriter::U32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
}

void ArchiveWriter::Count(uint32_t n) {
    if (n < 0xFFFF) {
        U16(static_cast<uint16_t>(n));
    } else {
        U16(0xFFFF);
        U32(n);
    }
}

void ArchiveWriter::String(const std::string& s) {
    size_t n = s.size();
    if (n < 0xFF) {
        uint8_t b = static_cast<uint8_t>(n);
        Bytes(&b, 1);
    } else {
        uint8_t b = 0xFF;
        Bytes(&b, 1);
        if (n < 0xFFFE) {
            U16(static_cast<uint16_t>(n));
        } else {
            U16(0xFFFF);
            U32(static_cast<uint32_t>(n));
        }
    }
    Bytes(s.data(), n);
}

void ArchiveWriter::ObjectTag(const char* className, uint16_t schema) {
    if (m_classStored) {
        U16(kFirstClassRef);
        return;
    }
    m_classStored = true;
    U16(kNewClassTag);
    U16(schema);
    U16(static_cast<uint16_t>(std::strlen(className)));
    Bytes(className, std::strlen(className));
}

void ArchiveWriter::Close() {
    if (!m_buffer.empty())
        m_file.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void ArchiveReader::Fill(void* out, size_t n) {
    uint8_t* p = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (m_pos == m_end) {
            m_pos = 0;
            m_end = m_file.Read(m_buffer, sizeof m_buffer);
            if (m_end == 0)
                throw ArchiveError("short archive");
        }
        size_t take = std::min(n, m_end - m_pos);
        std::memcpy(p, m_buffer + m_pos, take);
        m_pos += take;
        p += take;
        n -= take;
    }
}

uint16_t ArchiveReader::U16() {
    uint8_t b[2];
    Fill(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t ArchiveReader::U32() {
    uint8_t b[4];
    Fill(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

uint32_t ArchiveReader::Count() {
    uint16_t n = U16();
    return n == 0xFFFF ? U32() : n;
}

void ArchiveReader::Charge(size_t bytes) {
    if (bytes > m_budget - m_charged)
        throw ArchiveError("more objects than the file can hold");
    m_charged += bytes;
}

std::string ArchiveReader::Bytes(uint32_t n) {
    std::string out;
    char piece[kBlock];
    while (n > 0) {
        size_t take = std::min<size_t>(n, sizeof piece);
        // A growing string may hold twice what it was given.
        Charge(2 * take);
        Fill(piece, take);
        out.append(piece, take);
        n -= static_cast<uint32_t>(take);
    }
    return out;
}

std::string ArchiveReader::String() {
    uint8_t b;
    Fill(&b, 1);
    uint32_t n = b;
    if (b == 0xFF) {
        n = U16();
        if (n == 0xFFFE)
            throw ArchiveError("unknown string form");
        if (n == 0xFFFF)
            n = U32();
    }
    return Bytes(n);
}

void ArchiveReader::ObjectTag(const char* className, uint16_t schema) {
    uint16_t tag = U16();
    if (tag == kFirstClassRef && m_classRead)
        return;
    if (tag != kNewClassTag)
        throw ArchiveError("unknown object tag");
    uint16_t storedSchema = U16();
    uint16_t length = U16();
    if (storedSchema != schema || Bytes(length) != className)
        throw ArchiveError("unknown class");
    m_classRead = true;
}

}  // namespace settingseditor

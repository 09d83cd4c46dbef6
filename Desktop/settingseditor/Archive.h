// The catalog's archive layout, little-endian: counts of 16 bits (0xFFFF and
// 32 bits beyond), strings with a length byte (0xFF and 16 bits, or 0xFF,
// 0xFFFF and 32 bits beyond), object tags with a class record. The archive
// reads and writes through the compressed file in blocks of 4096 bytes and
// never sees the compression.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "settingseditor/CompressedFile.h"

namespace settingseditor {

// A short or malformed archive.
class ArchiveError : public std::runtime_error {
public:
    explicit ArchiveError(const char* what) : std::runtime_error(what) {}
};

class ArchiveWriter {
public:
    explicit ArchiveWriter(CCompressedFile& file) : m_file(file) {}
    ~ArchiveWriter() = default;

    void U16(uint16_t v);
    void U32(uint32_t v);
    void Int(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Count(uint32_t n);
    void String(const std::string& s);
    void Bytes(const void* data, size_t n);
    // The first object of a class carries its record, later ones refer to it.
    void ObjectTag(const char* className, uint16_t schema);
    // Hands the buffered bytes to the file.
    void Close();

private:
    CCompressedFile& m_file;
    std::vector<uint8_t> m_buffer;
    bool m_classStored = false;
};

class ArchiveReader {
public:
    explicit ArchiveReader(CCompressedFile& file) : m_file(file) {}

    uint16_t U16();
    uint32_t U32();
    int32_t Int() { return static_cast<int32_t>(U32()); }
    uint32_t Count();
    std::string String();
    // n bytes, read in pieces so a huge length in a broken file never
    // allocates more than the data that is really there.
    std::string Bytes(uint32_t n);
    // Accepts a class record of exactly this class and schema, or a
    // reference to it once it has been read; anything else is unreadable.
    void ObjectTag(const char* className, uint16_t schema);

    // The memory the loaded objects may take; beyond it the archive is
    // unreadable. Strings and bytes are charged as they are read, the
    // caller charges what it builds around them.
    void SetBudget(size_t bytes) { m_budget = bytes; }
    void Charge(size_t bytes);

private:
    void Fill(void* out, size_t n);

    CCompressedFile& m_file;
    uint8_t m_buffer[4096];
    size_t m_pos = 0, m_end = 0;
    bool m_classRead = false;
    size_t m_budget = SIZE_MAX;
    size_t m_charged = 0;
};

}  // namespace settingseditor

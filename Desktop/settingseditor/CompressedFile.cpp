#include "settingseditor/CompressedFile.h"

#include <unistd.h>

#include <cstring>

#include "deskcommon/FileLookup.h"

namespace settingseditor {

using namespace deskcommon;

CCompressedFile::CCompressedFile() {
    Reset();
}

CCompressedFile::~CCompressedFile() {
    if (!m_file)
        return;
    std::fclose(m_file);
}

void CCompressedFile::Reset() {
    for (int i = 0; i < 256; ++i)
        m_dict[i] = static_cast<uint8_t>(i);
    std::memset(m_group, 0, sizeof m_group);
    m_mask = 0;
    m_count = 0;
    m_nothingPending = false;
}

bool CCompressedFile::Open(const std::string& name, Mode mode) {
    if (m_file)
        return false;
    Reset();
    m_mode = mode;
    m_name = FindFileNoCase(name);
    if (mode == kRead) {
        m_file = std::fopen(m_name.c_str(), "rb");
        return m_file != nullptr;
    }
    if (!m_save.Open(m_name))
        return false;
    int fd = ::dup(m_save.Fd());
    m_file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!m_file) {
        if (fd >= 0)
            ::close(fd);
        m_save.Discard();
    }
    return m_file != nullptr;
}

int CCompressedFile::GetByte() {
    return std::fgetc(m_file);
}

void CCompressedFile::PutByte(uint8_t b) {
    if (std::fputc(b, m_file) == EOF)
        throw FileError(m_name);
}

void CCompressedFile::Learn() {
    std::memcpy(m_dict + ((m_count & ~7u) % 256), m_group, 8);
}

size_t CCompressedFile::Read(void* buffer, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (!m_file || m_mode != kRead)
        return 0;
    for (; done < count; ++done) {
        m_nothingPending = true;
        unsigned a = m_count % 8;
        if (a == 0) {
            int m = GetByte();
            if (m == EOF)
                break;
            m_mask = static_cast<uint8_t>(m);
            if (m_mask != 0) {
                int s = GetByte();
                if (s == EOF)
                    throw FileError(m_name);
                for (unsigned j = 0; j < 8; ++j)
                    m_group[j] = m_dict[(static_cast<unsigned>(s) + j) % 256];
            }
        }
        if (!(m_mask & (0x80 >> a))) {
            int literal = GetByte();
            if (literal == EOF)
                break;
            m_group[a] = static_cast<uint8_t>(literal);
        }
        out[done] = m_group[a];
        if (a == 7)
            Learn();
        ++m_count;
    }
    return done;
}

void CCompressedFile::Write(const void* buffer, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    if (!m_file || m_mode != kWrite)
        throw FileError(m_name);
    for (size_t i = 0; i < count; ++i) {
        unsigned a = m_count % 8;
        m_group[a] = in[i];
        if (m_nothingPending && a != 0) {
            // The rest of a group that a Flush cut: it goes out as it is
            // and reads back as the literals of a mask-0 group.
            PutByte(in[i]);
        } else {
            m_nothingPending = false;
            if (a == 7) {
                unsigned best = 0, start = 0;
                for (unsigned s = 0; s < 256 && best < 8; ++s) {
                    unsigned n = 0;
                    for (unsigned j = 0; j < 8; ++j)
                        n += m_group[j] == m_dict[(s + j) % 256];
                    if (n > best) {
                        best = n;
                        start = s;
                    }
                }
                uint8_t mask = 0;
                for (unsigned j = 0; best && j < 8; ++j) {
                    if (m_group[j] == m_dict[(start + j) % 256])
                        mask |= static_cast<uint8_t>(0x80 >> j);
                }
                PutByte(mask);
                if (mask)
                    PutByte(static_cast<uint8_t>(start));
                for (unsigned j = 0; j < 8; ++j) {
                    if (!(mask & (0x80 >> j)))
                        PutByte(m_group[j]);
                }
            }
        }
        if (a == 7)
            Learn();
        ++m_count;
    }
}

void CCompressedFile::WritePart() {
    unsigned k = m_count % 8;
    if (m_mode != kWrite || m_nothingPending || k == 0)
        return;
    m_nothingPending = true;
    PutByte(0);
    for (unsigned j = 0; j < k; ++j)
        PutByte(m_group[j]);
}

void CCompressedFile::Flush() {
    if (!m_file)
        return;
    WritePart();
    if (std::fflush(m_file) != 0)
        throw FileError(m_name);
}

void CCompressedFile::Close() {
    if (!m_file)
        return;
    if (m_mode == kRead) {
        std::fclose(m_file);
        m_file = nullptr;
        return;
    }
    Flush();
    bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!ok || !m_save.Commit()) {
        m_save.Discard();
        throw FileError(m_name);
    }
}

}  // namespace settingseditor

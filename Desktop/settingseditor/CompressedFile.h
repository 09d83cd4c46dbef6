// The catalog's file layer: every byte passes through a small dictionary
// compressor. Bytes go in groups of 8; a group is a mask (bit 7 - j set when
// byte j comes from the dictionary), a start position in the dictionary when
// the mask is not 0, then the other bytes as they are. The dictionary holds
// the last 32 groups, each in the slot of its group number mod 32, and the
// identity bytes where no group has come yet. A stream ends with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "deskcommon/SaveFile.h"

namespace settingseditor {

// A file that cannot be read or written, or a broken stream.
class FileError : public std::runtime_error {
public:
    // error: the system's errno when it had one to give, else 0.
    explicit FileError(const std::string& name, int error = 0) : std::runtime_error(name), error(error) {}
    int error;
};

class CCompressedFile {
public:
    enum Mode { kRead, kWrite };

    CCompressedFile();
    ~CCompressedFile();   // an unfinished write is discarded
    CCompressedFile(const CCompressedFile&) = delete;
    CCompressedFile& operator=(const CCompressedFile&) = delete;

    // Starts a stream. A written stream is saved by the rules of
    // deskcommon::CSaveFile: Close puts it in place once complete.
    bool Open(const std::string& name, Mode mode);
    // Bytes delivered; fewer than asked at the end of the data. Throws
    // FileError when a start byte is missing after a mask.
    size_t Read(void* buffer, size_t count);
    // Throws FileError when the file cannot take the bytes.
    void Write(const void* buffer, size_t count);
    // Writes a pending part group, then flushes the file.
    void Flush();
    // Flush, then close (and for a written stream, put it in place).
    void Close();
    // Uncompressed bytes read or written since Open.
    uint32_t GetPosition() const { return m_count; }
    // The size of the open file (compressed bytes).
    uint64_t Size() const;
    bool IsOpen() const { return m_file != nullptr; }

    // For tests: the widest vector, in bytes, the search for a match may
    // use (64, 32, 16, or 1 for the plain loop); returns the width that the
    // processor then gives.
    static int LimitSearchWidth(int bytes);

private:
    void Reset();
    void WritePart();
    void PutByte(uint8_t b);
    int GetByte();
    void Learn();   // the current group into its dictionary slot
    void WriteGroup();
    // Compressed bytes gather in m_out and reach the file a block at a time.
    void Emit(const uint8_t* bytes, size_t n);
    void Drain();

    std::FILE* m_file = nullptr;
    Mode m_mode = kRead;
    std::string m_name;
    deskcommon::CSaveFile m_save;
    uint8_t m_mask = 0;
    // The dictionary twice over, so the bytes from any start lie in a row.
    uint8_t m_dict[512];
    uint8_t m_group[8];
    uint32_t m_count = 0;
    uint8_t m_out[4096];
    size_t m_outLength = 0;
    bool m_nothingPending = false;
};

}  // namespace settingseditor

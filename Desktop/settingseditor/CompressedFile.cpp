#include "settingseditor/CompressedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "inifile/FileLookup.h"

namespace settingseditor {

CCompressedFile::CCompressedFile() {
    Reset();
}

CCompressedFile::~CCompressedFile() {
    if (!file_)
        return;
    std::fclose(file_);
    if (mode_ == kWrite)
        ::unlink(temp_.c_str());
}

void CCompressedFile::Reset() {
    for (int i = 0; i < 256; ++i)
        dict_[i] = static_cast<uint8_t>(i);
    std::memset(group_, 0, sizeof group_);
    mask_ = 0;
    count_ = 0;
    nothingPending_ = false;
}

bool CCompressedFile::Open(const std::string& name, Mode mode) {
    if (file_)
        return false;
    Reset();
    mode_ = mode;
    name_ = inifile::FindFileNoCase(name);
    if (mode == kRead) {
        file_ = std::fopen(name_.c_str(), "rb");
        return file_ != nullptr;
    }
    temp_ = name_ + ".XXXXXX";
    int fd = ::mkstemp(temp_.data());
    if (fd < 0)
        return false;
    struct stat old {};
    mode_t perms = 0644;
    if (::stat(name_.c_str(), &old) == 0)
        perms = old.st_mode & 07777;
    ::fchmod(fd, perms);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        ::unlink(temp_.c_str());
    }
    return file_ != nullptr;
}

int CCompressedFile::GetByte() {
    return std::fgetc(file_);
}

void CCompressedFile::PutByte(uint8_t b) {
    if (std::fputc(b, file_) == EOF)
        throw FileError(name_);
}

void CCompressedFile::Learn() {
    std::memcpy(dict_ + ((count_ & ~7u) % 256), group_, 8);
}

size_t CCompressedFile::Read(void* buffer, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (!file_ || mode_ != kRead)
        return 0;
    for (; done < count; ++done) {
        nothingPending_ = true;
        unsigned a = count_ % 8;
        if (a == 0) {
            int m = GetByte();
            if (m == EOF)
                break;
            mask_ = static_cast<uint8_t>(m);
            if (mask_ != 0) {
                int s = GetByte();
                if (s == EOF)
                    throw FileError(name_);
                for (unsigned j = 0; j < 8; ++j)
                    group_[j] = dict_[(static_cast<unsigned>(s) + j) % 256];
            }
        }
        if (!(mask_ & (0x80 >> a))) {
            int literal = GetByte();
            if (literal == EOF)
                break;
            group_[a] = static_cast<uint8_t>(literal);
        }
        out[done] = group_[a];
        if (a == 7)
            Learn();
        ++count_;
    }
    return done;
}

void CCompressedFile::Write(const void* buffer, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    if (!file_ || mode_ != kWrite)
        throw FileError(name_);
    for (size_t i = 0; i < count; ++i) {
        unsigned a = count_ % 8;
        group_[a] = in[i];
        if (nothingPending_ && a != 0) {
            // The rest of a group that a Flush cut: it goes out as it is
            // and reads back as the literals of a mask-0 group.
            PutByte(in[i]);
        } else {
            nothingPending_ = false;
            if (a == 7) {
                unsigned best = 0, start = 0;
                for (unsigned s = 0; s < 256 && best < 8; ++s) {
                    unsigned n = 0;
                    for (unsigned j = 0; j < 8; ++j)
                        n += group_[j] == dict_[(s + j) % 256];
                    if (n > best) {
                        best = n;
                        start = s;
                    }
                }
                uint8_t mask = 0;
                for (unsigned j = 0; best && j < 8; ++j) {
                    if (group_[j] == dict_[(start + j) % 256])
                        mask |= static_cast<uint8_t>(0x80 >> j);
                }
                PutByte(mask);
                if (mask)
                    PutByte(static_cast<uint8_t>(start));
                for (unsigned j = 0; j < 8; ++j) {
                    if (!(mask & (0x80 >> j)))
                        PutByte(group_[j]);
                }
            }
        }
        if (a == 7)
            Learn();
        ++count_;
    }
}

void CCompressedFile::WritePart() {
    unsigned k = count_ % 8;
    if (mode_ != kWrite || nothingPending_ || k == 0)
        return;
    nothingPending_ = true;
    PutByte(0);
    for (unsigned j = 0; j < k; ++j)
        PutByte(group_[j]);
}

void CCompressedFile::Flush() {
    if (!file_)
        return;
    WritePart();
    if (std::fflush(file_) != 0)
        throw FileError(name_);
}

void CCompressedFile::Close() {
    if (!file_)
        return;
    if (mode_ == kRead) {
        std::fclose(file_);
        file_ = nullptr;
        return;
    }
    Flush();
    bool ok = ::fsync(::fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok || std::rename(temp_.c_str(), name_.c_str()) != 0) {
        ::unlink(temp_.c_str());
        throw FileError(name_);
    }
}

}  // namespace settingseditor

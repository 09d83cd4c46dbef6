// An open file of the device file system that closes itself on every path.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// Opens a device path (never through links); empty when it cannot be opened.
FileHandle OpenDeviceFile(std::u16string_view path, const char* mode);

// Closes the file now; false when the close failed (a write may be lost).
inline bool CloseFile(FileHandle& file) { return !file || std::fclose(file.release()) == 0; }

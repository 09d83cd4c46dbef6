// State of the host's chunked file transfers, kept by the core between
// packets and between host connections (a Disconnect leaves it as it is).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// SendFile: the host sends a file in data chunks after a start command. The
// chunks go to a temporary file that takes the name once all have come.
struct SendFileState {
    bool active = false;
    // A chunk could not be written: the rest of the declared size is taken
    // and refused, so no chunk is mistaken for a new start.
    bool failed = false;
    int64_t received = 0;
    int64_t total = 0;
    std::u16string name;       // as resolved, joined with directory
    std::u16string directory;
    std::string date;  // "YYYYMMDD", local time
    std::string time;  // "HHMMSS"
    std::u16string tempPath;  // the file being written; empty once failed
};

// GETFILE: the host fetches a whole file, read at opening, in chunks.
struct GetFileState {
    std::vector<uint8_t> buffer;  // empty once the last byte went out (and for an empty file)
    size_t offset = 0;            // bytes of the buffer already sent
    bool loaded = false;          // a file was opened; cleared by one extra chunk request
};

struct FileTransferState {
    SendFileState send;
    GetFileState get;
};

// State of the host's chunked file transfers, kept by the core between
// packets and between host connections (a Disconnect leaves it as it is).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// SendFile: the host sends a file in data chunks after a start command.
struct SendFileState {
    bool active = false;
    int64_t received = 0;
    int64_t total = 0;
    std::u16string name;       // as resolved, joined with directory
    std::u16string directory;
    std::string date;  // "YYYYMMDD", local time
    std::string time;  // "HHMMSS"
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

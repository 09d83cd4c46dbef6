// The host's file commands on the logical folders, and the state of its
// chunked transfers, kept between packets and between host connections (a
// Disconnect leaves it as it is). Every failure is an answer field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Packet.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"

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

class CFileCommands {
public:
    // appFolder: the session's application folder (the core's, which outlives this).
    CFileCommands(IReplyChannel& replies, const std::u16string& appFolder)
        : m_replies(replies), m_appFolder(appFolder) {}
    // A transfer that never completed leaves nothing behind.
    ~CFileCommands();
    CFileCommands(const CFileCommands&) = delete;
    CFileCommands& operator=(const CFileCommands&) = delete;

    // Registers the file commands' bytes with the dispatcher.
    void Register(CCommandTable& table);

    const SendFileState& Sending() const { return m_send; }
    const GetFileState& Getting() const { return m_get; }

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    void RETRIEVEFILE(CPacket* pkt, uint8_t code);
    void STOREFILE(CPacket* pkt, uint8_t code);
    void SendFile(CPacket* pkt, uint8_t code);
    void DELETEFILE(CPacket* pkt, uint8_t code);
    void GETFILE(CPacket* pkt, uint8_t code);
    void LISTFILE(CPacket* pkt, uint8_t code);
    void FILESELECTEX(CPacket* pkt, uint8_t code);
    void COUNTFILES(CPacket* pkt, uint8_t code);
    void MakeDir(CPacket* pkt, uint8_t code);
    void DeleteDir(CPacket* pkt, uint8_t code);

    void ListFiles(CPacket* pkt, uint8_t code, bool details);

    IReplyChannel& m_replies;
    const std::u16string& m_appFolder;
    SendFileState m_send;
    GetFileState m_get;
};

// The host's file commands: files of the logical folders are retrieved,
// stored, sent in chunks, fetched in chunks, listed, counted and deleted, and
// folders made and removed. Every failure is an answer field, never an error.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/session/FileCommands.h"

#include "core/session/HostFormats.h"
#include "core/support/FileHandle.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "core/session/LogicalFolders.h"
#include "platform/DeviceFs.h"

namespace {

// Whole files are read into memory for RETRIEVEFILE and GETFILE; anything
// larger is not a file of a handheld's logical folders.
constexpr int32_t kMaxWholeFile = 64 * 1024 * 1024;
// A RETRIEVEFILE reply goes out in parts of this many bytes: whole segments
// in either framing mode (100 and 4096 bytes), so the wire is the same as
// for the reply sent whole.
constexpr int32_t kRetrievePart = 2 * 102400;
// The largest GETFILE chunk and the largest SendFile chunk the client takes.
constexpr int32_t kMaxChunk = 4096;
constexpr int32_t kDefaultChunk = 95;
// SendFile's total size has at most 14 digits.
constexpr int32_t kMaxSizeDigits = 14;

std::string ReadText(CPacket* pkt) {
    char text[32];
    pkt->GetString(text, sizeof text);
    return text;
}

// Resolves a host file name through the logical folders. A path that is not
// absolute is read from the root: the device has no current folder.
std::u16string ResolveName(std::u16string& name, std::u16string_view defaultFolder) {
    std::u16string dir;
    BuildFolderPath(dir, name, defaultFolder);
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    return dir;
}

// Moves the cursor to the end of the packet: content that runs to the end is
// never taken for further commands, whatever bytes it holds.
void ConsumeRest(CPacket* pkt) { pkt->Advance(pkt->BytesLeft()); }

// The path of a folder command ('%', '#', '$'): a folder part and the name
// (rewritten when it holds a "%FOLDER%" form); the folder is their concatenation.
void FolderTarget(const std::u16string& appFolder, std::u16string& dir, std::u16string& name) {
    if (name.find(u'\\') == std::u16string::npos) {
        dir = appFolder + u"\\";
    } else if (name.find(u'%') != std::u16string::npos) {
        BuildFolderPath(dir, name, u"DATA");
        dir += u'\\';
    } else {
        dir = name[0] == u'\\' ? u"" : u"\\";
    }
}

// Reads the name of a folder command and its folder part; false for an empty name.
bool ReadFolderTarget(CPacket* pkt, const std::u16string& appFolder, std::u16string& dir, std::u16string& name) {
    name = ReadHostName(pkt);
    pkt->NextField();
    if (name.empty()) return false;
    FolderTarget(appFolder, dir, name);
    return true;
}

// Reads count bytes; false at an error or the file's end before them.
bool ReadFully(int fd, uint8_t* into, int32_t count) {
    while (count > 0) {
        const ssize_t n = read(fd, into, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        into += n;
        count -= static_cast<int32_t>(n);
    }
    return true;
}

// Gives the buffer's memory back: assigning {} to a vector keeps its capacity.
void Free(std::vector<uint8_t>& buffer) { std::vector<uint8_t>().swap(buffer); }

void DropTrailingBackslash(std::u16string& s) {
    if (!s.empty() && s.back() == u'\\') s.pop_back();
}

}  // namespace

void CFileCommands::RETRIEVEFILE(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "RETRIEVEFILE");
    std::u16string name = ReadHostName(pkt);
    pkt->NextField();
    const std::u16string dir = ResolveName(name, u"DATA");
    FileHandle file = OpenDeviceFile(FileUtil::JoinPath(dir, name), "rb");
    struct stat st;
    const int fd = file ? fileno(file.get()) : -1;
    // The reply carries the file as long as it is now; what is appended
    // while it goes out is not part of it.
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size > kMaxWholeFile) return (void)m_replies.SendTextReply(code, u"");
    int64_t left = st.st_size;
    std::unique_ptr<CPacketBuffer> writer =
        m_replies.NewWriter(static_cast<int32_t>(std::min<int64_t>(left + 2, kRetrievePart)) + 1);
    if (!writer) return (void)m_replies.SendTextReply(code, u"");
    writer->AppendByte(code).EndField();
    // The file goes in parts read into one writer as the socket takes them,
    // never whole in memory. Until the first part has gone out a short read
    // is still answered as a file that cannot be read.
    bool started = false;
    for (;;) {
        const int32_t room = static_cast<int32_t>(std::min<int64_t>(left, kRetrievePart - writer->GetLength()));
        uint8_t* bytes = room > 0 ? writer->Reserve(room) : nullptr;
        if (room > 0 && (!bytes || !ReadFully(fd, bytes, room))) {
            if (started) return m_replies.AbandonReply();
            return (void)m_replies.SendTextReply(code, u"");
        }
        left -= room;
        m_replies.SendReplyPart(*writer, left == 0);
        if (left == 0) return;
        started = true;
        writer->Reset();
    }
}

void CFileCommands::STOREFILE(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "STOREFILE");
    std::u16string dir, name = ReadHostName(pkt);
    // The content is every byte after the name's separator; a name that ends
    // the command has no content, and the next command runs.
    const int32_t separator = pkt->GetPosition() + pkt->GetFieldLength();
    const uint8_t* content = nullptr;
    int32_t count = 0;
    if (separator < pkt->GetLength() && pkt->GetData()[separator] != pkt->GetCommandDelimiter()) {
        content = pkt->GetData() + separator + 1;
        count = pkt->GetLength() - separator - 1;
        ConsumeRest(pkt);
    } else {
        pkt->NextField();
    }
    dir = ResolveName(name, u"DATA");
    // A name that is refused creates nothing, not even its folder.
    bool stored = false;
    if (FileUtil::HostMayWrite(FileUtil::JoinPath(dir, name))) {
        FileUtil::MakeHostFolder(dir);  // one level; an existing one is kept
        stored = FileUtil::WriteWholeFile(dir, name, content, count) == count;
    }
    m_replies.SendIntReply(code, stored ? 1 : 0);
}

void CFileCommands::SendFile(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "SendFile");
    SendFileState& s = m_send;
    const int32_t chunkLimit = m_replies.WriterCapacity();
    auto acceptReply = [&] {
        CPacketBuffer* w = m_replies.Writer();
        if (!w) return;
        w->Reset();
        w->AppendByte(code).EndField().AppendInt(1).EndField().AppendInt(chunkLimit);
        m_replies.SendReply(*w);
    };

    if (!s.active) {
        std::u16string dir, name = ReadHostName(pkt);
        pkt->NextField();
        // A size longer than 14 digits is not a size this client can take.
        const bool sizeTooLong = pkt->GetFieldLength() > kMaxSizeDigits;
        char digits[kMaxSizeDigits + 1];
        pkt->GetString(digits, sizeof digits);
        int64_t total = std::max<int64_t>(0, std::strtoll(digits, nullptr, 10));
        pkt->NextField();
        std::string date = ReadText(pkt);
        pkt->NextField();
        std::string time = ReadText(pkt);
        pkt->NextField();
        dir = ResolveName(name, u"DATA");
        std::optional<std::u16string> temp;
        if (!sizeTooLong && FileUtil::HostMayWrite(FileUtil::JoinPath(dir, name))) {
            FileUtil::MakeHostFolder(dir);
            temp = plat::fs::CreateTempFile(dir);
        }
        if (!temp) {
            m_replies.SendIntReply(code, 0);
            return;
        }
        s = SendFileState{true,           false,           0,           total, std::move(name), std::move(dir),
                          std::move(date), std::move(time), std::move(*temp)};
        acceptReply();
        return;
    }

    // Data: every byte after the command's separator to the end of the packet.
    const uint8_t* data = nullptr;
    int32_t count = 0;
    const int32_t at = pkt->GetPosition();
    if (at > 0 && pkt->GetData()[at - 1] == PKT_END_FIELD) {
        data = pkt->GetCursor();
        count = pkt->BytesLeft();
        ConsumeRest(pkt);
    }
    s.received += count;
    bool ok = !s.failed && FileUtil::AppendFile(u"", s.tempPath, data, count) == count;
    const bool complete = s.received >= s.total;
    if (ok && complete) {
        // Only a whole file takes the name.
        const std::u16string path = FileUtil::JoinPath(s.directory, s.name);
        ok = plat::fs::ReplaceFile(s.tempPath, path);
        if (ok) FileUtil::SetFileTimes(s.directory, s.name, s.date, s.time);
    }
    if (!ok && !s.tempPath.empty()) {
        plat::fs::DeleteFile(s.tempPath);
        s.tempPath.clear();
        s.failed = true;
    }
    if (complete) s = SendFileState{};
    if (ok)
        acceptReply();
    else
        m_replies.SendIntReply(code, 0);  // the file is incomplete: the host must know
}

CFileCommands::~CFileCommands() {
    if (!m_send.tempPath.empty()) plat::fs::DeleteFile(m_send.tempPath);
}

void CFileCommands::DELETEFILE(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "DELETEFILE");
    std::u16string name = ReadHostName(pkt);
    pkt->NextField();
    std::u16string dir = ResolveName(name, u"DATA");
    // 0 is success here.
    BOOL last = FALSE;
    FileUtil::DeleteFiles(dir, name, &last);
    m_replies.SendIntReply(code, last ? 0 : 1);
}

void CFileCommands::GETFILE(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "GETFILE");
    GetFileState& g = m_get;
    std::u16string name = ReadHostName(pkt);
    pkt->NextField();

    if (name != u"1") {
        g = GetFileState{};
        std::u16string dir = ResolveName(name, u"DATA");
        std::string date, time, size;
        int32_t length = -1;
        if (FileUtil::GetFileInfo(dir, name, &date, &time, &size)) {
            length = FileUtil::ReadWholeFile(dir, name, nullptr, 0);
            if (length >= 0 && length <= kMaxWholeFile) {
                g.buffer.resize(static_cast<size_t>(length));
                if (length > 0 && FileUtil::ReadWholeFile(dir, name, g.buffer.data(), length) != length) length = -1;
            } else {
                length = -1;
            }
        }
        if (length < 0) {
            Free(g.buffer);
            m_replies.SendIntReply(code, 0);
            return;
        }
        // The size of what was read, whatever the file's entry said a moment before.
        size = std::to_string(length);
        // An empty file holds no buffer: the first chunk request only clears the transfer.
        g.loaded = true;
        CPacketBuffer* w = m_replies.Writer();
        if (!w) return;
        w->Reset();
        w->AppendByte(code).EndField().AppendString(size.c_str()).EndField();
        w->AppendString(date.c_str()).EndField().AppendString(time.c_str());
        m_replies.SendReply(*w);
        return;
    }

    // The next chunk.
    if (!g.loaded) {
        m_replies.SendIntReply(code, 0);
        return;
    }
    if (g.buffer.empty()) {
        // The whole file went out: this request only clears the transfer.
        g.loaded = false;
        return;
    }
    int64_t chunk = std::min<int64_t>(pkt->GetInt(kDefaultChunk), kMaxChunk);
    const size_t remaining = g.buffer.size() - g.offset;
    chunk = std::min<int64_t>(chunk, static_cast<int64_t>(remaining));
    std::unique_ptr<CPacketBuffer> writer;
    // Sized to the chunk and its two header bytes, so a whole 4096-byte chunk fits.
    if (chunk >= 1) writer = m_replies.NewWriter(static_cast<int32_t>(chunk) + 3);
    if (!writer) {
        m_replies.SendIntReply(code, 0);
    } else {
        writer->AppendByte(code).EndField().AppendBytes(g.buffer.data() + g.offset, static_cast<int32_t>(chunk));
        g.offset += static_cast<size_t>(chunk);
        m_replies.SendReply(*writer);
    }
    if (g.offset == g.buffer.size()) {
        Free(g.buffer);
        g.offset = 0;
    }
}

void CFileCommands::LISTFILE(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "LISTFILE");
    ListFiles(pkt, code, false);
}

void CFileCommands::FILESELECTEX(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "FILESELECTEX");
    ListFiles(pkt, code, true);
}

// LISTFILE and FILESELECTEX.
void CFileCommands::ListFiles(CPacket* pkt, uint8_t code, bool details) {
    std::u16string dir, pattern = ReadHostName(pkt);
    pkt->NextField();
    bool allFolders = false;
    if (pattern.find(u'\\') != std::u16string::npos) {
        dir = ResolveName(pattern, u"DATA");
    } else {
        dir = m_appFolder + u"\\";
        size_t dot = pattern.rfind(u'.');
        std::u16string extension = dot == std::u16string::npos ? u"" : pattern.substr(dot);
        if (std::optional<std::u16string> folder = FindFolder({}, extension)) {
            dir += *folder;
        } else if (extension.find(u'*') != std::u16string::npos) {
            // "*.*" and the like: the files of every subfolder, not of the folder itself.
            allFolders = true;
        } else {
            dir += FindFolder(u"DATA", {}).value_or(u"");
        }
    }
    CPacketBuffer* w = m_replies.Writer();
    if (!w) return;
    CPacketBuffer& writer = *w;
    writer.Reset();
    writer.AppendByte(code).EndField();
    FileUtil::ListDirectory(dir, pattern, &writer, allFolders, details);
    m_replies.SendReply(writer);
}

void CFileCommands::COUNTFILES(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "COUNTFILES");
    std::u16string dir, name;
    int32_t count = 0;
    if (ReadFolderTarget(pkt, m_appFolder, dir, name))
        count = FileUtil::ListDirectory(dir + name, u"*.*", nullptr, false, false);
    m_replies.SendIntReply(code, count);
}

void CFileCommands::MakeDir(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "MakeDir");
    std::u16string dir, name;
    bool made = false;
    if (ReadFolderTarget(pkt, m_appFolder, dir, name)) {
        std::u16string path = dir + name;
        DropTrailingBackslash(path);
        // The file system refuses the device root, whatever form the host gave it.
        made = FileUtil::HostMayChange(path) && plat::fs::CreateDirectory(path);
    }
    m_replies.SendIntReply(code, made ? 1 : 0);
}

void CFileCommands::DeleteDir(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "DeleteDir");
    std::u16string dir, name;
    bool removed = false;
    if (ReadFolderTarget(pkt, m_appFolder, dir, name)) {
        DropTrailingBackslash(name);
        removed = FileUtil::RemoveTree(dir, name);  // never the device root
    }
    m_replies.SendIntReply(code, removed ? 1 : 0);
}

void CFileCommands::Register(CCommandTable& table) {
    table.Register<&CFileCommands::RETRIEVEFILE>(cmd::kRETRIEVEFILE, *this, ErrorAnswer::Text());
    table.Register<&CFileCommands::RETRIEVEFILE>(cmd::kRETRIEVEFILE2, *this, ErrorAnswer::Text());
    table.Register<&CFileCommands::STOREFILE>(cmd::kSTOREFILE, *this, ErrorAnswer::Number(0));
    table.Register<&CFileCommands::SendFile>(cmd::kSendFile, *this, ErrorAnswer::Number(0));
    table.Register<&CFileCommands::DELETEFILE>(cmd::kDELETEFILE, *this, ErrorAnswer::Number(1));
    table.Register<&CFileCommands::GETFILE>(cmd::kGETFILE, *this, ErrorAnswer::Number(0));
    table.Register<&CFileCommands::LISTFILE>(cmd::kLISTFILE, *this, ErrorAnswer::Text());
    table.Register<&CFileCommands::FILESELECTEX>(cmd::kFILESELECTEX, *this, ErrorAnswer::Text());
    table.Register<&CFileCommands::COUNTFILES>(cmd::kCOUNTFILES, *this, ErrorAnswer::Number(0));
    table.Register<&CFileCommands::MakeDir>(cmd::kMakeDir, *this, ErrorAnswer::Number(0));
    table.Register<&CFileCommands::DeleteDir>(cmd::kDeleteDir, *this, ErrorAnswer::Number(0));
}

// RFMENU and LISTMENUFILES: menu files of the MENUS folder, shown in the menu
// box that the control makes; the box answers the host when it closes.
#include "core/session/MenuCommands.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/session/HostFormats.h"
#include "core/session/LogicalFolders.h"
#include "core/support/DevicePath.h"
#include "core/support/LogFile.h"
#include "platform/DeviceFs.h"

namespace {

// A menu file is a page of choices; anything past this is not read.
constexpr size_t kMaxMenuFile = 1u << 20;
constexpr int32_t kMaxItemCharacters = 99;
constexpr size_t kMaxTitleCharacters = 300;
// Host sizes are bounded before anything is made from them.
constexpr int32_t kMaxBoxSide = 1000;

std::vector<uint8_t> ReadMenuFile(const std::u16string& path) {
    std::vector<uint8_t> file;
    if (FILE* f = plat::fs::OpenFile(path, "rb")) {
        uint8_t chunk[4096];
        size_t n;
        while (file.size() < kMaxMenuFile && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            file.insert(file.end(), chunk, chunk + std::min(n, kMaxMenuFile - file.size()));
        std::fclose(f);
    }
    return file;
}

// The field under the cursor and the separator that ends it (-1: the
// file's end); the cursor is left past that separator.
std::u16string TakeField(CPacket& packet, int32_t capacity, int* separator) {
    std::vector<char16_t> text(static_cast<size_t>(capacity) + 1);
    packet.GetWide(text.data(), capacity + 1);
    const int32_t end = packet.GetPosition() + packet.GetFieldLength();
    *separator = end < packet.GetLength() ? packet.GetData()[end] : -1;
    if (*separator == PKT_END_RECORD)
        packet.NextRecord();
    else
        packet.NextField();
    return text.data();
}

}  // namespace

bool ParseMenuFile(const uint8_t* data, int32_t length, int32_t mode, uint32_t codePage, MenuBoxRequest* request) {
    if (!data || length <= 0) return false;
    // No step of the reader passes a command delimiter, so a delimiter byte
    // in the file would hold the reading where it is: each one ends its text
    // as the finest separator does, and the reading goes on.
    std::vector<uint8_t> bytes(data, data + length);
    std::replace(bytes.begin(), bytes.end(), PKT_DEFAULT_DELIMITER, PKT_END_ITEM);
    CPacket packet(mode, PKT_DEFAULT_DELIMITER, bytes.data(), length, codePage);
    int32_t* geometry[] = {&request->left, &request->top, &request->width, &request->height};
    for (int32_t* value : geometry) {
        *value = std::clamp(packet.GetInt(0), 0, kMaxBoxSide);
        packet.NextRecord();
    }
    // Title lines, each followed by FD, up to the record's end; an empty
    // line counts as a line. A line's text ends at a finer separator, whose
    // rest up to the FD is passed over, as every field's is.
    request->titleLines = 0;
    request->title.clear();
    int separator = PKT_END_FIELD;
    while (packet.BytesLeft() > 0 && packet.PeekByte(-1) != PKT_END_RECORD) {
        std::u16string line = TakeField(packet, static_cast<int32_t>(kMaxTitleCharacters), &separator);
        ++request->titleLines;
        const size_t room = kMaxTitleCharacters - request->title.size();
        request->title.append(line, 0, std::min(room, line.size()));
        if (request->title.size() + 2 <= kMaxTitleCharacters) request->title += u"\r\n";
        if (separator == PKT_END_RECORD) break;  // the record is already left
    }
    if (separator != PKT_END_RECORD) packet.NextRecord();
    // The items, each followed by FD; an empty one counts as an item.
    request->items.clear();
    while (packet.BytesLeft() > 0) {
        std::u16string item = TakeField(packet, kMaxItemCharacters, &separator);
        request->items.push_back({std::move(item), static_cast<int32_t>(request->items.size())});
    }
    if (request->items.empty()) request->items.push_back({u" ", 1});
    return true;
}

int CMenuCommands::RFMENU(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "RFMENU");
    std::u16string name = ReadHostName(pkt);
    pkt->NextField();
    std::u16string dir;
    BuildFolderPath(dir, name, u"MENUS");
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    const std::vector<uint8_t> file = name.empty() ? std::vector<uint8_t>() : ReadMenuFile(FileUtil::JoinPath(dir, name));
    MenuBoxRequest request;
    if (!ParseMenuFile(file.data(), static_cast<int32_t>(file.size()), pkt->GetMode(), pkt->GetCodePage(), &request)) {
        m_replies.SendIntReply(code, -2);
        return 0;
    }
    m_session.OpenMenuBox(std::move(request));
    return 0;
}

int CMenuCommands::LISTMENUFILES(CPacket*, uint8_t code) {
    LogWrite(LOG_TRACE, "LISTMENUFILES");
    const std::u16string dir = m_appFolder + u"\\" + FindFolder(u"MENUS", {}).value_or(u"");
    CPacketBuffer* writer = m_replies.Writer();
    if (!writer) return 0;
    writer->Reset();
    writer->AppendByte(code).EndField();
    FileUtil::ListDirectory(dir, u"*.MNU", writer, false, false);
    m_replies.SendReply(*writer);
    return 0;
}

void CMenuCommands::Register(CCommandTable& table) {
    table.Register<&CMenuCommands::RFMENU>(cmd::kRFMENU, *this);
    table.Register<&CMenuCommands::LISTMENUFILES>(cmd::kLISTMENUFILES, *this);
}

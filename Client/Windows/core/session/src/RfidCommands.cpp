// The RFID command and its sub-commands. A read or write request is binary,
// big-endian: a 4-byte value, 2 unused bytes, the tag id's length and the tag
// id, the entry count, then the entries (read: two words; write: two words
// -- the second the data length -- and the data). The library gets the
// entries chained in the reverse of their order in the request.
#include <algorithm>
#include <string>
#include <vector>

#include "core/session/RfidCommands.h"

#include "core/support/LogFile.h"
#include "platform/exports/RfidExports.h"

namespace {

constexpr uint8_t kReply = 'r';
// Room for a property's value, NUL included.
constexpr int32_t kPropertyBuffer = 1024;

uint16_t Word(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

// The wire's bytes after the sub-command byte up to the end of its field,
// without the byte that ends the field or the packet. Taken before stepping
// past the sub-command byte: the step keeps the field's length as it was.
std::string ArgumentText(const CPacket& pkt) {
    const int32_t length = std::max(0, std::min(pkt.GetFieldLength(), pkt.BytesLeft()) - 1);
    return std::string(reinterpret_cast<const char*>(pkt.GetCursor()) + 1, static_cast<size_t>(length));
}

// A parsed request: the tag id and its entries in request order.
struct Request {
    std::vector<uint8_t> tag;
    std::vector<RFID_READ_ENTRY> reads;
    std::vector<RFID_WRITE_ENTRY> writes;
    std::vector<std::vector<uint8_t>> data;  // the write entries' own copies
};

bool Parse(const uint8_t* at, int32_t total, bool write, Request& out) {
    if (total <= 8) return false;
    const int32_t tagLength = Word(at + 6);
    if (tagLength + 2 >= total - 8) return false;
    out.tag.assign(at + 8, at + 8 + tagLength);
    int32_t pos = 8 + tagLength;
    const int32_t count = Word(at + pos);
    pos += 2;
    if (total - pos < 4 * count) return false;
    for (int32_t i = 0; i < count; ++i) {
        // Every entry's header must be whole, and a write's data must fit what is left.
        if (total - pos < 4) return false;
        const uint16_t first = Word(at + pos), second = Word(at + pos + 2);
        pos += 4;
        if (!write) {
            out.reads.push_back({first, second, nullptr});
            continue;
        }
        if (second > total - pos) return false;
        out.data.emplace_back(at + pos, at + pos + second);
        pos += second;
        out.writes.push_back({first, second, nullptr, nullptr});
    }
    for (size_t i = 0; i < out.writes.size(); ++i)
        out.writes[i].data = out.data[i].empty() ? nullptr : out.data[i].data();
    return true;
}

// Chains the entries newest first; the head, or null for an empty list.
template <typename Entry>
Entry* Chain(std::vector<Entry>& entries) {
    for (size_t i = 1; i < entries.size(); ++i) entries[i].next = &entries[i - 1];
    return entries.empty() ? nullptr : &entries.back();
}

}  // namespace

void CRfidCommands::Register(CCommandTable& table) {
    table.Register<&CRfidCommands::RfidEvent>(cmd::kRfidEvent, *this, CommandRules::EndingPacket());
}

int CRfidCommands::RfidEvent(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RfidEvent");
    const int sub = pkt->PeekByte(-1);
    if (sub < 0) return 0;
    const std::string text = sub == 'g' || sub == 's' ? ArgumentText(*pkt) : std::string();
    pkt->Advance(1);
    switch (sub) {
    case 'i': Identify(false); break;
    case 'l': Identify(true); break;
    case 'g': GetProperty(text); break;
    case 's': SetProperty(text); break;
    case 'r': ReadOrWrite(*pkt, false); break;
    case 'w': ReadOrWrite(*pkt, true); break;
    default: break;  // no reply
    }
    // The command ends its packet: nothing after it runs as a command.
    pkt->Advance(pkt->BytesLeft());
    return 0;
}

void CRfidCommands::SendBlock(const char* prefix, const uint8_t* block, int32_t length) {
    if (!block) length = 0;
    length = std::max(0, length);
    // Sized to the block: a large one is sent whole, not dropped.
    std::unique_ptr<CPacketBuffer> writer = m_replies.NewWriter(length + 16);
    if (!writer && length > 0) return SendBlock(prefix, nullptr, 0);
    if (!writer) return;
    writer->AppendByte(kReply).EndField().AppendString(prefix);
    if (length > 0) writer->AppendBytes(block, length);
    m_replies.SendReply(*writer);
}

void CRfidCommands::Identify(bool lastList) {
    ICoreDevices& devices = *m_devices;
    uint8_t* block = nullptr;
    int32_t length = 0;
    const int32_t result = !devices.HasRfid()       ? 0
                           : lastList ? devices.RfidLastList(&block, &length)
                                      : devices.RfidIdentify(&block, &length);
    if (result)
        SendBlock("", block, length);
    else
        SendBlock("I", nullptr, 0);
    if (block) devices.RfidFreeBlock(block);
}

void CRfidCommands::GetProperty(const std::string& name) {
    ICoreDevices& devices = *m_devices;
    std::vector<char> value(kPropertyBuffer, '\0');
    if (name.empty() || !devices.HasRfid() || !devices.RfidGetProperty(name.c_str(), value.data(), kPropertyBuffer)) {
        SendBlock("G1", nullptr, 0);
        return;
    }
    value.back() = '\0';  // a library that filled the whole buffer
    const std::string text = "G0=" + std::string(value.data());
    SendBlock(text.c_str(), nullptr, 0);
}

void CRfidCommands::SetProperty(const std::string& argument) {
    const size_t eq = argument.find('=');
    // Without '=' there is nothing to set: a failure, not a success.
    int32_t result = 0;
    if (eq != std::string::npos)
        result = m_devices->SetRfidProperty(std::string_view(argument).substr(0, eq),
                                            std::string_view(argument).substr(eq + 1));
    SendBlock(result ? "S0" : "S1", nullptr, 0);
}

void CRfidCommands::ReadOrWrite(const CPacket& pkt, bool write) {
    ICoreDevices& devices = *m_devices;
    Request request;
    if (!Parse(pkt.GetCursor(), pkt.BytesLeft(), write, request) || !devices.HasRfid()) {
        SendBlock("I", nullptr, 0);
        return;
    }
    uint8_t* block = nullptr;
    int32_t length = 0;
    const uint8_t* tag = request.tag.empty() ? nullptr : request.tag.data();
    const auto tagLength = static_cast<uint16_t>(request.tag.size());
    const int32_t result = write ? devices.RfidWrite(tag, tagLength, Chain(request.writes), &block, &length)
                                 : devices.RfidRead(tag, tagLength, Chain(request.reads), &block, &length);
    SendBlock("I", result ? block : nullptr, result ? length : 0);
    if (block) devices.RfidFreeBlock(block);
}

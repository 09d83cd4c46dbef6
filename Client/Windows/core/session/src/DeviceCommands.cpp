// The device and system commands. SETTIME moves the device clock (a stored
// offset; the machine's clock is never set) and refuses a date or time that
// does not exist.
#include <algorithm>
#include <string>
#include <string_view>

#include "core/session/DeviceCommands.h"

#include "core/hooks/CoreMessages.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"
#include "platform/Message.h"

namespace {

// "YYYYMMDD HHMMSS": the date at 0-7, the time at 9-14, at most 19 characters in all.
constexpr int32_t kTimeField = 19;
constexpr size_t kTimeAt = 9;
constexpr size_t kTimeDigits = 6;

}  // namespace

void CDeviceCommands::Register(CCommandTable& table) {
    table.Register<&CDeviceCommands::SETTIME>(cmd::kSETTIME, *this);
    table.Register<&CDeviceCommands::KILLCMD>(cmd::kKILLCMD, *this);
    table.Register<&CDeviceCommands::TELLEVENT>(cmd::kTELLEVENT, *this);
    table.Register<&CDeviceCommands::WAK>(cmd::kWAK, *this);
    table.Register<&CDeviceCommands::LoadKeyMap>(cmd::kLoadKeyMap, *this);
}

int CDeviceCommands::SETTIME(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "SETTIME");
    char text[kTimeField + 1];
    pkt->GetString(text, sizeof text);
    const std::string_view field(text);
    SYSTEMTIME time{};
    const bool set = field.size() >= kTimeAt + kTimeDigits &&
                     FileUtil::ParseDateTime(field.substr(0, 8), field.substr(kTimeAt, kTimeDigits), &time) &&
                     SetSystemTime(&time);
    m_replies.SendIntReply(code, set ? 1 : 0);
    return 0;
}

int CDeviceCommands::KILLCMD(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "KILLCMD");
    const int32_t units = pkt->GetWide(nullptr, 0);
    std::u16string message(static_cast<size_t>(units), u'\0');
    message.resize(static_cast<size_t>(std::max(0, pkt->GetWide(message.data(), units))));
    // The user reads the message before the session ends.
    if (!message.empty()) m_dialogs->ShowMessage(message);
    m_replies.SendIntReply(code, 1);
    m_widgets->RemoveAll();
    PostMessage(m_window, WM_CORE_SESSION_ENDED, 0, 0);
    return 0;
}

int CDeviceCommands::TELLEVENT(CPacket*, uint8_t code) {
    LogWrite(LOG_TRACE, "TELLEVENT");
    if (!m_queue.Empty()) {
        m_replies.SendIntReply(code, 1);
        return 0;
    }
    if (CPacketBuffer* writer = m_replies.Writer()) {
        writer->Reset();
        writer->AppendByte(code).EndField();
        m_replies.SendReply(*writer);
    }
    return 0;
}

int CDeviceCommands::WAK(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "WAK");
    return 0;
}

int CDeviceCommands::LoadKeyMap(CPacket*, uint8_t code) {
    LogWrite(LOG_TRACE, "LoadKeyMap");
    m_replies.SendIntReply(code, 1);
    return 0;
}

// The host's questions about the device (extended information), the input
// panel's state, INI values of files in the logical folders, and the call of
// a device library's function by name.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/session/InfoCommands.h"

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "core/session/HostFormats.h"
#include "core/session/LibraryCall.h"
#include "core/session/LogicalFolders.h"
#include "core/support/DeviceIni.h"
#include "core/support/DevicePath.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"

namespace {

constexpr uint8_t kGetExtendedInfo = cmd::kGetExtendedInfo;
constexpr uint8_t kSetExtendedInfo = cmd::kSetExtendedInfo;
constexpr uint8_t kIniReply = cmd::kGetIniString;

// Keys are read into 50 characters with their end mark.
constexpr int32_t kKeyUnits = 50;
constexpr int32_t kIniValueBytes = 260;

std::u16string ReadWide(CPacket* pkt, int32_t units) {
    std::vector<char16_t> text(static_cast<size_t>(units));
    pkt->GetWide(text.data(), units);
    return text.data();
}

// Keys compare without regard to case.
std::u16string ReadKey(CPacket* pkt) {
    std::u16string key = ReadWide(pkt, kKeyUnits);
    for (char16_t& c : key)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return key;
}

// A field's bytes as they stand on the wire.
std::string FieldBytes(CPacket* pkt) {
    std::string bytes(static_cast<size_t>(pkt->GetString(nullptr, 0)), '\0');
    pkt->GetString(bytes.data(), static_cast<int32_t>(bytes.size()));
    bytes.pop_back();
    return bytes;
}

std::u16string Number(int32_t value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

// The INI file a host names: resolved in the logical folders, DATA by default;
// a name that is not absolute is read from the root (there is no current folder).
std::u16string IniPath(CPacket* pkt) {
    std::u16string name = ReadHostName(pkt);
    std::u16string dir;
    BuildFolderPath(dir, name, u"DATA");
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    return FileUtil::JoinPath(dir, name);
}

// The file, section and key of GetIniString and SetIniString; the cursor
// stays on the key.
struct IniKey {
    std::u16string path;
    std::string section;
    std::string key;
};

IniKey ReadIniKey(CPacket* pkt) {
    IniKey k;
    k.path = IniPath(pkt);
    pkt->NextField();
    k.section = FieldBytes(pkt);
    pkt->NextField();
    k.key = FieldBytes(pkt);
    return k;
}

// EXT: library, function, then the arguments up to the end of this command.
int32_t CallByName(CPacket* pkt) {
    const std::u16string library = ReadHostName(pkt);
    pkt->NextField();
    const std::u16string function = ReadHostName(pkt);
    pkt->NextField();
    std::vector<std::u16string> arguments;
    size_t units = 0;
    while (pkt->CommandLength() > 0) {
        std::u16string argument(static_cast<size_t>(pkt->GetWide(nullptr, 0)) - 1, u'\0');
        pkt->GetWide(argument.data(), static_cast<int32_t>(argument.size()) + 1);
        units += argument.size() + 1;
        arguments.push_back(std::move(argument));
        if (arguments.size() > kLibraryCallArguments || units > kLibraryCallUnits) return -1;
        pkt->NextField();
    }
    return CallLibraryFunction(library, function, arguments);
}

}  // namespace

int32_t CInfoCommands::IsAssociated() {
    const RadioSettings settings{m_settings.GetIgnoreRadio(), m_settings.GetRSSIThreshold(),
                                 m_settings.GetRadioWakeDelay(), m_settings.GetReconnectDelay()};
    return m_radio.Test(*m_devices, settings, m_resumeTime);
}

int CInfoCommands::GetExtendedInfo(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GetExtendedInfo");
    const std::u16string key = ReadKey(pkt);
    pkt->NextField();
    const CoreProperties& props = m_settings.Properties();
    std::u16string value = u"-1";
    if (key == u"ASSOC") {
        value = Number(IsAssociated());
    } else if (key == u"IP") {
        if (!props.peerAddress.empty()) value = props.peerAddress;
    } else if (key == u"MAC") {
        uint8_t mac[6] = {};
        if (m_devices->HasNetwork() && m_devices->GetMACAddr(mac) == 0) {
            char text[13];
            std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                          mac[5]);
            value.assign(text, text + 12);
        }
    } else if (key == u"FREEMEM") {
        value = Number(FileUtil::FreeMemory());
    } else if (key == u"TERMID") {
        value = Number(TerminalId());
    } else if (key == u"COLS") {
        value = Number(m_screen.Columns());
    } else if (key == u"ROWS") {
        value = Number(m_screen.Rows());
    } else if (key == u"MAINBATT" || key == u"AUXBATT") {
        int32_t mainBattery = 0;
        int32_t backupBattery = 0;
        FileUtil::GetPowerStatus(&mainBattery, &backupBattery);
        value = Number(key == u"MAINBATT" ? mainBattery : backupBattery);
    } else if (key == u"CLIENTVERSION") {
        if (!props.clientVersion.empty()) value = props.clientVersion;
    } else if (key == u"WIDGET_SUPPORT" || key == u"HASSIP") {
        value = u"1";
    } else if (key == u"SIPSTATE") {
        value = props.sipStateUp ? u"1" : u"0";
    } else if (key == u"EXT") {
        value = Number(CallByName(pkt));
    }
    m_replies.SendTextReply(kGetExtendedInfo, value);
    return 0;
}

int CInfoCommands::SetExtendedInfo(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SetExtendedInfo");
    const std::u16string key = ReadKey(pkt);
    pkt->NextField();
    if (key != u"SIPSTATE") {
        m_replies.SendIntReply(kSetExtendedInfo, -1);
        return 0;
    }
    const int32_t state = pkt->GetInt(0);
    if (m_shellWindow) SendMessage(m_shellWindow, WM_SHELL_INPUT_PANEL, static_cast<WPARAM>(state), 0);
    m_replies.SendIntReply(kSetExtendedInfo, 1);
    return 0;
}

int CInfoCommands::GetIniString(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GetIniString");
    const IniKey k = ReadIniKey(pkt);
    char value[kIniValueBytes];
    // The value is what the buffer holds: a missing file leaves the default
    // there but counts 0 bytes.
    ReadIniString(k.section.c_str(), k.key.c_str(), "notfound", value, sizeof value, k.path);
    CPacketBuffer* writer = m_replies.Writer();
    if (!writer) return 0;
    writer->Reset();
    writer->AppendByte(kIniReply).EndField().AppendBytes(value, static_cast<int32_t>(std::strlen(value)));
    m_replies.SendReply(*writer);
    return 0;
}

int CInfoCommands::SetIniString(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SetIniString");
    const IniKey k = ReadIniKey(pkt);
    pkt->NextField();
    const std::string value = FieldBytes(pkt);
    // Nothing a host may not change is written, nor a name GetIniString could
    // not read back (a line break in a key would even start a section).
    const bool unreadable = k.key.find_first_of("=\r\n") != std::string::npos || k.key.starts_with(';') ||
                            k.section.find_first_of("]\r\n") != std::string::npos;
    if (unreadable || !FileUtil::HostMayWrite(k.path)) {
        m_replies.SendIntReply(kIniReply, 0);
        return 0;
    }
    // The host is told "1" whether or not the key could be written.
    if (WriteIniString(k.section.c_str(), k.key.c_str(), value.c_str(), k.path) == 0)
        LogWrite(LOG_ERROR, "SetIniString: the key was not written");
    m_replies.SendIntReply(kIniReply, 1);
    return 0;
}

int32_t CInfoCommands::TerminalId() {
    if (m_settings.GetTerminalID() != 0) return m_settings.GetTerminalID();
    if (m_devices->HasDeviceControl()) {
        const int32_t id = m_devices->GetDeviceId();
        if (id != 0) {
            LogPrintf(LOG_NOTE, "PrimaryDevice set quillmar device to %ld", static_cast<long>(id));
            return id;
        }
    }
    return CSessionSettings::kDefaultTerminalId;
}

void CInfoCommands::Register(CCommandTable& table) {
    table.Register<&CInfoCommands::GetExtendedInfo>(cmd::kGetExtendedInfo, *this, ErrorAnswer::Number(-1));
    table.Register<&CInfoCommands::SetExtendedInfo>(cmd::kSetExtendedInfo, *this, ErrorAnswer::Number(-1));
    // Both INI commands fail as GetIniString answers: '!' and 0.
    const ErrorAnswer iniFailed = ErrorAnswer::Number(0, cmd::kGetIniString);
    table.Register<&CInfoCommands::GetIniString>(cmd::kGetIniString, *this, iniFailed);
    table.Register<&CInfoCommands::SetIniString>(cmd::kSetIniString, *this, iniFailed);
}

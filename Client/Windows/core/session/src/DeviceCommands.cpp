// The device and system commands. SETTIME moves the device clock (a stored
// offset; the machine's clock is never set) and refuses a date or time that
// does not exist.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/session/DeviceCommands.h"

#include "core/hooks/CoreMessages.h"
#include "core/session/LogicalFolders.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "core/support/MessagePump.h"
#include "core/widgets/StrokeList.h"
#include "core/widgets/WidgetManager.h"
#include "platform/Text.h"
#include "platform/DeviceFs.h"
#include "platform/Clock.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Process.h"
#include "platform/Sound.h"

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
    table.Register<&CDeviceCommands::PLAYTONE>(cmd::kPLAYTONE, *this);
    table.Register<&CDeviceCommands::SYSTEMCALL>(cmd::kSYSTEMCALL, *this);
    table.Register<&CDeviceCommands::COMMONDLG>(cmd::kCOMMONDLG, *this);
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
    // The user reads the message before the session ends. A session that
    // ended meanwhile (the user's Disconnect, the control's window gone) has
    // nothing left to answer or end.
    const uint32_t sessionEnds = m_sessionEnds;
    if (!message.empty()) m_dialogs->ShowMessage(message);
    if (m_sessionEnds != sessionEnds) return 0;
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

namespace {

// Tone files are small; what lies beyond this is not played.
constexpr int32_t kMaxToneFile = 64 * 1024;
// The tone generator's limits, a rest's too: outside them nothing sounds.
constexpr int32_t kMinToneHz = 100;
constexpr int32_t kMaxToneHz = 20000;
constexpr int32_t kMaxToneMs = 100000;
constexpr int32_t kFullVolume = 255;
constexpr UINT kToneOutOfRange = 11;
// How often a rest looks at a tick a test drives.
constexpr DWORD kDrivenRestSliceMs = 5;

// The tone generator: a square wave of 16-bit mono samples at 44100 Hz on the
// wave output. 0 when played, else an error code.
UINT PlayTone(int32_t frequencyHz, int32_t durationMs, int32_t volume) {
    if (frequencyHz < kMinToneHz || frequencyHz > kMaxToneHz || durationMs <= 0 || durationMs > kMaxToneMs)
        return kToneOutOfRange;
    const std::vector<int16_t> samples = plat::sound::SquareWave(static_cast<DWORD>(frequencyHz),
                                                                 static_cast<DWORD>(durationMs), volume);
    return plat::sound::PlayPcm(samples.data(), samples.size(), plat::sound::kToneRate);
}

// The sound file beside a tone file: its extension replaced by "wav", or
// ".wav" appended to a name without one.
std::u16string SoundFileOf(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"\\/");
    const size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return path + u".wav";
    return path.substr(0, dot + 1) + u"wav";
}

int32_t DecimalOf(const uint8_t* at, const uint8_t* end) {
    int64_t value = 0;
    bool negative = at < end && *at == '-';
    if (negative) ++at;
    for (; at < end && *at >= '0' && *at <= '9'; ++at) value = std::min<int64_t>(value * 10 + (*at - '0'), INT32_MAX);
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

int CDeviceCommands::PLAYTONE(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PLAYTONE");
    PlayToneFile(ReadHostName(pkt));
    return 0;
}

void CDeviceCommands::PlayToneFile(std::u16string name) {
    if (m_settings.Properties().silentMode || name.empty() || m_tonesOver) return;
    std::u16string dir;
    BuildFolderPath(dir, name, u"TONES");
    std::vector<uint8_t> bytes(kMaxToneFile);
    const int32_t size = FileUtil::ReadWholeFile(dir, name, bytes.data(), kMaxToneFile);
    if (size <= 0) {
        const std::u16string sound = SoundFileOf(FileUtil::JoinPath(dir, name));
        PlaySound(sound.c_str(), 0, SND_ASYNC | SND_FILENAME);
        return;
    }
    // Records: frequency FD duration FE; frequency 0 is a rest.
    const uint8_t* at = bytes.data();
    const uint8_t* const end = at + size;
    bool told = false;
    // The tones of one packet sound no longer than one tone may: the session
    // waits for them, and a short packet never holds it for hours. The
    // records past that, in this file or the packet's next, are not played.
    int32_t& total = m_toneMs;
    while (at < end && !m_tonesOver) {
        const uint8_t* recordEnd = std::find(at, end, PKT_END_RECORD);
        const uint8_t* field = std::find(at, recordEnd, PKT_END_FIELD);
        const int32_t frequency = DecimalOf(at, field);
        const int32_t duration = field < recordEnd ? DecimalOf(field + 1, recordEnd) : 0;
        if (duration > 0 && duration <= kMaxToneMs) {
            if (duration > kMaxToneMs - total) {
                LogWrite(LOG_ERROR, "PLAYTONE: the packet's tones sound longer than " + std::to_string(kMaxToneMs) +
                                        " ms; the rest is not played");
                m_tonesOver = true;
                break;
            }
            total += duration;
        }
        if (frequency == 0) {
            // The program quitting or the session ending cuts the rest short,
            // and the packet's tones with it.
            if (duration > 0 && duration <= kMaxToneMs && !Rest(static_cast<DWORD>(duration))) m_tonesOver = true;
        } else if (!(m_devices->PlayBeep(duration, frequency))) {
            // An unplayable tone is skipped; a missing sound device is told once a file.
            const UINT error = PlayTone(frequency, duration, kFullVolume);
            if (error != 0 && error != kToneOutOfRange && !told) {
                LogWrite(LOG_ERROR, "PLAYTONE: no tone played, wave output error " + std::to_string(error));
                told = true;
            }
        }
        at = recordEnd < end ? recordEnd + 1 : end;
    }
}

bool CDeviceCommands::Rest(DWORD ms) {
    const uint32_t sessionEnds = m_sessionEnds;
    const DWORD start = GetTickCount();
    for (;;) {
        if (PumpMessages(true) == 1 || m_sessionEnds != sessionEnds) return false;
        const DWORD gone = GetTickCount() - start;
        if (gone >= ms) return true;
        // The time is the platform's tick: a tick a test drives passes only
        // while the thread waits, so the wait is sliced to look at it again.
        const DWORD left = ms - gone;
        WaitMessageTimeout(static_cast<int>(plat::clock::IsTickSourceReplaced() ? std::min(left, kDrivenRestSliceMs) : left));
    }
}

namespace {

// The program a command line names: a device path, or a name under the
// device root; one without an extension may also be its ".exe".
std::unique_ptr<plat::process::Process> StartProgram(const std::vector<std::u16string>& words) {
    if (words.empty() || words[0].empty()) return nullptr;
    std::u16string program = words[0][0] == u'\\' ? words[0] : u"\\" + words[0];
    const std::vector<std::u16string> arguments(words.begin() + 1, words.end());
    std::unique_ptr<plat::process::Process> process = plat::process::Process::Start(program, arguments);
    const size_t slash = program.rfind(u'\\');
    if (!process && program.find(u'.', slash) == std::u16string::npos)
        process = plat::process::Process::Start(program + u".exe", arguments);
    return process;
}

}  // namespace

int CDeviceCommands::SYSTEMCALL(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "SYSTEMCALL");
    const int32_t units = pkt->GetWide(nullptr, 0);
    std::u16string line(static_cast<size_t>(units), u'\0');
    line.resize(static_cast<size_t>(std::max(0, pkt->GetWide(line.data(), units))));
    std::unique_ptr<plat::process::Process> process = StartProgram(plat::process::SplitCommandLine(line));
    if (!process) {
        LogWrite(LOG_ERROR, "SystemCall Failed because the process could not be found");
    } else {
        // A second at a time, with the window messages handled in between; a
        // quitting thread stops waiting and leaves the program running.
        const uint32_t sessionEnds = m_sessionEnds;
        for (;;) {
            if (process->Wait(1000)) {
                LogWrite(LOG_TRACE, "Process has terminated\n");
                break;
            }
            if (PumpMessages() == 1) break;
            // So does the session ending among the messages (the user's
            // Disconnect, the control's window gone); the session that is
            // gone gets no answer.
            if (m_sessionEnds != sessionEnds) {
                LogWrite(LOG_ERROR, "SYSTEMCALL: the session ended while waiting for the program");
                return 0;
            }
        }
    }
    m_replies.SendIntReply(code, 1);
    return 0;
}

// ---- The signature screen

namespace {

// The signature screen's dialog type, and the ids of its widgets.
constexpr int32_t kSignatureDialog = 1;
constexpr uint32_t kOkId = 1;
constexpr uint32_t kCancelId = 2;
constexpr uint32_t kClearId = 4;
constexpr uint32_t kPenCaptureId = 100;

// One widget of the screen: type, add, id, percent mode and the rectangle;
// face, label, options and size; flags and window style 0; the tab index.
void AppendScreenWidget(CPacketBuffer& w, int32_t type, uint32_t id, const int32_t (&yxwh)[4],
                        std::u16string_view face, std::u16string_view label, int32_t options,
                        const std::u16string& size, uint32_t tabIndex) {
    w.AppendInt(type).EndField().AppendInt(WID_ACTION_ADD).EndField().AppendULong(id).EndField();
    w.AppendInt(3);
    for (int32_t v : yxwh) w.EndSubField().AppendInt(v);
    w.EndField();
    w.AppendWide(std::u16string(face).c_str()).EndSubField().EndSubField().EndSubField();
    w.AppendWide(std::u16string(label).c_str()).EndSubField().AppendInt(options).EndSubField();
    w.AppendWide(size.c_str()).EndSubField().EndField();
    w.EndField();                                  // 6: event slots
    w.EndSubField().AppendInt(0).EndField();       // 7: value, flags 0
    w.AppendInt(0).EndField();                     // 8: window style 0
    w.EndField().EndField();                       // 9, 10
    w.AppendULong(tabIndex).EndField();            // 11; 12 empty
}

}  // namespace

int CDeviceCommands::COMMONDLG(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "COMMONDLG");
    const int32_t type = pkt->GetInt(0);
    if (type != kSignatureDialog) {
        if (CPacketBuffer* writer = m_replies.Writer()) {
            writer->Reset();
            writer->AppendByte(code).EndField().AppendInt(type).EndField().AppendString("-1");
            m_replies.SendReply(*writer);
        }
        return 0;
    }
    OpenSignatureScreen();
    return 0;
}

void CDeviceCommands::OpenSignatureScreen() {
    m_session.SetSignatureMode(true);
    m_widgets->RemoveAll();
    const CellSettings& cells = m_settings.Properties().cells;
    const std::u16string size = plat::text::Utf8ToWide(std::to_string(cells.fontSize));
    // Sized to what it holds: the core's face may be long.
    const size_t capacity = 500 + cells.fontName.size() * 4 * 3;
    std::unique_ptr<CPacketBuffer> stream = m_replies.NewWriter(static_cast<int32_t>(std::min<size_t>(capacity, INT32_MAX)));
    if (!stream) return;
    AppendScreenWidget(*stream, 11, kPenCaptureId, {2, 2, 96, 84}, u"", kSignatureFile, 0, u"", 0);
    stream->EndRecord();
    AppendScreenWidget(*stream, 1, kClearId, {88, 2, 30, 10}, cells.fontName, u"Clear", 4, size, 1);
    stream->EndRecord();
    AppendScreenWidget(*stream, 1, kCancelId, {88, 35, 30, 10}, cells.fontName, u"Cancel", 4, size, 2);
    stream->EndRecord();
    AppendScreenWidget(*stream, 1, kOkId, {88, 68, 30, 10}, cells.fontName, u"OK", 4, size, 3);
    RunWidgetStream(*stream);
    m_dialogs->SignatureScreenOpened();
}

void CDeviceCommands::RunWidgetStream(const CPacketBuffer& stream) {
    CPacket packet(stream.GetMode(), stream.GetCommandDelimiter(), stream.GetData(), stream.GetLength(),
                   stream.GetCodePage());
    m_widgets->ProcessWidgetStream(packet, m_replies.Writer());
}

void CDeviceCommands::OfferSignatureEvent(const uint8_t* bytes, int32_t count) {
    if (m_session.CurrentDialogMode() != DialogMode::Signature || !bytes || count <= 0 || bytes[0] != '8') return;
    // '8' FD text FD id FC extra: the id is the third field.
    const uint8_t* const end = bytes + count;
    const uint8_t* at = std::find(bytes, end, PKT_END_FIELD);
    if (at < end) at = std::find(at + 1, end, PKT_END_FIELD);
    if (at >= end) return;
    uint64_t id = 0;
    const uint8_t* digits = ++at;
    for (; at < end && *at >= '0' && *at <= '9' && id <= 0xFFFFFFFFu; ++at) id = id * 10 + (*at - '0');
    if (at == digits || id > 0xFFFFFFFFu) return;
    switch (static_cast<uint32_t>(id)) {
    case kOkId:
        m_session.SetSignatureMode(false);
        m_widgets->RemoveAll();
        SendSignature();
        break;
    case kCancelId:
        m_session.SetSignatureMode(false);
        m_widgets->RemoveAll();
        // The stroke file stays: only OK hands it over and deletes it.
        if (CPacketBuffer* writer = m_replies.Writer()) {
            writer->Reset();
            writer->AppendByte(cmd::kCOMMONDLG).EndField().AppendString("1").EndField().AppendString("0").EndField();
            m_replies.SendReply(*writer);
        }
        break;
    case kClearId: {
        // SETLABEL on the pen capture, which clears its strokes.
        std::unique_ptr<CPacketBuffer> stream = m_replies.NewWriter(32);
        if (!stream) return;
        stream->AppendString("11").EndField().AppendString("5").EndField().AppendULong(kPenCaptureId).EndField();
        RunWidgetStream(*stream);
        break;
    }
    default: break;
    }
}

std::u16string CDeviceCommands::SignatureFilePath() {
    std::u16string dir, name = kSignatureFile;
    BuildFolderPath(dir, name, u"DATA");
    return FileUtil::JoinPath(dir, name);
}

void CDeviceCommands::SendSignature() {
    std::u16string dir, name = kSignatureFile;
    BuildFolderPath(dir, name, u"DATA");
    const std::u16string path = FileUtil::JoinPath(dir, name);
    std::vector<uint8_t> bytes;
    if (const std::optional<plat::fs::FindData> data = plat::fs::GetFileData(path);
        data && data->size > 0 && data->size <= static_cast<uint64_t>(kMaxSignatureFile)) {
        bytes.resize(static_cast<size_t>(data->size));
        const int32_t read = FileUtil::ReadWholeFile(dir, name, bytes.data(), static_cast<int32_t>(bytes.size()));
        bytes.resize(static_cast<size_t>(std::max(0, read)));
    } else if (data && data->size > static_cast<uint64_t>(kMaxSignatureFile)) {
        LogWrite(LOG_ERROR, "COMMONDLG: the signature file is too large to send");
    }
    plat::fs::DeleteFile(path);
    // A file without a point holds no signature (cleared, or never drawn).
    StrokeFile strokes;
    if (bytes.empty() || !ParseStrokeFile(bytes.data(), bytes.size(), &strokes) || strokes.points.empty()) return;
    std::unique_ptr<CPacketBuffer> writer = m_replies.NewWriter(static_cast<int32_t>(bytes.size()) + 50);
    if (!writer) return;
    writer->AppendByte(cmd::kCOMMONDLG).EndField().AppendString("1").EndField().AppendString("1").EndField();
    writer->AppendBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    m_replies.SendReply(*writer);
}

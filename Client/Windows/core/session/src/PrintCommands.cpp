// The printing and serial commands. Data that runs to the end of the packet
// is taken whole, so a byte equal to the command delimiter inside it never
// runs as a command.
#include "core/session/PrintCommands.h"

#include <algorithm>
#include <string>

#include "core/session/LogicalFolders.h"
#include "core/support/Escapes.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "core/support/MessagePump.h"
#include "platform/Clock.h"
#include "platform/Input.h"
#include "platform/Text.h"

namespace {

constexpr uint8_t kComReply = 'd';

// Baud by the file's index; 4 is 1200 as 3 is, 10 is 110 as 0 is.
constexpr DWORD kBauds[] = {110, 300, 600, 1200, 1200, 2400, 4800, 9600, 19200, 38400, 110};
constexpr int kDataBits[] = {5, 6, 7, 8, 4};
constexpr plat::serial::Parity kParities[] = {plat::serial::Parity::Even, plat::serial::Parity::Odd,
                                              plat::serial::Parity::Mark, plat::serial::Parity::Space,
                                              plat::serial::Parity::None};
// Waiting for bytes: a read that brings none is followed by this pause.
constexpr DWORD kIdlePauseMs = 100;
// Ports above COM2 settle this long after opening.
constexpr DWORD kSettleMs = 100;

// The rest of the packet as bytes; the cursor goes to its end.
std::vector<uint8_t> TakeRest(CPacket& pkt) {
    const int32_t left = std::max(0, pkt.BytesLeft());
    std::vector<uint8_t> rest(pkt.GetCursor(), pkt.GetCursor() + left);
    pkt.Advance(left);
    return rest;
}

// The first byte of the field, or -1 when it is empty.
int FirstByte(const CPacket& pkt) {
    return pkt.GetFieldLength() > 0 && pkt.BytesLeft() > 0 ? pkt.PeekByte(-1) : -1;
}

// A file of the DATA folder, whole: false when it cannot be read (missing,
// unreadable or larger than the limit).
bool ReadDataFile(std::u16string name, int32_t limit, std::vector<uint8_t>* out) {
    if (name.empty()) return false;
    std::u16string dir;
    BuildFolderPath(dir, name, u"DATA");
    const int32_t size = FileUtil::ReadWholeFile(dir, name, nullptr, 0);
    if (size < 0) return false;
    if (size > limit) {
        LogWrite(LOG_ERROR, "PrintFile: the file is larger than " + std::to_string(limit) + " bytes");
        return false;
    }
    out->resize(static_cast<size_t>(size));
    if (size == 0) return true;
    const int32_t read = FileUtil::ReadWholeFile(dir, name, out->data(), size);
    if (read < 0) return false;
    out->resize(static_cast<size_t>(read));
    return true;
}

}  // namespace

plat::serial::PortSettings ParsePortSettings(const uint8_t* bytes, int32_t count, bool* fourDataBits) {
    plat::serial::PortSettings settings;
    if (fourDataBits) *fourDataBits = false;
    if (!bytes || count <= 0) return settings;
    CPacket pkt(0, PKT_DEFAULT_DELIMITER, bytes, count, 0);
    auto next = [&pkt](int32_t def) {
        const int32_t value = pkt.GetInt(def);
        pkt.NextField();
        return value;
    };
    const int32_t baud = next(8);
    const int32_t size = next(3);
    const int32_t stop = next(0);
    const int32_t parity = next(4);
    const int32_t flow = next(0);
    if (baud >= 0 && baud < static_cast<int32_t>(std::size(kBauds))) settings.baud = kBauds[baud];
    if (size >= 0 && size < static_cast<int32_t>(std::size(kDataBits))) settings.dataBits = kDataBits[size];
    if (settings.dataBits == 4) {
        // termios has no 4-bit characters.
        settings.dataBits = 5;
        if (fourDataBits) *fourDataBits = true;
    }
    settings.twoStopBits = stop == 1;
    if (parity >= 0 && parity < static_cast<int32_t>(std::size(kParities))) settings.parity = kParities[parity];
    settings.xonXoff = flow == 1;
    settings.rts = flow == 2;
    return settings;
}

void CPrintCommands::Register(CCommandTable& table) {
    table.Register<&CPrintCommands::RFAUX>(cmd::kRFAUX, *this, CommandRules::KeepingModeSelect());
    table.Register<&CPrintCommands::PRINTFILE>(cmd::kPRINTFILE, *this);
    table.Register<&CPrintCommands::RFSPOOL>(cmd::kRFSPOOL, *this);
    table.Register<&CPrintCommands::COMDATAEVENT>(cmd::kCOMDATAEVENT, *this);
}

int CPrintCommands::RFAUX(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RFAUX");
    const std::vector<uint8_t> data = TakeRest(*pkt);
    PrintBytes(data.data(), static_cast<int32_t>(data.size()));
    return 0;
}

int CPrintCommands::PRINTFILE(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PRINTFILE");
    LogWrite(LOG_TRACE, "PrintFile");
    std::vector<uint8_t> bytes;
    // A missing or empty file prints nothing.
    if (ReadDataFile(ReadHostName(pkt), kMaxPrintFile, &bytes) && !bytes.empty())
        PrintBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    return 0;
}

int CPrintCommands::RFSPOOL(CPacket* pkt, uint8_t code) {
    LogWrite(LOG_TRACE, "RFSPOOL");
    std::u16string name = ReadHostName(pkt);
    pkt->NextField();
    const int32_t copies = std::min(pkt->GetInt(0), kMaxCopies);
    pkt->NextField();
    const std::vector<uint8_t> data = TakeRest(*pkt);
    std::vector<uint8_t> bytes;
    if (!ReadDataFile(std::move(name), kMaxPrintFile, &bytes)) {
        m_replies.SendIntReply(code, -2);
        return 0;
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    const int32_t size = static_cast<int32_t>(std::min<size_t>(bytes.size(), INT32_MAX));
    const int32_t fit = std::max<int32_t>(1, kMaxPrintFile / std::max<int32_t>(1, size));
    if (copies > fit) LogWrite(LOG_ERROR, "RFSPOOL: " + std::to_string(fit) + " copies fit in the limit");
    // Every copy takes the print path, with its own answer when the port does not open.
    for (int32_t i = 0; i < std::min(copies, fit); ++i) PrintBytes(bytes.data(), size);
    m_replies.SendIntReply(code, 1);
    return 0;
}

int CPrintCommands::COMDATAEVENT(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "COMDATAEVENT");
    ComRequest request;
    request.port = pkt->GetInt(0);
    pkt->NextField();
    request.start = FirstByte(*pkt);
    pkt->NextField();
    request.end = FirstByte(*pkt);
    pkt->NextField();
    const int32_t limit = pkt->GetInt(kDefaultReceive);
    request.limit = limit == -1 ? kDefaultReceive : std::clamp(limit, 0, kMaxReceive);
    pkt->NextField();
    request.timeoutMs = pkt->GetInt(-1);
    pkt->NextField();
    request.data = TakeRest(*pkt);
    ComDataEvent(std::move(request), true);
    return 0;
}

int CPrintCommands::PrintBytes(const uint8_t* bytes, int32_t length) {
    ICoreDevices& devices = *m_devices;
    if (devices.HasPrinter()) {
        if (!devices.PrinterConnect()) {
            LogWrite(LOG_ERROR, "PrintFile: the printer does not connect");
            return 0;
        }
        devices.PrinterSendWakeupString();
        devices.PrinterSend(bytes, length);
        devices.PrinterFlush();
        devices.PrinterDisconnect();
        return 1;
    }
    ComRequest request;
    request.timeoutMs = 0;
    request.data.assign(bytes, bytes + std::max(0, length));
    ComDataEvent(std::move(request), false);
    return 1;
}

void CPrintCommands::SendFailure() {
    m_replies.SendIntReply(kComReply, 0);
}

bool CPrintCommands::OpenPort(int32_t number) {
    const std::u16string name = u"COM" + plat::text::Utf8ToWide(std::to_string(int64_t{number} + 1)) + u":";
    const int port = plat::serial::Open(name);
    if (port < 0) {
        LogWrite(LOG_ERROR, "COMDATAEVENT: " + plat::text::WideToUtf8(name) + " cannot be opened");
        return false;
    }
    if (number > 1) Sleep(kSettleMs);  // above COM2
    // The port's settings file, when there is one; what it lacks keeps its default.
    std::u16string dir;
    std::u16string file = u"Port" + plat::text::Utf8ToWide(std::to_string(number)) + u"cfg.cfg";
    BuildFolderPath(dir, file, u"DATA");
    uint8_t bytes[256];
    const int32_t size = FileUtil::ReadWholeFile(dir, file, bytes, sizeof bytes);
    bool fourDataBits = false;
    const plat::serial::PortSettings settings = ParsePortSettings(bytes, size, &fourDataBits);
    if (fourDataBits) LogWrite(LOG_ERROR, "COMDATAEVENT: 4 data bits have no setting; using 5");
    if (!plat::serial::Configure(port, settings)) {
        LogWrite(LOG_ERROR, "COMDATAEVENT: " + plat::text::WideToUtf8(name) + " cannot be set up");
        plat::serial::Close(port);
        return false;
    }
    m_port = port;
    m_portNumber = number;
    return true;
}

void CPrintCommands::ClosePort() {
    if (m_port < 0) return;
    plat::serial::Close(m_port);
    m_port = -1;
    m_portNumber = -1;
}

void CPrintCommands::OnPoll(DWORD now) {
    if (m_port >= 0 && now - m_useTime > kIdleCloseMs) ClosePort();
}

void CPrintCommands::ComDataEvent(ComRequest request, bool reply) {
    int32_t length = static_cast<int32_t>(request.data.size());
    UnescapeBytes(request.data.data(), &length);
    request.data.resize(static_cast<size_t>(std::max(0, length)));

    // A request for another port than the open one goes to that port.
    if (m_port >= 0 && m_portNumber != request.port) ClosePort();
    if (m_port < 0 && !OpenPort(request.port)) {
        SendFailure();
        return;
    }
    m_useTime = GetTickCount();
    if (!request.data.empty() && !plat::serial::WriteAll(m_port, request.data.data(), request.data.size())) {
        LogWrite(LOG_ERROR, "COMDATAEVENT: the port cannot be written");
        ClosePort();
        if (reply) SendFailure();
        return;
    }

    std::vector<uint8_t> received;
    const uint32_t sessionEnds = m_sessionEnds;
    bool sessionEnded = false;
    const DWORD started = GetTickCount();
    auto elapsed = [started] { return GetTickCount() - started; };
    auto timedOut = [&] { return request.timeoutMs >= 0 && elapsed() >= static_cast<DWORD>(request.timeoutMs); };
    if (request.limit > 0) {
        received.reserve(static_cast<size_t>(std::min(request.limit, kDefaultReceive)));
        bool storing = request.start < 0;
        while (static_cast<int32_t>(received.size()) < request.limit) {
            uint8_t byte = 0;
            const int got = plat::serial::ReadByte(m_port, &byte);
            if (got < 0) {
                LogWrite(LOG_ERROR, "COMDATAEVENT: the port cannot be read");
                ClosePort();
                if (reply) SendFailure();
                return;
            }
            if (got == 0) {
                // The thread quitting ends the wait; the program is ending.
                if (PumpMessages() == 1) break;
                // So does the session ending meanwhile (the user's Disconnect
                // among the messages): a next session's input would wait
                // behind this one's exchange.
                if (m_sessionEnds != sessionEnds) {
                    LogWrite(LOG_ERROR, "COMDATAEVENT: the session ended while waiting for bytes");
                    sessionEnded = true;
                    break;
                }
                Sleep(kIdlePauseMs);
            } else if (!storing) {
                if (byte == request.start) {
                    storing = true;
                    received.push_back(byte);
                }
            } else {
                received.push_back(byte);
                if (byte == request.end) break;
            }
            if (timedOut()) break;
        }
    }
    plat::serial::Drain(m_port);
    m_useTime = GetTickCount();
    if (!reply || sessionEnded) return;

    const bool inTime = request.timeoutMs < 0 || elapsed() < static_cast<DWORD>(request.timeoutMs);
    const int32_t count = static_cast<int32_t>(received.size());
    std::unique_ptr<CPacketBuffer> writer = m_replies.NewWriter(count + 16);
    if (!writer) {
        LogWrite(LOG_ERROR, "COMDATAEVENT: no memory for the reply");
        SendFailure();
        return;
    }
    writer->AppendByte(kComReply).EndField();
    writer->AppendString(inTime ? "1" : "-1").EndField();
    writer->AppendBytes(received.data(), count);
    m_replies.SendReply(*writer);
}

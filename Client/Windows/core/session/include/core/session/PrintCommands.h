// The printing and serial commands: the host prints bytes, files and spooled
// files on the printer library, or without one on the first serial port, and
// exchanges bytes with a device on a serial port. The port stays open
// between commands and is closed by the core's poll a second after its last
// use.
#pragma once

#include <cstdint>
#include <vector>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"
#include "platform/Serial.h"
#include "platform/WinTypes.h"

// One serial exchange: what COMDATAEVENT reads from its fields, and what
// printing asks of the first port.
struct ComRequest {
    int32_t port = 0;       // 0 is "COM1:"
    int start = -1;         // the byte reception starts at; -1: none
    int end = -1;           // the byte that ends reception; -1: none
    int32_t limit = 0;      // bytes to receive at most; 0: none
    int32_t timeoutMs = -1; // -1: none
    std::vector<uint8_t> data;  // still escaped
};

// The port settings file "Port%dcfg.cfg" of the DATA folder, read as five
// decimal fields (baud index, data bits index, stop bits, parity index,
// flow control); what is missing or unknown keeps its default. fourDataBits
// tells that the file asked for 4 data bits, which run as 5.
plat::serial::PortSettings ParsePortSettings(const uint8_t* bytes, int32_t count, bool* fourDataBits = nullptr);

class CPrintCommands {
public:
    // Host sizes (the receive limit) are clamped to this.
    static constexpr int32_t kMaxReceive = 1024 * 1024;
    static constexpr int32_t kDefaultReceive = 4096;
    // Files larger than this are not printed.
    static constexpr int32_t kMaxPrintFile = 8 * 1024 * 1024;
    // Copies of one RFSPOOL at most, and as many as fit in kMaxPrintFile
    // bytes in all (one copy at least): a short request never prints
    // gigabytes.
    static constexpr int32_t kMaxCopies = 1000;
    // The port closes this long after its last use.
    static constexpr DWORD kIdleCloseMs = 1000;

    // devices: the core's hook, which may be replaced at any time; sessionEnds:
    // the core's count of ended sessions. Both outlive this.
    CPrintCommands(IReplyChannel& replies, ICoreDevices* const& devices, const uint32_t& sessionEnds)
        : m_replies(replies), m_devices(devices), m_sessionEnds(sessionEnds) {}
    ~CPrintCommands() { ClosePort(); }
    CPrintCommands(const CPrintCommands&) = delete;
    CPrintCommands& operator=(const CPrintCommands&) = delete;

    void Register(CCommandTable& table);

    // Whether the serial port is open.
    bool HasPort() const { return m_port >= 0; }
    // The poll: closes the port once more than a second has passed since its use.
    void OnPoll(DWORD now);
    void ClosePort();

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int RFAUX(CPacket* pkt, uint8_t code);
    int PRINTFILE(CPacket* pkt, uint8_t code);
    int RFSPOOL(CPacket* pkt, uint8_t code);
    int COMDATAEVENT(CPacket* pkt, uint8_t code);

    // Prints the bytes: on the printer library as they are, or without one on
    // the first serial port (escapes expanded). 1 when they went out.
    int PrintBytes(const uint8_t* bytes, int32_t length);
    // The serial exchange; with reply it answers 'd' FD ..., without it only
    // a port that cannot be opened is answered ('d' FD "0"). The wait for
    // bytes ends when the thread quits, and when the session ends meanwhile
    // (nothing is answered then).
    void ComDataEvent(ComRequest request, bool reply);
    bool OpenPort(int32_t number);
    void SendFailure();

    IReplyChannel& m_replies;
    ICoreDevices* const& m_devices;
    const uint32_t& m_sessionEnds;
    int m_port = -1;
    int32_t m_portNumber = -1;
    DWORD m_useTime = 0;
};

// The barcode and scanner commands: the host enables and disables decoders
// by symbology name and sets their lengths and one parameter each, applies
// barcode files of the BARCODES folder, lists them and switches the scanner.
#pragma once

#include <cstdint>
#include <string>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/DecoderSettings.h"
#include "core/session/ReplyChannel.h"

// What the barcode commands need of the session beyond the scanner: the
// framing a barcode file is read in, and switching the scanner as the host
// wants it. The core implements it.
class IBarcodeSession {
public:
    virtual ~IBarcodeSession() = default;
    virtual int32_t FramingMode() const = 0;
    virtual uint32_t CodePage() const = 0;
    virtual void EnableScanner(bool wanted) = 0;
};

class CBarcodeCommands {
public:
    // scanner, devices: the core's hooks, which may be replaced at any time;
    // appFolder: the application folder. All outlive this.
    CBarcodeCommands(IReplyChannel& replies, IBarcodeSession& session, ICoreScanner* const& scanner,
                     ICoreDevices* const& devices, const CDecoderSettings& decoders, const std::u16string& appFolder)
        : m_replies(replies),
          m_session(session),
          m_scanner(scanner),
          m_devices(devices),
          m_decoders(decoders),
          m_appFolder(appFolder) {}
    CBarcodeCommands(const CBarcodeCommands&) = delete;
    CBarcodeCommands& operator=(const CBarcodeCommands&) = delete;

    void Register(CCommandTable& table);

    // Applies the barcode file (BARCODES by default): 0 when it is missing or empty.
    int32_t SetDecodersFromFile(std::u16string name);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int GETDECODERS(CPacket* pkt, uint8_t code);
    int SETDECODERS(CPacket* pkt, uint8_t code);
    int PUSHBAR(CPacket* pkt, uint8_t code);
    int PULLBAR(CPacket* pkt, uint8_t code);
    int LISTBAR(CPacket* pkt, uint8_t code);
    int SCANNERON(CPacket* pkt, uint8_t code);

    // Applies a decoder set-up stream (the fields of SETDECODERS, or a barcode
    // file's content); always 1.
    int32_t SetDecoders(CPacket& pkt);
    // The application folder's barcode folder (one level).
    std::u16string BarcodeFolder() const;

    IReplyChannel& m_replies;
    IBarcodeSession& m_session;
    ICoreScanner* const& m_scanner;
    ICoreDevices* const& m_devices;
    const CDecoderSettings& m_decoders;
    const std::u16string& m_appFolder;
};

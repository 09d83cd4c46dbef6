// The device and system commands: the device clock, ending the session with
// a message, whether input events wait, the signature screen, and the
// commands that only answer.
#pragma once

#include <cstdint>
#include <string>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/EventQueue.h"
#include "core/session/InputCommands.h"
#include "core/session/ReplyChannel.h"
#include "core/session/SessionSettings.h"
#include "platform/WinTypes.h"

// What the signature screen asks of the core: its dialog mode. The core
// implements it.
class ISignatureSession {
public:
    virtual ~ISignatureSession() = default;
    virtual DialogMode CurrentDialogMode() const = 0;
    // Mode 4 while the signature screen is up; off leaves another box's mode.
    virtual void SetSignatureMode(bool on) = 0;
};

class CDeviceCommands {
public:
    // The signature screen's pen-capture file, in DATA.
    static constexpr const char16_t* kSignatureFile = u"$PENCAP$.PCW";
    // A signature file larger than this is not sent (a drawing is far smaller).
    static constexpr int32_t kMaxSignatureFile = 1 << 20;
    // The signature file's device path. A screen that ends without OK
    // (Cancel, the session's end) deletes it: a signature the user did not
    // hand over is not left for a host to fetch.
    static std::u16string SignatureFilePath();

    // window: the control window; devices, widgets, dialogs: the core's
    // hooks, which may be replaced at any time. All outlive this.
    CDeviceCommands(IReplyChannel& replies, ISignatureSession& session, HWND window, const CSessionSettings& settings,
                    const CEventQueue& queue, ICoreDevices* const& devices, ICoreWidgets* const& widgets,
                    ICoreDialogs* const& dialogs, const uint32_t& sessionEnds)
        : m_replies(replies),
          m_session(session),
          m_window(window),
          m_settings(settings),
          m_queue(queue),
          m_devices(devices),
          m_widgets(widgets),
          m_dialogs(dialogs),
          m_sessionEnds(sessionEnds) {}
    CDeviceCommands(const CDeviceCommands&) = delete;
    CDeviceCommands& operator=(const CDeviceCommands&) = delete;

    void Register(CCommandTable& table);

    // A widget event the core is about to send or queue, looked at first
    // while the signature screen is up: its OK, Cancel and Clear buttons.
    void OfferSignatureEvent(const uint8_t* bytes, int32_t count);

    // A new packet: its tones may sound 100 s in all again.
    void NewPacket() {
        m_toneMs = 0;
        m_tonesOver = false;
    }

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int SETTIME(CPacket* pkt, uint8_t code);
    int KILLCMD(CPacket* pkt, uint8_t code);
    int TELLEVENT(CPacket* pkt, uint8_t code);
    int WAK(CPacket* pkt, uint8_t code);
    int LoadKeyMap(CPacket* pkt, uint8_t code);
    int PLAYTONE(CPacket* pkt, uint8_t code);
    int SYSTEMCALL(CPacket* pkt, uint8_t code);
    int COMMONDLG(CPacket* pkt, uint8_t code);

    // Plays the tone file (folder TONES); without one, the sound file of its
    // name with the extension ".wav". Nothing in silent mode.
    void PlayToneFile(std::u16string name);
    // The widget stream of the signature screen: the pen capture and the
    // Clear, Cancel and OK buttons, in percent of the control window.
    void OpenSignatureScreen();
    // OK: the stored strokes go to the host, when there are any.
    void SendSignature();
    // Runs a stream the core built through the widgets; the answer goes into
    // the core's writer and is not sent.
    void RunWidgetStream(const CPacketBuffer& stream);
    // A rest: waits while paints, timers and the user's menu are served;
    // false when the program quits or the session ends meanwhile.
    bool Rest(DWORD ms);

    IReplyChannel& m_replies;
    ISignatureSession& m_session;
    HWND m_window;
    const CSessionSettings& m_settings;
    const CEventQueue& m_queue;
    ICoreDevices* const& m_devices;
    ICoreWidgets* const& m_widgets;
    ICoreDialogs* const& m_dialogs;
    const uint32_t& m_sessionEnds;  // the core's count of ended sessions
    int32_t m_toneMs = 0;           // the tone time of the packet so far
    bool m_tonesOver = false;       // its time is up, or a rest was cut short
};

// The device and system commands: the device clock, ending the session with
// a message, whether input events wait, and the commands that only answer.
#pragma once

#include <cstdint>
#include <string>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/EventQueue.h"
#include "core/session/ReplyChannel.h"
#include "core/session/SessionSettings.h"
#include "platform/WinTypes.h"

class CDeviceCommands {
public:
    // window: the control window; devices, widgets, dialogs: the core's
    // hooks, which may be replaced at any time. All outlive this.
    CDeviceCommands(IReplyChannel& replies, HWND window, const CSessionSettings& settings, const CEventQueue& queue,
                    ICoreDevices* const& devices, ICoreWidgets* const& widgets, ICoreDialogs* const& dialogs)
        : m_replies(replies),
          m_window(window),
          m_settings(settings),
          m_queue(queue),
          m_devices(devices),
          m_widgets(widgets),
          m_dialogs(dialogs) {}
    CDeviceCommands(const CDeviceCommands&) = delete;
    CDeviceCommands& operator=(const CDeviceCommands&) = delete;

    void Register(CCommandTable& table);

    int SETTIME(CPacket* pkt, uint8_t code);
    int KILLCMD(CPacket* pkt, uint8_t code);
    int TELLEVENT(CPacket* pkt, uint8_t code);
    int WAK(CPacket* pkt, uint8_t code);
    int LoadKeyMap(CPacket* pkt, uint8_t code);
    int PLAYTONE(CPacket* pkt, uint8_t code);
    int SYSTEMCALL(CPacket* pkt, uint8_t code);

    // Plays the tone file (folder TONES); without one, the sound file of its
    // name with the extension ".wav". Nothing in silent mode.
    void PlayToneFile(std::u16string name);

private:
    IReplyChannel& m_replies;
    HWND m_window;
    const CSessionSettings& m_settings;
    const CEventQueue& m_queue;
    ICoreDevices* const& m_devices;
    ICoreWidgets* const& m_widgets;
    ICoreDialogs* const& m_dialogs;
};

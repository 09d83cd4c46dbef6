// The information and INI commands: the host's questions about the device
// (GetExtendedInfo), the input panel's state (SetExtendedInfo), INI values
// of files in the logical folders, the call of a device library's function
// by name, and the facts the answers are made of (the terminal id, the radio
// association).
#pragma once

#include <cstdint>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/RadioAssociation.h"
#include "core/session/ReplyChannel.h"
#include "core/session/ScreenModel.h"
#include "core/session/SessionSettings.h"

class CInfoCommands {
public:
    // devices: the core's hook, which the control may replace at any time;
    // resumeTime: the tick of the last resume, cleared by the association
    // test once the radio's wake delay has passed. All outlive this.
    CInfoCommands(IReplyChannel& replies, const CSessionSettings& settings, const CScreenModel& screen,
                  ICoreDevices* const& devices, DWORD& resumeTime)
        : m_replies(replies), m_settings(settings), m_screen(screen), m_devices(devices), m_resumeTime(resumeTime) {}
    CInfoCommands(const CInfoCommands&) = delete;
    CInfoCommands& operator=(const CInfoCommands&) = delete;

    void Register(CCommandTable& table);

    // The radio association test: 1 associated, 0 not, -1 unknown.
    int32_t IsAssociated();
    // The terminal id: the set one, else the device library's, else the default.
    int32_t TerminalId();
    // The shell's main window, told to show or hide the input panel.
    void SetShellWindow(HWND window) { m_shellWindow = window; }
    // The tick of the last resume the association test still waits out; 0: none.
    DWORD ResumeTime() const { return m_resumeTime; }

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int GetExtendedInfo(CPacket* pkt, uint8_t code);
    int SetExtendedInfo(CPacket* pkt, uint8_t code);
    int GetIniString(CPacket* pkt, uint8_t code);
    int SetIniString(CPacket* pkt, uint8_t code);

    IReplyChannel& m_replies;
    const CSessionSettings& m_settings;
    const CScreenModel& m_screen;
    ICoreDevices* const& m_devices;
    DWORD& m_resumeTime;
    CRadioAssociation m_radio;
    HWND m_shellWindow = 0;
};

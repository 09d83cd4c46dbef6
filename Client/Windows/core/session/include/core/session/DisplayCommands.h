// The display commands: text with escape sequences (RfPrint), text laid out
// in a box (RfPrint2), screen files (PUSHSCREEN, PULLSCREEN, RESTORESCREEN)
// and the error box's request (RFERROR). They write into the screen model;
// the view repaints from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"
#include "core/session/ScreenModel.h"
#include "core/session/SessionSettings.h"

// What the display commands need of the session around the screen model:
// the cursor with the window's caret, telling the view, the input that
// printing ends, and the error box. The core implements it.
class IDisplaySession {
public:
    virtual ~IDisplaySession() = default;
    // The cursor at (row, column); in wrap mode column is an offset from the
    // start of row. Off the screen the caret is no longer wanted.
    virtual void MoveCursor(int row, int column) = 0;
    // The cursor at an on-screen position or off the screen.
    virtual void PlaceCursor(int row, int column) = 0;
    // The view is told when the screen model changed.
    virtual void ScreenChanged() = 0;
    // Wrap mode on or off (a property of the control, which printing may change).
    virtual void SetWrap(bool on) = 0;
    // A waiting input command ends (printing replaces what it showed).
    virtual void EndPendingInput() = 0;
    // Shows the host's error box; a box still open is answered and closed first.
    virtual void OpenErrorBox(ErrorBoxRequest request) = 0;
};

class CDisplayCommands {
public:
    // widgets: the core's hook, which may be replaced at any time; appFolder:
    // the application folder. All outlive this.
    CDisplayCommands(IReplyChannel& replies, IDisplaySession& session, CScreenModel& screen,
                     const CSessionSettings& settings, ICoreWidgets* const& widgets, const std::u16string& appFolder)
        : m_replies(replies),
          m_session(session),
          m_screen(screen),
          m_settings(settings),
          m_widgets(widgets),
          m_appFolder(appFolder) {}
    CDisplayCommands(const CDisplayCommands&) = delete;
    CDisplayCommands& operator=(const CDisplayCommands&) = delete;

    void Register(CCommandTable& table);

    // Writes text from (row, column) -- the cursor's where negative -- with
    // the attribute (0: the default one); the cursor goes after the text or
    // stays at its start.
    void WriteScreenText(std::u16string_view text, int row, int column, char16_t attribute, bool moveCursor);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int RfPrint(CPacket* pkt, uint8_t code);
    int RfPrint2(CPacket* pkt, uint8_t code);
    int PUSHSCREEN(CPacket* pkt, uint8_t code);
    int PULLSCREEN(CPacket* pkt, uint8_t code);
    int RESTORESCREEN(CPacket* pkt, uint8_t code);
    int RFERROR(CPacket* pkt, uint8_t code);

    void PrintWithEscapes(std::u16string_view text);
    void LoadScreen(CPacket* pkt, bool keep);
    const CoreProperties& Properties() const { return m_settings.Properties(); }

    IReplyChannel& m_replies;
    IDisplaySession& m_session;
    CScreenModel& m_screen;
    const CSessionSettings& m_settings;
    ICoreWidgets* const& m_widgets;
    const std::u16string& m_appFolder;
};

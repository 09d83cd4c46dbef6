// The menu commands: the host shows a pick list from a menu file of the
// MENUS folder and gets back the user's choice when the box closes, and
// lists the menu files.
#pragma once

#include <cstdint>
#include <string>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"

// What the menu commands ask of the core: the menu box, which answers the
// host itself when it closes. The core implements it.
class IMenuSession {
public:
    virtual ~IMenuSession() = default;
    virtual void OpenMenuBox(MenuBoxRequest request) = 0;
};

// Reads a menu file's bytes (in the packet's field encoding) into the box
// request; false when there is nothing to show (an empty file).
bool ParseMenuFile(const uint8_t* data, int32_t length, int32_t mode, uint32_t codePage, MenuBoxRequest* request);

class CMenuCommands {
public:
    // appFolder: the session's application folder (the core's, which outlives this).
    CMenuCommands(IReplyChannel& replies, IMenuSession& session, const std::u16string& appFolder)
        : m_replies(replies), m_session(session), m_appFolder(appFolder) {}
    CMenuCommands(const CMenuCommands&) = delete;
    CMenuCommands& operator=(const CMenuCommands&) = delete;

    void Register(CCommandTable& table);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int RFMENU(CPacket* pkt, uint8_t code);
    int LISTMENUFILES(CPacket* pkt, uint8_t code);

    IReplyChannel& m_replies;
    IMenuSession& m_session;
    const std::u16string& m_appFolder;
};

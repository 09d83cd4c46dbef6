// The widget commands: WIDGETACTION hands the command's widget records to
// the widgets, which write the answer.
#pragma once

#include <cstdint>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/EventQueue.h"
#include "core/session/ReplyChannel.h"
#include "core/session/SessionSettings.h"

class CWidgetCommands {
public:
    // widgets: the core's hook, which may be replaced at any time; the queue
    // is emptied of input that belongs to the screen before the change. All
    // outlive this.
    CWidgetCommands(IReplyChannel& replies, ICoreWidgets* const& widgets, const CSessionSettings& settings,
                    CEventQueue& queue)
        : m_replies(replies), m_widgets(widgets), m_settings(settings), m_queue(queue) {}
    CWidgetCommands(const CWidgetCommands&) = delete;
    CWidgetCommands& operator=(const CWidgetCommands&) = delete;

    void Register(CCommandTable& table);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int WIDGETACTION(CPacket* pkt, uint8_t code);

    IReplyChannel& m_replies;
    ICoreWidgets* const& m_widgets;
    const CSessionSettings& m_settings;
    CEventQueue& m_queue;
};

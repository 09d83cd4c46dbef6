// What a widget sees of whoever holds it (the manager): the cell metrics and
// default font it is laid out with, the owner window and the window layer,
// whether it has the widgets' focus, and the sink its events go to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/PacketBuffer.h"
#include "platform/WinTypes.h"

class CWidget;
class IWidgetWindows;

class IWidgetHost {
public:
    virtual ~IWidgetHost() = default;
    virtual int GetCellWidth() const = 0;
    virtual int GetCellHeight() const = 0;
    virtual const std::u16string& GetDefaultFace() const = 0;
    virtual int32_t GetDefaultSize() const = 0;
    virtual HWND GetOwnerWindow() const = 0;
    virtual IWidgetWindows& Windows() = 0;
    virtual bool IsFocusedWidget(const CWidget* widget) const = 0;
    // Events go out only while there is a session to send them.
    virtual bool CanSendEvents() const = 0;
    // A writer of that capacity in the session's framing; null when memory runs out.
    virtual std::unique_ptr<CPacketBuffer> NewEventWriter(int32_t capacity) = 0;
    virtual void SendEvent(const CPacketBuffer& writer) = 0;
};

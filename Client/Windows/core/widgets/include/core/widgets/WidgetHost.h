// What a widget sees of whoever holds it (the manager): the cell metrics and
// default font it is laid out with, the owner window and the window layer,
// the widgets' focus and tab order, the routing of taps, the session's
// packets and files, and the sink its events go to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/PacketBuffer.h"
#include "platform/WinTypes.h"

class CPacket;
class CWidget;
class IWidgetWindows;
struct WidgetFileRef;
struct WidgetItemList;

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
    // A widget window that receives the keyboard focus says so.
    virtual void SetFocusedWidget(CWidget* widget) = 0;
    // The tab order from the widget (none: from the start).
    virtual void MoveFocus(CWidget* current, bool backward) = 0;
    // Turns the scanner and the other input devices on or off.
    virtual void SetInputDevices(bool on) = 0;
    // Offers a window message to the widgets (a tap on a bitmap to the hot
    // spots over it); *handled tells whether one claimed it.
    virtual LRESULT RouteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) = 0;
    // A packet over bytes in the session's framing and code page; the bytes
    // must outlive it. Null when memory runs out.
    virtual std::unique_ptr<CPacket> NewPacket(const uint8_t* bytes, int32_t length) = 0;
    // The device path of a widget's file through the logical folders; empty
    // when it cannot be named.
    virtual std::u16string FilePath(const WidgetFileRef& file) = 0;
    // Item-list files already read while the current widget stream runs
    // (the files cannot change within it), by device path; null when none.
    virtual std::shared_ptr<const WidgetItemList> FindItemList(const std::u16string& /*path*/) { return nullptr; }
    virtual void KeepItemList(const std::u16string& /*path*/, std::shared_ptr<const WidgetItemList> /*list*/) {}
    // Events go out only while there is a session to send them.
    virtual bool CanSendEvents() const = 0;
    // A writer of that capacity in the session's framing; null when memory runs out.
    virtual std::unique_ptr<CPacketBuffer> NewEventWriter(int32_t capacity) = 0;
    virtual void SendEvent(const CPacketBuffer& writer) = 0;
};

// The private window messages of the client runtime, one name for each
// meaning, used by its sender and its receiver alike. The control window, the
// shell, the widgets, the extension libraries and the soft keyboard all speak
// them; no other file of theirs spells a WM_USER or WM_APP offset. A number
// that carries two meanings (to two different windows) has two names.
#pragma once

#include <cstdint>

#include "platform/WinConst.h"
#include "platform/WinTypes.h"

// ---- To the control window, from the session core.
constexpr UINT WM_CORE_MESSAGE_BOX = WM_USER + 1;     // wParam the box's style, lParam const char16_t* text
constexpr UINT WM_CORE_SEND_SEGMENT = WM_USER + 4;    // wParam byte count, lParam the bytes
constexpr UINT WM_CORE_SESSION_ENDED = WM_USER + 6;   // 0, 0
constexpr UINT WM_CORE_BUSY_STATUS = WM_USER + 18;    // wParam const char16_t* text, lParam 1 busy / 0 idle
constexpr UINT WM_CORE_END_OF_INPUT = WM_USER + 71;   // posted, 0, 0

// ---- To the control window, from the widgets.
constexpr UINT WM_WIDGET_INPUT_DEVICES = WM_USER + 12;  // wParam 1 turns the input devices on, 0 off

// ---- To the control window, from the extension libraries.
constexpr UINT WM_EXT_MSR_DATA = WM_USER + 3;         // the magnetic-stripe reader's card data
constexpr UINT WM_EXT_RFID_DATA = WM_USER + 17;       // the RFID reader's tag reads
constexpr UINT WM_EXT_SCANNER_SWITCH = WM_USER + 20;  // the scanner library switched scanners
constexpr UINT WM_EXT_SCAN = WM_USER + 21;            // scanner i reports with WM_EXT_SCAN + i

// ---- To the shell's main window (the numbers of the control's messages,
// another window).
constexpr UINT WM_REFRESH_HOSTS = WM_USER + 1;      // from the discovery thread: 0, 0
constexpr UINT WM_EDIT_HOST = WM_USER + 4;          // lParam a heap CHostEntry the receiver owns, or 0 for a new host
constexpr UINT WM_QUERY_ASSOCIATION = WM_USER + 5;  // from the socket: lParam a BOOL preset to 1, replaced with
                                                    // the radio's association state
constexpr UINT WM_SHELL_INPUT_PANEL = WM_USER + 6;  // from the session core: wParam 1 show, 0 hide
// Sent by the host connection (shell/CeSock.h): wParam the socket (0 for
// FD_CLOSE), lParam the event. The platform's own number for it, below WM_USER.
constexpr UINT WM_SOCKET_NOTIFY = 0x373;
// Posted by the wait when the connection is readable: the socket is polled
// at once rather than at the next timer tick.
constexpr UINT WM_SOCKET_READABLE = WM_USER + 100;
// Posted by the wait when the connection takes more while replies wait to be
// sent: they are flushed at once rather than at the next timer tick.
constexpr UINT WM_SOCKET_WRITABLE = WM_USER + 101;

// ---- To the shell's "Connecting To:" window.
constexpr UINT WM_CLOSE_CONNECTING = WM_APP;  // destroy it (ending its thread)

// ---- To a dialog of the shell (host, about), from itself.
constexpr UINT WM_SHELL_DIALOG_FILL = WM_APP;  // posted at WM_INITDIALOG: 0, 0; fills its controls once it stands

// ---- To the soft keyboard's window, from its input method: wParam 0 the
// callback (lParam), 1 a copy of the IMINFO at lParam, 2 fit the window to
// the panel.
constexpr UINT WM_TAPRYN_PANEL = WM_USER + 100;

// Device data as the control hands it over (scanner, magnetic stripe, RFID)
// to the core and to the focused widget.
struct DeviceDataRecord {
    int32_t reserved0;
    int32_t reserved1;
    int32_t kind;    // given by the extension; sent back as the last value of reply '5'
    int32_t length;  // characters of text
    const char16_t* text;
};

// ---- To a widget window, from its widget (the window layer's range above WM_APP).
enum CWidgetMessage : UINT {
    WIDGET_MSG_INIT = WM_APP,               // 0, the widget
    WIDGET_MSG_SHOW = WM_APP + 1,           // on, 0
    WIDGET_MSG_ENABLE = WM_APP + 2,         // on, 0
    WIDGET_MSG_SET_FOCUS = WM_APP + 3,      // 0, 0
    WIDGET_MSG_SET_LABEL = WM_APP + 4,      // 0, const char16_t* label
    WIDGET_MSG_COMMIT = WM_APP + 5,         // force, 0
    WIDGET_MSG_DEVICE_DATA = WM_APP + 6,    // 0, const DeviceDataRecord*
    WIDGET_MSG_ACTIVATE = WM_APP + 7,       // 0, 0
    WIDGET_MSG_LIST_RESET = WM_APP + 8,     // 0, 0
    WIDGET_MSG_LIST_ADD = WM_APP + 9,       // 0, const char16_t* item; the entry's index
    WIDGET_MSG_LIST_SET_DATA = WM_APP + 10, // index, number
    WIDGET_MSG_LIST_SELECT = WM_APP + 11,   // index, 0
};

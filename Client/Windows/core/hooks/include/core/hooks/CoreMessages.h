// The private window messages of the client runtime, one name for each
// meaning. The control window, the shell, the widgets and the extension
// libraries all speak them; no other file spells a WM_USER offset. A number
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

// ---- To the shell's main window, from the session core (same number as
// WM_CORE_SESSION_ENDED, another window).
constexpr UINT WM_SHELL_INPUT_PANEL = WM_USER + 6;  // wParam 1 show, 0 hide

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

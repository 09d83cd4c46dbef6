// A host-defined widget: the fields of its definition record, read from and
// written back to the widget stream, and the operations its window (when the
// window layer gives it one) and the manager use. The widget is a model
// object: everything here runs without a display.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Packet.h"
#include "common/PacketBuffer.h"
#include "core/hooks/CoreMessages.h"
#include "core/widgets/WidgetHost.h"
#include "platform/WinConst.h"
#include "platform/WinTypes.h"


// Widget types. Types 13, 14, 16, 17 and 20 to 23 (and any number outside
// 1..23) have no window.
enum WidgetType : int32_t {
    WIDGET_BUTTON = 1,
    WIDGET_HOTSPOT = 2,
    WIDGET_COMBO = 3,
    WIDGET_BUTTON_ALT = 4,
    WIDGET_RADIO_GROUP = 5,
    WIDGET_CHECKBOX = 6,
    WIDGET_ARROW = 7,
    WIDGET_STATIC = 8,
    WIDGET_BITMAP = 9,
    WIDGET_EDIT = 10,
    WIDGET_PEN_CAPTURE = 11,
    WIDGET_POPUP_MENU = 12,
    WIDGET_PROGRESS = 15,
    WIDGET_LIST = 18,
    WIDGET_HTML = 19,
};

// Coordinate modes; any other mode gives the window no position and size.
enum WidgetMode : int32_t {
    WIDGET_MODE_PIXELS = 1,
    WIDGET_MODE_CELLS = 2,
    WIDGET_MODE_PERCENT = 3,
};

// Flags of definition field 7.
enum WidgetFlag : uint32_t {
    WIDGET_FLAG_HIDDEN = 0x1,
    WIDGET_FLAG_DISABLED = 0x2,
    WIDGET_FLAG_WANT_RETURN = 0x4,
    WIDGET_FLAG_TAP_RELATIVE = 0x8,
    WIDGET_FLAG_TAP_IN_CELLS = 0x10,
};


constexpr uint32_t WIDGET_SYSTEM_COLOR = 0xFFFFFFFF;  // -1: the system's colour
constexpr uint32_t WIDGET_NO_TAB = 0xFFFFFFFF;        // never focused by tabbing
constexpr int WIDGET_EVENT_SLOTS = 3;

// Font style bits.
enum WidgetFontStyle : int32_t {
    WIDGET_FONT_BOLD = 0x1,
    WIDGET_FONT_ITALIC = 0x2,
    WIDGET_FONT_UNDERLINE = 0x4,
    WIDGET_FONT_STRIKEOUT = 0x8,
};

// A widget's label: one text that several widgets may share (SETLABEL to
// every widget keeps one copy). Empty and missing read alike.
class WidgetLabel {
public:
    WidgetLabel() = default;
    explicit WidgetLabel(std::u16string text) { *this = std::move(text); }
    WidgetLabel& operator=(std::u16string text) {
        m_text = text.empty() ? nullptr : std::make_shared<const std::u16string>(std::move(text));
        return *this;
    }
    const std::u16string& str() const { return m_text ? *m_text : Empty(); }
    const char16_t* c_str() const { return str().c_str(); }
    bool empty() const { return !m_text; }
    // The bytes the text holds.
    size_t Bytes() const { return m_text ? m_text->size() * sizeof(char16_t) : 0; }
    // Whether two labels are one copy.
    bool SameCopy(const WidgetLabel& other) const { return m_text == other.m_text; }
    const void* Copy() const { return m_text.get(); }
    bool operator==(const WidgetLabel& other) const { return str() == other.str(); }
    bool operator==(std::u16string_view text) const { return str() == text; }

private:
    static const std::u16string& Empty() {
        static const std::u16string empty;
        return empty;
    }
    std::shared_ptr<const std::u16string> m_text;
};

// The fields of one widget, in the order of the definition. A string that
// was never given has no value (written back as an empty field).
struct WidgetFields {
    int32_t type = 0;
    uint32_t id = 0;
    int32_t mode = 0;
    int32_t row = 0;
    int32_t column = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::optional<std::u16string> fontFace;
    uint32_t textColor = WIDGET_SYSTEM_COLOR;
    uint32_t backColor = WIDGET_SYSTEM_COLOR;
    // No label and an empty one read and write alike, so the label is a plain text.
    WidgetLabel label;
    std::optional<std::u16string> value;
    uint32_t options = 0;
    int32_t fontPoints = 0;
    int32_t fontStyle = 0;
    std::array<int32_t, WIDGET_EVENT_SLOTS> replyCode{-1, -1, -1};
    std::array<std::optional<std::u16string>, WIDGET_EVENT_SLOTS> dataText;
    std::array<std::optional<std::u16string>, WIDGET_EVENT_SLOTS> extraText;
    uint32_t flags = 0;
    uint32_t windowStyle = 0;
    std::optional<std::vector<uint8_t>> itemData;  // raw bytes of field 9
    std::optional<std::u16string> name;
    uint32_t tabIndex = WIDGET_NO_TAB;
    std::optional<std::u16string> text;

    bool operator==(const WidgetFields&) const = default;
};

// A window's position and size in pixels of the owner's client area.
struct WidgetRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const WidgetRect&) const = default;
};

// The font a widget window gets: the window layer creates it.
struct WidgetFont {
    std::u16string face;
    bool fixedPitchAnsi = false;  // no face anywhere: "Courier New", fixed pitch, ANSI
    int32_t points = 14;
    int32_t weight = 0;  // 700 for bold
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    // The logical font height for a device context of that many pixels per inch.
    int32_t HeightFor(uint32_t logPixelsY) const {
        return -static_cast<int32_t>(static_cast<uint32_t>(points) * logPixelsY / 72u);
    }
};

// Where a widget's file lies: a name and the logical folder it defaults to.
struct WidgetFileRef {
    std::u16string name;
    std::u16string_view defaultFolder;
};

class CWidget {
public:
    CWidget() = default;
    virtual ~CWidget();

    CWidget(const CWidget&) = delete;
    CWidget& operator=(const CWidget&) = delete;

    // Reads one definition record, the packet's cursor on its first field;
    // stops at the end of the record (0xFE) and returns the id.
    uint32_t Parse(IWidgetHost* host, CPacket& packet);
    // Appends the widget as one definition record (no 0xFE). The record goes
    // in whole or not at all: false, with the writer as before, when it does
    // not fit.
    bool WriteState(CPacketBuffer& writer) const;

    // The window by type, through the host's window layer: 0, or -1 for a
    // type without a window (or when none could be made).
    int CreateWidgetWindow();
    void DestroyWidgetWindow();
    // -1 when the widget has no window.
    LRESULT SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) const;
    void Show(bool on) { SendToWindow(WIDGET_MSG_SHOW, on ? 1 : 0, 0); }
    void Enable(bool on) { SendToWindow(WIDGET_MSG_ENABLE, on ? 1 : 0, 0); }
    void SetFocus() { SendToWindow(WIDGET_MSG_SET_FOCUS, 0, 0); }
    // SETLABEL's value and label of the action record at the packet's cursor.
    struct LabelChange {
        std::optional<std::u16string> value;
        bool hasValue = false;  // the record gave "value 0xFB label"
        WidgetLabel label;
    };
    static LabelChange ReadLabel(CPacket& packet);
    // SETLABEL: the packet's cursor on the action record's first field.
    void SetLabel(CPacket& packet) { SetLabel(ReadLabel(packet)); }
    void SetLabel(const LabelChange& change);
    // The bytes the widget's texts and data hold, its label aside.
    size_t BytesBesideLabel() const;
    // What the widget would hold after the change, its label included.
    size_t BytesAfter(const LabelChange& change) const;
    bool CanTakeFocus() const;
    // Offers a window message of the owner; *handled tells whether the widget
    // claimed it. A tap claimed by a hot spot reaches its window with the
    // window that received it as wParam (the tap is in that window's client
    // coordinates).
    LRESULT HandleMessage(HWND owner, UINT message, WPARAM wParam, LPARAM lParam, bool* handled);

    // The widget event of a slot (0..2) with the text the window reports.
    void SendEvent(std::u16string_view text, int slot);

    // Position and size of the window in the owner's client area of the given
    // size. extraWidth (in the widget's unit) widens the window only; the
    // stored width stays as the host gave it.
    WidgetRect Placement(int32_t ownerWidth, int32_t ownerHeight, int32_t extraWidth = 0) const;
    // The window style: WS_CHILD, the style field, WS_VISIBLE unless hidden,
    // WS_DISABLED when disabled (the type's own bits are the window layer's).
    uint32_t BaseWindowStyle() const;
    WidgetFont ChooseFont() const;
    // Colours the window draws with: the system's where the widget says -1.
    uint32_t TextColor(uint32_t systemButtonText) const;
    uint32_t BackColor(uint32_t systemWindow) const;

    // The files later widget kinds read: bitmaps and pen-capture files by
    // the label in DATA; item lists in MENUS with ".MNU" when the name has no '.'.
    WidgetFileRef DataFile() const;
    static WidgetFileRef ItemListFile(std::u16string_view name);

    uint32_t GetId() const { return m_fields.id; }
    void SetId(uint32_t id) { m_fields.id = id; }
    const std::optional<std::u16string>& GetName() const { return m_fields.name; }
    uint32_t GetTabIndex() const { return m_fields.tabIndex; }
    int32_t GetType() const { return m_fields.type; }
    HWND GetWindow() const { return m_window; }
    // The window layer tells the widget its window as soon as it exists (its
    // first messages may come back to the widget), and when it went.
    void AttachWindow(HWND window) { m_window = window; }
    void WindowGone(HWND window) {
        if (m_window == window) m_window = 0;
    }
    IWidgetHost* GetHost() { return m_host; }
    const WidgetFields& Fields() const { return m_fields; }
    // The window changes the label and value (SETLABEL, edit input) and
    // stores the default geometry it computes.
    WidgetFields& MutableFields() { return m_fields; }

private:
    WidgetFields m_fields;
    IWidgetHost* m_host = nullptr;
    HWND m_window = 0;
};

// Types that can take the keyboard focus, indexed by type 0..24.
bool WidgetTypeTakesFocus(int32_t type);
// Types that get a window.
bool WidgetTypeHasWindow(int32_t type);
// Moves to the next piece of the given level (field, sub-field, item or
// record). False when a coarser separator (or the end) came first: the
// cursor then stays on it, its field is empty, and every later read and move
// is a no-op.
bool WidgetNextPiece(CPacket& packet, uint8_t separator);
// The text of the packet's current field (up to its next separator), in the packet's encoding.
std::u16string WidgetFieldText(const CPacket& packet);

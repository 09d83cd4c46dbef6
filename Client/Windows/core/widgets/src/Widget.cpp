#include "core/widgets/Widget.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "core/widgets/WidgetManager.h"
#include "platform/Message.h"

namespace {

bool Next(CPacket& p, uint8_t separator) { return WidgetNextPiece(p, separator); }

std::u16string Text(const CPacket& p) { return WidgetFieldText(p); }

// Each value is stored only when its piece is not empty.
void ReadInt(const CPacket& p, int32_t& out) {
    if (p.GetFieldLength() > 0) out = p.GetInt(out);
}
void ReadUnsigned(const CPacket& p, uint32_t& out) {
    if (p.GetFieldLength() > 0) out = p.GetULong(out);
}
void ReadText(const CPacket& p, std::optional<std::u16string>& out) {
    if (p.GetFieldLength() > 0) out = Text(p);
}

// Bytes from the cursor up to the end of the field, separators below a field
// included; the record's end and the command delimiter end it too.
// Nothing for an empty field.
void RawField(const CPacket& p, std::optional<std::vector<uint8_t>>& out) {
    const uint8_t* at = p.GetCursor();
    const int32_t left = p.BytesLeft();
    int32_t n = 0;
    while (n < left && at[n] != PKT_END_FIELD && at[n] != PKT_END_RECORD && at[n] != p.GetCommandDelimiter()) ++n;
    if (n > 0) out.emplace(at, at + n);
}

// Appends pieces and remembers whether every one went in.
class RecordWriter {
public:
    explicit RecordWriter(CPacketBuffer& writer) : m_writer(writer) {}
    RecordWriter& Bytes(const void* bytes, size_t count) {
        if (count == 0) return *this;
        const int32_t before = m_writer.GetLength();
        if (count > static_cast<size_t>(INT32_MAX)) {
            m_ok = false;
            return *this;
        }
        m_writer.AppendBytes(bytes, static_cast<int32_t>(count));
        m_ok = m_ok && m_writer.GetLength() == before + static_cast<int32_t>(count);
        return *this;
    }
    RecordWriter& Byte(uint8_t b) { return Bytes(&b, 1); }
    RecordWriter& Signed(int32_t v) { return Number(std::to_string(v)); }
    RecordWriter& Unsigned(uint32_t v) { return Number(std::to_string(v)); }
    RecordWriter& Text(std::u16string_view text) {
        if (!text.empty()) {
            const std::string bytes = m_writer.EncodeWide(text);
            Bytes(bytes.data(), bytes.size());
        }
        return *this;
    }
    RecordWriter& Wide(const std::optional<std::u16string>& text) { return text ? Text(*text) : *this; }
    bool Ok() const { return m_ok; }

private:
    RecordWriter& Number(const std::string& digits) { return Bytes(digits.data(), digits.size()); }
    CPacketBuffer& m_writer;
    bool m_ok = true;
};

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

bool WidgetNextPiece(CPacket& p, uint8_t separator) {
    const int32_t before = p.GetPosition();
    p.SkipTo(separator);
    const int32_t at = p.GetPosition();
    return at > before && p.GetData()[at - 1] == separator;
}

std::u16string WidgetFieldText(const CPacket& p) {
    const int32_t n = p.GetWide(nullptr, 0);
    std::u16string s(static_cast<size_t>(n), u'\0');
    s.resize(static_cast<size_t>(std::max(0, p.GetWide(s.data(), n))));
    return s;
}

bool WidgetTypeTakesFocus(int32_t type) {
    static constexpr bool kFocus[25] = {
        false, true,  false, true,  true,  true,  true,  true,  false, false, true,  false, false,
        false, false, false, false, false, true,  true,  false, true,  false, false, false,
    };
    return type >= 0 && type < 25 && kFocus[type];
}

bool WidgetTypeHasWindow(int32_t type) {
    return (type >= 1 && type <= 12) || type == WIDGET_PROGRESS || type == WIDGET_LIST || type == WIDGET_HTML;
}

CWidget::~CWidget() { DestroyWidgetWindow(); }

uint32_t CWidget::Parse(IWidgetHost* host, CPacket& p) {
    m_host = host;
    WidgetFields& f = m_fields;
    ReadInt(p, f.type);
    Next(p, PKT_END_FIELD);  // 2: the action, read by the stream
    Next(p, PKT_END_FIELD);  // 3: a name here leaves the client's own id
    if (p.GetFieldLength() > 0 && p.PeekByte(0) >= '0' && p.PeekByte(0) <= '9') f.id = p.GetULong(f.id);

    Next(p, PKT_END_FIELD);  // 4: geometry
    ReadInt(p, f.mode);
    for (int32_t* v : {&f.row, &f.column, &f.width, &f.height}) {
        Next(p, PKT_END_SUBFIELD);
        ReadInt(p, *v);
    }

    Next(p, PKT_END_FIELD);  // 5: looks
    ReadText(p, f.fontFace);
    Next(p, PKT_END_SUBFIELD);
    ReadUnsigned(p, f.textColor);
    Next(p, PKT_END_SUBFIELD);
    ReadUnsigned(p, f.backColor);
    if (Next(p, PKT_END_SUBFIELD)) {
        // "value 0xFB label" or the label alone; an empty one is an empty label.
        std::u16string first = Text(p);
        if (Next(p, PKT_END_ITEM)) {
            if (!first.empty()) f.value = std::move(first);
            f.label = Text(p);
        } else {
            f.label = std::move(first);
        }
    }
    Next(p, PKT_END_SUBFIELD);
    ReadUnsigned(p, f.options);
    Next(p, PKT_END_SUBFIELD);
    ReadInt(p, f.fontPoints);
    Next(p, PKT_END_SUBFIELD);
    ReadInt(p, f.fontStyle);

    Next(p, PKT_END_FIELD);  // 6: event slots
    for (int k = 0; k < WIDGET_EVENT_SLOTS; ++k) {
        if (k > 0) Next(p, PKT_END_ITEM);
        ReadInt(p, f.replyCode[static_cast<size_t>(k)]);
    }
    for (auto* texts : {&f.dataText, &f.extraText}) {
        Next(p, PKT_END_SUBFIELD);
        for (int k = 0; k < WIDGET_EVENT_SLOTS; ++k) {
            if (k > 0) Next(p, PKT_END_ITEM);
            ReadText(p, (*texts)[static_cast<size_t>(k)]);
        }
    }

    Next(p, PKT_END_FIELD);  // 7
    ReadText(p, f.value);
    Next(p, PKT_END_SUBFIELD);
    ReadUnsigned(p, f.flags);
    Next(p, PKT_END_FIELD);  // 8
    ReadUnsigned(p, f.windowStyle);
    if (Next(p, PKT_END_FIELD)) RawField(p, f.itemData);  // 9: kept raw
    Next(p, PKT_END_FIELD);  // 10
    ReadText(p, f.name);
    Next(p, PKT_END_FIELD);  // 11
    ReadUnsigned(p, f.tabIndex);
    Next(p, PKT_END_FIELD);  // 12
    ReadText(p, f.text);
    return f.id;
}

bool CWidget::WriteState(CPacketBuffer& writer) const {
    const WidgetFields& f = m_fields;
    const int32_t start = writer.GetLength();
    RecordWriter w(writer);
    w.Signed(f.type).Byte(PKT_END_FIELD).Byte('1').Byte(PKT_END_FIELD).Unsigned(f.id).Byte(PKT_END_FIELD);
    w.Signed(f.mode).Byte(PKT_END_SUBFIELD);
    if (f.mode != 0) {
        for (int32_t v : {f.row, f.column, f.width, f.height}) w.Signed(v).Byte(PKT_END_SUBFIELD);
    }
    w.Byte(PKT_END_FIELD);
    w.Wide(f.fontFace).Byte(PKT_END_SUBFIELD);
    w.Unsigned(f.textColor).Byte(PKT_END_SUBFIELD).Unsigned(f.backColor).Byte(PKT_END_SUBFIELD);
    w.Text(f.label.str()).Byte(PKT_END_SUBFIELD).Unsigned(f.options).Byte(PKT_END_SUBFIELD);
    w.Signed(f.fontPoints).Byte(PKT_END_SUBFIELD).Signed(f.fontStyle).Byte(PKT_END_SUBFIELD).Byte(PKT_END_FIELD);
    for (int32_t code : f.replyCode) w.Signed(code).Byte(PKT_END_ITEM);
    w.Byte(PKT_END_SUBFIELD);
    for (const auto* texts : {&f.dataText, &f.extraText}) {
        for (const auto& t : *texts) w.Wide(t).Byte(PKT_END_ITEM);
        w.Byte(PKT_END_SUBFIELD);
    }
    w.Byte(PKT_END_FIELD);
    w.Wide(f.value).Byte(PKT_END_SUBFIELD).Unsigned(f.flags).Byte(PKT_END_SUBFIELD).Byte(PKT_END_FIELD);
    w.Unsigned(f.windowStyle).Byte(PKT_END_FIELD);
    if (f.itemData) w.Bytes(f.itemData->data(), f.itemData->size());
    w.Byte(PKT_END_FIELD);
    w.Wide(f.name).Byte(PKT_END_FIELD);
    if (f.tabIndex != WIDGET_NO_TAB) w.Unsigned(f.tabIndex);
    w.Byte(PKT_END_FIELD);
    w.Wide(f.text).Byte(PKT_END_FIELD);
    if (!w.Ok()) writer.Truncate(start);
    return w.Ok();
}

int CWidget::CreateWidgetWindow() {
    if (!m_host || m_window || !WidgetTypeHasWindow(m_fields.type)) return -1;
    IWidgetWindows& windows = m_host->Windows();
    const HWND owner = m_host->GetOwnerWindow();
    int32_t width = 0, height = 0;
    if (m_fields.mode == WIDGET_MODE_PERCENT) windows.GetClientSize(owner, &width, &height);
    m_window = windows.Create(*this, owner, Placement(width, height), BaseWindowStyle());
    return m_window ? 0 : -1;
}

void CWidget::DestroyWidgetWindow() {
    if (!m_window) return;
    const HWND window = m_window;
    m_window = 0;
    if (m_host) m_host->Windows().Destroy(window);
}

LRESULT CWidget::SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (!m_window) return -1;
    return ::SendMessage(m_window, message, wParam, lParam);
}

CWidget::LabelChange CWidget::ReadLabel(CPacket& p) {
    LabelChange change;
    Next(p, PKT_END_FIELD);
    Next(p, PKT_END_FIELD);
    Next(p, PKT_END_FIELD);
    Next(p, PKT_END_FIELD);  // 5
    for (int i = 0; i < 3; ++i) Next(p, PKT_END_SUBFIELD);
    std::u16string label = Text(p);
    if (Next(p, PKT_END_ITEM)) {
        change.hasValue = true;
        if (!label.empty()) change.value = std::move(label);
        label = Text(p);
    }
    if (label == u"\x0001") label.clear();
    change.label = std::move(label);
    return change;
}

void CWidget::SetLabel(const LabelChange& change) {
    if (change.hasValue) m_fields.value = change.value;
    // A pen capture keeps its file when the label is empty: the drawing is
    // cleared and saved under the same name, so a cleared signature is not
    // left behind in its file.
    if (!(m_fields.type == WIDGET_PEN_CAPTURE && change.label.empty())) m_fields.label = change.label;
    SendToWindow(WIDGET_MSG_SET_LABEL, 0, reinterpret_cast<LPARAM>(m_fields.label.c_str()));
}

namespace {
size_t TextBytes(const std::optional<std::u16string>& text) { return text ? text->size() * sizeof(char16_t) : 0; }
}  // namespace

size_t CWidget::BytesBesideLabel() const {
    const WidgetFields& f = m_fields;
    size_t bytes = TextBytes(f.fontFace) + TextBytes(f.value) + TextBytes(f.name) + TextBytes(f.text);
    for (const auto* texts : {&f.dataText, &f.extraText})
        for (const auto& t : *texts) bytes += TextBytes(t);
    return bytes + (f.itemData ? f.itemData->size() : 0);
}

size_t CWidget::BytesAfter(const LabelChange& change) const {
    const bool keepsLabel = m_fields.type == WIDGET_PEN_CAPTURE && change.label.empty();
    size_t bytes = BytesBesideLabel() + (keepsLabel ? m_fields.label.Bytes() : change.label.Bytes());
    if (change.hasValue) bytes = bytes - TextBytes(m_fields.value) + TextBytes(change.value);
    return bytes;
}

bool CWidget::CanTakeFocus() const {
    if (!WidgetTypeTakesFocus(m_fields.type) || m_fields.tabIndex == WIDGET_NO_TAB || !m_window || !m_host) {
        return false;
    }
    IWidgetWindows& windows = m_host->Windows();
    return windows.IsVisible(m_window) && windows.IsEnabled(m_window);
}

LRESULT CWidget::HandleMessage(HWND owner, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = false;
    if (!m_host) return 0;
    IWidgetWindows& windows = m_host->Windows();
    const bool ours = m_window != 0 && static_cast<LPARAM>(m_window) == lParam;
    bool claim = false;
    switch (message) {
    case WM_COMMAND: claim = ours; break;
    // The item's control id is the widget's id.
    case WM_DRAWITEM: claim = m_window != 0 && wParam == m_fields.id; break;
    case WM_CONTEXTMENU:
        claim = m_fields.type == WIDGET_POPUP_MENU && m_window && windows.IsEnabled(m_window);
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        if (!ours) return 0;
        // The window answers with its brush; none is no claim.
        const LRESULT brush = SendToWindow(message, wParam, lParam);
        *handled = brush != 0 && brush != -1;
        return *handled ? brush : 0;
    }
    case WM_LBUTTONDOWN: {
        if (m_fields.type != WIDGET_HOTSPOT || !m_window || !windows.IsEnabled(m_window)) break;
        int32_t x = static_cast<int16_t>(lParam & 0xFFFF);
        int32_t y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
        windows.ClientToScreen(owner, &x, &y);
        WidgetRect r;
        if (!windows.GetScreenRect(m_window, &r) || x < r.x || y < r.y || x >= r.x + r.width || y >= r.y + r.height)
            break;
        *handled = true;
        return SendToWindow(message, static_cast<WPARAM>(owner), lParam);
    }
    case WIDGET_MSG_DEVICE_DATA: {
        if (!m_window) break;
        const HWND focus = windows.GetFocus();
        claim = focus == m_window || (focus != m_host->GetOwnerWindow() && m_host->IsFocusedWidget(this));
        break;
    }
    case WIDGET_MSG_ACTIVATE: claim = true; break;
    default: break;
    }
    if (!claim) return 0;
    *handled = true;
    return SendToWindow(message, wParam, lParam);
}

void CWidget::SendEvent(std::u16string_view text, int slot) {
    if (!m_host || !m_host->CanSendEvents() || slot < 0 || slot >= WIDGET_EVENT_SLOTS) return;
    const size_t k = static_cast<size_t>(slot);
    const std::optional<std::u16string>& data = m_fields.dataText[k];
    const std::optional<std::u16string>& extra = m_fields.extraText[k];
    // Sized in bytes: a character takes at most 4 on the wire.
    const size_t characters = (data ? data->size() : text.size()) + (extra ? extra->size() : 0);
    const size_t capacity = characters * 4 + 50;
    if (capacity > static_cast<size_t>(INT32_MAX)) return;
    std::unique_ptr<CPacketBuffer> writer = m_host->NewEventWriter(static_cast<int32_t>(capacity));
    if (!writer) return;
    const int32_t code = m_fields.replyCode[k];
    // '0' + code modulo 256, in unsigned arithmetic: a code may be any int32.
    writer->AppendByte(code > 0 ? static_cast<uint8_t>(static_cast<uint32_t>(code) + '0') : uint8_t{'8'}).EndField();
    writer->AppendWide(data ? data->c_str() : std::u16string(text).c_str()).EndField();
    writer->AppendULong(m_fields.id).EndSubField();
    if (extra && !extra->empty()) {
        writer->AppendWide(extra->c_str());
    } else {
        writer->AppendString("-1");
    }
    m_host->SendEvent(*writer);
}

WidgetRect CWidget::Placement(int32_t ownerWidth, int32_t ownerHeight, int32_t extraWidth) const {
    const WidgetFields& f = m_fields;
    const int64_t width = static_cast<int64_t>(f.width) + extraWidth;
    int64_t cw = 1, ch = 1;
    switch (f.mode) {
    case WIDGET_MODE_PIXELS: break;
    case WIDGET_MODE_CELLS:
        if (m_host) cw = m_host->GetCellWidth(), ch = m_host->GetCellHeight();
        break;
    case WIDGET_MODE_PERCENT:
        return {Clamp32(int64_t{ownerWidth} * f.column / 100), Clamp32(int64_t{ownerHeight} * f.row / 100),
                Clamp32(int64_t{ownerWidth} * width / 100), Clamp32(int64_t{ownerHeight} * f.height / 100)};
    default: return {};
    }
    return {Clamp32(f.column * cw), Clamp32(f.row * ch), Clamp32(width * cw), Clamp32(f.height * ch)};
}

uint32_t CWidget::BaseWindowStyle() const {
    uint32_t style = WS_CHILD | m_fields.windowStyle;
    if (!(m_fields.flags & WIDGET_FLAG_HIDDEN)) style |= WS_VISIBLE;
    if (m_fields.flags & WIDGET_FLAG_DISABLED) style |= WS_DISABLED;
    return style;
}

WidgetFont CWidget::ChooseFont() const {
    const WidgetFields& f = m_fields;
    WidgetFont font;
    font.weight = (f.fontStyle & WIDGET_FONT_BOLD) ? 700 : 0;
    font.italic = f.fontStyle & WIDGET_FONT_ITALIC;
    font.underline = f.fontStyle & WIDGET_FONT_UNDERLINE;
    font.strikeOut = f.fontStyle & WIDGET_FONT_STRIKEOUT;
    const std::u16string defaultFace = m_host ? m_host->GetDefaultFace() : std::u16string();
    const int32_t defaultSize = m_host ? m_host->GetDefaultSize() : 0;
    if (f.fontFace && !f.fontFace->empty()) {
        font.face = *f.fontFace;
    } else if (!defaultFace.empty()) {
        font.face = defaultFace;
    } else {
        font.face = u"Courier New";
        font.fixedPitchAnsi = true;
    }
    font.points = f.fontPoints >= 1 ? f.fontPoints : defaultSize != 0 ? defaultSize : 14;
    return font;
}

uint32_t CWidget::TextColor(uint32_t systemButtonText) const {
    return m_fields.textColor == WIDGET_SYSTEM_COLOR ? systemButtonText : m_fields.textColor;
}

uint32_t CWidget::BackColor(uint32_t systemWindow) const {
    return m_fields.backColor == WIDGET_SYSTEM_COLOR ? systemWindow : m_fields.backColor;
}

WidgetFileRef CWidget::DataFile() const { return {m_fields.label.str(), u"DATA"}; }

WidgetFileRef CWidget::ItemListFile(std::u16string_view name) {
    std::u16string file(name);
    if (file.find(u'.') == std::u16string::npos) file += u".MNU";
    return {std::move(file), u"MENUS"};
}

#include "core/widgets/WidgetManager.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/support/LogFile.h"
#include "platform/Message.h"
#include "platform/Text.h"

namespace {

IWidgetWindows g_platformWindows;

const char* const kActionNames[] = {
    nullptr,
    "WID_ACTION_ADD",
    "WID_ACTION_REMOVE",
    "WID_ACTION_HIDE",
    "WID_ACTION_SHOW",
    "WID_ACTION_SETLABEL",
    "WID_ACTION_ENABLE",
    "WID_ACTION_DISABLE",
    "WID_ACTION_SETFOCUS",
    "WID_ACTION_GETLABEL",
};

}  // namespace

CWidgetManager::CWidgetManager() : m_windows(&g_platformWindows) { m_widgets.reserve(20); }

CWidgetManager::~CWidgetManager() { RemoveAll(); }

void CWidgetManager::SetWindowLayer(IWidgetWindows* windows) { m_windows = windows ? windows : &g_platformWindows; }

int32_t CWidgetManager::ProcessWidgetStream(CPacket& packet, CPacketBuffer* writer) {
    const StreamScope scope(*this);
    LogPrintf(LOG_TRACE, "ProcessWidgetStream (%d bytes)", packet.BytesLeft());
    if (writer) writer->Reset(), writer->AppendByte('w').EndField();
    // The stream is the rest of this command: a later command of the packet
    // belongs to the dispatcher.
    while (packet.BytesLeft() > 0 && packet.PeekByte(-1) != packet.GetCommandDelimiter()) {
        const int32_t start = packet.GetPosition();
        std::unique_ptr<CPacket> record(packet.CloneRest());
        if (!record) break;
        const int32_t scope = packet.GetInt(-1);
        packet.NextField();
        const int32_t action = packet.GetInt(0);
        packet.NextField();
        const uint32_t idNumber = packet.GetULong(0);
        const std::string idBytes(reinterpret_cast<const char*>(packet.GetCursor()),
                                  static_cast<size_t>(packet.GetFieldLength()));
        const std::u16string idText = WidgetFieldText(packet);
        const std::string idLog = plat::text::WideToUtf8(idText);
        if (writer && writer->GetLength() > 2) writer->EndRecord();
        packet.NextRecord();
        // A byte that outranks a record (and is not the delimiter) ends the stream.
        const bool stuck = packet.GetPosition() == start;

        if (action < WID_ACTION_ADD || action > WID_ACTION_GETLABEL) {
            LogPrintf(LOG_TRACE, "Unknown widget action. (%s)", idLog.c_str());
        } else {
            LogPrintf(LOG_TRACE, "%s (%s)", kActionNames[action], idLog.c_str());
        }
        if (action == WID_ACTION_ADD) {
            const int64_t id = AddWidget(*record);
            if (writer) id < 0 ? writer->AppendString("-1") : writer->AppendULong(static_cast<uint32_t>(id));
        } else if (action == WID_ACTION_REMOVE) {
            if (scope == 0) {
                RemoveAll();
                if (writer) writer->AppendString("1");
            } else {
                RemoveWidget(idNumber);
                if (writer) writer->AppendULong(idNumber);
            }
        } else if (action > WID_ACTION_REMOVE && action <= WID_ACTION_GETLABEL) {
            if (scope == 0 && action != WID_ACTION_SETFOCUS) {
                AllWidgetsAction(action, *record, writer);
            } else {
                CWidget* widget = FindById(idNumber);
                if (!widget) widget = FindByName(idText);
                LogWrite(LOG_TRACE, widget ? "  found widget" : "  widget not found");
                if (!widget) {
                    if (writer) writer->AppendInt(kNotFound);
                } else if (action == WID_ACTION_GETLABEL) {
                    if (writer) widget->WriteState(*writer);
                } else if (action == WID_ACTION_SETLABEL) {
                    const CWidget::LabelChange change = CWidget::ReadLabel(*record);
                    const bool fits = LabelFits(*widget, change);
                    if (fits) widget->SetLabel(change);
                    if (writer && !fits) writer->AppendInt(-1);
                    if (writer && fits) writer->AppendBytes(idBytes.data(), static_cast<int32_t>(idBytes.size()));
                } else {
                    OneWidgetAction(action, *widget, *record);
                    if (writer) writer->AppendBytes(idBytes.data(), static_cast<int32_t>(idBytes.size()));
                }
            }
        }
        if (stuck) break;
    }
    return packet.BytesLeft();
}

void CWidgetManager::OneWidgetAction(int32_t action, CWidget& widget, CPacket& record) {
    switch (action) {
    case WID_ACTION_HIDE:
        widget.Enable(false);
        widget.Show(false);
        if (m_focused == &widget) m_focused = nullptr;
        break;
    case WID_ACTION_SHOW:
        widget.Show(true);
        widget.Enable(true);
        break;
    case WID_ACTION_SETLABEL: widget.SetLabel(record); break;
    case WID_ACTION_ENABLE: widget.Enable(true); break;
    case WID_ACTION_DISABLE:
        widget.Enable(false);
        if (m_focused == &widget) m_focused = nullptr;
        break;
    case WID_ACTION_SETFOCUS: widget.SetFocus(); break;
    default: break;
    }
}

void CWidgetManager::AllWidgetsAction(int32_t action, const CPacket& record, CPacketBuffer* writer) {
    switch (action) {
    case WID_ACTION_HIDE:
        LogWrite(LOG_TRACE, "  Hide all widgets");
        ShowAll(false);
        m_focused = nullptr;
        break;
    case WID_ACTION_SHOW:
        LogWrite(LOG_TRACE, "  Show all widgets");
        EnableAll(true);
        ShowAll(true);
        break;
    case WID_ACTION_SETLABEL: {
        // Every widget gets the same label, one copy of it; past a bound none changes.
        std::unique_ptr<CPacket> copy(record.CloneRest());
        if (!copy) return;
        const CWidget::LabelChange change = CWidget::ReadLabel(*copy);
        size_t total = change.label.Bytes();
        bool fits = true;
        for (const auto& w : m_widgets) {
            const size_t bytes = w->BytesAfter(change);
            fits = fits && bytes <= kMaxWidgetBytes;
            total += bytes - change.label.Bytes();
        }
        if (!fits || total > kMaxAllWidgetBytes) {
            if (writer) writer->AppendString("-1");
            return;
        }
        for (size_t i = 0; i < m_widgets.size(); ++i) m_widgets[i]->SetLabel(change);
        break;
    }
    case WID_ACTION_ENABLE: EnableAll(true); break;
    case WID_ACTION_DISABLE:
        EnableAll(false);
        m_focused = nullptr;
        break;
    case WID_ACTION_GETLABEL:
        if (writer) {
            writer->AppendString("1").EndField();
            WriteAll(*writer);
        }
        return;
    default: return;
    }
    if (writer) writer->AppendString("1");
}

int64_t CWidgetManager::AddWidget(CPacket& packet) {
    std::unique_ptr<CWidget> widget = NewWidget();
    if (!widget) return -1;
    try {
        // Grown in steps that double, so adding many stays linear.
        if (m_widgets.size() == m_widgets.capacity())
            m_widgets.reserve(std::min(kMaxWidgets, std::max<size_t>(20, m_widgets.capacity() * 2)));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const uint32_t ownId = NextOwnId();
    widget->SetId(ownId);
    const uint32_t id = widget->Parse(this, packet);
    // A definition that replaces a widget keeps the count.
    const CWidget* replaced = FindById(id);
    const bool replaces = replaced != nullptr;
    if (!replaces && m_widgets.size() >= kMaxWidgets) return -1;
    const size_t bytes = widget->BytesBesideLabel() + widget->Fields().label.Bytes();
    if (bytes > kMaxWidgetBytes || !AllFit(replaced, bytes)) return -1;
    // Taken only when the definition kept it.
    if (id == ownId) m_nextOwnId = ownId == 0xFFFFFFFFu ? kFirstOwnId : ownId + 1;
    if (replaces) RemoveWidget(id);
    CWidget* added = widget.get();
    m_widgets.push_back(std::move(widget));
    added->CreateWidgetWindow();
    return id;
}

bool CWidgetManager::AllFit(const CWidget* except, size_t more) const {
    // Shared labels counted once each: a bound that needs no sorting, and
    // the exact count only when the bound is not enough.
    size_t bound = more;
    for (const auto& w : m_widgets) {
        if (w.get() != except) bound += w->BytesBesideLabel() + w->Fields().label.Bytes();
    }
    return bound <= kMaxAllWidgetBytes || HeldBytes(except) + more <= kMaxAllWidgetBytes;
}

size_t CWidgetManager::HeldBytes(const CWidget* except) const {
    size_t bytes = 0;
    std::vector<const void*> labels;
    for (const auto& w : m_widgets) {
        if (w.get() == except) continue;
        bytes += w->BytesBesideLabel();
        if (w->Fields().label.Copy()) labels.push_back(w->Fields().label.Copy());
    }
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    for (const auto& w : m_widgets) {
        const WidgetLabel& label = w->Fields().label;
        auto at = std::lower_bound(labels.begin(), labels.end(), label.Copy());
        if (at != labels.end() && *at == label.Copy()) {
            bytes += label.Bytes();
            labels.erase(at);
        }
    }
    return bytes;
}

bool CWidgetManager::LabelFits(const CWidget& widget, const CWidget::LabelChange& change) const {
    const size_t bytes = widget.BytesAfter(change);
    return bytes <= kMaxWidgetBytes && AllFit(&widget, bytes);
}

std::unique_ptr<CWidget> CWidgetManager::NewWidget() { return std::unique_ptr<CWidget>(new (std::nothrow) CWidget); }

int CWidgetManager::RemoveWidget(uint32_t id) {
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        if (m_widgets[i]->GetId() == id) {
            RemoveAt(i);
            return 1;
        }
    }
    return 0;
}

void CWidgetManager::RemoveAt(size_t index) {
    // Out of the list before it goes: its window's destruction may call back.
    std::unique_ptr<CWidget> widget = std::move(m_widgets[index]);
    m_widgets.erase(m_widgets.begin() + static_cast<std::ptrdiff_t>(index));
    if (m_focused == widget.get()) m_focused = nullptr;
}

void CWidgetManager::RemoveAll() {
    std::vector<std::unique_ptr<CWidget>> widgets;
    widgets.swap(m_widgets);
    m_focused = nullptr;
    widgets.clear();
    m_focused = nullptr;
}

CWidget* CWidgetManager::FindById(uint32_t id) {
    for (const auto& w : m_widgets) {
        if (w->GetId() == id) return w.get();
    }
    return nullptr;
}

CWidget* CWidgetManager::FindByName(std::u16string_view name) {
    for (const auto& w : m_widgets) {
        if (w->GetName() && *w->GetName() == name) return w.get();
    }
    return nullptr;
}

void CWidgetManager::ShowAll(bool on) {
    for (size_t i = 0; i < m_widgets.size(); ++i) m_widgets[i]->Show(on);
}

void CWidgetManager::EnableAll(bool on) {
    for (size_t i = 0; i < m_widgets.size(); ++i) m_widgets[i]->Enable(on);
}

bool CWidgetManager::WriteAll(CPacketBuffer& writer) {
    for (const auto& w : m_widgets) {
        const int32_t start = writer.GetLength();
        if (w->WriteState(writer)) {
            const int32_t end = writer.GetLength();
            if (writer.EndRecord().GetLength() > end) continue;
        }
        writer.Truncate(start);
        return false;
    }
    return true;
}

void CWidgetManager::LoadAll(CPacket& packet) {
    const StreamScope scope(*this);
    RemoveAll();
    while (packet.BytesLeft() > 0 && packet.PeekByte(-1) != packet.GetCommandDelimiter()) {
        const int32_t start = packet.GetPosition();
        std::unique_ptr<CPacket> record(packet.CloneRest());
        if (!record) break;
        AddWidget(*record);
        packet.NextRecord();
        if (packet.GetPosition() == start) break;
    }
}

LRESULT CWidgetManager::RouteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    bool claimed = false;
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        // Only the widget of the window the message names may claim it: one
        // asked, not every widget of the screen for each control it paints.
        for (const auto& w : m_widgets) {
            if (!lParam || static_cast<LPARAM>(w->GetWindow()) != lParam) continue;
            const LRESULT result = w->HandleMessage(window, message, wParam, lParam, &claimed);
            if (handled) *handled = claimed;
            return claimed ? result : 0;
        }
        if (handled) *handled = false;
        return 0;
    default: break;
    }
    // By index: a widget's window may change the list while it handles the message.
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        const LRESULT result = m_widgets[i]->HandleMessage(window, message, wParam, lParam, &claimed);
        if (claimed) {
            if (handled) *handled = true;
            return result;
        }
    }
    if (handled) *handled = false;
    return 0;
}

void CWidgetManager::MoveFocus(CWidget* current, bool backward) {
    const uint32_t cur = current ? current->GetTabIndex() : WIDGET_NO_TAB;
    CWidget *first = nullptr, *last = nullptr, *next = nullptr, *previous = nullptr;
    for (const auto& owned : m_widgets) {
        CWidget* w = owned.get();
        if (!w->CanTakeFocus()) continue;
        const uint32_t t = w->GetTabIndex();
        // Strict comparisons: on equal indexes the earlier widget stays.
        if (!first || t < first->GetTabIndex()) first = w;
        if (!last || t > last->GetTabIndex()) last = w;
        if (cur == WIDGET_NO_TAB) continue;
        if (!backward && t > cur && (!next || t < next->GetTabIndex())) next = w;
        if (backward && t < cur && (!previous || t > previous->GetTabIndex())) previous = w;
    }
    CWidget* target = backward ? (previous ? previous : last) : (next ? next : first);
    if (target) target->SetFocus();
}

bool CWidgetManager::ActivateFocused(bool keepFocus) {
    if (m_widgets.empty()) return false;
    if (!keepFocus) {
        // A widget the user tapped that activation may not reach (no tab
        // index, or hidden or disabled since) is not activated again.
        if (m_focused && !m_focused->CanTakeFocus()) m_focused = nullptr;
        if (!m_focused) {
            MoveFocus(nullptr, false);
        } else {
            m_focused->SetFocus();
        }
    }
    if (!m_focused) return false;
    bool claimed = false;
    m_focused->HandleMessage(m_owner, WIDGET_MSG_ACTIVATE, 0, 0, &claimed);
    return claimed;
}

std::unique_ptr<CPacket> CWidgetManager::NewPacket(const uint8_t* bytes, int32_t length) {
    if (m_framer) return m_framer->NewPacket(bytes, length);
    return std::unique_ptr<CPacket>(new (std::nothrow) CPacket(0, 0xFF, bytes, length, 0));
}

std::u16string CWidgetManager::FilePath(const WidgetFileRef& file) {
    return m_resolver && !file.name.empty() ? m_resolver(m_resolverContext, file) : std::u16string();
}

std::shared_ptr<const WidgetItemList> CWidgetManager::FindItemList(const std::u16string& path) {
    auto it = m_itemLists.find(path);
    return it == m_itemLists.end() ? nullptr : it->second;
}

void CWidgetManager::KeepItemList(const std::u16string& path, std::shared_ptr<const WidgetItemList> list) {
    if (m_streamDepth > 0) m_itemLists[path] = std::move(list);
}

void CWidgetManager::SetInputDevices(bool on) { ::SendMessage(m_owner, WM_WIDGET_INPUT_DEVICES, on ? 1 : 0, 0); }

void CWidgetManager::SendEvent(const CPacketBuffer& writer) {
    if (m_callback) m_callback(m_context, this, writer);
}

void CWidgetManager::SetCellMetrics(int cellWidth, int cellHeight) {
    m_cellWidth = cellWidth;
    m_cellHeight = cellHeight;
}

void CWidgetManager::SetDefaultFont(std::u16string_view face, int32_t size) {
    m_defaultFace = face;
    m_defaultSize = size;
}

uint32_t CWidgetManager::NextOwnId() {
    while (FindById(m_nextOwnId)) m_nextOwnId = m_nextOwnId == 0xFFFFFFFFu ? kFirstOwnId : m_nextOwnId + 1;
    return m_nextOwnId;
}

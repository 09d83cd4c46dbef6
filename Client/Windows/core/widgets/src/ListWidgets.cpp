// The widgets that show a list the host names: combo boxes and list boxes
// filled from item-list files, radio groups, and the pop-up menu.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/widgets/WidgetWindowTypes.h"
#include "platform/Controls.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Menu.h"
#include "platform/Screen.h"

namespace {

constexpr uint32_t kRadioLeft = 0x1;
constexpr uint32_t kRadioRight = 0x2;
constexpr uint32_t kRadioCenter = 0x4;
constexpr uint32_t kRadioStacked = 0x8;
constexpr uint32_t kRadioProportional = 0x10;
constexpr size_t kMaxMenuName = 260;
// Windows and menu entries are the process's: a host's item file may not
// take them all. Items past these are not shown.
constexpr size_t kMaxRadioButtons = 256;
constexpr size_t kMaxMenuItems = 4096;

bool IsCombo(const CWidgetWindow& w) { return w.Widget().GetType() == WIDGET_COMBO; }

// The index the value asks for (1-based in the value), -1 for none.
int32_t WantedIndex(const CWidget& widget) {
    const auto& value = widget.Fields().value;
    return value ? WidgetLeadingNumber(*value) - 1 : -1;
}

bool BeginsWithDigit(const std::optional<std::u16string>& text) {
    return text && !text->empty() && (*text)[0] >= u'0' && (*text)[0] <= u'9';
}

// Reads the list types' file and sets their default size in characters and rows.
void PrepareListSize(WidgetCreation& c, int64_t extraCharacters, int64_t rows) {
    if (c.itemList.empty()) return;
    WidgetItemList list = LoadItemList(*c.widget.GetHost(), c.itemList);
    const WidgetFields& f = c.widget.Fields();
    if (f.width != 0 && f.mode == WIDGET_MODE_CELLS) c.extraWidth = static_cast<int32_t>(extraCharacters);
    c.DefaultSize(list.Longest() + extraCharacters, std::max<int64_t>(rows < 0 ? int64_t(list.items.size()) : rows, 1));
    c.itemsLoaded = list.loaded;
    c.items = std::move(list.items);
}

// Fills a combo or list box and selects the item the value names (the
// first when it names none).
void FillList(CWidgetWindow& w, const std::vector<std::u16string>& items) {
    const HWND hwnd = w.Handle();
    SendMessage(hwnd, WIDGET_MSG_LIST_RESET, 0, 0);
    for (size_t i = 0; i < items.size(); ++i) {
        const LRESULT at = SendMessage(hwnd, WIDGET_MSG_LIST_ADD, 0, reinterpret_cast<LPARAM>(items[i].c_str()));
        if (at >= 0) SendMessage(hwnd, WIDGET_MSG_LIST_SET_DATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i + 1));
    }
    if (items.empty()) return;
    const int32_t wanted = WantedIndex(w.Widget());
    const size_t index = wanted >= 0 && static_cast<size_t>(wanted) < items.size() ? static_cast<size_t>(wanted) : 0;
    SendMessage(hwnd, WIDGET_MSG_LIST_SELECT, index, 0);
}

LRESULT ListProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool combo = IsCombo(w);
    const HWND hwnd = w.Handle();
    switch (message) {
    case WIDGET_MSG_LIST_RESET: return SendMessage(hwnd, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    case WIDGET_MSG_LIST_ADD: return SendMessage(hwnd, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, lParam);
    case WIDGET_MSG_LIST_SET_DATA: return SendMessage(hwnd, combo ? CB_SETITEMDATA : LB_SETITEMDATA, wParam, lParam);
    case WIDGET_MSG_LIST_SELECT: return SendMessage(hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, wParam, 0);
    case WM_COMMAND:
        // What the control window hands on about this list; anything else
        // (its own drop-down's) is the control's.
        if (static_cast<HWND>(lParam) != hwnd) break;
        // The controls tell only of the user's choices.
        if (HIWORD(wParam) == (combo ? CBN_SELCHANGE : LBN_SELCHANGE)) {
            const LRESULT at = SendMessage(hwnd, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
            if (at < 0) return 0;
            const LRESULT data = SendMessage(hwnd, combo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
            const std::string text = std::to_string(static_cast<int32_t>(data));
            w.Widget().SendEvent(std::u16string(text.begin(), text.end()), 0);
        }
        return 0;
    case WIDGET_MSG_SET_LABEL: {
        const WidgetItemList list = LoadItemList(w.Host(), w.Widget().Fields().label.str());
        if (list.loaded) {
            FillList(w, list.items);
        } else if (BeginsWithDigit(w.Widget().Fields().value)) {
            SendMessage(hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(WantedIndex(w.Widget())), 0);
        }
        return 0;
    }
    case WM_SETFOCUS: w.Host().SetInputDevices(false); break;
    case WM_KEYDOWN:
        if (WidgetTabKey(w, wParam, false)) return 0;
        break;
    case WM_CHAR:
        if (wParam == VK_TAB) return 0;
        break;
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

}  // namespace

int64_t WidgetItemList::Longest() const {
    size_t longest = 0;
    for (const auto& item : items) longest = std::max(longest, item.size());
    return static_cast<int64_t>(longest);
}

int64_t WidgetItemList::Total() const {
    int64_t total = 0;
    for (const auto& item : items) total += static_cast<int64_t>(item.size());
    return total;
}

WidgetItemList ParseItemList(CPacket& packet) {
    WidgetItemList list;
    // Four records (the geometry), the title's record, then the items' record.
    for (int i = 0; i < 4; ++i) {
        if (!WidgetNextPiece(packet, PKT_END_RECORD)) return list;
    }
    list.loaded = true;
    list.title = WidgetFieldText(packet);
    if (!WidgetNextPiece(packet, PKT_END_RECORD)) return list;
    // Fields up to the first empty one; a coarser separator ends the record.
    for (std::u16string item = WidgetFieldText(packet); !item.empty(); item = WidgetFieldText(packet)) {
        list.items.push_back(std::move(item));
        if (!WidgetNextPiece(packet, PKT_END_FIELD)) break;
    }
    return list;
}

namespace {
WidgetItemList ReadItemList(IWidgetHost& host, const std::u16string& path);
}  // namespace

WidgetItemList LoadItemList(IWidgetHost& host, std::u16string_view name) {
    WidgetItemList list;
    if (name.empty()) return list;
    const std::u16string path = host.FilePath(CWidget::ItemListFile(name));
    if (path.empty()) return list;
    if (std::shared_ptr<const WidgetItemList> kept = host.FindItemList(path)) return *kept;
    list = ReadItemList(host, path);
    host.KeepItemList(path, std::make_shared<const WidgetItemList>(list));
    return list;
}

namespace {

WidgetItemList ReadItemList(IWidgetHost& host, const std::u16string& path) {
    WidgetItemList list;
    // Up to one byte more than the most: a longer file is refused, not cut.
    std::vector<uint8_t> bytes;
    FILE* file = plat::fs::OpenFile(path, "rb");
    if (!file) return list;
    uint8_t chunk[4096];
    size_t n;
    while (bytes.size() <= static_cast<size_t>(kMaxItemListFile) && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || bytes.empty() || bytes.size() > static_cast<size_t>(kMaxItemListFile)) return list;
    std::unique_ptr<CPacket> packet = host.NewPacket(bytes.data(), static_cast<int32_t>(bytes.size()));
    return packet ? ParseItemList(*packet) : list;
}

}  // namespace

// ---- Combo box (3) and list box (18)

void PrepareCombo(WidgetCreation& c) {
    c.className = WC_COMBOBOX;
    c.setFont = true;
    c.style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST;
    PrepareListSize(c, 4, 5);
}

void PrepareList(WidgetCreation& c) {
    c.className = WC_LISTBOX;
    c.setFont = true;
    c.style |= WS_TABSTOP | WS_GROUP | WS_BORDER | WS_VSCROLL | LBS_HASSTRINGS | LBS_NOTIFY;
    PrepareListSize(c, 3, -1);
}

void ListCreated(CWidgetWindow& w, const WidgetCreation& c) { FillList(w, c.items); }

LRESULT ComboWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    return ListProc(w, message, wParam, lParam);
}

LRESULT ListWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    return ListProc(w, message, wParam, lParam);
}

// ---- Radio group (5)

std::vector<WidgetRect> RadioGroupLayout(int32_t width, int32_t height, const std::vector<size_t>& characters,
                                         uint32_t options) {
    std::vector<WidgetRect> rects;
    const int32_t n = static_cast<int32_t>(std::min<size_t>(characters.size(), INT32_MAX));
    if (n == 0) return rects;
    int64_t total = 0;
    for (size_t c : characters) total += static_cast<int64_t>(c);
    if (options & kRadioStacked) {
        const int32_t each = height / n;
        int32_t y = (height % n) / 2;
        for (int32_t i = 0; i < n; ++i, y += each) rects.push_back({0, y, width, each});
    } else if ((options & kRadioProportional) && total > 0) {
        const int64_t perCharacter = width / total;
        const int64_t extra = (width % total) / n;
        int64_t x = 0;
        for (size_t c : characters) {
            const int64_t w = perCharacter * static_cast<int64_t>(c) + extra;
            rects.push_back({static_cast<int32_t>(x), 0, static_cast<int32_t>(w), height});
            x += w;
        }
    } else {
        const int32_t each = width / n;
        int32_t x = (width % n) / 2;
        for (int32_t i = 0; i < n; ++i, x += each) rects.push_back({x, 0, each, height});
    }
    return rects;
}

namespace {

// A radio button of a group: the arrows click the next or previous button,
// Tab moves between widgets.
LRESULT RadioButtonProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS) w.Host().SetInputDevices(false);
    if (message == WM_KEYDOWN) {
        if (wParam == VK_TAB) {
            WidgetTabKey(w, wParam, false);
            return 0;
        }
        const bool next = wParam == VK_DOWN || wParam == VK_RIGHT;
        if (next || wParam == VK_UP || wParam == VK_LEFT) {
            if (const HWND to = GetWindow(w.Handle(), next ? GW_HWNDNEXT : GW_HWNDPREV)) {
                ::SetFocus(to);
                SendMessage(to, BM_CLICK, 0, 0);
            }
            return 0;
        }
    }
    if (message == WM_CHAR && wParam == VK_TAB) return 0;
    return WidgetWindowProc(w, message, wParam, lParam);
}

std::vector<HWND> Buttons(HWND group) {
    std::vector<HWND> buttons;
    for (HWND c = GetWindow(group, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) buttons.push_back(c);
    return buttons;
}

// The group's client area: inside its border.
RECT GroupClient(HWND group) {
    RECT r{};
    GetClientRect(group, &r);
    if (GetWindowLongPtr(group, GWL_STYLE) & WS_BORDER) InflateRect(&r, -1, -1);
    return r;
}

void CheckButton(HWND group, int32_t index) {
    int32_t i = 0;
    for (HWND b : Buttons(group)) SendMessage(b, BM_SETCHECK, i++ == index ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

void PrepareRadioGroup(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_PUSHBUTTON_CLASS";
    c.windowName = u"PUSHBUTTON";
    c.setFont = true;
    c.style |= WS_BORDER;
    if (c.itemList.empty()) return;
    WidgetItemList list = LoadItemList(*c.widget.GetHost(), c.itemList);
    const int64_t n = std::max<int64_t>(static_cast<int64_t>(list.items.size()), 1);
    if (c.widget.Fields().options & kRadioStacked) {
        c.DefaultSize(list.Longest() + 3, n);
    } else {
        c.DefaultSize(list.Total() + 2 * n, 1);
    }
    c.itemsLoaded = list.loaded;
    c.items = std::move(list.items);
}

void RadioGroupCreated(CWidgetWindow& w, const WidgetCreation& c) {
    const HWND group = w.Handle();
    const WidgetFields& f = w.Widget().Fields();
    DWORD align = 0;
    if (f.options & kRadioLeft) align |= BS_LEFT;
    if (f.options & kRadioRight) align |= BS_RIGHT;
    if (f.options & kRadioCenter) align |= BS_CENTER;
    const RECT client = GroupClient(group);
    std::vector<size_t> characters;
    for (size_t i = 0; i < c.items.size() && i < kMaxRadioButtons; ++i) characters.push_back(c.items[i].size());
    const std::vector<WidgetRect> rects =
        RadioGroupLayout(client.right - client.left, client.bottom - client.top, characters, f.options);
    const HFONT font = static_cast<HFONT>(reinterpret_cast<uintptr_t>(GetProp(group, kWidgetPropFont)));
    for (size_t i = 0; i < rects.size(); ++i) {
        // A group made disabled has its buttons look and act disabled too.
        const DWORD style = f.windowStyle | WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0) | align |
                            (IsWindowEnabled(group) ? 0 : WS_DISABLED);
        const WidgetRect& r = rects[i];
        const HWND button = CreateWindowEx(0, WC_BUTTON, c.items[i].c_str(), style, client.left + r.x, client.top + r.y,
                                           r.width, r.height, group, static_cast<HMENU>(i), nullptr, nullptr);
        if (!button) continue;
        SubclassWidgetWindow(w.Widget(), button, &RadioButtonProc);
        if (font) SendMessage(button, WM_SETFONT, static_cast<WPARAM>(font), 0);
    }
    CheckButton(group, WantedIndex(w.Widget()));
}

LRESULT PushButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND group = w.Handle();
    switch (message) {
    case WM_SETFONT:
        for (HWND b : Buttons(group)) SendMessage(b, WM_SETFONT, wParam, lParam);
        break;
    case WM_ENABLE:
        for (HWND b : Buttons(group)) EnableWindow(b, wParam != 0);
        break;
    case WM_SETFOCUS: {
        WidgetWindowProc(w, message, wParam, lParam);
        const std::vector<HWND> buttons = Buttons(group);
        auto checked = std::find_if(buttons.begin(), buttons.end(),
                                    [](HWND b) { return SendMessage(b, BM_GETCHECK, 0, 0) == BST_CHECKED; });
        if (checked != buttons.end()) {
            ::SetFocus(*checked);
        } else if (!buttons.empty()) {
            ::SetFocus(buttons.front());
        }
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(group, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, w.ColorBrush(reinterpret_cast<HDC>(wParam)));
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(group, &ps);
        if (dc && (GetWindowLongPtr(group, GWL_STYLE) & WS_BORDER)) {
            RECT r;
            GetClientRect(group, &r);
            const HGDIOBJ pen = SelectObject(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
            const HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
            Rectangle(dc, r.left, r.top, r.right, r.bottom);
            DeleteObject(SelectObject(dc, pen));
            SelectObject(dc, brush);
        }
        EndPaint(group, &ps);
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            const std::string text = std::to_string(LOWORD(wParam) + 1);
            w.Widget().SendEvent(std::u16string(text.begin(), text.end()), 0);
        }
        return 0;
    case WIDGET_MSG_SET_LABEL: {
        const std::u16string_view label(lParam ? reinterpret_cast<const char16_t*>(lParam) : u"");
        if (!label.empty() && label[0] >= u'0' && label[0] <= u'9') CheckButton(group, WidgetLeadingNumber(label) - 1);
        return 0;
    }
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Pop-up menu (12)

void PrepareMenu(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_MENU_CLASS";
    c.windowName = u"MENU";
    c.noGeometry = true;
    c.style &= ~WS_VISIBLE;
}

namespace {

// The menu of the widget's names: an item-list file becomes a submenu under
// its title, any other name a plain entry. Null when there is nothing to show.
HMENU BuildMenu(CWidgetWindow& w) {
    const auto& data = w.Widget().Fields().itemData;
    if (!data || data->empty()) return 0;
    std::unique_ptr<CPacket> packet = w.Host().NewPacket(data->data(), static_cast<int32_t>(data->size()));
    if (!packet) return 0;
    struct Entry {
        std::u16string name;
        HMENU submenu;
    };
    std::vector<Entry> entries;
    // Each file is read once however often the names repeat it.
    std::map<std::u16string, WidgetItemList> lists;
    size_t items = 0;
    for (;;) {
        std::u16string name = WidgetFieldText(*packet);
        if (name.empty()) break;
        if (name.size() > kMaxMenuName) name.resize(kMaxMenuName);
        const UINT_PTR entry = (static_cast<UINT_PTR>(entries.size()) + 1) << 16;
        auto found = lists.find(name);
        if (found == lists.end()) found = lists.emplace(name, LoadItemList(w.Host(), name)).first;
        const WidgetItemList& list = found->second;
        HMENU submenu = 0;
        if (list.loaded) {
            submenu = CreatePopupMenu();
            for (size_t i = 0; submenu && i < list.items.size() && i < 0xFFFF && items < kMaxMenuItems; ++i, ++items)
                AppendMenu(submenu, MF_STRING, entry + i, list.items[i].c_str());
            name = list.title;
        }
        ++items;
        entries.push_back({std::move(name), submenu});
        // Entries are the sub-fields of the first field.
        if (entries.size() >= 0xFFFF || items >= kMaxMenuItems || !WidgetNextPiece(*packet, PKT_END_SUBFIELD)) break;
    }
    if (entries.size() == 1 && entries[0].submenu) return entries[0].submenu;
    HMENU menu = CreatePopupMenu();
    for (size_t j = 0; j < entries.size(); ++j) {
        const UINT_PTR command = (static_cast<UINT_PTR>(j) + 1) << 16;
        if (!menu) {
            if (entries[j].submenu) DestroyMenu(entries[j].submenu);
        } else if (entries[j].submenu) {
            InsertMenu(menu, static_cast<UINT>(j), MF_BYPOSITION | MF_POPUP, entries[j].submenu, entries[j].name.c_str());
        } else {
            AppendMenu(menu, MF_STRING, command, entries[j].name.c_str());
        }
    }
    return menu;
}

}  // namespace

LRESULT MenuWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WIDGET_MSG_SHOW) return 0;  // never shown
    if (message != WM_CONTEXTMENU) return WidgetWindowProc(w, message, wParam, lParam);
    const HMENU menu = BuildMenu(w);
    if (!menu) return 0;
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_CENTERALIGN,
                                                             GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                                                             w.Host().GetOwnerWindow(), nullptr));
    DestroyMenu(menu);
    if (command == 0 || !w.Host().CanSendEvents()) return 0;
    if (std::unique_ptr<CPacketBuffer> writer = w.Host().NewEventWriter(64)) {
        writer->AppendByte('6').EndField();
        writer->AppendULong(command & 0xFFFF).EndField();
        writer->AppendULong(command >> 16).EndSubField();
        writer->AppendString("-1");
        w.Host().SendEvent(*writer);
    }
    return 0;
}

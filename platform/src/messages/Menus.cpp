// Menus: a table of items behind each handle, and TrackPopupMenuEx's own
// loop over pop-up windows of the class "#32768".
#include "platform/Menu.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Gdi.h"
#include "platform/Resources.h"
#include "platform/Screen.h"

namespace {

struct Item {
    UINT flags = 0;
    UINT_PTR id = 0;  // the command; for MF_POPUP the submenu
    std::u16string text;
};

struct Menus {
    std::mutex mutex;
    std::unordered_map<HMENU, std::vector<Item>> table;
    uint64_t next = 1;
    plat::menu::Chooser chooser;
};

Menus& menus() {
    static Menus* m = new Menus;
    return *m;
}

// Menu handles stand apart from small numbers, which are control ids.
constexpr HMENU kMenuTag = HMENU(uint64_t(0x4D454E) << 32);

constexpr const char16_t* kMenuClass = u"#32768";
constexpr int kItemHeight = 18;
constexpr int kSeparatorHeight = 7;
constexpr int kCheckWidth = 16;
constexpr int kArrowWidth = 14;

HMENU make() {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    const HMENU h = kMenuTag | HMENU(m.next++);
    m.table[h];
    return h;
}

// The item by command (searching submenus too) or by position; lock held.
std::pair<std::vector<Item>*, size_t> findLocked(Menus& m, HMENU menu, UINT item, UINT flags, int depth = 0) {
    auto it = m.table.find(menu);
    if (it == m.table.end() || depth > 16) return {nullptr, 0};
    auto& items = it->second;
    if (flags & MF_BYPOSITION) return item < items.size() ? std::pair{&items, size_t(item)} : std::pair{nullptr, size_t(0)};
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].flags & MF_POPUP) {
            auto found = findLocked(m, HMENU(items[i].id), item, flags, depth + 1);
            if (found.first) return found;
        } else if (!(items[i].flags & MF_SEPARATOR) && items[i].id == item) {
            return {&items, i};
        }
    }
    return {nullptr, 0};
}

void destroyLocked(Menus& m, HMENU menu, int depth = 0) {
    auto it = m.table.find(menu);
    if (it == m.table.end() || depth > 16) return;
    const std::vector<Item> items = std::move(it->second);
    m.table.erase(it);
    for (const Item& i : items)
        if (i.flags & MF_POPUP) destroyLocked(m, HMENU(i.id), depth + 1);
}

std::vector<Item> snapshot(HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.table.find(menu);
    return it == m.table.end() ? std::vector<Item>{} : it->second;
}

// "&File" shows as "File"; "&&" as "&".
std::u16string shown(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        if (text[i] == u'\t') break;
        out.push_back(text[i]);
    }
    return out;
}

int heightOf(const Item& i) { return (i.flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight; }
bool choosable(const Item& i) { return !(i.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)); }

// ---- tracking ----

struct Level {
    HMENU menu = 0;
    std::vector<Item> items;
    HWND wnd = 0;
    int hot = -1;
};

struct Tracking {
    HWND owner = 0;
    UINT flags = 0;
    std::vector<Level> levels;
    bool done = false;
    bool pressed = false;    // a tap went down while the menu was open
    bool closedByTap = false;  // ended by a tap outside every menu
    UINT chosen = 0;
};

void closeFrom(Tracking& t, size_t level) {
    while (t.levels.size() > level) {
        DestroyWindow(t.levels.back().wnd);
        t.levels.pop_back();
    }
}

void initPopup(const Tracking& t, HMENU menu, int position) {
    if (!(t.flags & TPM_NONOTIFY)) SendMessage(t.owner, WM_INITMENUPOPUP, WPARAM(menu), MAKELPARAM(position, FALSE));
}

// Opens a menu at (x, y), aligned by flags, kept on the screen.
void open(Tracking& t, HMENU menu, int x, int y, UINT align) {
    Level level;
    level.menu = menu;
    level.items = snapshot(menu);
    if (level.items.empty()) return;
    level.wnd = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kMenuClass, u"", WS_POPUP | WS_BORDER, 0, 0, 1, 1,
                               GetAncestor(t.owner, GA_ROOT), 0, nullptr, nullptr);
    if (!level.wnd) return;
    SetWindowLongPtr(level.wnd, GWLP_USERDATA, LONG_PTR(&t));
    int width = 60, height = 2;
    HDC dc = GetDC(level.wnd);
    for (const Item& i : level.items) {
        height += heightOf(i);
        SIZE size{};
        const std::u16string text = shown(i.text);
        GetTextExtentPoint32(dc, text.c_str(), int(text.size()), &size);
        width = std::max(width, int(size.cx) + kCheckWidth + kArrowWidth + 2);
    }
    ReleaseDC(level.wnd, dc);
    if (align & TPM_CENTERALIGN) x -= width / 2;
    else if (align & TPM_RIGHTALIGN) x -= width;
    if (align & TPM_VCENTERALIGN) y -= height / 2;
    else if (align & TPM_BOTTOMALIGN) y -= height;
    const SIZE screen = plat::screen::ScreenSize();
    x = std::clamp(x, 0, std::max(0, int(screen.cx) - width));
    y = std::clamp(y, 0, std::max(0, int(screen.cy) - height));
    SetWindowPos(level.wnd, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    t.levels.push_back(std::move(level));
    SetCapture(t.levels.back().wnd);
}

RECT itemRect(const Level& level, int index) {
    RECT r;
    GetClientRect(level.wnd, &r);
    LONG top = 1;
    for (int i = 0; i < index; ++i) top += heightOf(level.items[size_t(i)]);
    return RECT{1, top, r.right - 1, top + heightOf(level.items[size_t(index)])};
}

// The open level and item under a screen point: {-1, -1} outside them all.
std::pair<int, int> hit(const Tracking& t, POINT screen) {
    for (int l = int(t.levels.size()) - 1; l >= 0; --l) {
        const Level& level = t.levels[size_t(l)];
        RECT wr;
        GetWindowRect(level.wnd, &wr);
        if (!PtInRect(&wr, screen)) continue;
        POINT p = screen;
        ScreenToClient(level.wnd, &p);
        for (int i = 0; i < int(level.items.size()); ++i) {
            const RECT r = itemRect(level, i);
            if (PtInRect(&r, p)) return {l, i};
        }
        return {l, -1};
    }
    return {-1, -1};
}

void tap(Tracking& t, HWND from, LPARAM l, bool up) {
    POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
    ClientToScreen(from, &p);
    // The lift of the tap that opened the menu is not a choice.
    if (up && !std::exchange(t.pressed, false)) return;
    if (!up) t.pressed = true;
    const auto [levelIndex, itemIndex] = hit(t, p);
    if (levelIndex < 0) {
        if (!up) t.done = t.closedByTap = true;  // a tap outside every menu: no choice
        return;
    }
    Level& level = t.levels[size_t(levelIndex)];
    if (level.hot != itemIndex) {
        level.hot = itemIndex;
        InvalidateRect(level.wnd, nullptr, TRUE);
    }
    if (!up || itemIndex < 0) return;
    const Item item = level.items[size_t(itemIndex)];
    if (!choosable(item)) return;
    if (item.flags & MF_POPUP) {
        closeFrom(t, size_t(levelIndex) + 1);
        RECT wr;
        GetWindowRect(t.levels[size_t(levelIndex)].wnd, &wr);
        const RECT r = itemRect(t.levels[size_t(levelIndex)], itemIndex);
        initPopup(t, HMENU(item.id), itemIndex);
        open(t, HMENU(item.id), wr.right - 2, wr.top + r.top, 0);
        return;
    }
    t.chosen = UINT(item.id);
    t.done = true;
}

void paintMenu(HWND h, const Level& level) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r;
    GetClientRect(h, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    const HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < int(level.items.size()); ++i) {
        const Item& item = level.items[size_t(i)];
        const RECT row = itemRect(level, i);
        if (item.flags & MF_SEPARATOR) {
            const int y = int(row.top + row.bottom) / 2;
            MoveToEx(dc, row.left + 2, y, nullptr);
            LineTo(dc, row.right - 2, y);
            continue;
        }
        const bool hot = i == level.hot && choosable(item);
        if (hot) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        const COLORREF colour = !choosable(item) ? GetSysColor(COLOR_GRAYTEXT) : hot ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0);
        SetTextColor(dc, colour);
        const HGDIOBJ markPen = SelectObject(dc, CreatePen(PS_SOLID, 1, colour));
        const int cy = int(row.top + row.bottom) / 2;
        if (item.flags & MF_CHECKED) {
            if (item.flags & MFT_RADIOCHECK) {
                const RECT dot{row.left + 5, cy - 2, row.left + 10, cy + 3};
                FillRect(dc, &dot, CreateSolidBrush(colour));
            } else {
                const POINT mark[] = {{row.left + 4, cy}, {row.left + 7, cy + 3}, {row.left + 12, cy - 3}};
                Polyline(dc, mark, 3);
            }
        }
        if (item.flags & MF_POPUP) {
            for (int k = 0; k < 4; ++k) {
                MoveToEx(dc, row.right - 8 + k, cy - 3 + k, nullptr);
                LineTo(dc, row.right - 8 + k, cy + 4 - k);
            }
        }
        SelectObject(dc, markPen);
        RECT text{row.left + kCheckWidth, row.top, row.right - kArrowWidth, row.bottom};
        const std::u16string s = shown(item.text);
        DrawText(dc, s.c_str(), int(s.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    EndPaint(h, &ps);
}

LRESULT menuProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    auto* t = reinterpret_cast<Tracking*>(GetWindowLongPtr(h, GWLP_USERDATA));
    if (!t) return DefWindowProc(h, msg, w, l);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: tap(*t, h, l, msg == WM_LBUTTONUP); return 0;
    case WM_PAINT:
        for (const Level& level : t->levels)
            if (level.wnd == h) {
                paintMenu(h, level);
                return 0;
            }
        return DefWindowProc(h, msg, w, l);
    default: return DefWindowProc(h, msg, w, l);
    }
}

void registerClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASS wc{};
        wc.style = CS_GLOBALCLASS;
        wc.lpfnWndProc = menuProc;
        wc.hCursor = IDC_ARROW;
        wc.lpszClassName = kMenuClass;
        RegisterClass(&wc);
    });
}

bool isTap(UINT msg) { return msg >= WM_MOUSEMOVE && msg <= WM_RBUTTONUP; }

bool ownsWindow(const Tracking& t, HWND h) {
    return std::any_of(t.levels.begin(), t.levels.end(), [h](const Level& level) { return level.wnd == h; });
}

UINT runShown(HMENU menu, UINT flags, int x, int y, HWND owner) {
    registerClass();
    Tracking t;
    t.owner = owner;
    t.flags = flags;
    open(t, menu, x, y, flags);
    if (t.levels.empty()) return 0;
    MSG m;
    while (!t.done && IsWindow(owner)) {
        const BOOL got = GetMessage(&m, 0, 0, 0);
        if (got == 0) {
            PostQuitMessage(int(m.wParam));  // for the loop that called us
            break;
        }
        if (got < 0) break;
        if ((m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) && m.wParam == VK_ESCAPE) break;
        if (isTap(m.message) && !ownsWindow(t, m.hwnd)) {
            // Routed to a window before the menu took the capture: the menu
            // has it all the same, and it reaches that window never.
            if (m.message != WM_MOUSEMOVE && m.message != WM_RBUTTONUP)
                tap(t, m.hwnd, m.lParam, m.message == WM_LBUTTONUP);
            continue;
        }
        DispatchMessage(&m);
    }
    ReleaseCapture();
    closeFrom(t, 0);
    // The lift of a tap that closed the menu goes nowhere either.
    if (t.closedByTap) PeekMessage(&m, 0, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE);
    return t.chosen;
}

}  // namespace

HMENU CreateMenu() { return make(); }
HMENU CreatePopupMenu() { return make(); }

BOOL DestroyMenu(HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    if (!m.table.count(menu)) return FALSE;
    destroyLocked(m, menu);
    return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char16_t* text) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.table.find(menu);
    if (it == m.table.end()) return FALSE;
    if ((flags & MF_POPUP) && (!m.table.count(HMENU(id)) || HMENU(id) == menu)) return FALSE;
    std::vector<Item>* items = &it->second;
    size_t at = items->size();
    if (position != UINT(-1)) {
        auto found = findLocked(m, menu, position, flags);
        if (found.first) {
            items = found.first;
            at = found.second;
        } else if (!(flags & MF_BYPOSITION)) {
            return FALSE;
        }
    }
    Item item{flags & ~MF_BYPOSITION, id, (flags & MF_SEPARATOR) || !text ? std::u16string() : std::u16string(text)};
    items->insert(items->begin() + std::ptrdiff_t(at), std::move(item));
    return TRUE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char16_t* text) {
    return InsertMenu(menu, UINT(-1), flags | MF_BYPOSITION, id, text);
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, position, flags);
    if (!items) return FALSE;
    const Item gone = (*items)[at];
    items->erase(items->begin() + std::ptrdiff_t(at));
    if (gone.flags & MF_POPUP) destroyLocked(m, HMENU(gone.id));
    return TRUE;
}

int GetMenuItemCount(HMENU menu) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto it = m.table.find(menu);
    return it == m.table.end() ? -1 : int(it->second.size());
}

UINT GetMenuItemID(HMENU menu, int position) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, UINT(position), MF_BYPOSITION);
    if (!items || position < 0 || ((*items)[at].flags & MF_POPUP)) return UINT(-1);
    return UINT((*items)[at].id);
}

HMENU GetSubMenu(HMENU menu, int position) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, UINT(position), MF_BYPOSITION);
    if (!items || position < 0 || !((*items)[at].flags & MF_POPUP)) return 0;
    return HMENU((*items)[at].id);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, item, flags);
    return items ? (*items)[at].flags : UINT(-1);
}

std::u16string plat::menu::ItemText(HMENU menu, UINT position) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, position, MF_BYPOSITION);
    return items ? (*items)[at].text : std::u16string();
}

namespace {

// Sets the item's flags under mask to value; the old ones, or -1 for no item.
UINT replaceFlags(HMENU menu, UINT item, UINT by, UINT mask, UINT value) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, at] = findLocked(m, menu, item, by & MF_BYPOSITION);
    if (!items) return UINT(-1);
    UINT& f = (*items)[at].flags;
    const UINT old = f & mask;
    f = (f & ~mask) | (value & mask);
    return old;
}

}  // namespace

UINT EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    return replaceFlags(menu, item, enable, MF_GRAYED | MF_DISABLED, enable);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) { return replaceFlags(menu, item, check, MF_CHECKED, check); }

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
    Menus& m = menus();
    std::lock_guard lock(m.mutex);
    auto [items, a] = findLocked(m, menu, first, flags);
    auto [sameItems, b] = findLocked(m, menu, last, flags);
    auto [checkItems, c] = findLocked(m, menu, check, flags);
    if (!items || items != sameItems || items != checkItems || a > b || c < a || c > b) return FALSE;
    for (size_t i = a; i <= b; ++i) {
        Item& it = (*items)[i];
        if (it.flags & (MF_SEPARATOR | MF_POPUP)) continue;
        it.flags &= ~MF_CHECKED;
        if (i == c) it.flags |= MF_CHECKED | MFT_RADIOCHECK;
    }
    return TRUE;
}

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const void*) {
    if (GetMenuItemCount(menu) < 0 || !IsWindow(owner)) return FALSE;
    if (!(flags & TPM_NONOTIFY)) SendMessage(owner, WM_INITMENUPOPUP, WPARAM(menu), MAKELPARAM(0, FALSE));
    plat::menu::Chooser chooser;
    {
        Menus& m = menus();
        std::lock_guard lock(m.mutex);
        chooser = m.chooser;
    }
    UINT chosen = 0;
    if (chooser) {
        chosen = chooser(menu, owner);
        // Only what the user could have chosen counts.
        if (chosen && !(GetMenuState(menu, chosen, MF_BYCOMMAND) != UINT(-1) &&
                        !(GetMenuState(menu, chosen, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED))))
            chosen = 0;
    } else {
        chosen = runShown(menu, flags, x, y, owner);
    }
    if (flags & TPM_RETURNCMD) return BOOL(chosen);
    if (chosen && !(flags & TPM_NONOTIFY)) PostMessage(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}

void plat::menu::SetChooser(Chooser chooser) {
    Chooser old;
    {
        Menus& m = menus();
        std::lock_guard lock(m.mutex);
        old = std::exchange(m.chooser, std::move(chooser));
    }
    // The old one, and what it holds, goes after the lock.
}

namespace {

void appendItems(HMENU menu, const plat::res::MenuItem* items, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const plat::res::MenuItem& item = items[i];
        if (item.flags & MF_POPUP) {
            const HMENU sub = CreatePopupMenu();
            appendItems(sub, item.items, item.itemCount);
            AppendMenu(menu, item.flags, UINT_PTR(sub), item.text);
        } else {
            AppendMenu(menu, item.flags, item.id, item.text);
        }
    }
}

}  // namespace

HMENU LoadMenu(HINSTANCE module, UINT id) {
    const plat::res::Menu* record = plat::res::FindMenu(module, id);
    if (!record) return 0;
    const HMENU bar = CreateMenu();
    appendItems(bar, record->items, record->itemCount);
    return bar;
}

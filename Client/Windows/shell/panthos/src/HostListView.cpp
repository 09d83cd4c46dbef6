#include "panthos/HostListView.h"

#include <memory>
#include <string>
#include <utility>

#include "platform/ImageList.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/ShellUtil.h"

namespace {

constexpr DWORD kStyle = 0x50810100;  // child, visible, border, tab stop, large icons, auto-arrange
constexpr DWORD kExStyle = 0x200;     // sunken client edge

}  // namespace

CHostListView::~CHostListView() {
    if (m_large) ImageList_Destroy(m_large);
    if (m_small) ImageList_Destroy(m_small);
}

HWND CHostListView::Create(HWND parent, const RECT& rect) {
    m_list = CreateWindowEx(kExStyle, WC_LISTVIEW, u"", kStyle, 0, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, parent, HMENU(kId), nullptr, nullptr);
    if (!m_list) return 0;
    m_large = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 6, 0);
    m_small = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 0);
    for (UINT id : {175u, 173u, 172u, 171u, 6003u, 180u}) {
        for (auto [images, side] : {std::pair{m_large, 32}, {m_small, 16}}) {
            const HICON icon = HICON(LoadImage(GetShellResources(), MAKEINTRESOURCE(id), IMAGE_ICON, side, side, 0));
            ImageList_AddIcon(images, icon);
            if (icon) DestroyIcon(icon);
        }
    }
    SendMessage(m_list, LVM_SETIMAGELIST, LVSIL_NORMAL, LPARAM(m_large));
    SendMessage(m_list, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(m_small));
    int column = 0;
    for (auto [text, cx] : {std::pair{u"Host", 90}, {u"Address", 80}, {u"Port", 50}}) {
        LVCOLUMN c{LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, LVCFMT_LEFT, cx, const_cast<char16_t*>(text), 0, column};
        SendMessage(m_list, LVM_INSERTCOLUMN, WPARAM(column++), LPARAM(&c));
    }
    return m_list;
}

bool CHostListView::IsShown() const { return m_list && IsWindowVisible(m_list); }

void CHostListView::Clear() {
    if (m_list) SendMessage(m_list, LVM_DELETEALLITEMS, 0, 0);
}

void CHostListView::BeginRefill() {
    SendMessage(m_list, WM_SETREDRAW, FALSE, 0);
    Clear();
}

void CHostListView::EndRefill() {
    SendMessage(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
}

void CHostListView::AddPrograms(bool addNew) {
    if (addNew) {
        LVITEM add{};
        add.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        add.pszText = const_cast<char16_t*>(u"Add New");
        add.iImage = kImageAddNew;
        SendMessage(m_list, LVM_INSERTITEM, 0, LPARAM(&add));
    }
    CHostListFile hosts;
    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    hosts.FillListView(m_list, item);
}

void CHostListView::AddDiscovered(const std::vector<CHostEntry>& hosts) {
    for (const CHostEntry& host : hosts) {
        LVITEM item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = int(SendMessage(m_list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<char16_t*>(host.GetDescription());
        item.iImage = (host.GetDiscoveryKey() & 1) ? kImageDiscoveredKnown : kImageDiscovered;
        auto copy = std::make_unique<CHostEntry>(host);
        item.lParam = LPARAM(copy.get());
        const int at = int(SendMessage(m_list, LVM_INSERTITEM, 0, LPARAM(&item)));
        if (at < 0) continue;
        copy.release();  // the item's now
        LVITEM sub{};
        sub.iItem = at;
        sub.iSubItem = 1;
        sub.pszText = const_cast<char16_t*>(host.GetHost());
        SendMessage(m_list, LVM_SETITEMTEXT, WPARAM(at), LPARAM(&sub));
        const std::u16string port = plat::text::Utf8ToWide(std::to_string(host.GetPort()));
        sub.iSubItem = 2;
        sub.pszText = const_cast<char16_t*>(port.c_str());
        SendMessage(m_list, LVM_SETITEMTEXT, WPARAM(at), LPARAM(&sub));
    }
}

CHostListView::Selection CHostListView::Selected() const {
    Selection none;
    if (!m_list) return none;
    const int index = int(SendMessage(m_list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    if (index < 0) return none;
    LVITEM item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(m_list, LVM_GETITEM, 0, LPARAM(&item))) return none;
    return {index, item.iImage, reinterpret_cast<CHostEntry*>(item.lParam)};
}

void CHostListView::SetView(int view) {
    static constexpr DWORD kViews[] = {LVS_ICON | LVS_AUTOARRANGE, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    if (view < 0 || view > 3 || !m_list) return;
    const DWORD style = DWORD(GetWindowLongPtr(m_list, GWL_STYLE));
    SetWindowLongPtr(m_list, GWL_STYLE, LONG_PTR((style & ~(LVS_TYPEMASK | LVS_AUTOARRANGE)) | kViews[view]));
    InvalidateRect(m_list, nullptr, TRUE);
}

bool CHostListView::OnDeleteItem(const NMHDR* header) {
    if (!header || header->idFrom != UINT_PTR(kId) || header->code != UINT(LVN_DELETEITEM)) return false;
    delete reinterpret_cast<CHostEntry*>(reinterpret_cast<const NMLISTVIEW*>(header)->lParam);
    return true;
}

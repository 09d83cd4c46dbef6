// The main window "OVSCShellWindow": the host list or, during a session, the
// client control; its timer polls the socket, the socket's notifications
// carry the host's bytes into the control, the menu commands switch views
// and end sessions, and the list's notifications start connections.
#include <algorithm>
#include <memory>
#include <string>

#include "ShellObj.h"
#include "platform/CommandBar.h"
#include "platform/DeviceFs.h"
#include "platform/InputPanel.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Screen.h"
#include "platform/WinConst.h"
#include "shell/ExternalHosts.h"
#include "shell/HostDlg.h"
#include "shell/ShellUtil.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

constexpr int kMenuBarHeight = 24;
constexpr DWORD kHostListStyle = 0x50810100;  // child, visible, border, tab stop, large icons, auto-arrange
constexpr DWORD kHostListExStyle = 0x200;     // sunken client edge

// Image indices of the host list.
constexpr int kImageAddNew = 0;
constexpr int kImageConfigured = 2;
constexpr int kImageDiscoveredKnown = 3;
constexpr int kImageDiscovered = 4;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// A name a host or a hosts file gave, as one folder name of the program
// folder: separators and the "." and ".." names cannot leave it.
std::u16string SessionFolderName(std::u16string name) {
    for (char16_t& c : name)
        if (c == u'\\' || c == u'/' || c == 0) c = u'_';
    if (name.empty() || name == u"." || name == u"..") name = u"_" + name;
    return name;
}

}  // namespace

LRESULT COVCShellObj::MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<COVCShellObj*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProc(hwnd, msg, wParam, lParam);
    try {
        return self->OnMessage(hwnd, msg, wParam, lParam);
    } catch (const std::exception& e) {
        ShellLog(LOG_ERROR, "Main window message %u failed: %s", msg, e.what());
        return 0;
    }
}

LRESULT COVCShellObj::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        if (m_skinWindow) m_skinWindow->OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (m_skinWindow) m_skinWindow->OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (m_skinWindow) m_skinWindow->OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SOCKET_NOTIFY:
        OnSocketNotify(lParam);
        return 0;
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_SOCKET_READABLE:
        if (m_session) m_session->Poll();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_EDIT_HOST:
        OnSaveHost(reinterpret_cast<CHostEntry*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_REFRESH_HOSTS:
        RefreshHostList();
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_RBUTTONDOWN:
        OnContextMenu(lParam);
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_QUERY_ASSOCIATION:
        OnQueryAssociation(lParam);
        return 0;
    case WM_ACTIVATE:
        OnActivate(wParam);
        return 0;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case WM_CREATE:
        return OnCreate(hwnd);
    case WM_SETTINGCHANGE:
        OnSettingChange(wParam);
        return 0;
    case WM_SHELL_INPUT_PANEL:
        return OnShowInputPanel(wParam);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

LRESULT COVCShellObj::OnCreate(HWND hwnd) {
    m_hWnd = hwnd;
    m_taskbarWasVisible = m_taskbar.IsTaskbarVisible() != 0;
    m_commandBar = CommandBar_Create(nullptr, hwnd, 1);
    if (m_commandBar) {
        CommandBar_InsertMenubar(m_commandBar, g_hResInstance, 178, 0);
        m_menu = CommandBar_GetMenu(m_commandBar, 0);
    }
    EnableItem(ID_DISCONNECT, false);
    EnableItem(ID_HOST_PROPERTIES, false);
    if (SettingIsZero(SETTING_EXIT_MENU)) {
        DeleteMenu(m_menu, ID_EXIT, MF_BYCOMMAND);
        m_exitAllowed = 0;
    }
    return 0;
}

void COVCShellObj::EnableItem(UINT id, bool enable) {
    if (m_menu) EnableMenuItem(m_menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void COVCShellObj::DrawMenuBar() {
    if (m_commandBar) CommandBar_DrawMenuBar(m_commandBar, 0);
}

void COVCShellObj::OnTimer() {
    if (m_session) m_session->Poll();
    if (m_ovc) m_ovc->CheckInputTimeOut();
}

void COVCShellObj::OnSocketNotify(LPARAM event) {
    if (!m_session) return;
    switch (event) {
    case FD_READ:
        m_session->OnRead();
        break;
    case FD_CONNECT: {
        const std::u16string local = m_session->OnConnected();
        if (m_classic) m_classic->put_IPAddressAsString(CBstr(local).Get());
        break;
    }
    case FD_CLOSE:
        if (m_session->OnClosed()) {
            PostMessage(m_hWnd, WM_COMMAND, ID_SESSION_ENDED, 0);
            // The box's own loop runs the timer: the session's connection is
            // closed already, or it would be read as closed again, with a
            // second box.
            const std::u16string text = LoadResourceText(6075, 200);
            MessageBox(m_hWnd, text.c_str(), u"", MB_OK);
            SetCursor(0);
        }
        if (m_hostList && IsWindowVisible(m_hostList)) SetFocus(m_hostList);
        break;
    default:
        break;
    }
}

void COVCShellObj::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (dc && m_skinWindow && m_skinWindow->IsLoaded()) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        DrawImage(m_skinWindow->SkinImage(), dc, client);
    }
    EndPaint(m_hWnd, &ps);
}

HWND COVCShellObj::CreateHostList(const RECT& rect) {
    m_hostList = CreateWindowEx(kHostListExStyle, WC_LISTVIEW, u"", kHostListStyle, 0, rect.top, Width(rect),
                                Height(rect), m_hWnd, HMENU(kHostListId), nullptr, nullptr);
    if (!m_hostList) return 0;
    g_hHostList = m_hostList;
    m_largeImages = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 6, 0);
    m_smallImages = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 0);
    for (UINT id : {175u, 173u, 172u, 171u, 6003u, 180u}) {
        for (auto [images, side] : {std::pair{m_largeImages, 32}, {m_smallImages, 16}}) {
            const HICON icon = HICON(LoadImage(g_hResInstance, MAKEINTRESOURCE(id), IMAGE_ICON, side, side, 0));
            ImageList_AddIcon(images, icon);
            if (icon) DestroyIcon(icon);
        }
    }
    SendMessage(m_hostList, LVM_SETIMAGELIST, LVSIL_NORMAL, LPARAM(m_largeImages));
    SendMessage(m_hostList, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(m_smallImages));
    int column = 0;
    for (auto [text, cx] : {std::pair{u"Host", 90}, {u"Address", 80}, {u"Port", 50}}) {
        LVCOLUMN c{LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, LVCFMT_LEFT, cx, const_cast<char16_t*>(text), 0, column};
        SendMessage(m_hostList, LVM_INSERTCOLUMN, WPARAM(column++), LPARAM(&c));
    }
    return m_hostList;
}

void COVCShellObj::DeleteAllItems() {
    if (m_hostList) SendMessage(m_hostList, LVM_DELETEALLITEMS, 0, 0);
}

void COVCShellObj::RefreshHostList() {
    if (m_hostSearch || !m_hostList || !IsWindowVisible(m_hostList)) return;
    SendMessage(m_hostList, WM_SETREDRAW, FALSE, 0);
    DeleteAllItems();
    EnableItem(ID_HOST_PROPERTIES, false);
    if (m_listSource == 0) {
        EnableItem(ID_HOSTS_DISCOVERED, !SettingIsZero(SETTING_AUTODISCOVERY));
        EnableItem(ID_HOSTS_PROGRAMS, false);
        if (!SettingIsZero(SETTING_ALLOW_HOST_EDIT)) {
            LVITEM add{};
            add.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            add.pszText = const_cast<char16_t*>(u"Add New");
            add.iImage = kImageAddNew;
            SendMessage(m_hostList, LVM_INSERTITEM, 0, LPARAM(&add));
        }
        CHostListFile hosts;
        LVITEM item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        hosts.FillListView(m_hostList, item);
    } else {
        EnableItem(ID_HOSTS_DISCOVERED, false);
        EnableItem(ID_HOSTS_PROGRAMS, true);
        FillDiscoveredHosts(m_hostList);
    }
    DrawMenuBar();
    SendMessage(m_hostList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hostList, nullptr, TRUE);
}

int COVCShellObj::SelectedItem(int* image, CHostEntry** record) const {
    *image = -1;
    *record = nullptr;
    if (!m_hostList) return -1;
    const int index = int(SendMessage(m_hostList, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    if (index < 0) return -1;
    LVITEM item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(m_hostList, LVM_GETITEM, 0, LPARAM(&item))) return -1;
    *image = item.iImage;
    *record = reinterpret_cast<CHostEntry*>(item.lParam);
    return index;
}

LRESULT COVCShellObj::OnNotify(const NMHDR* header) {
    if (!header || header->idFrom != UINT_PTR(kHostListId)) return 0;
    switch (header->code) {
    case NM_DBLCLK:
    case NM_RETURN:
        ConnectSelectedHost();
        break;
    case LVN_DELETEITEM:
        delete reinterpret_cast<CHostEntry*>(reinterpret_cast<const NMLISTVIEW*>(header)->lParam);
        break;
    case LVN_ITEMCHANGED: {
        EnableItem(ID_HOST_PROPERTIES, false);
        int image;
        CHostEntry* record;
        if (SelectedItem(&image, &record) >= 0 && image == kImageConfigured)
            EnableItem(ID_HOST_PROPERTIES, !SettingIsZero(SETTING_ALLOW_HOST_EDIT));
        DrawMenuBar();
        break;
    }
    default:
        break;
    }
    return 0;
}

void COVCShellObj::ConnectSelectedHost() {
    int image;
    CHostEntry* itemRecord;
    if (SelectedItem(&image, &itemRecord) < 0) return;
    if (!itemRecord) {
        if (image == kImageAddNew) PostMessage(m_hWnd, WM_EDIT_HOST, 0, 0);
        return;
    }
    // A copy: a search by name below empties the list, and the item's record with it.
    std::unique_ptr<CHostEntry> record = std::make_unique<CHostEntry>(*itemRecord);
    itemRecord = nullptr;
    if (record->GetPort() == 0 && image == kImageConfigured) {
        record = FindHostByName(record->GetHost());
    } else if (record->GetPort() == 0) {
        m_discovery.Resolve(*record);
    }
    if (!record || record->GetPort() == 0 || !m_session) return;
    ConnectTo(record->GetHost(), record->GetPort(), record->GetDescription());
}

bool COVCShellObj::ConnectTo(const char16_t* host, int32_t port, const char16_t* sessionName) {
    PrepareToConnectAndShowClient();
    const CShellSession::Opened opened = m_session->Open(host, port);
    if (opened != CShellSession::Opened::Connected) {
        if (opened == CShellSession::Opened::NotCreated)
            ShowResourceMessage(m_hWnd, 41, 6, MB_OK | MB_ICONEXCLAMATION);
        ShowHostList();
        return false;
    }
    m_session->SetName(sessionName);
    const std::u16string folder = m_programFolder + u"\\" + SessionFolderName(m_session->Name());
    plat::fs::CreateDirectory(folder);
    if (m_classic) {
        m_classic->put_bstrAppDirectory(CBstr(folder).Get());
        m_classic->Connect(CBstr(m_session->Name()).Get());
    }
    SetFocus(m_controlHost);
    return true;
}

void COVCShellObj::AutoLaunch(const char16_t* address, int32_t port) {
    if (!address || !*address || !port || !m_session) return;
    ConnectTo(address, port, kAutoLaunchName);
}

void COVCShellObj::PrepareToConnectAndShowClient() {
    ShellLog(LOG_TRACE, "PrepareToConnectAndShowClient");
    if (m_settings->GetBool(SETTING_HIDE_MENU_BAR)) {
        CommandBar_Show(m_commandBar, FALSE);
        RECT window;
        GetWindowRect(m_hWnd, &window);
        MoveWindow(m_hWnd, window.left, window.top - kMenuBarHeight, Width(window), Height(window) + kMenuBarHeight,
                   TRUE);
        const RECT& d = m_skinWindow->Skin().display;
        MoveWindow(m_controlHost, d.left, d.top + kMenuBarHeight, Width(d), Height(d), TRUE);
        if (m_classic) m_classic->IncreaseHeightForMenu();
    }
    ShowWindow(m_controlHost, SW_SHOW);
    EnableItem(ID_DISCONNECT, true);
    for (UINT id = ID_VIEW_LARGE; id <= ID_VIEW_DETAILS; ++id) EnableItem(id, false);
    DrawMenuBar();
    if (!SettingIsNonZero(SETTING_KEEP_HARDWARE_KEYS)) BackupHardwareKeys(1);
}

void COVCShellObj::ShowHostList() {
    if (m_session) m_session->End();
    ShowWindow(m_controlHost, SW_HIDE);
    if (m_commandBar && !IsWindowVisible(m_commandBar)) {
        CommandBar_Show(m_commandBar, TRUE);
        const CSkin& skin = m_skinWindow->Skin();
        MoveWindow(m_hWnd, skin.skin.left, skin.skin.top, Width(skin.skin), Height(skin.skin), TRUE);
        const RECT& d = skin.display;
        MoveWindow(m_hostList, d.left, d.top + kMenuBarHeight, Width(d), Height(d) - kMenuBarHeight, TRUE);
        MoveWindow(m_controlHost, d.left, d.top, Width(d), Height(d), TRUE);
    }
    ShowWindow(m_hostList, SW_SHOW);
    RefreshHostList();
    SetFocus(m_hostList);
    EnableItem(ID_DISCONNECT, false);
    for (UINT id = ID_VIEW_LARGE; id <= ID_VIEW_DETAILS; ++id) EnableItem(id, true);
    DrawMenuBar();
    BackupHardwareKeys(0);
    if (SettingIsNonZero(SETTING_EXIT_AFTER_SESSION)) PostQuitMessage(0);
}

void COVCShellObj::SetListView(UINT id) {
    static constexpr DWORD kViews[] = {LVS_ICON | LVS_AUTOARRANGE, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    const DWORD style = DWORD(GetWindowLongPtr(m_hostList, GWL_STYLE));
    SetWindowLongPtr(m_hostList, GWL_STYLE, LONG_PTR((style & ~(LVS_TYPEMASK | LVS_AUTOARRANGE)) | kViews[id - ID_VIEW_LARGE]));
    CheckMenuRadioItem(m_menu, ID_VIEW_LARGE, ID_VIEW_DETAILS, id, MF_BYCOMMAND);
    InvalidateRect(m_hostList, nullptr, TRUE);
}

void COVCShellObj::OnCommand(UINT id) {
    switch (id) {
    case ID_VIEW_LARGE:
    case ID_VIEW_SMALL:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS:
        SetListView(id);
        break;
    case ID_ABOUT:
        ShowAbout();
        break;
    case ID_CONFIGURE:
        ShowConfigure();
        break;
    case ID_HOST_PROPERTIES:
        EditHostProperties();
        break;
    case ID_HOSTS_PROGRAMS:
        m_listSource = 0;
        RefreshHostList();
        break;
    case ID_HOSTS_DISCOVERED:
        m_listSource = 1;
        RefreshHostList();
        break;
    case ID_EXIT:
        if (!m_exitAllowed) break;
        if (AskYesNo(g_hControlWnd, 6101, 4) == IDNO) break;
        DeleteAllItems();
        PostQuitMessage(0);
        break;
    case ID_DISCONNECT:
        if (m_session && m_session->IsActive() && AskYesNo(g_hControlWnd, 6064, 4) == IDNO) break;
        OnSessionEnd(id);
        break;
    case ID_SESSION_ENDED:
    case ID_RECONNECT:
        OnSessionEnd(id);
        break;
    default:
        break;
    }
}

void COVCShellObj::OnSessionEnd(UINT id) {
    if (m_session && m_session->IsActive()) {
        ShowHostList();
        if (m_classic) m_classic->Disconnect();
    }
    if (id == ID_RECONNECT) {
        Reconnect();
        return;
    }
    if (SettingIsNonZero(SETTING_EXIT_AFTER_SESSION)) {
        DeleteAllItems();
        PostQuitMessage(0);
    }
}

void COVCShellObj::Reconnect() {
    if (!m_session) return;
    CHostEntry record;
    CHostListFile hosts;
    bool found = hosts.FindByDescription(m_session->Name().c_str(), record) != 0;
    if (!found) {
        const char16_t* entryUrl = m_settings->GetString(SETTING_HOST_ENTRY_URL);
        if (entryUrl && *entryUrl) {
            CExternalHosts directory;
            directory.SetUrls(*m_settings);
            record.Reset();
            found = directory.GetHost(m_session->Name().c_str(), record) != 0;
        }
    }
    if (!found) return;
    ShowWindow(m_controlHost, SW_SHOW);
    UpdateWindow(m_controlHost);
    PrepareToConnectAndShowClient();
    // A reconnect that fails returns to the host list, as every other connect does.
    if (m_session->Open(record.GetHost(), record.GetPort()) != CShellSession::Opened::Connected) ShowHostList();
}

void COVCShellObj::EditHostProperties() {
    int image;
    CHostEntry* record;
    if (SelectedItem(&image, &record) < 0 || image != kImageConfigured || !record) return;
    PostMessage(m_hWnd, WM_EDIT_HOST, 0, LPARAM(new CHostEntry(*record)));
}

void COVCShellObj::OnSaveHost(CHostEntry* record) {
    std::unique_ptr<CHostEntry> owned(record);
    auto dialog = std::make_unique<CHostDlg>();
    if (owned)
        dialog->SetDescription(owned->GetDescription());
    else
        dialog->CreateNewHost();
    owned.reset();
    dialog->Run(m_hWnd);
    dialog.reset();
    PostMessage(m_hWnd, WM_REFRESH_HOSTS, 0, 0);
}

void COVCShellObj::OnClose() {
    if (m_taskbarWasVisible) m_taskbar.ShowTaskbar(0);
    plat::sip::ClosePanel();
    DeleteAllItems();
    if (!m_released) PostQuitMessage(0);
}

void COVCShellObj::OnActivate(WPARAM wParam) {
    if (LOWORD(wParam) == 0) {
        HWND focus = GetFocus();
        m_focusChild = focus && IsChild(m_hWnd, focus) ? focus : 0;
    }
    if (CPtr<IOVC> ovc = AskControl()) ovc->ShellActivate(LOWORD(wParam) ? 1 : 0);
}

void COVCShellObj::OnSetFocus() {
    if (m_focusChild && IsChild(m_hWnd, m_focusChild)) SetFocus(m_focusChild);
}

void COVCShellObj::OnQueryAssociation(LPARAM lParam) {
    if (!lParam) return;
    if (CPtr<IOVC> ovc = AskControl()) ovc->IsAssociatedWithRadio(reinterpret_cast<LONG*>(lParam));
}

void COVCShellObj::OnSettingChange(WPARAM wParam) {
    if (wParam != SPI_SETSIPINFO) return;
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    if (!SipGetInfo(&sip)) return;
    RECT work = m_skinWindow->Skin().skin;
    if (work.top < 0) work.top = 1;
    const bool shown = (sip.fdwFlags & SIPF_ON) != 0;
    const bool docked = (sip.fdwFlags & SIPF_DOCKED) != 0;
    if (shown && docked) {
        if (m_classic) m_classic->put_SipStateUp(1);
        MoveWindow(m_hWnd, work.left, work.top, Width(work), Height(work) - Height(sip.rcSipRect), TRUE);
    } else if (!shown && docked) {
        if (m_classic) m_classic->put_SipStateUp(0);
        MoveWindow(m_hWnd, work.left, work.top, Width(work), Height(work), TRUE);
    }
    if (!shown) InvalidateRect(m_hWnd, &sip.rcSipRect, TRUE);
}

LRESULT COVCShellObj::OnShowInputPanel(WPARAM wParam) {
    // The registered input method (the soft keyboard) on the input panel;
    // without one, only the panel's state changes.
    if (SipShowIM(wParam ? SIPF_ON : SIPF_OFF)) return TRUE;
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    SipGetInfo(&sip);
    sip.fdwFlags = wParam ? SIPF_ON : 0;
    return SipSetInfo(&sip);
}

void COVCShellObj::OnContextMenu(LPARAM lParam) {
    // No context menu is loaded; the tap is only tracked when one exists.
    if (!m_contextMenu) return;
    RECT window;
    GetWindowRect(m_hWnd, &window);
    TrackPopupMenuEx(m_contextMenu, 0, GET_X_LPARAM(lParam) + window.left, GET_Y_LPARAM(lParam) + window.top, m_hWnd,
                     nullptr);
}

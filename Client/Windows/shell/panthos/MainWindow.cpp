// The main window "OVSCShellWindow": the host list or, during a session, the
// client control; its timer polls the socket, the socket's notifications
// carry the host's bytes into the control, the menu commands switch views
// and end sessions, and the list's notifications start connections.
#include <algorithm>
#include <memory>
#include <string>

#include "ShellObj.h"
#include "control/SessionWindow.h"
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

using sessionwindow::kMenuBarHeight;

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
        if (m_settings.SkinWindow()) m_settings.SkinWindow()->OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (m_settings.SkinWindow()) m_settings.SkinWindow()->OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (m_settings.SkinWindow()) m_settings.SkinWindow()->OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
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
    case WM_RBUTTONDOWN:  // no context menu
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
    m_menu.Create(hwnd, GetShellResources());
    m_menu.Enable(ID_DISCONNECT, false);
    m_menu.Enable(ID_HOST_PROPERTIES, false);
    if (m_settings.IsZero(SETTING_EXIT_MENU)) {
        m_menu.Remove(ID_EXIT);
        m_exitAllowed = 0;
    }
    return 0;
}

void COVCShellObj::OnTimer() {
    if (m_session) m_session->Poll();
    m_control.Tick();
}

void COVCShellObj::OnSocketNotify(LPARAM event) {
    if (!m_session) return;
    switch (event) {
    case FD_READ:
        m_session->OnRead();
        break;
    case FD_CONNECT: {
        const std::u16string local = m_session->OnConnected();
        if (IOVCClassic* control = m_control.Classic()) control->put_IPAddressAsString(CBstr(local).Get());
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
        if (m_hosts.IsShown()) SetFocus(m_hosts.Window());
        break;
    default:
        break;
    }
}

void COVCShellObj::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (dc && m_settings.SkinWindow() && m_settings.SkinWindow()->IsLoaded()) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        DrawImage(m_settings.SkinWindow()->SkinImage(), dc, client);
    }
    EndPaint(m_hWnd, &ps);
}

void COVCShellObj::RefreshHostList() {
    if (m_hosts.IsSearching() || !m_hosts.IsShown()) return;
    m_hosts.BeginRefill();
    m_menu.Enable(ID_HOST_PROPERTIES, false);
    if (m_hosts.GetSource() == CHostListView::Source::Programs) {
        m_menu.Enable(ID_HOSTS_DISCOVERED, !m_settings.IsZero(SETTING_AUTODISCOVERY));
        m_menu.Enable(ID_HOSTS_PROGRAMS, false);
        m_hosts.AddPrograms(!m_settings.IsZero(SETTING_ALLOW_HOST_EDIT));
    } else {
        m_menu.Enable(ID_HOSTS_DISCOVERED, false);
        m_menu.Enable(ID_HOSTS_PROGRAMS, true);
        m_hosts.AddDiscovered(m_discovery.Shown());
    }
    m_menu.Draw();
    m_hosts.EndRefill();
}

LRESULT COVCShellObj::OnNotify(const NMHDR* header) {
    if (!header || header->idFrom != UINT_PTR(CHostListView::kId)) return 0;
    switch (header->code) {
    case NM_DBLCLK:
    case NM_RETURN:
        ConnectSelectedHost();
        break;
    case LVN_DELETEITEM:
        m_hosts.OnDeleteItem(header);
        break;
    case LVN_ITEMCHANGED:
        m_menu.Enable(ID_HOST_PROPERTIES, false);
        if (m_hosts.Selected().image == CHostListView::kImageConfigured)
            m_menu.Enable(ID_HOST_PROPERTIES, !m_settings.IsZero(SETTING_ALLOW_HOST_EDIT));
        m_menu.Draw();
        break;
    default:
        break;
    }
    return 0;
}

void COVCShellObj::ConnectSelectedHost() {
    const CHostListView::Selection selected = m_hosts.Selected();
    if (selected.index < 0) return;
    if (!selected.record) {
        if (selected.image == CHostListView::kImageAddNew) PostMessage(m_hWnd, WM_EDIT_HOST, 0, 0);
        return;
    }
    // A copy: a search by name below empties the list, and the item's record with it.
    std::unique_ptr<CHostEntry> record = std::make_unique<CHostEntry>(*selected.record);
    if (record->GetPort() == 0 && selected.image == CHostListView::kImageConfigured) {
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
            m_session->ShowConnectFailure(m_hWnd);
        ShowHostList();
        return false;
    }
    m_session->SetName(sessionName);
    const std::u16string folder = m_programFolder + u"\\" + SessionFolderName(m_session->Name());
    plat::fs::CreateDirectory(folder);
    if (IOVCClassic* control = m_control.Classic()) {
        control->put_bstrAppDirectory(CBstr(folder).Get());
        control->Connect(CBstr(m_session->Name()).Get());
    }
    SetFocus(m_control.Window());
    return true;
}

void COVCShellObj::AutoLaunch(const char16_t* address, int32_t port) {
    if (!address || !*address || !port || !m_session) return;
    ConnectTo(address, port, kAutoLaunchName);
}

void COVCShellObj::PrepareToConnectAndShowClient() {
    ShellLog(LOG_TRACE, "PrepareToConnectAndShowClient");
    if (m_settings.Store().GetBool(SETTING_HIDE_MENU_BAR)) {
        m_menu.Show(false);
        RECT window;
        GetWindowRect(m_hWnd, &window);
        MoveWindow(m_hWnd, window.left, window.top - kMenuBarHeight, Width(window), Height(window) + kMenuBarHeight,
                   TRUE);
        const RECT& d = m_settings.SkinWindow()->Skin().display;
        MoveWindow(m_control.Window(), d.left, d.top + kMenuBarHeight, Width(d), Height(d), TRUE);
        if (IOVCClassic* control = m_control.Classic()) control->IncreaseHeightForMenu();
    }
    ShowWindow(m_control.Window(), SW_SHOW);
    m_menu.Enable(ID_DISCONNECT, true);
    for (UINT id = ID_VIEW_LARGE; id <= ID_VIEW_DETAILS; ++id) m_menu.Enable(id, false);
    m_menu.Draw();
    if (!m_settings.IsNonZero(SETTING_KEEP_HARDWARE_KEYS)) BackupHardwareKeys(1);
}

void COVCShellObj::ShowHostList() {
    if (m_session) m_session->End();
    ShowWindow(m_control.Window(), SW_HIDE);
    if (m_menu.IsHidden()) {
        m_menu.Show(true);
        const CSkin& skin = m_settings.SkinWindow()->Skin();
        MoveWindow(m_hWnd, skin.skin.left, skin.skin.top, Width(skin.skin), Height(skin.skin), TRUE);
        const RECT& d = skin.display;
        MoveWindow(m_hosts.Window(), d.left, d.top + kMenuBarHeight, Width(d), Height(d) - kMenuBarHeight, TRUE);
        MoveWindow(m_control.Window(), d.left, d.top, Width(d), Height(d), TRUE);
    }
    ShowWindow(m_hosts.Window(), SW_SHOW);
    RefreshHostList();
    SetFocus(m_hosts.Window());
    m_menu.Enable(ID_DISCONNECT, false);
    for (UINT id = ID_VIEW_LARGE; id <= ID_VIEW_DETAILS; ++id) m_menu.Enable(id, true);
    m_menu.Draw();
    BackupHardwareKeys(0);
    if (m_settings.IsNonZero(SETTING_EXIT_AFTER_SESSION)) PostQuitMessage(0);
}

void COVCShellObj::SetListView(UINT id) {
    m_menu.Check(ID_VIEW_LARGE, ID_VIEW_DETAILS, id);
    m_hosts.SetView(int(id - ID_VIEW_LARGE));
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
        m_control.ShowSheet(true, m_hWnd);
        break;
    case ID_CONFIGURE:
        m_control.ShowSheet(false, m_hWnd);
        break;
    case ID_HOST_PROPERTIES:
        EditHostProperties();
        break;
    case ID_HOSTS_PROGRAMS:
        m_hosts.SetSource(CHostListView::Source::Programs);
        RefreshHostList();
        break;
    case ID_HOSTS_DISCOVERED:
        m_hosts.SetSource(CHostListView::Source::Discovered);
        RefreshHostList();
        break;
    case ID_EXIT:
        if (!m_exitAllowed) break;
        if (AskYesNo(m_control.Window(), 6101, 4) == IDNO) break;
        m_hosts.Clear();
        PostQuitMessage(0);
        break;
    case ID_DISCONNECT:
        if (m_session && m_session->IsActive() && AskYesNo(m_control.Window(), 6064, 4) == IDNO) break;
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
        if (IOVCClassic* control = m_control.Classic()) control->Disconnect();
    }
    if (id == ID_RECONNECT) {
        Reconnect();
        return;
    }
    if (m_settings.IsNonZero(SETTING_EXIT_AFTER_SESSION)) {
        m_hosts.Clear();
        PostQuitMessage(0);
    }
}

void COVCShellObj::Reconnect() {
    if (!m_session) return;
    CHostEntry record;
    CHostListFile hosts;
    bool found = hosts.FindByDescription(m_session->Name().c_str(), record) != 0;
    if (!found) {
        const char16_t* entryUrl = m_settings.Store().GetString(SETTING_HOST_ENTRY_URL);
        if (entryUrl && *entryUrl) {
            CExternalHosts directory;
            directory.SetUrls(m_settings.Store());
            record.Reset();
            found = directory.GetHost(m_session->Name().c_str(), record) != 0;
        }
    }
    if (!found) return;
    ShowWindow(m_control.Window(), SW_SHOW);
    UpdateWindow(m_control.Window());
    PrepareToConnectAndShowClient();
    // A reconnect that fails returns to the host list, as every other connect does.
    if (m_session->Open(record.GetHost(), record.GetPort()) != CShellSession::Opened::Connected) ShowHostList();
}

void COVCShellObj::EditHostProperties() {
    const CHostListView::Selection selected = m_hosts.Selected();
    if (selected.image != CHostListView::kImageConfigured || !selected.record) return;
    PostMessage(m_hWnd, WM_EDIT_HOST, 0, LPARAM(new CHostEntry(*selected.record)));
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
    m_hosts.Clear();
    if (!m_released) PostQuitMessage(0);
}

void COVCShellObj::OnActivate(WPARAM wParam) {
    if (LOWORD(wParam) == 0) {
        HWND focus = GetFocus();
        m_focusChild = focus && IsChild(m_hWnd, focus) ? focus : 0;
    }
    if (CPtr<IOVC> ovc = m_control.Ask()) ovc->ShellActivate(LOWORD(wParam) ? 1 : 0);
}

void COVCShellObj::OnSetFocus() {
    if (m_focusChild && IsChild(m_hWnd, m_focusChild)) SetFocus(m_focusChild);
}

void COVCShellObj::OnQueryAssociation(LPARAM lParam) {
    if (!lParam) return;
    if (CPtr<IOVC> ovc = m_control.Ask()) ovc->IsAssociatedWithRadio(reinterpret_cast<LONG*>(lParam));
}

void COVCShellObj::OnSettingChange(WPARAM wParam) {
    if (wParam != SPI_SETSIPINFO) return;
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    if (!SipGetInfo(&sip)) return;
    RECT work = m_settings.SkinWindow()->Skin().skin;
    if (work.top < 0) work.top = 1;
    const bool shown = (sip.fdwFlags & SIPF_ON) != 0;
    const bool docked = (sip.fdwFlags & SIPF_DOCKED) != 0;
    if (shown && docked) {
        if (IOVCClassic* control = m_control.Classic()) control->put_SipStateUp(1);
        MoveWindow(m_hWnd, work.left, work.top, Width(work), Height(work) - Height(sip.rcSipRect), TRUE);
    } else if (!shown && docked) {
        if (IOVCClassic* control = m_control.Classic()) control->put_SipStateUp(0);
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

void COVCShellObj::OnOVCDisconnect() {
    if (!m_session || !m_session->IsActive()) return;
    ShowHostList();
    PostMessage(m_hWnd, WM_COMMAND, m_settings.Store().GetBool(SETTING_AUTO_RECONNECT) ? ID_RECONNECT : ID_SESSION_ENDED, 0);
}

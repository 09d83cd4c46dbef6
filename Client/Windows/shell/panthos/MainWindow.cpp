// What the main window's messages ask of the shell object: the window shows
// the host list or, during a session, the client control; its timer polls
// the socket, the socket's notifications carry the host's bytes into the
// control, the menu commands switch views and end sessions, and the list's
// notifications start connections. The window itself is the main-window part.
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

void COVCShellObj::Created(HWND hwnd) {
    m_taskbarWasVisible = m_taskbar.IsTaskbarVisible() != 0;
    m_menu.Create(hwnd, GetShellResources());
    m_menu.Enable(ID_DISCONNECT, false);
    m_menu.Enable(ID_HOST_PROPERTIES, false);
    if (m_settings.IsZero(SETTING_EXIT_MENU)) {
        m_menu.Remove(ID_EXIT);
        m_exitAllowed = 0;
    }
}

void COVCShellObj::Timer() {
    if (m_session) m_session->Poll();
    m_control.Tick();
}

void COVCShellObj::SocketNotify(LPARAM event) {
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
            PostMessage(m_main.Window(), WM_COMMAND, ID_SESSION_ENDED, 0);
            // The box's own loop runs the timer: the session's connection is
            // closed already, or it would be read as closed again, with a
            // second box.
            const std::u16string text = LoadResourceText(6075, 200);
            MessageBox(m_main.Window(), text.c_str(), u"", MB_OK);
            SetCursor(0);
        }
        if (m_hosts.IsShown()) SetFocus(m_hosts.Window());
        break;
    default:
        break;
    }
}

void COVCShellObj::SocketReadable() {
    if (m_session) m_session->Poll();
}

void COVCShellObj::RefreshHosts() {
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

LRESULT COVCShellObj::Notify(const NMHDR* header) {
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
        if (selected.image == CHostListView::kImageAddNew) PostMessage(m_main.Window(), WM_EDIT_HOST, 0, 0);
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
            m_session->ShowConnectFailure(m_main.Window());
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
        GetWindowRect(m_main.Window(), &window);
        MoveWindow(m_main.Window(), window.left, window.top - kMenuBarHeight, Width(window), Height(window) + kMenuBarHeight,
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
        MoveWindow(m_main.Window(), skin.skin.left, skin.skin.top, Width(skin.skin), Height(skin.skin), TRUE);
        const RECT& d = skin.display;
        MoveWindow(m_hosts.Window(), d.left, d.top + kMenuBarHeight, Width(d), Height(d) - kMenuBarHeight, TRUE);
        MoveWindow(m_control.Window(), d.left, d.top, Width(d), Height(d), TRUE);
    }
    ShowWindow(m_hosts.Window(), SW_SHOW);
    RefreshHosts();
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

void COVCShellObj::Command(UINT id) {
    switch (id) {
    case ID_VIEW_LARGE:
    case ID_VIEW_SMALL:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS:
        SetListView(id);
        break;
    case ID_ABOUT:
        m_control.ShowSheet(true, m_main.Window());
        break;
    case ID_CONFIGURE:
        m_control.ShowSheet(false, m_main.Window());
        break;
    case ID_HOST_PROPERTIES:
        EditHostProperties();
        break;
    case ID_HOSTS_PROGRAMS:
        m_hosts.SetSource(CHostListView::Source::Programs);
        RefreshHosts();
        break;
    case ID_HOSTS_DISCOVERED:
        m_hosts.SetSource(CHostListView::Source::Discovered);
        RefreshHosts();
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
    PostMessage(m_main.Window(), WM_EDIT_HOST, 0, LPARAM(new CHostEntry(*selected.record)));
}

void COVCShellObj::EditHost(std::unique_ptr<CHostEntry> owned) {
    auto dialog = std::make_unique<CHostDlg>();
    if (owned)
        dialog->SetDescription(owned->GetDescription());
    else
        dialog->CreateNewHost();
    owned.reset();
    dialog->Run(m_main.Window());
    dialog.reset();
    PostMessage(m_main.Window(), WM_REFRESH_HOSTS, 0, 0);
}

void COVCShellObj::Closed() {
    if (m_taskbarWasVisible) m_taskbar.ShowTaskbar(0);
    plat::sip::ClosePanel();
    m_hosts.Clear();
    if (!m_released) PostQuitMessage(0);
}

void COVCShellObj::Activated(bool active) {
    if (CPtr<IOVC> ovc = m_control.Ask()) ovc->ShellActivate(active ? 1 : 0);
}

void COVCShellObj::QueryAssociation(LONG* associated) {
    if (CPtr<IOVC> ovc = m_control.Ask()) ovc->IsAssociatedWithRadio(associated);
}

void COVCShellObj::InputPanelDocked(bool up) {
    if (IOVCClassic* control = m_control.Classic()) control->put_SipStateUp(up ? 1 : 0);
}

void COVCShellObj::OnOVCDisconnect() {
    if (!m_session || !m_session->IsActive()) return;
    ShowHostList();
    PostMessage(m_main.Window(), WM_COMMAND, m_settings.Store().GetBool(SETTING_AUTO_RECONNECT) ? ID_RECONNECT : ID_SESSION_ENDED, 0);
}

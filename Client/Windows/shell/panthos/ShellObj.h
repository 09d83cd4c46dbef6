// The shell object COVCShellObj of "Panthos.dll": Load builds the device
// program from its parts (settings and skin, session, hosted client control,
// host list, menu, discovery), runs its message loop on the calling thread
// and tears it down again. It wires the parts: what the main window's
// messages ask (MainWindow.cpp) and the search by name (Discovery.cpp) are
// its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "control/Ravelcore.h"
#include "core/hooks/CoreMessages.h"
#include "panthos/HostDiscovery.h"
#include "panthos/HostedControl.h"
#include "panthos/HostListView.h"
#include "panthos/ShellMainWindow.h"
#include "panthos/ShellMenu.h"
#include "panthos/ShellSettings.h"
#include "panthos/ShellSession.h"
#include "platform/ComServer.h"
#include "platform/ListView.h"
#include "shell/CeSock.h"
#include "shell/HostList.h"
#include "shell/Panthos.h"
#include "shell/SettingsStore.h"
#include "shell/Skin.h"
#include "shell/Taskbar.h"

// Commands without a menu item.
constexpr UINT ID_RECONNECT = 1026;
constexpr UINT ID_CONFIGURE = 40068;

// Menu items of menu 178.
enum : UINT {
    ID_DISCONNECT = 42001,
    ID_EXIT = 40027,
    ID_VIEW_LARGE = 40107,
    ID_VIEW_SMALL = 40108,
    ID_VIEW_LIST = 40109,
    ID_VIEW_DETAILS = 40110,
    ID_HOSTS_PROGRAMS = 32768,
    ID_HOSTS_DISCOVERED = 32769,
    ID_HOST_PROPERTIES = 32770,
    ID_ABOUT = 40083,
};

constexpr UINT kPollTimer = 1;
constexpr UINT kPollMs = 50;
// The session folder and name of a start-up connection to an address.
constexpr const char16_t* kAutoLaunchName = u"AutoL";

class COVCShellObj final
    : public plat::com::CObject<IOVCShellObj, IConnectionPointContainer, ISupportErrorInfo>,
      private IShellWindowEvents {
public:
    COVCShellObj();
    ~COVCShellObj() override;

    HRESULT FinalConstruct() override;
    void FinalRelease() override;

    HRESULT Load(BSTR bstrXMLFileName) override;

    ORVADE_DISPATCH_NO_TYPEINFO
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD kinds, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT* argError) override;
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    // Start-up (ShellObj.cpp).
    HRESULT StartUp();
    void ShowSplash();
    void DestroySplash();
    bool CreateMainWindow();
    void StartUpConnection();
    void ShutDown();

    // What the main window's messages ask (MainWindow.cpp).
    void Created(HWND hwnd) override;
    void Command(UINT id) override;
    void Timer() override;
    void SocketNotify(LPARAM event) override;
    void SocketReadable() override;
    LRESULT Notify(const NMHDR* header) override;
    void EditHost(std::unique_ptr<CHostEntry> record) override;
    void RefreshHosts() override;
    void Closed() override;
    void Activated(bool active) override;
    void QueryAssociation(LONG* associated) override;
    void InputPanelDocked(bool up) override;

    void OnSessionEnd(UINT id);
    void Reconnect();
    void ConnectSelectedHost();
    void AutoLaunch(const char16_t* address, int32_t port);
    // Connects to the host and enters the session under the name.
    bool ConnectTo(const char16_t* host, int32_t port, const char16_t* sessionName);
    void PrepareToConnectAndShowClient();
    void ShowHostList();
    void EditHostProperties();
    void SetListView(UINT id);

    // The control's events.
    void OnOVCDisconnect();

    // The search by name of a start-up connection (Discovery.cpp).
    std::unique_ptr<CHostEntry> FindHostByName(std::u16string token);
    void PlayErrorSound();

    plat::com::CConnectionPoint m_events;

    CShellMainWindow m_main{*this};
    CHostedControl m_control{[this](int size, const void* data) {
                                 if (m_session) m_session->Send(data, size);
                             },
                             [this] { OnOVCDisconnect(); }};
    // Made with the main window, gone before the window; the discovery thread
    // runs only while it exists.
    std::unique_ptr<CShellSession> m_session;
    CHostDiscovery m_discovery{[this] { return m_session && m_session->IsActive(); }};
    std::u16string m_programFolder;
    CHostListView m_hosts;
    CShellMenu m_menu;
    CShellSettings m_settings;
    int m_exitAllowed = 1;
    HWND m_splash = 0;
    CImageHolder m_splashImage;
    bool m_taskbarWasVisible = false;
    CTaskbar m_taskbar;
    RECT m_workArea{};
    bool m_released = false;  // the loop has ended: closing posts no quit
};

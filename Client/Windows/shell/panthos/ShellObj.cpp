// The shell object: construction, Load's start-up, the settings pushed into
// the client control, the message loop and the shut-down.
#include "ShellObj.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/SessionWindow.h"
#include "platform/CommandBar.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/Screen.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "platform/Window.h"
#include "shell/ExternalConfig.h"
#include "shell/ShellUtil.h"
#include "shell/ShellWindows.h"

using plat::com::CBstr;
using plat::com::CPtr;

namespace {

using sessionwindow::kMenuBarHeight;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

COVCShellObj::COVCShellObj() : m_events(this, DIID__IOVCShellObjEvents) {}

COVCShellObj::~COVCShellObj() = default;

HRESULT COVCShellObj::FinalConstruct() {
    plat::com::RegisterHostWindowClass();
    return S_OK;
}

void COVCShellObj::FinalRelease() {
    m_released = true;
    const HWND mine = m_main.Window();
    // A Load that ended early may have left the thread running.
    m_discovery.Stop();
    m_control.Detach();
    m_discovery.Detach();
    m_main.Destroy();
    DestroySplash();
    m_session.reset();
    plat::com::UnregisterHostWindowClass();
    // The class names this library's procedure: left registered, the next
    // shell (perhaps of another load of the library) would create its window
    // with it. It stays while another object's window has it.
    CShellMainWindow::Unregister();
    // The process-wide handles are this object's only when it made them: a
    // second object that found a shell running leaves the first one's.
    if (mine && GetShellMainWindow() == mine) {
        SetShellMainWindow(0);
        SetShellControlWindow(0);
    }
    m_events.UnadviseAll();
}

HRESULT COVCShellObj::Load(BSTR) {
    HRESULT hr;
    try {
        hr = StartUp();
    } catch (const std::exception& e) {
        ShellLog(LOG_ERROR, "Start-up failed: %s", e.what());
        hr = E_FAIL;
    }
    DestroySplash();
    if (hr != S_OK) {
        // The thread must not outlive a failed start-up with the object it uses.
        m_discovery.Stop();
        return hr;
    }
    MSG msg;
    while (GetMessage(&msg, 0, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    ShutDown();
    return S_OK;
}

HRESULT COVCShellObj::StartUp() {
    // The program folder is the device's, whatever machine directory the
    // launcher runs from.
    m_programFolder = plat::fs::ProgramFolder();
    SetFolder(u"OVC", nullptr, m_programFolder.c_str());
    if (!LoadResourceDll()) return 1;

    m_settings.Load();

    ShowSplash();
    SystemParametersInfo(SPI_GETWORKAREA, 0, &m_workArea, 0);

    if (HWND other = FindWindow(kMainWindowClass, nullptr)) {
        SetForegroundWindow(other);
        // The running shell keeps its own session: whoever asked for a
        // connection must learn it was not made.
        if (const char* connect = std::getenv("ORVADE_CONNECT"); connect && *connect)
            std::fprintf(stderr,
                         "Launchwick: the device program already runs on this device root; it was brought "
                         "forward and --connect %s was not used\n",
                         connect);
        return 1;
    }
    const bool skinLayout = m_settings.Store().GetBool(SETTING_SKIN_LAYOUT) != 0;
    if (!CreateMainWindow()) return 1;
    const HWND mainWindow = m_main.Window();

    SetShellMainWindow(mainWindow);  // the connecting window centres on it
    SetTimer(mainWindow, kPollTimer, kPollMs);

    m_session = std::make_unique<CShellSession>(mainWindow, &m_settings.Store(), [this](int size, unsigned char* bytes) {
        if (IOVCData* data = m_control.Data()) data->OVCStreamInput(size, bytes);
    });

    CSkin& skin = m_settings.SkinWindow()->Skin();
    const RECT control = sessionwindow::BelowMenuBar(skin.display);
    const HWND controlHost = m_control.Create(mainWindow, control);
    SetShellControlWindow(controlHost);
    if (!controlHost) return 1;

    RECT controlRect;
    GetWindowRect(controlHost, &controlRect);
    m_taskbar.RegisterWindow(mainWindow);
    RECT taskbarRect;
    m_taskbar.GetTaskbarRect(&taskbarRect);
    m_hosts.Create(mainWindow, controlRect);
    ShowWindow(controlHost, SW_HIDE);

    CPtr<IOVC36_40> discovery;
    HRESULT hr = CoCreateInstance(CLSID_OVC36_40, nullptr, CLSCTX_ALL, IOVC36_40::kIID, discovery.OutVoid());
    if (FAILED(hr)) return -1;
    if (!discovery) return 1;
    hr = m_discovery.Attach(std::move(discovery));
    if (FAILED(hr)) return hr;
    if (m_settings.Store().HasValue(SETTING_AUTODISCOVERY_PORT))
        m_discovery.SetPort(m_settings.Store().GetInt(SETTING_AUTODISCOVERY_PORT));
    m_discovery.DelayNextPass(m_settings.HasStartUpConnection() ? 3000 : 0);

    hr = m_control.Attach();
    if (hr == S_FALSE) return 1;
    if (FAILED(hr)) return hr;

    m_settings.Push(m_control.Ask().Get(), m_control.Classic(), mainWindow);

    // The control checks are done: only now may the discovery thread run.
    if (!m_settings.IsZero(SETTING_AUTODISCOVERY)) m_discovery.Start(mainWindow);

    if (!m_settings.IsNonZero(SETTING_KEEP_HARDWARE_KEYS)) OpenHardwareKeys();
    if (m_control.ConfigurePages() == 0) {
        m_menu.Enable(ID_CONFIGURE, false);
        m_menu.Draw();
    }
    ShowWindow(mainWindow, SW_SHOW);
    RefreshHosts();
    DestroySplash();
    SetFocus(m_hosts.Window());

    if (skinLayout) {
        if (m_taskbar.IsTaskbarVisible()) m_taskbar.ShowTaskbar(kTaskbarHidden);
        RECT bar{};
        m_taskbar.GetTaskbarRect(&bar);
        skin.skin.bottom = bar.bottom;
        MoveWindow(mainWindow, skin.skin.left, skin.skin.top, Width(skin.skin), Height(skin.skin), TRUE);
        skin.display.bottom = bar.bottom;
        const RECT& d = skin.display;
        MoveWindow(m_control.Window(), d.left, d.top + kMenuBarHeight, Width(d), Height(d) - kMenuBarHeight, TRUE);
        MoveWindow(m_hosts.Window(), d.left, d.top + kMenuBarHeight, Width(d), Height(d) - kMenuBarHeight, TRUE);
    }
    StartUpConnection();
    return S_OK;
}

void COVCShellObj::ShowSplash() {
    const std::u16string image = FindSplashBitmap();
    RECT screen;
    GetClientRect(GetDesktopWindow(), &screen);
    m_splash = CreateWindowEx(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, screen.left,
                              screen.top, Width(screen), Height(screen), 0, 0, nullptr, nullptr);
    if (!m_splash || image.empty() || !LoadImageFile(m_splashImage, image)) return;
    HDC dc = GetDC(m_splash);
    DrawImage(m_splashImage, dc, screen);
    ReleaseDC(m_splash, dc);
}

void COVCShellObj::DestroySplash() {
    if (m_splash && IsWindow(m_splash)) DestroyWindow(m_splash);
    m_splash = 0;
}

bool COVCShellObj::CreateMainWindow() {
    RECT frame;
    std::u16string title;
    m_settings.LoadSkin(m_workArea, &frame, &title);
    m_main.SetSkin(m_settings.SkinWindow());
    const HWND window = m_main.Create(frame, title);
    if (!window) return false;
    m_settings.SkinWindow()->SetWindow(window);
    return true;
}

void COVCShellObj::StartUpConnection() {
    const CSettingsStore& s = m_settings.Store();
    if (s.HasValue(SETTING_AUTOLAUNCH_ADDRESS) && s.HasValue(SETTING_AUTOLAUNCH_PORT)) {
        AutoLaunch(s.GetString(SETTING_AUTOLAUNCH_ADDRESS), s.GetInt(SETTING_AUTOLAUNCH_PORT));
        return;
    }
    if (!s.HasValue(SETTING_AUTOCONNECT_HOST)) return;
    const char16_t* name = s.GetString(SETTING_AUTOCONNECT_HOST);
    std::unique_ptr<CHostEntry> host = FindHostByName(name ? name : u"");
    if (host && host->GetPort() != 0) {
        AutoLaunch(host->GetHost(), host->GetPort());
    } else if (m_settings.IsNonZero(SETTING_EXIT_AFTER_SESSION)) {
        PostQuitMessage(0);
    }
}

void COVCShellObj::ShutDown() {
    m_discovery.Stop();
    m_control.Detach();
    m_discovery.Detach();
    m_session.reset();
    ShellLog(LOG_TRACE, "FreeGlobalValues()");
    FreeResourceDll();
    CloseHardwareKeys();
}

// Dispatch: Load is DISPID 1.
HRESULT COVCShellObj::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = names[i] && EqualNoCase(names[i], u"Load") && i == 0 ? DISPID_Load : DISPID_UNKNOWN;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT COVCShellObj::Invoke(DISPID id, REFIID, LCID, WORD kinds, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                             UINT* argError) {
    if (id != DISPID_Load) return DISP_E_MEMBERNOTFOUND;
    if (!(kinds & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    plat::com::DispArgs args(params);
    if (args.Count() != 1) return DISP_E_BADPARAMCOUNT;
    BSTR name = nullptr;
    const HRESULT hr = args.Bstr(0, &name);
    if (FAILED(hr)) {
        if (argError) *argError = 0;
        return hr;
    }
    const HRESULT loaded = Load(name);
    if (result) *result = plat::com::VariantLong(loaded);
    return S_OK;
}

HRESULT COVCShellObj::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return plat::com::EnumPoints({&m_events}, points);
}

HRESULT COVCShellObj::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    return plat::com::FindPoint({&m_events}, iid, point);
}

HRESULT COVCShellObj::InterfaceSupportsErrorInfo(REFIID iid) { return iid == IOVCShellObj::kIID ? S_OK : S_FALSE; }

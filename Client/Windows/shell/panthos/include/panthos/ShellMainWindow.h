// The shell's main window "OVSCShellWindow" and its messages: the part
// routes the commands, the socket's and the timer's messages, the host
// list's notifications and the private messages of the catalogue to the
// shell, and owns what is the window's alone: the skin's taps and picture,
// the child that had the focus when the window was deactivated, and the
// window's size while the docked input panel shows. User-interface thread
// only.
#pragma once

#include <memory>
#include <string>

#include "platform/WinTypes.h"
#include "platform/Window.h"
#include "shell/HostList.h"
#include "shell/Skin.h"

constexpr const char16_t* kMainWindowClass = u"OVSCShellWindow";

// What the main window's messages ask of the shell, which wires the parts
// behind them.
class IShellWindowEvents {
public:
    virtual ~IShellWindowEvents() = default;
    // WM_CREATE: the window exists (its menu is made here).
    virtual void Created(HWND window) = 0;
    // WM_COMMAND: the command's id.
    virtual void Command(UINT id) = 0;
    virtual void Timer() = 0;
    // The socket's announcement (FD_READ, FD_CONNECT, FD_CLOSE), and its
    // "bytes wait" message or its "takes more" one (SocketReadable for both).
    virtual void SocketNotify(LPARAM event) = 0;
    virtual void SocketReadable() = 0;
    // WM_NOTIFY: its result.
    virtual LRESULT Notify(const NMHDR* header) = 0;
    // WM_EDIT_HOST: the host to edit, or null for a new one.
    virtual void EditHost(std::unique_ptr<CHostEntry> record) = 0;
    virtual void RefreshHosts() = 0;
    // WM_CLOSE and WM_DESTROY.
    virtual void Closed() = 0;
    // WM_ACTIVATE: the window became active (or inactive).
    virtual void Activated(bool active) = 0;
    // WM_QUERY_ASSOCIATION: the radio's answer into *associated (never null).
    virtual void QueryAssociation(LONG* associated) = 0;
    // The docked input panel came up (or went): the window was sized for it.
    virtual void InputPanelDocked(bool up) = 0;
};

class CShellMainWindow {
public:
    explicit CShellMainWindow(IShellWindowEvents& events) : m_events(events) {}
    ~CShellMainWindow();
    CShellMainWindow(const CShellMainWindow&) = delete;
    CShellMainWindow& operator=(const CShellMainWindow&) = delete;

    // Registers the class (a second shell finds it registered) and makes the
    // window, hidden; 0 when it cannot be made.
    HWND Create(const RECT& frame, const std::u16string& title);
    HWND Window() const { return m_window; }
    void Destroy();
    // The class names this part's procedure: it goes with the last window.
    static void Unregister();

    // The skin the window shows and takes taps for (null: none).
    void SetSkin(CSkinWindow* skin) { m_skin = skin; }

private:
    static LRESULT Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnActivate(WPARAM wParam);
    void OnSettingChange(WPARAM wParam);
    // WM_SHELL_INPUT_PANEL: the registered input method on the panel, or
    // without one the panel's state alone.
    static LRESULT ShowInputPanel(bool show);

    IShellWindowEvents& m_events;
    HWND m_window = 0;
    CSkinWindow* m_skin = nullptr;
    HWND m_focusChild = 0;  // the focus when the window was deactivated
};

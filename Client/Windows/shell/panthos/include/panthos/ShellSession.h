// The session with the host as the shell runs it: the connection (CCeSock),
// the message wait that watches it between the timer's ticks, whether a
// session runs (the discovery thread asks too) and the session's name. The
// main window hands it the socket's announcements. User-interface thread,
// but for IsActive.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "shell/CeSock.h"

class CSettingsStore;

class CShellSession {
public:
    // Where the host's bytes go.
    using Input = std::function<void(int size, unsigned char* bytes)>;
    // window: the main window, which the socket announces to and the wait
    // posts WM_SOCKET_READABLE and WM_SOCKET_WRITABLE to. settings: not owned, may be null.
    CShellSession(HWND window, CSettingsStore* settings, Input input);
    ~CShellSession();
    CShellSession(const CShellSession&) = delete;
    CShellSession& operator=(const CShellSession&) = delete;

    bool IsActive() const { return m_active.load(); }
    const std::u16string& Name() const { return m_name; }
    void SetName(std::u16string name) { m_name = std::move(name); }

    enum class Opened { Connected, NotCreated, NotConnected };
    // A session begins: connects to the host and waits for the connection
    // behind the socket's connecting window (its boxes shown). A failure
    // ends the session again.
    Opened Open(const char16_t* host, int32_t port);
    // The box "unable to connect" with the last failure's reason.
    void ShowConnectFailure(HWND owner) const { m_socket->ShowConnectFailure(owner); }
    // The session ends; its connection is closed.
    void End();

    // The timer's tick, or the wait saw the connection readable, or taking
    // more while replies wait.
    void Poll();
    // The control's bytes for the host; dropped while no session runs.
    void Send(const void* data, int size);

    // The socket's announcements (WM_SOCKET_NOTIFY).
    // Bytes arrived: they go to the input.
    void OnRead();
    // The connect completed: the wait watches the connection. Its local
    // address.
    std::u16string OnConnected();
    // The host closed the connection: the wait stops watching it. true when
    // a session ran; its connection is closed then (a box shown meanwhile
    // would read it closed again), the session itself is not ended.
    bool OnClosed();

private:
    void Watch();
    void Unwatch();
    // Every close: the wait stops watching the descriptor first.
    void Close();

    HWND m_window;
    Input m_input;
    std::unique_ptr<CCeSock> m_socket;
    int m_watched = -1;  // the descriptor the wait watches
    bool m_writeWatched = false;  // for taking more, until the next Poll
    std::atomic<bool> m_active{false};
    std::u16string m_name;
};

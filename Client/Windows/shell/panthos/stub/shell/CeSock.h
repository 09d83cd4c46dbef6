// A stand-in for the shell library's socket until it is built there: the
// same interface, built into "Panthos.dll" only while the library has none.
// The shell's TCP connection to the host, polled by the main window's 50 ms
// timer: a pending connect is finished, held-back bytes are sent, arrived
// bytes are read into a receive buffer and announced to the owner window
// with WM_SOCKET_NOTIFY (sent, not posted). User-interface thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Window.h"

class CSettingsStore;

// To the owner window: wParam the socket (0 for the close), lParam the event.
constexpr UINT WM_SOCKET_NOTIFY = 0x373;
constexpr LPARAM FD_READ = 1;
constexpr LPARAM FD_CONNECT = 16;
constexpr LPARAM FD_CLOSE = 32;
// To the main window: lParam points to a BOOL preset to 1, replaced by the
// radio's association state.
constexpr UINT WM_QUERY_ASSOCIATION = WM_USER + 5;
// WM_COMMAND to the main window: back to the host list.
constexpr UINT ID_SESSION_ENDED = 40008;

class CCeSock {
public:
    static constexpr size_t kMaxHost = 99;
    static constexpr uint32_t kConnectWaitMs = 3000;

    explicit CCeSock(HWND owner);
    virtual ~CCeSock();
    CCeSock(const CCeSock&) = delete;
    CCeSock& operator=(const CCeSock&) = delete;

    void SetSettingsStore(CSettingsStore* store) { m_store = store; }

    // Resolves the host and starts a connect: 1 when it stands or goes on.
    int Create(const char16_t* host, int32_t port);
    // Waits up to the connect wait for the connection: 1 when it stands.
    int WaitForConnection();
    // The bytes handed to the network now; 0 when none went (they wait as
    // blocked data); -1 after a send error.
    int Send(const void* data, int length);
    void Poll();
    virtual int Read(void* buffer, int length);
    void Close();
    const char16_t* GetLocalAddress();

    bool IsOpen() const { return m_socket >= 0; }
    bool IsConnected() const { return m_connected; }

protected:
    virtual void OnReadable();
    virtual void NotifyClose();
    virtual void NotifyRead();

private:
    bool QueryAssociation();
    int Connect();
    void CheckConnect();
    int RawSend(const uint8_t* data, size_t length);

    int32_t m_port = 0;
    char16_t m_host[kMaxHost + 1] = {};
    bool m_connected = false;
    HWND m_owner;
    int m_socket = -1;
    std::vector<uint8_t> m_receive;
    size_t m_unread = 0;
    CSettingsStore* m_store = nullptr;
    std::vector<uint8_t> m_blocked;
    char16_t m_localAddress[16] = {};
};

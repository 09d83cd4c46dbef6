// The device's taskbar, through the maker's taskbar library
// "\Windows\OVTBApi.dll" when it is installed, else through the system's
// taskbar windows ("AppCenterTaskBar", "HHTaskBar"); and the hardware keys
// taken for the shell through the game input library "GX.DLL", with the
// system's bindings of F1 to F12 moved aside while a session runs.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "platform/Library.h"
#include "platform/exports/TaskbarExports.h"
#include "platform/Window.h"

constexpr uint32_t kTaskbarHidden = 2;

class CTaskbar {
public:
    CTaskbar();
    virtual ~CTaskbar();
    CTaskbar(const CTaskbar&) = delete;
    CTaskbar& operator=(const CTaskbar&) = delete;

    virtual int ShowTaskbar(uint32_t state);
    virtual int IsTaskbarVisible();
    virtual int IsStateOne();
    virtual int IsStateNotZero();
    virtual int HasTaskbarApi();
    virtual int RegisterWindow(HWND window);
    virtual int NotifyIcon(DWORD message, void* data, BOOL allowSystem);
    virtual int GetTaskbarRect(RECT* rect);

    bool HasLibrary() const { return m_library != nullptr; }

private:
    // The library's state for the registered window; false without one.
    bool AskState(uint32_t* state);

    HWND m_window = 0;
    HMODULE m_library = nullptr;
    struct Exports {
        ORVADE_EXPORT_TABLE(ORVADE_TASKBAR_EXPORTS)
    } m_api;
};

// 0 when the game input library opened, -1 otherwise.
int OpenHardwareKeys();
// Moves the bindings of F1 to F12 aside (1) or puts them back (0).
void BackupHardwareKeys(int moveAside);
void CloseHardwareKeys();

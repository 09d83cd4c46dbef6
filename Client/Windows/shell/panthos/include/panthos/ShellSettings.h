// The settings and the skin as the shell applies them: the store loaded
// from the registry, the external configurations and a developer's run
// (ORVADE_CONNECT=HOST:PORT, a start-up connection never written to the
// device's settings), the skin of the default skin folder or the work area
// without one, and the settings pushed into the client control.
// User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "control/Ravelcore.h"
#include "shell/SettingsStore.h"
#include "shell/Skin.h"

class CShellSettings {
public:
    // Loads the store and gives the shell's log its settings.
    void Load();
    CSettingsStore& Store() { return *m_store; }
    const CSettingsStore& Store() const { return *m_store; }

    // The setting has a value, and it is 0 (not 0).
    bool IsZero(int n) const;
    bool IsNonZero(int n) const;
    // An address and port, or a host by name, to connect to at start-up.
    bool HasStartUpConnection() const;
    // The screen's bits per pixel as the store was loaded (2: low colour).
    int ColorDepth() const { return m_colorDepth; }

    // The skin: frame and title are the skin's, or the work area and the
    // default title when the skin does not load.
    void LoadSkin(const RECT& workArea, RECT* frame, std::u16string* title);
    // Null before LoadSkin.
    CSkinWindow* SkinWindow() const { return m_skin.get(); }

    // What the store holds, into the control, around its Initialize; the
    // terminal id is the skin's unless a setting gives it.
    void Push(IOVC* ovc, IOVCClassic* classic, HWND shellWindow) const;

private:
    void ApplyRunOverrides();

    std::unique_ptr<CSettingsStore> m_store;
    std::unique_ptr<CSkinWindow> m_skin;
    int m_colorDepth = 0;
};

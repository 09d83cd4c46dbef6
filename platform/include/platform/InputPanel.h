// The input panel: the place at the bottom of the screen where an input
// method (a soft keyboard) draws and from which it types into whatever
// window has the focus.
//
// - Input methods are in-process COM-like classes (platform/Com.h) with
//   IInputMethod, registered under HKEY_CLASSES_ROOT "CLSID\{...}" with a
//   subkey "IsSIPInputMethod" whose default value is "1"; their key's default
//   value is the name the panel lists.
// - The panel is a top-level, top-most window that never takes the
//   activation (WS_EX_NOACTIVATE), over the input panel's rectangle of
//   Screen.h. Taps on it leave the active window, its focus and the
//   foreground as they are, so the keys the method types reach the field
//   being typed into.
// - The panel belongs to the thread that first selects a method or shows it
//   (the shell's GUI thread); every call of the method is made on that
//   thread. Calls from other threads are handed to it and return at once.
// - The method types through the panel's IIMCallback: SendVirtualKey is a
//   keybd_event, SendString types each character as a key without a virtual
//   key that carries the character (as the Qt backend does for characters
//   no key names).
#pragma once

#include "platform/Com.h"
#include "platform/ImageList.h"
#include "platform/Screen.h"

// What a method tells the panel about itself.
struct IMINFO {
    DWORD cbSize;  // sizeof(IMINFO)
    HIMAGELIST hImageNarrow;  // its button pictures, 16 x 16 and 32 x 16
    HIMAGELIST hImageWide;
    int iNarrow;
    int iWide;
    DWORD fdwFlags;  // SIPF_DOCKED...
    RECT rcSipRect;
};

// The panel's side: the method types through it.
struct IIMCallback : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("7C3B9A10-5E2D-4F61-9B8E-2A41D0C6E3F5");
    virtual HRESULT SetImInfo(IMINFO* info) = 0;
    // flags: KEYEVENTF_KEYUP, KEYEVENTF_SILENT, as keybd_event takes them.
    virtual HRESULT SendVirtualKey(BYTE virtualKey, DWORD flags) = 0;
    virtual HRESULT SendString(const OLECHAR* text, DWORD count) = 0;

protected:
    ~IIMCallback() = default;
};

struct IInputMethod : IUnknown {
    using Base = IUnknown;
    static constexpr IID kIID = plat::com::Guid("42429666-AE04-11D0-A4F8-00AA00A749B9");
    // The method makes its window as a child of the panel window.
    virtual HRESULT Select(HWND panel) = 0;
    virtual HRESULT Deselect() = 0;
    virtual HRESULT Showing() = 0;
    virtual HRESULT Hiding() = 0;
    virtual HRESULT GetInfo(IMINFO* info) = 0;
    virtual HRESULT ReceiveSipInfo(SIPINFO* info) = 0;
    virtual HRESULT RegisterCallback(IIMCallback* callback) = 0;
    virtual HRESULT GetImData(DWORD size, void* data) = 0;
    virtual HRESULT SetImData(DWORD size, void* data) = 0;
    virtual HRESULT UserOptionsDlg(HWND parent) = 0;

protected:
    ~IInputMethod() = default;
};

inline constexpr IID IID_IInputMethod = IInputMethod::kIID;

// Shows (SIPF_ON) or hides (SIPF_OFF) the panel. Shown with no method
// selected, it selects the first registered one (SipEnumIM's order). FALSE
// when there is no method to show.
BOOL SipShowIM(DWORD flags);
// Selects the method: the previous one is deselected and released, the new
// one made, selected on the panel window and given the panel's callback.
// FALSE (the previous method kept) when it cannot be made or selected.
BOOL SipSetCurrentIM(const CLSID* clsid);
// FALSE when none is selected.
BOOL SipGetCurrentIM(CLSID* clsid);

struct IMENUMINFO {
    char16_t szName[260];
    CLSID clsid;
};
using IMENUMPROC = int (*)(IMENUMINFO* info);
// Calls proc for each registered method, sorted by CLSID text, until it
// answers 0; the number of methods passed to it.
int SipEnumIM(IMENUMPROC proc);

namespace plat::sip {

// The panel window; 0 before a method was first selected or shown.
HWND PanelWindow();
// Deselects and releases the method and destroys the panel window (on the
// panel's thread; the shell's shut-down, tests).
void ClosePanel();

}  // namespace plat::sip

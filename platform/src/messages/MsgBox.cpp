// Message boxes: one replaceable presenter; the default answer without one.
#include "platform/MsgBox.h"

#include <atomic>

namespace {
std::atomic<plat::msgbox::IPresenter*> g_presenter{nullptr};
}

plat::msgbox::IPresenter* plat::msgbox::SetPresenter(IPresenter* presenter) { return g_presenter.exchange(presenter); }

int plat::msgbox::DefaultButton(UINT style) {
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},              // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},      // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},    // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},         // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},             // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},   // MB_RETRYCANCEL
    };
    const UINT type = style & MB_TYPEMASK;
    const UINT which = (style & MB_DEFMASK) >> 8;
    return type < 6 && which < 3 ? buttons[type][which] : IDOK;
}

int MessageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type) {
    plat::msgbox::Request request{owner, text ? text : u"", caption ? caption : u"Error", type};
    plat::msgbox::IPresenter* presenter = g_presenter.load();
    return presenter ? presenter->Show(request) : plat::msgbox::DefaultButton(type);
}

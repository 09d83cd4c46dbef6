// The standard controls as window classes of the layer: BUTTON, STATIC, EDIT,
// LISTBOX, COMBOBOX and the progress bar. They keep their state in the model
// (a C++ object behind their first extra slot), answer their Windows
// messages, draw through the window's drawing context (QPainter when Qt is
// attached) and ask their parent for colours with WM_CTLCOLOR*. A control
// tells its parent with WM_COMMAND only when the user acts (input, BM_CLICK),
// never when its owner changes it by message.
#include <mutex>

#include "ControlsCommon.h"
#include "platform/ListView.h"
#include "platform/ScrollBar.h"

using namespace plat::detail::controls;

void plat::window::RegisterStandardControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct Def {
            const char16_t* name;
            WNDPROC proc;
            UINT style;
        };
        const Def defs[] = {
            {WC_BUTTON, buttonClassProc, CS_DBLCLKS},
            {WC_STATIC, staticClassProc, 0},
            {WC_EDIT, editClassProc, CS_DBLCLKS},
            {WC_LISTBOX, listBoxClassProc, CS_DBLCLKS},
            {WC_COMBOBOX, comboBoxClassProc, CS_DBLCLKS},
            {kComboListClass, comboListClassProc, 0},
            {PROGRESS_CLASS, progressClassProc, 0},
            {WC_LISTVIEW, listViewClassProc, CS_DBLCLKS},
            {WC_SCROLLBAR, scrollBarClassProc, 0},
        };
        for (const Def& d : defs) {
            WNDCLASS wc{};
            wc.style = d.style | CS_GLOBALCLASS;
            wc.lpfnWndProc = d.proc;
            wc.cbWndExtra = sizeof(LONG_PTR);
            wc.hCursor = IDC_ARROW;
            wc.lpszClassName = d.name;
            RegisterClass(&wc);
        }
    });
}

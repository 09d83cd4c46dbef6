// Helpers shared by the files of the window model (internal): the tree and
// classes, geometry and z-order, focus and activation, painting and the
// default procedure. Functions marked "lock held" expect state().mutex.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "State.h"

namespace plat::detail {

// The desktop window: a handle the table never hands out (Screen.h).
constexpr HWND kDesktopHandle = 0xFFFF0000u;

std::u16string fold(std::u16string_view name);  // class names compare without case
void notify(HWND hwnd, unsigned what);          // tells the backend; lock not held
Proc procOf(HWND hwnd);
Proc wrap(WNDPROC proc);
bool ownedByMe(const Window& w);
// The sibling list a window lives in. Lock held.
std::vector<HWND>* siblingsOf(const Window& w);
// Puts hwnd into its sibling list after `after` (HWND_TOP, HWND_BOTTOM or a
// sibling); top-most top-level windows stay above the others. Lock held.
void placeInZ(std::vector<HWND>& list, HWND hwnd, HWND after);
bool isDescendant(HWND ancestor, HWND hwnd);  // lock held; a window counts as its own
RECT clientOf(const Window& w);
POINT screenOrigin(HWND hwnd);  // lock held
LRESULT call(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Activates a top-level window of the calling thread (WA_ACTIVE or
// WA_CLICKACTIVE) and raises it; the previous active window.
HWND activateWindow(HWND hwnd, WPARAM how);

}  // namespace plat::detail

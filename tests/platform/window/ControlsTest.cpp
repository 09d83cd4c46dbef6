// Standard controls, dialogs and message boxes, headless: each control's
// messages and notifications, the dialog manager's keys, modal dialogs and
// the message-box presenter.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/Gdi.h"
#include "tests/platform/window/RecordingContext.h"
#include "platform/Input.h"
#include "platform/ScrollBar.h"
#include "platform/MsgBox.h"

namespace {

struct Command {
    int id;
    UINT code;
    HWND from;
};

// A parent that records WM_COMMAND and WM_CTLCOLOR* and answers a brush.
struct Parent {
    std::vector<Command> commands;
    std::vector<UINT> colourAsks;
    std::vector<UINT> drawItems;
    HWND hwnd = 0;

    Parent() {
        hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        // A message-only window cannot parent children: use a real one.
        DestroyWindow(hwnd);
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"ControlParent";
        RegisterClass(&wc);
        hwnd = CreateWindowEx(0, u"ControlParent", u"", WS_POPUP, 0, 0, 300, 300, 0, 0, nullptr, nullptr);
        plat::window::SetWindowProcedure(hwnd, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_COMMAND) commands.push_back({LOWORD(w), HIWORD(w), HWND(l)});
            if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
                colourAsks.push_back(msg);
                return LRESULT(CreateSolidBrush(RGB(1, 2, 3)));
            }
            if (msg == WM_DRAWITEM) drawItems.push_back(UINT(w));
            return DefWindowProc(h, msg, w, l);
        });
    }
    ~Parent() { DestroyWindow(hwnd); }
    HWND Make(const char16_t* cls, DWORD style, int id, const char16_t* text = u"") {
        return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 40, hwnd, HMENU(id), nullptr, nullptr);
    }
};

void Pump() {
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

void Type(HWND h, std::u16string_view text) {
    for (char16_t c : text) SendMessage(h, WM_CHAR, c, 1);
}

}  // namespace

TEST(Controls, ButtonsNotifyOnlyWhenTheUserActs) {
    Parent p;
    const HWND push = p.Make(WC_BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP, 1, u"OK");
    EXPECT_EQ(SendMessage(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    PostMessage(push, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    ASSERT_EQ(p.commands.size(), 1u);
    EXPECT_EQ(p.commands[0].id, 1);
    EXPECT_EQ(p.commands[0].code, BN_CLICKED);
    EXPECT_EQ(p.commands[0].from, push);
    EXPECT_EQ(GetFocus(), push);
    PostMessage(push, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));  // released outside: no click
    Pump();
    EXPECT_EQ(p.commands.size(), 1u);

    p.commands.clear();
    const HWND check = p.Make(WC_BUTTON, BS_AUTOCHECKBOX, 2);
    SendMessage(check, BM_SETCHECK, BST_CHECKED, 0);  // the program: no notification
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EXPECT_TRUE(p.commands.empty());
    SendMessage(check, BM_CLICK, 0, 0);  // as the user
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_UNCHECKED));
    ASSERT_EQ(p.commands.size(), 1u);
    SendMessage(check, WM_KEYDOWN, VK_SPACE, 0);
    SendMessage(check, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));

    const HWND tri = p.Make(WC_BUTTON, BS_AUTO3STATE, 3);
    std::vector<LRESULT> states;
    for (int i = 0; i < 3; ++i) {
        SendMessage(tri, BM_CLICK, 0, 0);
        states.push_back(SendMessage(tri, BM_GETCHECK, 0, 0));
    }
    EXPECT_EQ(states, (std::vector<LRESULT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}));
    EXPECT_EQ(SendMessage(push, BM_GETCHECK, 0, 0), 0);  // push buttons hold no check

    // Auto radio buttons clear the others of their group only.
    const HWND r1 = p.Make(WC_BUTTON, BS_AUTORADIOBUTTON | WS_GROUP, 11);
    const HWND r2 = p.Make(WC_BUTTON, BS_AUTORADIOBUTTON, 12);
    const HWND r3 = p.Make(WC_BUTTON, BS_AUTORADIOBUTTON | WS_GROUP, 13);
    SendMessage(r1, BM_CLICK, 0, 0);
    SendMessage(r3, BM_CLICK, 0, 0);
    SendMessage(r2, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(r1, BM_GETCHECK, 0, 0), LRESULT(BST_UNCHECKED));
    EXPECT_EQ(SendMessage(r2, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EXPECT_EQ(SendMessage(r3, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));

    const HWND owner = p.Make(WC_BUTTON, BS_OWNERDRAW, 21);
    ShowWindow(p.hwnd, SW_SHOW);
    UpdateWindow(owner);
    EXPECT_EQ(p.drawItems, std::vector<UINT>{21});
}

TEST(Controls, EditTypingLimitsAndStyles) {
    Parent p;
    const HWND e = p.Make(WC_EDIT, ES_AUTOHSCROLL | WS_BORDER, 5, u"ab");
    EXPECT_EQ(plat::window::GetWindowString(e), u"ab");
    SendMessage(e, EM_SETSEL, 2, 2);
    Type(e, u"cd\b");
    EXPECT_EQ(plat::window::GetWindowString(e), u"abc");
    EXPECT_EQ(p.commands.size(), 3u);  // EN_CHANGE per edit by the user
    EXPECT_EQ(p.commands[0].code, EN_CHANGE);
    EXPECT_TRUE(SendMessage(e, EM_GETMODIFY, 0, 0));
    p.commands.clear();
    SetWindowText(e, u"xyz");  // a new text is announced, as Windows does
    ASSERT_EQ(p.commands.size(), 1u);
    EXPECT_EQ(p.commands[0].code, EN_CHANGE);
    p.commands.clear();
    EXPECT_FALSE(SendMessage(e, EM_GETMODIFY, 0, 0));
    SendMessage(e, EM_SETSEL, 1, 2);
    SendMessage(e, EM_REPLACESEL, 0, LPARAM(u"--"));
    EXPECT_EQ(plat::window::GetWindowString(e), u"x--z");
    DWORD a = 0, b = 0;
    SendMessage(e, EM_GETSEL, WPARAM(&a), LPARAM(&b));
    EXPECT_EQ(a, 3u);
    EXPECT_EQ(b, 3u);
    SendMessage(e, WM_KEYDOWN, VK_HOME, 0);
    SendMessage(e, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(plat::window::GetWindowString(e), u"--z");

    SendMessage(e, EM_LIMITTEXT, 4, 0);
    p.commands.clear();
    SendMessage(e, EM_SETSEL, 3, 3);
    Type(e, u"12");
    EXPECT_EQ(plat::window::GetWindowString(e), u"--z1");
    ASSERT_EQ(p.commands.size(), 2u);
    EXPECT_EQ(p.commands[1].code, EN_MAXTEXT);

    const HWND num = p.Make(WC_EDIT, ES_NUMBER, 6);
    Type(num, u"1a2");
    EXPECT_EQ(plat::window::GetWindowString(num), u"12");
    const HWND up = p.Make(WC_EDIT, ES_UPPERCASE, 7);
    Type(up, u"ab");
    EXPECT_EQ(plat::window::GetWindowString(up), u"AB");
    SetWindowText(up, u"cd");
    EXPECT_EQ(plat::window::GetWindowString(up), u"CD");
    const HWND ro = p.Make(WC_EDIT, ES_READONLY, 8, u"keep");
    Type(ro, u"x");
    SendMessage(ro, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(plat::window::GetWindowString(ro), u"keep");
    const HWND pw = p.Make(WC_EDIT, ES_PASSWORD, 9);
    EXPECT_EQ(SendMessage(pw, EM_GETPASSWORDCHAR, 0, 0), LRESULT(u'*'));
    const HWND multi = p.Make(WC_EDIT, ES_MULTILINE | ES_WANTRETURN, 10);
    Type(multi, u"a\rb");
    EXPECT_EQ(plat::window::GetWindowString(multi), u"a\r\nb");
    EXPECT_EQ(SendMessage(multi, EM_GETLINECOUNT, 0, 0), 2);
    EXPECT_TRUE(SendMessage(multi, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS);
}

TEST(Controls, ListAndComboBoxes) {
    Parent p;
    const HWND list = p.Make(WC_LISTBOX, LBS_SORT | LBS_NOTIFY, 30);
    for (const char16_t* s : {u"pear", u"Apple", u"fig"}) SendMessage(list, LB_ADDSTRING, 0, LPARAM(s));
    EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 3);
    char16_t buf[16];
    SendMessage(list, LB_GETTEXT, 0, LPARAM(buf));
    EXPECT_EQ(std::u16string(buf), u"Apple");  // sorted without regard to case
    EXPECT_EQ(SendMessage(list, LB_FINDSTRING, WPARAM(-1), LPARAM(u"PE")), 2);
    EXPECT_EQ(SendMessage(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"pe")), LB_ERR);
    EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 9, 0), LB_ERR);
    EXPECT_TRUE(p.commands.empty());  // the program's choice is not announced
    SendMessage(list, LB_SETITEMDATA, 1, 77);
    SendMessage(list, WM_KEYDOWN, VK_DOWN, 0);  // the user's is
    ASSERT_EQ(p.commands.size(), 1u);
    EXPECT_EQ(p.commands[0].code, LBN_SELCHANGE);
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 2);
    SendMessage(list, LB_DELETESTRING, 0, 0);
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);  // the selection follows its item
    EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 0, 0), 77);
    SendMessage(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));  // the first row
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 0);

    p.commands.clear();
    const HWND combo = p.Make(WC_COMBOBOX, CBS_DROPDOWNLIST, 31);
    for (const char16_t* s : {u"one", u"two"}) SendMessage(combo, CB_ADDSTRING, 0, LPARAM(s));
    SendMessage(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(plat::window::GetWindowString(combo), u"one");
    EXPECT_TRUE(p.commands.empty());
    SendMessage(combo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(plat::window::GetWindowString(combo), u"two");
    ASSERT_EQ(p.commands.size(), 1u);
    EXPECT_EQ(p.commands[0].code, CBN_SELCHANGE);
    SendMessage(combo, CB_SHOWDROPDOWN, TRUE, 0);
    EXPECT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessage(combo, WM_SETTEXT, 0, LPARAM(u"three")), CB_ERR);  // a list takes only its items
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    const HWND edit = p.Make(WC_COMBOBOX, CBS_DROPDOWN, 32);
    Type(edit, u"hi");
    EXPECT_EQ(plat::window::GetWindowString(edit), u"hi");
}

namespace {

std::vector<UINT> codesOf(const std::vector<Command>& commands, int id) {
    std::vector<UINT> out;
    for (const Command& c : commands)
        if (c.id == id) out.push_back(c.code);
    return out;
}

// A tap as the device reports it, in screen coordinates, then read.
void Tap(int x, int y) {
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{x, y}, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{x, y}, 0);
    Pump();
}

}  // namespace

TEST(Controls, ComboBoxIsOneLineAndItsListAPopUpThatATapChoosesFrom) {
    Parent p;
    ShowWindow(p.hwnd, SW_SHOW);
    SetForegroundWindow(p.hwnd);
    const HWND combo = CreateWindowEx(0, WC_COMBOBOX, u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 10, 10, 100, 90,
                                      p.hwnd, HMENU(40), nullptr, nullptr);
    for (const char16_t* s : {u"one", u"two", u"three", u"four", u"five", u"six", u"seven"})
        SendMessage(combo, CB_ADDSTRING, 0, LPARAM(s));
    RECT r;
    GetWindowRect(combo, &r);
    EXPECT_EQ(r.bottom - r.top, 20);  // the field alone: the list no longer covers the controls below
    SendMessage(combo, CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&r));
    EXPECT_EQ(r.bottom - r.top, 90);
    MoveWindow(combo, 10, 10, 100, 120, TRUE);  // a new height is the list's again
    GetWindowRect(combo, &r);
    EXPECT_EQ(r.bottom - r.top, 20);

    Tap(20, 15);  // on the field: the list drops
    ASSERT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(GetFocus(), combo);  // the focus stays on the field
    const HWND list = GetCapture();
    ASSERT_TRUE(list && list != combo);
    RECT lr;
    GetWindowRect(list, &lr);
    EXPECT_EQ(lr.top, 30);  // right below the field
    EXPECT_EQ(lr.bottom - lr.top, 6 * 16 + 2);  // as many rows as the height given holds
    Tap(20, 30 + 1 + 16 + 8);  // the second row
    EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(plat::window::GetWindowString(combo), u"two");
    EXPECT_EQ(codesOf(p.commands, 40),
              (std::vector<UINT>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));

    p.commands.clear();
    SendMessage(combo, CB_SHOWDROPDOWN, TRUE, 0);
    Tap(250, 250);  // elsewhere: closed, nothing chosen
    EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(codesOf(p.commands, 40), (std::vector<UINT>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));

    // A drop-down with an edit field works the same way; keys choose too.
    const HWND edit = CreateWindowEx(0, WC_COMBOBOX, u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 10, 100, 100, 60, p.hwnd,
                                     HMENU(41), nullptr, nullptr);
    for (const char16_t* s : {u"a", u"b"}) SendMessage(edit, CB_ADDSTRING, 0, LPARAM(s));
    p.commands.clear();
    SetFocus(edit);
    SendMessage(edit, WM_KEYDOWN, VK_F4, 0);
    SendMessage(edit, WM_KEYDOWN, VK_DOWN, 0);
    SendMessage(edit, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(plat::window::GetWindowString(edit), u"a");
    EXPECT_EQ(codesOf(p.commands, 41),
              (std::vector<UINT>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
    DestroyWindow(combo);
}

TEST(Controls, ListBoxScrollsToItsSelectionAndByItsBar) {
    Parent p;
    ShowWindow(p.hwnd, SW_SHOW);
    SetForegroundWindow(p.hwnd);
    const HWND list = CreateWindowEx(0, WC_LISTBOX, u"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 0, 0, 100, 50, p.hwnd,
                                     HMENU(50), nullptr, nullptr);
    for (int i = 0; i < 10; ++i) {
        const std::u16string t(1, char16_t(u'a' + i));
        SendMessage(list, LB_ADDSTRING, 0, LPARAM(t.c_str()));
    }
    // Three rows fit: choosing the eighth brings it to the last row.
    SendMessage(list, LB_SETCURSEL, 7, 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 5);
    SendMessage(list, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 1);
    SendMessage(list, LB_SETTOPINDEX, 9, 0);  // no blank rows below the last item
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 7);
    SendMessage(list, LB_SETTOPINDEX, 0, 0);
    EXPECT_TRUE(p.commands.empty());

    Tap(95, 45);  // the bar's down arrow
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 1);
    Tap(95, 30);  // the track below the thumb: a page
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 4);
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);  // scrolling chooses nothing
    Tap(20, 20);  // the second row shown
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 5);
    EXPECT_EQ(codesOf(p.commands, 50), (std::vector<UINT>{LBN_SETFOCUS, LBN_SELCHANGE}));
    SendMessage(list, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 7);
    SendMessage(list, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 0);
    EXPECT_EQ(HIWORD(SendMessage(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(20, 20))), 0);
    EXPECT_EQ(LOWORD(SendMessage(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(20, 20))), 1);
}

TEST(Controls, OwnerDrawnListAndComboItemsAreMeasuredAndDrawnByTheParent) {
    struct Drawn {
        UINT type, id, item, state;
        uintptr_t data;
    };
    std::vector<UINT> measured;
    std::vector<Drawn> drawn;
    Parent p;
    ShowWindow(p.hwnd, SW_SHOW);
    plat::window::SetWindowProcedure(p.hwnd, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_MEASUREITEM) {
            auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
            measured.push_back(mi->CtlType);
            mi->itemHeight = 20;
            return TRUE;
        }
        if (msg == WM_DRAWITEM) {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
            drawn.push_back({di->CtlType, di->CtlID, di->itemID, di->itemState, di->itemData});
            return TRUE;
        }
        return DefWindowProc(h, msg, w, l);
    });
    const HWND list = CreateWindowEx(0, WC_LISTBOX, u"", WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED, 0, 0, 100, 50, p.hwnd,
                                     HMENU(60), nullptr, nullptr);
    EXPECT_EQ(SendMessage(list, LB_GETITEMHEIGHT, 0, 0), 20);
    for (int i = 0; i < 4; ++i) SendMessage(list, LB_SETITEMDATA, SendMessage(list, LB_ADDSTRING, 0, LPARAM(u"x")), 100 + i);
    SendMessage(list, LB_SETCURSEL, 1, 0);
    drawn.clear();
    UpdateWindow(list);
    ASSERT_EQ(drawn.size(), 3u);  // the rows that show, the last in part
    EXPECT_EQ(drawn[0].type, ODT_LISTBOX);
    EXPECT_EQ(drawn[0].id, 60u);
    EXPECT_EQ(drawn[1].item, 1u);
    EXPECT_TRUE(drawn[1].state & ODS_SELECTED);
    EXPECT_EQ(drawn[1].data, 101u);

    const HWND combo = CreateWindowEx(0, WC_COMBOBOX, u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, 0, 60,
                                      100, 80, p.hwnd, HMENU(61), nullptr, nullptr);
    SendMessage(combo, CB_SETITEMDATA, SendMessage(combo, CB_ADDSTRING, 0, LPARAM(u"y")), 7);
    SendMessage(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(measured, (std::vector<UINT>{ODT_LISTBOX, ODT_COMBOBOX}));
    drawn.clear();
    UpdateWindow(combo);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].type, ODT_COMBOBOX);
    EXPECT_TRUE(drawn[0].state & ODS_COMBOBOXEDIT);
    EXPECT_EQ(drawn[0].data, 7u);
    DestroyWindow(combo);
    DestroyWindow(list);
}

TEST(Controls, MultiLineEditScrollsToTheCaretAndByItsBar) {
    Parent p;
    ShowWindow(p.hwnd, SW_SHOW);
    const HWND e = CreateWindowEx(0, WC_EDIT, u"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | WS_VSCROLL, 0, 0, 100, 40, p.hwnd,
                                  HMENU(70), nullptr, nullptr);
    SetFocus(e);
    Type(e, u"1\r2\r3\r4\r5");
    UpdateWindow(e);
    // Two lines fit: the caret's line is the last one shown.
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
    EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, WPARAM(-1), 0), 4);
    for (int i = 0; i < 3; ++i) SendMessage(e, WM_KEYDOWN, VK_UP, 0);
    UpdateWindow(e);
    EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, WPARAM(-1), 0), 1);
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 1);
    SendMessage(e, WM_VSCROLL, SB_BOTTOM, 0);
    UpdateWindow(e);
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 3);  // the bar scrolls without moving the caret
    EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, WPARAM(-1), 0), 1);
    SendMessage(e, EM_LINESCROLL, 0, -2);
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 1);
    EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 2, 0), 6);
    p.commands.clear();
    SetWindowText(e, u"new");
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(codesOf(p.commands, 70), (std::vector<UINT>{EN_CHANGE}));
}

TEST(Controls, ProgressBarAndColoursAskedOfTheParent) {
    Parent p;
    const HWND bar = p.Make(PROGRESS_CLASS, 0, 40);
    SendMessage(bar, PBM_SETRANGE32, 0, 50);
    EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 60, 0), 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 50);  // held in range
    SendMessage(bar, PBM_SETSTEP, 20, 0);
    SendMessage(bar, PBM_STEPIT, 0, 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 20);  // past the end it wraps
    EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, FALSE, 0), 50);

    const HWND label = p.Make(WC_STATIC, SS_CENTER, 41, u"Name");
    const HWND edit = p.Make(WC_EDIT, 0, 42);
    const HWND ro = p.Make(WC_EDIT, ES_READONLY, 43);
    const HWND push = p.Make(WC_BUTTON, BS_PUSHBUTTON, 44);
    const HWND list = p.Make(WC_LISTBOX, 0, 45);
    ShowWindow(p.hwnd, SW_SHOW);
    p.colourAsks.clear();
    for (HWND h : {label, edit, ro, push, list}) UpdateWindow(h);
    EXPECT_EQ(p.colourAsks, (std::vector<UINT>{WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN,
                                               WM_CTLCOLORLISTBOX}));
}

namespace {

const plat::res::DialogItem kItems[] = {
    {u"STATIC", 100, WS_VISIBLE | SS_LEFT, u"Host:", 4, 4, 30, 10},
    {u"EDIT", 101, WS_VISIBLE | WS_TABSTOP | WS_BORDER, u"", 40, 4, 80, 12},
    {u"BUTTON", 102, WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP, u"Save", 40, 20, 60, 10},
    {u"BUTTON", IDOK, WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, u"OK", 20, 40, 40, 14},
    {u"BUTTON", IDCANCEL, WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, u"Cancel", 70, 40, 40, 14},
};
const plat::res::Dialog kDialog{134, WS_POPUP | WS_CAPTION | WS_VISIBLE, u"Host", u"Tahoma", 8, 0, 0, 130, 60,
                                kItems, 5};

struct DialogLog {
    std::vector<int> commands;
    HWND initFocus = 0;
    int endOn = 0;  // ends the dialog with this id's command
};
DialogLog g_dlg;

INT_PTR DialogProc(HWND h, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_INITDIALOG) {
        g_dlg.initFocus = HWND(w);
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
        g_dlg.commands.push_back(LOWORD(w));
        if (LOWORD(w) == g_dlg.endOn) EndDialog(h, LOWORD(w) + 100);
        return TRUE;
    }
    return FALSE;
}

// Posts a key to the focus window and runs the dialog manager over the queue.
void Key(HWND dlg, UINT vk, char16_t c = 0) {
    PostMessage(GetFocus(), WM_KEYDOWN, vk, 1);
    if (c) PostMessage(GetFocus(), WM_CHAR, c, 1);
    PostMessage(GetFocus(), WM_KEYUP, vk, LPARAM(0xC0000001));
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE))
        if (!IsDialogMessage(dlg, &m)) DispatchMessage(&m);
}

}  // namespace

TEST(Dialogs, TemplateTabOrderEnterAndEscape) {
    g_dlg = {};
    const HWND dlg = CreateDialogIndirectParam(nullptr, &kDialog, 0, DialogProc, 0);
    ASSERT_NE(dlg, 0u);
    const HWND edit = GetDlgItem(dlg, 101), check = GetDlgItem(dlg, 102), ok = GetDlgItem(dlg, IDOK),
               cancel = GetDlgItem(dlg, IDCANCEL);
    EXPECT_EQ(g_dlg.initFocus, edit);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_TRUE(IsWindowVisible(dlg));
    RECT r;
    GetWindowRect(edit, &r);  // dialog units: x by 6/4, y by 13/8
    EXPECT_EQ(r.left, 60);
    EXPECT_EQ(r.right - r.left, 120);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.bottom, 26);  // each edge mapped on its own

    std::vector<HWND> order;
    for (int i = 0; i < 4; ++i) {
        Key(dlg, VK_TAB, u'\t');
        order.push_back(GetFocus());
    }
    EXPECT_EQ(order, (std::vector<HWND>{check, ok, cancel, edit}));  // the static is passed over; it wraps
    EXPECT_EQ(plat::window::GetWindowString(edit), u"");  // no tab typed into the edit
    Key(dlg, VK_SHIFT);
    PostMessage(GetFocus(), WM_KEYDOWN, VK_SHIFT, 1);
    Key(dlg, VK_TAB, u'\t');
    PostMessage(GetFocus(), WM_KEYUP, VK_SHIFT, LPARAM(0xC0000001));
    Key(dlg, 0);
    EXPECT_EQ(GetFocus(), cancel);  // Shift+Tab goes back

    SetFocus(edit);
    Key(dlg, 'A', u'a');
    Key(dlg, VK_RETURN, u'\r');  // the default button
    Key(dlg, VK_ESCAPE, 0x1B);
    SetFocus(cancel);
    Key(dlg, VK_RETURN, u'\r');  // a focused push button is pressed instead
    EXPECT_EQ(g_dlg.commands, (std::vector<int>{IDOK, IDCANCEL, IDCANCEL}));
    EXPECT_EQ(plat::window::GetWindowString(edit), u"a");
    SetFocus(check);
    Key(dlg, VK_SPACE, u' ');
    EXPECT_EQ(IsDlgButtonChecked(dlg, 102), BST_CHECKED);

    SetDlgItemInt(dlg, 101, UINT(-12), TRUE);
    BOOL okInt = FALSE;
    EXPECT_EQ(int(GetDlgItemInt(dlg, 101, &okInt, TRUE)), -12);
    EXPECT_TRUE(okInt);
    SetDlgItemText(dlg, 101, u"12x");
    GetDlgItemInt(dlg, 101, &okInt, FALSE);
    EXPECT_FALSE(okInt);
    DestroyWindow(dlg);
}

TEST(Dialogs, ModalDialogDisablesItsOwnerAndReturnsTheResult) {
    g_dlg = {};
    g_dlg.endOn = IDOK;
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"DialogOwner";
    RegisterClass(&wc);
    const HWND owner = CreateWindowEx(0, u"DialogOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, 0, 0, nullptr, nullptr);
    bool ownerDisabled = false;
    // The answer arrives from another thread while the dialog runs.
    std::thread other([owner, &ownerDisabled] {
        while (IsWindowEnabled(owner)) std::this_thread::yield();
        ownerDisabled = true;
        // The owner is disabled before the dialog is made: wait for its button.
        HWND ok = 0;
        while (!(ok = GetDlgItem(FindWindow(WC_DIALOG, u"Host"), IDOK))) std::this_thread::yield();
        PostMessage(ok, WM_KEYDOWN, VK_SPACE, 1);
        PostMessage(ok, WM_KEYUP, VK_SPACE, LPARAM(0xC0000001));
    });
    const INT_PTR result = DialogBoxIndirectParam(nullptr, &kDialog, owner, DialogProc, 0);
    other.join();
    EXPECT_EQ(result, IDOK + 100);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    // Destroyed (by caption: dialogs of tests running beside this one are seen too).
    EXPECT_EQ(FindWindow(WC_DIALOG, u"Host"), 0u);

    // WM_QUIT ends the modal loop and is kept for the caller's loop.
    g_dlg.endOn = 0;
    PostQuitMessage(3);
    EXPECT_EQ(DialogBoxIndirectParam(nullptr, &kDialog, owner, DialogProc, 0), 0);
    MSG m;
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), FALSE);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(DialogBoxIndirectParam(nullptr, nullptr, owner, DialogProc, 0), -1);
    DestroyWindow(owner);
}

TEST(MessageBoxes, ScriptedAnswererRecordsAndDefaultsToTheDefaultButton) {
    EXPECT_EQ(MessageBox(0, u"No presenter", u"Orvade", MB_YESNO | MB_DEFBUTTON2), IDNO);
    plat::msgbox::ScriptedAnswerer answers({IDYES});
    plat::msgbox::IPresenter* before = plat::msgbox::SetPresenter(&answers);
    EXPECT_EQ(MessageBox(7, u"Delete the host?", u"Hosts", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBox(0, u"Again?", nullptr, MB_OKCANCEL), IDOK);  // script used up
    plat::msgbox::SetPresenter(before);
    const auto seen = answers.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].owner, 7u);
    EXPECT_EQ(seen[0].text, u"Delete the host?");
    EXPECT_EQ(seen[0].caption, u"Hosts");
    EXPECT_EQ(seen[0].style, MB_YESNO | MB_ICONQUESTION);
    struct Case {
        UINT style;
        int id;
    };
    for (const Case& c : {Case{MB_OK, IDOK}, Case{MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
                          Case{MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL}, Case{MB_RETRYCANCEL, IDRETRY}})
        EXPECT_EQ(plat::msgbox::DefaultButton(c.style), c.id) << c.style;
}

TEST(Bitmaps, MadeFromPixelsWithinTheLimitsAndFreedByDeleteObject) {
    // 24 bits: B, G, R, rows padded to four bytes.
    const uint8_t bits[] = {0, 0, 255, 0, 255, 0, 0, 0,   // red, green, padding
                            255, 0, 0, 255, 255, 255, 0, 0};  // blue, white, padding
    const HBITMAP b = CreateBitmap(2, 2, 1, 24, bits);
    ASSERT_TRUE(b);
    BITMAP bm{};
    EXPECT_EQ(GetObject(b, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    // What a context is given: 0xffRRGGBB.
    testing_gdi::RecordingContext dc;
    EXPECT_TRUE(plat::gdi::DrawBitmap(&dc, 0, 0, b));
    EXPECT_EQ(dc.seen, (std::vector<uint32_t>{0xffff0000u, 0xff00ff00u, 0xff0000ffu, 0xffffffffu}));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_FALSE(DeleteObject(b));
    EXPECT_EQ(GetObject(b, sizeof bm, &bm), 0);
    EXPECT_FALSE(plat::gdi::DrawBitmap(&dc, 0, 0, b));
    // Sizes past the limits and formats the layer does not keep are refused.
    for (auto [w, h, bpp] : {std::tuple{0, 4, 32u}, {4, -1, 32u}, {plat::gdi::kMaxBitmapSide + 1, 1, 32u}, {4096, 4096, 32u}, {4, 4, 8u}})
        EXPECT_EQ(CreateBitmap(w, h, 1, bpp, nullptr), 0u) << w << "x" << h << "@" << bpp;
    const HBITMAP black = CreateCompatibleBitmap(nullptr, 3, 1);
    EXPECT_EQ(plat::gdi::GetBitmapSize(black).cx, 3);
    DeleteObject(black);
}

TEST(Bitmaps, MemoryContextsDrawIntoTheirBitmapAndBlitAndStretchFromIt) {
    testing_gdi::RecordingContext screen;
    const HDC memory = CreateCompatibleDC(&screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(&screen, 4, 2);
    const HGDIOBJ first = SelectObject(memory, bitmap);
    EXPECT_NE(first, 0u);  // the context's own 1 x 1 bitmap
    const RECT all{0, 0, 4, 2};
    FillRect(memory, &all, CreateSolidBrush(RGB(255, 0, 0)));
    const RECT right{2, 0, 9, 1};  // clipped to the bitmap
    InvertRect(memory, &right);
    SelectObject(memory, CreatePen(PS_SOLID, 1, RGB(0, 0, 255)));
    MoveToEx(memory, 0, 1, nullptr);
    LineTo(memory, 1, 1);
    ASSERT_TRUE(BitBlt(&screen, 5, 5, 4, 2, memory, 0, 0, SRCCOPY));
    EXPECT_EQ(screen.seen, (std::vector<uint32_t>{0xffff0000u, 0xffff0000u, 0xff00ffffu, 0xff00ffffu,  //
                                                  0xff0000ffu, 0xff0000ffu, 0xffff0000u, 0xffff0000u}));
    ASSERT_TRUE(StretchBlt(&screen, 0, 0, 4, 4, memory, 2, 0, 2, 2, SRCCOPY));  // the right half, doubled
    EXPECT_EQ(screen.width, 4);
    EXPECT_EQ(screen.seen[0], 0xff00ffffu);
    EXPECT_EQ(screen.seen[4 * 2], 0xffff0000u);
    EXPECT_TRUE(BitBlt(&screen, 1, 2, 3, 4, nullptr, 0, 0, DSTINVERT));
    ASSERT_EQ(screen.inverted.size(), 1u);
    EXPECT_EQ(screen.inverted[0].right, 4);
    EXPECT_EQ(screen.inverted[0].bottom, 6);
    // What cannot be copied is refused, not read past the bitmap.
    EXPECT_FALSE(BitBlt(&screen, 0, 0, 5, 2, memory, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(&screen, 0, 0, 4, 2, &screen, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(&screen, 0, 0, 4, 2, memory, 0, 0, 0x00EE0086));
    EXPECT_FALSE(DeleteDC(&screen));
    EXPECT_EQ(SelectObject(memory, first), bitmap);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(Controls, ScrollInformationIsKeptAndAScrollBarControlAsksItsParentToScroll) {
    Parent p;
    ShowWindow(p.hwnd, SW_SHOW);
    SetForegroundWindow(p.hwnd);
    std::vector<std::pair<UINT, WPARAM>> asks;
    std::vector<HWND> from;
    plat::window::SetWindowProcedure(p.hwnd, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_VSCROLL || msg == WM_HSCROLL) {
            asks.emplace_back(msg, w);
            from.push_back(HWND(l));
        }
        return DefWindowProc(h, msg, w, l);
    });
    // A window's own bar: kept, the position within the range less the page.
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 95, 0};
    EXPECT_EQ(SetScrollInfo(p.hwnd, SB_VERT, &si, TRUE), 90);
    SCROLLINFO got{sizeof got, SIF_ALL, 0, 0, 0, 0, 0};
    EXPECT_TRUE(GetScrollInfo(p.hwnd, SB_VERT, &got));
    EXPECT_EQ(got.nMax, 99);
    EXPECT_EQ(got.nPage, 10u);
    EXPECT_EQ(got.nPos, 90);
    EXPECT_EQ(GetScrollPos(p.hwnd, SB_HORZ), 0);  // the other bar is its own
    EXPECT_EQ(SetScrollPos(p.hwnd, SB_VERT, -5, TRUE), 90);
    EXPECT_EQ(GetScrollPos(p.hwnd, SB_VERT), 0);
    EXPECT_FALSE(GetScrollInfo(p.hwnd, SB_CTL, &got));  // no scroll bar control
    EXPECT_FALSE(GetScrollInfo(HWND(999999), SB_VERT, &got));

    const HWND bar = CreateWindowEx(0, WC_SCROLLBAR, u"", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 13, 100, p.hwnd, HMENU(80),
                                    nullptr, nullptr);
    EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 0, 9, TRUE));
    SetScrollPos(bar, SB_CTL, 0, TRUE);
    Tap(6, 5);    // the up arrow
    Tap(6, 95);   // the down arrow
    Tap(6, 60);   // the track below the thumb
    EXPECT_EQ(asks, (std::vector<std::pair<UINT, WPARAM>>{{WM_VSCROLL, SB_LINEUP}, {WM_VSCROLL, SB_LINEDOWN}, {WM_VSCROLL, SB_PAGEDOWN}}));
    EXPECT_EQ(from, (std::vector<HWND>{bar, bar, bar}));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);  // the parent moves it, not the bar
    const HWND across = CreateWindowEx(0, WC_SCROLLBAR, u"", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 200, 100, 13, p.hwnd, HMENU(81),
                                       nullptr, nullptr);
    asks.clear();
    Tap(95, 206);
    EXPECT_EQ(asks, (std::vector<std::pair<UINT, WPARAM>>{{WM_HSCROLL, SB_LINERIGHT}}));
    DestroyWindow(across);
    DestroyWindow(bar);
}

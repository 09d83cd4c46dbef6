// Property sheets, headless: pages from the resource library's templates,
// switched by taps on the tab strip, the PSN_ notices pages answer through
// DWLP_MSGRESULT, OK and Cancel by taps and keys, and the records left out.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/Input.h"
#include "platform/PropSheet.h"
#include "platform/exports/AboutPage.h"

namespace {

struct Notice {
    LPARAM page;  // the page record's lParam
    UINT code;
    bool operator==(const Notice&) const = default;
};

// What the pages saw and how they answer; the page procedure is shared.
struct Script {
    std::vector<Notice> seen;
    std::function<LONG_PTR(LPARAM page, UINT code)> answer = [](LPARAM, UINT) { return LONG_PTR(0); };
    // Run once the sheet is up (taps need it on the screen): queues the
    // user's input.
    std::function<void(HWND page)> firstShown;
    bool started = false;
};
Script* script = nullptr;

INT_PTR PageProc(HWND page, UINT msg, WPARAM, LPARAM l) {
    if (msg == WM_INITDIALOG) {
        const auto* record = reinterpret_cast<const PROPSHEETPAGE*>(l);
        SetWindowLongPtr(page, DWLP_USER, record->lParam);
        script->seen.push_back({record->lParam, WM_INITDIALOG});
        return TRUE;
    }
    // The sheet shows once its queue runs dry: the script waits for it.
    if (msg == WM_TIMER && IsWindowVisible(GetParent(page))) {
        KillTimer(page, 1);
        if (script->firstShown) script->firstShown(page);
        return TRUE;
    }
    if (msg != WM_NOTIFY) return FALSE;
    const auto* n = reinterpret_cast<const PSHNOTIFY*>(l);
    const LPARAM which = GetWindowLongPtr(page, DWLP_USER);
    EXPECT_EQ(n->hdr.hwndFrom, GetParent(page));
    script->seen.push_back({which, n->hdr.code});
    if (n->hdr.code == PSN_APPLY) {
        EXPECT_EQ(n->lParam, TRUE);
    }
    SetWindowLongPtr(page, DWLP_MSGRESULT, script->answer(which, n->hdr.code));
    if (n->hdr.code == PSN_SETACTIVE && !script->started) {
        script->started = true;
        SetTimer(page, 1, 1);
    }
    return TRUE;
}

struct PropertySheets : ::testing::Test {
    HMODULE res = 0;
    HWND owner = 0;
    Script s;
    void SetUp() override {
        res = LoadLibrary(u"ORVADERES.DLL");
        ASSERT_TRUE(res);
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"SheetOwner";
        RegisterClass(&wc);
        owner = CreateWindowEx(0, u"SheetOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 640, 640, 0, 0, nullptr, nullptr);
        SetForegroundWindow(owner);
        script = &s;
    }
    void TearDown() override {
        DestroyWindow(owner);
        FreeLibrary(res);
        script = nullptr;
    }
    PROPSHEETPAGE Page(UINT dialog, LPARAM param) const {
        return PROPSHEETPAGE{kPropSheetPageSize, 0, res, dialog, reinterpret_cast<void*>(&PageProc), param};
    }
    INT_PTR Run(std::vector<PROPSHEETPAGE>& pages, UINT start = 0) {
        const PROPSHEETHEADER h{sizeof(PROPSHEETHEADER), PSH_PROPSHEETPAGE, owner, res, u"About", UINT(pages.size()),
                                start, pages.data()};
        return PropertySheet(&h);
    }
};

void Tap(POINT at) {
    plat::input::InjectMouse(WM_LBUTTONDOWN, at, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, at, 0);
}

// A point of the sheet's client area on the screen.
POINT OnSheet(HWND sheet, int x, int y) {
    POINT p{x, y};
    ClientToScreen(sheet, &p);
    return p;
}

POINT Centre(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The tab strip's row: "About" is the first tab, "Host" follows it.
constexpr int kTabY = 10;
constexpr int kFirstTabX = 12;
constexpr int kSecondTabX = 64;

}  // namespace

TEST_F(PropertySheets, TapsOnTabsSwitchPagesAsTheirNoticesAllowAndOkAppliesEveryPageMade) {
    // The unused slot between the pages is skipped.
    std::vector<PROPSHEETPAGE> pages{Page(6029, 10), PROPSHEETPAGE{}, Page(134, 22)};
    int refusals = 1, invalid = 1;
    s.answer = [&](LPARAM page, UINT code) -> LONG_PTR {
        if (page == 22 && code == PSN_KILLACTIVE && refusals) return refusals--;
        if (page == 22 && code == PSN_APPLY && invalid) return invalid--, PSNRET_INVALID;
        return 0;
    };
    HWND sheet = 0;
    s.firstShown = [&](HWND page) {
        sheet = GetParent(page);
        Tap(OnSheet(sheet, kSecondTabX, kTabY));  // to "Host"
        Tap(OnSheet(sheet, kFirstTabX, kTabY));   // refused by "Host"
        Tap(OnSheet(sheet, kFirstTabX, kTabY));   // back to "About"
        plat::input::InjectKey(VK_RETURN, true, 1, u"\r");  // "Host" is invalid: shown again
        Tap(Centre(GetDlgItem(sheet, IDOK)));
    };
    EXPECT_EQ(Run(pages), 1);
    const std::vector<Notice> expected{
        {10, WM_INITDIALOG}, {10, PSN_SETACTIVE},
        {10, PSN_KILLACTIVE}, {22, WM_INITDIALOG}, {22, PSN_SETACTIVE},
        {22, PSN_KILLACTIVE},
        {22, PSN_KILLACTIVE}, {10, PSN_SETACTIVE},
        {10, PSN_KILLACTIVE}, {10, PSN_APPLY}, {22, PSN_APPLY}, {10, PSN_KILLACTIVE}, {22, PSN_SETACTIVE},
        {22, PSN_KILLACTIVE}, {10, PSN_APPLY}, {22, PSN_APPLY},
    };
    EXPECT_EQ(s.seen, expected);
    EXPECT_FALSE(IsWindow(sheet));
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(PropertySheets, CancelByEscapeOrClosingResetsThePagesMadeAndAnswersZero) {
    std::vector<PROPSHEETPAGE> pages{Page(6029, 10), Page(134, 22)};
    HWND sheet = 0, shown = 0;
    s.firstShown = [&](HWND page) {
        sheet = GetParent(page);
        shown = page;
        EXPECT_FALSE(IsWindowEnabled(owner));  // modal
        plat::input::InjectKey(VK_ESCAPE, true, 1, u"\x1b");
    };
    // The sheet opens on the start page; only that page is made.
    EXPECT_EQ(Run(pages, 1), 0);
    EXPECT_EQ(s.seen, (std::vector<Notice>{{22, WM_INITDIALOG}, {22, PSN_SETACTIVE}, {22, PSN_RESET}}));

    s = Script{};
    s.firstShown = [&](HWND page) {
        sheet = GetParent(page);
        EXPECT_EQ(HWND(SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), page);
        // The program turns the page; then the sheet is closed.
        EXPECT_TRUE(SendMessage(sheet, PSM_SETCURSEL, 1, 0));
        EXPECT_FALSE(SendMessage(sheet, PSM_SETCURSEL, 5, 0));
        EXPECT_NE(HWND(SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), page);
        PostMessage(sheet, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(Run(pages), 0);
    EXPECT_EQ(s.seen.back(), (Notice{22, PSN_RESET}));
    EXPECT_EQ(std::count(s.seen.begin(), s.seen.end(), Notice{10, PSN_RESET}), 1);
}

TEST_F(PropertySheets, RecordsThatNameNoPageAreLeftOutAndWithNoneNothingIsShown) {
    PROPSHEETPAGE missing = Page(4242, 1);
    PROPSHEETPAGE noProc = Page(6029, 2);
    noProc.pfnDlgProc = nullptr;
    std::vector<PROPSHEETPAGE> pages{PROPSHEETPAGE{}, missing, noProc};
    EXPECT_EQ(Run(pages), -1);
    std::vector<PROPSHEETPAGE> none;
    EXPECT_EQ(Run(none), -1);
    EXPECT_EQ(PropertySheet(nullptr), -1);
    EXPECT_TRUE(s.seen.empty());
    EXPECT_TRUE(IsWindowEnabled(owner));
}

namespace {

int refreshes = 0;
void Refresh(HWND) { ++refreshes; }

// A page as the extensions write theirs.
INT_PTR AboutProc(HWND page, UINT msg, WPARAM w, LPARAM l) {
    INT_PTR result = FALSE;
    if (plat::res::AboutPageMessage(page, msg, w, l, Refresh, &result)) return result;
    if (msg == WM_NOTIFY && reinterpret_cast<const PSHNOTIFY*>(l)->hdr.code == PSN_SETACTIVE) {
        // A command on the page tells the sheet it changed; OK still closes it.
        SendMessage(page, WM_COMMAND, 1041, 0);
        PostMessage(GetParent(page), WM_COMMAND, IDOK, 0);
    }
    return msg == WM_INITDIALOG;
}

}  // namespace

TEST_F(PropertySheets, AnExtensionsAboutPageIsRefreshedWhenShownAndTellsTheSheetOfChanges) {
    std::vector<PROPSHEETPAGE> pages{Page(6029, 0)};
    pages[0].pfnDlgProc = reinterpret_cast<void*>(&AboutProc);
    refreshes = 0;
    EXPECT_EQ(Run(pages), 1);
    EXPECT_GE(refreshes, 1);
}

namespace {

void Key(UINT vk, const char16_t* text = u"") {
    plat::input::InjectKey(vk, true, 1, text);
    plat::input::InjectKey(vk, false, 1, u"");
}

}  // namespace

// The host template as a page: Tab goes through its fields and buttons, then
// the sheet's OK and Cancel, and round again; Shift+Tab the other way.
TEST_F(PropertySheets, TabGoesThroughThePagesControlsThenTheSheetsButtons) {
    std::vector<PROPSHEETPAGE> pages{Page(6029, 10), Page(134, 22)};
    std::vector<std::pair<bool, int>> forward, backward;  // on the sheet itself, id
    s.firstShown = [&](HWND page) {
        const HWND sheet = GetParent(page);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), 1018);
        for (HWND f = GetFocus(), first = f; forward.size() < 20;) {
            f = GetNextDlgTabItem(sheet, f, FALSE);
            forward.emplace_back(GetParent(f) == sheet, GetDlgCtrlID(f));
            if (f == first) break;
        }
        for (HWND f = GetFocus(), first = f; backward.size() < 20;) {
            f = GetNextDlgTabItem(sheet, f, TRUE);
            backward.emplace_back(GetParent(f) == sheet, GetDlgCtrlID(f));
            if (f == first) break;
        }
        PostMessage(sheet, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(Run(pages, 1), 0);
    const std::vector<std::pair<bool, int>> order{{false, 1016}, {false, 1017}, {false, 1020}, {false, 1},
                                                  {false, 1028}, {false, 1029}, {false, 2},    {true, 1},
                                                  {true, 2},     {false, 1018}};
    EXPECT_EQ(forward, order);
    std::vector<std::pair<bool, int>> reversed(order.rbegin() + 1, order.rend());
    reversed.emplace_back(false, 1018);
    EXPECT_EQ(backward, reversed);

    // The same by keys: where Enter lands after them.
    struct Case {
        const char* what;
        std::function<void()> keys;
        INT_PTR result;
    };
    const Case cases[] = {
        {"nine Tabs reach the sheet's Cancel",
         [] {
             for (int i = 0; i < 9; ++i) Key(VK_TAB, u"\t");
             Key(VK_RETURN, u"\r");
         },
         0},
        {"two Shift+Tabs reach the sheet's OK",
         [] {
             plat::input::InjectKey(VK_SHIFT, true, 1, u"");
             Key(VK_TAB, u"\t");
             Key(VK_TAB, u"\t");
             plat::input::InjectKey(VK_SHIFT, false, 1, u"");
             Key(VK_RETURN, u"\r");
         },
         1},
        {"Enter on the page's own Cancel presses the sheet's",
         [] {
             for (int i = 0; i < 7; ++i) Key(VK_TAB, u"\t");
             Key(VK_RETURN, u"\r");
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        s = Script{};
        s.firstShown = [&](HWND) { c.keys(); };
        EXPECT_EQ(Run(pages, 1), c.result);
    }
}

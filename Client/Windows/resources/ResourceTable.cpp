// The resource library: the texts and dialog templates of the client runtime
// and the shell, found by number. Nothing here runs: the loader reads the one
// exported table.
#include <array>

#include "platform/Menu.h"
#include "platform/Resources.h"
#include "platform/WinConst.h"
#include "shell/SettingsTable.h"
#include "Icons.h"

namespace {

using plat::res::Dialog;
using plat::res::DialogItem;
using plat::res::Menu;
using plat::res::MenuItem;
using plat::res::String;

constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;
constexpr DWORD kField = kControl | WS_BORDER | WS_TABSTOP;
constexpr DWORD kButton = kControl | WS_TABSTOP;
constexpr DWORD kPage = WS_CHILD | DS_SETFONT;
constexpr DWORD kBox = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kPlainBox = WS_POPUP | WS_BORDER | DS_SETFONT;

constexpr String kFixedStrings[] = {
    {4, u"Orvade Client"},
    {6, u"Connection"},
    {38, u"Do you want to delete this host?"},
    {39, u"Delete Host"},
    {41, u"Unable to connect to the host."},
    {57, u"New Host"},
    {124, u"Software\\Quillmar\\"},
    {141, u"Orvade Client version"},
    // The global configuration: the settings file the desktop editor writes,
    // in the program folder.
    {153, u"Ravelcore.cfg"},
    {6058, u"Waiting for the wireless network..."},
    {6059, u"The device is not associated with a wireless network."},
    {6064, u"Do you want to disconnect from the host?"},
    {6075, u"The host closed the connection."},
    {6101, u"Do you want to exit the Orvade Client?"},
};

// The fixed texts, then the registry value names of the shell's settings
// from the one settings table.
constexpr auto kStrings = [] {
    constexpr size_t fixed = sizeof kFixedStrings / sizeof kFixedStrings[0];
    std::array<String, fixed + kSettingCount> all{};
    for (size_t i = 0; i < fixed; ++i) all[i] = kFixedStrings[i];
    for (int n = 0; n < kSettingCount; ++n) all[fixed + n] = {kSettingDefs[n].nameId, kSettingDefs[n].name};
    return all;
}();

constexpr DialogItem kHostDialog[] = {
    {u"STATIC", 0xFFFF, kControl, u"Description:", 4, 6, 50, 10},
    {u"EDIT", 1018, kField | ES_AUTOHSCROLL, u"", 56, 4, 80, 12},
    {u"STATIC", 0xFFFF, kControl, u"Host:", 4, 22, 50, 10},
    {u"EDIT", 1016, kField | ES_AUTOHSCROLL, u"", 56, 20, 80, 12},
    {u"STATIC", 0xFFFF, kControl, u"Port:", 4, 38, 50, 10},
    {u"EDIT", 1017, kField | ES_NUMBER, u"", 56, 36, 40, 12},
    // Kept empty: no entries, so no room for a dropped-down list.
    {u"COMBOBOX", 1020, kButton | WS_VSCROLL | CBS_DROPDOWN, u"", 56, 52, 80, 14},
    {u"BUTTON", 1, kButton | BS_DEFPUSHBUTTON, u"OK", 4, 72, 28, 14},
    {u"BUTTON", 1028, kButton, u"Add New", 34, 72, 38, 14},
    {u"BUTTON", 1029, kButton, u"Delete", 74, 72, 32, 14},
    {u"BUTTON", 2, kButton, u"Cancel", 108, 72, 30, 14},
};

constexpr DialogItem kAboutPage[] = {
    {u"STATIC", 1020, kControl, u"", 4, 4, 130, 10},
    {u"STATIC", 1035, kControl, u"", 4, 18, 130, 10},
    {u"STATIC", 1041, kControl, u"", 4, 32, 130, 30},
    {u"BUTTON", 1, kButton | BS_DEFPUSHBUTTON, u"OK", 4, 70, 40, 14},
    {u"BUTTON", 2, kButton, u"Cancel", 50, 70, 40, 14},
};

constexpr DialogItem kMenuBox[] = {
    {u"STATIC", 0xFFFF, kControl | SS_CENTER, u"", 0, 0, 120, 10},
    {u"LISTBOX", 30000, kField | WS_VSCROLL | LBS_NOTIFY, u"", 0, 12, 120, 70},
    {u"BUTTON", 1, kButton | BS_DEFPUSHBUTTON | WS_GROUP, u"OK", 10, 84, 45, 14},
    {u"BUTTON", 2, kButton, u"Cancel", 65, 84, 45, 14},
};

constexpr DialogItem kErrorBox[] = {
    {u"STATIC", 0xFFFF, kControl | SS_CENTER, u"", 0, 0, 120, 50},
    {u"BUTTON", 1, kButton | BS_DEFPUSHBUTTON, u"OK", 40, 54, 40, 14},
};

template <size_t N>
constexpr uint32_t Count(const DialogItem (&)[N]) {
    return N;
}

constexpr Dialog kDialogs[] = {
    {134, kBox, u"Host", u"MS Sans Serif", 8, 0, 0, 142, 92, kHostDialog, Count(kHostDialog)},
    {6029, kPage, u"About", u"MS Sans Serif", 8, 0, 0, 138, 90, kAboutPage, Count(kAboutPage)},
    {30001, kPlainBox, u"", u"MS Sans Serif", 8, 0, 0, 120, 100, kMenuBox, Count(kMenuBox)},
    {30002, kPlainBox, u"", u"MS Sans Serif", 8, 0, 0, 120, 70, kErrorBox, Count(kErrorBox)},
};

// The main window's menu bar.
constexpr MenuItem kViewItems[] = {
    {0, 40107, u"&Large Icon View", nullptr, 0},
    {0, 40108, u"&Small Icon View", nullptr, 0},
    {0, 40109, u"Lis&t View", nullptr, 0},
    {0, 40110, u"&Details View", nullptr, 0},
};
constexpr MenuItem kTermItems[] = {
    {0, 42001, u"&Disconnect", nullptr, 0},
    {0, 40027, u"E&xit", nullptr, 0},
    {MF_POPUP, 0, u"&View", kViewItems, 4},
};
constexpr MenuItem kHostItems[] = {
    {0, 32768, u"&Programs", nullptr, 0},
    {0, 32769, u"&AutoDiscovered Hosts", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {0, 32770, u"Pr&operties", nullptr, 0},
};
constexpr MenuItem kHelpItems[] = {
    {0, 40083, u"&About...", nullptr, 0},
};
constexpr MenuItem kMainBar[] = {
    {MF_POPUP, 0, u"&Term", kTermItems, 3},
    {MF_POPUP, 0, u"Ho&st", kHostItems, 4},
    {MF_POPUP, 0, u"&Help", kHelpItems, 1},
};
constexpr Menu kMenus[] = {{178, kMainBar, 3}};

// The host list's images 0 to 5: icons 175, 173, 172, 171, 6003 and 180, each
// at 32 and 16 pixels.
using icons::Draw;
using icons::Glyph;
constexpr auto kAddNew32 = Draw<32>(Glyph::Plus, 0xFF20A040);
constexpr auto kAddNew16 = Draw<16>(Glyph::Plus, 0xFF20A040);
constexpr auto kSpare32 = Draw<32>(Glyph::Star, 0xFFE08020);
constexpr auto kSpare16 = Draw<16>(Glyph::Star, 0xFFE08020);
constexpr auto kHost32 = Draw<32>(Glyph::Monitor, 0xFF3070D0);
constexpr auto kHost16 = Draw<16>(Glyph::Monitor, 0xFF3070D0);
constexpr auto kFound32 = Draw<32>(Glyph::MonitorSignal, 0xFF30A060);
constexpr auto kFound16 = Draw<16>(Glyph::MonitorSignal, 0xFF30A060);
constexpr auto kOther32 = Draw<32>(Glyph::Monitor, 0xFF909090);
constexpr auto kOther16 = Draw<16>(Glyph::Monitor, 0xFF909090);
constexpr auto kGone32 = Draw<32>(Glyph::Cross, 0xFFC03030);
constexpr auto kGone16 = Draw<16>(Glyph::Cross, 0xFFC03030);

constexpr plat::res::Icon kIcons[] = {
    {175, 32, kAddNew32.data()}, {175, 16, kAddNew16.data()}, {173, 32, kSpare32.data()},
    {173, 16, kSpare16.data()},  {172, 32, kHost32.data()},   {172, 16, kHost16.data()},
    {171, 32, kFound32.data()},  {171, 16, kFound16.data()},  {6003, 32, kOther32.data()},
    {6003, 16, kOther16.data()}, {180, 32, kGone32.data()},   {180, 16, kGone16.data()},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::res::Table OrvadeResourceTable = {
    plat::res::kTableMagic, uint32_t(kStrings.size()), kStrings.data(), sizeof kDialogs / sizeof kDialogs[0],
    kDialogs,               sizeof kIcons / sizeof kIcons[0],   kIcons,
    sizeof kMenus / sizeof kMenus[0], kMenus,
};

// The shell's settings, once: number, type, default, the resource string that
// names the registry value (the same text names the setting in a key=value
// configuration), and what the desktop catalog shows for it. The settings
// store, the resource library and the catalog generator all read this table,
// so a setting added here reaches all three. Plain data, no dependencies.
#pragma once

#include <cstdint>

enum SettingId : int {
    SETTING_LOW_COLOR_DISPLAY = 0,
    SETTING_AUTO_RECONNECT = 1,
    SETTING_ENABLE_LOGGING = 2,
    SETTING_LOG_CLEAR_ON_OPEN = 3,
    SETTING_LOG_FILE_NAME = 4,
    SETTING_FONT_SIZE = 5,
    SETTING_FONT_NAME = 6,
    SETTING_NUM_COLUMNS = 7,
    SETTING_NUM_ROWS = 8,
    SETTING_MONO_WIDTH = 9,
    SETTING_CELL_WIDTH = 10,
    SETTING_CELL_HEIGHT = 11,
    SETTING_TERMINAL_ID = 12,
    SETTING_EXTRA_CONFIG_URL = 13,
    SETTING_CONFIG_URL_TEMPLATE_1 = 14,
    SETTING_CONFIG_URL_TEMPLATE_2 = 15,
    SETTING_HOST_DIRECTORY_URL = 16,
    SETTING_HOST_ENTRY_URL = 17,
    SETTING_HIDE_MENU_KEY = 18,
    SETTING_HIDE_MENU_BAR = 19,
    SETTING_RESERVED_20 = 20,
    SETTING_SKIN_LAYOUT = 21,
    SETTING_EXIT_MENU = 22,
    SETTING_NOT_ASSOCIATED_TEXT = 23,
    SETTING_NOT_ASSOCIATED_MESSAGE = 24,
    SETTING_DEFAULT_TEXT_MODE = 25,
    SETTING_CR_MODE = 26,
    SETTING_EXTENDED_GETEVENT = 27,
    SETTING_WRAP = 28,
    SETTING_SILENT_MODE = 29,
    SETTING_AUTODISCOVERY_PORT = 30,
    SETTING_RESERVED_31 = 31,
    SETTING_AUTOLAUNCH_ADDRESS = 32,
    SETTING_AUTOLAUNCH_PORT = 33,
    SETTING_MENU_EXIT_KEY = 34,
    SETTING_EXIT_AFTER_SESSION = 35,
    SETTING_KEEP_HARDWARE_KEYS = 36,
    SETTING_AUTOCONNECT_HOST = 37,
    SETTING_ACTION_AS_ENTER = 38,
    SETTING_RESERVED_39 = 39,
    SETTING_INCLUDE_DATA_ON_WIDGET = 40,
    SETTING_SCAN_AHEAD_MODE = 41,
    SETTING_SUPP_MODE = 42,
    SETTING_SUPP2 = 43,
    SETTING_SUPP5 = 44,
    SETTING_SUPP_RETRIES = 45,
    SETTING_CODE39_FA = 46,
    SETTING_IGNORE_RADIO = 47,
    SETTING_RSSI_THRESHOLD = 48,
    SETTING_RADIO_WAKE_DELAY = 49,
    SETTING_CODE_PAGE = 50,
    SETTING_ESCAPE_INCLUDE_DATA = 51,
    SETTING_UPCE0_OPTIONS = 52,
    SETTING_SYMBOL_OVERRIDE = 53,
    SETTING_RFID_FAST_SEARCH = 54,
    SETTING_RFID_MAX_TAGS = 55,
    SETTING_RFID_ATTENUATION = 56,
    SETTING_RECONNECT_DELAY = 57,
    SETTING_ALLOW_HOST_EDIT = 58,
    SETTING_RESERVED_59 = 59,
    SETTING_AUTODISCOVERY = 60,
    SETTING_ENABLE_SCANNER_ON_EXIT = 61,
};

constexpr int kSettingCount = 62;

enum class SettingType : uint8_t { Bool = 0, Int = 1, String = 2 };

struct SettingDef {
    int number;
    SettingType type;
    bool hasDefault;
    int32_t defaultValue;  // bool and int settings only
    uint16_t nameId;       // resource string of the registry value name
    const char16_t* name;  // that string's text
    // What the desktop catalog shows.
    const char* folder;    // tree folder
    int32_t min, max;      // int: the value; string: the length (0, 0: no limit)
    const char* help;
};

namespace settings_detail {
constexpr SettingType B = SettingType::Bool;
constexpr SettingType I = SettingType::Int;
constexpr SettingType S = SettingType::String;
}  // namespace settings_detail

// Indexed by the setting number.
inline constexpr SettingDef kSettingDefs[kSettingCount] = {
#define ROW(n, t, has, def, id, name, folder, lo, hi, help) \
    {n, settings_detail::t, has, def, id, name, folder, lo, hi, help}
    ROW(0, B, true, 0, 59, u"LowColorDisplay", "Display", 0, 1,
        "Reports a colour depth of 2 bits per pixel, so that the host sends pictures for a low-colour screen."),
    ROW(1, B, false, 0, 171, u"AutoReconnect", "Connection", 0, 1,
        "Connects to the same host again when the host ends the session."),
    ROW(2, B, true, 0, 84, u"EnableLogging", "Logging", 0, 1,
        "Writes the client's log file with traces of every step and the traffic."),
    ROW(3, B, true, 1, 85, u"LogClearOnOpen", "Logging", 0, 1,
        "Empties the log file each time the log starts, instead of adding to it."),
    ROW(4, S, false, 0, 83, u"LogFileName", "Logging", 0, 259,
        "The device path of the log file. Without it the log goes to Ravelcore.log in the temporary folder."),
    ROW(5, I, false, 0, 6002, u"FontSize", "Display", 0, 0, "The size of the session font, in points."),
    ROW(6, S, false, 0, 180, u"FontName", "Display", 0, 99, "The name of the session font."),
    ROW(7, I, true, 0, 206, u"NumColumns", "Display", 0, 255,
        "The number of text columns of the session screen; 0 lets the screen size decide."),
    ROW(8, I, true, 0, 207, u"NumRows", "Display", 0, 255,
        "The number of text rows of the session screen; 0 lets the screen size decide."),
    ROW(9, B, false, 0, 6097, u"MonoWidth", "Display", 0, 1,
        "Draws every character in a cell of the same width."),
    ROW(10, I, false, 0, 6098, u"CellWidth", "Display", 0, 0, "The width of one text cell, in pixels."),
    ROW(11, I, false, 0, 6099, u"CellHeight", "Display", 0, 0, "The height of one text cell, in pixels."),
    ROW(12, I, false, 0, 192, u"TerminalID", "Session", 0, 0,
        "The terminal number the client reports to the host. Without it the skin's number is used."),
    ROW(13, S, false, 0, 154, u"ExtraConfigURL", "Configuration", 0, 259,
        "A further configuration, a device path or an http, https or file address, read at start-up after the "
        "global one."),
    ROW(14, S, false, 0, 172, u"ConfigURLTemplate1", "Configuration", 0, 259,
        "An address of a configuration with one %s that a name given at start-up replaces."),
    ROW(15, S, false, 0, 173, u"ConfigURLTemplate2", "Configuration", 0, 259,
        "A second address of a configuration with one %s that a second name replaces."),
    ROW(16, S, false, 0, 174, u"HostDirectoryURL", "Host List", 0, 259,
        "The address of the external host directory's list of entries."),
    ROW(17, S, false, 0, 175, u"HostEntryURL", "Host List", 0, 259,
        "The address of one entry of the external host directory, with one %s that the host's name replaces."),
    ROW(18, I, false, 0, 189, u"HideMenuKey", "Menus", 0, 0,
        "The key that shows or hides the menu bar during a session."),
    ROW(19, B, false, 0, 190, u"HideMenuBar", "Menus", 0, 1, "Hides the menu bar while a session runs."),
    ROW(20, B, true, 0, 6050, u"Reserved20", "Reserved", 0, 1, "Kept for older configurations; has no effect."),
    ROW(21, B, true, 0, 6047, u"SkinLayout", "Display", 0, 1,
        "Places the session display and the status area in the rectangles of the skin."),
    ROW(22, B, true, 1, 6046, u"ExitMenu", "Menus", 0, 1, "Shows the Exit item in the menu."),
    ROW(23, S, false, 0, 6057, u"NotAssociatedText", "Radio", 0, 99,
        "The text shown while the client waits for the wireless network."),
    ROW(24, S, false, 0, 6060, u"NotAssociatedMessage", "Radio", 0, 259,
        "The message shown when the device is not on a wireless network."),
    ROW(25, B, true, 1, 6061, u"DefaultTextMode", "Session", 0, 1,
        "Starts every session in the default text mode."),
    ROW(26, B, false, 0, 6062, u"CRMode", "Session", 0, 1, "Sends a carriage return at the end of an input."),
    ROW(27, B, true, 1, 6063, u"ExtendedGetevent", "Session", 0, 1,
        "Answers the host's event requests in the extended form."),
    ROW(28, B, true, 0, 202, u"Wrap", "Display", 0, 1, "Continues text at the end of a row on the next row."),
    ROW(29, B, true, 0, 45, u"SilentMode", "Session", 0, 1, "Plays no sounds."),
    ROW(30, I, false, 0, 204, u"AutodiscoveryPort", "Host List", 0, 65535,
        "The network port on which the client looks for hosts."),
    ROW(31, S, false, 0, 6065, u"Reserved31", "Reserved", 0, 259, "Kept for older configurations; has no effect."),
    ROW(32, S, false, 0, 6068, u"AutoLaunchAddress", "Connection", 0, 99,
        "The address of a host the client connects to at start-up."),
    ROW(33, I, false, 0, 6069, u"AutoLaunchPort", "Connection", 0, 65535,
        "The port of the host the client connects to at start-up."),
    ROW(34, I, true, 0, 6070, u"MenuExitKey", "Menus", 0, 0, "The key that leaves a host's menu."),
    ROW(35, B, true, 0, 6071, u"ExitAfterSession", "Connection", 0, 1,
        "Closes the client when a session ends."),
    ROW(36, B, true, 0, 6072, u"KeepHardwareKeys", "Session", 0, 1,
        "Leaves the device's function-key bindings alone during a session."),
    ROW(37, S, false, 0, 6073, u"AutoConnectHost", "Connection", 0, 99,
        "The description of a host of the host list that the client connects to at start-up."),
    ROW(38, B, true, 0, 6074, u"ActionAsEnter", "Session", 0, 1, "Treats the action key as the Enter key."),
    ROW(39, B, true, 0, 208, u"Reserved39", "Reserved", 0, 1, "Kept for older configurations; has no effect."),
    ROW(40, B, true, 0, 6076, u"IncludeDataOnWidget", "Session", 0, 1,
        "Sends the input data together with a widget's event."),
    ROW(41, I, true, 0, 6077, u"ScanAheadMode", "Scanner", 0, 0,
        "How scans that arrive before the host asks for them are kept; 0 keeps none."),
    ROW(42, I, false, 0, 6078, u"SuppMode", "Scanner", 0, 0, "How the scanner reads supplemental codes."),
    ROW(43, B, false, 0, 6079, u"Supp2", "Scanner", 0, 1, "Reads two-digit supplemental codes."),
    ROW(44, B, false, 0, 6080, u"Supp5", "Scanner", 0, 1, "Reads five-digit supplemental codes."),
    ROW(45, I, false, 0, 6081, u"SuppRetries", "Scanner", 0, 0,
        "How often the scanner tries again to find a supplemental code."),
    ROW(46, B, false, 0, 6082, u"Code39FA", "Scanner", 0, 1, "Reads Code 39 in its full-ASCII form."),
    ROW(47, B, true, 0, 6083, u"IgnoreRadio", "Radio", 0, 1,
        "Sends without waiting for the wireless network."),
    ROW(48, I, true, 0, 6084, u"RSSIThreshold", "Radio", 0, 0,
        "The signal strength below which the radio counts as lost."),
    ROW(49, I, true, 0, 6085, u"RadioWakeDelay", "Radio", 0, 0,
        "How long to wait for the radio after the device wakes, in milliseconds."),
    ROW(50, I, true, 0, 6086, u"CodePage", "Session", 0, 0,
        "The code page of the host's texts; 0 is the device's own."),
    ROW(51, B, true, 0, 6087, u"EscapeIncludeData", "Session", 0, 1,
        "Sends the input data when the user leaves a field with Escape."),
    ROW(52, I, false, 0, 6088, u"UPCE0Options", "Scanner", 0, 0, "How UPC-E0 codes are read and expanded."),
    ROW(53, S, false, 0, 6089, u"SymbolOverride", "Scanner", 0, 259,
        "Replacements for the symbology identifiers that scans carry."),
    ROW(54, B, false, 0, 6090, u"RFIDFastSearch", "RFID", 0, 1, "Searches for RFID tags in the fast mode."),
    ROW(55, I, false, 0, 6091, u"RFIDMaxTags", "RFID", 0, 0, "The largest number of RFID tags read at once."),
    ROW(56, I, false, 0, 6092, u"RFIDAttenuation", "RFID", 0, 0,
        "How much the RFID reader's power is lowered."),
    ROW(57, I, true, 0, 6093, u"ReconnectDelay", "Connection", 0, 0,
        "How long to wait before connecting again, in milliseconds."),
    ROW(58, B, true, 1, 6094, u"AllowHostEdit", "Host List", 0, 1,
        "Lets the user add, change and delete the hosts of the host list."),
    ROW(59, B, true, 1, 6095, u"Reserved59", "Reserved", 0, 1, "Kept for older configurations; has no effect."),
    ROW(60, B, true, 1, 6096, u"Autodiscovery", "Host List", 0, 1,
        "Looks for hosts on the local network and lists them."),
    ROW(61, B, false, 0, 6100, u"EnableScannerOnExit", "Scanner", 0, 1,
        "Leaves the scanner switched on when the client ends."),
#undef ROW
};

// The order in which the store reads the registry.
inline constexpr int kSettingLoadOrder[kSettingCount] = {
    0,  5,  6,  7,  8,  9,  10, 11, 2,  3,  4,  1,  29, 12, 13, 14, 15, 16, 17, 18, 19,
    39, 20, 21, 22, 38, 36, 35, 34, 23, 24, 25, 40, 26, 27, 28, 30, 31, 32, 33, 37, 41,
    42, 43, 44, 45, 46, 61, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};

// The section of the settings file under which the catalog lists them; the
// shell itself reads key=value lines whatever their section.
inline constexpr const char* kSettingsSection = "Ravelcore";

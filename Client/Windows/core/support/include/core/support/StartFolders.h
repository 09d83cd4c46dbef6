// The logical folders as the client starts: name (upper case), the extension
// a folder claims (with its dot, or empty), and its path, relative to the
// program or application folder (empty: set at start-up). The session's
// folder table starts from these; the relative paths are the program
// folder's data folders, the only part of it a host writes (FileUtil).
#pragma once

struct StartFolder {
    const char16_t* name;
    const char16_t* extension;
    const char16_t* path;
};

inline constexpr StartFolder kStartFolders[] = {
    {u"EXTENTIONS", u"", u"Ext"},
    {u"SYSTEMDIALOGS", u"", u"System\\Dialogs"},
    {u"BARCODES", u".bar", u"BARCODES"},
    {u"DATA", u"", u"DATA"},
    {u"SCREENS", u".scr", u"SCREENS"},
    {u"SCREENS", u".qms", u"SCREENS"},
    {u"LIBS", u".qml", u"LIBS"},
    {u"TONES", u".ton", u"TONES"},
    {u"TONES", u".wav", u"TONES"},
    {u"MENUS", u".mnu", u"MENUS"},
    {u"VMPROGRAMS", u".ova", u"Programs"},
    {u"SOUNDS", u"", u"Sounds"},
    {u"OVC", u"", u""},
    {u"APP", u"", u""},
    {u"SYSTEM", u"", u""},
    {u"TEMP", u"", u""},
    {u"IMAGES", u"", u"Images"},
    {u"FLASH1", u"", u""},
    {u"FLASH2", u"", u""},
    {u"FLASH3", u"", u""},
    {u"FLASH4", u"", u""},
    {u"FLASH5", u"", u""},
    {u"FLASH6", u"", u""},
    {u"FLASH7", u"", u""},
    {u"FLASH8", u"", u""},
    {u"FLASH9", u"", u""},
    {u"FLASH10", u"", u""},
};

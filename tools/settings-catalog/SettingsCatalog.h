// The option catalog of the client's settings, made from the shell's one
// settings table: the desktop settings editor lists what the shell reads.
#pragma once

#include <string>

#include "settingseditor/ItemType.h"

namespace settingscatalog {

// One option for each setting, in the order of the setting numbers.
settingseditor::OptionList BuildSettingsCatalog();
// A help text as the catalog holds it: rich text of one paragraph.
std::string RichText(const std::string& text);
// "AutoReconnect" -> "Auto Reconnect", "RSSIThreshold" -> "RSSI Threshold".
std::string DisplayName(const std::string& key);

}  // namespace settingscatalog

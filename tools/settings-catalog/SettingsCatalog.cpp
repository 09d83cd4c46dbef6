#include "SettingsCatalog.h"

#include <cctype>

#include "shell/SettingsTable.h"

namespace settingscatalog {

namespace {

std::string Ascii(const char16_t* text) {
    std::string out;
    for (; *text; ++text) out += *text < 0x80 ? char(*text) : '?';
    return out;
}

}  // namespace

std::string RichText(const std::string& text) {
    std::string body;
    for (char c : text) {
        if (c == '\\' || c == '{' || c == '}') body += '\\';
        body += c;
    }
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss MS Sans Serif;}}\\f0\\fs16 " + body + "\\par}";
}

std::string DisplayName(const std::string& key) {
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = key[i];
        if (i > 0 && std::isupper(c)) {
            const unsigned char before = key[i - 1];
            const bool nextLower = i + 1 < key.size() && std::islower(static_cast<unsigned char>(key[i + 1]));
            if (std::islower(before) || std::isdigit(before) || (std::isupper(before) && nextLower)) out += ' ';
        }
        out += char(c);
    }
    return out;
}

settingseditor::OptionList BuildSettingsCatalog() {
    using settingseditor::CItemType;
    settingseditor::OptionList list;
    for (const SettingDef& def : kSettingDefs) {
        auto item = std::make_unique<CItemType>();
        item->section = kSettingsSection;
        item->key = Ascii(def.name);
        item->name = DisplayName(item->key);
        item->treePath = def.folder;
        item->prompt = item->name + ":";
        item->order = def.number;
        item->min = def.min;
        item->max = def.max;
        switch (def.type) {
        case SettingType::Bool:
            item->type = settingseditor::kDword;
            item->valueList = {"Yes=1", "No=0"};
            break;
        case SettingType::Int:
            item->type = settingseditor::kInteger;
            break;
        case SettingType::String:
            item->type = settingseditor::kString;
            break;
        }
        if (def.hasDefault && def.type != SettingType::String) item->defaultValue = std::to_string(def.defaultValue);
        item->help.bytes = RichText(def.help);
        list.push_back(std::move(item));
    }
    return list;
}

}  // namespace settingscatalog

#include "platform/Resources.h"

#include <algorithm>

namespace plat::res {

const Table* GetTable(HMODULE module) {
    if (!module) return nullptr;
    const auto* table = reinterpret_cast<const Table*>(GetProcAddress(module, kTableExport));
    return table && table->magic == kTableMagic ? table : nullptr;
}

std::u16string LoadText(HMODULE module, UINT id) {
    const Table* table = GetTable(module);
    if (!table) return {};
    for (uint32_t i = 0; i < table->stringCount; ++i) {
        if (table->strings[i].id == id && table->strings[i].text) return table->strings[i].text;
    }
    return {};
}

const Dialog* FindDialog(HMODULE module, UINT id) {
    const Table* table = GetTable(module);
    if (!table) return nullptr;
    for (uint32_t i = 0; i < table->dialogCount; ++i) {
        if (table->dialogs[i].id == id) return &table->dialogs[i];
    }
    return nullptr;
}

const Menu* FindMenu(HMODULE module, UINT id) {
    const Table* table = GetTable(module);
    if (!table) return nullptr;
    for (uint32_t i = 0; i < table->menuCount; ++i) {
        if (table->menus[i].id == id) return &table->menus[i];
    }
    return nullptr;
}

const Icon* FindIcon(HMODULE module, UINT id, int size) {
    const Table* table = GetTable(module);
    if (!table) return nullptr;
    for (uint32_t i = 0; i < table->iconCount; ++i) {
        if (table->icons[i].id == id && table->icons[i].size == size && table->icons[i].pixels) return &table->icons[i];
    }
    return nullptr;
}

const DialogItem* FindItem(const Dialog& dialog, UINT id) {
    for (uint32_t i = 0; i < dialog.itemCount; ++i) {
        if (dialog.items[i].id == id) return &dialog.items[i];
    }
    return nullptr;
}

}  // namespace plat::res

int LoadString(HMODULE module, UINT id, char16_t* buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0) return 0;
    const std::u16string text = plat::res::LoadText(module, id);
    const size_t count = std::min(text.size(), static_cast<size_t>(bufferMax - 1));
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = u'\0';
    return static_cast<int>(count);
}

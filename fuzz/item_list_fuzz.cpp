// Item-list files as a host stores them in MENUS, read in either framing
// mode (the first byte chooses): nothing read past the bytes, every item
// non-empty, and what is read bounded by what the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/Packet.h"
#include "core/widgets/WidgetWindowTypes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > static_cast<size_t>(kMaxItemListFile)) return 0;
    const int mode = data[0] & 1;
    CPacket packet(mode, 0xFF, data + 1, static_cast<int32_t>(size - 1), 0);
    const WidgetItemList list = ParseItemList(packet);
    if (!list.loaded && (!list.items.empty() || !list.title.empty())) std::abort();
    size_t characters = list.title.size();
    for (const auto& item : list.items) {
        if (item.empty()) std::abort();
        characters += item.size();
    }
    // A character takes at least one byte, and each item one separator.
    if (characters + list.items.size() > size) std::abort();
    if (list.Total() + static_cast<int64_t>(list.title.size()) != static_cast<int64_t>(characters)) std::abort();
    return 0;
}

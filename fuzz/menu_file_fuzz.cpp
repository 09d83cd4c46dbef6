// Arbitrary bytes as a menu file, read in either framing mode (the first
// byte chooses it): the reading ends, the title stays within its 300
// characters and each item within its 99, and there is at least one item.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/session/MenuCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65536) return 0;
    const int32_t mode = data[0] & 1;
    MenuBoxRequest request;
    if (!ParseMenuFile(data + 1, static_cast<int32_t>(size - 1), mode, mode ? 65001 : 1252, &request)) return 0;
    if (request.title.size() > 300 || request.items.empty() || request.items.size() > size) std::abort();
    for (const MenuBoxItem& item : request.items)
        if (item.text.size() > 99) std::abort();
    return 0;
}

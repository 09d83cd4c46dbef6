// The keyboard file: every keyboard the header can name is looked up, and
// what is found must lie inside the bytes, with labels within their bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tapryn/KeyboardFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KeyboardFile file;
    file.Assign(std::vector<uint8_t>(data, data + size));
    for (int number = -1; number <= 255; ++number) {
        const auto keyboard = file.Find(number);
        if (!keyboard) continue;
        if (number < 0 || number >= KeyboardFile::kMaxKeyboards) std::abort();
        if (2 + keyboard->keys.size() * KeyRecord::kSize > file.Size()) std::abort();
        for (const KeyRecord& key : keyboard->keys) {
            if (key.label.size() > KeyRecord::kLabelMax) std::abort();
            if (key.label.find('\0') != std::string::npos) std::abort();
            if (key.Label().size() > KeyRecord::kLabelMax) std::abort();
            const RECT r = key.Rect(true);
            if (r.right < r.left || r.bottom < r.top || r.right > 1020 || r.bottom > 1020) std::abort();
        }
    }
    return 0;
}

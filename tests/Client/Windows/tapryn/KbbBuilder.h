// Makes keyboard files for the tests: keyboards are laid out after the header
// in the order they are added, each header entry pointing at its keyboard.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace taprtest {

struct Key {
    std::string label;
    uint8_t left = 0, top = 0, width = 10, height = 10;
    uint8_t action = 0, style = 0;
    uint16_t code = 0;
};

class KbbBuilder {
public:
    // The new keyboard's number.
    int AddKeyboard(bool returnFlag, std::vector<Key> keys) {
        m_keyboards.push_back({returnFlag, std::move(keys)});
        return static_cast<int>(m_keyboards.size()) - 1;
    }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out(20, 0);
        for (size_t i = 0; i < m_keyboards.size(); ++i) {
            const size_t offset = out.size() - 20;
            if (1 + 2 * i + 1 < 20) {
                out[1 + 2 * i] = static_cast<uint8_t>(offset);
                out[2 + 2 * i] = static_cast<uint8_t>(offset >> 8);
            }
            const Board& b = m_keyboards[i];
            out.push_back(static_cast<uint8_t>(b.keys.size()));
            out.push_back(b.returnFlag ? 1 : 0);
            for (const Key& k : b.keys) {
                uint8_t rec[20] = {};
                std::memcpy(rec, k.label.data(), std::min<size_t>(k.label.size(), 12));
                rec[12] = k.left;
                rec[13] = k.top;
                rec[14] = k.width;
                rec[15] = k.height;
                rec[16] = k.action;
                rec[17] = k.style;
                rec[18] = static_cast<uint8_t>(k.code);
                rec[19] = static_cast<uint8_t>(k.code >> 8);
                out.insert(out.end(), rec, rec + 20);
            }
        }
        return out;
    }

private:
    struct Board {
        bool returnFlag;
        std::vector<Key> keys;
    };
    std::vector<Board> m_keyboards;
};

}  // namespace taprtest

// Unicode character data beyond ASCII (letters, digits, case, composition),
// from QtCore. QtCore is large and slow to load, and most programs of the
// base never see such a character, so it is not linked into the base: the
// helper library liborvade_unicode.so beside the base library brings it, and
// is loaded with the first character that needs it. Callers answer ASCII
// themselves.
#pragma once

#include <string>
#include <string_view>

namespace plat::text::unicode {

struct Tables {
    std::u16string (*composeNfc)(std::u16string_view text);
    char16_t (*toUpper)(char16_t c);
    bool (*isLetter)(char16_t c);
    bool (*isDigit)(char16_t c);
    char32_t (*caseFold)(char32_t c);
};

// The helper's tables, loaded on the first call. When the helper cannot be
// loaded this says so once on standard error and answers by ASCII rules.
const Tables& Get();

}  // namespace plat::text::unicode

// What the helper exports.
extern "C" const plat::text::unicode::Tables* orvade_unicode_tables();

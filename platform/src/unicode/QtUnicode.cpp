// The helper library of the base's Unicode data, on QtCore (see text/Unicode.h).
#include <QChar>
#include <QString>

#include "../text/Unicode.h"

namespace {

std::u16string ComposeNfc(std::u16string_view text) {
    QString q = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    QString n = q.normalized(QString::NormalizationForm_C);
    return std::u16string(reinterpret_cast<const char16_t*>(n.utf16()), static_cast<size_t>(n.size()));
}

char16_t ToUpper(char16_t c) { return QChar(c).toUpper().unicode(); }
bool IsLetter(char16_t c) { return QChar(c).isLetter(); }
bool IsDigit(char16_t c) { return QChar(c).isDigit(); }
char32_t CaseFold(char32_t c) { return QChar::toCaseFolded(c); }

constexpr plat::text::unicode::Tables kTables{&ComposeNfc, &ToUpper, &IsLetter, &IsDigit, &CaseFold};

}  // namespace

extern "C" __attribute__((visibility("default"))) const plat::text::unicode::Tables* orvade_unicode_tables() {
    return &kTables;
}

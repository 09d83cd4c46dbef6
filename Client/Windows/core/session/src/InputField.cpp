#include "core/session/InputField.h"

#include <algorithm>
#include <climits>

namespace {

// A field's text as the screen shows it: "*" per character for a password,
// '.' for unprintable characters when asked.
std::u16string ShownText(std::u16string_view text, int32_t flags) {
    std::u16string shown = (flags & INPUT_PASSWORD) ? std::u16string(text.size(), u'*') : std::u16string(text);
    if (flags & INPUT_DOT_UNPRINTABLE) {
        for (char16_t& c : shown) {
            if (c < 32 || c > 126) c = u'.';
        }
    }
    return shown;
}

}  // namespace

CInputField::Cells CInputField::Layout(std::u16string_view typed, CaretAt caret) const {
    // The typed text never exceeds the input buffer, so no screen shows more of
    // a field than that: a longer field is drawn (and padded) no further.
    const size_t cells = static_cast<size_t>(std::clamp(length, 0, kTextUnits - 1));
    const bool right = (flags & INPUT_RIGHT_ALIGN) != 0;
    std::u16string shown = ShownText(typed, flags);
    Cells out;
    if (caret == CaretAt::AfterText) {
        if (cells == 0) return out;
        if (shown.size() > cells) shown.erase(0, shown.size() - cells);
        const std::u16string padding(cells - shown.size(), pad);
        out.text = right ? padding + shown : shown + padding;
        out.caretOffset = right ? static_cast<int>(cells) - 1
                                : std::min(static_cast<int>(shown.size()), static_cast<int>(cells) - 1);
    } else {
        // The field's opening: the default text as it is, then the padding;
        // only the caret knows the alignment.
        out.text = std::move(shown);
        if (out.text.size() < cells) out.text.append(cells - out.text.size(), pad);
        out.caretOffset = caret == CaretAt::LastCell && cells > 0 ? static_cast<int>(cells) - 1 : 0;
    }
    return out;
}

bool CInputField::Append(char16_t c) {
    if (text.size() >= static_cast<size_t>(kTextUnits - 1)) return false;
    text.push_back(c);
    return true;
}

bool CInputField::TimedOut(DWORD now) const {
    // In 64 bits: a time-out of 50 days or more must not wrap to a short one.
    return command == InputCommand::Field && timeout > 0 &&
           uint64_t{now - timeoutStart} >= static_cast<uint64_t>(timeout) * 1000u;
}

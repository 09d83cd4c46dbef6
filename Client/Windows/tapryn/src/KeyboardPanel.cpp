#include "tapryn/KeyboardPanel.h"

#include "platform/Gdi.h"
#include "platform/Text.h"

bool CKeyboardPanel::Show(int number) {
    std::optional<Keyboard> next = m_file.Find(number);
    if (!next) return false;
    // Leaving a keyboard that returns by itself keeps the one before it.
    if (m_current && !m_current->returnFlag) m_previous = m_current->number;
    m_current = std::move(next);
    return true;
}

void CKeyboardPanel::Reset() {
    m_file.Clear();
    m_current.reset();
    m_previous = -1;
    m_pressed = -1;
}

std::optional<RECT> CKeyboardPanel::Press(POINT point) {
    if (m_pressed >= 0 || !m_current) return std::nullopt;
    for (size_t i = 0; i < m_current->keys.size(); ++i) {
        const RECT r = KeyRect(m_current->keys[i]);
        if (PtInRect(&r, point)) {
            m_pressed = int(i);
            return r;
        }
    }
    return std::nullopt;
}

Release CKeyboardPanel::ReleaseKey() {
    Release out;
    if (!m_current || m_pressed < 0 || size_t(m_pressed) >= m_current->keys.size()) {
        m_pressed = -1;
        return out;
    }
    const KeyRecord key = m_current->keys[size_t(m_pressed)];
    m_pressed = -1;
    out.pressed = KeyRect(key);
    out.hadKey = true;
    switch (key.action) {
        case uint8_t(KeyAction::Send):
            out.code = key.code;
            if (!m_current->returnFlag) {
                out.result = ReleaseResult::Sent;
            } else if (Show(m_previous)) {
                out.result = ReleaseResult::SentBack;
                out.redraw = true;
            } else {
                out.result = ReleaseResult::Nothing;
                out.error = kPreviousErrorText;
            }
            break;
        case uint8_t(KeyAction::Switch):
            if (key.TargetKeyboard() == m_current->number) break;
            if (Show(key.TargetKeyboard())) {
                out.result = ReleaseResult::Switched;
                out.redraw = true;
            } else {
                out.result = ReleaseResult::Nothing;
                out.error = kSelectedErrorText;
            }
            break;
        case uint8_t(KeyAction::Nothing):
            out.result = ReleaseResult::Nothing;
            break;
        default:
            break;
    }
    return out;
}

KeyFace FaceOf(const KeyRecord& key) {
    KeyFace face;
    std::string label = key.label;
    if (label.empty()) return face;
    const auto first = static_cast<uint8_t>(label[0]);
    if (first >= 24 && first <= 27) {
        face.arrow = first;
        return face;
    }
    if (first == '\\') {
        label.erase(0, 1);
        const bool digits = !label.empty() && label.find_first_not_of("0123456789") == std::string::npos;
        if (digits && label.size() <= 2) {
            const int n = std::stoi(label);
            if (n >= 24 && n <= 27) {
                face.arrow = n;
                return face;
            }
        }
    } else {
        // Glyphs the keyboard font draws in other places.
        if (first == 155) label[0] = char(162);
        if (first == 170) label[0] = char(172);
        if (first == 179) label[0] = char(166);
    }
    face.text = plat::text::BytesToWide(CP_ACP, label);
    return face;
}

std::array<POINT, 5> ArrowPoints(int arrow, int cx, int cy) {
    switch (arrow) {
        case 24: return {{{cx, cy + 5}, {cx, cy - 5}, {cx - 3, cy - 2}, {cx + 3, cy - 2}, {cx, cy - 5}}};
        case 25: return {{{cx, cy - 5}, {cx, cy + 5}, {cx - 3, cy + 2}, {cx + 3, cy + 2}, {cx, cy + 5}}};
        case 26: return {{{cx - 5, cy}, {cx + 5, cy}, {cx + 2, cy + 3}, {cx + 2, cy - 3}, {cx + 5, cy}}};
        default: return {{{cx + 5, cy}, {cx - 5, cy}, {cx - 2, cy + 3}, {cx - 2, cy - 3}, {cx - 5, cy}}};
    }
}

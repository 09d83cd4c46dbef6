// The display commands: text with escape sequences (RfPrint), text laid out
// in a box (RfPrint2), the error box (RFERROR) and screen files (PUSHSCREEN,
// PULLSCREEN, RESTORESCREEN). They write into the screen model; the view
// repaints from it.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/session/DisplayCommands.h"

#include "core/session/LogicalFolders.h"
#include "core/support/CharWidth.h"
#include "core/support/DevicePath.h"
#include "core/support/Escapes.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "core/widgets/WidgetManager.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Sound.h"

namespace {

constexpr char16_t kReverseDefault = CScreenModel::kDefaultAttribute | plat::draw::kAttributeReverse;
// Host sizes are bounded before anything is made from them.
constexpr int32_t kMaxBoxSide = 1000;
constexpr int32_t kWidgetWriter = 4096;
// A screen file's header (rows, columns) and the reserved word after the cells.
constexpr size_t kScreenHeader = 8;
constexpr size_t kReservedWord = 4;

int Width(char16_t c, bool singleWidth) {
    const int w = CharDisplayWidth(c);
    return w == 2 && singleWidth ? 1 : w;
}

// The attribute after one "m" parameter.
char16_t ApplyAttribute(char16_t a, int32_t p) {
    using S = CScreenModel;
    constexpr char16_t kReverse = plat::draw::kAttributeReverse;
    switch (p) {
    case 0: return S::kDefaultAttribute;
    case 1: return a | S::kAttributeBold;
    case 2: case 22: return a & ~S::kAttributeBold;
    case 3: return a | S::kAttributeItalic;
    case 4: return a | S::kAttributeUnderline;
    case 5: return a | S::kAttributeBlink;
    case 7: return a | kReverse;
    case 8: return a | S::kAttributeHidden;
    case 9: return a | S::kAttributeCrossedOut;
    case 23: return a & ~S::kAttributeItalic;
    case 24: return a & ~S::kAttributeUnderline;
    case 25: return a & ~S::kAttributeBlink;
    case 27: return a & ~kReverse;
    case 28: return a & ~S::kAttributeHidden;
    case 39: return a & ~S::kAttributeForeground;
    case 49: return (a & ~S::kAttributeBackground) | S::kAttributeBackgroundColour;
    default: break;
    }
    if (p >= 30 && p <= 37) return static_cast<char16_t>((a & ~S::kAttributeForeground) | (p - 30));
    if (p >= 90 && p <= 97)
        return static_cast<char16_t>((a & ~S::kAttributeForeground) | (p - 90) | S::kAttributeBrightForeground);
    if (p >= 40 && p <= 47) return static_cast<char16_t>((a & ~S::kAttributeBackground) | ((p - 40) << 4));
    if (p >= 100 && p <= 107)
        return static_cast<char16_t>((a & ~S::kAttributeBackgroundColour) | ((p - 100) << 4) |
                                     S::kAttributeBrightBackground);
    return a;
}

// A screen file's path: the name resolved with SCREENS as its default folder.
std::u16string ScreenPath(CPacket* pkt, std::u16string* folder = nullptr) {
    std::u16string name = ReadHostName(pkt);
    std::u16string dir;
    BuildFolderPath(dir, name, u"SCREENS");
    if (dir.empty() && (name.empty() || name[0] != u'\\')) dir = u"\\";
    if (folder) *folder = dir;
    return FileUtil::JoinPath(dir, name);
}

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetWord(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

// ---- The write-text operation

void CDisplayCommands::WriteScreenText(std::u16string_view text, int row, int column, char16_t attribute,
                                  bool moveCursor) {
    CScreenModel& s = m_screen;
    const CScreenModel::Caret& caret = s.GetCaret();
    if (attribute == 0) attribute = s.DefaultAttribute();
    if (row < 0) row = caret.row;
    if (column < 0) column = caret.column;
    const bool wrap = Properties().wrap != 0;
    const bool singleWidth = Properties().monoWidth != 0;
    const int64_t columns = s.Columns();
    const int64_t cells = columns * s.Rows();
    const int64_t start = int64_t{row} * columns + column;
    int64_t pos = start;
    for (char16_t c : text) {
        if (pos < 0 || pos >= cells) break;
        if (c == u'\n') {
            pos = (pos / columns + 1) * columns;
            if (!wrap && pos / columns != row) break;
            continue;
        }
        if (!wrap && pos / columns != row) break;
        const int w = Width(c, singleWidth);
        const int r = static_cast<int>(pos / columns);
        const int col = static_cast<int>(pos % columns);
        if (w == 2) {
            if (col == columns - 1) {
                // A double-width character never splits over a row's end.
                if (!wrap || r + 1 >= s.Rows()) break;
                s.PutCell(r, col, u' ', attribute);
                ++pos;
            }
            const int r2 = static_cast<int>(pos / columns);
            const int c2 = static_cast<int>(pos % columns);
            s.PutCell(r2, c2, c, attribute | plat::draw::kAttributeDoubleWidth);
            s.PutCell(r2, c2 + 1, u' ', attribute);
            pos += 2;
        } else if (w == 1) {
            s.PutCell(r, col, c, attribute);
            ++pos;
        } else if (w < 0) {
            s.PutCell(r, col, u' ', attribute);
            ++pos;
        }
    }
    const int64_t end = moveCursor ? pos : start;
    m_session.PlaceCursor(static_cast<int>(end / columns), static_cast<int>(end % columns));
}

// ---- RfPrint: text with escape sequences

int CDisplayCommands::RfPrint(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RfPrint");
    std::u16string text(static_cast<size_t>(pkt->CommandLength()) + 1, u'\0');
    text.resize(static_cast<size_t>(pkt->GetWide(text.data(), static_cast<int32_t>(text.size()), true)));
    // The cursor stays: the dispatcher's step to the next command passes the
    // text (an Advance would keep the field's length and step past the delimiter).
    PrintWithEscapes(text);
    m_session.ScreenChanged();
    return 0;
}

void CDisplayCommands::PrintWithEscapes(std::u16string_view text) {
    CScreenModel& s = m_screen;
    const bool singleWidth = Properties().monoWidth != 0;
    const int rows = s.Rows();
    const int columns = s.Columns();
    int row = s.GetCaret().row;
    int column = s.GetCaret().column;
    int margin = column;
    char16_t attribute = s.DefaultAttribute();
    enum class State { Text, Escape, Sequence, Private } state = State::Text;
    std::vector<int32_t> params;
    bool sevenSeen = false;

    for (char16_t c : text) {
        switch (state) {
        case State::Text:
            if (c == 10) {
                if (row < rows - 1) ++row;
                column = Properties().crMode == 1 ? margin : 0;
            } else if (c == 13) {
                column = 0;
            } else if (c == 27) {
                state = State::Escape;
            } else {
                const int w = Width(c, singleWidth);
                if (Properties().wrap && (column >= columns || (w == 2 && column + 1 >= columns))) {
                    if (s.OnScreen(row, column)) s.PutCell(row, column, u' ', attribute);
                    // Past the last row the text leaves the screen: nothing scrolls.
                    if (row < rows) {
                        ++row;
                        column = 0;
                    }
                }
                if (s.OnScreen(row, column)) {
                    if (w != 2) {
                        s.PutCell(row, column, c, attribute);
                    } else {
                        s.PutCell(row, column, c, attribute | plat::draw::kAttributeDoubleWidth);
                        s.PutCell(row, column + 1, u' ', attribute);
                    }
                }
                // A host may have put the cursor at the far end of the number range.
                if (w > 0 && column <= std::numeric_limits<int>::max() - w) column += w;
            }
            break;
        case State::Escape:
            if (c == u'[') {
                params.assign(1, 0);
                state = State::Sequence;
            } else {
                state = State::Text;
            }
            break;
        case State::Sequence:
            if (c >= u'0' && c <= u'9') {
                // Digits past any sensible parameter stay bounded.
                params.back() = std::min<int32_t>(params.back() * 10 + (c - u'0'), 100000);
            } else if (c == u';') {
                if (params.size() < 64) params.push_back(0);
            } else if (c == u'?') {
                sevenSeen = false;
                state = State::Private;
            } else if (c == u'H') {
                row = std::max(params[0], 1) - 1;
                column = std::max(params.size() > 1 ? params[1] : 0, 1) - 1;
                margin = column;
                state = State::Text;
            } else if (c == u'J') {
                // The clear homes the cursor; the print goes on from its own position.
                if (params[0] == 2) s.MoveCaret(row, column);
                s.Clear();
                s.MoveCaret(0, 0);
                state = State::Text;
            } else if (c == u'K') {
                s.MoveCaret(row, column);
                s.ClearToEndOfLine(row, column, attribute);
                state = State::Text;
            } else if (c == u'm') {
                for (int32_t p : params) attribute = ApplyAttribute(attribute, p);
                s.SetDefaultAttribute(attribute);
                state = State::Text;
            }
            break;
        case State::Private:
            if (c == u'7' && !sevenSeen) {
                sevenSeen = true;
            } else if (sevenSeen && (c == u'h' || c == u'l')) {
                m_session.SetWrap(c == u'h');
                state = State::Text;
            } else {
                state = State::Text;
            }
            break;
        }
    }
    m_session.MoveCursor(row, column);
    m_session.EndPendingInput();
}

// ---- RfPrint2: text laid out in a box

int CDisplayCommands::RfPrint2(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RfPrint2");
    std::u16string text(static_cast<size_t>(pkt->GetWide(nullptr, 0)), u'\0');
    pkt->GetWide(text.data(), static_cast<int32_t>(text.size()));
    pkt->NextField();
    auto number = [pkt] {
        const int32_t v = pkt->GetInt(0);
        pkt->NextField();
        return v;
    };
    const int32_t column = number();
    const int32_t row = number();
    const int32_t width = std::clamp(number(), 0, kMaxBoxSide);
    const int32_t height = std::clamp(number(), 0, kMaxBoxSide);
    const int32_t flags = number();
    const int32_t wordWrap = number();
    if (text.empty() || text[0] == 0) return 0;
    UnescapeWide(text.data());
    text.resize(std::char_traits<char16_t>::length(text.c_str()));

    const char16_t saved = m_screen.DefaultAttribute();
    if (flags & 4) m_screen.SetDefaultAttribute(kReverseDefault);
    size_t at = 0;
    // Lines past the largest row number are off the screen: the box stops there.
    for (int32_t line = 0; line <= height && (at < text.size() || line == 0) &&
                            row <= std::numeric_limits<int32_t>::max() - line;
         ++line) {
        // One line: up to a break, the end, or the width.
        size_t end = at;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r' && end - at < static_cast<size_t>(width))
            ++end;
        size_t next = end;
        if (end < text.size() && (text[end] == u'\n' || text[end] == u'\r')) {
            next = end + 1;
        } else if (wordWrap && end < text.size()) {
            // Cut at the start of the last run of spaces, when the line has one.
            size_t space = end;
            while (space > at && text[space - 1] != u' ') --space;
            if (space > at) {
                while (space > at && text[space - 1] == u' ') --space;
                if (space > at) {
                    next = space;
                    end = space;
                    while (next < text.size() && text[next] == u' ') ++next;
                }
            }
        }
        std::u16string piece = text.substr(at, end - at);
        const size_t room = static_cast<size_t>(width) > piece.size() ? width - piece.size() : 0;
        size_t offset = 0;
        if ((flags & 3) == 1) offset = room / 2;
        if ((flags & 3) == 2) offset = room;
        std::u16string laid(static_cast<size_t>(width), u' ');
        laid.replace(offset, piece.size(), piece);
        if (width == 0) laid = piece;
        WriteScreenText(laid, row + line, column, m_screen.DefaultAttribute(), true);
        at = next;
    }
    // A reverse box leaves the default attribute at black on white.
    m_screen.SetDefaultAttribute(flags & 4 ? CScreenModel::kDefaultAttribute : saved);
    m_session.ScreenChanged();
    return 0;
}

// ---- Screen files

int CDisplayCommands::PUSHSCREEN(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PUSHSCREEN");
    std::u16string folder;
    const std::u16string path = ScreenPath(pkt, &folder);
    if (!FileUtil::HostMayWrite(path)) {
        LogWrite(LOG_ERROR, "PUSHSCREEN: refused name");
        return 0;
    }
    const int rows = m_screen.Rows();
    const int columns = m_screen.Columns();
    std::vector<uint8_t> file;
    file.reserve(kScreenHeader + static_cast<size_t>(rows) * columns * 4 + kReservedWord);
    PutWord(file, static_cast<uint32_t>(rows));
    PutWord(file, static_cast<uint32_t>(columns));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const char16_t ch = m_screen.CharacterAt(r, c);
            const char16_t at = m_screen.AttributeAt(r, c);
            PutWord(file, uint32_t{ch} | uint32_t{at} << 16);
        }
    PutWord(file, 0);
    // The widgets' records: a writer that grows until they fit whole. The
    // widgets bound what they hold, so their records fit the last size tried.
    for (int64_t capacity = kWidgetWriter; capacity / 4 < int64_t{CWidgetManager::kMaxScreenWidgetBytes};
         capacity *= 4) {
        std::unique_ptr<CPacketBuffer> writer = m_replies.NewWriter(static_cast<int32_t>(capacity));
        if (!writer) break;
        writer->Reset();
        if (m_widgets->WriteAll(*writer)) {
            file.insert(file.end(), writer->GetData(), writer->GetData() + writer->GetLength());
            break;
        }
    }
    if (!folder.empty()) FileUtil::MakeHostFolder(folder);
    if (!plat::fs::WriteFile(path, file.data(), file.size())) LogWrite(LOG_ERROR, "PUSHSCREEN: not written");
    return 0;
}

void CDisplayCommands::LoadScreen(CPacket* pkt, bool keep) {
    const std::u16string path = ScreenPath(pkt);
    std::vector<uint8_t> file;
    if (FILE* f = plat::fs::OpenFile(path, "rb")) {
        uint8_t chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && file.size() < (64u << 20))
            file.insert(file.end(), chunk, chunk + n);
        std::fclose(f);
    }
    if (file.size() < kScreenHeader) {
        LogWrite(LOG_ERROR, "SCREEN NOT FOUND");
        if (!keep && FileUtil::HostMayChange(path)) plat::fs::DeleteFile(path);
        return;
    }
    // The stored size says where the cells end; the overlap with the
    // current grid is restored.
    const uint64_t storedRows = GetWord(file.data());
    const uint64_t storedColumns = GetWord(file.data() + 4);
    // Two 32-bit words times 4 may pass 64 bits: such cells end past any file.
    uint64_t cellBytes = 0;
    const bool huge = __builtin_mul_overflow(storedRows, storedColumns, &cellBytes) ||
                      __builtin_mul_overflow(cellBytes, uint64_t{4}, &cellBytes);
    const size_t available = file.size() - kScreenHeader;
    for (uint64_t r = 0; r < storedRows && static_cast<int64_t>(r) < m_screen.Rows(); ++r)
        for (uint64_t c = 0; c < storedColumns && static_cast<int64_t>(c) < m_screen.Columns(); ++c) {
            const uint64_t at = (r * storedColumns + c) * 4;
            if (at + 4 > available) break;
            const uint32_t cell = GetWord(file.data() + kScreenHeader + at);
            m_screen.PutCell(static_cast<int>(r), static_cast<int>(c), static_cast<char16_t>(cell & 0xFFFF),
                             static_cast<char16_t>(cell >> 16));
        }
    m_session.ScreenChanged();
    if (!huge && cellBytes < file.size() && kScreenHeader + cellBytes + kReservedWord < file.size()) {
        const uint64_t widgets = kScreenHeader + cellBytes + kReservedWord;
        CPacket packet(pkt->GetMode(), pkt->GetCommandDelimiter(), file.data() + widgets,
                       static_cast<int32_t>(file.size() - widgets), pkt->GetCodePage());
        m_widgets->LoadAll(packet);
    }
    if (!keep && FileUtil::HostMayChange(path)) plat::fs::DeleteFile(path);
}

int CDisplayCommands::PULLSCREEN(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "PULLSCREEN");
    LoadScreen(pkt, false);
    return 0;
}

int CDisplayCommands::RESTORESCREEN(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RESTORESCREEN");
    LoadScreen(pkt, true);
    return 0;
}

// ---- RFERROR: the error box

int CDisplayCommands::RFERROR(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "RFERROR");
    if (!Properties().silentMode) {
        const std::u16string ovc = FindFolder(u"OVC", u"").value_or(m_appFolder);
        const std::u16string sound = FileUtil::JoinPath(FileUtil::JoinPath(ovc, u"SOUNDS"), u"ERROR.WAV");
        PlaySound(sound.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
    }
    ErrorBoxRequest box;
    box.width = std::clamp(pkt->GetInt(0), 0, kMaxBoxSide);
    pkt->NextRecord();
    int32_t lines = std::clamp(pkt->GetInt(0), 0, kMaxBoxSide);
    pkt->NextRecord();
    const int32_t flags = pkt->GetInt(0);
    pkt->NextRecord();
    if ((flags & 0x80) && lines > 2) lines -= 2;
    box.timeout = flags & 0x0F;
    box.lines = lines;
    std::vector<char16_t> line(static_cast<size_t>(box.width) + 1);
    for (int32_t i = 0; i < lines; ++i) {
        pkt->GetWide(line.data(), box.width + 1);
        box.text += line.data();
        box.text += u'\n';
        pkt->NextField();
    }
    m_session.OpenErrorBox(std::move(box));
    return 0;
}

void CDisplayCommands::Register(CCommandTable& table) {
    table.Register<&CDisplayCommands::RfPrint>(cmd::kRfPrint, *this, CommandRules::KeepingModeSelect());
    table.Register<&CDisplayCommands::RfPrint2>(cmd::kRfPrint2, *this);
    table.Register<&CDisplayCommands::PUSHSCREEN>(cmd::kPUSHSCREEN, *this);
    table.Register<&CDisplayCommands::PULLSCREEN>(cmd::kPULLSCREEN, *this);
    table.Register<&CDisplayCommands::RESTORESCREEN>(cmd::kRESTORESCREEN, *this);
    table.Register<&CDisplayCommands::RFERROR>(cmd::kRFERROR, *this);
}

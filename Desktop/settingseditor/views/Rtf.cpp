#include "settingseditor/views/Rtf.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <cctype>
#include <cmath>
#include <map>
#include <vector>

#include "deskcommon/Messages.h"

namespace settingseditor {

using namespace deskcommon;

namespace {

enum class Dest { Text, FontTable, ColorTable, Skip };

struct State {
    Dest dest = Dest::Text;
    bool bold = false, italic = false, underline = false;
    int size = 24;   // half-points
    int font = 0;
    int color = 0;
    int ucSkip = 1;
    Qt::Alignment align = Qt::AlignLeft;
};

class Reader {
public:
    Reader(const std::string& rtf, QTextDocument& doc) : m_rtf(rtf), m_cursor(&doc) {
        doc.clear();
        m_cursor = QTextCursor(&doc);
    }

    void Run() {
        State state;
        std::vector<State> stack;
        while (m_pos < m_rtf.size()) {
            char c = m_rtf[m_pos++];
            if (c == '{') {
                stack.push_back(state);
            } else if (c == '}') {
                Flush(state);
                if (state.dest == Dest::FontTable && !m_fontName.empty())
                    m_fonts[m_fontNumber] = FromAnsi(m_fontName);
                m_fontName.clear();
                if (stack.empty())
                    break;
                state = stack.back();
                stack.pop_back();
            } else if (c == '\\') {
                Control(state);
            } else if (c != '\r' && c != '\n') {
                Byte(state, c);
            }
        }
        Flush(state);
        // A closing \par leaves an empty last paragraph behind.
        QTextBlock last = m_cursor.document()->lastBlock();
        if (last.length() <= 1 && last.previous().isValid()) {
            m_cursor.movePosition(QTextCursor::End);
            m_cursor.deletePreviousChar();
        }
    }

private:
    void Byte(State& state, char c) {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        switch (state.dest) {
        case Dest::Text:
            m_pending += c;
            break;
        case Dest::FontTable:
            if (c == ';') {
                m_fonts[m_fontNumber] = FromAnsi(m_fontName);
                m_fontName.clear();
            } else {
                m_fontName += c;
            }
            break;
        case Dest::ColorTable:
            if (c == ';') {
                m_colors.push_back(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
                m_red = m_green = m_blue = 0;
                m_colorSet = false;
            }
            break;
        case Dest::Skip:
            break;
        }
    }

    void Control(State& state) {
        if (m_pos >= m_rtf.size())
            return;
        char c = m_rtf[m_pos];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++m_pos;
            switch (c) {
            case '\'': {
                int value = 0;
                for (int i = 0; i < 2 && m_pos < m_rtf.size() && std::isxdigit(static_cast<unsigned char>(m_rtf[m_pos])); ++i)
                    value = value * 16 + std::stoi(std::string(1, m_rtf[m_pos++]), nullptr, 16);
                Byte(state, static_cast<char>(value));
                break;
            }
            case '*':
                state.dest = Dest::Skip;
                break;
            case '~':
                Byte(state, '\xA0');
                break;
            case '_':
                Byte(state, '-');
                break;
            case '\r':
            case '\n':
                Word(state, "par", false, 0);
                break;
            case '-':
                break;
            default:
                Byte(state, c);
            }
            return;
        }
        std::string word;
        while (m_pos < m_rtf.size() && std::isalpha(static_cast<unsigned char>(m_rtf[m_pos])))
            word += m_rtf[m_pos++];
        bool hasParam = false;
        int param = 0;
        bool negative = m_pos < m_rtf.size() && m_rtf[m_pos] == '-';
        if (negative)
            ++m_pos;
        while (m_pos < m_rtf.size() && std::isdigit(static_cast<unsigned char>(m_rtf[m_pos]))) {
            hasParam = true;
            if (param < 100000000)
                param = param * 10 + (m_rtf[m_pos] - '0');
            ++m_pos;
        }
        if (negative)
            param = -param;
        if (m_pos < m_rtf.size() && m_rtf[m_pos] == ' ')
            ++m_pos;
        Word(state, word, hasParam, param);
    }

    void Word(State& state, const std::string& w, bool hasParam, int param) {
        if (state.dest == Dest::Skip)
            return;
        if (state.dest == Dest::ColorTable) {
            m_colorSet = true;
            if (w == "red")
                m_red = param;
            else if (w == "green")
                m_green = param;
            else if (w == "blue")
                m_blue = param;
            return;
        }
        if (state.dest == Dest::FontTable) {
            if (w == "f")
                m_fontNumber = param;
            return;
        }
        bool on = !hasParam || param != 0;
        if (w == "fonttbl" || w == "colortbl") {
            Flush(state);
            state.dest = w == "fonttbl" ? Dest::FontTable : Dest::ColorTable;
        } else if (w == "stylesheet" || w == "info" || w == "pict" || w == "header" || w == "footer" ||
                   w == "object" || w == "fldinst" || w == "listtable" || w == "listoverridetable") {
            Flush(state);
            state.dest = Dest::Skip;
        } else if (w == "par" || w == "line" || w == "tab") {
            Flush(state);
            if (w == "par")
                m_cursor.insertBlock();
            else
                m_cursor.insertText(w == "line" ? QString(QChar::LineSeparator) : QStringLiteral("\t"), Format(state));
        } else if (w == "u") {
            Flush(state);
            m_cursor.insertText(QString(QChar(static_cast<char16_t>(param))), Format(state));
            m_skipChars = state.ucSkip;
        } else {
            Flush(state);
            if (w == "b")
                state.bold = on;
            else if (w == "i")
                state.italic = on;
            else if (w == "ul")
                state.underline = on;
            else if (w == "ulnone")
                state.underline = false;
            else if (w == "fs" && param > 0)
                state.size = param;
            else if (w == "f")
                state.font = param;
            else if (w == "cf")
                state.color = param;
            else if (w == "uc")
                state.ucSkip = param;
            else if (w == "plain")
                state.bold = state.italic = state.underline = false, state.size = 24, state.font = 0, state.color = 0;
            else if (w == "pard" || w == "ql")
                state.align = Qt::AlignLeft;
            else if (w == "qr")
                state.align = Qt::AlignRight;
            else if (w == "qc")
                state.align = Qt::AlignHCenter;
            else if (w == "qj")
                state.align = Qt::AlignJustify;
        }
        QTextBlockFormat block;
        block.setAlignment(state.align);
        m_cursor.mergeBlockFormat(block);
    }

    QTextCharFormat Format(const State& state) const {
        QTextCharFormat f;
        f.setFontWeight(state.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(state.italic);
        f.setFontUnderline(state.underline);
        f.setFontPointSize(state.size / 2.0);
        auto font = m_fonts.find(state.font);
        if (font != m_fonts.end())
            f.setFontFamilies({QString::fromStdU16String(font->second)});
        if (state.color > 0 && static_cast<size_t>(state.color) < m_colors.size() && m_colors[state.color].isValid())
            f.setForeground(m_colors[state.color]);
        return f;
    }

    void Flush(const State& state) {
        if (m_pending.empty())
            return;
        if (state.dest == Dest::Text)
            m_cursor.insertText(QString::fromStdU16String(FromAnsi(m_pending)), Format(state));
        m_pending.clear();
    }

    const std::string& m_rtf;
    size_t m_pos = 0;
    QTextCursor m_cursor;
    std::string m_pending;
    int m_skipChars = 0;
    std::map<int, std::u16string> m_fonts;
    int m_fontNumber = 0;
    std::string m_fontName;
    std::vector<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
};

void AppendText(std::string& out, const QString& text) {
    for (QChar ch : text) {
        char16_t c = ch.unicode();
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == QChar::LineSeparator) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x80) {
            out += static_cast<char>(c);
        } else {
            std::string bytes = ToAnsi(std::u16string(1, c));
            if (bytes.size() == 1 && (bytes != "?" || c == '?')) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\'%02x", static_cast<unsigned char>(bytes[0]));
                out += hex;
            } else {
                out += "\\u" + std::to_string(static_cast<int16_t>(c)) + "?";
            }
        }
    }
}

}  // namespace

void RtfToDocument(const std::string& rtf, QTextDocument& doc) {
    Reader(rtf, doc).Run();
}

std::string DocumentToRtf(const QTextDocument& doc) {
    std::vector<QString> fonts{doc.defaultFont().family()};
    std::vector<QColor> colors;
    auto fontIndex = [&](const QString& family) {
        for (size_t i = 0; i < fonts.size(); ++i) {
            if (fonts[i] == family)
                return static_cast<int>(i);
        }
        fonts.push_back(family);
        return static_cast<int>(fonts.size() - 1);
    };
    auto colorIndex = [&](const QColor& color) {
        for (size_t i = 0; i < colors.size(); ++i) {
            if (colors[i] == color)
                return static_cast<int>(i + 1);
        }
        colors.push_back(color);
        return static_cast<int>(colors.size());
    };

    std::string body;
    bool bold = false, italic = false, underline = false;
    int font = 0, size = 0, color = 0;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        Qt::Alignment align = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        body += "\\pard";
        if (align & Qt::AlignHCenter)
            body += "\\qc";
        else if (align & Qt::AlignRight)
            body += "\\qr";
        else if (align & Qt::AlignJustify)
            body += "\\qj";
        body += ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            QTextCharFormat f = fragment.charFormat();
            std::string words;
            bool b = f.fontWeight() >= QFont::Bold;
            if (b != bold)
                words += b ? "\\b" : "\\b0";
            bold = b;
            if (f.fontItalic() != italic)
                words += f.fontItalic() ? "\\i" : "\\i0";
            italic = f.fontItalic();
            if (f.fontUnderline() != underline)
                words += f.fontUnderline() ? "\\ul" : "\\ulnone";
            underline = f.fontUnderline();
            QStringList families = f.fontFamilies().toStringList();
            int fi = families.isEmpty() ? 0 : fontIndex(families.first());
            if (fi != font)
                words += "\\f" + std::to_string(fi);
            font = fi;
            int fs = f.fontPointSize() > 0 ? static_cast<int>(std::lround(f.fontPointSize() * 2)) : 0;
            if (fs && fs != size)
                words += "\\fs" + std::to_string(fs);
            if (fs)
                size = fs;
            int ci = f.hasProperty(QTextFormat::ForegroundBrush) ? colorIndex(f.foreground().color()) : 0;
            if (ci != color)
                words += "\\cf" + std::to_string(ci);
            color = ci;
            if (!words.empty())
                body += words + ' ';
            AppendText(body, fragment.text());
        }
        body += block.next().isValid() ? "\\par\n" : "\n";
    }

    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    for (size_t i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + std::to_string(i) + "\\fnil ";
        AppendText(out, fonts[i]);
        out += ";}";
    }
    out += "}\n";
    if (!colors.empty()) {
        out += "{\\colortbl ;";
        for (const QColor& c : colors)
            out += "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" +
                   std::to_string(c.blue()) + ";";
        out += "}\n";
    }
    return out + "\\viewkind4\\uc1" + body + "}";
}

}  // namespace settingseditor

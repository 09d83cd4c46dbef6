// Help texts are rich text (RTF). Qt reads and writes none, so this is a
// small reader and writer of our own for what help texts use: fonts, colours,
// bold, italics, underline, sizes, alignment, paragraphs, line breaks, tabs
// and Windows-1252 text with \'hh and \uN escapes. Other destinations are
// skipped. The writer keeps formatting out of brace groups, so everything
// after the font and colour tables is body text for Find.
#pragma once

#include <string>

class QTextDocument;

namespace settingseditor {

void RtfToDocument(const std::string& rtf, QTextDocument& doc);
std::string DocumentToRtf(const QTextDocument& doc);

}  // namespace settingseditor

// The files and addresses the pen capture and the HTML page name: pure
// functions of their labels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The stroke file's name for a label: ".PCW" added when it holds no '.'.
std::u16string StrokeFileName(std::u16string_view label);
// Whether an HTML label names an address: ASCII letters and then ':' within
// its first 10 characters (a scheme, or a drive letter).
bool IsHtmlAddress(std::u16string_view label);
// The device path a "file:" address names ("file://\DATA\x.htm",
// "file:///DATA/x.htm", "file:\DATA\x.htm"); empty for any other address,
// which is never fetched, and for a path that could leave its folders.
std::u16string HtmlAddressPath(std::u16string_view address);
// The text of an HTML page file: UTF-16 little-endian after its byte-order
// mark, else UTF-8 (its mark dropped), else Windows-1252.
std::u16string DecodeHtmlPage(const uint8_t* bytes, size_t size);
// The page file of a widget that shows its label as HTML: "qm$htm%02d.htm"
// in the temporary folder, by the widget's id as a signed number.
std::u16string HtmlPageFile(uint32_t id);

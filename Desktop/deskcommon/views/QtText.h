// The desktop files' Windows-1252 bytes to and from Qt text.
#pragma once

#include <QString>
#include <string>

namespace deskcommon {

QString ToQt(const std::string& bytes);
std::string FromQt(const QString& text);

}  // namespace deskcommon

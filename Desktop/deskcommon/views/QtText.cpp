#include "deskcommon/views/QtText.h"

#include "deskcommon/Messages.h"

namespace deskcommon {

QString ToQt(const std::string& bytes) {
    return QString::fromStdU16String(FromAnsi(bytes));
}

std::string FromQt(const QString& text) {
    return ToAnsi(text.toStdU16String());
}

}  // namespace deskcommon

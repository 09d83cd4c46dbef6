// The helper library of the base's XML reader, on QtCore's stream reader
// (see text/XmlReader.h).
#include <QByteArray>
#include <QXmlStreamReader>

#include <vector>

#include "../text/XmlReader.h"

namespace {

std::u16string_view View(QStringView text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}

bool Walk(std::string_view document, plat::xml::reader::Visit visit, void* context, std::string* error) {
    if (document.size() > size_t(1) << 30) {
        if (error) *error = "document too large";
        return false;
    }
    const QByteArray bytes = QByteArray::fromRawData(document.data(), qsizetype(document.size()));
    QXmlStreamReader xml(bytes);
    std::vector<plat::xml::Attribute> attributes;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes found = xml.attributes();
        attributes.clear();
        for (const QXmlStreamAttribute& a : found) attributes.push_back({View(a.qualifiedName()), View(a.value())});
        visit(context, plat::xml::Element{View(xml.name()), attributes});
    }
    if (!xml.hasError()) return true;
    if (error) *error = xml.errorString().toStdString();
    return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) plat::xml::reader::Walk orvade_xml_reader() { return &Walk; }

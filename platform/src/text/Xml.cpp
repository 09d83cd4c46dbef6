// XML documents through the reader helper library (XmlReader.h).
#include "../loader/HelperLibrary.h"
#include "XmlReader.h"

namespace {

plat::xml::reader::Walk load() {
    auto* get = reinterpret_cast<decltype(&orvade_xml_reader)>(
        plat::loader::LoadBaseHelper("liborvade_xml.so", "orvade_xml_reader", "XML files are not read"));
    return get ? get() : nullptr;
}

}  // namespace

bool plat::xml::ForEachElement(std::string_view document, const std::function<void(const Element&)>& visit,
                               std::string* error) {
    static const reader::Walk walk = load();
    if (!walk) {
        if (error) *error = "no XML reader";
        return false;
    }
    const auto call = [](void* context, const Element& element) {
        const auto& f = *static_cast<const std::function<void(const Element&)>*>(context);
        if (f) f(element);
    };
    return walk(document, call, const_cast<std::function<void(const Element&)>*>(&visit), error);
}

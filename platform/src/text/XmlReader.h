// The XML reader (internal): a helper library on QtCore that the base loads
// with the first document it reads, so that the base links no Qt.
#pragma once

#include "platform/Xml.h"

namespace plat::xml::reader {

using Visit = void (*)(void* context, const Element& element);
// What ForEachElement does, through a plain callback.
using Walk = bool (*)(std::string_view document, Visit visit, void* context, std::string* error);

}  // namespace plat::xml::reader

extern "C" plat::xml::reader::Walk orvade_xml_reader();

// Reading XML files: the start elements of a document in document order,
// each with its attributes, for the few device files written in XML (the
// shell's skin). Parsed by a helper library on QtCore that the base loads
// with the first document, so that nothing above the platform needs Qt.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace plat::xml {

struct Attribute {
    std::u16string_view name;  // as written, with its namespace prefix
    std::u16string_view value;
};

// Valid while the visitor runs.
struct Element {
    std::u16string_view name;  // the local name: without a namespace prefix
    std::span<const Attribute> attributes;

    // The first attribute of that name; null when there is none.
    const Attribute* Find(std::u16string_view attribute) const {
        for (const Attribute& a : attributes)
            if (a.name == attribute) return &a;
        return nullptr;
    }
};

// Calls visit with each start element of the document until its end or its
// first error; the elements before an error are visited. False for a
// document that is not well-formed (or when no reader can be loaded), with
// the reason in *error when given.
bool ForEachElement(std::string_view document, const std::function<void(const Element&)>& visit,
                    std::string* error = nullptr);

}  // namespace plat::xml

// The files and labels the widgets read: a stroke file read back must hold
// what its bytes say, and what it holds must write and read back the same;
// an HTML label names a device file only through a "file:" address, and
// never one outside its folders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/widgets/ContentFiles.h"
#include "core/widgets/StrokeList.h"
#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace {

void Label(const uint8_t* data, size_t size) {
    const std::u16string label = plat::text::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::u16string path = HtmlAddressPath(label);
    if (path.empty()) return;
    if (path[0] != u'\\' || !plat::fs::IsSafePath(path)) std::abort();
    if (label.size() < 5 || (label[0] | 0x20) != u'f') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Label(data, size);
    StrokeFile file;
    if (!ParseStrokeFile(data, size, &file)) return 0;
    // Every point takes at least 4 bytes: two digits and two separators.
    if (file.points.size() * 4 > size) std::abort();
    CStrokeList list;
    StrokePoint from;
    std::string rewritten = std::to_string(file.width) + "\xFD" + std::to_string(file.height) + "\xFD";
    for (const StrokePoint& p : file.points) {
        rewritten += std::to_string(p.x) + "\xFC" + std::to_string(p.y) + (p.endOfStroke ? "\xFD" : "\xFC");
        list.AddPoint(p.x, p.y, &from);
        if (p.endOfStroke) list.EndStroke();
    }
    StrokeFile again;
    if (!ParseStrokeFile(reinterpret_cast<const uint8_t*>(rewritten.data()), rewritten.size(), &again)) std::abort();
    if (again.width != file.width || again.height != file.height || again.points != file.points) std::abort();
    if (list.Points().size() > file.points.size()) std::abort();
    return 0;
}

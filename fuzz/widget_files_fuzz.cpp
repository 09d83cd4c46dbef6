// The files the widgets read: a stroke file read back must hold what its
// bytes say, and what it holds must write and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/widgets/StrokeList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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

// The headless session tool's input script: any bytes parse or fail with a
// message naming a line, and every event parsed is one the tool can give.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "SessionOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptEvent> events;
    std::string error;
    if (!ParseInputScript(content, events, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const ScriptEvent& event : events) {
        if (event.kind == ScriptEvent::Scan && event.text.size() > kMaxScanCharacters) std::abort();
        if (event.kind != ScriptEvent::Key && event.key != 0) std::abort();
    }
    return 0;
}

// The headless session tool's command line: the input is split at NUL bytes
// into arguments; any of them parse, or fail with a message.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "SessionOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"headless-session"};
    std::string current;
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty()) args.push_back(current);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    SessionOptions options;
    std::string error;
    const bool ok = ParseArguments(static_cast<int>(args.size()), argv.data(), options, error);
    if (!ok && error.empty()) std::abort();
    if (ok && !options.help && options.mode == LinkMode::None) std::abort();
    return 0;
}

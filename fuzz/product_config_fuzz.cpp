// Mevrant's readers on arbitrary bytes: the product configuration file
// (launcher and install lines) and its command line. Every launcher read
// has its title and program.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mevrant/Mevrant.h"
#include "mevrant/ProductConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    mevrant::ProductConfig config;
    mevrant::ParseProductConfig(bytes, config);
    for (const mevrant::LauncherEntry& e : config.launchers) {
        if (e.title.empty() || e.app.empty())
            std::abort();
    }
    // The same bytes as a command line, split at NULs.
    std::vector<std::string> args;
    size_t at = 0;
    while (at <= bytes.size()) {
        const size_t end = std::min(bytes.find('\0', at), bytes.size());
        args.emplace_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    mevrant::Options options;
    std::string error;
    mevrant::ParseOptions(args, options, error);
    return 0;
}

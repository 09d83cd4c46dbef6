// discover: one discovery run as the device makes it; prints each host
// that answers, one a line: version, type, address, port, name.
//   discover [--token T] [--port AUTODISCOVERYPORT] [--query NAME ADDRESS]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "discovery/DiscoveryEngine.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
    std::string token = "*";
    long port = 0;
    std::string queryName, queryAddress;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--token" && i + 1 < argc) {
            token = argv[++i];
        } else if (option == "--port" && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (!end || *end || port < 0 || port > 65535) {
                std::fprintf(stderr, "discover: bad port %s\n", argv[i]);
                return 2;
            }
        } else if (option == "--query" && i + 2 < argc) {
            queryName = argv[++i];
            queryAddress = argv[++i];
        } else {
            std::fputs("usage: discover [--token T] [--port N] [--query NAME ADDRESS]\n", stderr);
            return 2;
        }
    }
    discovery::CDiscoveryEngine engine;
    if (!queryName.empty()) {
        const auto answer = engine.QueryPort(plat::text::Utf8ToWide(queryName), plat::text::Utf8ToWide(queryAddress),
                                             uint16_t(port));
        if (!answer) {
            std::fputs("discover: no answer\n", stderr);
            return 1;
        }
        std::printf("%u\n", unsigned(*answer));
        return 0;
    }
    engine.Discover(plat::text::Utf8ToWide(token), uint16_t(port), [](const discovery::HostAnswer& host) {
        std::printf("%u %u %s %u %s\n", unsigned(host.version), unsigned(host.type),
                    plat::text::WideToUtf8(host.address).c_str(), unsigned(host.port),
                    plat::text::WideToUtf8(host.appName).c_str());
        std::fflush(stdout);
    });
    return 0;
}

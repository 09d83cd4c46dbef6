// discovery-host: answers the discovery broadcasts of a device as a host
// would, until interrupted.
//   discovery-host --address 127.0.0.2 --port 1000 [--name APP]... [options]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ScriptedHost.h"

namespace {

void Usage() {
    std::fputs(
        "usage: discovery-host --address A --port P [--name APP]... [--flag C|none]\n"
        "                      [--first-port N] [--second-port N] [--copies N]\n"
        "                      [--style whole|truncated|hold|silent]\n"
        "Answers host requests (UDP --first-port, 902; 0 for none) and list and\n"
        "port requests (UDP --second-port, 905; 0 for none) over TCP to the\n"
        "asking device's port 903, from address A, giving port P.\n",
        stderr);
}

bool Number(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || !end || *end || end == text || v < low || v > high) return false;
    *value = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    discoveryhost::HostScript script;
    script.names.clear();
    bool haveAddress = false, havePort = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage();
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "discovery-host: %s needs a value\n", option.c_str());
            return 2;
        }
        const char* value = argv[++i];
        long n = 0;
        if (option == "--address") {
            script.address = value;
            haveAddress = true;
        } else if (option == "--port" && Number(value, 0, 65535, &n)) {
            script.port = uint16_t(n);
            havePort = true;
        } else if (option == "--name") {
            script.names.push_back(value);
        } else if (option == "--flag" && (std::strlen(value) == 1 || std::strcmp(value, "none") == 0)) {
            script.flag = std::strlen(value) == 1 ? value[0] : 0;
        } else if (option == "--first-port" && Number(value, 0, 65535, &n)) {
            script.firstRequestPort = uint16_t(n);
        } else if (option == "--second-port" && Number(value, 0, 65535, &n)) {
            script.secondRequestPort = uint16_t(n);
        } else if (option == "--copies" && Number(value, 1, 256, &n)) {
            script.copies = int(n);
        } else if (option == "--style") {
            const std::string style = value;
            if (style == "whole") script.style = discoveryhost::AnswerStyle::kWhole;
            else if (style == "truncated") script.style = discoveryhost::AnswerStyle::kTruncated;
            else if (style == "hold") script.style = discoveryhost::AnswerStyle::kHold;
            else if (style == "silent") script.style = discoveryhost::AnswerStyle::kSilent;
            else {
                std::fprintf(stderr, "discovery-host: unknown style %s\n", value);
                return 2;
            }
        } else {
            std::fprintf(stderr, "discovery-host: bad option %s %s\n", option.c_str(), value);
            return 2;
        }
    }
    if (!haveAddress || !havePort) {
        Usage();
        return 2;
    }
    if (script.names.empty()) script.names.push_back("HOST");

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    discoveryhost::CScriptedHost host(script);
    std::string error;
    if (!host.Start(&error)) {
        std::fprintf(stderr, "discovery-host: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "discovery-host: answering from %s\n", script.address.c_str());
    int signal = 0;
    sigwait(&signals, &signal);
    host.Stop();
    std::fprintf(stderr, "discovery-host: %d requests answered\n", host.Requests());
    return 0;
}

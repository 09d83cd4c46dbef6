#include "tests/Client/Windows/discovery/NetworkNamespace.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace discoverytest {
namespace {

bool g_ready = false;
std::string g_failure = "the network namespace was not set up";

bool WriteFile(const char* path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    return bool(out);
}

// Runs ip with the arguments; empty on success, else why not.
std::string Ip(std::initializer_list<const char*> args) {
    std::vector<char*> argv{const_cast<char*>("ip")};
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return std::string("fork: ") + std::strerror(errno);
    if (child == 0) {
        execvp("ip", argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "the ip program (iproute2) is not installed";
    std::string line = "ip";
    for (const char* a : args) line += std::string(" ") + a;
    return "'" + line + "' failed";
}

std::string Enter() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (uid == 0) {
        if (unshare(CLONE_NEWNET) != 0) return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    } else {
        // Without root: a user namespace of our own, in which we are root.
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWUSER | CLONE_NEWNET): ") + std::strerror(errno);
        if (!WriteFile("/proc/self/setgroups", "deny") ||
            !WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return "the user namespace's id maps could not be written";
    }
    std::string failure = Ip({"link", "set", "lo", "up"});
    if (failure.empty()) failure = Ip({"route", "add", "255.255.255.255/32", "dev", "lo", "src", "127.0.0.1"});
    return failure;
}

class NamespaceEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string failure = Enter();
        g_ready = failure.empty();
        if (!g_ready) g_failure = "no network namespace for the discovery tests: " + failure;
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new NamespaceEnvironment);

}  // namespace

bool NamespaceReady() { return g_ready; }
const std::string& NamespaceFailure() { return g_failure; }

}  // namespace discoverytest

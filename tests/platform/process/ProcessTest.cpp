// Programs of the device root: the command line's words, starting, waiting,
// and what is never started.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/DeviceFs.h"
#include "platform/Process.h"

namespace {

using plat::process::Process;
using plat::process::SplitCommandLine;

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
    const struct {
        std::u16string line;
        std::vector<std::u16string> words;
    } cases[] = {
        {u"", {}},
        {u"  \t ", {}},
        {u"prog", {u"prog"}},
        {u"  prog  a\tb ", {u"prog", u"a", u"b"}},
        {u"\"\\Program Files\\x\" \"two words\" c", {u"\\Program Files\\x", u"two words", u"c"}},
        {u"a\"b c\"d", {u"ab cd"}},
        {u"a \"\" b", {u"a", u"", u"b"}},
        {u"a \"open to the end", {u"a", u"open to the end"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words);
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("orvade-process-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "bin");
        plat::fs::SetDeviceRoot(root_.string());
    }
    void TearDown() override {
        plat::fs::SetDeviceRoot("");
        std::filesystem::remove_all(root_);
        std::filesystem::remove_all(outside_);
    }
    void Script(const std::filesystem::path& at, const std::string& body, bool executable = true) {
        std::ofstream(at) << "#!/bin/sh\n" << body << "\n";
        chmod(at.c_str(), executable ? 0755 : 0644);
    }
    std::string Read(const std::filesystem::path& at) {
        std::ifstream in(at);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path root_;
    std::filesystem::path outside_ = std::filesystem::temp_directory_path() / ("orvade-outside-" + std::to_string(::getpid()));
};

TEST_F(ProcessTest, AProgramOfTheRootRunsInItWithItsArgumentsAndIsWaitedFor) {
    Script(root_ / "bin" / "args", "for a in \"$@\"; do echo \"[$a]\"; done > out.txt; exit 3");
    auto process = Process::Start(u"\\bin\\args", {u"one", u"two words"});
    ASSERT_NE(process, nullptr);
    while (!process->Wait(100)) {}
    EXPECT_TRUE(WIFEXITED(process->Status()));
    EXPECT_EQ(WEXITSTATUS(process->Status()), 3);
    EXPECT_EQ(Read(root_ / "out.txt"), "[one]\n[two words]\n");  // the working directory is the root
}

TEST_F(ProcessTest, AWaitEndsAfterItsSliceWhileTheProgramRuns) {
    Script(root_ / "bin" / "slow", "sleep 1");
    auto process = Process::Start(u"\\bin\\slow", {});
    ASSERT_NE(process, nullptr);
    EXPECT_FALSE(process->Wait(10));
    process.reset();  // left running, reaped when it ends
}

TEST_F(ProcessTest, WhatIsNotARunnableProgramOfTheRootIsNotStarted) {
    std::filesystem::create_directories(outside_);
    Script(outside_ / "evil", "touch \"" + (outside_ / "ran").string() + "\"");
    std::filesystem::create_symlink(outside_ / "evil", root_ / "bin" / "link");
    std::filesystem::create_directory_symlink(outside_, root_ / "out");
    Script(root_ / "bin" / "plain", "touch ran", false);  // no execute bit, as a host's files
    for (const std::u16string program : {u"\\bin\\link", u"\\out\\evil", u"\\..\\evil", u"\\bin\\plain",
                                         u"\\bin\\missing", u"\\bin", u"bin\\plain"}) {
        EXPECT_EQ(Process::Start(program, {}), nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(outside_ / "ran"));
    EXPECT_FALSE(std::filesystem::exists(root_ / "ran"));
}

// A started program finds its device root in its environment, named also as
// the root it was started in, whatever the starting program had.
TEST_F(ProcessTest, AStartedProgramIsToldTheRootItWasStartedIn) {
    setenv("ORVADE_DEVICE_ROOT", "/elsewhere", 1);
    setenv(plat::process::kStartedInVariable, "/elsewhere", 1);
    Script(root_ / "bin" / "env", "printf '%s|%s' \"$ORVADE_DEVICE_ROOT\" \"$ORVADE_STARTED_IN\" > env.txt");
    auto process = Process::Start(u"\\bin\\env", {});
    unsetenv("ORVADE_DEVICE_ROOT");
    unsetenv(plat::process::kStartedInVariable);
    ASSERT_NE(process, nullptr);
    while (!process->Wait(100)) {}
    EXPECT_EQ(Read(root_ / "env.txt"), root_.string() + "|" + root_.string());
}

// A started program takes no Qt plug-in folder inside the device root (where
// a host may write) from this one's environment; folders outside it stay.
TEST_F(ProcessTest, AStartedProgramTakesNoPlugInFolderInsideTheRoot) {
    const std::string inside = (root_ / "Program Files").string(), outside = outside_.string();
    Script(root_ / "bin" / "plugins", "printf '%s|%s' \"${QT_PLUGIN_PATH-unset}\" > plugins.txt");
    const struct {
        std::string given, seen;
    } cases[] = {
        {inside + ":" + outside, outside},
        {outside + ":" + root_.string() + "/../" + root_.filename().string() + "/x", outside},
        {inside, "unset"},
        {"relative:" + outside, outside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        setenv("QT_PLUGIN_PATH", c.given.c_str(), 1);
        auto process = Process::Start(u"\\bin\\plugins", {});
        unsetenv("QT_PLUGIN_PATH");
        ASSERT_NE(process, nullptr);
        while (!process->Wait(100)) {}
        EXPECT_EQ(Read(root_ / "plugins.txt"), c.seen + "|");
    }
}

// Started inside a device, a program's options name its own root as the
// device root and nothing outside it; started from outside, anything.
TEST_F(ProcessTest, AProgramStartedInsideADeviceNamesNothingOutsideItsRoot) {
    using plat::process::RefusedOutsideRoot;
    std::filesystem::create_directories(outside_);
    std::filesystem::create_directory_symlink(outside_, root_ / "out");
    EXPECT_EQ(RefusedOutsideRoot(outside_.string(), true), "");
    setenv(plat::process::kStartedInVariable, (root_.string() + "/").c_str(), 1);
    const struct {
        std::string path;
        bool deviceRoot, allowed;
    } cases[] = {
        {root_.string(), true, true},
        {root_.string() + "/", true, true},
        {root_.string() + "/bin/..", true, true},
        {root_.string() + "/bin", true, false},  // a device inside the device
        {outside_.string(), true, false},
        {"/", true, false},
        {root_.string() + "/bin/log.txt", false, true},
        {root_.string() + "/new/log.txt", false, true},
        {root_.string(), false, true},
        {root_.string() + "/../x", false, false},
        {root_.string() + "/out/log.txt", false, false},  // through a link
        {root_.string() + "-sibling/log.txt", false, false},
        {"/dev/pts/1", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) EXPECT_EQ(RefusedOutsideRoot(c.path, c.deviceRoot).empty(), c.allowed) << c.path;
    unsetenv(plat::process::kStartedInVariable);
}

}  // namespace

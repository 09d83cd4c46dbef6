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

}  // namespace

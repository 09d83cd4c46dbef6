// The discovery protocol against scripted hosts. Every test runs inside a
// network namespace of its own, where only the loopback interface exists and
// the broadcast address is routed to it: no packet reaches a real network.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedHost.h"
#include "discovery/DiscoveryEngine.h"
#include "platform/Text.h"
#include "tests/Client/Windows/discovery/NetworkNamespace.h"

using discovery::CDiscoveryEngine;
using discovery::HostAnswer;
using discoveryhost::AnswerStyle;
using discoveryhost::CScriptedHost;
using discoveryhost::HostScript;

namespace {

// Short exchanges: loopback hosts answer in microseconds.
constexpr discovery::Timing kTiming{1500, 1000, 1500, 500, 3000};

std::string Narrow(const std::u16string& s) { return plat::text::WideToUtf8(s); }

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!discoverytest::NamespaceReady()) GTEST_SKIP() << discoverytest::NamespaceFailure();
    }

    CScriptedHost& AddHost(HostScript script) {
        m_hosts.push_back(std::make_unique<CScriptedHost>(std::move(script)));
        std::string error;
        EXPECT_TRUE(m_hosts.back()->Start(&error)) << error;
        return *m_hosts.back();
    }

    std::vector<HostAnswer> Run(const std::u16string& token, uint16_t autoDiscoveryPort,
                                discovery::Timing timing = kTiming) {
        CDiscoveryEngine engine(timing);
        std::vector<HostAnswer> answers;
        engine.Discover(token, autoDiscoveryPort, [&](const HostAnswer& a) { answers.push_back(a); });
        EXPECT_FALSE(engine.IsRunning());
        return answers;
    }

    std::vector<std::unique_ptr<CScriptedHost>> m_hosts;
};

HostScript Host(const std::string& address, std::vector<std::string> names, uint16_t port = 1000) {
    HostScript s;
    s.address = address;
    s.names = std::move(names);
    s.port = port;
    return s;
}

TEST_F(DiscoveryTest, BothVersionsReportEveryHostWithItsAddressAndTheListIsAcknowledged) {
    CScriptedHost& host = AddHost(Host("127.0.0.2", {"APP", "OTHER"}, 40000));
    const auto answers = Run(u"*", 0);
    ASSERT_EQ(answers.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(answers[i].version, 1);
        EXPECT_EQ(answers[i].type, discovery::kTypeDefault);
        EXPECT_EQ(answers[i].port, 40000);  // unsigned on the wire
        EXPECT_EQ(answers[i + 2].version, 2);
        EXPECT_EQ(answers[i + 2].type, 0);
        EXPECT_EQ(answers[i + 2].port, 0);
    }
    for (const auto& a : answers) EXPECT_EQ(Narrow(a.address), "127.0.0.2");
    EXPECT_EQ(Narrow(answers[0].appName), "APP");
    EXPECT_EQ(Narrow(answers[1].appName), "OTHER");
    EXPECT_EQ(Narrow(answers[2].appName), "APP");
    EXPECT_EQ(Narrow(answers[3].appName), "OTHER");
    EXPECT_EQ(host.Requests(), 2);
    EXPECT_EQ(host.Acks(), 1);
}

TEST_F(DiscoveryTest, TheAutoDiscoveryPortChoosesTheExchanges) {
    struct Case {
        uint16_t autoPort;
        uint16_t hostSecondPort;
        std::vector<int> versions;
    };
    const Case cases[] = {
        {902, 905, {1}},
        {4000, 4000, {2}},
        {4000, 905, {}},  // the list request goes to 4000 only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoPort);
        HostScript s = Host("127.0.0.2", {"APP"});
        s.secondRequestPort = c.hostSecondPort;
        CScriptedHost host(s);
        std::string error;
        ASSERT_TRUE(host.Start(&error)) << error;
        std::vector<int> versions;
        for (const auto& a : Run(u"*", c.autoPort)) versions.push_back(a.version);
        EXPECT_EQ(versions, c.versions);
    }
}

TEST_F(DiscoveryTest, TheTokenWithTheDefaultFlagEndsTheRunAtOnce) {
    struct Case {
        char flag;
        uint16_t type;
        bool secondExchange;
    };
    const Case cases[] = {{'0', 12, false}, {0, 12, false}, {'1', 8, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        HostScript s = Host("127.0.0.2", {"APP"});
        s.flag = c.flag;
        CScriptedHost host(s);
        ASSERT_TRUE(host.Start(nullptr));
        const auto answers = Run(u"APP", 0);
        ASSERT_GE(answers.size(), 1u);
        EXPECT_EQ(answers[0].type, c.type);
        EXPECT_EQ(answers.size(), c.secondExchange ? 2u : 1u);
        EXPECT_EQ(host.Requests(), c.secondExchange ? 2 : 1);
    }
}

TEST_F(DiscoveryTest, HostsOnTwoLoopbackAddressesAreBothReported) {
    AddHost(Host("127.0.0.1", {"ONE"}));
    AddHost(Host("127.0.0.2", {"TWO"}));
    std::set<std::string> seen;
    for (const auto& a : Run(u"*", 902)) seen.insert(Narrow(a.address) + " " + Narrow(a.appName));
    EXPECT_EQ(seen, (std::set<std::string>{"127.0.0.1 ONE", "127.0.0.2 TWO"}));
}

TEST_F(DiscoveryTest, ATruncatedAnswerYieldsNothingAndDoesNotGarbleTheNextHost) {
    for (uint16_t autoPort : {902, 905}) {
        SCOPED_TRACE(autoPort);
        HostScript cut = Host("127.0.0.3", {"CUT-NAME-THAT-IS-LONG"});
        cut.style = AnswerStyle::kTruncated;
        HostScript whole = Host("127.0.0.2", {"WHOLE"}, 1234);
        whole.delayMs = 200;  // after the truncated one
        CScriptedHost a(cut), b(whole);
        ASSERT_TRUE(a.Start(nullptr));
        ASSERT_TRUE(b.Start(nullptr));
        const auto answers = Run(u"*", autoPort);
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(Narrow(answers[0].appName), "WHOLE");
        EXPECT_EQ(Narrow(answers[0].address), "127.0.0.2");
        EXPECT_EQ(answers[0].port, autoPort == 902 ? 1234 : 0);
    }
}

TEST_F(DiscoveryTest, AHundredHostsAnsweringAtOnceAreAllReported) {
    for (uint16_t autoPort : {902, 905}) {
        SCOPED_TRACE(autoPort);
        HostScript s = Host("127.0.0.2", {"APP"});
        s.copies = 100;
        CScriptedHost host(s);
        ASSERT_TRUE(host.Start(nullptr));
        std::set<std::string> names;
        for (const auto& a : Run(u"*", autoPort, {3000, 3000, 1500, 500, 3000})) names.insert(Narrow(a.appName));
        EXPECT_EQ(names.size(), 100u);
        EXPECT_TRUE(names.count("APP-0") && names.count("APP-99"));
    }
}

TEST_F(DiscoveryTest, ARunReportsAtMostItsLimitOfHostsAndTextsAreCutToTheirField) {
    // Three names a connection: the limit is reached at the first answer of
    // the 86th connection, whose other two are not reported.
    for (uint16_t autoPort : {902, 905}) {
        SCOPED_TRACE(autoPort);
        HostScript many = Host("127.0.0.2", {"A", "B", "C"});
        many.copies = 100;  // 300 answers
        CScriptedHost host(many);
        ASSERT_TRUE(host.Start(nullptr));
        const auto answers = Run(u"*", autoPort, {5000, 5000, 1500, 500, 3000});
        EXPECT_EQ(answers.size(), size_t(CDiscoveryEngine::kMaxHosts));
    }

    m_hosts.clear();
    AddHost(Host("127.0.0.2", {std::string(150, 'n')}));
    const auto longName = Run(u"*", 902);
    ASSERT_EQ(longName.size(), 1u);
    EXPECT_EQ(longName[0].appName, std::u16string(CDiscoveryEngine::kMaxNameChars, u'n'));
}

TEST_F(DiscoveryTest, AHostThatNeverClosesCannotHoldTheRun) {
    for (AnswerStyle style : {AnswerStyle::kHold, AnswerStyle::kSilent}) {
        for (uint16_t autoPort : {902, 905}) {
            SCOPED_TRACE(autoPort);
            HostScript stuck = Host("127.0.0.3", {"STUCK"});
            stuck.style = style;
            HostScript later = Host("127.0.0.2", {"LATER"});
            later.delayMs = 100;
            CScriptedHost a(stuck), b(later);
            ASSERT_TRUE(a.Start(nullptr));
            ASSERT_TRUE(b.Start(nullptr));
            std::set<std::string> names;
            // Returns at all: the stuck connection is given up, and the run ends.
            for (const auto& h : Run(u"*", autoPort, {2000, 2000, 1500, 500, 3000})) names.insert(Narrow(h.appName));
            EXPECT_TRUE(names.count("LATER"));
            EXPECT_EQ(names.count("STUCK"), style == AnswerStyle::kHold ? 1u : 0u);
            a.Stop();
            EXPECT_EQ(a.ClosedByDevice(), 1);
        }
    }
}

TEST_F(DiscoveryTest, APortQueryTakesTheAnswerOfTheAskedHostOnly) {
    AddHost(Host("127.0.0.2", {"APP"}, 65000));
    CDiscoveryEngine engine(kTiming);
    EXPECT_EQ(engine.QueryPort(u"APP", u"127.0.0.2", 0), std::optional<uint16_t>(65000));
    EXPECT_EQ(engine.QueryPort(u"APP", u"127.0.0.3", 0), std::nullopt);
    EXPECT_EQ(engine.QueryPort(u"NOSUCH", u"127.0.0.2", 0), std::nullopt);
    EXPECT_EQ(engine.QueryPort(u"APP", u"not an address", 0), std::nullopt);
}

TEST_F(DiscoveryTest, APortQueryStopsARunningDiscoveryAndWaitsForIt) {
    AddHost(Host("127.0.0.2", {"APP"}, 2000));
    // A long first exchange with no host on its port.
    CDiscoveryEngine engine({60000, 60000, 1500, 200, 5000});
    std::vector<HostAnswer> found;
    std::thread run([&] { engine.Discover(u"*", 4000, [&](const HostAnswer& a) { found.push_back(a); }); });
    while (!engine.IsRunning()) std::this_thread::yield();
    // The run holds the answer port until it is stopped.
    EXPECT_EQ(engine.QueryPort(u"APP", u"127.0.0.2", 0), std::optional<uint16_t>(2000));
    run.join();
    EXPECT_FALSE(engine.IsRunning());
    // No stop is left over for the next run: it waits for its answer.
    engine.Discover(u"APP", 902, [&](const HostAnswer& a) { found.push_back(a); });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].type, 12);
}

TEST_F(DiscoveryTest, TheHostToolAnswersFromItsCommandLine) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(DISCOVERY_HOST_PATH, "discovery-host", "--address", "127.0.0.5", "--port", "4321", "--name", "TOOL",
              "--second-port", "0", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::vector<HostAnswer> answers;
    CDiscoveryEngine engine(kTiming);
    // The tool binds its port a moment after it starts.
    for (int attempt = 0; attempt < 20 && answers.empty(); ++attempt)
        engine.Discover(u"*", 902, [&](const HostAnswer& a) { answers.push_back(a); });
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(Narrow(answers[0].address), "127.0.0.5");
    EXPECT_EQ(answers[0].port, 4321);
    EXPECT_EQ(Narrow(answers[0].appName), "TOOL");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

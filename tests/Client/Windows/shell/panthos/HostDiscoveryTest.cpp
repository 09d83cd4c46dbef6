#include "panthos/HostDiscovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeDiscovery.h"
#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "platform/Window.h"

using panthostest::Answer;
using panthostest::CFakeDiscovery;

namespace {

constexpr SHORT kDefault = 0x4, kToken = 0x8;

struct HostDiscoveryTest : ::testing::Test {
    void SetUp() override {
        fake = CFakeDiscovery::Make();
        ASSERT_EQ(discovery.Attach(fake->AsDiscovery()), S_OK);
    }
    // A refresh of the host list posted to the window within the time.
    static bool RefreshPosted(HWND window, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        MSG msg;
        while (std::chrono::steady_clock::now() < end) {
            if (PeekMessage(&msg, window, WM_REFRESH_HOSTS, WM_REFRESH_HOSTS, PM_REMOVE)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    std::atomic<bool> busy{false};
    plat::com::CPtr<CFakeDiscovery> fake;
    CHostDiscovery discovery{[this] { return busy.load(); }};
};

TEST_F(HostDiscoveryTest, ASearchChoosesTheOneHostTheDefaultOfTheTokenOrTheLastOfTheToken) {
    struct Case {
        const char* what;
        std::vector<Answer> answers;
        const char16_t* chosen;  // null: none
    };
    const Case cases[] = {
        {"one host, whatever its type", {{u"only", u"10.0.0.1", 1, 0, 10}}, u"only"},
        {"the default of the token first",
         {{u"a", u"10.0.0.1", 1, kToken, 1}, {u"b", u"10.0.0.2", 1, kToken | kDefault, 2}, {u"c", u"10.0.0.3", 1, kToken, 3}},
         u"b"},
        {"else the last of the token", {{u"a", u"10.0.0.1", 1, kToken, 1}, {u"b", u"10.0.0.2", 1, 0, 2},
                                        {u"c", u"10.0.0.3", 1, kToken, 3}, {u"d", u"10.0.0.4", 1, kDefault, 4}},
         u"c"},
        {"none of the token", {{u"a", u"10.0.0.1", 1, kDefault, 1}, {u"b", u"10.0.0.2", 1, 0, 2}}, nullptr},
        {"no host", {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake->answers = c.answers;
        CHostDiscovery::Search found = discovery.Find(u"STOCK");
        EXPECT_EQ(fake->lastToken, u"STOCK");
        EXPECT_EQ(found.found, c.answers.size());
        if (c.chosen) {
            ASSERT_NE(found.chosen, nullptr);
            EXPECT_EQ(std::u16string(found.chosen->GetDescription()), c.chosen);
        } else {
            EXPECT_EQ(found.chosen, nullptr);
        }
    }
}

TEST_F(HostDiscoveryTest, APassDropsRepeatedAnswersAndReplacesTheHostsOfTheLast) {
    fake->answers = {{u"stock", u"10.0.0.1", 1, 0, 1000},
                     {u"stock", u"10.0.0.1", 1, 0, 1000},   // the same answer twice
                     {u"stock", u"10.0.0.1", 1, 0, 1001},   // another port
                     {u"stock", u"10.0.0.1", 2, 0, 1000}};  // another version
    discovery.Find(u"*");
    std::vector<CHostEntry> shown = discovery.Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].GetPort(), 1000);
    EXPECT_EQ(shown[1].GetPort(), 1001);
    EXPECT_EQ(shown[2].GetDiscoveryKey(), 2u);
    EXPECT_EQ(shown[0].GetOID(), -1);

    fake->answers = {{u"other", u"10.0.0.9", 1, 0, 7}};
    discovery.Find(u"*");
    shown = discovery.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(std::u16string(shown[0].GetHost()), u"10.0.0.9");
    // A host's port is unsigned 16-bit.
    fake->answers = {{u"high", u"10.0.0.9", 1, 0, SHORT(0xFFFE)}};
    discovery.Find(u"*");
    EXPECT_EQ(discovery.Shown().at(0).GetPort(), 65534);
}

TEST_F(HostDiscoveryTest, AHostWithoutAPortIsResolvedThroughItsHostWhenItAnswers) {
    CHostEntry record;
    record.SetDescription(u"stock");
    record.SetHost(u"10.0.0.1");
    record.SetPort(0);
    record.SetDiscoveryKey(0x10003);
    discovery.Resolve(record);  // the host is silent
    EXPECT_EQ(fake->askedVersion, 3);
    EXPECT_EQ(fake->askedName, u"stock");
    EXPECT_EQ(fake->askedHost, u"10.0.0.1");
    EXPECT_EQ(record.GetPort(), 0);
    EXPECT_EQ(std::u16string(record.GetHost()), u"10.0.0.1");

    fake->resolvedAddress = u"10.0.0.2";
    fake->resolvedPort = SHORT(40000);
    discovery.Resolve(record);
    EXPECT_EQ(record.GetPort(), 40000);
    EXPECT_EQ(std::u16string(record.GetHost()), u"10.0.0.2");
}

TEST_F(HostDiscoveryTest, TheThreadPassesAnnouncesEachAndMakesNoneWhileASessionRunsOrADelayWaits) {
    HWND window = CreateWindowEx(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    ASSERT_NE(window, HWND(0));
    fake->answers = {{u"stock", u"10.0.0.1", 1, 0, 1000}};

    busy = true;
    discovery.Start(window);
    EXPECT_FALSE(RefreshPosted(window, 200));
    EXPECT_EQ(fake->passes, 0);
    const auto stopAt = std::chrono::steady_clock::now();
    discovery.Stop();  // from its 30 s sleep, at once
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(5));

    busy = false;
    discovery.DelayNextPass(300);
    discovery.Start(window);
    EXPECT_FALSE(RefreshPosted(window, 150));
    EXPECT_TRUE(RefreshPosted(window, 5000));
    EXPECT_EQ(fake->passes, 1);
    EXPECT_EQ(fake->lastToken, u"*");
    EXPECT_EQ(discovery.Shown().size(), 1u);
    discovery.Stop();
    DestroyWindow(window);
}

TEST_F(HostDiscoveryTest, StoppingEndsAPassThatWaitsAndLetsTheObjectGo) {
    fake->holdPass = true;
    discovery.Start(0);
    const auto begin = std::chrono::steady_clock::now();
    while (!fake->started && std::chrono::steady_clock::now() - begin < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    discovery.Stop();
    EXPECT_GE(fake->stops, 1);
    EXPECT_EQ(fake->passes, 1);
    EXPECT_EQ(fake->Sinks(), 1u);
    discovery.Detach();
    EXPECT_EQ(fake->Sinks(), 0u);
    EXPECT_FALSE(discovery.IsAttached());
}

}  // namespace

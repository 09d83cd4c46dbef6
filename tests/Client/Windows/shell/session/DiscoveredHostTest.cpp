// Discovered hosts in the device program, inside the test's own network
// namespace (broadcasts stay on its loopback): the discovery thread's pass
// fills the list of discovered hosts, and a configured host known only by
// its application's name is found by a search.
#include "ScriptedHost.h"
#include "tests/Client/Windows/discovery/NetworkNamespace.h"
#include "tests/Client/Windows/shell/session/DeviceProgram.h"

using namespace sessiontest;

namespace {

class DiscoveredHostTest : public DeviceProgramTest {
protected:
    void SetUp() override {
        if (!discoverytest::NamespaceReady()) GTEST_SKIP() << discoverytest::NamespaceFailure();
        DeviceProgramTest::SetUp();
    }
    // A discovery host answering for APP from 127.0.0.2 with the port given.
    bool StartAnswering(discoveryhost::CScriptedHost** made, uint16_t port) {
        discoveryhost::HostScript script;
        script.address = "127.0.0.2";
        script.port = port;
        script.names = {"APP"};
        m_discoveryHost = std::make_unique<discoveryhost::CScriptedHost>(script);
        std::string error;
        const bool started = m_discoveryHost->Start(&error);
        EXPECT_TRUE(started) << error;
        *made = m_discoveryHost.get();
        return started;
    }
    std::unique_ptr<discoveryhost::CScriptedHost> m_discoveryHost;
};

}  // namespace

TEST_F(DiscoveredHostTest, APassOfTheDiscoveryThreadShowsTheHostAmongTheDiscoveredHostsAndATapConnects) {
    ScriptedHost host("127.0.0.2");
    discoveryhost::CScriptedHost* answering;
    ASSERT_TRUE(StartAnswering(&answering, host.Port()));
    // Host requests only: one exchange a pass.
    Configure("AutodiscoveryPort=902\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        PostMessage(MainWindow(), WM_COMMAND, 32769, 0);  // Host, AutoDiscovered Hosts
        ASSERT_TRUE(WaitFor(
            [] {
                const auto items = ListItems();
                return items.size() == 1 && items[0] == u"APP";
            },
            30000));
        DoubleTapIcon(0);
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFD" "found")));
        EXPECT_EQ(host.ReadPacket(), "A\xFD" "found");
    });
    EXPECT_GE(answering->Requests(), 1);
    EXPECT_TRUE(m_boxes.Seen().empty());
    EXPECT_EQ(m_code, 0);
}

TEST_F(DiscoveredHostTest, AConfiguredHostKnownByNameIsFoundAndConnected) {
    ScriptedHost host("127.0.0.2");
    discoveryhost::CScriptedHost* answering;
    ASSERT_TRUE(StartAnswering(&answering, host.Port()));
    Configure("Autodiscovery=0\n");
    Write("Program Files/Orvade Client/Hosts.cfg", "[OID=1]\nHost=APP\nDescription=Named\nPort=0\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 2; }));
        DoubleTapIcon(1);
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDnamed")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDnamed");
    });
    EXPECT_TRUE(m_boxes.Seen().empty());
    EXPECT_EQ(m_code, 0);
}

TEST_F(DiscoveredHostTest, ClosingTheShellEndsAPassInProgress) {
    // The whole pass (host and list requests) lasts 15 seconds; nobody answers.
    Configure("");
    const auto start = Clock::now();
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the pass is under way
        PostMessage(MainWindow(), WM_CLOSE, 0, 0);
    });
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    EXPECT_LT(seconds, 12) << "the shell waited for the discovery pass to run out";
    EXPECT_EQ(m_code, 0);
}

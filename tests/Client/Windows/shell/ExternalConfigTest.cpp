#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "ShellFixture.h"
#include "shell/ExternalConfig.h"
#include "shell/SettingsStore.h"

namespace {

using shelltest::ShellTest;

std::vector<std::pair<std::u16string, std::u16string>> Pairs(const CNameValueList& list) {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (size_t i = 0; i < list.GetCount(); ++i) out.emplace_back(list.Get(i).GetName(), list.Get(i).GetValue());
    return out;
}

using PairList = std::vector<std::pair<std::u16string, std::u16string>>;

TEST(ConfigParserTest, LinesGiveTheirPairs) {
    const struct {
        const char16_t* line;
        int accepted;
        const char16_t* name;
        const char16_t* value;
    } cases[] = {
        {u"  Port  =  42   # the port", 1, u"Port", u"42"},
        {u"Key=", 0, nullptr, nullptr},
        {u"Key=   #", 1, u"Key", u""},
        {u"Key=  ; note", 1, u"Key", u""},
        {u"  # not a comment=1", 1, u"# not a comment", u"1"},
        {u"#Key=1", 0, nullptr, nullptr},
        {u";Key=1", 0, nullptr, nullptr},
        {u"a=", 0, nullptr, nullptr},
        {u"ab", 0, nullptr, nullptr},
        {u"no equals sign", 0, nullptr, nullptr},
        {u"[Ravelcore]", 0, nullptr, nullptr},
        {u"A=b=c", 1, u"A", u"b=c"},
    };
    for (const auto& c : cases) {
        CNameValue pair;
        ASSERT_EQ(ParseConfigLine(pair, c.line), c.accepted) << std::string(c.line, c.line + 3);
        if (c.accepted) {
            EXPECT_EQ(pair.GetName(), c.name);
            EXPECT_EQ(pair.GetValue(), c.value);
        }
    }
}

TEST(ConfigParserTest, LineEndsAndRepeatedNames) {
    for (const char16_t* text : {u"A=1\r\nB=2\r\n\r\n\r\nC=3", u"A=1\nB=2\n\n\nC=3", u"A=1\rB=2\n\rC=3",
                                 u"A=1\n\rB=2\r\r\r\rC=3\r\n"}) {
        CNameValueList list;
        EXPECT_EQ(ParseConfigText(list, text), 3);
        EXPECT_EQ(Pairs(list), (PairList{{u"A", u"1"}, {u"B", u"2"}, {u"C", u"3"}}));
    }
    CNameValueList list;
    ParseConfigText(list, u"Font=a\nWrap=1\n");
    ParseConfigText(list, u"wrap=0\nFONT=b\nNew=x");
    // A later value replaces an earlier one where the name first stood.
    EXPECT_EQ(Pairs(list), (PairList{{u"Font", u"b"}, {u"Wrap", u"0"}, {u"New", u"x"}}));
    ASSERT_NE(list.Find(u"new"), nullptr);
    EXPECT_EQ(list.Find(u"missing"), nullptr);
    // More pairs than the list's first capacity.
    CNameValueList many;
    std::u16string text;
    for (int i = 0; i < 75; ++i) text += u"K" + plat::text::Utf8ToWide(std::to_string(i)) + u"=v\n";
    EXPECT_EQ(ParseConfigText(many, text), 75);
    EXPECT_EQ(many.GetCount(), 75u);
}

TEST(ConfigParserTest, TemplatesTakeTheTextPlainly) {
    EXPECT_EQ(FormatTemplate(u"\\Cfg\\%s.cfg", u"site", 256), u"\\Cfg\\site.cfg");
    EXPECT_EQ(FormatTemplate(u"http://h/%ls?x", u"a", 256), u"http://h/a?x");
    // Format items in the name or a second one in the template stay text.
    EXPECT_EQ(FormatTemplate(u"%s/%s/%d%n", u"%n%s", 256), u"%n%s/%s/%d%n");
    EXPECT_EQ(FormatTemplate(u"no item", u"a", 256), u"no item");
    EXPECT_EQ(FormatTemplate(u"%s", std::u16string(255, u'a'), 256)->size(), 255u);
    EXPECT_FALSE(FormatTemplate(u"%s", std::u16string(256, u'a'), 256));
}

class ExternalConfigTest : public ShellTest {};

TEST_F(ExternalConfigTest, PathsAreReadAsGivenThenInTheProgramFolder) {
    Put("\\Temp\\a.cfg", "FontSize=9\r\n");
    Put(ProgramFile("b.cfg"), "FontSize=10\r\n");
    ExternalConfigLoader loader;
    EXPECT_EQ(loader.Load(u"\\Temp\\a.cfg"), 1);
    EXPECT_EQ(loader.Load(u"b.cfg"), 1);
    EXPECT_EQ(loader.Load(u"file:///Temp/a.cfg"), 1);
    EXPECT_EQ(loader.Load(u"c.cfg"), 0);
    EXPECT_EQ(loader.Load(u""), 0);
    EXPECT_EQ(loader.Load(u"gopher://x/y"), 0);
    // Nothing outside the device root.
    EXPECT_EQ(loader.Load(u"..\\..\\etc\\passwd"), 0);
    CSettingsStore store(u"");
    EXPECT_EQ(loader.Apply(store), 1);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 9);  // the last file read
}

TEST_F(ExternalConfigTest, GlobalConfigCanNameTheExtraOneAndTheLaterWins) {
    Put(ProgramFile("Ravelcore.cfg"),
        "[Ravelcore]\r\nExtraConfigURL=\\Temp\\extra.cfg\r\nFontSize=8\r\nWrap=1\r\nConfigURLTemplate1=\\Temp\\%s.cfg\r\n");
    Put("\\Temp\\extra.cfg", "FontSize=11\nSilentMode=on\n");
    Put("\\Temp\\dock.cfg", "Wrap=0\n");
    CSettingsStore store(u"");
    LoadExternalConfigs(store, nullptr, nullptr);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 11);
    EXPECT_EQ(store.GetBool(SETTING_SILENT_MODE), 1);
    EXPECT_EQ(store.GetBool(SETTING_WRAP), 1);
    CSettingsStore named(u"");
    LoadExternalConfigs(named, u"dock", nullptr);
    EXPECT_EQ(named.GetBool(SETTING_WRAP), 0);
}

// One HTTP answer at a time from 127.0.0.1, on a port of its own.
class LocalServer {
public:
    explicit LocalServer(std::string response) : m_response(std::move(response)) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        listen(m_fd, 4);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LocalServer() {
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_thread.join();
    }
    std::u16string Url(const std::string& path) const {
        return plat::text::Utf8ToWide("http://127.0.0.1:" + std::to_string(m_port) + path);
    }
    std::string LastRequest() const { return m_request; }

private:
    void Serve() {
        int client = accept(m_fd, nullptr, nullptr);
        if (client < 0) return;
        char buffer[4096];
        ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n > 0) m_request.assign(buffer, size_t(n));
        size_t sent = 0;
        while (sent < m_response.size()) {
            ssize_t w = send(client, m_response.data() + sent, m_response.size() - sent, MSG_NOSIGNAL);
            if (w <= 0) break;
            sent += size_t(w);
        }
        close(client);
    }
    int m_fd;
    int m_port = 0;
    std::string m_response;
    std::string m_request;
    std::thread m_thread;
};

std::string HttpOk(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(ExternalConfigTest, HttpConfigIsFetchedFreshAndApplied) {
    LocalServer server(HttpOk("FontSize=14\r\nFontName=Mono\r\n"));
    ExternalConfigLoader loader;
    ASSERT_EQ(loader.Load(server.Url("/site.cfg")), 1);
    CSettingsStore store(u"");
    EXPECT_EQ(loader.Apply(store), 2);
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), 14);
    EXPECT_NE(server.LastRequest().find("GET /site.cfg"), std::string::npos);
    EXPECT_NE(server.LastRequest().find("User-Agent: OVC v1.0"), std::string::npos);
    EXPECT_NE(server.LastRequest().find("no-cache"), std::string::npos);
}

TEST_F(ExternalConfigTest, FailedOrOversizedDownloadsLeaveTheSettings) {
    CSettingsStore store(u"");
    {
        LocalServer server("HTTP/1.0 404 Not Found\r\nContent-Length: 11\r\n\r\nFontSize=99");
        ExternalConfigLoader loader;
        EXPECT_EQ(loader.Load(server.Url("/missing")), 0);
        EXPECT_EQ(loader.Apply(store), 0);
    }
    {
        // Over 1 MiB, announced or not, is refused whole.
        std::string body = "FontSize=77\n" + std::string(ExternalConfigLoader::kMaxBytes, '#');
        for (bool announced : {true, false}) {
            LocalServer server(announced ? HttpOk(body) : "HTTP/1.0 200 OK\r\n\r\n" + body);
            ExternalConfigLoader loader;
            EXPECT_EQ(loader.Load(server.Url("/big")), 0);
            EXPECT_EQ(loader.Apply(store), 0);
        }
    }
    {
        // Nobody listens.
        ExternalConfigLoader loader;
        EXPECT_EQ(loader.Load(u"http://127.0.0.1:1/none"), 0);
    }
    EXPECT_EQ(store.GetInt(SETTING_FONT_SIZE), -1);
}

TEST_F(ExternalConfigTest, AFileOverTheLimitIsRefusedWhole) {
    Put("\\Temp\\big.cfg", "FontSize=5\n" + std::string(ExternalConfigLoader::kMaxBytes, ';'));
    ExternalConfigLoader loader;
    EXPECT_EQ(loader.Load(u"\\Temp\\big.cfg"), 0);
    EXPECT_EQ(loader.GetList().GetCount(), 0u);
}

TEST_F(ExternalConfigTest, AServerThatNeverAnswersIsGivenUpOnTheTimeLimit) {
    // Accepts the connection and sends nothing until the client gives up.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ASSERT_EQ(listen(fd, 1), 0);
    ExternalConfigLoader loader;
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/slow";
    EXPECT_EQ(loader.Load(plat::text::Utf8ToWide(url)), 0);
    close(fd);
}

}  // namespace

// The worked session of docs/PROTOCOL.md played against the headless session
// tool: its lines for the device program only are left out, the user's lines
// become the scripted input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/tools/ToolProcess.h"
#include "tests/tools/WorkedSession.h"

namespace fs = std::filesystem;
using namespace tooltest;
using workedsession::Step;

namespace {

// One packet of the client's stream in the mode given: its payload, and the
// bytes it took, which must be framed as the client frames.
bool NextPacket(const Bytes& wire, size_t& at, int mode, Bytes& payload) {
    payload.clear();
    const size_t start = at;
    for (;;) {
        if (at >= wire.size() || wire[at] != '\x02') return false;
        size_t length = 0, data = 0;
        if (mode == 0) {
            if (at + 3 > wire.size()) return false;
            length = static_cast<unsigned char>(wire[at + 1]);
            data = at + 3;
        } else {
            const size_t etx = wire.find('\x03', at + 1);
            if (etx == Bytes::npos) return false;
            length = std::stoul(wire.substr(at + 1, etx - at - 1));
            data = etx + 1;
        }
        if (data + length >= wire.size()) return false;
        payload += wire.substr(data, length);
        at = data + length + 1;
        if (wire[at - 1] == '\x17') return wire.substr(start, at - start) == workedsession::Frame(mode, payload);
    }
}

TEST(WorkedSession, TheToolAnswersAsTheProtocolDocumentShows) {
    const workedsession::Session session = workedsession::Read(PROTOCOL_DOC);
    ASSERT_TRUE(session.error.empty()) << session.error;

    Bytes host;
    std::string script;
    for (const Step& s : session.steps) {
        if (s.deviceOnly) continue;
        if (s.kind == Step::Send) host += workedsession::Frame(s.mode, s.bytes);
        if (s.kind == Step::UserText) script += "text " + s.bytes + "\n";
        if (s.kind == Step::UserKey) script += "key " + std::to_string(s.number) + "\n";
        ASSERT_NE(s.kind, Step::UserTap) << "a tap only the device program can take";
    }

    char pattern[] = "/tmp/worked-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern, root = dir / "device", input = dir / "input.txt";
    fs::create_directories(root);
    std::ofstream(input) << script;
    const Finished f = RunTool({"--stdio", "--device-root", root.string(), "--input", input.string()}, host);
    EXPECT_EQ(f.status, 0) << f.err;

    size_t at = 0;
    for (const Step& s : session.steps) {
        if (s.deviceOnly || s.kind != Step::Expect) continue;
        Bytes payload;
        ASSERT_TRUE(NextPacket(f.out, at, s.mode, payload))
            << "no packet framed in mode " << s.mode << " for " << workedsession::Hex(s.bytes) << " at byte " << at;
        EXPECT_TRUE(workedsession::Matches(s.bytes, payload))
            << "expected " << workedsession::Hex(s.bytes) << "\n     got " << workedsession::Hex(payload);
    }
    EXPECT_EQ(at, f.out.size()) << "more than the document shows: " << workedsession::Hex(f.out.substr(at));
    // The stored file lies in the tool's session folder.
    EXPECT_TRUE(fs::is_regular_file(root / "Session" / "DATA" / "NOTE.TXT"));
    fs::remove_all(dir);
}

}  // namespace

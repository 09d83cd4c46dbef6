// Every case folder of tests/transcripts run through the headless session
// tool over standard input and output; tests/transcripts/README.md describes
// a case.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/ToolProcess.h"
#include "tests/tools/WorkedSession.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using workedsession::Unescape;

// Bytes as the transcript writes them, for failure messages.
std::string Escape(const Bytes& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\') out += "\\\\";
        else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
        else {
            char buf[5];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

struct Transcript {
    Bytes hostBytes, deviceBytes;
    std::string error;  // empty when the file parsed
};

Transcript Parse(const std::string& text) {
    Transcript t;
    int mode = 0;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = "transcript.txt line " + std::to_string(number) + ": ";
        if (line.empty() || line[0] == '#') continue;
        if (line == "mode 0" || line == "mode 1") {
            mode = line[5] - '0';
            continue;
        }
        const bool raw = line.rfind("raw ", 0) == 0;
        if (!raw && (line.size() < 2 || (line[0] != '>' && line[0] != '<') || line[1] != ' ')) {
            t.error = where + "expected '> ', '< ', 'raw ', 'mode N' or '#'";
            return t;
        }
        Bytes bytes;
        if (!Unescape(line.substr(raw ? 4 : 2), bytes, t.error)) {
            t.error = where + t.error;
            return t;
        }
        if (raw) t.hostBytes += bytes;
        else (line[0] == '>' ? t.hostBytes : t.deviceBytes) += Frame(mode, bytes);
    }
    return t;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(TRANSCRIPT_DIR))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TranscriptCase : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/transcript-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // The recorded answers hold the free memory of a large machine.
        setenv("ORVADE_FREE_MEMORY", "4294967296", 1);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_P(TranscriptCase, DeviceAnswersAsRecorded) {
    const fs::path dir = fs::path(TRANSCRIPT_DIR) / GetParam();
    const Transcript t = Parse(ReadAll(dir / "transcript.txt"));
    ASSERT_TRUE(t.error.empty()) << t.error;
    ASSERT_FALSE(t.hostBytes.empty()) << "no host packet in transcript.txt";

    const fs::path root = m_dir / "device", log = m_dir / "session.log";
    fs::create_directories(root);
    if (fs::exists(dir / "before")) fs::copy(dir / "before", root, fs::copy_options::recursive);
    if (fs::exists(dir / "libraries.txt")) {
        std::istringstream lines(ReadAll(dir / "libraries.txt"));
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] == '#') continue;
            const size_t space = line.find(' ');
            ASSERT_NE(space, std::string::npos) << "libraries.txt: expected 'NAME PATH': " << line;
            const fs::path to = root / line.substr(space + 1);
            fs::create_directories(to.parent_path());
            fs::copy_file(fs::path(FIXTURE_DIR) / (line.substr(0, space) + ".dll"), to);
        }
    }
    std::vector<std::string> args{"--stdio", "--device-root", root.string(), "--log", log.string()};
    if (fs::exists(dir / "input.txt")) args.insert(args.end(), {"--input", (dir / "input.txt").string()});

    const Finished f = RunTool(args, t.hostBytes);
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(Escape(f.out), Escape(t.deviceBytes));

    if (fs::exists(dir / "after"))
        for (const auto& entry : fs::recursive_directory_iterator(dir / "after")) {
            if (!entry.is_regular_file()) continue;
            const fs::path rel = fs::relative(entry.path(), dir / "after");
            ASSERT_TRUE(fs::is_regular_file(root / rel)) << rel << " missing from the device root";
            EXPECT_EQ(Escape(ReadAll(root / rel)), Escape(ReadAll(entry.path()))) << rel;
        }

    // Each expected line is part of a log line, in order.
    if (fs::exists(dir / "log.txt")) {
        const std::string logText = ReadAll(log);
        std::istringstream expected(ReadAll(dir / "log.txt"));
        size_t from = 0;
        for (std::string line; std::getline(expected, line);) {
            if (line.empty()) continue;
            const size_t at = logText.find(line, from);
            ASSERT_NE(at, std::string::npos) << "log line '" << line << "' not found in order in:\n" << logText;
            from = at + line.size();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TranscriptCase, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace

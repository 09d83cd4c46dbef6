#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "inifile/IniFile.h"

using namespace inifile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
               ("inifile-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override {
        if (m_ini)
            IniClose(m_ini);
        std::filesystem::remove_all(m_dir);
    }
    std::string Path(const char* name = "a.ini") const { return (m_dir / name).string(); }
    void Put(const std::string& bytes, const char* name = "a.ini") const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Get(const char* name = "a.ini") const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    IniFile* Load(const std::string& bytes, int dialect = kIniBracketed, const char* comments = ";") {
        Put(bytes);
        if (m_ini)
            IniClose(m_ini);
        m_ini = IniLoad(Path().c_str(), dialect, comments);
        return m_ini;
    }
    // Writes the handle back and returns the file, CR LF turned into LF.
    std::string Saved() {
        EXPECT_EQ(IniWrite(m_ini, nullptr), kIniOk);
        std::string bytes = Get(), out;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                continue;
            out += bytes[i];
        }
        return out;
    }
    std::string Value(const char* section, const char* key, int n = 0) {
        char buffer[256];
        return IniGetValue(m_ini, section, key, n, buffer, sizeof buffer) ? buffer : "<none>";
    }
    // Every entry of an enumeration as "section|key|value".
    std::vector<std::string> Entries(const char* scope) {
        IniEnum* e = nullptr;
        EXPECT_EQ(IniEnumBegin(m_ini, scope, &e), kIniOk);
        std::vector<std::string> out;
        char s[100], k[100], v[256];
        while (IniEnumNext(e, s, sizeof s, k, sizeof k, v, sizeof v) == kIniOk)
            out.push_back(std::string(s) + "|" + k + "|" + v);
        EXPECT_EQ(IniEnumEnd(e), kIniOk);
        return out;
    }

    std::filesystem::path m_dir;
    IniFile* m_ini = nullptr;
};

TEST_F(IniFileTest, UntouchedLinesComeBackByteForByteWithCrLf) {
    const std::string file =
        "; leading comment\r\n[Main]\r\nkey = value   ; why\r\n\r\n  spaced  =  x  \r\n[Other]\r\nk=v\r\n";
    ASSERT_TRUE(Load(file));
    EXPECT_EQ(Value("Main", "key"), "value");
    EXPECT_EQ(Value("main", "SPACED"), "x");   // case-insensitive, blanks around "="
    EXPECT_EQ(Value("Other", "k"), "v");
    EXPECT_EQ(IniWrite(m_ini, nullptr), kIniOk);
    EXPECT_EQ(Get(), file);
}

TEST_F(IniFileTest, LongLinesSplitIntoRecordsOfAtMost255Bytes) {
    std::string fits(254, 'a');   // with its newline: 255 bytes, one record
    std::string longer(300, 'b');
    ASSERT_TRUE(Load(fits + "\n" + longer + "\nlast", kIniBracketed, ""));
    EXPECT_EQ(Saved(), fits + "\n" + longer.substr(0, 255) + "\n" + longer.substr(255) + "\nlast\n");
}

TEST_F(IniFileTest, MissingFileAndUnwritableTargetGiveTheirCodes) {
    EXPECT_EQ(IniLoad(Path("none.ini").c_str(), kIniBracketed, ";"), nullptr);
    EXPECT_EQ(IniOpen(nullptr, kIniBracketed), nullptr);
    m_ini = IniOpen(Path("no/such/dir.ini").c_str(), kIniBracketed);
    ASSERT_TRUE(m_ini);
    EXPECT_EQ(IniWrite(m_ini, nullptr), kIniCannotOpen);
    EXPECT_EQ(IniWrite(nullptr, nullptr), kIniBadArgument);
    EXPECT_EQ(IniClose(nullptr), kIniBadArgument);
}

TEST_F(IniFileTest, FileNamesAreFoundWithoutRegardToCase) {
    Put("[A]\nk=1\n", "Mixed.INI");
    m_ini = IniLoad(Path("mixed.ini").c_str(), kIniBracketed, ";");
    ASSERT_TRUE(m_ini);
    EXPECT_EQ(IniSetValue(m_ini, "A", "k", 0, "2"), kIniOk);
    EXPECT_EQ(IniWrite(m_ini, nullptr), kIniOk);
    EXPECT_EQ(Get("Mixed.INI"), "[A]\r\nk=2\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("mixed.ini")));
}

TEST_F(IniFileTest, IndentedDialectNeedsIndentedKeys) {
    ASSERT_TRUE(Load("Hosts  first\n  host1 10.0.0.1 1000\nnotakey value\n", kIniIndented, ""));
    EXPECT_EQ(Value("hosts", "HOST1"), "10.0.0.1 1000");
    EXPECT_EQ(Value("hosts", nullptr), "first");
    EXPECT_EQ(Value("Hosts", "notakey"), "<none>");
    EXPECT_EQ(Value("notakey", nullptr), "value");   // a first-column line opens a section
    EXPECT_EQ(IniSetValue(m_ini, "Hosts", "host2", 0, "x"), kIniOk);
    EXPECT_EQ(IniSetValue(m_ini, "New", "k", 0, ""), kIniOk);
    EXPECT_EQ(Saved(), "Hosts  first\n  host1 10.0.0.1 1000\n  host2 x\nnotakey value\nNew\n  k\n");
}

TEST_F(IniFileTest, SettingInsertsReplacesAndDeletes) {
    ASSERT_TRUE(Load("top=1\n[A]\nk=1\n; note\nk=2\n\n[B]\nx=1\n"));
    struct Step {
        const char* section;
        const char* key;
        int n;
        const char* value;
    } steps[] = {
        {"A", "k", 5, "3"},          // fewer occurrences: one line at the end of the section
        {"a", "K", 0, "one"},        // replaced where it stood
        {"C", "new", 0, "v"},        // missing section: header and key appended
        {"B", "absent", 0, nullptr}, // deleting what is absent changes nothing
        {"Z", "absent", 0, nullptr},
        {nullptr, "top", 0, "2"},    // keys before the first section
        {"B", nullptr, 0, "tail"},   // the header line is rebuilt in place
    };
    for (const Step& s : steps)
        EXPECT_EQ(IniSetValue(m_ini, s.section, s.key, s.n, s.value), kIniOk);
    EXPECT_EQ(Saved(), "top=2\n[A]\nK=one\n; note\nk=2\n\nk=3\n[B] tail\nx=1\n[C]\nnew=v\n");
    EXPECT_EQ(IniSetValue(m_ini, "A", nullptr, 0, nullptr), kIniOk);   // whole section, comments too
    EXPECT_EQ(IniSetValue(m_ini, "A", "k", 1, nullptr), kIniOk);
    EXPECT_EQ(Saved(), "top=2\n[B] tail\nx=1\n[C]\nnew=v\n");
    EXPECT_EQ(IniSetValue(m_ini, "", "", 0, "x"), kIniBadArgument);
    EXPECT_EQ(IniSetValue(nullptr, "A", "k", 0, "x"), kIniBadArgument);
}

TEST_F(IniFileTest, LinesBeyond255BytesAreRefusedBeforeAnythingChanges) {
    const std::string file = "[A]\nk=old\n";
    ASSERT_TRUE(Load(file));
    std::string value(251, 'v');   // "k=" + 251 + "\n" = 254 bytes: fits
    EXPECT_EQ(IniSetValue(m_ini, "A", "k", 0, value.c_str()), kIniOk);
    value += "vv";                 // 256 bytes: refused, old line kept
    EXPECT_EQ(IniSetValue(m_ini, "A", "k", 0, value.c_str()), kIniNoMemory);
    EXPECT_EQ(Value("A", "k").size(), 251u);
    std::string section(256, 's');
    EXPECT_EQ(IniSetValue(m_ini, section.c_str(), "k", 0, "1"), kIniNoMemory);
    EXPECT_EQ(IniSetValue(m_ini, section.c_str(), nullptr, 0, nullptr), kIniNoMemory);
    EXPECT_EQ(Saved(), "[A]\nk=" + std::string(251, 'v') + "\n");
}

TEST_F(IniFileTest, SectionNamesAndTheirCodes) {
    ASSERT_TRUE(Load("x=1\n[First] rest\n  [ Second ]\n[" + std::string(256, 'n') + "]\n"));
    char buffer[8] = "junk";
    EXPECT_EQ(IniGetSectionName(m_ini, 0, buffer, sizeof buffer), kIniOk);
    EXPECT_STREQ(buffer, "First");
    EXPECT_EQ(IniGetSectionName(m_ini, 0, buffer, 5), kIniBufferTooSmall);
    EXPECT_STREQ(buffer, "");
    // The 258-byte header line was read as records of at most 255 bytes.
    char big[300];
    EXPECT_EQ(IniGetSectionName(m_ini, 1, big, sizeof big), kIniOk);
    EXPECT_EQ(std::string(big), std::string(254, 'n'));
    EXPECT_EQ(IniGetSectionName(m_ini, 2, buffer, sizeof buffer), kIniNotFound);  // "  [" is no header
    EXPECT_EQ(IniGetSectionName(m_ini, -1, buffer, sizeof buffer), kIniBadArgument);
    EXPECT_EQ(IniGetSectionName(m_ini, 0, nullptr, 8), kIniBadArgument);
    EXPECT_EQ(Value("First", nullptr), "rest");
}

TEST_F(IniFileTest, EnumerationsByScope) {
    ASSERT_TRUE(Load("pre=0\n; c\n[One] v\na=1 ; c\n\n;x=9\n[]\nhidden=2\n[Two]\n=skipped\nb\n"));
    EXPECT_EQ(Entries(nullptr), (std::vector<std::string>{"|pre|0", "One||v", "One|a|1", "|hidden|2", "Two||",
                                                          "Two|b|"}));
    EXPECT_EQ(Entries(""), (std::vector<std::string>{"|pre|0"}));
    EXPECT_EQ(Entries("one"), (std::vector<std::string>{"One|a|1"}));
    EXPECT_EQ(Entries("Missing"), (std::vector<std::string>{}));
}

TEST_F(IniFileTest, EnumeratorsAreCheckedWithoutReadingFreedMemory) {
    ASSERT_TRUE(Load("[A]\nk=1\n"));
    char key[4], value[2];
    IniEnum* e = nullptr;
    EXPECT_EQ(IniEnumBegin(m_ini, nullptr, nullptr), kIniBadArgument);
    ASSERT_EQ(IniEnumBegin(m_ini, nullptr, &e), kIniOk);
    // Short buffers cut; a length below 1 is ignored.
    EXPECT_EQ(IniEnumNext(e, nullptr, 0, key, sizeof key, value, sizeof value), kIniOk);
    EXPECT_EQ(IniEnumNext(e, nullptr, 0, key, sizeof key, value, sizeof value), kIniOk);
    EXPECT_STREQ(key, "k");
    EXPECT_EQ(IniEnumNext(e, nullptr, 0, key, sizeof key, value, sizeof value), kIniNotFound);
    EXPECT_EQ(IniEnumEnd(e), kIniOk);
    EXPECT_EQ(IniEnumNext(e, nullptr, 0, key, sizeof key, value, sizeof value), kIniBadArgument);
    EXPECT_EQ(IniEnumEnd(e), kIniBadArgument);
    // An enumerator outliving its handle is invalid, not dangling.
    ASSERT_EQ(IniEnumBegin(m_ini, nullptr, &e), kIniOk);
    IniClose(m_ini);
    m_ini = nullptr;
    EXPECT_EQ(IniEnumNext(e, nullptr, 0, key, sizeof key, value, sizeof value), kIniBadArgument);
    EXPECT_EQ(IniEnumEnd(e), kIniOk);
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/desktop/deskcommon/TempDir.h"
#include "settingseditor/CompressedFile.h"
#include "settingseditor/ItemType.h"

using namespace settingseditor;
using namespace deskcommontest;

namespace {

class CatalogTest : public TempDirTest {
protected:
    // Compresses an archive by hand.
    void PutArchive(const std::string& bytes) {
        CCompressedFile f;
        ASSERT_TRUE(f.Open(Path("optarium.dat"), CCompressedFile::kWrite));
        f.Write(bytes.data(), bytes.size());
        f.Close();
    }
    std::string Archive() {
        CCompressedFile f;
        EXPECT_TRUE(f.Open(Path("optarium.dat"), CCompressedFile::kRead));
        std::string out(1 << 16, '\0');
        out.resize(f.Read(out.data(), out.size()));
        return out;
    }
};

std::string Le16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string Le32(int v) {
    return Le16(v & 0xFFFF) + Le16((v >> 16) & 0xFFFF);
}
std::string Str(const std::string& s) {
    return static_cast<char>(s.size()) + s;
}

const std::string kClassRecord = Le16(0xFFFF) + Le16(10) + Le16(9) + "CItemType";

// One option's fields in archive order.
std::string Fields(const std::string& section, const std::string& key) {
    return Str(section) + Str(key) + Le32(2) + Str("Name") + Str("Prompt") + Str("A\\B") + Str("GLOBAL") +
           Le32(7) + Le32(1) + Le32(0) + Le32(-1) + Le32(10) + Le32(1) + Str("5") + Le16(2) + Str("Off=0") +
           Str("5") + Le16(3) + "{x}";
}

TEST_F(CatalogTest, AGeneratedOneOptionCatalogLoadsFieldByField) {
    PutArchive(Le16(1) + kClassRecord + Fields("Sect", "Key"));
    OptionList list;
    LoadCatalog(Path("optarium.dat"), list);
    ASSERT_EQ(list.size(), 1u);
    const CItemType& o = *list[0];
    EXPECT_EQ(o.section, "Sect");
    EXPECT_EQ(o.key, "Key");
    EXPECT_EQ(o.type, kDword);
    EXPECT_EQ(o.name, "Name");
    EXPECT_EQ(o.prompt, "Prompt");
    EXPECT_EQ(o.treePath, "A\\B");
    EXPECT_EQ(o.scope, "GLOBAL");
    EXPECT_EQ(o.order, 7);
    EXPECT_EQ(o.hidden, 1);
    EXPECT_EQ(o.multiple, 0);
    EXPECT_EQ(o.min, -1);
    EXPECT_EQ(o.max, 10);
    EXPECT_EQ(o.required, 1);
    EXPECT_EQ(o.defaultValue, "5");
    EXPECT_EQ(o.valueList, (std::vector<std::string>{"Off=0", "5"}));
    EXPECT_EQ(o.help.bytes, "{x}");
    // Stored again, the archive is the same bytes.
    ASSERT_TRUE(StoreCatalog(Path("optarium.dat"), list));
    EXPECT_EQ(Archive(), Le16(1) + kClassRecord + Fields("Sect", "Key"));
}

TEST_F(CatalogTest, RoundTripOfClassReferencesCountsAndLongStrings) {
    OptionList list;
    ASSERT_TRUE(StoreCatalog(Path("optarium.dat"), list));
    EXPECT_EQ(Archive(), Le16(0));   // 0 options: a count and nothing else
    LoadCatalog(Path("optarium.dat"), list);
    EXPECT_TRUE(list.empty());

    for (int i = 0; i < 3; ++i) {
        auto o = std::make_unique<CItemType>();
        o->name = std::string(i == 1 ? 300 : 3, static_cast<char>('a' + i));
        o->help.bytes = std::string(i == 2 ? 70000 : 0, 'h');
        list.push_back(std::move(o));
    }
    ASSERT_TRUE(StoreCatalog(Path("optarium.dat"), list));
    EXPECT_EQ(FileCount(), 1u);   // no temporary file left behind
    std::string archive = Archive();
    EXPECT_EQ(archive.substr(0, 2 + kClassRecord.size()), Le16(3) + kClassRecord);
    EXPECT_NE(archive.find(Le16(0x8001) + Str("") + Str("") + Le32(0) + "\xFF" + Le16(300) + std::string(300, 'b')),
              std::string::npos);
    EXPECT_NE(archive.find(Le16(0xFFFF) + Le32(70000) + "hhhh"), std::string::npos);   // 32-bit count
    OptionList back;
    LoadCatalog(Path("optarium.dat"), back);
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i]->name, list[i]->name);
        EXPECT_EQ(back[i]->help.bytes, list[i]->help.bytes);
    }
}

TEST_F(CatalogTest, BrokenCatalogsAreUnreadable) {
    std::string one = Fields("S", "K");
    struct Case {
        const char* what;
        std::string archive;
    } cases[] = {
        {"second class reference without a class", Le16(1) + Le16(0x8001) + one},
        {"other object tag", Le16(2) + kClassRecord + one + Le16(0x8002) + one},
        {"big-tag marker", Le16(1) + Le16(0x7FFF) + one},
        {"other schema", Le16(1) + Le16(0xFFFF) + Le16(11) + Le16(9) + "CItemType" + one},
        {"other class", Le16(1) + Le16(0xFFFF) + Le16(10) + Le16(9) + "CItemTypo" + one},
        {"short", Le16(2) + kClassRecord + one},
        {"huge string length, no data", Le16(1) + kClassRecord + "\xFF" + Le16(0xFFFF) + Le32(0x7FFFFFFF)},
        {"huge help count, no data", Le16(1) + kClassRecord + one.substr(0, one.size() - 5) + Le16(0xFFFF) +
                                         Le32(0x7FFFFFFF)},
        {"huge option count", Le16(0xFFFF) + Le32(0x7FFFFFFF) + kClassRecord + one},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutArchive(c.archive);
        OptionList list;
        EXPECT_THROW(LoadCatalog(Path("optarium.dat"), list), ArchiveError);
        EXPECT_TRUE(list.empty());
    }
    OptionList list;
    // Files that cannot be opened say why in the system's words.
    for (const auto& [path, error] : {std::pair{Path("missing.dat"), ENOENT}, {m_dir.string(), EISDIR}}) {
        try {
            LoadCatalog(path, list);
            ADD_FAILURE() << path;
        } catch (const FileError& e) {
            EXPECT_EQ(e.error, error) << path;
        }
    }
    EXPECT_FALSE(StoreCatalog(Path("no/such/folder/optarium.dat"), list));
}

TEST_F(CatalogTest, AHostileCatalogStaysWithinItsMemoryBound) {
    // A whole, well-formed catalog whose pick list has a million empty
    // entries: eight of them cost two file bytes, each would be a string
    // object of its own. Unreadable, and refused before it is built.
    const int entries = 1 << 20;
    std::string one = Fields("S", "K");
    std::string archive = Le16(1) + kClassRecord + one.substr(0, one.size() - 15) + Le16(0xFFFF) + Le32(entries) +
                          std::string(entries, '\0') + Le16(0);
    PutArchive(archive);
    const size_t file = std::filesystem::file_size(Path("optarium.dat"));
    EXPECT_LT(file * 64, entries * sizeof(std::string));   // the factor that made it hostile
    OptionList list;
    EXPECT_THROW(LoadCatalog(Path("optarium.dat"), list), ArchiveError);

    // The same list of a thousand entries is an ordinary catalog.
    archive = Le16(1) + kClassRecord + one.substr(0, one.size() - 15) + Le16(1000) + std::string(1000, '\0') +
              Le16(0);
    PutArchive(archive);
    LoadCatalog(Path("optarium.dat"), list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->valueList.size(), 1000u);
}

}  // namespace

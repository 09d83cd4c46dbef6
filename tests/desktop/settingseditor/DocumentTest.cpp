#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/desktop/settingseditor/CatalogFixture.h"

using namespace settingseditor;
using namespace deskcommontest;
using namespace settingseditortest;

namespace {

using Words = std::vector<std::string>;

TEST(CommandLineTest, FlagsScopesAndFileNames) {
    struct Case {
        Words args;
        Words scopes;
        std::string defaults, file;
    } cases[] = {
        {{"/S:ABC;;DEF;"}, {"ABC", "", "DEF"}, "", ""},
        {{"-s:x"}, {"x"}, "", ""},          // as typed, "-" flags too
        {{"/S:"}, {}, "", ""},
        {{"/DEF:"}, {}, "", ""},            // nothing after it: not a defaults option
        {{"/def:/tmp/d.cfg", "a.cfg", "b.cfg"}, {}, "/tmp/d.cfg", "a.cfg"},
        {{"/home/u/settings.cfg"}, {}, "", "/home/u/settings.cfg"},   // an absolute path
        {{"/Embedding", "/CFG", "/p", "x.cfg"}, {}, "", "x.cfg"},
    };
    for (const Case& c : cases) {
        CommandLineInfo info;
        info.Parse(c.args);
        info.Finish();
        EXPECT_EQ(info.scopes, c.scopes) << c.args[0];
        EXPECT_EQ(info.defaultsPath, c.defaults) << c.args[0];
        EXPECT_EQ(info.fileName, c.file) << c.args[0];
    }
}

TEST(CommandLineTest, HelpIsAskedForBySeveralSpellings) {
    for (const char* arg : {"--help", "-h", "-?", "/?"}) {
        CommandLineInfo info;
        info.Parse({arg});
        EXPECT_TRUE(info.help) << arg;
        EXPECT_TRUE(info.fileName.empty()) << arg;
    }
    CommandLineInfo file;
    file.Parse({"/h"});   // an absolute path
    EXPECT_FALSE(file.help);
    EXPECT_EQ(file.fileName, "/h");
    EXPECT_NE(std::string(kUsage).find("/DEF:"), std::string::npos);
}

class IncludeListTest : public TempDirTest {};

TEST_F(IncludeListTest, AFailedStartNamesTheFileThatIsMissing) {
    Put("a.cfg", "");
    Put("d.cfg", "");
    std::filesystem::create_directory(Path("dir"));
    struct Case {
        std::string file, defaults, text;
    } cases[] = {
        {Path("none.cfg"), "", "Optarium: the settings file " + Path("none.cfg") + " does not exist"},
        {Path("dir"), "", "Optarium: the settings file " + Path("dir") + " is a folder"},
        {Path("a.cfg"), Path("nodef.cfg"), "Optarium: the defaults file " + Path("nodef.cfg") + " does not exist"},
        {"", Path("nodef.cfg"), "Optarium: the defaults file " + Path("nodef.cfg") + " does not exist"},
        {Path("A.CFG"), Path("d.cfg"),
         "Optarium: " + Path("A.CFG") + " could not be opened with the catalog /x/optarium.dat"},
        {"", "", "Optarium: a new document could not be opened with the catalog /x/optarium.dat"},
    };
    for (const Case& c : cases) {
        CommandLineInfo info;
        info.fileName = c.file;
        info.defaultsPath = c.defaults;
        EXPECT_EQ(StartFailureText(info, "/x/optarium.dat"), c.text);
    }
    // The catalog's own reason, when the load knew it.
    EXPECT_EQ(StartFailureText(CommandLineInfo(), "/x/optarium.dat", "No such file or directory"),
              "Optarium: a new document could not be opened with the catalog /x/optarium.dat: No such file or "
              "directory");
}

TEST_F(IncludeListTest, ScopeWordsComeUpperCasedAndGlobalJoinsWithoutSOption) {
    Put("optarium.INI", "[Other]\ninclude=no\n[ Scope ] ; c\n  Include = radio ; why\nINCLUDE=\nfoo=bar\n"
                        "[GROUPS]\ninclude=Wifi\n");
    CommandLineInfo info;
    ReadIncludeList("Optarium.ini", m_dir.string(), info.scopes);
    ReadIncludeList("Optarium.cfg", m_dir.string(), info.scopes);   // missing: skipped
    info.Finish();
    EXPECT_EQ(info.scopes, (Words{"RADIO", "WIFI", "GLOBAL"}));
    CommandLineInfo none;
    none.Finish();
    EXPECT_TRUE(none.scopes.empty());
    CommandLineInfo both;
    ReadIncludeList(Path("optarium.INI"), "/nowhere", both.scopes);   // a name with a folder
    both.Parse({"/S:A"});
    both.Finish();
    EXPECT_EQ(both.scopes, (Words{"RADIO", "WIFI", "A"}));
}

class DocumentTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        WriteCatalog({
            {"Main", "Alpha", "Alpha name", kString, "1"},
            {"Main", "Multi", "Many", kString, "", 1},
            {"Main", "Need", "Needed", kString, "R", 0, 1},
            {"Radio", "Essid", "ESSID", kQuotedStr, "\"any\"", 0, 0, 1, "RADIO", 20},
        });
    }
    std::vector<std::string> Values(const char* key) {
        std::vector<std::string> out;
        for (auto& o : doc->Options()) {
            if (o->key == key) {
                for (auto& v : o->values)
                    out.push_back(v->section + "|" + v->key + "|" + v->value);
            }
        }
        return out;
    }
};

TEST_F(DocumentTest, OpeningMergesSettingsAndSavingRebuildsTheFile) {
    Put("a.cfg", "; comment\r\n[main]\r\nALPHA=1\r\nmulti=x ; c\r\n\r\nMulti=y\r\n[Extra]\r\nk=v\r\nk=w\r\n"
                 "[Radio]\r\nEssid=\"net\"\r\n");
    NewDoc();
    ASSERT_TRUE(doc->OnOpenDocument(Path("A.CFG")));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(Values("Alpha").empty());   // equal to the default: dropped
    EXPECT_EQ(Values("Multi"), (std::vector<std::string>{"main|multi|x", "main|Multi|y"}));
    ASSERT_EQ(doc->Options().size(), 5u);
    const CItemType& extra = *doc->Options().back();   // unknown: appended, hidden, multiple
    EXPECT_EQ(extra.name, "k");
    EXPECT_EQ(extra.treePath, "Unknown\\Extra");
    EXPECT_TRUE(extra.hidden && extra.multiple);
    EXPECT_EQ(Values("k"), (std::vector<std::string>{"Extra|k|v", "Extra|k|w"}));

    ASSERT_TRUE(doc->OnSaveDocument(Path("out.cfg")));
    EXPECT_EQ(Get("out.cfg"), "[main]\r\nmulti=x\r\nMulti=y\r\nNeed=R\r\n[Radio]\r\nEssid=\"net\"\r\n"
                              "[Extra]\r\nk=v\r\nk=w\r\n");
    EXPECT_TRUE(box.Take().empty());
}

TEST_F(DocumentTest, DefaultsFileSetsDefaultsAndStopsRequiredLines) {
    Put("defaults.cfg", "[Main]\nAlpha=5\nMulti=m\nNeed=N\n[New]\nz=1\n");
    info.Parse({"/DEF:" + Path("defaults.cfg")});
    NewDoc();
    Put("a.cfg", "[Main]\nAlpha=5\n");
    ASSERT_TRUE(doc->OnOpenDocument(Path("a.cfg")));
    EXPECT_EQ(doc->Options()[0]->defaultValue, "5");
    EXPECT_TRUE(Values("Alpha").empty());
    EXPECT_EQ(doc->Options()[1]->defaultValue, "");   // multiple entries: not a default
    EXPECT_EQ(doc->Options().size(), 4u);             // unknown settings of the defaults file add nothing
    ASSERT_TRUE(doc->OnSaveDocument(Path("out.cfg")));
    EXPECT_EQ(Get("out.cfg"), "");

    CommandLineInfo missing;
    missing.Parse({"/DEF:" + Path("none.cfg")});
    COptariumDoc other(missing, m_dir.string());
    EXPECT_FALSE(other.LoadCatalog());
}

TEST_F(DocumentTest, ManyKeysFindTheFirstOptionOfTheirSectionAndKey) {
    WriteCatalog({
        {"Main", "Twice", "First", kString, "", 1},
        {"MAIN", "TWICE", "Second", kString, "", 1},
        {"Main", "Other", "Other", kString, "", 1},
    });
    // Thousands of unknown keys, each seen twice in other cases, and the
    // known ones between them.
    std::string text = "[main]\r\ntwice=a\r\n";
    for (int i = 0; i < 5000; ++i)
        text += "[S" + std::to_string(i % 7) + "]\r\nk" + std::to_string(i) + "=v\r\n[s" + std::to_string(i % 7) +
                "]\r\nK" + std::to_string(i) + "=w\r\n";
    text += "[Main]\r\nOTHER=b\r\nTwice=c\r\n";
    Put("many.cfg", text);
    NewDoc();
    ASSERT_TRUE(doc->OnOpenDocument(Path("many.cfg")));
    ASSERT_EQ(doc->Options().size(), 3u + 5000u);
    EXPECT_EQ(Values("Twice"), (std::vector<std::string>{"main|twice|a", "Main|Twice|c"}));
    EXPECT_TRUE(doc->Options()[1]->values.empty());   // the second of a pair is never found
    EXPECT_EQ(Values("Other"), (std::vector<std::string>{"Main|OTHER|b"}));
    EXPECT_EQ(Values("k4321"), (std::vector<std::string>{"S2|k4321|v", "s2|K4321|w"}));
    EXPECT_EQ(doc->Options()[3]->treePath, "Unknown\\S0");
    // After the merge a setting is still found without the index.
    doc->MergeSetting(std::make_unique<CRawType>(CRawType{"s2", "K9", "x"}));
    EXPECT_EQ(Values("k9"), (std::vector<std::string>{"S2|k9|v", "s2|K9|w", "s2|K9|x"}));
}

TEST_F(DocumentTest, FailuresAndTheirMessages) {
    NewDoc();
    // Each says why, in the system's words.
    std::filesystem::create_directory(Path("folder.cfg"));   // a folder is no settings file
    Put("plain", "");
    const struct {
        std::string path, reason;
    } unopenable[] = {{Path("folder.cfg"), "Is a directory"},
                      {Path("no/dir/a.cfg"), "No such file or directory"},
                      {Path("plain/a.cfg"), "Not a directory"}};
    for (const auto& c : unopenable) {
        EXPECT_FALSE(doc->OnOpenDocument(c.path));
        EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to open file: " + c.path + "\n" + c.reason}));
    }

    // A value the INI library refuses fails the save and keeps the old file.
    Put("a.cfg", "[Main]\nMulti=x\n");
    ASSERT_TRUE(doc->OnOpenDocument(Path("a.cfg")));
    doc->Options()[1]->values[0]->value = std::string(300, 'v');
    doc->SetModifiedFlag();
    EXPECT_FALSE(doc->OnSaveDocument(Path("a.cfg")));
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to save the file: " + Path("a.cfg") +
                                                    "\nThe line of 'Many' is longer than 255 bytes."}));
    EXPECT_EQ(Get("a.cfg"), "[Main]\nMulti=x\n");
    EXPECT_TRUE(doc->IsModified());
    doc->Options()[1]->values[0]->value = "y";
    EXPECT_FALSE(doc->OnSaveDocument(Path("no/dir/a.cfg")));
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to save the file: " + Path("no/dir/a.cfg") +
                                                    "\nNo such file or directory"}));

    // A file the user protected is refused, never replaced behind the
    // user's back; a link takes the edit to its target.
    ASSERT_EQ(chmod(Path("a.cfg").c_str(), 0444), 0);
    EXPECT_FALSE(doc->OnSaveDocument(Path("a.cfg")));
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to save the file: " + Path("a.cfg") +
                                                    "\nPermission denied"}));
    EXPECT_EQ(Get("a.cfg"), "[Main]\nMulti=x\n");
    EXPECT_TRUE(doc->IsModified());
    ASSERT_EQ(chmod(Path("a.cfg").c_str(), 0640), 0);
    std::filesystem::create_symlink("a.cfg", Path("link.cfg"));
    EXPECT_TRUE(doc->OnSaveDocument(Path("link.cfg")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.cfg")));
    EXPECT_EQ(Get("a.cfg"), "[Main]\r\nMulti=y\r\nNeed=R\r\n");

    // Without a catalog: Open fails silently, New says so, with why.
    const std::string items = "Unable to open the items file.  (optarium.dat)\n" + Path("optarium.dat") + ": ";
    std::filesystem::remove(Path("optarium.dat"));
    EXPECT_FALSE(doc->OnOpenDocument(Path("a.cfg")));
    EXPECT_TRUE(box.Take().empty());
    EXPECT_EQ(doc->CatalogError(), "No such file or directory");
    EXPECT_FALSE(doc->OnNewDocument());
    EXPECT_EQ(box.Take(), (std::vector<std::string>{items + "No such file or directory"}));
    std::filesystem::create_directory(Path("optarium.dat"));
    EXPECT_FALSE(doc->OnNewDocument());
    EXPECT_EQ(box.Take(), (std::vector<std::string>{items + "Is a directory"}));
    std::filesystem::remove(Path("optarium.dat"));
    Put("optarium.dat", std::string("\0\x05", 2));   // five options promised, none there
    EXPECT_FALSE(doc->OnNewDocument());
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.Take()[0].rfind(items + "the file is no option catalog (", 0), 0u);
}

TEST_F(DocumentTest, AMissingFileInAFolderIsANewDocumentSavedThere) {
    NewDoc();
    Put("old.cfg", "[Main]\nMulti=x\n");
    ASSERT_TRUE(doc->OnOpenDocument(Path("old.cfg")));
    // As an installation leaves the program folder: no settings file yet.
    ASSERT_TRUE(doc->OnOpenDocument(Path("Ravelcore.cfg")));
    EXPECT_TRUE(box.Take().empty());
    EXPECT_FALSE(doc->IsModified());
    for (const auto& o : doc->Options())
        EXPECT_TRUE(o->values.empty()) << o->key;   // nothing of the file before
    EXPECT_FALSE(std::filesystem::exists(Path("Ravelcore.cfg")));
    ASSERT_TRUE(doc->OnSaveDocument(Path("Ravelcore.cfg")));
    EXPECT_EQ(Get("Ravelcore.cfg"), "[Main]\r\nNeed=R\r\n");
}

TEST_F(DocumentTest, AdvancedSaveWritesTheCatalogFirst) {
    NewDoc();
    ASSERT_TRUE(doc->OnNewDocument());
    EXPECT_FALSE(doc->GrantAccess("wrong"));
    EXPECT_TRUE(doc->GrantAccess("GMPACKGK"));
    EXPECT_EQ(COptariumDoc::PasswordHash("\xE9"), 0xFFFFFFE9u);   // bytes count as signed
    doc->InsertByOrder(Make({"New", "Key", "Added", kString, "", 0, 0, 0, "", 15}));
    ASSERT_TRUE(doc->OnSaveDocument(Path("out.cfg")));
    OptionList back;
    LoadCatalog(Path("optarium.dat"), back);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[3]->name, "Added");   // after order 10, before order 20

    // A catalog that cannot be written is told, and the settings file still goes.
    std::filesystem::remove(Path("out.cfg"));
    std::filesystem::create_directory(Path("ro"));
    CommandLineInfo elsewhere;
    elsewhere.catalogPath = Path("ro/missing/optarium.dat");
    COptariumDoc other(elsewhere, m_dir.string());
    other.GrantAccess("GMPACKGK");
    EXPECT_TRUE(other.OnSaveDocument(Path("out.cfg")));
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to open the items file to save changes.  (optarium.dat)\n"
                                                    "No such file or directory"}));
    EXPECT_TRUE(std::filesystem::exists(Path("out.cfg")));
    // A catalog the administrator protected stays as it was.
    const std::string before = Get("optarium.dat");
    ASSERT_EQ(chmod(Path("optarium.dat").c_str(), 0444), 0);
    EXPECT_TRUE(doc->OnSaveDocument(Path("out.cfg")));
    EXPECT_EQ(box.Take(), (std::vector<std::string>{"Unable to open the items file to save changes.  (optarium.dat)\n"
                                                    "Permission denied"}));
    EXPECT_EQ(Get("optarium.dat"), before);
}

TEST_F(DocumentTest, CsvOutputByteForByte) {
    NewDoc();
    ASSERT_TRUE(doc->OnNewDocument());
    doc->Options()[0]->name = "Say \"hi\"";
    ASSERT_TRUE(doc->SaveCsv());
    EXPECT_EQ(Get("optarium.dat.CSV"),
              "Order,Command,Subcommand,Name,Path,Scope,Type,Hidden\r\n"
              "10,\"Main\",\"Alpha\",\"Say \"hi\"\",\"General\",\"\",\"String\",\"N\"\r\n"
              "10,\"Main\",\"Multi\",\"Many\",\"General\",\"\",\"String\",\"N\"\r\n"
              "10,\"Main\",\"Need\",\"Needed\",\"General\",\"\",\"String\",\"N\"\r\n"
              "20,\"Radio\",\"Essid\",\"ESSID\",\"General\",\"RADIO\",\"Quoted Str\",\"Y\"\r\n");
}

TEST_F(DocumentTest, FindNextWrapsSkipsHiddenAndSearchesHelpOutsideBraces) {
    NewDoc();
    ASSERT_TRUE(doc->OnNewDocument());
    doc->Options()[1]->help.bytes = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Body words here\\par }";
    doc->Options()[2]->help.bytes = "{\\rtf1 Fonttbl in a \\{literal\\} body}";
    EXPECT_EQ(doc->FindNext("name", false), doc->Options()[0].get());
    doc->Select(doc->Options()[0].get());
    EXPECT_EQ(doc->FindNext("name", false), doc->Options()[0].get());   // wraps round to itself
    EXPECT_EQ(doc->FindNext("WORDS", false), nullptr);
    EXPECT_EQ(doc->FindNext("words", true), doc->Options()[1].get());
    EXPECT_EQ(doc->FindNext("arial", true), nullptr);                 // inside the header group
    EXPECT_EQ(doc->FindNext("body", true), doc->Options()[1].get());
    doc->Select(doc->Options()[1].get());
    EXPECT_EQ(doc->FindNext("body", true), doc->Options()[1].get());   // option 2's body is inside braces
    EXPECT_EQ(doc->FindNext("essid", false), nullptr);               // hidden
    doc->GrantAccess("GMPACKGK");
    EXPECT_EQ(doc->FindNext("essid", false), doc->Options()[3].get());
    EXPECT_EQ(doc->FindNext("", false), nullptr);
}

// Confirms each edit with a scripted text.
class ScriptedEditor : public IValueEditor {
public:
    bool EditValue(const CItemType& option, CRawType& value) override {
        if (texts.empty())
            return false;
        option.StoreValue(texts.front(), value);
        texts.erase(texts.begin());
        return true;
    }
    std::vector<std::string> texts;
};

TEST_F(DocumentTest, ValueCommandsAndTheDefaultRule) {
    NewDoc();
    ASSERT_TRUE(doc->OnNewDocument());
    ScriptedEditor editor;
    CItemType* multi = doc->Options()[1].get();
    doc->Select(multi);
    EXPECT_TRUE(doc->CanAddValue());
    EXPECT_FALSE(doc->CanResetValue());
    editor.texts = {"a", "b", "", "c"};
    doc->OnAddValue(editor);
    doc->OnAddValue(editor);
    EXPECT_EQ(doc->CurrentValue(), multi->values[1].get());
    doc->OnAddValue(editor);                  // equal to the (empty) default: removed again
    EXPECT_EQ(multi->values.size(), 2u);
    EXPECT_EQ(doc->CurrentValue(), nullptr);
    doc->OnEditValue(editor);                 // none current: the first value
    EXPECT_EQ(multi->values[0]->value, "c");
    doc->OnAddValue(editor);                  // cancelled
    EXPECT_EQ(multi->values.size(), 2u);
    EXPECT_EQ(doc->CurrentValue(), nullptr);
    doc->OnResetValue();                      // none current: every value
    EXPECT_TRUE(multi->values.empty());
    EXPECT_TRUE(doc->IsModified());

    CItemType* alpha = doc->Options()[0].get();
    doc->Select(alpha);
    EXPECT_FALSE(doc->CanAddValue());
    box.answers = {IDNO};
    editor.texts = {"7"};
    doc->OnDefaultValue(editor);
    EXPECT_EQ(alpha->defaultValue, "7");
    box.answers = {IDCANCEL};
    doc->OnDefaultValue(editor);
    EXPECT_EQ(alpha->defaultValue, "7");
    box.answers = {IDYES};
    doc->OnDefaultValue(editor);
    EXPECT_EQ(alpha->defaultValue, "");
    EXPECT_EQ(box.types[0], static_cast<unsigned>(MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(box.Take().size(), 3u);

    doc->DeleteOption(alpha);
    EXPECT_EQ(doc->Options().size(), 3u);
    EXPECT_EQ(doc->CurrentOption(), nullptr);
}

}  // namespace

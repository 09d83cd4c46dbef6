// The settings editor's file readers on arbitrary bytes: the option catalog
// (compressed stream and archive, the scope test of every option) and an INI
// file in both dialects, also opened as a settings document. A catalog that
// loads must store and load again to the same options.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzDir.h"
#include "inifile/IniFile.h"
#include "settingseditor/CompressedFile.h"
#include "settingseditor/Document.h"
#include "settingseditor/ItemType.h"

using namespace settingseditor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDir dir("fuzz-desktop");
    const std::string file = (dir.Path() / "input").string();
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
    OptionList list;
    try {
        LoadCatalog(file, list);
    } catch (const FileError&) {
    } catch (const ArchiveError&) {
    }
    static const std::vector<std::string> words{"A", "B", ""};
    for (const auto& option : list)
        ScopeHolds(option->scope, words);
    if (!list.empty()) {
        const std::string again = (dir.Path() / "again").string();
        if (!StoreCatalog(again, list))
            std::abort();
        OptionList back;
        LoadCatalog(again, back);
        if (back.size() != list.size())
            std::abort();
        for (size_t i = 0; i < list.size(); ++i) {
            if (back[i]->name != list[i]->name || back[i]->help.bytes != list[i]->help.bytes ||
                back[i]->valueList != list[i]->valueList)
                std::abort();
        }
    }
    for (int dialect : {inifile::kIniIndented, inifile::kIniBracketed}) {
        inifile::IniFile* ini = inifile::IniLoad(file.c_str(), dialect, ";");
        if (!ini)
            continue;
        inifile::IniEnum* e = nullptr;
        char s[100], k[100], v[256];
        if (inifile::IniEnumBegin(ini, nullptr, &e) == inifile::kIniOk) {
            while (inifile::IniEnumNext(e, s, sizeof s, k, sizeof k, v, sizeof v) == inifile::kIniOk) {
                if (*k)
                    inifile::IniSetValue(ini, s, k, 1, v);
            }
            inifile::IniEnumEnd(e);
        }
        inifile::IniClose(ini);
    }
    // As a settings file against an empty catalog: every key an option.
    static const std::string catalog = [] {
        std::string path = (dir.Path() / "optarium.dat").string();
        std::ofstream(path, std::ios::binary).write("\0\0\0", 3);
        return path;
    }();
    static CommandLineInfo info = [] {
        CommandLineInfo i;
        i.catalogPath = catalog;
        return i;
    }();
    COptariumDoc doc(info, dir.Path().string());
    doc.OnOpenDocument(file);
    return 0;
}

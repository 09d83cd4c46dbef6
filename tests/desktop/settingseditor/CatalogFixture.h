// A catalog in a temporary program folder and a document over it.
#pragma once

#include <memory>
#include <string>

#include "tests/desktop/deskcommon/ScriptedMessages.h"
#include "tests/desktop/deskcommon/TempDir.h"
#include "settingseditor/Document.h"

namespace settingseditortest {

struct OptionSpec {
    const char* section;
    const char* key;
    const char* name;
    int type = settingseditor::kString;
    const char* defaultValue = "";
    int multiple = 0;
    int required = 0;
    int hidden = 0;
    const char* scope = "";
    int order = 10;
    const char* treePath = "General";
};

class CatalogFixture : public deskcommontest::TempDirTest {
protected:
    std::unique_ptr<settingseditor::CItemType> Make(const OptionSpec& s) {
        auto o = std::make_unique<settingseditor::CItemType>();
        o->section = s.section;
        o->key = s.key;
        o->name = s.name;
        o->type = s.type;
        o->defaultValue = s.defaultValue;
        o->multiple = s.multiple;
        o->required = s.required;
        o->hidden = s.hidden;
        o->scope = s.scope;
        o->order = s.order;
        o->treePath = s.treePath;
        o->prompt = "Enter:";
        return o;
    }
    void WriteCatalog(std::initializer_list<OptionSpec> specs) {
        settingseditor::OptionList list;
        for (const OptionSpec& s : specs)
            list.push_back(Make(s));
        ASSERT_TRUE(settingseditor::StoreCatalog(Path("optarium.dat"), list));
    }
    settingseditor::COptariumDoc& NewDoc() {
        info.Finish();
        doc = std::make_unique<settingseditor::COptariumDoc>(info, m_dir.string());
        return *doc;
    }

    deskcommontest::ScriptedMessages box;
    settingseditor::CommandLineInfo info;
    std::unique_ptr<settingseditor::COptariumDoc> doc;
};

}  // namespace settingseditortest

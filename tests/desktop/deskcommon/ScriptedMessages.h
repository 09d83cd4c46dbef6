// A message box that records what it is shown and answers from a script
// (OK, or Yes for questions, once the script is spent), with the caption
// each box was given.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "deskcommon/Messages.h"

namespace deskcommontest {

class ScriptedMessages : public deskcommon::IMessageBox {
public:
    ScriptedMessages() { m_old = deskcommon::SetMessages(this); }
    ~ScriptedMessages() override { deskcommon::SetMessages(m_old); }

    using deskcommon::IMessageBox::Show;
    int Show(const std::u16string& text, unsigned type, const std::u16string& title) override {
        shown.push_back(plat::text::WideToUtf8(text));
        types.push_back(type);
        titles.push_back(plat::text::WideToUtf8(title));
        if (!answers.empty()) {
            int a = answers.front();
            answers.pop_front();
            return a;
        }
        unsigned buttons = type & 0xF;
        return buttons == MB_YESNO || buttons == MB_YESNOCANCEL
                   ? IDYES
                   : IDOK;
    }
    // The texts shown since the last call.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        out.swap(shown);
        types.clear();
        titles.clear();
        return out;
    }

    std::deque<int> answers;
    std::vector<std::string> shown;
    std::vector<unsigned> types;
    std::vector<std::string> titles;   // empty: the program's title

private:
    deskcommon::IMessageBox* m_old = nullptr;
};

}  // namespace deskcommontest

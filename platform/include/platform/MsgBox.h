// Message boxes through one replaceable presenter. The owner, text, caption
// and style of every box are handed to the presenter, which answers with the
// button's id (IDOK, IDYES...). Without a presenter — a program that shows
// nothing, a test — a box answers its default button at once. The Qt-backed
// library installs a presenter that shows a QMessageBox when it attaches;
// tests install a ScriptedAnswerer.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Window.h"

int MessageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type);

namespace plat::msgbox {

struct Request {
    HWND owner = 0;
    std::u16string text;
    std::u16string caption;
    UINT style = 0;
};

class IPresenter {
public:
    virtual ~IPresenter() = default;
    virtual int Show(const Request& request) = 0;
};

// Not owned; null restores the default answer. Returns the one it replaces.
IPresenter* SetPresenter(IPresenter* presenter);
// The id of the style's default button (MB_DEFBUTTONn of its buttons).
int DefaultButton(UINT style);

// Answers from a script, in order, and records every box; with the script
// used up it answers each box's default button.
class ScriptedAnswerer final : public IPresenter {
public:
    explicit ScriptedAnswerer(std::vector<int> answers = {}) : m_answers(answers.begin(), answers.end()) {}
    int Show(const Request& request) override {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(request);
        if (m_answers.empty()) return DefaultButton(request.style);
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::vector<Request> Seen() const {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<Request> m_seen;
};

}  // namespace plat::msgbox

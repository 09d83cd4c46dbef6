// Every failure and question of a desktop program goes through one
// replaceable message box, so the program runs headless under a scripted
// answerer.
// Buttons, icons and answers are the platform's MB_* and ID* values.
#pragma once

#include <string>

#include "platform/WinConst.h"

namespace deskcommon {

// One replaceable instance of an interface over a fallback that is never
// destroyed before it.
template <typename T>
class Replaceable {
public:
    explicit Replaceable(T& fallback) : m_fallback(fallback), m_current(&fallback) {}
    T& Get() const { return *m_current; }
    // Installs next (none restores the fallback); returns the one replaced.
    T* Set(T* next) {
        T* old = m_current == &m_fallback ? nullptr : m_current;
        m_current = next ? next : &m_fallback;
        return old;
    }

private:
    T& m_fallback;
    T* m_current;
};

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // A box with its own caption; an empty title is the program's title.
    virtual int Show(const std::u16string& text, unsigned type, const std::u16string& title) = 0;
    int Show(const std::u16string& text, unsigned type) { return Show(text, type, std::u16string()); }
};

// The box in use; until one is installed, messages go to standard error and
// are answered with their first button.
IMessageBox& Messages();
// Installs box (none restores the default); returns the one it replaces.
IMessageBox* SetMessages(IMessageBox* box);

// Texts of the desktop programs' files (catalog, settings and hosts files)
// are Windows-1252 bytes; file names are UTF-8.
std::u16string FromAnsi(const std::string& bytes);
std::string ToAnsi(const std::u16string& text);
std::u16string FromPath(const std::string& path);

// printf-style "%s" and "%d" substitution into a message text.
std::u16string Format(const char* pattern, const std::u16string& s);
std::u16string FormatRange(const char* pattern, int low, int high);

}  // namespace deskcommon

#include "deskcommon/Messages.h"

#include <cstdio>
#include <string>

#include "platform/Text.h"

namespace deskcommon {

namespace {

class StderrBox : public IMessageBox {
public:
    int Show(const std::u16string& text, unsigned type, const std::u16string& title) override {
        if (!title.empty())
            std::fprintf(stderr, "%s: ", plat::text::WideToUtf8(title).c_str());
        std::fprintf(stderr, "%s\n", plat::text::WideToUtf8(text).c_str());
        switch (type & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        default:
            return IDOK;
        }
    }
};

StderrBox fallback;
Replaceable<IMessageBox> current(fallback);

}  // namespace

IMessageBox& Messages() {
    return current.Get();
}

IMessageBox* SetMessages(IMessageBox* box) {
    return current.Set(box);
}

std::u16string FromAnsi(const std::string& bytes) {
    return plat::text::BytesToWide(CP_ACP, bytes);
}

std::string ToAnsi(const std::u16string& text) {
    return plat::text::WideToBytes(CP_ACP, text);
}

std::u16string FromPath(const std::string& path) {
    return plat::text::Utf8ToWide(path);
}

std::u16string Format(const char* pattern, const std::u16string& s) {
    std::u16string out = plat::text::Utf8ToWide(pattern);
    size_t at = out.find(u"%s");
    if (at != std::u16string::npos)
        out.replace(at, 2, s);
    return out;
}

std::u16string FormatRange(const char* pattern, int low, int high) {
    std::string text(pattern);
    for (int v : {low, high}) {
        size_t at = text.find("%d");
        if (at != std::string::npos)
            text.replace(at, 2, std::to_string(v));
    }
    return plat::text::Utf8ToWide(text);
}

}  // namespace deskcommon

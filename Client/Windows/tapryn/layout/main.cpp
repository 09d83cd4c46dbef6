// Writes the shipped keyboard file: quillmar-kbb OUTPUT
#include <cstdio>

#include "tapryn/QuillmarLayout.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmar-kbb OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = QuillmarKeyboards();
    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}

// Writes the option catalog of the client's settings: settings-catalog FILE.
#include <cstdio>

#include "SettingsCatalog.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: settings-catalog optarium.dat\nWrites the catalog of the client's settings.\n");
        return 2;
    }
    if (!settingseditor::StoreCatalog(argv[1], settingscatalog::BuildSettingsCatalog())) {
        std::fprintf(stderr, "settings-catalog: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

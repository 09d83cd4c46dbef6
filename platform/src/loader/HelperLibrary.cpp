#include "HelperLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

void* plat::loader::LoadBaseHelper(const char* library, const char* symbol, const char* without) {
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&LoadBaseHelper), &self) || !self.dli_fname) return nullptr;
    std::string path = self.dli_fname;
    path.erase(path.find_last_of('/') + 1);  // npos + 1 = 0: a bare name leaves ""
    path += library;
    void* helper = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = helper ? dlsym(helper, symbol) : nullptr;
    if (entry) return entry;
    const char* why = dlerror();
    std::fprintf(stderr, "orvade: cannot load %s (%s); %s\n", path.c_str(), why ? why : symbol, without);
    return nullptr;
}

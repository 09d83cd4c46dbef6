#include "core/extensions/ExtensionModule.h"

#include "core/support/LogFile.h"
#include "platform/MsgBox.h"

namespace {

HMODULE g_resources = nullptr;
CExtentions* g_extentions = nullptr;

}  // namespace

BOOL ModuleInit() {
    g_resources = LoadLibrary(u"orvaderes.dll");
    CreateLog(0);
    if (g_resources) {
        g_extentions = new CExtentions;
        return TRUE;
    }
    MessageBox(0, u"Missing Critical component-001", nullptr, MB_ICONHAND);
    return FALSE;
}

void ModuleTerm() {
    if (g_resources) FreeLibrary(g_resources);
    g_resources = nullptr;
    delete g_extentions;
    g_extentions = nullptr;
    DestroyLog();
}

HMODULE GetModuleResources() { return g_resources; }
CExtentions* GetModuleExtentions() { return g_extentions; }

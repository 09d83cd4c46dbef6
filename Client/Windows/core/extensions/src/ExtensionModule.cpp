#include "core/extensions/ExtensionModule.h"

#include "core/support/LogFile.h"
#include "platform/MsgBox.h"

namespace {

// The one module context of the process.
std::unique_ptr<CModuleContext> g_context;

}  // namespace

CModuleContext::~CModuleContext() {
    if (resources) FreeLibrary(resources);
    resources = nullptr;
    extentions.reset();
}

CModuleContext* GetModuleContext() { return g_context.get(); }

bool CreateModuleContext() {
    if (g_context) return false;
    g_context = std::make_unique<CModuleContext>();
    return true;
}

void DestroyModuleContext() { g_context.reset(); }

BOOL ModuleInit() {
    CreateModuleContext();
    if (g_context->resources) FreeLibrary(g_context->resources);
    g_context->resources = LoadLibrary(u"orvaderes.dll");
    CreateLog(0);
    if (g_context->resources) {
        g_context->extentions = std::make_unique<CExtentions>();
        return TRUE;
    }
    MessageBox(0, u"Missing Critical component-001", nullptr, MB_ICONHAND);
    return FALSE;
}

void ModuleTerm() {
    DestroyModuleContext();
    DestroyLog();
}

HMODULE GetModuleResources() { return g_context ? g_context->resources : nullptr; }
CExtentions* GetModuleExtentions() { return g_context ? g_context->extentions.get() : nullptr; }

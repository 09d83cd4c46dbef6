#include "core/extensions/Extensions.h"

#include <array>

#include "core/extensions/ExtensionModule.h"
#include "core/extensions/ExtensionSupport.h"
#include "platform/DeviceFs.h"

namespace {

// Compared without regard to case.
constexpr std::array<std::u16string_view, 11> kSkipList = {
    u"Duvane.DLL", u"Duvaned.DLL", u"Pelmora.DLL", u"Pelmorad.DLL", u"ICUDT30.DLL", u"ICUUC30.DLL",
    u"OVTBAPI.DLL", u"OVTBMGR.DLL", u"OVTBSVC.DLL", u"Kelmo.DLL",   u"Veltar.DLL",
};

CExtension* MakeScanner() { return new CScannerExtension; }
CExtension* MakePrinter() { return new CPrinterExtension; }
CExtension* MakeNetwork() { return new CNetworkExtension; }

}  // namespace

void SetExtensionWindow(HWND window) {
    if (CModuleContext* context = GetModuleContext()) context->extensionWindow = window;
}
HWND GetExtensionWindow() {
    const CModuleContext* context = GetModuleContext();
    return context ? context->extensionWindow : 0;
}

// ---- CExtension

CExtension::~CExtension() {
    Detach();
    // A long chain is taken apart in a loop, not by recursion.
    std::unique_ptr<CExtension> next = std::move(m_next);
    while (next) next = std::move(next->m_next);
}

void CExtension::Detach() {
    if (m_module && m_owns) FreeLibrary(m_module);
    m_module = nullptr;
    m_owns = false;
    m_attached = false;
    m_base = Exports{};
}

BOOL CExtension::Attach(HMODULE module, BOOL owns) {
    Detach();
    m_module = module;
    m_owns = owns != FALSE;
    if (!module) return FALSE;
    Exports bound;
    bound.Bind(module);
    if (!bound.GetTelnetExtensionType || !bound.GetExtensionInfo) return FALSE;
    m_base = bound;
    m_attached = true;
    return TRUE;
}

BOOL CExtension::Load(std::u16string_view path) {
    Detach();
    const HMODULE module = LoadLibrary(path);
    if (!module) return FALSE;
    return Attach(module, TRUE);
}

int CExtension::GetType() { return CALL_OR(m_base.GetTelnetExtensionType, 0); }
BOOL CExtension::GetInfo(ExtensionInfo* record) { return CALL_OR(m_base.GetExtensionInfo, FALSE, record); }
int CExtension::GetPropSheetCount() { return CALL_OR(m_base.GetPropSheetCount, 0); }
BOOL CExtension::GetPropSheet(int index, PROPSHEETPAGE* page) {
    return CALL_OR(m_base.GetPropSheet, FALSE, index, page);
}
BOOL CExtension::GetAboutPropSheet(PROPSHEETPAGE* page) {
    if (!m_base.GetAboutPropSheet) return FALSE;
    if (page) m_base.GetAboutPropSheet(page);
    return TRUE;
}

// ---- CExtensionManager

CExtensionManager::~CExtensionManager() = default;

BOOL CExtensionManager::SetFactory(int index, ExtensionFactory factory) {
    if (static_cast<unsigned>(index) >= EXTENSION_TYPE_COUNT) return FALSE;
    m_factories[index] = factory;
    return TRUE;
}

bool CExtensionManager::IsSkipped(std::u16string_view name) {
    for (std::u16string_view skipped : kSkipList) {
        if (skipped.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; same && i < name.size(); ++i) {
            auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
            same = fold(skipped[i]) == fold(name[i]);
        }
        if (same) return true;
    }
    return false;
}

int CExtensionManager::LoadFolder(std::u16string_view folder) {
    int count = 0;
    for (const std::u16string& name : FindLibraries(folder)) {
        if (!IsSkipped(name)) count += LoadExtension(JoinFolder(folder, name));
    }
    return count;
}

BOOL CExtensionManager::LoadExtension(std::u16string_view path) {
    const HMODULE module = LoadLibrary(path);
    if (!module) return FALSE;
    const auto type = GetProc<GetTelnetExtensionType_fn>(module, "GetTelnetExtensionType");
    if (type) {
        // A negative type never indexes the table.
        const int index = type();
        const ExtensionFactory factory =
            static_cast<unsigned>(index) < EXTENSION_TYPE_COUNT ? m_factories[index] : nullptr;
        if (std::unique_ptr<CExtension> wrapper{factory ? factory() : nullptr}) {
            // From here the wrapper owns the module: dropping it unloads the library.
            if (!wrapper->Attach(module, TRUE)) return FALSE;
            if (!m_first) {
                m_first = std::move(wrapper);
                return TRUE;
            }
            CExtension* last = m_first.get();
            while (last->Next()) last = last->Next();
            last->SetNext(std::move(wrapper));
            return TRUE;
        }
    }
    FreeLibrary(module);
    return FALSE;
}

void RegisterExtensionFactories(CExtensionManager& manager) {
    manager.SetFactory(EXTENSION_SCANNER, &MakeScanner);
    manager.SetFactory(EXTENSION_PRINTER, &MakePrinter);
    manager.SetFactory(EXTENSION_NETWORK, &MakeNetwork);
}

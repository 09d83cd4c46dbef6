#include "core/extensions/AutomationManager.h"

#include "core/extensions/ExtensionSupport.h"
#include "core/support/LogFile.h"
#include "platform/Text.h"

CAutomationManager::~CAutomationManager() { FreeAll(); }

void CAutomationManager::FreeAll() {
    while (m_first) {
        std::unique_ptr<Entry> entry = std::move(m_first);
        m_first = std::move(entry->next);
        if (entry->module) FreeLibrary(entry->module);
    }
}

int CAutomationManager::LoadFolder(std::u16string_view folder, AutoQueryFn query, void* context,
                                   uint32_t allowedTypes) {
    if (m_first) return -2;
    int count = 0;
    for (const std::u16string& name : FindLibraries(folder)) {
        const std::u16string path = JoinFolder(folder, name);
        const std::string shown = plat::text::WideToUtf8(path);
        LogPrintf(LOG_NOTE, "Loading automation DLL: %s", shown.c_str());
        auto entry = std::make_unique<Entry>();
        entry->module = LoadLibrary(path);
        if (!entry->module) {
            LogPrintf(LOG_ERROR, "%s Error loading: 0x%08x", shown.c_str(), GetLastError());
            continue;
        }
        // Whatever happens below, a library that is not kept is unloaded.
        struct Unload {
            Entry* e;
            ~Unload() {
                if (e) FreeLibrary(e->module);
            }
        } unload{entry.get()};
        entry->notify = GetProc<AutoNotify_fn>(entry->module, "AutoNotify");
        if (!entry->notify) continue;
        entry->level = entry->notify(AUTO_SUPPORT_LEVEL, 0, 0);
        if (entry->level >= static_cast<int32_t>(AUTO_TYPE))
            entry->type = static_cast<uint32_t>(entry->notify(AUTO_TYPE, 0, 0));
        if ((allowedTypes & entry->type) != entry->type) {
            LogPrintf(LOG_TRACE, "Unallowed automation DLL type: %d", static_cast<int>(entry->type));
            continue;
        }
        LogPrintf(LOG_TRACE, "Automation DLL type: %d", static_cast<int>(entry->type));
        if (entry->level < static_cast<int32_t>(AUTO_TERMINATE_LEVEL)) {
            LogPrintf(LOG_ERROR, "%s Bad support level: %d", shown.c_str(), entry->level);
            continue;
        }
        const int32_t started =
            entry->notify(AUTO_INITIALIZE, reinterpret_cast<intptr_t>(context), reinterpret_cast<intptr_t>(query));
        if (started == 0) {
            LogPrintf(LOG_ERROR, "%s Error initializing: %d", shown.c_str(), started);
            continue;
        }
        unload.e = nullptr;
        entry->next = std::move(m_first);
        m_first = std::move(entry);
        ++count;
    }
    return count;
}

void CAutomationManager::Notify(uint32_t code, intptr_t a, intptr_t b) {
    for (Entry* entry = m_first.get(); entry; entry = entry->next.get()) {
        if (entry->level >= static_cast<int32_t>(code)) entry->notify(code, a, b);
    }
}

// The automation libraries of the "AUTO" folder: told about sessions, input,
// menus and error boxes (notifications 0x9001 to 0x900C), and able to ask
// the runtime back through the query function they get at start.
#pragma once

#include <memory>
#include <string_view>

#include "platform/exports/AutomationExports.h"

class CAutomationManager {
public:
    CAutomationManager() = default;
    // FreeAll: every library unloaded, from the front.
    ~CAutomationManager();
    CAutomationManager(const CAutomationManager&) = delete;
    CAutomationManager& operator=(const CAutomationManager&) = delete;

    // Libraries kept; -2 when libraries are already loaded (nothing is loaded again).
    int LoadFolder(std::u16string_view folder, AutoQueryFn query, void* context, uint32_t allowedTypes);
    // To every library whose support level is at least the code.
    void Notify(uint32_t code, intptr_t a, intptr_t b);
    bool IsLoaded() const { return m_first != nullptr; }
    void FreeAll();

private:
    struct Entry {
        std::unique_ptr<Entry> next;
        HMODULE module = nullptr;
        int32_t level = 0;
        uint32_t type = 0;
        AutoNotify_fn notify = nullptr;
    };
    // The most recently loaded library first.
    std::unique_ptr<Entry> m_first;
};

// The core as the extension binding sees it.
#pragma once

#include <string>

#include "core/hooks/CoreHooks.h"
#include "platform/WinTypes.h"
#include "platform/exports/AutomationExports.h"

// What the binding needs of the core: installing and removing the hooks it
// answers, the control window and registry key the library sessions are
// created with, and the query the automation libraries call. The core
// implements it.
class IExtensionHost {
public:
    virtual ~IExtensionHost() = default;
    // Null restores the core's "not present".
    virtual void SetScanner(ICoreScanner* scanner) = 0;
    virtual void SetDevices(ICoreDevices* devices) = 0;
    virtual void SetAutomation(ICoreAutomation* automation) = 0;
    virtual HWND GetWindow() const = 0;
    virtual std::u16string BaseRegistryKey() const = 0;
    virtual AutoQueryFn AutomationQueryFunction() const = 0;
    virtual void* AutomationQueryContext() = 0;
};

// What the client runtime keeps once per process: the resource library, the
// log and the manager of the "EXTENTIONS" libraries. ModuleInit runs when
// the client control is made, ModuleTerm when it goes.
#pragma once

#include "core/extensions/Extentions.h"
#include "platform/Library.h"

// 1 when the resource library "orvaderes.dll" was loaded. Without it the
// user is told "Missing Critical component-001" and no extension manager
// exists. The log exists either way (off until logging is enabled).
BOOL ModuleInit();
void ModuleTerm();

HMODULE GetModuleResources();
// Null before ModuleInit, after ModuleTerm, or without the resource library.
CExtentions* GetModuleExtentions();

// How an export header declares its set. Each export is listed once, as
// X(result, Name, (parameters)); ORVADE_DECLARE_EXPORTS turns the list into
// the C prototypes the library defines (default visibility, so they are the
// library's only exports) and, for the side that binds them by name, a
// pointer type Name_fn and the name as text.
#pragma once

#include <cstdint>

#include "platform/Library.h"
#include "platform/WinTypes.h"

#define ORVADE_EXPORT extern "C" __attribute__((visibility("default")))

#define ORVADE_EXPORT_PROTOTYPE(result, name, params) ORVADE_EXPORT result name params;
#define ORVADE_EXPORT_POINTER(result, name, params) using name##_fn = result(*) params;

#define ORVADE_DECLARE_EXPORTS(LIST) \
    LIST(ORVADE_EXPORT_PROTOTYPE)    \
    LIST(ORVADE_EXPORT_POINTER)

// A pointer member per export, and binding them all by name.
#define ORVADE_EXPORT_MEMBER(result, name, params) name##_fn name = nullptr;
#define ORVADE_EXPORT_BIND(result, name, params) name = GetProc<name##_fn>(module, #name);

// Inside a struct: a pointer member per export of the list and Bind(module),
// which looks each one up (null when missing).
#define ORVADE_EXPORT_TABLE(LIST) \
    LIST(ORVADE_EXPORT_MEMBER)    \
    void Bind(HMODULE module) { LIST(ORVADE_EXPORT_BIND) }

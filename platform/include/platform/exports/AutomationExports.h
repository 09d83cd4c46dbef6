// The automation library's one export. The runtime sends notifications
// 0x9001 to 0x900C; the library calls back with queries 0xA001 to 0xA00B
// through the query function it receives with 0x9002. a and b carry
// pointers for some codes, so they are pointer-sized.
#pragma once

#include "platform/exports/ExportSet.h"

using AutoQueryFn = intptr_t (*)(void* context, uint32_t code, intptr_t a, intptr_t b);

constexpr uint32_t AUTO_SUPPORT_LEVEL = 0x9001;
constexpr uint32_t AUTO_INITIALIZE = 0x9002;     // a: the context, b: the AutoQueryFn
constexpr uint32_t AUTO_TERMINATE_LEVEL = 0x9003;  // the lowest level a library may have
constexpr uint32_t AUTO_TYPE = 0x9004;

#define ORVADE_AUTOMATION_EXPORTS(X) X(int32_t, AutoNotify, (uint32_t code, intptr_t a, intptr_t b))

ORVADE_DECLARE_EXPORTS(ORVADE_AUTOMATION_EXPORTS)

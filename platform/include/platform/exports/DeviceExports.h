// The device-control library's export set (an "EXTENTIONS" library of kind
// 0x4). Getters answer -1 for "not available".
#pragma once

#include "platform/exports/ExtentionExports.h"

#define ORVADE_DEVICE_EXPORTS(X)                                          \
    X(int, GetBatteryType, (void))                                        \
    X(int, GetPowerState, (void))                                         \
    X(int, SetBacklightIntensity, (int level))                            \
    X(int, GetBacklightIntensity, (void))                                 \
    X(int, GetBacklightIntensityLevels, (int reserved, int second))       \
    X(int, SetContrast, (int level))                                      \
    X(int, GetContrast, (void))                                           \
    X(int, GetContrastLevels, (int reserved, int second))                 \
    X(int, GetBacklightState, (void))                                     \
    X(void*, CreateRegistryFile, (void))                                  \
    X(int, SetBacklightState, (int on))                                   \
    X(int32_t, GetQuillmarDeviceID, (void))                               \
    X(int, SetAlphaMode, (int mode))                                      \
    X(int, SetKeyBoardState, (int state))                                 \
    X(int, GetKeyBoardState, (void))                                      \
    X(int, SetBackLightTime, (int value))                                 \
    X(int, GetBackLightTime, (void))                                      \
    X(int, SetKeyTimeout, (int value))                                    \
    X(int, GetKeyTimeout, (void))                                         \
    X(int, PlayBeep, (int durationMs, int second))


ORVADE_DECLARE_EXPORTS(ORVADE_DEVICE_EXPORTS)

// The defaults of the hooks that are not one line.
#include "core/hooks/CoreHooks.h"

int32_t ICoreDevices::CallDevice(DeviceFunction function, int32_t) {
    switch (function) {
    case DeviceFunction::GetKeyBoardState:
    case DeviceFunction::GetKeyTimeout:
    case DeviceFunction::GetBackLightTime:
        return -1;
    default:
        return 0;
    }
}

#include "platform/DeviceManager.h"

#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Text.h"

namespace {

struct Device {
    std::u16string name;  // "TNO1:"
    HMODULE module = nullptr;
    DWORD context = 0;
    DeviceDeinitFn deinit = nullptr;
    DeviceOpenFn open = nullptr;
    DeviceCloseFn close = nullptr;
    DeviceIOControlFn ioControl = nullptr;
};

struct Open {
    std::shared_ptr<Device> device;
    DWORD context = 0;
};

struct Manager {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<Device>> devices;  // by registration handle
    std::map<uintptr_t, Open> opens;                       // by open handle
    uintptr_t next = 0x1000;
};
Manager& M() {
    static Manager manager;
    return manager;
}

std::u16string Upper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

template <typename Fn>
Fn Entry(HMODULE module, const std::u16string& prefix, const char* entry) {
    return GetProc<Fn>(module, (plat::text::WideToUtf8(prefix) + "_" + entry).c_str());
}

std::shared_ptr<Device> Registered(const std::u16string& name) {
    for (auto& [handle, device] : M().devices)
        if (device->name == name) return device;
    return nullptr;
}

}  // namespace

HANDLE RegisterDevice(const char16_t* prefix, DWORD index, const char16_t* library, DWORD context) {
    if (!prefix || !library || std::char_traits<char16_t>::length(prefix) != 3 || index > 9) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string pfx = Upper(prefix);
    auto device = std::make_shared<Device>();
    device->name = pfx + static_cast<char16_t>(u'0' + index) + u":";
    {
        std::lock_guard lock(M().mutex);
        if (Registered(device->name)) {
            SetLastError(ERROR_DEVICE_IN_USE);
            return nullptr;
        }
    }
    // A driver of the device's system folder, else one LoadLibrary finds by name.
    HMODULE module = LoadLibrary(u"\\Windows\\" + std::u16string(library));
    if (!module) module = LoadLibrary(library);
    if (!module) return nullptr;
    const auto init = Entry<DeviceInitFn>(module, pfx, "Init");
    if (!init) {
        FreeLibrary(module);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    device->module = module;
    device->deinit = Entry<DeviceDeinitFn>(module, pfx, "Deinit");
    device->open = Entry<DeviceOpenFn>(module, pfx, "Open");
    device->close = Entry<DeviceCloseFn>(module, pfx, "Close");
    device->ioControl = Entry<DeviceIOControlFn>(module, pfx, "IOControl");
    device->context = init(context);
    if (!device->context) {
        FreeLibrary(module);
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    std::lock_guard lock(M().mutex);
    if (Registered(device->name)) {  // registered meanwhile by another thread
        SetLastError(ERROR_DEVICE_IN_USE);
        return nullptr;  // this instance stays loaded: its Init ran
    }
    const uintptr_t handle = M().next++;
    M().devices[handle] = device;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL DeregisterDevice(HANDLE handle) {
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(M().mutex);
        auto it = M().devices.find(reinterpret_cast<uintptr_t>(handle));
        if (it == M().devices.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        device = std::move(it->second);
        M().devices.erase(it);
    }
    if (device->deinit) device->deinit(device->context);
    // Open handles keep the library until they close.
    return TRUE;
}

HANDLE CreateFile(const char16_t* name, DWORD access, DWORD share, const void*, DWORD, DWORD, HANDLE) {
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(M().mutex);
        if (name) device = Registered(Upper(name));
    }
    if (!device || !device->open) {
        SetLastError(ERROR_DEV_NOT_EXIST);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD context = device->open(device->context, access, share);
    if (!context) {
        SetLastError(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(M().mutex);
    const uintptr_t handle = M().next++;
    M().opens[handle] = Open{std::move(device), context};
    return reinterpret_cast<HANDLE>(handle);
}

BOOL DeviceIoControl(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                     void*) {
    Open open;
    {
        std::lock_guard lock(M().mutex);
        auto it = M().opens.find(reinterpret_cast<uintptr_t>(handle));
        if (it != M().opens.end()) open = it->second;
    }
    if (!open.device || !open.device->ioControl) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD done = 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL result = open.device->ioControl(open.context, code, static_cast<BYTE*>(in), inSize,
                                               static_cast<BYTE*>(out), outSize, &done);
    if (returned) *returned = done;
    if (!result && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
    return result;
}

BOOL CloseHandle(HANDLE handle) {
    Open open;
    {
        std::lock_guard lock(M().mutex);
        auto it = M().opens.find(reinterpret_cast<uintptr_t>(handle));
        if (it == M().opens.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        open = std::move(it->second);
        M().opens.erase(it);
    }
    if (open.device->close) open.device->close(open.context);
    return TRUE;
}

DWORD GetCallerProcess() { return static_cast<DWORD>(getpid()); }

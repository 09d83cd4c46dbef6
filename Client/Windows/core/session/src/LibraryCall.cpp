#include "core/session/LibraryCall.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "core/support/FaultGuard.h"
#include "core/support/FileUtil.h"
#include "core/support/LogFile.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Text.h"

namespace {

// How one argument is passed.
enum class Arg : char { Text = 't', Number = 'n', Flag = 'f' };

struct Signature {
    const char* name;
    const char* arguments;  // one letter per argument: t text, n number, f flag
};

// The toolkit functions the host calls with arguments other than texts.
constexpr Signature kSignatures[] = {
    {"WWANRadioPowerOn", ""},
    {"WWANRadioPowerOff", ""},
    {"SetupWWANToolKit", ""},
    {"DoGPRSHangup", ""},
    {"ShutDownToolkit", ""},
    {"SetGPRSAttach", "n"},
    {"DeleteRasEntry", "t"},
    {"DeleteDiallingLocation", "t"},
    {"SetDiallingLocation", "t"},
    {"RemoveEntryFromConnMgr", "t"},
    {"AddEntryToConnMgr", "ttf"},
    {"DoGPRSConnect", "ttnn"},
    {"CreateDiallingLocation", "tttfttttff"},
    {"CreateRasEntry", "ttnnnttttttttttt"},
};

constexpr size_t kMaxGenericArguments = 8;

// The client's own component libraries (the control, the shell object,
// discovery, the installation hooks, the keyboard, the resource library, and
// those the cold boot registers) and the exports that register, install or
// remove: none is an extension function, and each changes the installation.
constexpr std::u16string_view kComponentLibraries[] = {
    u"ravelcore.dll", u"panthos.dll",       u"beaconet.dll", u"instavo.dll",       u"tapryn.dll",
    u"orvaderes.dll", u"ovc_vm.dll",        u"ovcextwidgets.dll", u"ovcwidgetctrl.dll"};
constexpr std::string_view kRefusedExports[] = {"dll", "install_", "uninstall_"};

bool IsExtensionCall(std::u16string_view library, std::string_view function) {
    std::u16string_view name = library;
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    // Compared as the file system finds the library: "Panthos.dll" in
    // another case, one beyond ASCII included, is the same file.
    if (std::any_of(std::begin(kComponentLibraries), std::end(kComponentLibraries),
                    [&](std::u16string_view component) { return plat::fs::WildcardMatch(component, name); }))
        return false;
    std::string export_(function);
    for (char& c : export_)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return std::none_of(std::begin(kRefusedExports), std::end(kRefusedExports),
                        [&](std::string_view prefix) { return export_.rfind(prefix, 0) == 0; });
}

// Every argument travels in a pointer-sized slot: a text pointer, or a number.
using Slot = intptr_t;

struct Call {
    FARPROC function;
    size_t count;
    Slot slots[kLibraryCallArguments];
};

// The function is called with every argument in a slot, whatever types it
// declares (the 64-bit calling conventions pass a slot to an int parameter
// unchanged in its low half), so clang's check of the function type a
// pointer is called through is off for this call alone.
template <size_t... I>
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
void Invoke(const Call& call, std::index_sequence<I...>) {
    using Fn = int32_t (*)(decltype(I, Slot{})...);
    reinterpret_cast<Fn>(call.function)(call.slots[I]...);
}

template <size_t N>
void InvokeN(const Call& call) {
    Invoke(call, std::make_index_sequence<N>{});
}

void Dispatch(void* context) {
    const Call& call = *static_cast<const Call*>(context);
    switch (call.count) {
    case 0: InvokeN<0>(call); break;
    case 1: InvokeN<1>(call); break;
    case 2: InvokeN<2>(call); break;
    case 3: InvokeN<3>(call); break;
    case 4: InvokeN<4>(call); break;
    case 5: InvokeN<5>(call); break;
    case 6: InvokeN<6>(call); break;
    case 7: InvokeN<7>(call); break;
    case 8: InvokeN<8>(call); break;
    case 10: InvokeN<10>(call); break;
    case 16: InvokeN<16>(call); break;
    default: break;
    }
}

Slot Pass(Arg kind, const std::u16string* argument) {
    if (kind == Arg::Text) return reinterpret_cast<Slot>(argument ? argument->c_str() : nullptr);
    // A number past the int range is the nearest end of it, never its low bits.
    const long long parsed = argument ? std::strtoll(plat::text::WideToBytes(CP_UTF8, *argument).c_str(), nullptr, 10) : 0;
    const auto number = static_cast<int32_t>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
    if (kind == Arg::Flag) return number != 0 ? 1 : 0;
    return number;
}

}  // namespace

int32_t CallLibraryFunction(std::u16string_view library, std::u16string_view function,
                            const std::vector<std::u16string>& arguments) {
    if (arguments.size() > kLibraryCallArguments || library.empty() || function.empty()) return -1;
    const std::string name = plat::text::WideToBytes(CP_UTF8, function);

    // The arguments the function takes, by its name.
    std::string kinds;
    bool known = false;
    for (const Signature& s : kSignatures) {
        if (name == s.name) {
            kinds = s.arguments;
            known = true;
            break;
        }
    }
    if (!known) {
        if (arguments.size() > kMaxGenericArguments) return -1;
        kinds.assign(arguments.size(), static_cast<char>(Arg::Text));
    }

    // Only a bare library name, loaded from the program folder where
    // installation puts libraries: no path of the host's reaches a library
    // it stored, nor one installed beside the program.
    if (library.find_first_of(u"\\/") != std::u16string_view::npos || !FileUtil::IsLibraryName(library) ||
        library.find_first_not_of(u". ") == std::u16string_view::npos) {
        LogWrite(LOG_ERROR, "EXT: not a library name");
        return -1;
    }
    if (!IsExtensionCall(library, name)) {
        LogWrite(LOG_ERROR, "EXT: not an extension function");
        return -1;
    }
    std::u16string path = plat::fs::ProgramFolder();
    if (path.empty() || path.back() != u'\\') path += u'\\';
    path += library;
    HMODULE module = LoadLibrary(path);
    if (!module) {
        LogWrite(LOG_ERROR, "EXT: library not loaded");
        return -1;
    }
    FARPROC fn = GetProcAddress(module, name.c_str());
    if (!fn) {
        LogWrite(LOG_ERROR, "EXT: function not found");
        FreeLibrary(module);
        return -1;
    }

    Call call{fn, kinds.size(), {}};
    for (size_t i = 0; i < kinds.size(); ++i)
        call.slots[i] = Pass(static_cast<Arg>(kinds[i]), i < arguments.size() ? &arguments[i] : nullptr);
    if (!RunGuarded(Dispatch, &call)) {
        LogWrite(LOG_ERROR, "EXT: the function faulted");
        return -1;
    }
    return 0;
}

// "Panthos.dll": the class table, self-registration and the four exports.
#include "ShellObj.h"

namespace {

const plat::com::TypeLibRegistration kTypeLib{LIBID_PANTHOSLib, u"1.0", u"Panthos 1.0 Type Library"};

const plat::com::ServerClass kClasses[] = {plat::com::ServerClassOf<COVCShellObj>({
    CLSID_OVCShellObj,
    u"OVCShellObj Class",
    u"Panthos.OVCShellObj.1",
    u"Panthos.OVCShellObj",
    &LIBID_PANTHOSLib,
    nullptr,  // no Version key
    true,     // Programmable
    false,    // not a control
    nullptr,
    0,
})};

}  // namespace

ORVADE_COM_SERVER(kClasses, &kTypeLib)

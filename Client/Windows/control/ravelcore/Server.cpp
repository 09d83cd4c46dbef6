// "Ravelcore.dll": the class table, self-registration and the four exports.
#include "OVC.h"

namespace {

const plat::com::TypeLibRegistration kTypeLib{LIBID_RAVELCORELib, u"1.0", u"Ravelcore 1.0 Type Library"};

const plat::com::ServerClass kClasses[] = {plat::com::ServerClassOf<COVC>({
    CLSID_OVC,
    u"OVC Class",
    u"Ravelcore.OVC.1",
    u"Ravelcore.OVC",
    &LIBID_RAVELCORELib,
    u"1.0",
    true,      // Programmable
    true,      // Control, Insertable, MiscStatus
    u"131473",  // MiscStatus\1
    101,       // ToolboxBitmap32
})};

}  // namespace

ORVADE_COM_SERVER(kClasses, &kTypeLib)

// Commands whose handlers are not built yet: each is logged like an unknown
// command and gets no reply. A real handler replaces its line here.
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"

#define PENDING_HANDLER(name) \
    int CClientCore::name(CPacket*, uint8_t) { \
        LogWrite(LOG_ERROR, "UNKNOWN PACKET"); \
        return 0; \
    }

PENDING_HANDLER(RFAUX)
PENDING_HANDLER(PRINTFILE)
PENDING_HANDLER(TELLEVENT)
PENDING_HANDLER(RFMENU)
PENDING_HANDLER(LISTMENUFILES)
PENDING_HANDLER(PLAYTONE)
PENDING_HANDLER(LoadKeyMap)
PENDING_HANDLER(SYSTEMCALL)
PENDING_HANDLER(WAK)
PENDING_HANDLER(RFSPOOL)
PENDING_HANDLER(COMDATAEVENT)
PENDING_HANDLER(SETTIME)
PENDING_HANDLER(COMMONDLG)
PENDING_HANDLER(KILLCMD)
PENDING_HANDLER(RfidEvent)

// Commands whose groups are not built yet (printing and serial): each is logged like an unknown command and
// gets no reply. A group that is built registers its bytes after these, in
// place of them, and its line goes from here.
#include "core/session/PendingCommands.h"

#include "core/support/LogFile.h"

int CPendingCommands::Pending(CPacket*, uint8_t) {
    LogWrite(LOG_ERROR, "UNKNOWN PACKET");
    return 0;
}

void CPendingCommands::Register(CCommandTable& table) {
    for (const uint8_t code : {cmd::kRFAUX, cmd::kPRINTFILE, cmd::kRFSPOOL, cmd::kCOMDATAEVENT})
        table.Register<&CPendingCommands::Pending>(code, *this);
}

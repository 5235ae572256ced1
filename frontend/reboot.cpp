// The restart that -r asks for when a command reports that one is required.
#include "frontend/reboot.h"

#include "platform/privilege.h"
#include "platform/win32.h"

void RebootSystem() {
    // Without the privilege the request below fails, which is reported by nobody either.
    (void)platform::EnableTokenPrivilege(SE_SHUTDOWN_NAME);
    InitiateSystemShutdownExA(
        nullptr, nullptr, 0, FALSE, TRUE,
        SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE | SHTDN_REASON_MINOR_INSTALLATION);
}

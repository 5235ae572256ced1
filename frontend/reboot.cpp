// The restart that -r asks for when a command reports that one is required.
#include "frontend/reboot.h"

#include "platform/win32.h"

namespace {

void EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // Without the privilege the request below fails, which is reported by nobody either.
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}

}  // namespace

void RebootSystem() {
    EnableShutdownPrivilege();
    InitiateSystemShutdownExA(
        nullptr, nullptr, 0, FALSE, TRUE,
        SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_HARDWARE | SHTDN_REASON_MINOR_INSTALLATION);
}

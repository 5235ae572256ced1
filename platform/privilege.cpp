#include "platform/privilege.h"

#include "platform/unique.h"

namespace platform {

bool EnableTokenPrivilege(const char* privilegeName) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid)) {
        return false;
    }
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

}  // namespace platform

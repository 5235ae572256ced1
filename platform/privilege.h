// Enabling a privilege of the process's own token, the one step that the restart and the
// wizard killer both take before a call that needs it.
#pragma once

namespace platform {

// Enables the named privilege (SE_SHUTDOWN_NAME, SE_DEBUG_NAME, ...) in the process token:
// open the token, look the privilege up, adjust. False when a step fails; the token is
// closed on every path.
bool EnableTokenPrivilege(const char* privilegeName);

}  // namespace platform

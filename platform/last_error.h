// The error code of a call that failed. Some platform calls fail without setting one; such a
// failure must never read as success (0) to a caller that returns the code.
#pragma once
#include "platform/win32.h"

namespace platform {

// GetLastError(), or `fallback` when it is 0. Read it right after the call that failed.
inline DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace platform

// kernel32 basics: the last-error code, local memory and CloseHandle.
#include <cstdlib>
#include <cstring>

#include "choke.h"
#include "handles.h"
#include "simwin/base.h"

namespace {
thread_local DWORD lastError = 0;
}

extern "C" {

DWORD WINAPI GetLastError(void) {
    return lastError;
}
void WINAPI SetLastError(DWORD code) {
    lastError = code;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    sim::ApiCall call("LocalAlloc");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if ((flags & ~static_cast<UINT>(LPTR)) != 0) {
        sim::NotModelled("LocalAlloc", "movable memory");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Windows hands out a valid block for a request of 0 bytes; so do we.
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((flags & LMEM_ZEROINIT) != 0) {
        std::memset(block, 0, bytes == 0 ? 1 : bytes);
    }
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL mem) {
    std::free(mem);
    return nullptr;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    sim::ApiCall call("CloseHandle");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (!sim::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

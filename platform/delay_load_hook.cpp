// Windows builds only. The delay-load helper would load a delay-imported library by its bare
// name, through the host process's search order, whose first folder is the one the program
// (or the program that loaded boardkit.dll) was started from. This hook loads each one from the
// system folder instead, in boardkit.exe and boardkit.dll alike, without changing the search
// defaults of a host process.
#include "platform/system_library.h"

#include <delayimp.h>

namespace {

FARPROC WINAPI LoadDelayImportFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) {
        return nullptr;
    }
    const HMODULE library = platform::LoadSystemLibrary(info->szDll);
    if (library == nullptr) {
        // Returning null would make the helper load the bare name after all; fail the call the
        // way the helper fails a library it cannot load.
        info->dwLastError = GetLastError();
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(library);
}

}  // namespace

#ifdef _MSC_VER
extern "C" const PfnDliHook __pfnDliNotifyHook2 = LoadDelayImportFromSystemFolder;
#else
// Defined inside a linkage block: GCC warns at a definition that also says `extern`.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadDelayImportFromSystemFolder;
}
#endif

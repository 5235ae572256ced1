// Loading the system's own libraries. boardkit runs as administrator from whatever folder a
// setup program unpacked it into, often one a standard user can write to, so no library it
// uses may be taken from beside it, from the current directory or from the PATH.
#pragma once

#include "platform/win32.h"

namespace platform {

// Restricts this process's library search to the system folder, for every later load: explicit
// ones, delay-loaded ones and the dependencies of system libraries. For the program's entry
// only: a DLL must not change its host's defaults. False where Windows lacks the call (Windows 7
// without its update); LoadSystemLibrary then still names the system folder for each load.
bool RestrictLibrarySearchToSystemFolder();

// Loads the system library `name` (for example "newdev.dll") from the system folder and never
// from anywhere else; null with the last error set when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace platform

// Finding a function in a loaded module without GetProcAddress: ntdll's query of a process's
// PEB is not in the import libraries the program links against.
#pragma once
#include "platform/win32.h"

// Finds an export of a loaded module by walking the module's own export directory: `name`
// above 0xFFFF is a name (exact match), otherwise an ordinal. Null when not found; forwarded
// exports are returned as their address inside the module, never followed.
FARPROC FindModuleExport(HMODULE module, const char* name);

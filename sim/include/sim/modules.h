// What the simulated machine offers as loadable system libraries: each area that models a
// library (the device installer, ntdll, ...) registers it with its exports.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "simwin/base.h"

namespace sim {

struct LibraryExport {
    const char* name;
    FARPROC address;
};

// Registers the library `fileName` (for example "newdev.dll"), a library of the system folder:
// LoadLibraryA finds it by its file name without regard to case, with or without the ".dll"
// extension, or by its full path in the system folder, whenever the search includes that folder.
void RegisterLibrary(const std::string& fileName, std::vector<LibraryExport> exports);

// The module handle of a loaded library (null when it is not loaded), for GetModuleHandleA.
HMODULE LoadedModule(const std::string& fileName);

// What SetDefaultDllDirectories last set in this process (0 while it was never called).
DWORD DefaultDllDirectories();

// Reference count of a library in this process: tests check that every load is released.
unsigned LibraryLoadCount(const std::string& fileName);

}  // namespace sim

namespace sim {
// The module handle of the process's own image (what GetModuleHandleA(nullptr) returns); its
// resources are the ones registered for the null module.
HMODULE ProcessImageModule();
}  // namespace sim

// Run-time loading of the simulated system libraries.
#include <cstring>
#include <map>
#include <memory>

#include "choke.h"
#include "file_system.h"
#include "text.h"
#include "sim/modules.h"
#include "sim/processes.h"
#include "simwin/modules.h"

namespace sim {
namespace {

struct Library {
    std::string fileName;
    std::vector<LibraryExport> exports;
    unsigned loads = 0;
};

std::string Key(std::string name) {
    for (char& ch : name) {
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    }
    // LoadLibrary appends ".dll" to a name without extension.
    if (name.find('.') == std::string::npos) {
        name += ".dll";
    }
    size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Every simulated library is a library of the system folder.
constexpr char kSystemFolder[] = "C:\\Windows\\System32";

constexpr DWORD kSearchDirectories = LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                     LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                     LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

// What SetDefaultDllDirectories set; it lasts as long as the process.
DWORD g_defaultDirectories = 0;

// Whether a search with `flags` (0: the standard order, which includes the system folder)
// reaches the system folder when `fileName` names no folder. A named folder is searched alone.
bool ReachesSystemFolder(const std::string& fileName, DWORD flags) {
    const size_t slash = fileName.find_last_of("\\/");
    if (slash != std::string::npos) {
        return sim::EqualNoCase(std::string_view(fileName).substr(0, slash), kSystemFolder,
                                sim::CaseRule::kAscii);
    }
    DWORD search = flags & kSearchDirectories;
    if (search == 0) {
        search = g_defaultDirectories;
    }
    return search == 0 ||
           (search & (LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) != 0;
}

// kernel32 is mapped into every process from its start, as ntdll is; its exports that the
// simulated machine models are looked up here.
HMODULE Kernel32Module() {
    static char image;
    return reinterpret_cast<HMODULE>(&image);
}

FARPROC Kernel32Export(const char* name) {
    if (std::strcmp(name, "SetDefaultDllDirectories") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SetDefaultDllDirectories));
    }
    return nullptr;
}

std::map<std::string, std::unique_ptr<Library>>& Libraries() {
    static auto* libraries = new std::map<std::string, std::unique_ptr<Library>>;
    return *libraries;
}

Library* FromModule(HMODULE module) {
    for (auto& [key, library] : Libraries()) {
        if (reinterpret_cast<HMODULE>(library.get()) == module) {
            return library.get();
        }
    }
    return nullptr;
}

}  // namespace

void RegisterLibrary(const std::string& fileName, std::vector<LibraryExport> exports) {
    auto library = std::make_unique<Library>();
    library->fileName = fileName;
    library->exports = std::move(exports);
    Libraries()[Key(fileName)] = std::move(library);
}

HMODULE LoadedModule(const std::string& fileName) {
    auto it = Libraries().find(Key(fileName));
    if (it == Libraries().end() || it->second->loads == 0) {
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(it->second.get());
}

DWORD DefaultDllDirectories() {
    return g_defaultDirectories;
}

unsigned LibraryLoadCount(const std::string& fileName) {
    auto it = Libraries().find(Key(fileName));
    return it == Libraries().end() ? 0 : it->second->loads;
}

HMODULE ProcessImageModule() {
    static char image;
    return reinterpret_cast<HMODULE>(&image);
}

}  // namespace sim

extern "C" {

namespace {

HMODULE LoadSystemLibrary(LPCSTR fileName, DWORD flags) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto it = sim::Libraries().find(sim::Key(fileName));
    if (it == sim::Libraries().end() || !sim::ReachesSystemFolder(fileName, flags)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++it->second->loads;
    return reinterpret_cast<HMODULE>(it->second.get());
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    sim::ApiCall call("LoadLibraryA", fileName != nullptr ? fileName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    return LoadSystemLibrary(fileName, 0);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
    sim::ApiCall call("LoadLibraryExA", fileName != nullptr ? fileName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if ((flags & ~(sim::kSearchDirectories | LOAD_WITH_ALTERED_SEARCH_PATH)) != 0) {
        sim::NotModelled("LoadLibraryExA", "flags " + std::to_string(flags));
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    // The altered search order cannot be combined with the search flags.
    if (file != nullptr ||
        ((flags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0 && (flags & sim::kSearchDirectories) != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadSystemLibrary(fileName, flags);
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags) {
    sim::ApiCall call("SetDefaultDllDirectories", std::to_string(directoryFlags));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    if (directoryFlags == 0 || (directoryFlags & ~sim::kSearchDirectories) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::g_defaultDirectories = directoryFlags;
    return TRUE;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    sim::ApiCall call("FreeLibrary");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::Library* library = sim::FromModule(module);
    if (library == nullptr || library->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --library->loads;
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    sim::ApiCall call("GetProcAddress", procName != nullptr ? procName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (module != nullptr && module == sim::NtdllImageModule() &&
        reinterpret_cast<uintptr_t>(procName) >= 0x10000) {
        FARPROC address = sim::NtdllExport(procName);
        if (address == nullptr) {
            SetLastError(ERROR_PROC_NOT_FOUND);
        }
        return address;
    }
    if (module != nullptr && module == sim::Kernel32Module() &&
        reinterpret_cast<uintptr_t>(procName) >= 0x10000) {
        FARPROC address = sim::Kernel32Export(procName);
        if (address == nullptr) {
            SetLastError(ERROR_PROC_NOT_FOUND);
        }
        return address;
    }
    sim::Library* library = sim::FromModule(module);
    if (library == nullptr || library->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A "name" below 0x10000 is an ordinal; no simulated library exports by ordinal.
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    for (const sim::LibraryExport& entry : library->exports) {
        if (std::strcmp(entry.name, procName) == 0) {
            return entry.address;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    sim::ApiCall call("GetModuleHandleA", moduleName != nullptr ? moduleName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (moduleName == nullptr) {
        return sim::ProcessImageModule();
    }
    // ntdll is mapped into every process from its start.
    if (sim::Key(moduleName) == "ntdll.dll" && sim::NtdllImageModule() != nullptr) {
        return sim::NtdllImageModule();
    }
    if (sim::Key(moduleName) == "kernel32.dll") {
        return sim::Kernel32Module();
    }
    HMODULE module = sim::LoadedModule(moduleName);
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return module;
}

}  // extern "C"

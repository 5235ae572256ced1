// Run-time loading of the simulated system libraries.
#include <cstring>
#include <map>
#include <memory>

#include "choke.h"
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

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    sim::ApiCall call("LoadLibraryA", fileName != nullptr ? fileName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto it = sim::Libraries().find(sim::Key(fileName));
    if (it == sim::Libraries().end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++it->second->loads;
    return reinterpret_cast<HMODULE>(it->second.get());
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
    HMODULE module = sim::LoadedModule(moduleName);
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return module;
}

}  // extern "C"

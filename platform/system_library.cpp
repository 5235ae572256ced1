#include "platform/system_library.h"

#include <cstring>

namespace platform {
namespace {

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

// The system folder's full path of `name`; false with the last error set when it cannot be
// built or does not fit MAX_PATH.
bool SystemFolderPath(const char* name, char (&path)[MAX_PATH]) {
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0) {
        return false;
    }
    const std::size_t nameLength = std::strlen(name);
    // The folder, a backslash, the name and the terminator.
    if (length >= MAX_PATH || length + 1 + nameLength + 1 > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    return true;
}

}  // namespace

bool RestrictLibrarySearchToSystemFolder() {
    // Looked up, not imported: an import that Windows lacks would keep the program from starting.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto setDefaults =
        kernel == nullptr ? nullptr
                          : reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void*>(
                                GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefaults != nullptr && setDefaults(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

HMODULE LoadSystemLibrary(const char* name) {
    if (name == nullptr || std::strpbrk(name, "\\/:") != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return library;
    }
    // A Windows that does not know the search flags: name the file by its full path, and let
    // its own dependencies be searched from its folder first.
    char path[MAX_PATH];
    if (!SystemFolderPath(name, path)) {
        return nullptr;
    }
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace platform

// The files and the INF copy name that belong to one board driver.
#include <cstdio>
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/catalog.h"
#include "setup/system_paths.h"
#include "uninstall/uninstall.h"

namespace {

// The catalog's own lookup takes an empty key as contained in every row's key.
const CatalogEntry* KernelKeyRow(const char* kernelKey) {
    if (kernelKey == nullptr || *kernelKey == '\0') {
        return nullptr;
    }
    return CatalogFindByKernelKey(kernelKey);
}

// "TolDemo.dll" gives "TolDemoCFG.dll": the last four characters make way for "CFG.dll".
std::string ConfigurationLibraryName(std::string_view userDll) {
    const std::size_t keep = userDll.size() < 4 ? 0 : userDll.size() - 4;
    return std::string(userDll.substr(0, keep)) + "CFG.dll";
}

// Deletes one existing file, with the trace line before or after the deletion as each file
// has it. The error is taken right after the deletion, before the trace line is printed.
DWORD DeleteTracedFile(const std::string& path, bool traceFirst) {
    if (!FileExists(path.c_str(), Existence::FileOrFolder)) {
        return ERROR_SUCCESS;
    }
    if (traceFirst) {
        std::printf("delete file %s\n", path.c_str());
    }
    const DWORD error = DeleteFileA(path.c_str()) ? ERROR_SUCCESS : GetLastError();
    if (!traceFirst) {
        std::printf("delete file %s\n", path.c_str());
    }
    return error;
}

}  // namespace

int32_t DeleteDriverFile(char* kernelKey) BOARDKIT_NOEXCEPT {
    std::string windows;
    if (!WindowsFolder(windows)) {
        return static_cast<int32_t>(GetLastError());
    }
    const CatalogEntry* row = KernelKeyRow(kernelKey);
    if (row == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    std::printf("isQuorvatekDeivce %d\n", 1);
    std::string driver;
    std::string library;
    std::string configuration;
    // A path that would not fit MAX_PATH is never handed to the platform.
    if (!ComposePath(driver, {windows, "\\system32\\drivers\\", row->kernelDriver}) ||
        !ComposePath(library, {windows, "\\system32\\", row->userDll}) ||
        !ComposePath(configuration,
                     {windows, "\\system32\\", ConfigurationLibraryName(row->userDll)})) {
        return ERROR_BUFFER_OVERFLOW;
    }
    if (DWORD error = DeleteTracedFile(driver, false)) {
        return static_cast<int32_t>(error);
    }
    if (DWORD error = DeleteTracedFile(library, true)) {
        return static_cast<int32_t>(error);
    }
    return static_cast<int32_t>(DeleteTracedFile(configuration, true));
}

bool GetDeviceInfPath(HDEVINFO set, SP_DEVINFO_DATA* device, char* infName) {
    if (infName == nullptr) {
        return false;
    }
    const HKEY opened = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    // SetupAPI reports a failed open as INVALID_HANDLE_VALUE, never as a null key.
    if (opened == static_cast<HKEY>(INVALID_HANDLE_VALUE) || opened == nullptr) {
        return false;
    }
    platform::UniqueHKey key(opened);
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "InfPath", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    // A value that fills the buffer without its terminator names no file this program can use.
    const void* end = std::memchr(value, '\0', size);
    const std::size_t length =
        end == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(end) - value);
    if (length >= MAX_PATH) {
        return false;
    }
    std::memcpy(infName, value, length);
    infName[length] = '\0';
    return true;
}

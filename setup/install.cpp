// InstallDriver, UpdateDriver and their relatives: hand an INF file and a hardware ID to the
// device installer in newdev.dll, which the program loads for each call and never links to.
#include "setup/install.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/results.h"
#include "catalog/text.h"
#include "platform/last_error.h"
#include "platform/system_library.h"
#include "platform/unique.h"
#include "setup/system_paths.h"

namespace {

// UpdateDriverForPlugAndPlayDevicesA as newdev.h declares it.
typedef BOOL(WINAPI* UpdateDriverForPlugAndPlayDevicesProc)(HWND parent, LPCSTR hardwareId,
                                                            LPCSTR fullInfPath, DWORD flags,
                                                            PBOOL rebootRequired);
// INSTALLFLAG_FORCE: install the package even when the installed driver is newer or ranks
// better, which is what a caller asking for this package means.
constexpr DWORD kInstallFlagForce = 0x00000001;

// Copies a text argument into a buffer of MAX_PATH characters; false when it does not fit.
bool CopyArgument(const char* text, char (&buffer)[MAX_PATH]) {
    if (!FitsMaxPath(text)) {
        return false;
    }
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return true;
}

bool FileFound(const char* path) {
    WIN32_FIND_DATAA data;
    platform::UniqueFindFile find(FindFirstFileA(path, &data));
    return static_cast<bool>(find);
}

}  // namespace

uint32_t RunDeviceInstaller(const char* infFile, const char* hardwareId, int* rebootRequired) {
    platform::UniqueLibrary library(platform::LoadSystemLibrary("newdev.dll"));
    if (!library) {
        return platform::LastErrorOr(ERROR_MOD_NOT_FOUND);
    }
    const auto update =
        reinterpret_cast<UpdateDriverForPlugAndPlayDevicesProc>(reinterpret_cast<void*>(
            GetProcAddress(library.get(), "UpdateDriverForPlugAndPlayDevicesA")));
    if (update == nullptr) {
        return platform::LastErrorOr(ERROR_PROC_NOT_FOUND);
    }
    BOOL reboot = FALSE;
    const BOOL installed = update(nullptr, hardwareId, infFile, kInstallFlagForce, &reboot);
    // Read right after the call that failed, before anything else runs.
    const DWORD error = installed ? ERROR_SUCCESS : platform::LastErrorOr(ERROR_GEN_FAILURE);
    if (rebootRequired != nullptr) {
        *rebootRequired = reboot ? 1 : 0;
    }
    return error;
}

bool RefreshDevices() BOARDKIT_NOEXCEPT {
    DEVINST root = 0;
    if (CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
        return false;
    }
    return CM_Reenumerate_DevNode(root, CM_REENUMERATE_RETRY_INSTALLATION) == CR_SUCCESS;
}

bool InstallDriver(char* infFile, char* hardwareId, int* rebootRequired) BOARDKIT_NOEXCEPT {
    char inf[MAX_PATH];
    char id[MAX_PATH];
    // An argument that does not fit the buffers is refused before anything happens.
    if (infFile == nullptr || hardwareId == nullptr || !CopyArgument(infFile, inf) ||
        !CopyArgument(hardwareId, id)) {
        return false;
    }
    // Only PCI, PCI Express and USB boards are installed this way.
    const std::string upper = UpperCase(id);
    if (!Contains(upper, "PCI\\") && !Contains(upper, "USB\\")) {
        return false;
    }
    RefreshDevices();
    if (!FileFound(inf)) {
        return false;
    }
    // The reboot out-value is written only once the installer has been called.
    return RunDeviceInstaller(inf, id, rebootRequired) == ERROR_SUCCESS;
}

int32_t UpdateDriver(char* infFile, char* hardwareId, int* /*rebootRequired*/) BOARDKIT_NOEXCEPT {
    // Setup programs read this result: 0, 2 for a missing argument, or the installer's error.
    uint32_t state = 0;
    if (infFile == nullptr || hardwareId == nullptr) {
        state = kResultFailed;
    } else {
        // The caller's flag stays as it was: the installer gets a flag of this call's own.
        int reboot = 0;
        state = RunDeviceInstaller(infFile, hardwareId, &reboot);
    }
    std::printf("<==UpdateDriver, state=0x%x\n", static_cast<unsigned>(state));
    return static_cast<int32_t>(state);
}

uint32_t InstallNonPnpDriver(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT {
    int reboot = 0;
    return static_cast<uint32_t>(UpdateDriver(infFile, hardwareId, &reboot));
}

int32_t UpdateDemoDriver(char* infFile) {
    char demo[] = "DEMO";
    int reboot = 0;
    return UpdateDriver(infFile, demo, &reboot);
}

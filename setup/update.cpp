// UpdateNewDriver: the demo, legacy and plug-and-play paths of a driver update; for a
// plug-and-play board, the old package copies go, the new package is staged, and then the
// present board is updated or the absent board's entries are prepared for its return.
#include <cstdint>
#include <cstdio>
#include <string>

#include "boardkit/operations.h"
#include "catalog/catalog.h"
#include "catalog/results.h"
#include "catalog/text.h"
#include "platform/last_error.h"
#include "platform/unique.h"
#include "setup/device_properties.h"
#include "setup/install.h"
#include "setup/oem_inf.h"
#include "setup/system_paths.h"

namespace {

// CONFIGFLAG_REINSTALL (regstr.h, which windows.h does not bring in): the system installs the
// newest staged package for the entry when its board is next attached.
constexpr DWORD kConfigFlagReinstall = 0x00000020;

// The absent board's entries: lists are read into 4096 bytes, and an entry whose list cannot
// be read, or does not fit, is passed over while the rest are still marked.
constexpr HardwareIdReading kEntryReading{UnreadableIds::SkipDevice, 4096};

// Only an entry whose flags were read gets them back with the reinstall bit; an entry without
// any flags starts from none. Flags that could not be read are never written over.
void MarkEntry(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD flags = 0;
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_CONFIGFLAGS, &type,
                                           reinterpret_cast<BYTE*>(&flags), sizeof flags,
                                           nullptr)) {
        if (GetLastError() != ERROR_INVALID_DATA) {
            return;
        }
        flags = 0;
    }
    flags |= kConfigFlagReinstall;
    SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_CONFIGFLAGS,
                                      reinterpret_cast<const BYTE*>(&flags), sizeof flags);
}

enum class Staging { Staged, FirstCopyFailed, ReplaceFailed };

// Stages the package into the driver store, replacing an identical one already staged.
// `error` gets ERROR_SUCCESS, or the error of the copy that failed.
Staging StagePackage(const char* infFile, DWORD& error) {
    char destination[MAX_PATH] = {};
    error = ERROR_SUCCESS;
    if (SetupCopyOEMInfA(infFile, nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, destination, MAX_PATH,
                         nullptr, nullptr)) {
        return Staging::Staged;
    }
    error = platform::LastErrorOr(ERROR_GEN_FAILURE);
    if (error != ERROR_FILE_EXISTS) {
        return Staging::FirstCopyFailed;
    }
    if (SetupCopyOEMInfA(infFile, nullptr, SPOST_PATH, SP_COPY_REPLACEONLY, destination, MAX_PATH,
                         nullptr, nullptr)) {
        error = ERROR_SUCCESS;
        return Staging::Staged;
    }
    error = platform::LastErrorOr(ERROR_GEN_FAILURE);
    return Staging::ReplaceFailed;
}

// Sets the reinstall flag on every remembered entry of an absent board whose first hardware
// ID, upper-cased, contains `hardwareId`. False when the entries cannot be listed, or not to
// their end; `seen` tells whether any entry of the board exists, attached or not.
bool MarkEntriesForReinstall(const char* hardwareId, bool& seen) {
    seen = false;
    platform::UniqueDevInfo set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        return false;
    }
    // Entries past a failed enumeration were never looked at: the absent board may have some,
    // so the walk reports that it could not list them rather than that there are none.
    const DeviceScanEnd end = ForEachDeviceHardwareIds(
        set.get(), kEntryReading, [&](SP_DEVINFO_DATA& device, const char* ids) {
            // The ID is compared as the caller gave it: one in lower case matches no entry.
            if (!Contains(UpperCase(FirstHardwareId(ids)), hardwareId)) {
                return false;
            }
            seen = true;
            ULONG status = 0;
            ULONG problem = 0;
            if (CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_NO_SUCH_DEVNODE) {
                MarkEntry(set.get(), device);
            }
            return false;
        });
    return end != DeviceScanEnd::Failed;
}

int32_t UpdateDemoBoard(char* infFile) {
    // A mistyped path must cost nothing: the demo install sweeps the alias records before it
    // creates its node.
    if (!FileExists(infFile, Existence::FileOrFolder)) {
        return ERROR_FILE_NOT_FOUND;
    }
    int installed = 0;
    if (!IsDemoDeviceInstalled(&installed)) {
        return static_cast<int32_t>(kResultFailed);
    }
    return installed != 0 ? UpdateDemoDriver(infFile)
                          : static_cast<int32_t>(InstallDemoDevice(infFile));
}

int32_t UpdatePresentBoard(char* infFile, char* hardwareId) {
    int reboot = 0;
    const int32_t state = static_cast<int32_t>(RunDeviceInstaller(infFile, hardwareId, &reboot));
    UpdatePreinstallRecord(infFile, PreinstallMode::PresentDevice);
    return state;
}

int32_t UpdateAbsentBoard(char* infFile, char* hardwareId, DWORD stagingError) {
    // A package that is not in the driver store cannot be installed at the board's return.
    int32_t state = static_cast<int32_t>(stagingError);
    if (stagingError == ERROR_SUCCESS) {
        bool seen = false;
        if (!MarkEntriesForReinstall(hardwareId, seen)) {
            KillBoardkitAPTimer(0);
            return static_cast<int32_t>(kResultNotFound);
        }
        if (!seen) {
            UpdatePreinstallRecord(infFile, PreinstallMode::NoDevice);
        }
    }
    KillBoardkitAPTimer(0);
    std::printf("<==UpdateDriver, state=0x%x\n", static_cast<unsigned>(state));
    return state;
}

int32_t UpdatePnpBoard(char* infFile, char* hardwareId) {
    // A mistyped path must not cost the board its staged packages.
    if (!FileExists(infFile, Existence::FileOrFolder)) {
        return ERROR_FILE_NOT_FOUND;
    }
    char kernelKey[MAX_PATH] = {};
    KernelKeyOfInf(infFile, kernelKey);
    RemoveOemInfCopies(kernelKey);
    DWORD staged = ERROR_SUCCESS;
    // A failed replacing copy ends the update with its error; a failed first copy does not,
    // and the present board is then updated from the INF path given.
    if (StagePackage(infFile, staged) == Staging::ReplaceFailed) {
        return static_cast<int32_t>(staged);
    }
    RefreshDevices();
    bool timerStarted = false;
    if (!IsDeviceExist(hardwareId)) {
        KillBoardkitAPTimer(1);
        timerStarted = true;
        RefreshDevices();
    }
    if (IsDeviceExist(hardwareId)) {
        const int32_t state = UpdatePresentBoard(infFile, hardwareId);
        if (timerStarted) {
            KillBoardkitAPTimer(0);
        }
        return state;
    }
    return UpdateAbsentBoard(infFile, hardwareId, staged);
}

}  // namespace

int32_t UpdateNewDriver(char* infFile, char* hardwareId, int* /*reboot*/) BOARDKIT_NOEXCEPT {
    // An empty ID is contained in every catalog ID: it would select the demo row.
    if (infFile == nullptr || hardwareId == nullptr || *hardwareId == '\0' ||
        !FitsMaxPath(infFile) || !FitsMaxPath(hardwareId)) {
        return static_cast<int32_t>(kResultFailed);
    }
    const CatalogEntry* row = CatalogFindByHardwareIdContaining(UpperCase(hardwareId).c_str());
    if (row == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    if (Contains(row->busType, "DEMO")) {
        return UpdateDemoBoard(infFile);
    }
    if (Contains(row->busType, "ISA")) {
        return static_cast<int32_t>(InstallIsaDevicePnp(infFile, hardwareId));
    }
    return UpdatePnpBoard(infFile, hardwareId);
}

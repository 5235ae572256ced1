// The hand-built legacy device node: a root-enumerated node in the INF's class, its hardware
// ID, the chosen resources as compatible IDs, and the best driver of that one INF.
#include "legacy/device_node.h"

#include <cstdio>
#include <cstring>

#include "boardkit/operations.h"
#include "catalog/results.h"
#include "platform/last_error.h"
#include "platform/unique.h"

LegacyDeviceNode CurrentDeviceNode = {nullptr, {}};

namespace {

constexpr std::size_t kClassNameSize = 32;
// The six strings of the longest record are 4 + 5 * 8 hex digits plus terminators: 51 bytes.
constexpr std::size_t kResourceRecordSize = 256;

// InstallSelectedDriver as newdev.dll exports it (documented; the MinGW headers lack it).
typedef BOOL(WINAPI* InstallSelectedDriverProc)(HWND parent, HDEVINFO deviceInfoSet,
                                                LPCWSTR reserved, BOOL backup, PDWORD reboot);

// Appends `text` and its terminator at `offset`; the record's buffer always has room, since the
// values are at most eight hex digits each.
std::size_t AppendString(char* record, std::size_t offset, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(record + offset, text, length + 1);
    return offset + length + 1;
}

std::size_t AppendHex(char* record, std::size_t offset, uint32_t value) {
    char digits[12] = {};
    std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(value));
    return AppendString(record, offset, digits);
}

// The node's steps after a valid set: the element, its hardware ID, its registration.
DWORD CreateAndRegister(const char* className, const GUID& classGuid, const char* hardwareIds,
                        DWORD hardwareIdBytes) {
    HDEVINFO set = CurrentDeviceNode.deviceInfoSet;
    SP_DEVINFO_DATA* element = &CurrentDeviceNode.deviceInfoData;
    if (!SetupDiCreateDeviceInfoA(set, className, &classGuid, nullptr, nullptr, DICD_GENERATE_ID,
                                  element) ||
        !SetupDiSetDeviceRegistryPropertyA(set, element, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(hardwareIds),
                                           hardwareIdBytes) ||
        !SetupDiRegisterDeviceInfo(set, element, 0, nullptr, nullptr, nullptr)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

// Steps before newdev is loaded: select the node, point the installer at the one INF, and let
// the class installer pick the best compatible driver from it.
DWORD SelectBestDriver(HDEVINFO set, SP_DEVINFO_DATA* element, const char* infPath) {
    if (!SetupDiSetSelectedDevice(set, element)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof params;
    if (!SetupDiGetDeviceInstallParamsA(set, element, &params)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    params.Flags |= DI_ENUMSINGLEINF | DI_NOBROWSE;
    const std::size_t length = std::strlen(infPath);
    if (length >= sizeof params.DriverPath) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(params.DriverPath, infPath, length + 1);
    params.FlagsEx |= DI_FLAGSEX_ALLOWEXCLUDEDDRVS;
    if (!SetupDiSetDeviceInstallParamsA(set, element, &params) ||
        !SetupDiBuildDriverInfoList(set, element, SPDIT_COMPATDRIVER) ||
        !SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set, element)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    SP_DRVINFO_DATA_V2_A driver = {};
    driver.cbSize = sizeof driver;
    if (!SetupDiGetSelectedDriverA(set, element, &driver)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

// "<system folder>\NEWDEV.DLL", or 0 with the path; ERROR_INSUFFICIENT_BUFFER when it does not
// fit MAX_PATH.
DWORD NewdevPath(char (&path)[MAX_PATH]) {
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    static const char kName[] = "\\NEWDEV.DLL";
    if (length >= MAX_PATH || length + sizeof kName > MAX_PATH) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(path + length, kName, sizeof kName);
    return ERROR_SUCCESS;
}

DWORD RunInstallSelectedDriver(HDEVINFO set, const char* newdevPath, DWORD* rebootRequired) {
    // A full path, and newdev's own dependencies searched from its folder first: nothing of a
    // host's folder or of the current directory takes part.
    platform::UniqueLibrary library(
        LoadLibraryExA(newdevPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) {
        return platform::LastErrorOr(ERROR_MOD_NOT_FOUND);
    }
    const auto install = reinterpret_cast<InstallSelectedDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "InstallSelectedDriver")));
    if (install == nullptr) {
        return platform::LastErrorOr(ERROR_PROC_NOT_FOUND);
    }
    DWORD reboot = 0;
    const DWORD result = install(nullptr, set, nullptr, TRUE, &reboot)
                             ? ERROR_SUCCESS
                             : platform::LastErrorOr(ERROR_GEN_FAILURE);
    if (rebootRequired != nullptr) {
        *rebootRequired = reboot;
    }
    return result;
}

}  // namespace

uint32_t CreateDeviceNode(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT {
    if (infFile == nullptr || hardwareId == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // A longer ID cut to fit would name another board: refuse it before anything is made.
    const std::size_t idLength = std::strlen(hardwareId);
    if (idLength > kNodeHardwareIdBufferSize - 2) {
        return ERROR_INVALID_PARAMETER;
    }
    char hardwareIds[kNodeHardwareIdBufferSize] = {};
    std::memcpy(hardwareIds, hardwareId, idLength + 1);

    GUID classGuid = {};
    char className[kClassNameSize] = {};
    if (!SetupDiGetINFClassA(infFile, &classGuid, className, kClassNameSize, nullptr)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    CurrentDeviceNode.deviceInfoData.cbSize = sizeof(SP_DEVINFO_DATA);
    // Kept at once, valid or not: SetResource tells a failed list from no node at all.
    CurrentDeviceNode.deviceInfoSet = SetupDiCreateDeviceInfoList(&classGuid, nullptr);
    if (CurrentDeviceNode.deviceInfoSet == INVALID_HANDLE_VALUE) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    return CreateAndRegister(className, classGuid, hardwareIds, static_cast<DWORD>(idLength + 2));
}

uint32_t SetResource(uint32_t ioBase, uint32_t ioLength, uint32_t irq, uint32_t irq2,
                     uint32_t dma) BOARDKIT_NOEXCEPT {
    if (CurrentDeviceNode.deviceInfoSet == INVALID_HANDLE_VALUE) {
        return kResultNoDeviceInfoSet;
    }
    char record[kResourceRecordSize] = {};
    std::size_t size = AppendString(record, 0, "Init");
    for (uint32_t value : {ioBase, ioLength, irq, irq2, dma}) {
        size = AppendHex(record, size, value);
    }
    ++size;  // the list's closing terminator, already zero in the buffer
    const BOOL written = SetupDiSetDeviceRegistryPropertyA(
        CurrentDeviceNode.deviceInfoSet, &CurrentDeviceNode.deviceInfoData, SPDRP_COMPATIBLEIDS,
        reinterpret_cast<const BYTE*>(record), static_cast<DWORD>(size));
    return written ? 0 : 1;
}

uint32_t DeleteDeviceNode() BOARDKIT_NOEXCEPT {
    const uint32_t result =
        SetupDiRemoveDevice(CurrentDeviceNode.deviceInfoSet, &CurrentDeviceNode.deviceInfoData) ? 0
                                                                                                : 5;
    SetupDiDestroyDeviceInfoList(CurrentDeviceNode.deviceInfoSet);
    CurrentDeviceNode.deviceInfoSet = nullptr;
    return result;
}

void CloseDeviceNode() BOARDKIT_NOEXCEPT {
    SetupDiDestroyDeviceInfoList(CurrentDeviceNode.deviceInfoSet);
    CurrentDeviceNode.deviceInfoSet = nullptr;
}

DWORD InstallIsaDriver(HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData, char* infPath,
                       DWORD* rebootRequired) {
    if (infPath == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (DWORD error = SelectBestDriver(deviceInfoSet, deviceInfoData, infPath)) {
        return error;
    }
    char newdev[MAX_PATH] = {};
    if (DWORD error = NewdevPath(newdev)) {
        return error;
    }
    const DWORD result = RunInstallSelectedDriver(deviceInfoSet, newdev, rebootRequired);
    std::printf("InstallIsaDriver, state=0x%x\n", static_cast<unsigned>(result));
    return result;
}

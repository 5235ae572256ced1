// Pre-installing driver packages into the driver store, and the software demo device: a
// root-enumerated node with a board number of its own and the demo driver.
#include "setup/preinstall.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "catalog/results.h"
#include "config/store.h"
#include "legacy/device_node.h"
#include "platform/last_error.h"
#include "platform/unique.h"
#include "setup/device_properties.h"
#include "setup/install.h"
#include "setup/system_paths.h"

namespace {

// The demo query reads lists as the presence queries do: one that cannot be read ends it.
constexpr HardwareIdReading kDemoReading{UnreadableIds::EndScan, 0};

// Stages the package without replacing a copy already there; `copyName` receives the name of
// the copy in the store, also when the call fails because the package is already staged.
bool CopyToStore(char* infFile, char (&copyName)[MAX_PATH]) {
    return SetupCopyOEMInfA(infFile, nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, copyName, MAX_PATH,
                            nullptr, nullptr) != FALSE;
}

// Collects the board numbers that the demo records (ProductID 0) hold, over every subkey
// whose name begins with "De". A subkey without a ProductID is no demo record and is passed
// over. 0, or kResultNotFound when some subkey may hold a number that cannot be learnt: the
// store is there but cannot be opened, the names cannot all be enumerated, a subkey cannot be
// opened, a ProductID is there but cannot be read, or a demo record's BoardID cannot be read. A
// number that may be taken is never handed out, or two demo devices would share one and their
// records could not be told apart.
uint32_t UsedBoardNumbers(std::vector<uint32_t>& used) {
    uint32_t result = 0;
    const NameScanEnd end = ForEachConfigurationName([&](ConfigurationRecord& record) {
        if (!BeginsWithDe(record.name)) {
            return RecordScanStep::Continue;
        }
        platform::UniqueHKey key;
        if (OpenRecord(record.root, record.name, key) != ERROR_SUCCESS) {
            result = kResultNotFound;
            return RecordScanStep::Stop;
        }
        uint32_t productId = 0;
        LSTATUS status = ERROR_SUCCESS;
        if (!ReadRecordNumber(key.get(), "ProductID", productId, &status)) {
            if (status == ERROR_FILE_NOT_FOUND) {
                return RecordScanStep::Continue;
            }
            result = kResultNotFound;
            return RecordScanStep::Stop;
        }
        if (productId != 0) {
            return RecordScanStep::Continue;
        }
        uint32_t boardId = 0;
        if (!ReadRecordNumber(key.get(), "BoardID", boardId)) {
            result = kResultNotFound;
            return RecordScanStep::Stop;
        }
        used.push_back(boardId);
        return RecordScanStep::Continue;
    });
    // Only a store that is not there holds no number; one that cannot be opened may.
    if (end == NameScanEnd::EnumerationFailed ||
        (end == NameScanEnd::NoRoot && GetLastError() != ERROR_FILE_NOT_FOUND)) {
        return kResultNotFound;
    }
    return result;
}

bool Contains(const std::vector<uint32_t>& numbers, uint32_t n) {
    for (uint32_t used : numbers) {
        if (used == n) {
            return true;
        }
    }
    return false;
}

// True when a present device carries "DEMO" (exactly) among its hardware IDs.
bool DemoDevicePresent(HDEVINFO set) {
    bool found = false;
    ForEachDeviceHardwareIds(set, kDemoReading, [&](SP_DEVINFO_DATA&, const char* ids) {
        found = AnyHardwareId(ids, [](std::string_view id) { return id == "DEMO"; });
        return found;
    });
    return found;
}

// Writes the board number as the node's location. 0, or the write's error.
DWORD WriteLocation(const char (&text)[kBoardNumberTextSize]) {
    // The three digits and two zero bytes, as the framework reads the location back.
    const DWORD bytes = static_cast<DWORD>(std::strlen(text) + 2);
    if (!SetupDiSetDeviceRegistryPropertyA(
            CurrentDeviceNode.deviceInfoSet, &CurrentDeviceNode.deviceInfoData,
            SPDRP_LOCATION_INFORMATION, reinterpret_cast<const BYTE*>(text), bytes)) {
        return platform::LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

}  // namespace

uint32_t AllocateBoardNumber(uint32_t* boardNumber) {
    std::vector<uint32_t> used;
    if (const uint32_t error = UsedBoardNumbers(used)) {
        return error;
    }
    uint32_t n = 0;
    while (Contains(used, n)) {
        ++n;
    }
    if (n > kLastBoardNumber) {
        return kResultTaken;
    }
    if (boardNumber != nullptr) {
        *boardNumber = n;
    }
    return 0;
}

void FormatBoardNumber(uint32_t boardNumber, char (&text)[kBoardNumberTextSize]) {
    std::memset(text, 0, sizeof text);
    // Allocation never gives more than 999, so three digits always fit.
    std::snprintf(text, sizeof text, "%03u", static_cast<unsigned>(boardNumber % 1000));
}

bool PreInstallDriver(char* infFile) BOARDKIT_NOEXCEPT {
    if (infFile == nullptr) {
        return false;
    }
    char copyName[MAX_PATH] = {};
    return CopyToStore(infFile, copyName);
}

bool DeletePreInstallDriverFiles(char* infFile) BOARDKIT_NOEXCEPT {
    if (infFile == nullptr) {
        return false;
    }
    // Only the copy's name is wanted: a staged package fails the call and still names its copy.
    char copyName[MAX_PATH] = {};
    CopyToStore(infFile, copyName);
    if (copyName[0] == '\0') {
        return false;
    }
    const std::string fileName(FileNamePart(copyName));
    return SetupUninstallOEMInfA(fileName.c_str(), SUOI_FORCEDELETE, nullptr) != FALSE;
}

uint32_t InstallDemoDevice(char* infFile) BOARDKIT_NOEXCEPT {
    if (infFile == nullptr) {
        return kResultFailed;
    }
    uint32_t boardNumber = 0;
    if (const uint32_t error = AllocateBoardNumber(&boardNumber)) {
        return error;
    }
    char location[kBoardNumberTextSize];
    FormatBoardNumber(boardNumber, location);
    SweepAliasRecords();
    char demoHardwareIds[] = "DEMO\0";  // the ID, its terminator and the list's terminator
    if (const uint32_t error = CreateDeviceNode(infFile, demoHardwareIds)) {
        return error;
    }
    // A node whose later step fails goes: a demo node without its board number could never be
    // matched to its record, and one without its driver is no demo device.
    auto removeNode = platform::MakeScopeGuard([] { DeleteDeviceNode(); });
    if (const DWORD error = WriteLocation(location)) {
        return error;
    }
    const int32_t result = UpdateDemoDriver(infFile);
    if (result == 0) {
        removeNode.release();
        CloseDeviceNode();
    }
    return static_cast<uint32_t>(result);
}

bool IsDemoDeviceInstalled(int* installed) BOARDKIT_NOEXCEPT {
    platform::UniqueDevInfo set(SetupDiGetClassDevsA(&kBoardDeviceClassGuid, nullptr, nullptr,
                                                     DIGCF_PRESENT | DIGCF_ALLCLASSES));
    const bool found = set && DemoDevicePresent(set.get());
    if (installed != nullptr) {
        *installed = found ? 1 : 0;
    }
    return true;
}

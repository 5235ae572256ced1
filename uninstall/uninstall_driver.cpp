// UninstallDriver: everything one board driver left in the system, by kernel key; and
// RemoveDevice, the removal of device entries by hardware ID.
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/catalog.h"
#include "catalog/text.h"
#include "config/store.h"
#include "setup/device_properties.h"
#include "setup/oem_inf.h"
#include "uninstall/uninstall.h"

namespace {

// RemoveDevice reads lists into 4096 bytes and passes over an entry whose list cannot be
// read or does not fit.
constexpr HardwareIdReading kEntryReading{UnreadableIds::SkipDevice, 4096};

// The INF copy that the last device found through a record was installed from: the name
// buffer is cleared before each read, so a failed last read leaves it empty.
struct InfCopySeen {
    char name[MAX_PATH] = {};
    bool found = false;
};

// Removes the device node, the record and its map entry of one matching record. A record
// whose name carries no device number has no device or map entry this program can name.
void RemoveMatchingRecord(ConfigurationRecord& record, InfCopySeen& seen) {
    if (!record.numbered) {
        DeleteRecordAndMapEntry(record);
        return;
    }
    const uint32_t number = record.deviceNumber;
    platform::UniqueDevInfo set;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (FindConfiguredDevice(number, set, device) == 0 && set) {
        std::memset(seen.name, 0, sizeof seen.name);
        if (GetDeviceInfPath(set.get(), &device, seen.name)) {
            seen.found = true;
        }
    }
    set.reset();
    UnloadDevice(static_cast<int32_t>(number));
    DeleteRecordAndMapEntry(record);
}

void RemoveRecordsOf(const std::string& kernelKey, InfCopySeen& seen) {
    ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        char value[kKernelKeyWidth] = {};
        if (!ReadRecordText(record.key, "KernelKey", value, sizeof value)) {
            return RecordScanStep::Stop;
        }
        if (UpperCase(value) == kernelKey) {
            RemoveMatchingRecord(record, seen);
        }
        return RecordScanStep::Continue;
    });
}

}  // namespace

int32_t UninstallDriver(char* kernelKey) BOARDKIT_NOEXCEPT {
    // An empty key is contained in every row's key; it names no driver.
    if (kernelKey == nullptr || *kernelKey == '\0' ||
        CatalogFindByKernelKey(kernelKey) == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    {
        platform::UniqueHKey root;
        if (!OpenConfigurationRoot(root)) {
            return static_cast<int32_t>(kResultNotFound);
        }
    }
    UpperCaseInPlace(kernelKey);
    InfCopySeen seen;
    RemoveRecordsOf(kernelKey, seen);
    // The name read last, and nothing when that read failed.
    if (seen.found && seen.name[0] != '\0') {
        DeleteOemInfFile(seen.name);
    }
    RemoveOemInfCopies(kernelKey);
    const int32_t result = DeleteDriverFile(kernelKey);
    RemovePreinstallRecord(kernelKey);
    SweepAliasRecords();
    return result;
}

bool RemoveDevice(char* hardwareId) BOARDKIT_NOEXCEPT {
    // An empty text is contained in every hardware ID: it would remove every device entry.
    if (hardwareId == nullptr || *hardwareId == '\0') {
        return false;
    }
    const std::string wanted = UpperCase(hardwareId);
    platform::UniqueDevInfo set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        return false;
    }
    bool result = true;
    const DeviceScanEnd end = ForEachDeviceHardwareIds(
        set.get(), kEntryReading, [&](SP_DEVINFO_DATA& device, const char* ids) {
            if (Contains(UpperCase(FirstHardwareId(ids)), wanted)) {
                result = SetupDiRemoveDevice(set.get(), &device) != FALSE;
            }
            return false;
        });
    return end == DeviceScanEnd::Failed ? false : result;
}

// Removal of configuration records with their map entries, by kernel key, product ID or
// device number. Device nodes, drivers and files are left as they are.
#include <string>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "config/store.h"

namespace {

// Deletes the visited record and then its map entry. A record that stays (it has subkeys, or
// access is denied) keeps its map entry, so the framework's two halves never disagree.
void RemoveVisitedRecord(ConfigurationRecord& record) {
    if (DeleteVisitedRecord(record) && record.numbered) {
        DeleteMapEntry(record.deviceNumber);
    }
}

}  // namespace

uint32_t RemoveConfigurationByKernelKey(char* kernelKey) BOARDKIT_NOEXCEPT {
    if (kernelKey == nullptr) {
        return kResultFailed;
    }
    // A key longer than any record's KernelKey matches nothing, cut or not.
    const std::string wanted = UpperCase(kernelKey);
    return ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        char recorded[kKernelKeyWidth] = {};
        if (ReadRecordText(record.key, "KernelKey", recorded, sizeof recorded) &&
            UpperCase(recorded) == wanted) {
            RemoveVisitedRecord(record);
        }
        return RecordScanStep::Continue;
    });
}

uint32_t RemoveConfigurationByProductID(uint32_t productId) BOARDKIT_NOEXCEPT {
    return ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        uint32_t recorded = 0;
        if (ReadRecordNumber(record.key, "ProductID", recorded) && recorded == productId) {
            RemoveVisitedRecord(record);
        }
        return RecordScanStep::Continue;
    });
}

uint32_t RemoveConfigurationByDeviceNum(uint32_t deviceNumber) BOARDKIT_NOEXCEPT {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return kResultNotFound;
    }
    const std::string name = ConfigurationKeyName(deviceNumber);
    platform::UniqueHKey record;
    if (RegOpenKeyExA(root.get(), name.c_str(), 0, KEY_ALL_ACCESS, record.put()) != ERROR_SUCCESS) {
        return 0;
    }
    record.reset();
    if (RegDeleteKeyA(root.get(), name.c_str()) == ERROR_SUCCESS) {
        DeleteMapEntry(deviceNumber);
    }
    return 0;
}

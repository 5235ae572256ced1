// Removal of configuration records with their map entries, by kernel key, product ID or
// device number. Device nodes, drivers and files are left as they are.
#include <string>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "config/store.h"

namespace {}  // namespace

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
            DeleteRecordAndMapEntry(record);
        }
        return RecordScanStep::Continue;
    });
}

uint32_t RemoveConfigurationByProductID(uint32_t productId) BOARDKIT_NOEXCEPT {
    return ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        uint32_t recorded = 0;
        if (ReadRecordNumber(record.key, "ProductID", recorded) && recorded == productId) {
            DeleteRecordAndMapEntry(record);
        }
        return RecordScanStep::Continue;
    });
}

uint32_t RemoveConfigurationByDeviceNum(uint32_t deviceNumber) BOARDKIT_NOEXCEPT {
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return kResultNotFound;
    }
    // The record is looked up by its formatted name only, and deleted only when it opens.
    const std::string name = ConfigurationKeyName(deviceNumber);
    platform::UniqueHKey key;
    if (OpenRecord(root.get(), name.c_str(), key) != ERROR_SUCCESS) {
        return 0;
    }
    ConfigurationRecord record;
    record.root = root.get();
    record.owner = std::move(key);
    record.key = record.owner.get();
    record.name = name.c_str();
    record.numbered = true;
    record.deviceNumber = deviceNumber;
    DeleteRecordAndMapEntry(record);
    return 0;
}

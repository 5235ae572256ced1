// Installing a legacy board on a hand-built node without the resource dialog
// (InstallIsaDevicePnp), the boards' I/O range lengths, and refreshing the drivers of the
// legacy boards present. The install through the dialog is isa_dialog_install.cpp.
#include "legacy/legacy_install.h"

#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/results.h"
#include "catalog/text.h"
#include "legacy/device_node.h"
#include "platform/unique.h"
#include "setup/device_properties.h"
#include "setup/install.h"

namespace {

struct RangeLength {
    const char* hardwareId;
    uint32_t ports;
};

// How many I/O ports each ISA board decodes.
const RangeLength kRangeLengths[] = {
    {"IX104", 4},  {"IX108", 4},  {"IA302", 4},  {"IA304", 4},
    {"IX208", 16}, {"IX216", 16}, {"IC404", 16}, {"IR508", 32},
};

constexpr uint32_t kDefaultRangeLength = 16;
// A list that cannot be read ends the collection with no rows.
constexpr HardwareIdReading kIsaRowReading{UnreadableIds::EndScan, 0};

bool Listed(const CatalogEntry* rows, std::size_t count, const char* hardwareId) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::strcmp(rows[i].hardwareId, hardwareId) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t GetIsaRangeLength(const char* hardwareId) {
    if (hardwareId == nullptr) {
        return kDefaultRangeLength;
    }
    for (const RangeLength& entry : kRangeLengths) {
        if (std::strcmp(entry.hardwareId, hardwareId) == 0) {
            return entry.ports;
        }
    }
    return kDefaultRangeLength;
}

std::size_t CollectIsaCatalogRows(CatalogEntry (&rows)[kIsaUpdateListSize],
                                  const char* hardwareIdText) {
    if (hardwareIdText == nullptr) {
        return 0;
    }
    // The class is asked for, but DIGCF_ALLCLASSES makes the system ignore it.
    platform::UniqueDevInfo set(SetupDiGetClassDevsA(&kBoardDeviceClassGuid, nullptr, nullptr,
                                                     DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set) {
        return 0;
    }
    CatalogEntry collected[kIsaUpdateListSize] = {};
    std::size_t count = 0;
    const DeviceScanEnd end =
        ForEachDeviceHardwareIds(set.get(), kIsaRowReading, [&](SP_DEVINFO_DATA&, const char* ids) {
            const std::string first = UpperCase(FirstHardwareId(ids));
            if (!Contains(first, hardwareIdText)) {
                return false;
            }
            const CatalogEntry* row = CatalogFindByDeviceHardwareIdEqualAsStored(first.c_str());
            // The list holds 16 rows; further distinct boards are left out, never overrun it.
            if (row != nullptr && !Listed(collected, count, row->hardwareId) &&
                count < kIsaUpdateListSize) {
                collected[count++] = *row;
            }
            return false;
        });
    if (end == DeviceScanEnd::Failed) {
        return 0;
    }
    for (std::size_t i = 0; i < count; ++i) {
        rows[i] = collected[i];
    }
    return count;
}

uint32_t InstallIsaDevicePnp(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT {
    if (const uint32_t error = CreateDeviceNode(infFile, hardwareId)) {
        return error;
    }
    auto removeNode = platform::MakeScopeGuard([] { DeleteDeviceNode(); });
    int reboot = 0;
    const int32_t result = UpdateDriver(infFile, hardwareId, &reboot);
    if (result == 0) {
        removeNode.release();
        CloseDeviceNode();
    }
    return static_cast<uint32_t>(result);
}

int32_t UpdateIsaDriver(char* infFile, char* hardwareId, int*) BOARDKIT_NOEXCEPT {
    if (infFile == nullptr || hardwareId == nullptr) {
        return static_cast<int32_t>(kResultFailed);
    }
    CatalogEntry rows[kIsaUpdateListSize] = {};
    const std::size_t count = CollectIsaCatalogRows(rows, hardwareId);
    int32_t last = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // UpdateDriver takes a modifiable text; catalog IDs are far shorter than MAX_PATH.
        std::string id = rows[i].hardwareId;
        int reboot = 0;
        last = UpdateDriver(infFile, &id[0], &reboot);
    }
    return last != 0 ? static_cast<int32_t>(kResultFailed) : 0;
}

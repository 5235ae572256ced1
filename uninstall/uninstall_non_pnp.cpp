// UninstallNonePnpDriver: the devices of a package installed without Plug and Play, by
// hardware-ID prefix, then the package's records, INF copies and driver files.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "boardkit/operations.h"
#include "setup/device_properties.h"
#include "setup/oem_inf.h"
#include "uninstall/uninstall.h"

namespace {

// A device that could not be removed, as the result of a walk that ends early.
constexpr uint32_t kRemovalFailed = 5;
// A list that cannot be read ends the walk before records and files are touched.
constexpr HardwareIdReading kPrefixReading{UnreadableIds::EndScan, 0};

struct PrefixWalk {
    std::string_view prefix;
    bool matched = false;
    bool infRead = false;
    char infName[MAX_PATH] = {};
    uint32_t result = 0;
};

// Every string of the list that begins with the prefix sends the device to removal, so a
// device with two such IDs is removed twice (the second attempt finds it gone).
void RemoveMatchingDevice(HDEVINFO set, SP_DEVINFO_DATA& device, const char* ids,
                          PrefixWalk& walk) {
    AnyHardwareId(ids, [&](std::string_view id) {
        if (id.substr(0, walk.prefix.size()) != walk.prefix) {
            return false;
        }
        walk.matched = true;
        if (GetDeviceInfPath(set, &device, walk.infName)) {
            walk.infRead = true;
        }
        if (!SetupDiRemoveDevice(set, &device)) {
            walk.result = kRemovalFailed;
        }
        return false;
    });
}

}  // namespace

uint32_t UninstallNonePnpDriver(char* infFile, char* hardwareIdPrefix) BOARDKIT_NOEXCEPT {
    // An empty prefix begins every hardware ID: it would remove every present device.
    if (infFile == nullptr || hardwareIdPrefix == nullptr || *hardwareIdPrefix == '\0') {
        return kResultFailed;
    }
    PrefixWalk walk;
    walk.prefix = hardwareIdPrefix;
    platform::UniqueDevInfo set(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (set) {
        const DeviceScanEnd end = ForEachDeviceHardwareIds(
            set.get(), kPrefixReading, [&](SP_DEVINFO_DATA& device, const char* ids) {
                RemoveMatchingDevice(set.get(), device, ids, walk);
                return false;
            });
        // A list that cannot be read leaves the package's records and files alone.
        if (end == DeviceScanEnd::Failed) {
            return walk.result;
        }
    }
    char kernelKey[MAX_PATH] = {};
    KernelKeyOfInf(infFile, kernelKey);
    uint32_t result = RemoveConfigurationByKernelKey(kernelKey);
    if (walk.matched && walk.infRead) {
        result = static_cast<uint32_t>(DeleteOemInfFile(walk.infName));
    }
    char copy[MAX_PATH] = {};
    if (FindOemInfForKernelKey(kernelKey, copy)) {
        DeleteOemInfFile(copy);
    }
    std::printf("DeleteDriverFile entry\n");
    DeleteDriverFile(kernelKey);
    return result;
}

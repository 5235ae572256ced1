// Enable, disable and unload by configuration record.
#include "config/device_state.h"

#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "config/store.h"
#include "platform/last_error.h"
#include "platform/unique.h"

namespace {

bool SetPropertyChange(HDEVINFO set, SP_DEVINFO_DATA& device, DeviceStateChange change) {
    SP_PROPCHANGE_PARAMS params;
    std::memset(&params, 0, sizeof params);
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = change.stateChange;
    params.Scope = change.scope;
    params.HwProfile = 0;
    return SetupDiSetClassInstallParamsA(set, &device, &params.ClassInstallHeader, sizeof params) !=
           FALSE;
}

// The restart answer, read only where the final change could not even be prepared.
void ReportRestart(HDEVINFO set, SP_DEVINFO_DATA& device, int* reboot) {
    SP_DEVINSTALL_PARAMS_A params;
    std::memset(&params, 0, sizeof params);
    params.cbSize = sizeof params;
    const bool read = SetupDiGetDeviceInstallParamsA(set, &device, &params) != FALSE;
    if (reboot != nullptr) {
        *reboot = (read && (params.Flags & kRestartFlags) != 0) ? 1 : 0;
    }
}

int32_t ChangeRecordDevices(char* kernelKey, uint32_t enable) {
    if (kernelKey == nullptr) {
        return kResultFailed;
    }
    platform::UniqueHKey root;
    if (!OpenConfigurationRoot(root)) {
        return static_cast<int32_t>(kResultNotFound);
    }
    root.reset();
    // The caller sees its text upper-cased, as it always has.
    UpperCaseInPlace(kernelKey);
    const std::string wanted = kernelKey;
    ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        char text[kKernelKeyWidth];
        if (!record.numbered || !ReadRecordText(record.key, "KernelKey", text, sizeof text)) {
            return RecordScanStep::Continue;
        }
        if (UpperCase(text) == wanted) {
            int reboot = 0;
            EnableOrDisableDevice(enable, static_cast<int32_t>(record.deviceNumber), &reboot);
        }
        return RecordScanStep::Continue;
    });
    return 0;
}

}  // namespace

int32_t EnableOrDisableDevice(uint32_t enable, int32_t deviceNumber,
                              int* reboot) BOARDKIT_NOEXCEPT {
    platform::UniqueDevInfo set;
    SP_DEVINFO_DATA device;
    std::memset(&device, 0, sizeof device);
    const uint32_t found = FindConfiguredDevice(static_cast<uint32_t>(deviceNumber), set, device);
    if (found != 0) {
        return static_cast<int32_t>(found);
    }
    if (!set) {
        return 0;  // the record's product is not one of ours: nothing to change
    }
    DeviceStateChange last = kDisableHere;
    if (enable != 0) {
        // A global disable outranks the profile's enable, so it is lifted first; whether it
        // held is not a failure of this operation.
        if (SetPropertyChange(set.get(), device, kEnableGlobally)) {
            SetupDiChangeState(set.get(), &device);
        }
        last = kEnableHere;
    }
    if (!SetPropertyChange(set.get(), device, last)) {
        const DWORD error = platform::LastErrorOr(ERROR_GEN_FAILURE);
        ReportRestart(set.get(), device, reboot);
        return static_cast<int32_t>(error);
    }
    if (!SetupDiChangeState(set.get(), &device)) {
        return static_cast<int32_t>(platform::LastErrorOr(ERROR_GEN_FAILURE));
    }
    return 0;
}

int32_t EnableDevices(char* kernelKey) BOARDKIT_NOEXCEPT {
    return ChangeRecordDevices(kernelKey, 1);
}

int32_t DisableDevices(char* kernelKey) BOARDKIT_NOEXCEPT {
    return ChangeRecordDevices(kernelKey, 0);
}

int32_t UnloadDevice(int32_t deviceNumber) BOARDKIT_NOEXCEPT {
    platform::UniqueDevInfo set;
    SP_DEVINFO_DATA device;
    std::memset(&device, 0, sizeof device);
    uint32_t result = FindConfiguredDevice(static_cast<uint32_t>(deviceNumber), set, device);
    if (result == 0 && set && device.DevInst != 0) {
        result = SetupDiRemoveDevice(set.get(), &device) ? 0 : kResultNotFound;
    }
    return static_cast<int32_t>(result);
}

// Installing a legacy board with the resources the user picks in the "ISA Device Configure"
// dialog: the node is made first, so that the dialog can check the choice against it.
#include <cstdint>

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "legacy/legacy_install.h"
#include "legacy/resource_dialog.h"
#include "platform/last_error.h"
#include "platform/unique.h"

namespace {

constexpr int kDialogTemplate = 102;
constexpr INT_PTR kDialogOk = 1;

// The dialog path of both InstallIsaDevice forms, once the node exists and the range is set.
uint32_t ChooseResourcesAndInstall(char* infFile) {
    // A node whose resources were not chosen or not written goes.
    auto removeNode = platform::MakeScopeGuard([] { DeleteDeviceNode(); });
    const INT_PTR choice = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kDialogTemplate), nullptr,
                                           IsaConfigDialogProc, 0);
    if (choice != kDialogOk) {
        // A dialog that could not be shown is a failure, not a user's Cancel.
        return choice == -1 ? platform::LastErrorOr(ERROR_GEN_FAILURE) : 0;
    }
    const uint32_t written =
        SetResource(IsaResourceSelection.ioBase, IsaResourceSelection.rangeLength,
                    IsaResourceSelection.irq, IsaResourceSelection.irq2, IsaResourceSelection.dma);
    if (written != 0) {
        return written;
    }
    // From here the node stays, whatever the driver install answers.
    removeNode.release();
    DWORD reboot = 0;
    const DWORD result = InstallIsaDriver(CurrentDeviceNode.deviceInfoSet,
                                          &CurrentDeviceNode.deviceInfoData, infFile, &reboot);
    CloseDeviceNode();
    return result;
}

uint32_t InstallWithRange(char* infFile, char* hardwareId, uint32_t rangeLength) {
    if (const uint32_t error = CreateDeviceNode(infFile, hardwareId)) {
        return error;
    }
    IsaResourceSelection.rangeLength = rangeLength;
    return ChooseResourcesAndInstall(infFile);
}

}  // namespace

uint32_t InstallIsaDevice(char* infFile, char* hardwareId) BOARDKIT_NOEXCEPT {
    return InstallWithRange(infFile, hardwareId, GetIsaRangeLength(hardwareId));
}

uint32_t InstallIsaDeviceEx(char* infFile, char* hardwareId, uint32_t ioLength) BOARDKIT_NOEXCEPT {
    return InstallWithRange(infFile, hardwareId, ioLength);
}

// DeleteOemInfFile: removal of one OEM INF copy with its package from the driver store.
#include "boardkit/operations.h"
#include "platform/win32.h"

int32_t DeleteOemInfFile(char* oemFile) BOARDKIT_NOEXCEPT {
    if (oemFile == nullptr) {
        return 2;
    }
    // SUOI_FORCEDELETE: the package goes even while a device still uses it.
    if (SetupUninstallOEMInfA(oemFile, SUOI_FORCEDELETE, nullptr)) {
        return 0;
    }
    return static_cast<int32_t>(GetLastError());
}

// The handlers of the device lists and of the removal of configuration records.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

// A list command answers yes only when its operation reports the file as written (1, or 0 for
// the driverless list); any other value, a failure code included, is no.
int32_t GetDeviceInstalledListCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                      char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return YesOrNo(GetDeviceInstalledList(argv[0]) == 1);
}

int32_t GetDevicePreinstalledListCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                         char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return YesOrNo(GetDevicePreinstalledList(argv[0]) == 1);
}

int32_t GetDeviceExistNotInstalledListCommand(const char*, const char* machine, uint32_t,
                                              int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return YesOrNo(GetDeviceExistNotInstalledList(argv[0]) == 0);
}

int32_t RemoveConfigurationByKernelKeyCommand(const char*, const char* machine, uint32_t,
                                              int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(RemoveConfigurationByKernelKey(argv[0]) == 0);
}

int32_t RemoveConfigurationByProductIDCommand(const char*, const char* machine, uint32_t,
                                              int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    // Product IDs are given in hexadecimal, as the maker's tables write them.
    const uint32_t productId = static_cast<uint32_t>(ParseHexadecimal(argv[0]));
    return DoneOrFailed(RemoveConfigurationByProductID(productId) == 0);
}

int32_t RemoveConfigurationByDeviceNumCommand(const char*, const char* machine, uint32_t,
                                              int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    const uint32_t deviceNumber = static_cast<uint32_t>(ParseDecimal(argv[0]));
    return DoneOrFailed(RemoveConfigurationByDeviceNum(deviceNumber) == 0);
}

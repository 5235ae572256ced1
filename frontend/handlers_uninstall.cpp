// The handlers of the uninstall commands. Each follows the common frame and prints nothing.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t UninstallDriverCommand(const char*, const char* machine, uint32_t, int32_t argc,
                               char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(UninstallDriver(argv[0]) == 0);
}

int32_t RemoveDeviceCommand(const char*, const char* machine, uint32_t, int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    // With a device number the record's device is unloaded; the hardware ID is then not used.
    if (argc >= 2) {
        return DoneOrFailed(UnloadDevice(ParseDecimal(argv[1])) == 0);
    }
    return DoneOrFailed(RemoveDevice(argv[0]));
}

int32_t UninstallNonePnpDriverCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                      char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(UninstallNonePnpDriver(argv[0], argv[1]) == 0);
}

// The handlers of the hand-built node commands: the demo device, and installing and updating
// legacy boards. Each follows the common frame and prints nothing.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t InstallDemoDeviceCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                 char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(InstallDemoDevice(argv[0]) == 0);
}

int32_t InstallIsaDevicePnpCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                   char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(InstallIsaDevicePnp(argv[0], argv[1]) == 0);
}

int32_t IsDemoDeviceInstalledCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                     char**) {
    if (!CommandLineFits(machine, argc, 0)) {
        return EXIT_RET_BAD_USAGE;
    }
    // The answer is the out-value; the query always returns true.
    int installed = 0;
    IsDemoDeviceInstalled(&installed);
    return YesOrNo(installed != 0);
}

int32_t UpdateIsaDriverCommand(const char*, const char* machine, uint32_t, int32_t argc,
                               char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    int ignored = 0;
    return DoneOrFailed(UpdateIsaDriver(argv[0], argv[1], &ignored) == 0);
}

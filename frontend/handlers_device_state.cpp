// The handlers of the device-state commands: unload, and enable or disable, the device of one
// configuration record. Each follows the common frame and prints nothing.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t UnloadDeviceCommand(const char*, const char* machine, uint32_t, int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(UnloadDevice(ParseDecimal(argv[0])) == 0);
}

int32_t EnableOrDisableDeviceCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                     char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    // The flag is read in base 16 and the device number in base 10: callers rely on both.
    const uint32_t enable = static_cast<uint32_t>(ParseHexadecimal(argv[0]));
    int reboot = 0;
    return DoneOrFailed(EnableOrDisableDevice(enable, ParseDecimal(argv[1]), &reboot) == 0);
}

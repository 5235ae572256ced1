// The handlers of the basic commands: install and update drivers on present boards, and ask
// whether boards are present. Each follows the common frame and prints nothing.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t IsDeviceExistInstalledCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                      char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    // The answer is the out-value; the query's own result carries none.
    int found = 0;
    IsDeviceExistInstalled(argv[0], &found);
    return YesOrNo(found != 0);
}

int32_t RefreshDevicesCommand(const char*, const char* machine, uint32_t, int32_t argc, char**) {
    if (!CommandLineFits(machine, argc, 0)) {
        return EXIT_RET_BAD_USAGE;
    }
    return DoneOrFailed(RefreshDevices());
}

int32_t InstallDriverCommand(const char*, const char* machine, uint32_t, int32_t argc,
                             char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    int reboot = 0;
    return DoneOrFailed(InstallDriver(argv[0], argv[1], &reboot));
}

int32_t UpdateDriverCommand(const char*, const char* machine, uint32_t, int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    int reboot = 0;
    return DoneOrFailed(UpdateDriver(argv[0], argv[1], &reboot) == 0);
}

int32_t IsDeviceExistCommand(const char*, const char* machine, uint32_t, int32_t argc,
                             char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return YesOrNo(IsDeviceExist(argv[0]));
}

int32_t IsDeviceUsingCommand(const char*, const char* machine, uint32_t, int32_t argc,
                             char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    return YesOrNo(IsDeviceUsing(argv[0]));
}

int32_t IsDeviceExistNotInstallCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                       char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    int found = 0;
    IsDeviceExistNotInstall(argv[0], &found);
    return YesOrNo(found != 0);
}

// The handlers of the two timer switches. Both always end with success: a timer started from
// the command line ends with the run, so the exit code has nothing else to tell.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t KillBoardkitAPTimerCommand(const char*, const char* machine, uint32_t, int32_t argc,
                                   char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    // This flag is read as an unsigned decimal number, the tray switch's in base 16.
    KillBoardkitAPTimer(static_cast<int>(ParseUnsignedDecimal(argv[0])));
    return EXIT_RET_SUCCESS;
}

int32_t EliminateInstalldevIconinSystemTrayTimerCommand(const char*, const char* machine, uint32_t,
                                                        int32_t argc, char** argv) {
    if (!CommandLineFits(machine, argc, 1)) {
        return EXIT_RET_BAD_USAGE;
    }
    EliminateInstalldevIconinSystemTrayTimer(static_cast<int>(ParseHexadecimal(argv[0])));
    return EXIT_RET_SUCCESS;
}

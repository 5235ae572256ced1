// The handler of the update command. It follows the common frame and prints nothing.
#include "boardkit/operations.h"
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

int32_t UpdateNewDriverCommand(const char*, const char* machine, uint32_t, int32_t argc,
                               char** argv) {
    if (!CommandLineFits(machine, argc, 2)) {
        return EXIT_RET_BAD_USAGE;
    }
    int reboot = 0;
    return DoneOrFailed(UpdateNewDriver(argv[0], argv[1], &reboot) == 0);
}

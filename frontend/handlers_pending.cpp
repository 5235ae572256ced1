// Commands whose operations are not built yet: each checks its command line as its final
// handler will (argument count, no machine name) and then ends as a failed command.
#include "frontend/handler_frame.h"
#include "frontend/handlers.h"

#define BK_PENDING_COMMAND(name, required)                                                       \
    int32_t name(const char*, const char* machine, uint32_t, int32_t argc, char**) {             \
        return CommandLineFits(machine, argc, required) ? EXIT_RET_FAILURE : EXIT_RET_BAD_USAGE; \
    }


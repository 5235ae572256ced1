// The frame every operation handler follows.
#include "frontend/handler_frame.h"

bool CommandLineFits(const char* machine, int32_t argc, int32_t required) {
    bool countFits = required == 0 ? argc == 0 : argc >= required;
    return countFits && machine == nullptr;
}

// What every operation handler shares: the command-line check, the numeric conversions of its
// arguments (catalog/numbers.h) and the mapping of an operation's result to a command result.
#pragma once
#include <cstdint>

#include "catalog/numbers.h"
#include "frontend/command_table.h"

// True when a handler may go on: no machine name, and at least `required` arguments (a command
// with `required` 0 takes none, and any argument is a wrong command line).
bool CommandLineFits(const char* machine, int32_t argc, int32_t required);

// The two mappings of an operation's answer to a command result: done (0) or failed (2) for
// the operation commands, yes (16) or no (17) for the questions and the list commands.
inline int32_t DoneOrFailed(bool done) {
    return done ? EXIT_RET_SUCCESS : EXIT_RET_FAILURE;
}
inline int32_t YesOrNo(bool yes) {
    return yes ? EXIT_RET_PARAM_TRUE : EXIT_RET_PARAM_FALSE;
}

// What every operation handler shares: the command-line check, the numeric conversions of its
// arguments (catalog/numbers.h) and the mapping of an operation's result to a command result.
#pragma once
#include <cstdint>

#include "catalog/numbers.h"

// True when a handler may go on: no machine name, and at least `required` arguments (a command
// with `required` 0 takes none, and any argument is a wrong command line).
bool CommandLineFits(const char* machine, int32_t argc, int32_t required);

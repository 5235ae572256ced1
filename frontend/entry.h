// The process entry: one command line in, one exit code out.
#pragma once
#include "frontend/command_table.h"

// Runs the command line with the program's Command Table; the result is the exit code.
int BoardkitMain(int argc, char** argv);

// The dispatcher over any table (tests run it over tables of their own): echoes the arguments,
// parses the options, finds and runs the command and maps its result to the exit code.
// `argv` holds `argc` words and ends with a null entry, as a process's argument vector does.
int RunCommandLine(const CommandEntry* table, int argc, char** argv);

// The part of `path` after its last backslash (the whole of it when it has none).
const char* ProgramBaseName(const char* path);

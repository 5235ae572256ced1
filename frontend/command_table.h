// The Command Table: every command word the program accepts, its handler and its help texts.
#pragma once
#include <cstdint>

// Command results. Setup programs read the exit code made from them, so the values are fixed.
constexpr int32_t EXIT_RET_SUCCESS = 0;
constexpr int32_t EXIT_RET_NEED_REBOOT = 1;
constexpr int32_t EXIT_RET_FAILURE = 2;
constexpr int32_t EXIT_RET_BAD_USAGE = 3;
constexpr int32_t EXIT_RET_PARAM_TRUE = 0x10;
constexpr int32_t EXIT_RET_PARAM_FALSE = 0x11;

// Bit 0 of the option flags: -f was given.
constexpr uint32_t kOptionForce = 0x1;

// Runs one command. `machine` is the text after -m: or null; `argv` holds the `argc` words
// after the command word and ends with a null entry.
typedef int32_t (*CommandHandler)(const char* program, const char* machine, uint32_t flags,
                                  int32_t argc, char** argv);

struct CommandEntry {
    const char* name;  // the command word; null ends the table
    CommandHandler handler;
    uint32_t shortHelpId;  // one-line summary listed by help; 0 = not listed
    uint32_t longHelpId;   // text of "help <name>"; 0 = none
};

// The program's table, in help-listing order, ended by a row with a null name.
const CommandEntry* CommandTable();

// The first row of `table` whose name equals `word` without regard to case (as the code page
// folds it), or null.
const CommandEntry* FindCommand(const CommandEntry* table, const char* word);

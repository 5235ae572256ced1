// The process entry: argument echo, options, command lookup, the handler call, and the one
// place where command results become exit codes.
#include "frontend/entry.h"

#include <cstdio>

#include "frontend/messages.h"
#include "frontend/reboot.h"
#include "platform/system_library.h"
#include "platform/win32.h"

namespace {

struct Options {
    bool rebootIfRequired = false;
    const char* machine = nullptr;
    uint32_t flags = 0;
};

bool IsOptionLead(char c) {
    return c == '-' || c == '/';
}

bool IsLetter(char c, char lower) {
    return c == lower || c == lower - 'a' + 'A';
}

// Applies `arg` to `options` when it is one of the options -m:<name>, -r and -f (either lead
// character, either case); false for anything else, which ends the option list.
bool TakeOption(const char* arg, Options& options) {
    if (!IsOptionLead(arg[0]) || arg[1] == '\0') {
        return false;
    }
    if (IsLetter(arg[1], 'm') && arg[2] == ':' && arg[3] != '\0') {
        options.machine = arg + 3;
        return true;
    }
    if (arg[2] != '\0') {
        return false;
    }
    if (IsLetter(arg[1], 'r')) {
        options.rebootIfRequired = true;
        return true;
    }
    if (IsLetter(arg[1], 'f')) {
        options.flags |= kOptionForce;
        return true;
    }
    return false;
}

bool IsKnownResult(int32_t result) {
    return result == EXIT_RET_SUCCESS || result == EXIT_RET_NEED_REBOOT ||
           result == EXIT_RET_BAD_USAGE || result == EXIT_RET_PARAM_TRUE ||
           result == EXIT_RET_PARAM_FALSE;
}

int Finish(int exitCode) {
    std::fflush(stdout);
    return exitCode;
}

}  // namespace

const char* ProgramBaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; p = NextAnsiCharacter(p)) {
        if (*p == '\\') {
            base = NextAnsiCharacter(p);
        }
    }
    return base;
}

int RunCommandLine(const CommandEntry* table, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        std::printf("argv[%d]=%s\n", i, argv[i]);
    }
    const char* program = argc > 0 ? ProgramBaseName(argv[0]) : "";

    Options options;
    int next = 1;
    while (next < argc && TakeOption(argv[next], options)) {
        ++next;
    }
    if (next >= argc) {
        WriteMessage(stderr, kMsgUsage, program);
        return Finish(EXIT_RET_BAD_USAGE);
    }

    const char* word = argv[next];
    if (IsOptionLead(word[0])) {
        ++word;
    }
    std::printf("cmd = %s\n", word);
    const CommandEntry* row = FindCommand(table, word);
    if (row == nullptr) {
        WriteMessage(stderr, kMsgUsage, program);
        return Finish(EXIT_RET_BAD_USAGE);
    }

    int32_t result =
        row->handler(program, options.machine, options.flags, argc - next - 1, argv + next + 1);
    if (result == EXIT_RET_BAD_USAGE) {
        WriteMessage(stderr, kMsgInvalidUse, program, row->name);
    } else if (!IsKnownResult(result)) {
        WriteMessage(stderr, kMsgFailed, program, row->name);
    } else if (result == EXIT_RET_NEED_REBOOT && options.rebootIfRequired) {
        std::fflush(stdout);
        RebootSystem();
    }
    return Finish(result);
}

int BoardkitMain(int argc, char** argv) {
    // Before anything can load a library: the program runs as administrator from a folder that
    // others may write to. Where Windows lacks the call, every load names the system folder.
    (void)platform::RestrictLibrarySearchToSystemFolder();
    return RunCommandLine(CommandTable(), argc, argv);
}

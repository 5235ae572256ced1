// Message output and the help command.
#include "frontend/messages.h"

#include <cstdarg>

#include "frontend/command_table.h"
#include "frontend/handlers.h"
#include "platform/win32.h"

namespace {

// Where the run of CR and LF at the end of `text` starts (the end itself when there is none).
// The walk steps back by the code page's characters, so a trail byte that happens to equal
// CR or LF is never mistaken for one.
const char* TrailingLineEnds(const char* text, const char* end) {
    // Forwards, since only a walk from the start knows where the characters begin.
    const char* cut = text;  // just past the last character that is no line end
    for (const char* p = text; p < end;) {
        const char* next = NextAnsiCharacter(p);
        if (next > end) {
            next = end;
        }
        if (next != p + 1 || (*p != '\r' && *p != '\n')) {
            cut = next;
        }
        p = next;
    }
    return cut;
}

}  // namespace

const char* NextAnsiCharacter(const char* p) {
    if (*p == '\0') {
        return p;
    }
    return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? p + 2 : p + 1;
}

void WriteMessage(FILE* stream, uint32_t id, ...) {
    va_list inserts;
    va_start(inserts, id);
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  GetModuleHandleA(nullptr), id, 0, reinterpret_cast<LPSTR>(&text),
                                  0, &inserts);
    va_end(inserts);
    if (length == 0 || text == nullptr) {
        return;
    }
    const char* end = text + length;
    const char* cut = TrailingLineEnds(text, end);
    // Setup programs often read both streams from one pipe: what was printed before the
    // message has to reach it first.
    std::fflush(stdout);
    std::fwrite(text, 1, static_cast<size_t>(cut - text), stream);
    if (cut != end) {
        std::fputc('\n', stream);
    }
    std::fflush(stream);
    LocalFree(text);
}

int32_t HelpCommand(const char* program, const char* machine, uint32_t flags, int32_t argc,
                    char** argv) {
    (void)machine;
    (void)flags;
    const char* command = nullptr;
    uint32_t longHelpId = 0;
    bool unrecognised = false;
    if (argc >= 1) {
        const CommandEntry* row = FindCommand(CommandTable(), argv[0]);
        if (row != nullptr) {
            command = row->name;
            longHelpId = row->longHelpId;
        } else {
            command = argv[0];
            unrecognised = true;
        }
    }
    if (longHelpId != 0) {
        WriteMessage(stdout, longHelpId, program, command);
        return EXIT_RET_SUCCESS;
    }
    WriteMessage(stdout, unrecognised ? kMsgUnknownCommand : kMsgHelpHeader, program, command);
    for (const CommandEntry* row = CommandTable(); row->name != nullptr; ++row) {
        if (row->shortHelpId != 0) {
            WriteMessage(stdout, row->shortHelpId, row->name);
            std::fputs("\n", stdout);
        }
    }
    std::fflush(stdout);
    return EXIT_RET_SUCCESS;
}

// User-facing texts of the front end come from the program's message table.
#pragma once
#include <cstdint>
#include <cstdio>

// Message ids of the dispatcher and of help.
constexpr uint32_t kMsgUsage = 0xEA60;           // %1 = program name
constexpr uint32_t kMsgFailed = 0xEA61;          // %1 = program name, %2 = command name
constexpr uint32_t kMsgInvalidUse = 0xEA62;      // %1 = program name, %2 = command name
constexpr uint32_t kMsgHelpHeader = 0xEAC4;      // %1 = program name
constexpr uint32_t kMsgUnknownCommand = 0xEAC6;  // no inserts

// Formats message `id` with the texts that follow as inserts %1, %2, ... and writes it to
// `stream`, ending it with exactly one line feed. A message that cannot be formatted (no such
// id) writes nothing.
void WriteMessage(FILE* stream, uint32_t id, ...);

// The character after the one at `p` in the ANSI code page (a lead byte and its trail byte are
// one character); at the terminating zero, `p` itself. kernel32's test of lead bytes keeps the
// program from loading user32 (CharNextA) at every start, which under Wine costs as much as
// the rest of the start.
const char* NextAnsiCharacter(const char* p);

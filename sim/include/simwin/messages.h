// Message formatting (FormatMessageA) as kernel32 declares it.
#pragma once
#include <cstdarg>

#include "simwin/base.h"

#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000

#ifndef SUBLANG_NEUTRAL
#define SUBLANG_NEUTRAL 0x00
#endif
#ifndef SUBLANG_SYS_DEFAULT
#define SUBLANG_SYS_DEFAULT 0x02
#endif
#ifndef LANG_USER_DEFAULT
#define LANG_USER_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
#endif
#ifndef LANG_SYSTEM_DEFAULT
#define LANG_SYSTEM_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)
#endif

extern "C" {
// Formats a message from the module's message table (FROM_HMODULE; a null module is the
// process image), the system's table (FROM_SYSTEM) or a string (FROM_STRING). Texts are read
// through code page 1252, the ANSI code page of an English Windows. `arguments` is a va_list*
// or, with FORMAT_MESSAGE_ARGUMENT_ARRAY, an array of DWORD_PTR. Returns the number of
// characters stored, without the terminating NUL; 0 on failure (see GetLastError).
// An injected fault can be restricted to one message id, written like "0xEA61".
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list* arguments);
}

// ANSI string services of the code page (user32 and kernel32), as the simulated machine
// declares them. The simulated machine runs with the single-byte code page 1252.
#pragma once
#include "simwin/base.h"

typedef DWORD LCID;
typedef const CHAR* PCNZCH;

#define LOCALE_INVARIANT 0x007F
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define SORT_STRINGSORT 0x00001000

#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

extern "C" {
UINT WINAPI GetACP(void);
BOOL WINAPI IsDBCSLeadByte(BYTE testChar);
LPSTR WINAPI CharNextA(LPCSTR current);
LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR current);
int WINAPI CompareStringA(LCID locale, DWORD flags, PCNZCH string1, int count1, PCNZCH string2,
                          int count2);
int WINAPI lstrcmpiA(LPCSTR string1, LPCSTR string2);
int WINAPI lstrlenA(LPCSTR string);

// The C run-time's multibyte compare: case-insensitive, character by character under the
// multibyte code page, which the run-time sets to the ANSI code page at start-up.
int _mbsicmp(const unsigned char* string1, const unsigned char* string2);
}

// What every operation handler shares: the command-line check and the numeric conversions.
#pragma once
#include <cstdint>

// True when a handler may go on: no machine name, and at least `required` arguments (a command
// with `required` 0 takes none, and any argument is a wrong command line).
bool CommandLineFits(const char* machine, int32_t argc, int32_t required);

// The conversions of numeric arguments. White space is skipped, one sign is accepted, the
// conversion stops at the first character that is not a digit of the base, a text without
// digits gives 0 and nothing after the digits is reported.
// Base 10, signed 32 bits; out of range gives the largest or smallest value.
int32_t ParseDecimal(const char* text);
// Base 16 with an optional 0x or 0X after the sign, signed 32 bits, clamped like ParseDecimal.
int32_t ParseHexadecimal(const char* text);
// Base 10 into 32 unsigned bits; a minus sign negates modulo 2^32; out of range gives
// 0xFFFFFFFF.
uint32_t ParseUnsignedDecimal(const char* text);

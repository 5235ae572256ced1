// The numeric conversions of texts that every subsystem shares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// Reads the run of decimal digits at the start of `text` (no white space, no sign) into
// `value` and its length into `length`. False, both left alone, when the text does not start
// with a digit or the run's value passes 32 bits.
bool LeadingDecimal(std::string_view text, uint32_t& value, std::size_t& length);

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

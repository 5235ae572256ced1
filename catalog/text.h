// The one upper-casing routine of the program and the substring test that goes with it.
// Upper-casing is the C locale's, whatever locale the process runs in: only a to z change,
// so hardware IDs, kernel keys and file names compare the same on every machine.
#pragma once

#include <string>
#include <string_view>

// The C-locale upper case of one character: a-z become A-Z, every other byte is returned as is.
inline char UpperCaseChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// An upper-cased copy of the text, character by character.
std::string UpperCase(std::string_view text);

// Upper-cases a terminated text where it stands; a null pointer is left alone.
void UpperCaseInPlace(char* text);

// True when needle occurs anywhere in haystack; an empty needle occurs everywhere.
bool Contains(std::string_view haystack, std::string_view needle);

// Text as the simulated machine keeps it: UTF-8 inside, UTF-16 and code page 1252 at the API,
// and names compared without case.
#pragma once
#include <string>
#include <string_view>

namespace sim {

// The letters a case-insensitive comparison folds. Windows folds by its Unicode upper-case
// table; the simulated machine folds the letters its names are written in.
enum class CaseRule {
    // A to Z only: file and INF names, privilege and window class names, fault arguments.
    kAscii,
    // A to Z and the Latin-1 letters U+00E0 to U+00FE (not U+00F7) of UTF-8 text, as FoldName
    // folds them: registry key and value names, device instance IDs.
    kLatin1,
};

// Whether `a` and `b` are the same text but for the case of the letters `rule` folds.
bool EqualNoCase(std::string_view a, std::string_view b, CaseRule rule);

// What UTF-8 decoding does with the three-byte form of a surrogate (U+D800 to U+DFFF), which
// UTF-8 does not allow. Every other ill-formed sequence (a stray continuation byte, a cut or
// overlong sequence, a code point beyond U+10FFFF) becomes U+FFFD, one for each byte it skips,
// as MultiByteToWideChar(CP_UTF8) converts without MB_ERR_INVALID_CHARS.
enum class Utf8Rule {
    // U+FFFD as for any ill-formed sequence: text that came in as UTF-8 (a process's image
    // path and command line in the machine file).
    kStrict,
    // The surrogate itself: the machine's own text that Utf8FromUtf16 wrote, in which a lone
    // surrogate of a UTF-16 name (the registry allows them) keeps its three-byte form.
    kKeepSurrogates,
};

std::u16string Utf16FromUtf8(std::string_view text, Utf8Rule rule);
// A surrogate pair becomes one character; a lone surrogate keeps its three-byte form.
std::string Utf8FromUtf16(std::u16string_view text);
void AppendUtf8(std::string& out, char32_t c);

// "ANSI" is code page 1252, the ANSI code page of an English Windows; a character it lacks
// becomes '?', as WideCharToMultiByte's default character.
// The byte of `c` in code page 1252, or -1 when the code page has no such character.
int Cp1252Byte(char32_t c);
char AnsiFromCodePoint(char32_t c);
std::u16string Utf16FromAnsi(std::string_view text);
std::string AnsiFromUtf16(std::u16string_view text);
std::string Utf8FromAnsi(std::string_view text);
// The machine's UTF-8 text (Utf8Rule::kKeepSurrogates) in code page 1252.
std::string AnsiFromUtf8(std::string_view text);

}  // namespace sim

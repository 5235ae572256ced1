// ANSI string services over code page 1252, the code page of a Western-European Windows.
//
// Code page 1252 has no lead bytes, so stepping through a string is one byte per character.
// Comparisons fold case with the code page's own upper/lower pairs (the accented letters
// included). Windows orders strings by its linguistic tables; the simulated order is the order
// of the case-folded code points, which agrees with Windows on equality, the only outcome a
// case-insensitive lookup reads.
#include <cstring>
#include <string_view>

#include "choke.h"
#include "simwin/strings.h"

namespace {

constexpr UINT kCodePage = 1252;

unsigned char FoldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c - 'A' + 'a');
    // Latin-1 capitals with their small letters 0x20 higher, except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
        case 0x8A:  // S with caron
            return 0x9A;
        case 0x8C:  // OE ligature
            return 0x9C;
        case 0x8E:  // Z with caron
            return 0x9E;
        case 0x9F:  // Y with diaeresis
            return 0xFF;
        default:
            return c;
    }
}

std::string_view Counted(PCNZCH text, int count) {
    if (count < 0) {
        return std::string_view(text, std::strlen(text));
    }
    // A counted string still ends at a terminating zero inside the count, as on Windows.
    size_t n = 0;
    while (n < static_cast<size_t>(count) && text[n] != '\0')
        ++n;
    return std::string_view(text, n);
}

int Compare(std::string_view a, std::string_view b, bool ignoreCase) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (ignoreCase) {
            x = FoldCase(x);
            y = FoldCase(y);
        }
        if (x != y)
            return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    if (a.size() == b.size())
        return CSTR_EQUAL;
    return a.size() < b.size() ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

}  // namespace

// The code-page services below cannot fail on Windows; they pass the choke point so that they
// are counted, and an injected fault has nothing to act on.
extern "C" {

UINT WINAPI GetACP(void) {
    sim::ApiCall call("GetACP");
    return kCodePage;
}

BOOL WINAPI IsDBCSLeadByte(BYTE testChar) {
    sim::ApiCall call("IsDBCSLeadByte");
    (void)testChar;
    return FALSE;
}

LPSTR WINAPI CharNextA(LPCSTR current) {
    sim::ApiCall call("CharNextA");
    // At the terminating zero the pointer stays where it is.
    if (*current == '\0')
        return const_cast<LPSTR>(current);
    return const_cast<LPSTR>(current + 1);
}

LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR current) {
    sim::ApiCall call("CharPrevA");
    if (current <= start)
        return const_cast<LPSTR>(start);
    return const_cast<LPSTR>(current - 1);
}

int WINAPI CompareStringA(LCID locale, DWORD flags, PCNZCH string1, int count1, PCNZCH string2,
                          int count2) {
    sim::ApiCall call("CompareStringA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    (void)locale;  // every locale of code page 1252 folds case the same way
    if (string1 == nullptr || string2 == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & ~static_cast<DWORD>(NORM_IGNORECASE)) != 0) {
        sim::NotModelled("CompareStringA", "flags other than NORM_IGNORECASE");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return Compare(Counted(string1, count1), Counted(string2, count2),
                   (flags & NORM_IGNORECASE) != 0);
}

int WINAPI lstrcmpiA(LPCSTR string1, LPCSTR string2) {
    sim::ApiCall call("lstrcmpiA");
    // Windows orders a null pointer before every string.
    if (string1 == nullptr || string2 == nullptr) {
        if (string1 == string2)
            return 0;
        return string1 == nullptr ? -1 : 1;
    }
    return Compare(Counted(string1, -1), Counted(string2, -1), true) - CSTR_EQUAL;
}

int WINAPI lstrlenA(LPCSTR string) {
    sim::ApiCall call("lstrlenA");
    return string == nullptr ? 0 : static_cast<int>(std::strlen(string));
}

// Unlike lstrcmpiA, the run-time compares the characters themselves: no character is ignored.
// The run-time's own function, so it does not pass the choke point of the platform's calls.
int _mbsicmp(const unsigned char* string1, const unsigned char* string2) {
    const auto* a = reinterpret_cast<const char*>(string1);
    const auto* b = reinterpret_cast<const char*>(string2);
    return Compare(Counted(a, -1), Counted(b, -1), true) - CSTR_EQUAL;
}

}  // extern "C"

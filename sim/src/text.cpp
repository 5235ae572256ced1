#include "text.h"

namespace sim {
namespace {

// Code page 1252 at 0x80..0x9F; the rest of the page is Latin-1. The five bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows' own table does.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b, CaseRule rule) {
    if (a.size() != b.size()) {
        return false;
    }
    // Folding keeps every byte in place, so the two texts can be compared byte by byte; a
    // Latin-1 letter is the byte after a 0xC3 lead.
    bool continuation = false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (continuation) {
            x = x >= 0xA0 && x <= 0xBE && x != 0xB7 ? static_cast<unsigned char>(x - 0x20) : x;
            y = y >= 0xA0 && y <= 0xBE && y != 0xB7 ? static_cast<unsigned char>(y - 0x20) : y;
            continuation = false;
        } else {
            x = x >= 'a' && x <= 'z' ? static_cast<unsigned char>(x - 32) : x;
            y = y >= 'a' && y <= 'z' ? static_cast<unsigned char>(y - 32) : y;
            continuation = rule == CaseRule::kLatin1 && x == 0xC3;
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::u16string Utf16FromUtf8(std::string_view text, Utf8Rule rule) {
    // The least code point of a sequence with 1, 2 or 3 continuation bytes: a smaller one is
    // an overlong form.
    static const char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const size_t extra = lead >= 0xC0 && lead <= 0xDF   ? 1
                             : lead >= 0xE0 && lead <= 0xEF ? 2
                             : lead >= 0xF0 && lead <= 0xF7 ? 3
                                                            : 0;
        char32_t c = lead & (0x3F >> extra);
        bool ok = extra != 0 && extra < text.size() - i;
        for (size_t k = 1; ok && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        ok = ok && c >= kLeast[extra] && c <= 0x10FFFF;
        if (ok && c >= 0xD800 && c <= 0xDFFF) {
            ok = rule == Utf8Rule::kKeepSurrogates;
        }
        if (!ok) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);
    }
    return out;
}

int Cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<int>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c) {
            return 0x80 + i;
        }
    }
    return -1;
}

char AnsiFromCodePoint(char32_t c) {
    const int byte = Cp1252Byte(c);
    return byte < 0 ? '?' : static_cast<char>(byte);
}

std::u16string Utf16FromAnsi(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out[i] = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c);
    }
    return out;
}

std::string AnsiFromUtf16(std::u16string_view text) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        out[i] = AnsiFromCodePoint(text[i]);
    }
    return out;
}

std::string Utf8FromAnsi(std::string_view text) {
    return Utf8FromUtf16(Utf16FromAnsi(text));
}

std::string AnsiFromUtf8(std::string_view text) {
    return AnsiFromUtf16(Utf16FromUtf8(text, Utf8Rule::kKeepSurrogates));
}

}  // namespace sim

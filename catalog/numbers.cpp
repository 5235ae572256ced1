// The numeric conversions of texts that every subsystem shares: the command's arguments, and
// the digits of record names and location texts.
//
// The conversions are written out rather than taken from strtol: long is 64 bits on some
// platforms and 32 on Windows, and the run-times differ on prefixes and overflow, while the
// values a command passes on must be the same on every build.
#include "catalog/numbers.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of `c` as a digit of `base` (10 or 16), or -1.
int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// A run of digits: its value, kept no larger than limit + 1 so that it cannot wrap, and its
// length.
struct DigitRun {
    uint64_t magnitude = 0;
    bool overflow = false;  // the magnitude passed the limit
    std::size_t length = 0;
};

DigitRun ReadDigits(std::string_view text, int base, uint64_t limit) {
    DigitRun run;
    for (; run.length < text.size(); ++run.length) {
        const int digit = DigitValue(text[run.length], base);
        if (digit < 0) {
            break;
        }
        if (run.overflow) {
            continue;
        }
        run.magnitude = run.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        run.overflow = run.magnitude > limit;
    }
    return run;
}

struct Scanned {
    bool negative = false;
    bool overflow = false;  // the magnitude passed `limit`
    uint64_t magnitude = 0;
};

// Reads white space, a sign, the optional 0x of base 16 and the digits.
Scanned Scan(const char* text, int base, uint64_t limit) {
    Scanned s;
    if (text == nullptr) {
        return s;
    }
    while (IsSpace(*text)) {
        ++text;
    }
    if (*text == '+' || *text == '-') {
        s.negative = *text == '-';
        ++text;
    }
    // "0x" counts as a prefix only when a hexadecimal digit follows; otherwise the 0 is the
    // number and the x ends it.
    if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        DigitValue(text[2], 16) >= 0) {
        text += 2;
    }
    const DigitRun run = ReadDigits(text, base, limit);
    s.overflow = run.overflow;
    s.magnitude = run.magnitude;
    return s;
}

int32_t ToSigned(const Scanned& s) {
    const uint64_t maxPositive = 0x7FFFFFFF;
    if (s.negative) {
        if (s.overflow || s.magnitude > maxPositive + 1) {
            return INT32_MIN;
        }
        return static_cast<int32_t>(-static_cast<int64_t>(s.magnitude));
    }
    if (s.overflow || s.magnitude > maxPositive) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(s.magnitude);
}

}  // namespace

bool LeadingDecimal(std::string_view text, uint32_t& value, std::size_t& length) {
    const DigitRun run = ReadDigits(text, 10, 0xFFFFFFFFu);
    if (run.length == 0 || run.overflow) {
        return false;
    }
    value = static_cast<uint32_t>(run.magnitude);
    length = run.length;
    return true;
}

int32_t ParseDecimal(const char* text) {
    return ToSigned(Scan(text, 10, 0x80000000u));
}

int32_t ParseHexadecimal(const char* text) {
    return ToSigned(Scan(text, 16, 0x80000000u));
}

uint32_t ParseUnsignedDecimal(const char* text) {
    Scanned s = Scan(text, 10, 0xFFFFFFFFu);
    if (s.overflow) {
        return 0xFFFFFFFFu;
    }
    uint32_t value = static_cast<uint32_t>(s.magnitude);
    return s.negative ? static_cast<uint32_t>(0u - value) : value;
}

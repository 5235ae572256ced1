#include "text.h"

namespace sim {

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

}  // namespace sim

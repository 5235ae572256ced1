// Text as the simulated machine keeps it: names compared without case.
#pragma once
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

}  // namespace sim

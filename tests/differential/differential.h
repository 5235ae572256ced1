// Shared pieces of the checks that run the same call sequences on the simulated machine and on
// Wine. Where Wine departs from what Windows documents, the check expects Windows' result on
// the simulated machine and Wine's own result under Wine, and fails under Wine as soon as Wine
// starts to give Windows' result, so the departure is never carried longer than it lasts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "shared/test_platform.h"

namespace differential {

const DWORD kSentinel = 0xdeadbeef;

using test_platform::InfFolder;
using test_platform::OnWine;

// A file of the source tree as the platform names it: a host path on the simulated machine,
// the Z: drive under Wine.
inline std::string SourceFile(const char* relative) {
    std::string path = std::string(BK_SOURCE_DIR) + "/" + relative;
    if (!OnWine()) {
        return path;
    }
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return "Z:" + path;
}

inline bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace differential

// Expects `windows` on the simulated machine and `wine` under Wine, where Wine departs from
// Windows; under Wine it also fails when the value has become Windows' one.
#define EXPECT_WINE_DIFFERS(actual, windows, wine, why)                      \
    do {                                                                     \
        const auto bk_actual = (actual);                                     \
        if (differential::OnWine()) {                                        \
            EXPECT_EQ(bk_actual, (wine)) << "Wine departs here: " << why;    \
            EXPECT_NE(bk_actual, (windows))                                  \
                << "Wine now gives Windows' result; drop the mark: " << why; \
        } else {                                                             \
            EXPECT_EQ(bk_actual, (windows));                                 \
        }                                                                    \
    } while (0)

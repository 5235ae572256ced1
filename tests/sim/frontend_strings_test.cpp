// The code-page string services: stepping through text and comparing without regard to case.
#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

TEST(CodePage, IsTheSingleByteWesternPage) {
    EXPECT_EQ(GetACP(), 1252u);
    for (int b = 0; b < 256; ++b) {
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(b))) << b;
    }
}

TEST(CharNext, StepsOneByteAndStopsAtTheEnd) {
    const char text[] = "a\xE9z";
    EXPECT_EQ(CharNextA(text), text + 1);
    EXPECT_EQ(CharNextA(text + 1), text + 2);
    EXPECT_EQ(CharNextA(text + 3), text + 3);
}

TEST(CharPrev, StepsBackAndStopsAtTheStart) {
    const char text[] = "ab\r\n";
    EXPECT_EQ(CharPrevA(text, text + 4), text + 3);
    EXPECT_EQ(CharPrevA(text, text + 1), text);
    EXPECT_EQ(CharPrevA(text, text), text);
}

TEST(CompareNoCase, FoldsAsciiAndAccentedLetters) {
    EXPECT_EQ(lstrcmpiA("UpdateDriver", "updatedriver"), 0);
    EXPECT_EQ(lstrcmpiA("\xC9T\xC9", "\xE9t\xE9"), 0);  // E acute
    EXPECT_EQ(lstrcmpiA("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"), 0);
    EXPECT_NE(lstrcmpiA("\xD7", "\xF7"), 0);  // multiplication and division signs differ
    EXPECT_NE(lstrcmpiA("help", "help "), 0);
    EXPECT_NE(lstrcmpiA("?", "help"), 0);
}

TEST(CompareNoCase, OrdersShorterPrefixFirst) {
    EXPECT_LT(lstrcmpiA("Update", "UpdateDriver"), 0);
    EXPECT_GT(lstrcmpiA("UpdateDriver", "Update"), 0);
    EXPECT_LT(lstrcmpiA(nullptr, ""), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
}

TEST(CompareString, HonoursCountsAndTheCaseFlag) {
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "HELPme", 4, "help", -1),
              CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "HELP", -1, "help", -1), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "b", -1, "a", -1), CSTR_GREATER_THAN);
}

TEST(CompareString, NullStringIsAnInvalidParameter) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, nullptr, -1, "a", -1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

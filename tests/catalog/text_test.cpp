#include "catalog/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UpperCase, ChangesOnlyTheLettersAToZ) {
    EXPECT_EQ(UpperCase("pci\\ven_5ae3&dev_10ab"), "PCI\\VEN_5AE3&DEV_10AB");
    EXPECT_EQ(UpperCase("TolDemoS.sys"), "TOLDEMOS.SYS");
    EXPECT_EQ(UpperCase("`az{@AZ["), "`AZ{@AZ[");
    EXPECT_EQ(UpperCase(""), "");
}

TEST(UpperCase, LeavesEveryOtherByteAsItIs) {
    for (int value = 0; value < 256; ++value) {
        const char c = static_cast<char>(value);
        const std::string upper = UpperCase(std::string(1, c));
        ASSERT_EQ(upper.size(), 1u);
        const char expected = (value >= 'a' && value <= 'z') ? static_cast<char>(value - 32) : c;
        EXPECT_EQ(upper[0], expected) << "byte " << value;
    }
}

TEST(UpperCase, KeepsBytesAboveAsciiAndEmbeddedNuls) {
    const std::string latin1 = "m\xE4rz\xFF";
    EXPECT_EQ(UpperCase(latin1), "M\xE4RZ\xFF");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(UpperCase(withNul), std::string("A\0B", 3));
}

TEST(UpperCaseInPlace, RewritesTheBufferUpToItsTerminator) {
    char buffer[] = "tolpx10s\0xyz";
    UpperCaseInPlace(buffer);
    EXPECT_STREQ(buffer, "TOLPX10S");
    EXPECT_EQ(buffer[9], 'x') << "bytes after the terminator are not touched";
    UpperCaseInPlace(nullptr);  // callers pass arguments straight from the command line
}

TEST(Contains, FindsASubstringAnywhere) {
    EXPECT_TRUE(Contains("PCI\\VEN_5AE3&DEV_1001", "PCI"));
    EXPECT_TRUE(Contains("PCI\\VEN_5AE3&DEV_1001", "5AE3"));
    EXPECT_TRUE(Contains("PCI\\VEN_5AE3&DEV_1001", "1001"));
    EXPECT_TRUE(Contains("DEMO", "DEMO"));
}

TEST(Contains, IsCaseSensitiveAndNeedsTheWholeNeedle) {
    EXPECT_FALSE(Contains("TOLDEMOS", "demo"));
    EXPECT_FALSE(Contains("DEMO", "DEMOS"));
    EXPECT_FALSE(Contains("", "A"));
    EXPECT_FALSE(Contains("ABAB", "ABB"));
}

TEST(Contains, AnEmptyNeedleIsContainedEverywhere) {
    EXPECT_TRUE(Contains("", ""));
    EXPECT_TRUE(Contains("TolDemoS", ""));
}

}  // namespace

// The numeric argument conversions: bases, prefixes, signs, white space and overflow.
#include <gtest/gtest.h>

#include "catalog/numbers.h"

namespace {

TEST(DecimalArgument, StopsAtTheFirstNonDigit) {
    EXPECT_EQ(ParseDecimal("12abc"), 12);
    EXPECT_EQ(ParseDecimal("7 8"), 7);
    EXPECT_EQ(ParseDecimal("3.9"), 3);
    EXPECT_EQ(ParseDecimal("0x1F"), 0);
}

TEST(DecimalArgument, TextWithoutDigitsGivesZero) {
    EXPECT_EQ(ParseDecimal("abc"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("-"), 0);
    EXPECT_EQ(ParseDecimal("+ 5"), 0);
    EXPECT_EQ(ParseDecimal("--5"), 0);
}

TEST(DecimalArgument, SkipsLeadingWhiteSpaceAndTakesOneSign) {
    EXPECT_EQ(ParseDecimal("  \t\n\v\f\r42"), 42);
    EXPECT_EQ(ParseDecimal("-17"), -17);
    EXPECT_EQ(ParseDecimal("+17"), 17);
    EXPECT_EQ(ParseDecimal(" -0"), 0);
    EXPECT_EQ(ParseDecimal("007"), 7);
}

TEST(DecimalArgument, ClampsAtTheSigned32BitLimits) {
    EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(ParseDecimal("2147483648"), 2147483647);
    EXPECT_EQ(ParseDecimal("99999999999999999999999"), 2147483647);
    EXPECT_EQ(ParseDecimal("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseDecimal("-2147483649"), -2147483647 - 1);
    EXPECT_EQ(ParseDecimal("-99999999999999999999999"), -2147483647 - 1);
    // Values that a 64-bit long would still hold must clamp all the same.
    EXPECT_EQ(ParseDecimal("4294967296"), 2147483647);
    EXPECT_EQ(ParseDecimal("00000000000000000000012"), 12);
}

TEST(HexadecimalArgument, PrefixIsOptionalInEitherCase) {
    EXPECT_EQ(ParseHexadecimal("123"), 0x123);
    EXPECT_EQ(ParseHexadecimal("0x123"), 0x123);
    EXPECT_EQ(ParseHexadecimal("0X123"), 0x123);
    EXPECT_EQ(ParseHexadecimal("123"), 291);
}

TEST(HexadecimalArgument, DigitsAboveNineInEitherCase) {
    EXPECT_EQ(ParseHexadecimal("aBcDeF"), 0xABCDEF);
    EXPECT_EQ(ParseHexadecimal("10"), 16);
    EXPECT_EQ(ParseHexadecimal("1fg"), 0x1F);
}

TEST(HexadecimalArgument, SignComesBeforeThePrefix) {
    EXPECT_EQ(ParseHexadecimal("-0x10"), -16);
    EXPECT_EQ(ParseHexadecimal(" +0x10"), 16);
    EXPECT_EQ(ParseHexadecimal("0x-10"), 0);
}

TEST(HexadecimalArgument, PrefixWithoutDigitsGivesZero) {
    EXPECT_EQ(ParseHexadecimal("0x"), 0);
    EXPECT_EQ(ParseHexadecimal("0xg"), 0);
    EXPECT_EQ(ParseHexadecimal("x10"), 0);
    EXPECT_EQ(ParseHexadecimal("zz"), 0);
}

TEST(HexadecimalArgument, ClampsAtTheSigned32BitLimits) {
    EXPECT_EQ(ParseHexadecimal("7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(ParseHexadecimal("80000000"), 0x7FFFFFFF);
    EXPECT_EQ(ParseHexadecimal("0xFFFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(ParseHexadecimal("-80000000"), -2147483647 - 1);
    EXPECT_EQ(ParseHexadecimal("-0x80000001"), -2147483647 - 1);
    EXPECT_EQ(ParseHexadecimal("123456789ABCDEF0"), 0x7FFFFFFF);
}

TEST(UnsignedDecimalArgument, ReadsDecimalDigits) {
    EXPECT_EQ(ParseUnsignedDecimal("1"), 1u);
    EXPECT_EQ(ParseUnsignedDecimal("  25x"), 25u);
    EXPECT_EQ(ParseUnsignedDecimal("0x10"), 0u);
    EXPECT_EQ(ParseUnsignedDecimal("abc"), 0u);
    EXPECT_EQ(ParseUnsignedDecimal("+4294967295"), 0xFFFFFFFFu);
}

TEST(UnsignedDecimalArgument, MinusNegatesModulo2To32) {
    EXPECT_EQ(ParseUnsignedDecimal("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseUnsignedDecimal("-2"), 0xFFFFFFFEu);
    EXPECT_EQ(ParseUnsignedDecimal("-4294967295"), 1u);
    EXPECT_EQ(ParseUnsignedDecimal("-0"), 0u);
}

TEST(UnsignedDecimalArgument, OutOfRangeGivesAllOnesWhateverTheSign) {
    EXPECT_EQ(ParseUnsignedDecimal("4294967296"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseUnsignedDecimal("18446744073709551617"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseUnsignedDecimal("-4294967296"), 0xFFFFFFFFu);
}

}  // namespace

// The command-line check that every operation handler makes first.
namespace {}  // namespace

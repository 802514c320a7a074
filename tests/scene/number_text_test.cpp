// Our own atoi and truncating atof: the classic decimal forms, identical on every platform.
#include "scene/number_text.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kLimit = 1000;

TEST(ReadInteger, ReadsBlanksSignAndDigitsUpToTheFirstOtherCharacter) {
  EXPECT_EQ(ReadInteger("255"), 255);
  EXPECT_EQ(ReadInteger(" \t\n-1"), -1);
  EXPECT_EQ(ReadInteger("+7,0"), 7);
  EXPECT_EQ(ReadInteger(" 0 "), 0);
  EXPECT_EQ(ReadInteger("12abc"), 12);
}

TEST(ReadInteger, TextWithoutDigitsReadsAsZero) {
  EXPECT_EQ(ReadInteger(""), 0);
  EXPECT_EQ(ReadInteger("abc"), 0);
  EXPECT_EQ(ReadInteger("- 5"), 0);
  EXPECT_EQ(ReadInteger("0x1F"), 0);
}

TEST(ReadInteger, SaturatesPast32BitsAsA32BitStrtol) {
  EXPECT_EQ(ReadInteger("2147483647"), INT32_MAX);
  EXPECT_EQ(ReadInteger("2147483648"), INT32_MAX);
  EXPECT_EQ(ReadInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadInteger("-2147483649"), INT32_MIN);
  EXPECT_EQ(ReadInteger("99999999999999999999999999"), INT32_MAX);
}

TEST(ReadTruncatedDecimal, TruncatesTowardZero) {
  EXPECT_EQ(ReadTruncatedDecimal("1.9", kLimit), 1);
  EXPECT_EQ(ReadTruncatedDecimal("-1.9", kLimit), -1);
  EXPECT_EQ(ReadTruncatedDecimal("0.5", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("2.5", kLimit), 2);
  EXPECT_EQ(ReadTruncatedDecimal("-1.5", kLimit), -1);
  EXPECT_EQ(ReadTruncatedDecimal("-0.5", kLimit), 0);
}

TEST(ReadTruncatedDecimal, ReadsBlanksSignFractionAndExponentAndIgnoresTheRest) {
  EXPECT_EQ(ReadTruncatedDecimal(" 1 ", kLimit), 1);
  EXPECT_EQ(ReadTruncatedDecimal("\t+3.", kLimit), 3);
  EXPECT_EQ(ReadTruncatedDecimal(".5e1", kLimit), 5);
  EXPECT_EQ(ReadTruncatedDecimal("1.5E1", kLimit), 15);
  EXPECT_EQ(ReadTruncatedDecimal("15e-1", kLimit), 1);
  EXPECT_EQ(ReadTruncatedDecimal("0.00123e3", kLimit), 1);
  EXPECT_EQ(ReadTruncatedDecimal("1e+2", kLimit), 100);
  EXPECT_EQ(ReadTruncatedDecimal("2) (3", kLimit), 2);
  // An exponent marker without digits is not part of the number.
  EXPECT_EQ(ReadTruncatedDecimal("7e", kLimit), 7);
  EXPECT_EQ(ReadTruncatedDecimal("7e+x", kLimit), 7);
}

TEST(ReadTruncatedDecimal, HexInfinityAndNanFormsAreNotNumbers) {
  EXPECT_EQ(ReadTruncatedDecimal("0x10", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("inf", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("-infinity", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("nan", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal(".", kLimit), 0);
  EXPECT_EQ(ReadTruncatedDecimal("-.e5", kLimit), 0);
}

TEST(ReadTruncatedDecimal, SaturatesAtTheLimit) {
  EXPECT_EQ(ReadTruncatedDecimal("1000", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("1000.9", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("999.9", kLimit), 999);
  EXPECT_EQ(ReadTruncatedDecimal("5000", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("-5000", kLimit), -1000);
  EXPECT_EQ(ReadTruncatedDecimal("1e400", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("-1e99999999999", kLimit), -1000);
  EXPECT_EQ(ReadTruncatedDecimal("123456789012345678901234567890", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("1e-99999999999", kLimit), 0);
}

// A value just below an integer becomes that integer when the nearest double is the integer:
// within 2^-54 below 1, within 2^-53 below 2, within 2^-44 below 1000 (not a power of two).
TEST(ReadTruncatedDecimal, RoundsToTheNearestDoubleBeforeTruncating) {
  EXPECT_EQ(ReadTruncatedDecimal("0.9999999999999999", kLimit), 0);    // 1 - 1e-16 stays below 1
  EXPECT_EQ(ReadTruncatedDecimal("0.99999999999999997", kLimit), 1);   // 1 - 3e-17 rounds to 1
  EXPECT_EQ(ReadTruncatedDecimal("-0.99999999999999997", kLimit), -1);
  EXPECT_EQ(ReadTruncatedDecimal("1.9999999999999998", kLimit), 1);    // 2 - 2e-16: a double of its own
  EXPECT_EQ(ReadTruncatedDecimal("1.99999999999999995", kLimit), 2);   // 2 - 5e-17 rounds to 2
  EXPECT_EQ(ReadTruncatedDecimal("999.99999999999997", kLimit), 1000);
  EXPECT_EQ(ReadTruncatedDecimal("999.9999999999999", kLimit), 999);
  // Exactly half-way between 1 - 2^-53 and 1 ties to the even neighbour, 1.
  EXPECT_EQ(ReadTruncatedDecimal("0.999999999999999944488848768742172978818416595458984375", kLimit), 1);
  EXPECT_EQ(ReadTruncatedDecimal("0.999999999999999944488848768742172978818416595458984374", kLimit), 0);
}

TEST(ReadTruncatedDecimal, ANegativeLimitReadsAsZero) { EXPECT_EQ(ReadTruncatedDecimal("5", -3), 0); }

}  // namespace

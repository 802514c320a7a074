// Our own atoi and truncating atof: the classic decimal forms, identical on every platform.
#include "scene/number_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// A decimal text in parts: [-]integer[.fraction].
struct DecimalParts {
  bool negative;
  std::string integer, fraction;
};

// The digits of 1 - 2^-q = (10^q - 5^q) / 10^q by long arithmetic, as the reader once did per read.
std::string ThresholdByLongArithmetic(int q) {
  std::vector<int> power(static_cast<size_t>(q) + 1, 0);  // 5^q, least significant digit first
  power[0] = 1;
  for (int step = 0; step < q; ++step) {
    int carry = 0;
    for (int& digit : power) {
      int product = digit * 5 + carry;
      digit = product % 10;
      carry = product / 10;
    }
  }
  std::string digits(static_cast<size_t>(q), '0');
  for (size_t i = 0; i < digits.size(); ++i) {
    digits[digits.size() - 1 - i] = static_cast<char>('0' + (i == 0 ? 10 : 9) - power[i]);
  }
  return digits;
}

// How many fraction digits decide whether whole + fraction rounds up to whole + 1 as a double.
int DecidingDigits(uint64_t whole) {
  uint64_t next = whole + 1;
  int p = 0;
  while (next >> (p + 1)) ++p;
  return ((next & (next - 1)) == 0 ? 54 : 53) - p;
}

// The reader's former algorithm, kept as the reference: truncate, then round up when the fraction
// reaches the threshold worked out afresh.
int32_t ReferenceRead(const DecimalParts& d, int32_t limit) {
  std::string digits = d.integer + d.fraction;
  int64_t point = static_cast<int64_t>(d.integer.size());
  size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) return 0;
  digits.erase(0, lead);
  point -= static_cast<int64_t>(lead);
  auto digitAt = [&](int64_t at) {
    return at >= 0 && at < static_cast<int64_t>(digits.size()) ? digits[static_cast<size_t>(at)] - '0' : 0;
  };
  if (point > 10) return d.negative ? -limit : limit;
  uint64_t whole = 0;
  for (int64_t i = 0; i < point; ++i) whole = whole * 10 + static_cast<uint64_t>(digitAt(i));
  if (whole < static_cast<uint64_t>(limit)) {
    std::string threshold = ThresholdByLongArithmetic(DecidingDigits(whole));
    bool up = true;
    for (size_t i = 0; i < threshold.size(); ++i) {
      int mine = digitAt(point + static_cast<int64_t>(i));
      if (mine != threshold[i] - '0') {
        up = mine > threshold[i] - '0';
        break;
      }
    }
    if (up) ++whole;
  }
  int32_t value = whole >= static_cast<uint64_t>(limit) ? limit : static_cast<int32_t>(whole);
  return d.negative ? -value : value;
}

// A fraction at or around the rounding threshold of whole: exact, one below in the last digit,
// a prefix of it and then random digits, or a run of nines; or plain random digits.
std::string EdgeFraction(uint64_t whole, std::mt19937& random) {
  auto pick = [&](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
  auto randomDigits = [&](int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + pick(10));
    return digits;
  };
  auto nines = [&](int most) { return std::string(static_cast<size_t>(pick(most)), '9'); };
  // Past 31 bits the fraction no longer matters; any threshold will do there.
  std::string threshold = ThresholdByLongArithmetic(DecidingDigits(whole & INT32_MAX));
  std::string belowByOne = threshold;
  belowByOne.back() = static_cast<char>(belowByOne.back() - 1);
  switch (pick(6)) {
    case 0: return threshold + std::string(static_cast<size_t>(pick(3)), '0');
    case 1: return belowByOne + nines(40);
    case 2: return threshold.substr(0, static_cast<size_t>(pick(static_cast<int>(threshold.size()) + 1))) +
                   randomDigits(pick(70));
    case 3: return nines(60) + randomDigits(pick(3));
    default: return randomDigits(pick(120));
  }
}

// The table of thresholds must give every read exactly what the long arithmetic gave.
TEST(ReadTruncatedDecimal, AgreesWithLongArithmeticOnRandomAndThresholdTexts) {
  std::mt19937 random(20261210);
  auto pick = [&](uint32_t count) { return random() % count; };
  for (int run = 0; run < 20000; ++run) {
    int32_t limit = std::vector<int32_t>{kLimit, INT32_MAX, static_cast<int32_t>(random() >> 1)}[pick(3)];
    uint64_t whole = 0;
    switch (pick(4)) {
      case 0: whole = pick(1100); break;
      case 1: whole = (uint64_t{2} << pick(31)) - 2 + pick(3); break;  // whole + 1 around a power of two
      case 2: whole = static_cast<uint64_t>(limit) - pick(3); break;
      default: whole = static_cast<uint64_t>(random()) * 37; break;  // past 10 digits at times
    }
    std::string integer = std::string(pick(3), '0') + std::to_string(whole);
    DecimalParts d{pick(2) == 0, integer, EdgeFraction(whole, random)};
    std::string text = (d.negative ? "-" : "") + d.integer + (d.fraction.empty() ? "" : "." + d.fraction);
    ASSERT_EQ(ReadTruncatedDecimal(text.c_str(), limit), ReferenceRead(d, limit)) << text << " limit " << limit;
  }
}

TEST(ReadTruncatedDecimal, ANegativeLimitReadsAsZero) { EXPECT_EQ(ReadTruncatedDecimal("5", -3), 0); }

}  // namespace

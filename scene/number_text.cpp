// Decimal number reading for the object file: our own atoi and truncating atof, identical everywhere.
#include "scene/number_text.h"

#include <cstdint>

namespace {

constexpr int64_t kInt32Max = 2147483647;
constexpr int64_t kInt32MinMagnitude = 2147483648;
// Significant digits kept: the integer part (at most 10 digits below the saturation point) and the
// 54 fraction digits that can decide a rounding boundary fit well within this.
constexpr int kKeptDigits = 80;
constexpr int32_t kExponentCap = 100000;  // far past any exponent that still changes the result
// An integer part with more digits than this is past every int32 limit.
constexpr int kMaxIntegerDigits = 10;
// The double format has a 53-bit significand.
constexpr int kSignificandBits = 53;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipBlanks(const char* text) {
  while (IsBlank(*text)) ++text;
  return text;
}

// Reads an optional sign; returns true for '-'.
bool ReadSign(const char*& text) {
  if (*text == '-' || *text == '+') return *text++ == '-';
  return false;
}

// A decimal number as 0.d1 d2 ... dn times 10^pointPosition, significant digits only.
struct DecimalDigits {
  char digits[kKeptDigits];
  int count;
  int64_t pointPosition;
};

// Reads digits, '.', digits; false when the mantissa holds no digit at all.
bool ReadMantissa(const char*& text, DecimalDigits& number) {
  number.count = 0;
  number.pointPosition = 0;
  bool anyDigit = false;
  bool afterPoint = false;
  for (;; ++text) {
    char c = *text;
    if (c == '.' && !afterPoint) {
      afterPoint = true;
      continue;
    }
    if (!IsDigit(c)) break;
    anyDigit = true;
    if (c == '0' && number.count == 0) {
      if (afterPoint) --number.pointPosition;  // a leading zero of the fraction
      continue;
    }
    if (number.count < kKeptDigits) number.digits[number.count++] = c;
    if (!afterPoint) ++number.pointPosition;
  }
  return anyDigit;
}

// Reads an exponent part if a complete one follows ('e' or 'E', sign, at least one digit).
int32_t ReadExponent(const char* text) {
  if (*text != 'e' && *text != 'E') return 0;
  ++text;
  bool negative = ReadSign(text);
  if (!IsDigit(*text)) return 0;
  int32_t value = 0;
  for (; IsDigit(*text); ++text) {
    if (value < kExponentCap) value = value * 10 + (*text - '0');
  }
  return negative ? -value : value;
}

// The digit at position i of the fraction (i = 0 is the tenths).
int FractionDigit(const DecimalDigits& number, int64_t i) {
  int64_t at = number.pointPosition + i;
  if (at < 0 || at >= number.count) return 0;
  return number.digits[at] - '0';
}

// floor(log2(n)) for n >= 1.
int FloorLog2(uint64_t n) {
  int p = 0;
  while (n >>= 1) ++p;
  return p;
}

// The decimal digits of 1 - 2^-q for q = 0 to kMaxThresholdDigits, most significant first: the
// point from which a fraction rounds to the next integer as a double. 1 - 2^-q = (10^q - 5^q) / 10^q
// has exactly q digits. Built once, at compile time, so that a read compares digits and no more.
constexpr int kMaxThresholdDigits = kSignificandBits + 1;

struct ThresholdTable {
  signed char digits[kMaxThresholdDigits + 1][kMaxThresholdDigits];
};

constexpr ThresholdTable BuildThresholdTable() {
  ThresholdTable table{};
  int power[kMaxThresholdDigits] = {1};  // 5^q, least significant digit first
  for (int q = 0; q <= kMaxThresholdDigits; ++q) {
    // 10^q - 5^q: 5^q ends in 5 (or is 1 for q = 0, which has no digits), so the lowest digit is
    // 10 - 5 and every other one is the nines' complement.
    for (int i = 0; i < q; ++i) {
      table.digits[q][q - 1 - i] = static_cast<signed char>((i == 0 ? 10 : 9) - power[i]);
    }
    int carry = 0;
    for (int& digit : power) {
      int product = digit * 5 + carry;
      digit = product % 10;
      carry = product / 10;
    }
  }
  return table;
}

constexpr ThresholdTable kThresholds = BuildThresholdTable();

// True when the fraction is at least 1 - 2^-q (0 <= q <= kMaxThresholdDigits).
bool FractionReachesThreshold(const DecimalDigits& number, int q) {
  const signed char* threshold = kThresholds.digits[q];
  for (int i = 0; i < q; ++i) {
    int mine = FractionDigit(number, i);
    if (mine != threshold[i]) return mine > threshold[i];
  }
  return true;  // equal through q digits: at or past the threshold; a tie rounds to the even integer
}

// Whether a value of integer part whole plus the given fraction becomes whole + 1 as a double.
// Below n = whole + 1 the doubles are spaced 2^(p-52) (n not a power of two, p = floor(log2 n)) or
// 2^(p-53) (n a power of two); the value rounds up within half a spacing of n.
bool RoundsUpToNextInteger(const DecimalDigits& number, uint64_t whole) {
  uint64_t next = whole + 1;
  int p = FloorLog2(next);
  bool powerOfTwo = (next & (next - 1)) == 0;
  int q = (powerOfTwo ? kSignificandBits + 1 : kSignificandBits) - p;
  return FractionReachesThreshold(number, q);
}

int32_t Saturate(uint64_t magnitude, int32_t limit, bool negative) {
  uint64_t cap = static_cast<uint64_t>(limit);
  int32_t value = magnitude >= cap ? limit : static_cast<int32_t>(magnitude);
  return negative ? -value : value;
}

}  // namespace

int32_t ReadInteger(const char* text) {
  text = SkipBlanks(text);
  bool negative = ReadSign(text);
  int64_t magnitude = 0;
  for (; IsDigit(*text); ++text) {
    if (magnitude <= kInt32MinMagnitude) magnitude = magnitude * 10 + (*text - '0');
  }
  if (negative) return magnitude >= kInt32MinMagnitude ? INT32_MIN : static_cast<int32_t>(-magnitude);
  return magnitude >= kInt32Max ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int32_t ReadTruncatedDecimal(const char* text, int32_t limit) {
  if (limit < 0) limit = 0;
  text = SkipBlanks(text);
  bool negative = ReadSign(text);
  DecimalDigits number;
  if (!ReadMantissa(text, number) || number.count == 0) return 0;
  number.pointPosition += ReadExponent(text);
  if (number.pointPosition > kMaxIntegerDigits) return negative ? -limit : limit;
  uint64_t whole = 0;
  for (int64_t i = 0; i < number.pointPosition; ++i) {
    whole = whole * 10 + (i < number.count ? static_cast<uint64_t>(number.digits[i] - '0') : 0u);
  }
  if (whole >= static_cast<uint64_t>(limit)) return Saturate(whole, limit, negative);
  if (RoundsUpToNextInteger(number, whole)) ++whole;
  return Saturate(whole, limit, negative);
}

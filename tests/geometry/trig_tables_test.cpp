// Every entry of the four tables, on every platform: telling values, shape, and one fingerprint.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "geometry/trig_tables.h"

namespace {

class TrigTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildTrigTables(); }
};

// FNV-1a over the little-endian bytes of every entry of the four tables, in table order.
uint32_t TablesFingerprint() {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](const int32_t* table, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t value = static_cast<uint32_t>(table[i]);
      for (int shift = 0; shift < 32; shift += 8) {
        hash ^= (value >> shift) & 0xFFu;
        hash *= 16777619u;
      }
    }
  };
  mix(FineSin, kFineSinCount);
  mix(Sin128, kAngleIndexCount);
  mix(Cos128, kAngleIndexCount);
  mix(SlopeAngle, kSlopeAngleCount);
  return hash;
}

TEST_F(TrigTablesTest, TellingEntriesHaveTheirDesignedValues) {
  const struct {
    const int32_t* table;
    int32_t index;
    int32_t value;
  } cases[] = {
      {FineSin, 1, 17},        {FineSin, 2, 34},        {FineSin, 10, 174},      {FineSin, 300, 4999},
      {FineSin, 450, 7071},    {FineSin, 600, 8660},    {FineSin, 898, 9999},    {FineSin, 899, 10000},
      {FineSin, 900, 10000},   {Sin128, 360, 0},        {Cos128, 360, 128},      {Sin128, 361, 2},
      {Cos128, 361, 127},      {Sin128, 390, 63},       {Cos128, 390, 110},      {Sin128, 405, 90},
      {Cos128, 405, 90},       {Sin128, 420, 110},      {Cos128, 420, 64},       {Sin128, 450, 128},
      {Cos128, 450, 0},        {Sin128, 510, 64},       {Cos128, 510, -110},     {Sin128, 540, 0},
      {Cos128, 540, -128},     {Sin128, 630, -128},     {Cos128, 630, 0},        {Sin128, 660, -110},
      {Cos128, 660, 63},       {Sin128, 0, 0},          {Cos128, 0, 128},        {Sin128, 719, -2},
      {Cos128, 719, 127},      {Sin128, 330, -63},      {Sin128, 690, -64},      {Cos128, 300, 64},
      {SlopeAngle, 0, 900},    {SlopeAngle, 1, 899},    {SlopeAngle, 2, 898},    {SlopeAngle, 3, 898},
      {SlopeAngle, 100, 836},  {SlopeAngle, 450, 634},  {SlopeAngle, 899, 450},  {SlopeAngle, 900, 450},
      {SlopeAngle, 901, 449},  {SlopeAngle, 1350, 265}, {SlopeAngle, 1798, 1},   {SlopeAngle, 1799, 0},
      {SlopeAngle, 1800, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.table[c.index], c.value) << "entry " << c.index;
  }
}

// The single-precision pi makes exactly these eight entries 63 where the true pi gives 64.
TEST_F(TrigTablesTest, PiFDecidesTheEightEntriesAtThirtyDegreeMultiples) {
  const long double truePi = 3.14159265358979323846L;
  auto truePiEntry = [truePi](long double (*f)(long double), int32_t degrees) {
    return static_cast<int32_t>(static_cast<float>(f(degrees * truePi / 180.0L) * 128.0L));
  };
  long double (*sine)(long double) = std::sin;
  long double (*cosine)(long double) = std::cos;
  for (int32_t degrees : {-210, -30, 30, 210}) {
    EXPECT_EQ(std::abs(Sin128[360 + degrees]), 63) << degrees;
    EXPECT_EQ(std::abs(truePiEntry(sine, degrees)), 64) << degrees;
  }
  for (int32_t degrees : {-300, -120, 120, 300}) {
    EXPECT_EQ(std::abs(Cos128[360 + degrees]), 63) << degrees;
    EXPECT_EQ(std::abs(truePiEntry(cosine, degrees)), 64) << degrees;
  }
}

TEST_F(TrigTablesTest, QuarterTurnsAreExactlyFullScale) {
  for (int32_t degrees : {-270, -90, 90, 270}) EXPECT_EQ(std::abs(Sin128[360 + degrees]), 128) << degrees;
  for (int32_t degrees : {-360, -180, 180}) EXPECT_EQ(std::abs(Cos128[360 + degrees]), 128) << degrees;
}

TEST_F(TrigTablesTest, SineIsOddAndCosineEvenAboutZeroDegrees) {
  for (int32_t n = 1; n <= 359; ++n) {
    EXPECT_EQ(Sin128[360 + n], -Sin128[360 - n]) << n;
    EXPECT_EQ(Cos128[360 + n], Cos128[360 - n]) << n;
  }
}

TEST_F(TrigTablesTest, TablesStayInRangeAndMonotonic) {
  for (int32_t c = 1; c < kFineSinCount; ++c) EXPECT_LE(FineSin[c - 1], FineSin[c]) << c;
  for (int32_t k = 1; k < kSlopeAngleCount; ++k) EXPECT_GE(SlopeAngle[k - 1], SlopeAngle[k]) << k;
  for (int32_t k = 0; k < kAngleIndexCount; ++k) {
    EXPECT_LE(std::abs(Sin128[k]), 128) << k;
    EXPECT_LE(std::abs(Cos128[k]), 128) << k;
  }
}

// Pins all 4,142 entries, which the tables' build produces from their formulas: the same value
// natively and in both Windows builds under Wine.
TEST_F(TrigTablesTest, FingerprintOfAllEntriesIsTheSameOnEveryPlatform) {
  constexpr uint32_t kExpectedFingerprint = 0xF1CA23A8u;
  EXPECT_EQ(TablesFingerprint(), kExpectedFingerprint) << std::hex << "got 0x" << TablesFingerprint();
}

TEST_F(TrigTablesTest, RebuildingWritesTheSameValues) {
  const uint32_t before = TablesFingerprint();
  BuildTrigTables();
  EXPECT_EQ(TablesFingerprint(), before);
}

}  // namespace

// RotatePoint: exact fixed-point results within the design's limits, safe beyond them.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "geometry/rotation.h"
#include "geometry/trig_tables.h"

namespace {

class RotationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildTrigTables(); }
};

Vertex Turned(Vertex point, int32_t angleIndex, AxisCode axis) {
  RotatePoint(point, angleIndex, axis);
  return point;
}

bool Same(const Vertex& a, const Vertex& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void ExpectVertex(const Vertex& actual, int32_t x, int32_t y, int32_t z) {
  EXPECT_EQ(actual.x, x);
  EXPECT_EQ(actual.y, y);
  EXPECT_EQ(actual.z, z);
}

TEST_F(RotationTest, ZeroDegreesLeavesEveryPointUnchanged) {
  for (AxisCode axis : {kAxisX, kAxisY, kAxisZ}) ExpectVertex(Turned({123, -45, 678}, 360, axis), 123, -45, 678);
}

TEST_F(RotationTest, QuarterTurnsFollowTheRightHandedFrame) {
  ExpectVertex(Turned({128, 0, 0}, 450, kAxisZ), 0, 128, 0);
  ExpectVertex(Turned({0, 0, 128}, 450, kAxisX), 0, 128, 0);
  ExpectVertex(Turned({128, 0, 0}, 450, kAxisY), 0, 0, 128);
  ExpectVertex(Turned({0, 0, 128}, 450, kAxisY), -128, 0, 0);
  ExpectVertex(Turned({0, 128, 0}, 450, kAxisX), 0, 0, -128);
}

TEST_F(RotationTest, ShiftFloorsTowardMinusInfinity) {
  ExpectVertex(Turned({1, 0, 0}, 361, kAxisZ), 0, 0, 0);
  ExpectVertex(Turned({-1, 0, 0}, 361, kAxisZ), -1, -1, 0);
}

TEST_F(RotationTest, UsesTheCoordinatesAsTheyWereBeforeTheCall) {
  // At 45 degrees C = S = 90: x' = (100*90 - 50*90) >> 7, y' = (50*90 + 100*90) >> 7.
  ExpectVertex(Turned({100, 50, 7}, 405, kAxisZ), 35, 105, 7);
}

TEST_F(RotationTest, CodesOtherThanTheThreeAxesTurnNothing) {
  for (int code : {0, 3, 5, 6, 7, 8, 255}) {
    ExpectVertex(Turned({11, 22, 33}, 450, static_cast<AxisCode>(code)), 11, 22, 33);
  }
}

TEST_F(RotationTest, OutOfRangeIndicesAreClampedToTheTableEnds) {
  const Vertex p{100, -40, 25};
  for (AxisCode axis : {kAxisX, kAxisY, kAxisZ}) {
    for (int32_t below : {-1, -5, INT32_MIN}) EXPECT_TRUE(Same(Turned(p, below, axis), Turned(p, 0, axis))) << below;
    for (int32_t above : {720, 1000, INT32_MAX}) EXPECT_TRUE(Same(Turned(p, above, axis), Turned(p, 719, axis))) << above;
  }
}

// At the largest coordinates the design allows, the result equals exact integer arithmetic.
TEST_F(RotationTest, LargestAllowedCoordinatesMatchWideArithmetic) {
  constexpr int32_t kLimit = 8388607;
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> coordinate(-kLimit, kLimit);
  std::uniform_int_distribution<int32_t> index(0, 719);
  for (int round = 0; round < 20000; ++round) {
    const Vertex p{coordinate(random), coordinate(random), coordinate(random)};
    const int32_t k = index(random);
    const int64_t c = Cos128[k], s = Sin128[k];
    auto floorDiv128 = [](int64_t v) { return static_cast<int32_t>(v >= 0 ? v / 128 : -((-v + 127) / 128)); };
    ExpectVertex(Turned(p, k, kAxisZ), floorDiv128(p.x * c - p.y * s), floorDiv128(p.y * c + p.x * s), p.z);
  }
}

// Any argument values: no out-of-table read and no signed overflow (UBSan fails the run
// otherwise); beyond the limits the result is what 32-bit two's-complement arithmetic gives.
TEST_F(RotationTest, ArbitraryCoordinatesWrapLikeThirtyTwoBitArithmetic) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> index(0, 719);
  auto wrapped = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); };
  auto floorDiv128 = [](int32_t v) { return static_cast<int32_t>(v >= 0 ? v / 128 : -((-static_cast<int64_t>(v) + 127) / 128)); };
  for (int round = 0; round < 100000; ++round) {
    const Vertex p{any(random), any(random), any(random)};
    const int32_t k = index(random);
    const int64_t c = Cos128[k], s = Sin128[k];
    ExpectVertex(Turned(p, k, kAxisX), p.x, floorDiv128(wrapped(p.y * c + p.z * s)),
                 floorDiv128(wrapped(p.z * c - p.y * s)));
    ExpectVertex(Turned(p, k, kAxisY), floorDiv128(wrapped(p.x * c - p.z * s)), p.y,
                 floorDiv128(wrapped(p.z * c + p.x * s)));
  }
}

}  // namespace

// The table-driven distance and the painter's-order sort, including its order of equal keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "geometry/depth_order.h"
#include "geometry/trig_tables.h"

namespace {

class DepthOrderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildTrigTables(); }
};

std::vector<int32_t> SortedIndices(std::vector<DepthRecord> records) {
  SortByDepth(records.data(), static_cast<int32_t>(records.size()));
  std::vector<int32_t> indices;
  for (const DepthRecord& r : records) indices.push_back(r.index);
  return indices;
}

std::vector<DepthRecord> EqualKeyRecords(int32_t count) {
  std::vector<DepthRecord> records;
  for (int32_t i = 0; i < count; ++i) records.push_back({i, {0, i * 7, -3000}});  // y is not consulted
  return records;
}

TEST_F(DepthOrderTest, HypotenuseApproximatesTenTimesTheLength) {
  const struct {
    int32_t a, b, expected;
  } cases[] = {
      {0, 0, 0},          {5, 0, 0},        {0, 3000, 30000}, {3000, 3000, 42426}, {-3000, 3000, 42426},
      {500, 3000, 30419}, {3000, 500, 30618}, {300, 400, 5002}, {1000, 1, 100},     {0, 21474, 214740},
  };
  for (const auto& c : cases) EXPECT_EQ(Hypotenuse(c.a, c.b), c.expected) << c.a << "," << c.b;
}

TEST_F(DepthOrderTest, HypotenuseAtTheLimitsMatchesThirtyTwoBitArithmetic) {
  // b * 100000 and a * 900 are at the edge of 32 bits here; the results must be the plain ones.
  EXPECT_EQ(Hypotenuse(2386092, 21474), 21474 * 100000 / FineSin[SlopeAngle[1800 - 21474 * 900 / 2386092]]);
  EXPECT_EQ(Hypotenuse(-2386092, 1), 100);
}

// Behind the viewer (b < 0): the angle of (|a|, |b|), with b's sign kept, as 10 * b is for a = 0.
TEST_F(DepthOrderTest, HypotenuseOfNegativeBMirrorsTheAngleAndKeepsTheSign) {
  EXPECT_EQ(Hypotenuse(0, -3000), -30000);
  EXPECT_EQ(Hypotenuse(3000, -3000), -42426);
  EXPECT_EQ(Hypotenuse(-500, -3000), -30419);
}

TEST_F(DepthOrderTest, HypotenuseIsSafeAndSaturatesForAnyArguments) {
  EXPECT_EQ(Hypotenuse(0, INT32_MAX), INT32_MAX);
  EXPECT_EQ(Hypotenuse(0, INT32_MIN), INT32_MIN);
  EXPECT_EQ(Hypotenuse(INT32_MIN, INT32_MIN), INT32_MIN);
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  for (int round = 0; round < 200000; ++round) {
    const int32_t a = any(random), b = any(random);
    const int32_t result = Hypotenuse(a, b);
    EXPECT_EQ(result < 0, b < 0) << a << "," << b;  // the sign follows b
  }
}

TEST_F(DepthOrderTest, CompareDepthAnswersOneOnlyWhenQIsStrictlyNearer) {
  const Vertex near{0, 0, -2000}, far{0, 0, -3000};
  EXPECT_EQ(CompareDepth(near, far), 0);
  EXPECT_EQ(CompareDepth(far, near), 1);
  EXPECT_EQ(CompareDepth(near, near), 0);
  EXPECT_EQ(CompareDepth({0, 5000, -2000}, {0, -5000, -2000}), 0);  // height plays no part
}

TEST_F(DepthOrderTest, SortPutsTheFarthestFirst) {
  EXPECT_EQ(SortedIndices({{0, {0, 0, -2000}}, {1, {0, 0, -4000}}, {2, {0, 0, -3000}}}),
            (std::vector<int32_t>{1, 2, 0}));
}

TEST_F(DepthOrderTest, EqualKeysComeOutInTheOrderTheGapSequenceGives) {
  EXPECT_EQ(SortedIndices(EqualKeyRecords(2)), (std::vector<int32_t>{1, 0}));
  EXPECT_EQ(SortedIndices(EqualKeyRecords(3)), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(SortedIndices(EqualKeyRecords(9)), (std::vector<int32_t>{1, 2, 3, 8, 4, 0, 5, 6, 7}));
  // From ten records on the gap of 9 takes part too; a Face list holds up to 20.
  EXPECT_EQ(SortedIndices(EqualKeyRecords(10)), (std::vector<int32_t>{2, 4, 1, 3, 9, 0, 6, 8, 5, 7}));
  EXPECT_EQ(SortedIndices(EqualKeyRecords(20)),
            (std::vector<int32_t>{13, 12, 18, 11, 9, 19, 17, 16, 5, 15, 4, 14, 3, 2, 0, 10, 8, 1, 7, 6}));
}

TEST_F(DepthOrderTest, SortOfNoneOrOneRecordChangesNothing) {
  DepthRecord one{42, {1, 2, -3}};
  SortByDepth(&one, 1);
  EXPECT_EQ(one.index, 42);
  SortByDepth(nullptr, 0);
  SortByDepth(&one, -5);
  EXPECT_EQ(one.index, 42);
}

TEST_F(DepthOrderTest, RandomRecordsEndInNonIncreasingKeyOrder) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> x(-5000, 5000), z(-21474, 0);
  for (int round = 0; round < 500; ++round) {
    std::vector<DepthRecord> records(20);
    for (size_t i = 0; i < 20; ++i) records[i] = {static_cast<int32_t>(i), {x(random), 0, z(random)}};
    SortByDepth(records.data(), 20);
    for (size_t i = 1; i < 20; ++i) {
      EXPECT_EQ(CompareDepth(records[i].position, records[i - 1].position), 0) << "round " << round;
    }
  }
}

}  // namespace

// Milliseconds between two tick counts, across the wrap of the 32-bit counter.
#include <gtest/gtest.h>

#include "host/default_handler.h"

namespace {

TEST(ElapsedTicks, CountsForwardAndAcrossTheWrap) {
  EXPECT_EQ(ElapsedTicks(100, 300), 200u);
  EXPECT_EQ(ElapsedTicks(0xFFFFFF9Cu, 100), 200u);  // 100 ms before the wrap to 100 ms after it
  EXPECT_EQ(ElapsedTicks(7, 7), 0u);
  EXPECT_EQ(ElapsedTicks(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ElapsedTicks(0, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace

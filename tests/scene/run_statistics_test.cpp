// The run statistics: exact bytes of the five lines, wrap-safe elapsed time and rate.
#include "scene/run_statistics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Format(DWORD startTick, DWORD endTick, int32_t frameCount) {
  char text[kRunStatisticsCapacity];
  size_t length = FormatRunStatistics(startTick, endTick, frameCount, text);
  EXPECT_EQ(length, std::string(text).size());
  return std::string(text, length);
}

std::string Lines(const char* started, const char* ended, const char* frames, const char* seconds,
                  const char* rate) {
  return std::string("Started           =") + started + "\r\nEnded             =" + ended +
         "\r\nTotal Frames      =" + frames + "\r\nTotal Seconds     =" + seconds +
         "\r\nFrames per Second =" + rate + "\r\n";
}

TEST(RunStatistics, FiveLabelledLinesWithCarriageReturnLineFeed) {
  EXPECT_EQ(Format(1000, 11000, 200), Lines("1000", "11000", "200", "10", "20"));
}

TEST(RunStatistics, AFailedLoadReportsZeroFramesAndZeroRate) {
  EXPECT_EQ(Format(5000, 8000, 0), Lines("5000", "8000", "0", "3", "0"));
}

TEST(RunStatistics, NoElapsedTimeGivesARateOfZero) {
  EXPECT_EQ(Format(777, 777, 3), Lines("777", "777", "3", "0", "0"));
}

TEST(RunStatistics, TicksPastTwoToTheThirtyOnePrintNegative) {
  EXPECT_EQ(Format(0x80000000u, 0xFFFFFFFFu, 0), Lines("-2147483648", "-1", "0", "2147483", "0"));
}

TEST(RunStatistics, AWrapOfTheTickCounterDoesNoHarm) {
  // 100 ms before the wrap to 9,900 ms after it: 10 seconds.
  EXPECT_EQ(Format(0xFFFFFF9Cu, 9900, 200), Lines("-100", "9900", "200", "10", "20"));
}

TEST(RunStatistics, LongRunsKeepTheirRate) {
  // 40 hours at 20 frames per second: frames x 1000 no longer fits 32 bits.
  const DWORD elapsed = 40u * 3600u * 1000u;
  EXPECT_EQ(Format(0, elapsed, 2880000), Lines("0", "144000000", "2880000", "144000", "20"));
  // 30 days: the elapsed time is past 2^31 milliseconds.
  const DWORD month = 30u * 24u * 3600u * 1000u;
  EXPECT_EQ(Format(1, 1 + month, 51840000), Lines("1", "-1702967295", "51840000", "2592000", "20"));
}

TEST(RunStatistics, TheLongestLinesFitTheBuffer) {
  std::string text = Format(0x80000000u, 0x7FFFFFFFu, INT32_MIN);
  EXPECT_EQ(text, Lines("-2147483648", "2147483647", "-2147483648", "4294967", "-500"));
  text = Format(0, 1, INT32_MAX);
  EXPECT_EQ(text, Lines("0", "1", "2147483647", "0", "2147483647000"));
}

TEST(RunStatistics, WritesTheBytesToTheFile) {
  const char* path = "run_statistics_test.dat";
  ASSERT_TRUE(WriteRunStatistics(path, 1000, 11000, 200));
  FILE* file = std::fopen(path, "rb");
  ASSERT_NE(file, nullptr);
  char bytes[kRunStatisticsCapacity] = {};
  size_t length = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  std::remove(path);
  EXPECT_EQ(std::string(bytes, length), Lines("1000", "11000", "200", "10", "20"));
}

TEST(RunStatistics, AFileThatCannotBeCreatedIsReportedToTheCaller) {
  EXPECT_FALSE(WriteRunStatistics("no_such_directory/times.dat", 1, 2, 3));
}

}  // namespace

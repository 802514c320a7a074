// The colour table when its block or a brush cannot be had: the index is -1, the table keeps what
// it held, later colours still find room, and every brush and block is released in the end.
#include "scene/colour_table.h"

#include <gtest/gtest.h>

#include "platform/test_hooks/test_hooks.h"
#include "tests/support/platform_test.h"

namespace {

using TestHooks::Call;
using TestHooks::HandleKind;

class ColourTableFaultTest : public PlatformTest {
 protected:
  void TearDown() override {
    FreeColourTable();
    EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Brush), 0);
    EXPECT_EQ(TestHooks::LiveHandles(HandleKind::GlobalBlock), 0);
    PlatformTest::TearDown();
  }

  static int32_t IndexOf(const char* text) {
    int32_t index = 12345;
    GetColourIndex(text, &index);
    return index;
  }
};

TEST_F(ColourTableFaultTest, NoBlockForTheFirstEntryGivesNoFillAndTheNextColourStartsAgain) {
  TestHooks::FailCall(Call::GlobalAlloc);
  EXPECT_EQ(IndexOf("255,0,0"), kNoFill);
  EXPECT_EQ(colourTable.entryCount, 0);
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  EXPECT_EQ(colourTable.entries[0].colour, 0x020000FFu);
}

TEST_F(ColourTableFaultTest, AFailedGrowthKeepsTheEntriesSoFar) {
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  TestHooks::FailCall(Call::GlobalReAlloc);
  EXPECT_EQ(IndexOf("0,255,0"), kNoFill);
  EXPECT_EQ(colourTable.entryCount, 1);
  ASSERT_NE(colourTable.entries, nullptr);
  EXPECT_EQ(colourTable.entries[0].colour, 0x020000FFu);
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  EXPECT_EQ(IndexOf("0,255,0"), 1);
}

TEST_F(ColourTableFaultTest, ABlockThatCannotBeLockedIsReachedAgainLater) {
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  TestHooks::FailCall(Call::GlobalLock);  // the lock after the resize
  EXPECT_EQ(IndexOf("0,255,0"), kNoFill);
  EXPECT_EQ(colourTable.entryCount, 1);
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  EXPECT_EQ(IndexOf("0,0,255"), 1);
  EXPECT_EQ(colourTable.entryCount, 2);
}

TEST_F(ColourTableFaultTest, ATableThatCannotBeReachedIsNeitherSearchedNorGrown) {
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  TestHooks::FailCall(Call::GlobalLock);  // the lock after the resize
  EXPECT_EQ(IndexOf("0,255,0"), kNoFill);
  TestHooks::FailCall(Call::GlobalLock);  // and the lock again on the next lookup
  EXPECT_EQ(IndexOf("255,0,0"), kNoFill);
  EXPECT_EQ(IndexOf("255,0,0"), 0);  // found once reachable, never added a second time
  EXPECT_EQ(colourTable.entryCount, 1);
}

TEST_F(ColourTableFaultTest, ReadersLockTheTableAgainAfterAFailedLock) {
  EXPECT_EQ(IndexOf("255,0,0"), 0);
  TestHooks::FailCall(Call::GlobalLock);
  EXPECT_EQ(IndexOf("0,255,0"), kNoFill);
  ASSERT_EQ(colourTable.entries, nullptr);
  ASSERT_NE(ColourTableEntries(), nullptr);
  EXPECT_EQ(ColourTableEntries()[0].colour, 0x020000FFu);
}

TEST_F(ColourTableFaultTest, TheFirstBlockUnlockedAtFirstIsStillFreed) {
  TestHooks::FailCall(Call::GlobalLock);
  EXPECT_EQ(IndexOf("255,0,0"), kNoFill);
  EXPECT_NE(colourTable.tableBlock, nullptr);
}

TEST_F(ColourTableFaultTest, ABrushThatCannotBeMadeLeavesItsSlotToTheNextColour) {
  TestHooks::FailCall(Call::CreateSolidBrush);
  EXPECT_EQ(IndexOf("255,0,0"), kNoFill);
  EXPECT_EQ(colourTable.entryCount, 0);
  EXPECT_EQ(IndexOf("0,255,0"), 0);
  EXPECT_EQ(colourTable.entries[0].colour, 0x0200FF00u);
  EXPECT_EQ(IndexOf("255,0,0"), 1);
}

TEST_F(ColourTableFaultTest, FreeingTwiceIsHarmless) {
  EXPECT_EQ(IndexOf("1,2,3"), 0);
  FreeColourTable();
  EXPECT_EQ(colourTable.entryCount, 0);
  EXPECT_EQ(colourTable.tableBlock, nullptr);
  FreeColourTable();
}

}  // namespace

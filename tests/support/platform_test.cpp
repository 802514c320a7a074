// A clean portable platform for each test: reset hooks, a fresh drive folder, a virtual clock; and
// a recorder of message boxes.
#include "tests/support/platform_test.h"

#include <stdlib.h>

#include <filesystem>

void PlatformTest::SetUp() {
  // A folder of the test's own, so that nothing outside it is ever written or removed.
  std::string pattern = ::testing::TempDir() + "cubrix-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot make a folder in " << ::testing::TempDir();
  drive_ = pattern;
  // Made here, the drive is no new one, and nothing is seeded into it.
  std::filesystem::create_directory(drive_ + "/windows");
  ResetPlatform();
}

void PlatformTest::TearDown() {
  TestHooks::ResetPlatform();
  if (drive_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(drive_, error);
  EXPECT_FALSE(error) << "cannot remove " << drive_ << ": " << error.message();
}

void PlatformTest::ResetPlatform() {
  TestHooks::ResetPlatform();
  SetDriveOverride(drive_);  // makes its windows folder
  UseVirtualClock(kStartTick);
}

void RecordMessageBoxes(std::vector<MessageBoxCall>* boxes, int answer, std::function<void()> whileShown) {
  SetMessageBoxHook([boxes, answer, whileShown](const MessageBoxCall& call) {
    boxes->push_back(call);
    if (whileShown) whileShown();
    return answer;
  });
}

std::vector<std::string> TextsOf(const std::vector<MessageBoxCall>& boxes) {
  std::vector<std::string> texts;
  for (const MessageBoxCall& box : boxes) texts.push_back(box.text);
  return texts;
}

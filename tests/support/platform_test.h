// A clean portable platform for each test: reset hooks, a fresh drive folder, a virtual clock; and
// a recorder of message boxes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/test_hooks/test_hooks.h"

class PlatformTest : public ::testing::Test {
 protected:
  // Where the virtual clock starts: GetTickCount's value when a test begins.
  static constexpr DWORD kStartTick = 1000;

  void SetUp() override;
  void TearDown() override;
  // A clean platform again within the same test; the drive folder and its files stay.
  void ResetPlatform();

  std::string drive_;  // the folder that stands for C:, the test's own
};

// From now on every message box is answered with the given button and recorded in the list;
// whileShown runs before the answer (a user who takes time to read, say).
void RecordMessageBoxes(std::vector<MessageBoxCall>* boxes, int answer = IDOK,
                        std::function<void()> whileShown = nullptr);
// The texts of the boxes, in order.
std::vector<std::string> TextsOf(const std::vector<MessageBoxCall>& boxes);

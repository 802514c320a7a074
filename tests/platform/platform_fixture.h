// A clean portable platform for each test: reset hooks, a fresh drive folder, a virtual clock.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/test_hooks.h"

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestHooks::ResetPlatform();
    char pattern[] = "/tmp/cubrix-platform-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    drive_ = pattern;
    TestHooks::SetDriveFolder(drive_);
    TestHooks::UseVirtualClock(1000);
  }
  void TearDown() override {
    TestHooks::ResetPlatform();
    std::filesystem::remove_all(drive_);
  }
  std::string drive_;
};

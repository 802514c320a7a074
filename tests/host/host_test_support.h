// Shared by the host's hook-based tests: a recording stand-in for the scene, a clean platform per
// test, and the platform's call log as rows of traffic.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"
#include "tests/support/message_sequence.h"
#include "tests/support/platform_test.h"

// What the stand-in SceneProc answers when it keeps a message to itself.
constexpr LRESULT kSceneAnswer = 0x5CE;

struct SceneCall {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  size_t platformCallsBefore;  // length of the platform's call log when the scene got the message
};

struct SceneDouble {
  std::vector<SceneCall> calls;
  // When set, messages go on to HostDefaultHandler as the real scene hands them on; otherwise
  // the stand-in answers kSceneAnswer itself.
  bool handOnToDefault = false;
  // Runs on WM_CREATE, e.g. to queue the close that ends a run.
  void (*onCreate)(HWND window) = nullptr;
  // Runs on WM_USER, which tests post to act later in a running loop.
  void (*onUser)(HWND window, WPARAM wParam) = nullptr;
};
extern SceneDouble sceneDouble;

// A fresh platform (virtual clock, own drive folder, empty registry), host state and scene double.
class HostTest : public PlatformTest {
 protected:
  void SetUp() override;
  // Starts again from a clean platform and host within the same test (the drive folder stays).
  void FreshPlatform();

  // Readable names for the handles that appear in traffic lines.
  void NameWindow(HWND window, const std::string& name);
  // The platform log of the given kinds and the scene's calls ("SceneProc WM_..."), merged in the
  // order they happened: messages as message rows that pin both parameters (flagged kParent when
  // they went to the given window's parent), other calls as call rows naming the handles.
  std::vector<Sequence::Row> Traffic(const std::vector<TestHooks::LogKind>& kinds, HWND window = nullptr) const;
  std::string HandleName(intptr_t handle) const;

 private:
  std::vector<std::pair<intptr_t, std::string>> names_;
};

// Call rows (Sequence::Call) with these texts, in order.
std::vector<Sequence::Row> Calls(const std::vector<std::string>& texts);

// A plain window procedure for windows the tests make themselves.
LRESULT TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A top-level window of its own class, standing in for a dialog or a settings page.
HWND MakeTestWindow(const char* title);

// Random input against a password-protected full-screen saver on the Windows 95 platform: a
// verifier that always refuses is never got round, and one that approves ends the saver at once.
// Each run has a fixed seed, named when it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "host/host_state.h"
#include "host/saver_window.h"
#include "platform/test_hooks/test_hooks.h"
#include "scene/scene_proc.h"
#include "tests/host/saver_driver.h"
#include "tests/support/platform_test.h"

#ifndef CUBRIX_SOURCE_DIR
#error "the build names the source folder, for data/Cube.dat"
#endif

namespace {

#ifndef CUBRIX_STRESS_EVENTS
#define CUBRIX_STRESS_EVENTS 100000
#endif

constexpr int64_t kEvents = CUBRIX_STRESS_EVENTS;
constexpr UINT kDriverPeriodMs = 3;
constexpr DWORD kRecheckDelayMs = 200;
constexpr int64_t kNever = -1;
// Button messages the saver never asks for by name, so the platform's subset leaves them out.
constexpr UINT kLeftButtonUp = 0x202;
constexpr UINT kLeftButtonDoubleClick = 0x203;

// One run's random source, its verifier's behaviour and what was seen.
struct StressRun {
  std::mt19937_64 random;
  int64_t approveAtCall = kNever;
  HWND saver = nullptr;
  int64_t events = 0;
  int64_t verifyCalls = 0;
  int depth = 0;
  int deepest = 0;
  bool quitDuringCheck = false;
  bool approved = false;
  int32_t framesAtApproval = -1;
  bool openAfterApproval = false;
  int32_t framesInsideChecks = 0;
  DWORD lastCheckEnd = 0;
  DWORD shortestGap = UINT32_MAX;  // ticks from one check's end to the next one's start
  bool aliveAtEnd = false;
};
StressRun run;

uint64_t Below(uint64_t bound) { return run.random() % bound; }

// A coordinate moved by a distance of any size, from 0 to 2^31, kept within 32 bits.
LONG Moved(LONG from) {
  int bits = static_cast<int>(Below(32));
  int64_t distance = static_cast<int64_t>(Below(uint64_t{1} << bits));
  int64_t to = Below(2) != 0 ? int64_t{from} + distance : int64_t{from} - distance;
  if (to > INT32_MAX) to = INT32_MAX;
  if (to < INT32_MIN) to = INT32_MIN;
  return static_cast<LONG>(to);
}

void MovePointer() {
  POINT now{};
  GetCursorPos(&now);
  POINT to{Below(3) != 0 ? Moved(now.x) : now.x, Below(3) != 0 ? Moved(now.y) : now.y};
  SetInjectedCursor(POINT{to.x, to.y});
  // The low and high words of the position, as the system packs them.
  LPARAM packed = static_cast<LPARAM>((static_cast<DWORD>(to.y) & 0xFFFFu) << 16 | (static_cast<DWORD>(to.x) & 0xFFFFu));
  PostMessageA(run.saver, WM_MOUSEMOVE, 0, packed);
}

// One random event for the saver window: posted as the system queues input, sent where the
// system sends (activation), or time passing so that timers come due.
void NextEvent() {
  ++run.events;
  static const UINT kButtons[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, kLeftButtonUp, kLeftButtonDoubleClick};
  static const WPARAM kCommands[] = {SC_SCREENSAVE, SC_NEXTWINDOW, SC_PREVWINDOW, SC_SCREENSAVE + 1};
  switch (Below(9)) {
    case 0:
    case 1:
      MovePointer();
      break;
    case 2:
      PostMessageA(run.saver, Below(2) != 0 ? WM_KEYDOWN : WM_SYSKEYDOWN, Below(256), 0);
      break;
    case 3:
      PostMessageA(run.saver, kButtons[Below(5)], 0, 0);
      break;
    case 4:
      SendMessageA(run.saver, WM_ACTIVATEAPP, Below(2), 0);
      break;
    case 5:
      AdvanceVirtualClock(static_cast<DWORD>(Below(2 * kRecheckDelayMs)));
      break;
    case 6:
      PostMessageA(run.saver, WM_TIMER, 1, 0);  // a tick outside the timer's own rhythm
      break;
    case 7:
      PostMessageA(run.saver, WM_CLOSE, 0, 0);
      break;
    default:
      PostMessageA(run.saver, Below(2) != 0 ? WM_SETCURSOR : WM_SYSCOMMAND, kCommands[Below(4)], 0);
      break;
  }
}

// The check's own loop, as the system's password dialog runs one: events arrive, time passes and
// every message of the thread is dispatched, the saver's included.
void RunCheckLoop() {
  for (uint64_t round = Below(12); round > 0; --round) {
    NextEvent();
    AdvanceVirtualClock(static_cast<DWORD>(Below(60)));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        run.quitDuringCheck = true;
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      int32_t before = scene.frameCount;
      TranslateMessage(&message);
      DispatchMessageA(&message);
      run.framesInsideChecks += scene.frameCount - before;
    }
  }
}

BOOL WINAPI Verify(HWND) {
  DWORD start = GetTickCount();
  if (run.verifyCalls > 0 && start - run.lastCheckEnd < run.shortestGap) run.shortestGap = start - run.lastCheckEnd;
  ++run.verifyCalls;
  run.deepest = std::max(run.deepest, ++run.depth);
  RunCheckLoop();
  --run.depth;
  run.lastCheckEnd = GetTickCount();
  if (run.verifyCalls != run.approveAtCall) return FALSE;
  run.approved = true;
  run.framesAtApproval = scene.frameCount;
  return TRUE;
}

void OnDriverTick() {
  if (run.saver == nullptr) run.saver = hostState.saverWindow;
  TestHooks::ClearCallLog();  // the log would otherwise hold every call of the whole run
  if (run.approved) {
    run.openAfterApproval = IsWindow(run.saver) != FALSE;
    if (run.openAfterApproval) DestroyWindow(run.saver);
    return;
  }
  if (run.events < kEvents) {
    NextEvent();
    return;
  }
  if (run.depth == 0) {
    run.aliveAtEnd = IsWindow(run.saver) != FALSE;
    DestroyWindow(run.saver);  // as the system would at shutdown: the saver ends with its window
  }
}

class PasswordStressTest : public PlatformTest {
 protected:
  // A fresh platform with protection on: the setting, the Windows 95 platform, the verifier.
  void StartPlatform() {
    ResetPlatform();
    const std::filesystem::path drive = drive_;
    std::filesystem::remove(drive / "windows" / "times.dat");
    std::filesystem::copy_file(std::filesystem::path(CUBRIX_SOURCE_DIR) / "data" / "Cube.dat",
                               drive / "windows" / "Cube.dat", std::filesystem::copy_options::overwrite_existing);
    SetScreenSizeOverride(32, 24);
    SetWin95Override(Win95Override::Yes);
    TestHooks::SetRegistryValue("Control Panel\\Desktop", "ScreenSaveUsePassword", DwordRegistryValue(1));
    RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", Verify)});
  }

  // One whole run of the saver, driven by a window of its own thread.
  void RunSaverWith(uint64_t seed, int64_t approveAtCall) {
    StartPlatform();
    run = StressRun{};
    run.random.seed(seed);
    run.approveAtCall = approveAtCall;
    // Near the tick counter's wrap, so the 200 ms rule is crossed over it too.
    UseVirtualClock(static_cast<DWORD>(0xFFFFFFFFu - Below(600000)));
    ResetHostState();
    ResetSceneState();
    hostState.win95Platform = true;
    HWND driver = SaverDriver::Start(kDriverPeriodMs, OnDriverTick);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(RunSaver(nullptr), 0);
    SaverDriver::Stop(driver);
  }

  int32_t FramesInTimesDat() {
    std::string text = SaverDriver::ReadFile(std::filesystem::path(drive_) / "windows" / "times.dat");
    size_t at = text.find("Total Frames      =");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 19));
  }
};

const uint64_t kSeeds[] = {1, 2, 20261209, 0xC0FFEEu};

TEST_F(PasswordStressTest, ARefusingVerifierKeepsTheSaverThroughRandomInput) {
  for (uint64_t seed : kSeeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RunSaverWith(seed, kNever);
    EXPECT_GE(run.events, kEvents) << "the saver ended early";
    EXPECT_TRUE(run.aliveAtEnd);
    EXPECT_FALSE(hostState.closeApproved);
    EXPECT_FALSE(run.quitDuringCheck);
    EXPECT_EQ(run.deepest, 1) << "the verification nested";
    // The run must have asked often, and kept drawing inside the checks, to prove anything.
    EXPECT_GT(run.verifyCalls, 100);
    EXPECT_GT(run.framesInsideChecks, 0);
    EXPECT_GE(run.shortestGap, kRecheckDelayMs);
    EXPECT_GT(scene.frameCount, 1000);
    EXPECT_EQ(FramesInTimesDat(), scene.frameCount);
    std::printf("seed %llu: %lld events, %lld checks, %d frames, %d of them inside checks\n",
                static_cast<unsigned long long>(seed), static_cast<long long>(run.events),
                static_cast<long long>(run.verifyCalls), scene.frameCount, run.framesInsideChecks);
  }
}

TEST_F(PasswordStressTest, AnApprovingVerifierEndsTheSaverWithNoFurtherFrame) {
  const int64_t kApproveAt[] = {1, 2, 7, 40};
  for (uint64_t seed : kSeeds) {
    for (int64_t k : kApproveAt) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", approval at call " + std::to_string(k));
      RunSaverWith(seed, k);
      EXPECT_TRUE(run.approved);
      EXPECT_EQ(run.verifyCalls, k);
      EXPECT_FALSE(run.openAfterApproval) << "the window outlived the approval";
      EXPECT_LT(run.events, kEvents) << "the saver did not end after the approval";
      EXPECT_EQ(scene.frameCount, run.framesAtApproval);
      EXPECT_EQ(FramesInTimesDat(), run.framesAtApproval);
    }
  }
}

}  // namespace

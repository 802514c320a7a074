// A day of running on the virtual clock: every frame goes through the real message loop, window
// procedure and scene in a small window; handles and heap stay flat, and times.dat is exact.
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "host/host_state.h"
#include "host/saver_window.h"
#include "platform/test_hooks/test_hooks.h"
#include "scene/scene_proc.h"
#include "tests/host/saver_driver.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's own count; GCC ships no header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#ifndef CUBRIX_SOURCE_DIR
#error "the build names the source folder, for data/Cube.dat"
#endif
#ifndef CUBRIX_SOAK_FRAMES
#define CUBRIX_SOAK_FRAMES 1728000  // 24 hours at 20 frames a second
#endif

namespace {

using TestHooks::HandleKind;

constexpr DWORD kFrameMs = 50;
// Twelve hours before the tick counter wraps: the run crosses both the wrap and the ticks that
// print negative.
constexpr DWORD kStartTick = 0xFFFFFFFFu - 12u * 3600u * 1000u;
constexpr int kCheckEvery = 1000;  // frames between handle and heap checks

const HandleKind kHandleKinds[] = {HandleKind::GlobalBlock, HandleKind::LocalBlock, HandleKind::DC,
                                   HandleKind::Bitmap,      HandleKind::Brush,      HandleKind::Pen,
                                   HandleKind::Palette,     HandleKind::Window,     HandleKind::Module,
                                   HandleKind::Timer,       HandleKind::Key};

size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// In a fixed array: a probe that allocated would itself show as heap in use, since the allocator
// keeps freed blocks in per-thread caches that count as used.
using HandleCounts = std::array<int, std::size(kHandleKinds)>;
HandleCounts LiveHandleCounts() {
  HandleCounts counts{};
  for (size_t i = 0; i < counts.size(); ++i) counts[i] = TestHooks::LiveHandles(kHandleKinds[i]);
  return counts;
}

// CUBRIX_SOAK_FRAMES sets another length: a day's 1,728,000 frames times 1000 still fit 32 bits,
// 2,160,000 (30 hours) are past the 2,147,483 frames where a 32-bit rate would go wrong.
int64_t FramesToRun() {
  const char* given = std::getenv("CUBRIX_SOAK_FRAMES");
  return given != nullptr ? std::strtoll(given, nullptr, 10) : CUBRIX_SOAK_FRAMES;
}

// What the driver saw; checked once the saver has ended.
struct SoakRecord {
  int64_t target = 0;
  int64_t ticks = 0;
  int64_t firstWrongFrameCount = -1;  // the driver tick at which the scene's count was off
  HandleCounts handlesAfterFirstFrame{};
  size_t heapAfterFirstFrame = 0;
  size_t largestHeap = 0;
  int64_t handleChangeAtTick = -1;
};
SoakRecord soak;

void EndSaver() { PostMessageA(hostState.saverWindow, WM_KEYDOWN, 'Q', 0); }

// The driver's timer has the frames' period and comes after the saver's, so its tick k sees k
// frames.
void OnDriverTick() {
  int64_t tick = ++soak.ticks;
  if (scene.frameCount != tick && soak.firstWrongFrameCount < 0) soak.firstWrongFrameCount = tick;
  if (tick == 1) {
    soak.handlesAfterFirstFrame = LiveHandleCounts();
    soak.heapAfterFirstFrame = HeapInUse();
    soak.largestHeap = soak.heapAfterFirstFrame;
  } else if (tick % kCheckEvery == 0 || tick == soak.target) {
    size_t heap = HeapInUse();
    if (heap > soak.largestHeap) soak.largestHeap = heap;
    if (LiveHandleCounts() != soak.handlesAfterFirstFrame && soak.handleChangeAtTick < 0) soak.handleChangeAtTick = tick;
  }
  if (tick == soak.target || soak.firstWrongFrameCount >= 0) EndSaver();  // a key, as a user would
}

std::string Signed32(DWORD value) { return std::to_string(static_cast<int32_t>(value)); }

// No ResetPlatform here: that turns on the call log, which would grow with every frame.
TEST(Soak, ADayOfFramesKeepsHandlesAndHeapFlatAndTimesDatExact) {
  soak.target = FramesToRun();
  ASSERT_GT(soak.target, 0);
  ASSERT_LE(soak.target, INT32_MAX);
  std::string pattern = ::testing::TempDir() + "cubrix-soak-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path drive = pattern;
  SetDriveOverride(drive.string());
  std::filesystem::copy_file(std::filesystem::path(CUBRIX_SOURCE_DIR) / "data" / "Cube.dat",
                             drive / "windows" / "Cube.dat");
  UseVirtualClock(kStartTick);
  SetWin95Override(Win95Override::No);
  SetScreenSizeOverride(64, 48);
  ResetHostState();
  ResetSceneState();

  const HandleCounts handlesBefore = LiveHandleCounts();
  HWND driver = SaverDriver::Start(kFrameMs, OnDriverTick);
  ASSERT_NE(driver, nullptr);

  EXPECT_EQ(RunSaver(nullptr), 0);

  EXPECT_EQ(soak.firstWrongFrameCount, -1) << "the scene's frame count was off at driver tick "
                                           << soak.firstWrongFrameCount;
  EXPECT_EQ(soak.ticks, soak.target);
  EXPECT_EQ(soak.handleChangeAtTick, -1) << "live handles changed by driver tick " << soak.handleChangeAtTick;
  EXPECT_EQ(soak.largestHeap, soak.heapAfterFirstFrame)
      << "heap in use grew by " << soak.largestHeap - soak.heapAfterFirstFrame << " bytes after the first frame";
  SaverDriver::Stop(driver);
  EXPECT_EQ(LiveHandleCounts(), handlesBefore) << "the saver's teardown left handles behind";

  // The expected lines from the run's own figures: every frame 50 ms apart, the last one ended
  // it; for the full day, the figures themselves.
  const uint64_t elapsed = static_cast<uint64_t>(soak.target) * kFrameMs;
  std::string expected = "Started           =" + Signed32(kStartTick) +
                         "\r\nEnded             =" + Signed32(static_cast<DWORD>(kStartTick + elapsed)) +
                         "\r\nTotal Frames      =" + std::to_string(soak.target) +
                         "\r\nTotal Seconds     =" + std::to_string(elapsed / 1000) +
                         "\r\nFrames per Second =" + std::to_string(static_cast<uint64_t>(soak.target) * 1000 / elapsed) + "\r\n";
  if (soak.target == 1728000) {
    expected = "Started           =-43200001\r\nEnded             =43199999\r\nTotal Frames      =1728000\r\n"
               "Total Seconds     =86400\r\nFrames per Second =20\r\n";
  }
  EXPECT_EQ(SaverDriver::ReadFile(drive / "windows" / "times.dat"), expected);
  std::printf("soak: %" PRId64 " frames, %zu bytes of heap in use after the first frame\n", soak.ticks,
              soak.heapAfterFirstFrame);
  std::filesystem::remove_all(drive);
}

}  // namespace

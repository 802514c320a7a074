// Damage-limited drawing changes no pixel: whole scene cycles and random GDI call sequences give
// the same frames with the damage bounds in use and without them; untouched surface pages stay
// unmapped.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scene_objects.h"
#include "host/host_state.h"
#include "platform/portable/gdi/damage.h"
#include "platform/portable/gdi/gdi.h"
#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"
#include "scene/scene_proc.h"

namespace {

constexpr int kCycleLength = 359;

// FNV-1a over a surface's size and pixels, read in place; counts the pixels that are not black.
uint64_t HashSurface(HDC dc, uint64_t hash, size_t* nonBlack) {
  Surface surface{};
  if (!DcSurface(dc, &surface)) return hash;
  auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
  mix(static_cast<uint64_t>(surface.width));
  mix(static_cast<uint64_t>(surface.height));
  for (int y = 0; y < surface.height; ++y) {
    const uint32_t* row = surface.pixels + static_cast<size_t>(y) * static_cast<size_t>(surface.stride);
    for (int x = 0; x < surface.width; ++x) {
      mix(row[x]);
      *nonBlack += row[x] != 0;
    }
  }
  return hash;
}

constexpr uint64_t kHashStart = 14695981039346656037ull;

HWND MakeWindow(WNDPROC procedure, const char* className, int width, int height) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, className, "Screen Saver", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr,
                         nullptr);
}

class PresentationTest : public ::testing::Test {
 protected:
  void SetUp() override { TestHooks::ResetPlatform(); }
  void TearDown() override { TestHooks::ResetPlatform(); }
};

// ---- Scene cycles ----

struct Cycle {
  std::vector<uint64_t> frames;  // window and back buffer, after each tick
  size_t emptyFrames = 0;        // ticks after which the window showed nothing
};

Cycle RunCycle(const std::string& objectText, bool tracking, int width, int height) {
  Seam::SetSwitch(Seam::Switch::DamageTracking, tracking);
  TestHooks::ResetPlatform();
  UseVirtualClock(1000);
  ResetSceneState();
  ResetHostState();
  std::string drive = ::testing::TempDir() + "cubrix-presentation-XXXXXX";
  Cycle cycle;
  if (mkdtemp(drive.data()) == nullptr) return cycle;
  SetDriveOverride(drive);
  std::ofstream(drive + "/windows/Cube.dat", std::ios::binary) << objectText;
  HWND window = MakeWindow(SceneProc, "PresentationScene", width, height);
  for (int tick = 0; window != nullptr && tick < kCycleLength; ++tick) {
    SendMessageA(window, WM_TIMER, 1, 0);
    size_t shown = 0, drawn = 0;
    const uint64_t hash = HashSurface(GetDC(window), kHashStart, &shown);
    cycle.frames.push_back(HashSurface(scene.backDC, hash, &drawn));
    cycle.emptyFrames += shown == 0;
  }
  if (window != nullptr) DestroyWindow(window);
  TestHooks::ResetPlatform();
  ResetSceneState();
  std::filesystem::remove_all(drive);
  return cycle;
}

TEST_F(PresentationTest, EveryFrameOfTheCycleIsTheSameWithAndWithoutDamageBounds) {
  struct Case {
    const char* name;
    std::string object;
    int width;
    int height;
  };
  // The preview pane's size clips the grid on every side; the heavy object overlaps itself.
  const Case cases[] = {{"sample", SampleObjectText(CUBRIX_SOURCE_DIR), 640, 480},
                        {"sample in a preview pane", SampleObjectText(CUBRIX_SOURCE_DIR), 565, 317},
                        {"heavy object", HeavyObjectText(), 640, 480}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Cycle tracked = RunCycle(c.object, true, c.width, c.height);
    const Cycle whole = RunCycle(c.object, false, c.width, c.height);
    ASSERT_EQ(tracked.frames.size(), static_cast<size_t>(kCycleLength));
    ASSERT_EQ(whole.frames.size(), tracked.frames.size());
    EXPECT_EQ(whole.emptyFrames, 0u) << "every frame shows the object";
    for (size_t frame = 0; frame < tracked.frames.size(); ++frame) {
      ASSERT_EQ(tracked.frames[frame], whole.frames[frame]) << "first different frame: tick " << frame + 1;
    }
  }
}

// ---- Random call sequences ----

constexpr int kSteps = 400;

struct Extent {
  int width;
  int height;
};

struct World {
  HWND window;
  std::vector<HDC> dcs;  // the window's context first, then memory contexts on bitmaps
  std::vector<HGDIOBJ> brushes;
};

World MakeWorld() {
  World world;
  world.window = MakeWindow(DefWindowProcA, "PresentationRandom", 61, 47);
  world.dcs.push_back(GetDC(world.window));
  const Extent sizes[] = {{61, 47}, {37, 53}, {64, 20}, {1, 1}};
  for (const Extent& size : sizes) {
    HDC dc = CreateCompatibleDC(world.dcs[0]);
    SelectObject(dc, CreateCompatibleBitmap(world.dcs[0], size.width, size.height));
    world.dcs.push_back(dc);
  }
  world.brushes = {GetStockObject(BLACK_BRUSH), GetStockObject(WHITE_BRUSH), GetStockObject(NULL_BRUSH),
                   CreateSolidBrush(RGB(200, 30, 0)), CreateSolidBrush(RGB(0, 0, 1))};
  return world;
}

struct Random {
  std::mt19937 engine;
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
};

Extent SizeOf(HDC dc) {
  Surface surface{};
  return DcSurface(dc, &surface) ? Extent{surface.width, surface.height} : Extent{0, 0};
}

// A rectangle about the surface: often all of it, or a band across it, else anywhere near it.
RECT RandomRect(Random& random, Extent size) {
  const int w = size.width, h = size.height;
  if (random.Chance(25)) return RECT{random.Between(-3, 0), random.Between(-3, 0), w + random.Between(0, 3), h + random.Between(0, 3)};
  if (random.Chance(20)) return RECT{-1, random.Between(-5, h), w + 1, random.Between(-5, h + 5)};
  if (random.Chance(20)) return RECT{random.Between(-5, w), -1, random.Between(-5, w + 5), h + 1};
  return RECT{random.Between(-10, w + 5), random.Between(-10, h + 5), random.Between(-10, w + 10),
              random.Between(-10, h + 10)};
}

void RandomPolygon(Random& random, const World& world, HDC dc, Extent size) {
  SelectObject(dc, world.brushes[static_cast<size_t>(random.Between(0, static_cast<int>(world.brushes.size()) - 1))]);
  POINT points[8];
  const int count = random.Between(2, 8);
  for (int i = 0; i < count; ++i) {
    points[i] = POINT{random.Between(-15, size.width + 15), random.Between(-15, size.height + 15)};
  }
  if (random.Chance(5)) points[0].x = random.Chance(50) ? -1000000 : 1000000;
  Polygon(dc, points, count);
}

void RandomBlit(Random& random, const World& world, HDC dest, Extent size) {
  HDC source = world.dcs[static_cast<size_t>(random.Between(0, static_cast<int>(world.dcs.size()) - 1))];
  if (random.Chance(25)) {
    BitBlt(dest, 0, 0, size.width, size.height, source, 0, 0, SRCCOPY);
    return;
  }
  const int w = size.width, h = size.height;
  BitBlt(dest, random.Between(-20, w), random.Between(-20, h), random.Between(0, w + 20), random.Between(0, h + 20),
         source, random.Between(-20, 60), random.Between(-20, 50), SRCCOPY);
}

// Every surface's hash after each call of a sequence made from the seed.
std::vector<uint64_t> RunSequence(unsigned seed, bool tracking, size_t* drawnSteps) {
  Seam::SetSwitch(Seam::Switch::DamageTracking, tracking);
  TestHooks::ResetPlatform();
  const World world = MakeWorld();
  Random random{std::mt19937(seed)};
  std::vector<uint64_t> hashes;
  for (int step = 0; step < kSteps; ++step) {
    HDC dc = world.dcs[static_cast<size_t>(random.Between(0, static_cast<int>(world.dcs.size()) - 1))];
    const Extent size = SizeOf(dc);
    const int action = random.Between(1, 100);
    if (action <= 30) {
      const RECT rect = RandomRect(random, size);
      FillRect(dc, &rect, static_cast<HBRUSH>(world.brushes[0]));
    } else if (action <= 45) {
      const RECT rect = RandomRect(random, size);
      FillRect(dc, &rect, static_cast<HBRUSH>(world.brushes[static_cast<size_t>(random.Between(1, 4))]));
    } else if (action <= 70) {
      RandomPolygon(random, world, dc, size);
    } else {
      RandomBlit(random, world, dc, size);
    }
    uint64_t hash = kHashStart;
    size_t drawn = 0;
    for (HDC each : world.dcs) hash = HashSurface(each, hash, &drawn);
    *drawnSteps += drawn > 0;
    hashes.push_back(hash);
  }
  return hashes;
}

TEST_F(PresentationTest, RandomCallSequencesDrawTheSameWithAndWithoutDamageBounds) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    size_t drawnTracked = 0, drawnWhole = 0;
    const std::vector<uint64_t> tracked = RunSequence(seed, true, &drawnTracked);
    const std::vector<uint64_t> whole = RunSequence(seed, false, &drawnWhole);
    ASSERT_EQ(tracked.size(), whole.size());
    EXPECT_GT(drawnWhole, static_cast<size_t>(kSteps / 4)) << "the sequence draws something";
    for (size_t step = 0; step < tracked.size(); ++step) {
      ASSERT_EQ(tracked[step], whole[step]) << "first different step: " << step;
    }
  }
}

// ---- Memory ----

// Resident pages of a surface's pixels, as the system counts them.
size_t ResidentPages(HDC dc) {
  Surface surface;
  if (!DcSurface(dc, &surface)) return 0;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = reinterpret_cast<uintptr_t>(surface.pixels) / page * page;
  const uintptr_t end = reinterpret_cast<uintptr_t>(surface.pixels + static_cast<size_t>(surface.stride) * static_cast<size_t>(surface.height));
  std::vector<unsigned char> resident((end - begin + page - 1) / page);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, resident.data()) != 0) return SIZE_MAX;
  size_t count = 0;
  for (unsigned char flags : resident) count += flags & 1;
  return count;
}

TEST_F(PresentationTest, FramesTouchOnlyThePagesWhereSomethingIsDrawn) {
  constexpr int kWidth = 1920, kHeight = 1080;
  HWND window = MakeWindow(DefWindowProcA, "PresentationMemory", kWidth, kHeight);
  HDC dc = GetDC(window);
  HDC back = CreateCompatibleDC(dc);
  SelectObject(back, CreateCompatibleBitmap(dc, kWidth, kHeight));
  const RECT whole = {0, 0, kWidth, kHeight};
  // A 100-pixel square a frame, at two places: clear, draw, copy the whole client area.
  for (int frame = 0; frame < 4; ++frame) {
    FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int left = frame % 2 == 0 ? 800 : 1000;
    const POINT square[] = {{left, 500}, {left + 100, 500}, {left + 100, 600}, {left, 600}};
    Polygon(back, square, 4);
    BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
  }
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 1050, 550), 0xFFFFFFu);
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 850, 550), 0u);
  // 101 rows, each within two pages of 1,024 pixels, of the 2,025 pages of a surface.
  for (HDC surface : {back, dc}) {
    const size_t pages = ResidentPages(surface);
    EXPECT_GT(pages, 0u);
    EXPECT_LE(pages, 2u * 101u);
  }
}

}  // namespace

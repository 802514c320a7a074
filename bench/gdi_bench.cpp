// Speed of the software GDI at 1920 x 1080: the clear-and-copy floor, a frame of the sample cube,
// and a heavy frame of 20-vertex faces with about six screens of overdraw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/portable/test_seam.h"
#include "platform/win32.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kInstances = 9;
constexpr double kTurn = 6.283185307179586;

// The pieces of one frame, as the saver holds them: a window, its back buffer, palette and brushes.
struct FrameSetup {
  HWND window;
  HDC back;
  HBITMAP bitmap;
  HPALETTE palette;
  std::vector<HBRUSH> brushes;
};

FrameSetup MakeFrameSetup() {
  ResetPortablePlatform();
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "GdiBench";
  RegisterClassA(&windowClass);
  FrameSetup setup;
  setup.window =
      CreateWindowExA(0, "GdiBench", "bench", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
  HDC dc = GetDC(setup.window);
  setup.back = CreateCompatibleDC(dc);
  setup.bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
  ReleaseDC(setup.window, dc);
  SelectObject(setup.back, setup.bitmap);
  static BYTE storage[sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY)];
  LOGPALETTE* logical = reinterpret_cast<LOGPALETTE*>(storage);
  logical->palVersion = 0x300;
  logical->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    logical->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(51 * (i % 6)), static_cast<BYTE>(51 * (i / 6 % 6)),
                                           static_cast<BYTE>(51 * (i / 36 % 6)), PC_RESERVED};
  }
  setup.palette = CreatePalette(logical);
  SelectPalette(setup.back, setup.palette, FALSE);
  for (int i = 0; i < 6; ++i) setup.brushes.push_back(CreateSolidBrush(PALETTERGB(51 * i, 255 - 51 * i, 102)));
  return setup;
}

// Regular polygon of `count` vertices around a centre, turned by `phase` radians.
void RegularPolygon(POINT* points, int count, double centreX, double centreY, double radius, double phase) {
  for (int v = 0; v < count; ++v) {
    const double angle = phase + kTurn * v / count;
    points[v] = POINT{static_cast<LONG>(centreX + radius * std::cos(angle)), static_cast<LONG>(centreY + radius * std::sin(angle))};
  }
}

// Clears the back buffer, draws the faces and copies the frame to the window, as a timer tick does.
void DrawFrame(const FrameSetup& setup, const std::vector<std::vector<POINT>>& faces) {
  const RECT client = {0, 0, kWidth, kHeight};
  HDC dc = GetDC(setup.window);
  HPALETTE kept = SelectPalette(dc, setup.palette, FALSE);
  RealizePalette(dc);
  FillRect(setup.back, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  for (size_t f = 0; f < faces.size(); ++f) {
    SelectObject(setup.back, setup.brushes[f % setup.brushes.size()]);
    Polygon(setup.back, faces[f].data(), static_cast<int>(faces[f].size()));
  }
  BitBlt(dc, 0, 0, kWidth, kHeight, setup.back, 0, 0, SRCCOPY);
  SelectPalette(dc, kept, FALSE);
  ReleaseDC(setup.window, dc);
}

// The lower bound for any frame: one clear and one copy of 32-bit pixels.
void ClearAndCopyFloor(benchmark::State& state) {
  std::vector<uint32_t> back(static_cast<size_t>(kWidth) * kHeight), window(back.size());
  for (auto _ : state) {
    std::memset(back.data(), 0, back.size() * sizeof(uint32_t));
    benchmark::ClobberMemory();
    std::memcpy(window.data(), back.data(), back.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(window.data());
  }
}
BENCHMARK(ClearAndCopyFloor)->Unit(benchmark::kMillisecond);

void EmptyFrame(benchmark::State& state) {
  const FrameSetup setup = MakeFrameSetup();
  for (auto _ : state) DrawFrame(setup, {});
}
BENCHMARK(EmptyFrame)->Unit(benchmark::kMillisecond);

// Nine cubes of about 100 pixels on a turned grid: six quadrilaterals each, half of them hidden.
void SampleCubeFrame(benchmark::State& state) {
  const FrameSetup setup = MakeFrameSetup();
  std::vector<std::vector<POINT>> faces;
  for (int instance = 0; instance < kInstances; ++instance) {
    const double x = kWidth / 2.0 + 170.0 * (instance % 3 - 1), y = kHeight / 2.0 + 170.0 * (instance / 3 - 1);
    for (int face = 0; face < 6; ++face) {
      std::vector<POINT> quad(4);
      RegularPolygon(quad.data(), 4, x + 8 * (face % 3), y + 8 * (face / 3), 70.0, 0.3 * face);
      faces.push_back(quad);
    }
  }
  for (auto _ : state) DrawFrame(setup, faces);
}
BENCHMARK(SampleCubeFrame)->Unit(benchmark::kMillisecond);

// Nine copies of an object of 20 faces with 20 vertices each; together about six screens.
void HeavyObjectFrame(benchmark::State& state) {
  const FrameSetup setup = MakeFrameSetup();
  constexpr double kRadius = 150.0;  // each face about 70,000 pixels; 180 faces about 12.6 million
  std::vector<std::vector<POINT>> faces;
  for (int instance = 0; instance < kInstances; ++instance) {
    for (int face = 0; face < 20; ++face) {
      std::vector<POINT> ring(20);
      const double x = kWidth / 2.0 + 500.0 * std::cos(kTurn * (instance * 20 + face) / 180.0) * (face % 4) / 3.0;
      const double y = kHeight / 2.0 + 300.0 * std::sin(kTurn * (instance * 20 + face) / 180.0) * (face % 4) / 3.0;
      RegularPolygon(ring.data(), 20, x, y, kRadius, 0.1 * face);
      faces.push_back(ring);
    }
  }
  for (auto _ : state) DrawFrame(setup, faces);
  state.counters["faces"] = static_cast<double>(faces.size());
}
BENCHMARK(HeavyObjectFrame)->Unit(benchmark::kMillisecond);

// Raw fill rate: one screen-sized triangle pair per iteration.
void FullScreenPolygon(benchmark::State& state) {
  const FrameSetup setup = MakeFrameSetup();
  SelectObject(setup.back, setup.brushes[0]);
  const POINT screen[] = {{0, 0}, {kWidth, 0}, {kWidth, kHeight}, {0, kHeight}};
  for (auto _ : state) Polygon(setup.back, screen, 4);
  state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(FullScreenPolygon)->Unit(benchmark::kMillisecond);

}  // namespace

// Speed of showing one 1920 x 1080 frame on the X server: the window blit through MIT shared
// memory against plain XPutImage, each with the pixel exchange on and off. A frame clears the
// back bitmap, draws a block and copies the bitmap onto the window. Needs DISPLAY (an Xvfb of at
// least that size will do).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_table.h"
#include "platform/portable/x11/x11.h"
#include "platform/win32.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

void ShowFrame(benchmark::State& state) {
  const bool shared = state.range(0) != 0;
  const bool exchange = state.range(1) != 0;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0' || !PresenterOpen(&kWindowSink)) {
    state.SkipWithError("needs an X display");
    return;
  }
  ResetPortablePlatform();
  Seam::SetSwitch(Seam::Switch::SharedMemory, shared);
  Seam::SetSwitch(Seam::Switch::PixelExchange, exchange);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "PresentBench";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "PresentBench", "bench", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, nullptr, nullptr);
  HDC dc = GetDC(window);
  HDC back = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
  HGDIOBJ kept = SelectObject(back, bitmap);
  const RECT whole = {0, 0, kWidth, kHeight};
  FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);  // the frame image is made on first use
  if (shared != PresenterFrameIsShared(window)) state.SkipWithError("shared memory is not offered here");
  const RECT block = {kWidth / 4, kHeight / 4, 3 * kWidth / 4, 3 * kHeight / 4};
  for (auto _ : state) {
    FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(back, &block, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
  }
  state.SetLabel(std::string(shared ? "MIT-SHM" : "XPutImage") + (exchange ? ", exchange" : ", copy"));
  SelectObject(back, kept);
  DeleteObject(bitmap);
  DeleteDC(back);
  ReleaseDC(window, dc);
  DestroyWindow(window);
  ResetPortablePlatform();
}
// Wall time: the X server's share of the work runs in its own process.
BENCHMARK(ShowFrame)->ArgsProduct({{1, 0}, {1, 0}})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

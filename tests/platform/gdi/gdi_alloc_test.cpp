// Drawing a frame allocates nothing once the first frame has sized the scratch buffers.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "platform/portable/gdi/handles.h"
#include "platform/portable/test_seam.h"
#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"

namespace {
bool counting = false;
int allocations = 0;
int failingIn = 0;  // the allocation that many allocations from now fails; 0: none does
}  // namespace

// Every allocation of the program passes through here, so a frame's allocations can be counted
// and one of them made to fail.
void* operator new(size_t size) {
  if (counting) ++allocations;
  if (failingIn > 0 && --failingIn == 0) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
// Not inlined: GCC would take the inlined free() of a block from operator new for a mismatch.
__attribute__((noinline)) void operator delete(void* block) noexcept { std::free(block); }
__attribute__((noinline)) void operator delete(void* block, size_t) noexcept { std::free(block); }

namespace {

struct Scene {
  HWND window;
  HDC back;
  HBITMAP bitmap;
  HPALETTE palette;
  HBRUSH brushes[4];
};

HPALETTE Palette() {
  static BYTE storage[sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY)];
  LOGPALETTE* palette = reinterpret_cast<LOGPALETTE*>(storage);
  palette->palVersion = 0x300;
  palette->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    palette->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 0, PC_RESERVED};
  }
  return CreatePalette(palette);
}

// A frame as the saver draws one: realize, clear, polygons with changing brushes, one blit.
void DrawFrame(const Scene& scene, int frame) {
  const RECT client = {0, 0, 320, 240};
  HDC dc = GetDC(scene.window);
  HPALETTE kept = SelectPalette(dc, scene.palette, FALSE);
  RealizePalette(dc);
  FillRect(scene.back, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  POINT star[20];
  for (int face = 0; face < 20; ++face) {
    SelectObject(scene.back, face % 5 == 4 ? GetStockObject(NULL_BRUSH) : scene.brushes[face % 4]);
    for (int v = 0; v < 20; ++v) {
      const int radius = v % 2 == 0 ? 150 : 40;
      star[v] = POINT{160 + (v * 37 + frame + face) % radius - radius / 2, 120 + (v * 53 + face * 7) % radius - radius / 2};
    }
    Polygon(scene.back, star, face % 2 == 0 ? 20 : 12);
  }
  BitBlt(dc, 0, 0, 320, 240, scene.back, 0, 0, SRCCOPY);
  SelectPalette(dc, kept, FALSE);
  ReleaseDC(scene.window, dc);
}

}  // namespace

// Live GDI slots after the first two contexts of a process, the nth allocation on the way failing;
// 255 when the stock or a context is missing once memory is back. Run in a child, whose stock is
// still to be made.
int SlotsAfterFailingAllocation(int nth) {
  const pid_t child = fork();
  if (child == 0) {
    TestHooks::ResetPlatform();
    Seam::InstallRecorder(nullptr);  // the recorder's own allocations are not the platform's
    failingIn = nth;
    HDC first = CreateCompatibleDC(nullptr);
    failingIn = 0;
    HDC second = CreateCompatibleDC(nullptr);
    bool whole = second != nullptr && Stock().defaultPalette != nullptr;
    for (int which : {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, BLACK_PEN}) whole &= GetStockObject(which) != nullptr;
    if (first == nullptr) first = CreateCompatibleDC(nullptr);  // the count the same either way
    const auto& slots = AllObjects();
    _exit(whole ? static_cast<int>(std::count_if(slots.begin(), slots.end(), [](const GdiObject& o) { return o.kind != Kind::Free; })) : 255);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 256;
}

// Running out of memory while the stock is made keeps no half stock, leaks no slot, and leaves no
// context with a record the stock moved (the sanitizers see that one).
TEST(GdiAllocationTest, AFailedStockIsMadeWholeLaterWithoutLeaks) {
  const int whole = SlotsAfterFailingAllocation(0);
  EXPECT_LT(whole, 255);
  for (int nth = 1; nth <= 24; ++nth) EXPECT_EQ(SlotsAfterFailingAllocation(nth), whole) << nth;
}

TEST(GdiAllocationTest, SteadyStateFramesAllocateNothing) {
  TestHooks::ResetPlatform();
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "AllocationTest";
  RegisterClassA(&windowClass);
  Scene scene;
  scene.window = CreateWindowExA(0, "AllocationTest", "frame", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
  HDC dc = GetDC(scene.window);
  scene.back = CreateCompatibleDC(dc);
  scene.bitmap = CreateCompatibleBitmap(dc, 320, 240);
  ReleaseDC(scene.window, dc);
  SelectObject(scene.back, scene.bitmap);
  scene.palette = Palette();
  SelectPalette(scene.back, scene.palette, FALSE);
  for (int i = 0; i < 4; ++i) scene.brushes[i] = CreateSolidBrush(PALETTERGB(40 * i, 200, 0));

  DrawFrame(scene, 0);
  allocations = 0;
  counting = true;
  for (int frame = 1; frame <= 50; ++frame) {
    // The call log is test machinery: emptied each frame, it keeps its capacity.
    TestHooks::ClearCallLog();
    DrawFrame(scene, frame);
  }
  counting = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_NE(TestHooks::WindowPixelAt(scene.window, 160, 120), TestHooks::kNoPixel);
  TestHooks::ResetPlatform();
}

// Test hooks that read the software GDI: the pixels of surfaces.
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/window_record.h"
#include "platform/test_hooks/test_hooks.h"

namespace {

HDC WindowDc(HWND window) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->dc : nullptr;
}

}  // namespace

namespace TestHooks {

uint32_t PixelAt(HDC dc, int x, int y) {
  Surface surface;
  if (!DcSurface(dc, &surface) || x < 0 || y < 0 || x >= surface.width || y >= surface.height) return kNoPixel;
  return surface.pixels[static_cast<size_t>(y) * static_cast<size_t>(surface.stride) + static_cast<size_t>(x)];
}

uint32_t WindowPixelAt(HWND window, int x, int y) { return PixelAt(WindowDc(window), x, y); }

Pixels DcPixels(HDC dc) {
  Pixels copy;
  Surface surface;
  if (!DcSurface(dc, &surface)) return copy;
  copy.width = surface.width;
  copy.height = surface.height;
  for (int y = 0; y < surface.height; ++y) {
    const uint32_t* row = surface.pixels + static_cast<size_t>(y) * static_cast<size_t>(surface.stride);
    copy.data.insert(copy.data.end(), row, row + surface.width);
  }
  return copy;
}

Pixels WindowPixels(HWND window) { return DcPixels(WindowDc(window)); }

}  // namespace TestHooks

// Pixel surfaces: memory, bounds, damage, and copying and filling sets of rectangles.
#include "platform/portable/gdi/surfaces.h"

#include <algorithm>
#include <cstring>

#include "platform/portable/gdi/pixel_memory.h"
#include "platform/portable/presenter.h"

namespace {

constexpr int kMaxBitmapSide = 32768;
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;  // a bitmap takes 1 GiB at most

// Copies the rectangle of `to` from where it lies in `from`, (shiftX, shiftY) away.
void CopyPixels(const Surface& to, const Surface& from, const DamageRect& rect, int64_t shiftX, int64_t shiftY) {
  const int64_t w = rect.right - rect.left, h = rect.bottom - rect.top;
  const int64_t sx = rect.left - shiftX, sy = rect.top - shiftY;
  const size_t rowBytes = static_cast<size_t>(w) * sizeof(uint32_t);
  if (w == to.stride && w == from.stride) {
    // Whole rows on both sides: one block (memmove, as the two may be the same surface).
    std::memmove(PixelAddress(to, rect.left, rect.top), PixelAddress(from, sx, sy), rowBytes * static_cast<size_t>(h));
    return;
  }
  // Rows run bottom-up when copying downwards within one surface, so none is overwritten first.
  const bool upward = to.pixels == from.pixels && rect.top > sy;
  for (int64_t i = 0; i < h; ++i) {
    const int64_t row = upward ? h - 1 - i : i;
    std::memmove(PixelAddress(to, rect.left, rect.top + row), PixelAddress(from, sx, sy + row), rowBytes);
  }
}

}  // namespace

Surface SurfaceOf(const SurfaceRecord& record) {
  return Surface{record.pixels, record.width, record.height, record.stride};
}

DamageRect Bounds(const SurfaceRecord& surface) { return DamageRect{0, 0, surface.width, surface.height}; }

bool CoversAll(const DamageRect& rect, const SurfaceRecord& surface) {
  return rect.left <= 0 && rect.top <= 0 && rect.right >= surface.width && rect.bottom >= surface.height;
}

Damage Damaged(const SurfaceRecord& surface) {
  if (DamageTracking()) return surface.damage;
  Damage whole;
  AddDamage(whole, Bounds(surface));
  return whole;
}

uint32_t* PixelAddress(const Surface& surface, int64_t x, int64_t y) {
  return surface.pixels + static_cast<size_t>(y) * static_cast<size_t>(surface.stride) + static_cast<size_t>(x);
}

bool SurfaceSizeAllowed(int width, int height) {
  return width <= kMaxBitmapSide && height <= kMaxBitmapSide && int64_t{width} * height <= kMaxBitmapPixels;
}

bool SizeSurface(SurfaceRecord& surface, HWND window, int width, int height) {
  if (surface.width == width && surface.height == height && surface.pixels != nullptr) return true;
  if (!SurfaceSizeAllowed(width, height)) return false;
  // The old pixels go, and with them the spare image a bitmap may hold.
  if (SurfaceRecord* holder = surface.windowSurface ? SpareHolder(surface.frameOf) : nullptr) MoveOffFrame(*holder);
  uint32_t* frame = nullptr;
  int frameStride = 0;
  if (window != nullptr && width > 0 && height > 0 && PresenterWindowFrame(window, width, height, &frame, &frameStride)) {
    ReleasePixels(surface);
    surface.pixels = frame;
    surface.stride = frameStride;
    surface.frameOf = window;
  } else {
    const size_t count = static_cast<size_t>(std::max(width, 1)) * static_cast<size_t>(std::max(height, 1));
    uint32_t* pixels = MapPixels(count);
    if (pixels == nullptr) return false;
    ReleasePixels(surface);
    surface.pixels = pixels;
    surface.mappedPixels = count;
    surface.stride = std::max(width, 1);
  }
  surface.width = width;
  surface.height = height;
  surface.damage = Damage{};
  return true;
}

void ReleasePixels(SurfaceRecord& surface) {
  if (surface.mappedPixels != 0) UnmapPixels(surface.pixels, surface.mappedPixels);
  surface.pixels = nullptr;
  surface.mappedPixels = 0;
  surface.frameOf = nullptr;
}

void AwaitServer(const SurfaceRecord& surface) {
  if (surface.frameOf != nullptr) PresenterAwaitFrameRead(surface.frameOf, surface.pixels);
}

void MoveOffFrame(SurfaceRecord& surface) {
  if (surface.frameOf == nullptr) return;
  const size_t count = static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height);
  uint32_t* own = MapPixels(count);
  if (own != nullptr) CopyRects(Surface{own, surface.width, surface.height, surface.width}, SurfaceOf(surface), surface.damage);
  surface.pixels = own;
  surface.frameOf = nullptr;
  surface.mappedPixels = own != nullptr ? count : 0;
  surface.stride = surface.width;
  if (own == nullptr) {
    surface.width = surface.height = surface.stride = 0;
    surface.damage = Damage{};
  }
}

SurfaceRecord* SpareHolder(HWND window) {
  if (window == nullptr) return nullptr;
  for (GdiObject& object : AllObjects()) {
    SurfaceRecord* surface = object.kind == Kind::Bitmap ? &std::get<SurfaceRecord>(object.record) : nullptr;
    if (surface != nullptr && !surface->windowSurface && surface->frameOf == window) return surface;
  }
  return nullptr;
}

void CopyRects(const Surface& to, const Surface& from, const Damage& rects, int64_t shiftX, int64_t shiftY) {
  for (int i = 0; i < rects.count; ++i) CopyPixels(to, from, rects.rects[i], shiftX, shiftY);
}

void FillRects(const Surface& surface, const Damage& rects, uint32_t pixel) {
  for (int i = 0; i < rects.count; ++i) {
    const DamageRect& part = rects.rects[i];
    FillSpanRect(surface, part.left, part.top, part.right, part.bottom, pixel);
  }
}

namespace {

void SendWindowRect(const DcRecord& dc, const DamageRect& rect) {
  if (dc.window == nullptr || IsEmpty(rect)) return;
  const SurfaceRecord* surface = FindSurface(dc.bitmap);
  if (surface == nullptr) return;
  PresenterShowPixels(dc.window, static_cast<int>(rect.left), static_cast<int>(rect.top),
                      static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top),
                      PixelAddress(SurfaceOf(*surface), rect.left, rect.top), surface->stride);
}

}  // namespace

void ShowWindowRect(const DcRecord& dc, const DamageRect& rect) {
  SendWindowRect(dc, rect);
  if (dc.window != nullptr) PresenterFlush();
}

// The rectangles one call changed go to the display together, as one update.
void ShowWindowRects(const DcRecord& dc, const Damage& rects) {
  for (int i = 0; i < rects.count; ++i) SendWindowRect(dc, rects.rects[i]);
  if (dc.window != nullptr && rects.count > 0) PresenterFlush();
}

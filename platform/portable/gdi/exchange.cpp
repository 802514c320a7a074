// The pixel exchange between a whole bitmap and the whole window surface it is copied onto.
#include "platform/portable/gdi/exchange.h"

#include <utility>

#include "platform/portable/gdi/surfaces.h"
#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"

namespace {

SurfaceRecord* ContentHolder(const SurfaceRecord& bitmap) { return FindSurface(bitmap.contentHeldBy); }

// Moves a bitmap into its window's spare frame image, which is black until someone holds it.
bool MoveOntoSpareFrame(SurfaceRecord& bitmap, SurfaceRecord& window) {
  if (SpareHolder(window.frameOf) != nullptr) return false;
  uint32_t* spare = nullptr;
  int stride = 0;
  if (!PresenterWindowSpareFrame(window.frameOf, window.pixels, &spare, &stride)) return false;
  PresenterAwaitFrameRead(window.frameOf, spare);
  CopyRects(Surface{spare, bitmap.width, bitmap.height, stride}, SurfaceOf(bitmap), bitmap.damage);
  ReleasePixels(bitmap);
  bitmap.pixels = spare;
  bitmap.stride = stride;
  bitmap.frameOf = window.frameOf;
  return true;
}

}  // namespace

const SurfaceRecord& CurrentContent(const SurfaceRecord& surface) {
  const SurfaceRecord* holder = ContentHolder(surface);
  return holder != nullptr ? *holder : surface;
}

void DropExchangedContent(SurfaceRecord& bitmap) {
  SurfaceRecord* holder = ContentHolder(bitmap);
  if (holder != nullptr) holder->holdsContentOf = nullptr;
  bitmap.contentHeldBy = nullptr;
}

void ReturnExchangedContent(SurfaceRecord& surface) {
  SurfaceRecord* bitmap = surface.holdsContentOf != nullptr ? FindSurface(surface.holdsContentOf) : &surface;
  surface.holdsContentOf = nullptr;
  if (bitmap == nullptr || bitmap->contentHeldBy == nullptr) return;
  const SurfaceRecord* holder = ContentHolder(*bitmap);
  DropExchangedContent(*bitmap);
  if (holder == nullptr) return;
  Damage changed = holder->damage;
  for (int i = 0; i < bitmap->damage.count; ++i) AddDamage(changed, bitmap->damage.rects[i]);
  AwaitServer(*bitmap);
  CopyRects(SurfaceOf(*bitmap), SurfaceOf(*holder), changed);
  bitmap->damage = holder->damage;
}

bool ExchangeWhole(SurfaceRecord& window, HGDIOBJ windowHandle, SurfaceRecord& bitmap, HGDIOBJ bitmapHandle) {
  if (!SwitchOn(Seam::Switch::PixelExchange) || !DamageTracking() || !window.windowSurface || bitmap.windowSurface ||
      Lookup(bitmapHandle)->stock || bitmap.contentHeldBy != nullptr || bitmap.width != window.width ||
      bitmap.height != window.height) {
    return false;
  }
  if (window.frameOf != nullptr && bitmap.frameOf == nullptr && !MoveOntoSpareFrame(bitmap, window)) {
    return false;
  }
  if (bitmap.frameOf != window.frameOf) return false;
  std::swap(window.pixels, bitmap.pixels);
  std::swap(window.stride, bitmap.stride);
  std::swap(window.mappedPixels, bitmap.mappedPixels);
  std::swap(window.damage, bitmap.damage);
  window.holdsContentOf = bitmapHandle;
  bitmap.contentHeldBy = windowHandle;
  return true;
}

void DetachSurface(SurfaceRecord& surface) {
  if (surface.contentHeldBy != nullptr) {
    DropExchangedContent(surface);
  } else {
    ReturnExchangedContent(surface);
  }
  if (surface.frameOf == nullptr || surface.windowSurface) return;
  AwaitServer(surface);
  FillRects(SurfaceOf(surface), surface.damage, 0);
}

// Software GDI: device contexts, bitmaps, brushes, the pen, palettes and block transfers over
// 32-bit XRGB surfaces. Handles index a slot table and carry a generation, so a stale or forged
// handle is refused rather than followed. Each surface keeps a few rectangles that bound what may
// not be black (its damage), so that clears, copies and what the display is sent stay within what
// changed. A window's surface is the presenter's frame image itself where the display allows, and
// a copy of a whole bitmap onto a whole window surface exchanges their pixels instead of copying.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/portable/damage.h"
#include "platform/portable/gdi_internal.h"
#include "platform/portable/pixel_memory.h"
#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::HandleKind;
using Seam::LogKind;

namespace {

enum class Kind : uint8_t { Free, Dc, Bitmap, Brush, Pen, Palette };

constexpr unsigned kIndexBits = 20;  // slot index in the low bits of a handle, generation above
constexpr size_t kMaxSlots = (size_t{1} << kIndexBits) - 1;
constexpr int kMaxBitmapSide = 32768;
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;  // a bitmap takes 1 GiB at most
constexpr UINT kGdiError = 0xFFFFFFFFu;
constexpr DWORD kPaletteRelative = PALETTERGB(0, 0, 0);  // the flag byte of such a colour

struct GdiObject {
  Kind kind = Kind::Free;
  bool stock = false;
  bool windowSurface = false;
  bool counted = false;
  uint32_t generation = 1;
  int selections = 0;  // device contexts that hold this object
  // Brush and pen, with the pixel their colour last resolved to and against which palette
  // (palettes never change, so the pair stays valid).
  COLORREF colour = 0;
  bool hollow = false;
  HPALETTE resolvedPalette = nullptr;
  uint32_t resolvedPixel = 0;
  // Bitmap and window surface: rows of stride pixels, zero (black) everywhere outside damage.
  int width = 0;
  int height = 0;
  int stride = 0;
  uint32_t* pixels = nullptr;
  size_t mappedPixels = 0;  // size of our own mapping; 0 when the pixels are a window's frame image
  HWND frameOf = nullptr;   // the window whose frame image holds the pixels
  Damage damage;
  // After an exchange (see ExchangeWhole) a bitmap's content is its window surface's pixels and its
  // own pixels are stale, bounded by its damage: `contentIn` names the window surface, whose
  // `contentOf` names the bitmap back.
  HGDIOBJ contentIn = nullptr;
  HGDIOBJ contentOf = nullptr;
  // Palette.
  std::vector<PALETTEENTRY> entries;
  // Device context.
  HWND window = nullptr;
  HGDIOBJ bitmap = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  HPALETTE palette = nullptr;
};

struct StockObjects {
  HGDIOBJ whiteBrush = nullptr;
  HGDIOBJ blackBrush = nullptr;
  HGDIOBJ nullBrush = nullptr;
  HGDIOBJ blackPen = nullptr;
  HGDIOBJ defaultBitmap = nullptr;
  HPALETTE defaultPalette = nullptr;
};

std::vector<GdiObject> objects;
std::vector<uint32_t> freeSlots;
StockObjects stock;
EdgeTable edgeTable;

// The twenty static colours of the system's default palette.
const PALETTEENTRY kDefaultPalette[] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

// ---- Handles ----

void* HandleOf(size_t index) {
  const uintptr_t generation = objects[index].generation;
  return reinterpret_cast<void*>((generation << kIndexBits) | (index + 1));
}

GdiObject* Lookup(const void* handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  const uintptr_t slot = value & kMaxSlots;
  if (slot == 0 || slot > objects.size()) return nullptr;
  GdiObject& object = objects[slot - 1];
  const uintptr_t generation = (uintptr_t{object.generation} << kIndexBits) >> kIndexBits;
  if (object.kind == Kind::Free || (value >> kIndexBits) != generation) return nullptr;
  return &object;
}

GdiObject* Lookup(const void* handle, Kind kind) {
  GdiObject* object = Lookup(handle);
  return object != nullptr && object->kind == kind ? object : nullptr;
}

// A fresh slot of the given kind; null when the table is full or memory runs out.
void* NewObject(Kind kind) {
  try {
    size_t index;
    if (!freeSlots.empty()) {
      index = freeSlots.back();
      freeSlots.pop_back();
    } else {
      if (objects.size() >= kMaxSlots) return nullptr;
      // Room for every slot to be freed, so that freeing never allocates.
      if (freeSlots.capacity() <= objects.size()) freeSlots.reserve(2 * objects.size() + 16);
      objects.emplace_back();
      index = objects.size() - 1;
    }
    objects[index].kind = kind;
    return HandleOf(index);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HandleKind AccountOf(Kind kind) {
  switch (kind) {
    case Kind::Dc: return HandleKind::DC;
    case Kind::Bitmap: return HandleKind::Bitmap;
    case Kind::Brush: return HandleKind::Brush;
    case Kind::Pen: return HandleKind::Pen;
    default: return HandleKind::Palette;
  }
}

// A handle the program owns and must free is counted once it is complete; stock objects and
// window surfaces belong to the platform and are never counted.
void Account(GdiObject& object) {
  object.counted = true;
  CountHandle(AccountOf(object.kind), +1);
}

void ReleasePixels(GdiObject& surface) {
  if (surface.mappedPixels != 0) UnmapPixels(surface.pixels, surface.mappedPixels);
  surface.pixels = nullptr;
  surface.mappedPixels = 0;
  surface.frameOf = nullptr;
}

void DetachSurface(GdiObject& surface);

void FreeObject(GdiObject& object) {
  if (object.counted) CountHandle(AccountOf(object.kind), -1);
  if (object.kind == Kind::Bitmap) DetachSurface(object);
  ReleasePixels(object);
  const uint32_t generation = object.generation + 1;
  object = GdiObject();
  object.generation = generation == 0 ? 1 : generation;
  freeSlots.push_back(static_cast<uint32_t>(&object - objects.data()));
}

void Unselect(const void* handle) {
  GdiObject* object = Lookup(handle);
  if (object != nullptr && object->selections > 0) --object->selections;
}

void Select(const void* handle) {
  GdiObject* object = Lookup(handle);
  if (object != nullptr) ++object->selections;
}

// ---- Stock objects ----

HGDIOBJ NewStockBrush(COLORREF colour, bool hollow) {
  void* handle = NewObject(Kind::Brush);
  GdiObject* brush = Lookup(handle);
  if (brush == nullptr) return nullptr;
  brush->stock = true;
  brush->colour = colour;
  brush->hollow = hollow;
  return handle;
}

void EnsureStock() {
  if (stock.whiteBrush != nullptr) return;
  stock.whiteBrush = NewStockBrush(RGB(255, 255, 255), false);
  stock.blackBrush = NewStockBrush(RGB(0, 0, 0), false);
  stock.nullBrush = NewStockBrush(0, true);
  stock.blackPen = NewObject(Kind::Pen);
  stock.defaultBitmap = NewObject(Kind::Bitmap);
  stock.defaultPalette = static_cast<HPALETTE>(NewObject(Kind::Palette));
  GdiObject* pen = Lookup(stock.blackPen);
  GdiObject* bitmap = Lookup(stock.defaultBitmap);
  GdiObject* palette = Lookup(stock.defaultPalette);
  if (stock.nullBrush == nullptr || pen == nullptr || bitmap == nullptr || palette == nullptr) {
    stock = StockObjects();  // out of memory: tried again on the next call
    return;
  }
  pen->stock = bitmap->stock = palette->stock = true;
  pen->colour = RGB(0, 0, 0);
  bitmap->pixels = MapPixels(1);
  if (bitmap->pixels == nullptr) {
    stock = StockObjects();
    return;
  }
  bitmap->mappedPixels = 1;
  bitmap->width = bitmap->height = bitmap->stride = 1;
  palette->entries.assign(std::begin(kDefaultPalette), std::end(kDefaultPalette));
}

// ---- Colours ----

uint32_t PixelOf(BYTE red, BYTE green, BYTE blue) {
  return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
}

// Nearest entry by squared RGB distance; the first one wins a tie.
uint32_t NearestEntry(const std::vector<PALETTEENTRY>& entries, COLORREF colour) {
  const int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
  int best = 0;
  int bestDistance = -1;
  for (size_t i = 0; i < entries.size(); ++i) {
    const int dr = entries[i].peRed - red, dg = entries[i].peGreen - green, db = entries[i].peBlue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
    }
  }
  const PALETTEENTRY& e = entries[static_cast<size_t>(best)];
  return PixelOf(e.peRed, e.peGreen, e.peBlue);
}

// The pixel a brush or pen draws in this context: a palette-relative colour snaps to the nearest
// entry of the selected palette, any other colour is drawn as its RGB value.
uint32_t ResolveColour(const GdiObject& dc, GdiObject& paint) {
  const COLORREF colour = paint.colour;
  if ((colour & 0xFF000000u) != kPaletteRelative) {
    return PixelOf(GetRValue(colour), GetGValue(colour), GetBValue(colour));
  }
  if (paint.resolvedPalette != dc.palette) {
    const GdiObject* palette = Lookup(dc.palette, Kind::Palette);
    paint.resolvedPixel = palette != nullptr ? NearestEntry(palette->entries, colour)
                                             : PixelOf(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    paint.resolvedPalette = dc.palette;
  }
  return paint.resolvedPixel;
}

// ---- Surfaces ----

Surface SurfaceOf(const GdiObject& bitmap) {
  return Surface{bitmap.pixels, bitmap.width, bitmap.height, bitmap.stride};
}

DamageRect Bounds(const GdiObject& surface) { return DamageRect{0, 0, surface.width, surface.height}; }

bool CoversAll(const DamageRect& rect, const GdiObject& surface) {
  return rect.left <= 0 && rect.top <= 0 && rect.right >= surface.width && rect.bottom >= surface.height;
}

// Where the surface may not be black, as far as drawing is to rely on it.
Damage Damaged(const GdiObject& surface) {
  if (DamageTracking()) return surface.damage;
  Damage whole;
  AddDamage(whole, Bounds(surface));
  return whole;
}

uint32_t* PixelAddress(const Surface& surface, int64_t x, int64_t y) {
  return surface.pixels + static_cast<size_t>(y) * static_cast<size_t>(surface.stride) + static_cast<size_t>(x);
}

// A frame image may still be being read by the display server.
void AwaitServer(const GdiObject& surface) {
  if (surface.frameOf != nullptr) PresenterAwaitFrameRead(surface.frameOf);
}

// Shows a rectangle (within the surface) of a window's surface on the display, when one is open.
void ShowWindowRect(const GdiObject& dc, const DamageRect& rect) {
  if (dc.window == nullptr || IsEmpty(rect)) return;
  const GdiObject* surface = Lookup(dc.bitmap, Kind::Bitmap);
  if (surface == nullptr) return;
  PresenterShowPixels(dc.window, static_cast<int>(rect.left), static_cast<int>(rect.top),
                      static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top),
                      PixelAddress(SurfaceOf(*surface), rect.left, rect.top), surface->stride);
}

void ShowWindowRects(const GdiObject& dc, const Damage& rects) {
  for (int i = 0; i < rects.count; ++i) ShowWindowRect(dc, rects.rects[i]);
}

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

void CopyRects(const Surface& to, const Surface& from, const Damage& rects, int64_t shiftX = 0, int64_t shiftY = 0) {
  for (int i = 0; i < rects.count; ++i) CopyPixels(to, from, rects.rects[i], shiftX, shiftY);
}

void FillRects(const Surface& surface, const Damage& rects, uint32_t pixel) {
  for (int i = 0; i < rects.count; ++i) {
    const DamageRect& part = rects.rects[i];
    FillSpanRect(surface, part.left, part.top, part.right, part.bottom, pixel);
  }
}

// ---- Exchanged pixels ----
//
// The saver copies its whole back bitmap onto its whole window every frame. Instead of copying,
// the two surfaces exchange pixels: the window takes the bitmap's, and the bitmap the window's
// old ones, which stay stale until the bitmap is cleared all over (the next frame's first call).
// Should anything else draw on it, read it or change the window first, the bitmap takes its
// content back by the copy that was saved. Where the window surface is a frame image, the bitmap
// holds the window's second image, so that both can be sent without a copy.

GdiObject* ContentHolder(const GdiObject& bitmap) { return Lookup(bitmap.contentIn, Kind::Bitmap); }

// The surface holding a surface's content: itself, or after an exchange its window surface.
const GdiObject& ContentOf(const GdiObject& surface) {
  const GdiObject* holder = ContentHolder(surface);
  return holder != nullptr ? *holder : surface;
}

void Unlink(GdiObject& bitmap) {
  GdiObject* holder = ContentHolder(bitmap);
  if (holder != nullptr) holder->contentOf = nullptr;
  bitmap.contentIn = nullptr;
}

// Before the surface changes: the exchanged bitmap that it is, or whose content it holds, takes
// its content back.
void Settle(GdiObject& surface) {
  GdiObject* bitmap = surface.contentOf != nullptr ? Lookup(surface.contentOf, Kind::Bitmap) : &surface;
  surface.contentOf = nullptr;
  if (bitmap == nullptr || bitmap->contentIn == nullptr) return;
  const GdiObject* holder = ContentHolder(*bitmap);
  Unlink(*bitmap);
  if (holder == nullptr) return;
  Damage changed = holder->damage;
  for (int i = 0; i < bitmap->damage.count; ++i) AddDamage(changed, bitmap->damage.rects[i]);
  AwaitServer(*bitmap);
  CopyRects(SurfaceOf(*bitmap), SurfaceOf(*holder), changed);
  bitmap->damage = holder->damage;
}

// Moves a surface out of a frame image into memory of its own, keeping its pixels; without
// memory it is emptied.
void MoveOffFrame(GdiObject& surface) {
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

// The bitmap holding the window's spare frame image, if any.
GdiObject* SpareHolder(HWND window) {
  if (window == nullptr) return nullptr;
  for (GdiObject& object : objects) {
    if (object.kind == Kind::Bitmap && !object.windowSurface && object.frameOf == window) return &object;
  }
  return nullptr;
}

// Moves a bitmap into its window's spare frame image, which is black until someone holds it.
bool MoveOntoSpareFrame(GdiObject& bitmap, GdiObject& window) {
  if (SpareHolder(window.frameOf) != nullptr) return false;
  uint32_t* spare = nullptr;
  int stride = 0;
  if (!PresenterWindowSpareFrame(window.frameOf, window.pixels, &spare, &stride)) return false;
  PresenterAwaitFrameRead(window.frameOf);
  CopyRects(Surface{spare, bitmap.width, bitmap.height, stride}, SurfaceOf(bitmap), bitmap.damage);
  ReleasePixels(bitmap);
  bitmap.pixels = spare;
  bitmap.stride = stride;
  bitmap.frameOf = window.frameOf;
  return true;
}

// A copy of the whole of a bitmap onto the whole of a window surface the same size (already
// settled), done as an exchange where the two can trade pixels; false where it must be copied.
bool ExchangeWhole(GdiObject& window, HGDIOBJ windowHandle, GdiObject& bitmap, HGDIOBJ bitmapHandle) {
  if (!DamageTracking() || !window.windowSurface || bitmap.windowSurface || bitmap.stock ||
      bitmap.contentIn != nullptr || bitmap.width != window.width || bitmap.height != window.height) {
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
  window.contentOf = bitmapHandle;
  bitmap.contentIn = windowHandle;
  return true;
}

// Before a bitmap goes: the content of a window surface's exchanged bitmap goes back to it, and a
// spare frame image is left black for the next bitmap to hold.
void DetachSurface(GdiObject& surface) {
  if (surface.contentIn != nullptr) {
    Unlink(surface);
  } else {
    Settle(surface);
  }
  if (surface.frameOf == nullptr || surface.windowSurface) return;
  AwaitServer(surface);
  FillRects(SurfaceOf(surface), surface.damage, 0);
}

// Gives a bitmap or window surface its size, all black; refused beyond the largest size we allow.
// A window's surface is its frame image when the presenter has one of the same size and layout.
bool SizeSurface(GdiObject& surface, HWND window, int width, int height) {
  if (surface.width == width && surface.height == height && surface.pixels != nullptr) return true;
  if (width > kMaxBitmapSide || height > kMaxBitmapSide || int64_t{width} * height > kMaxBitmapPixels) return false;
  // The old pixels go: an exchanged bitmap takes its content back, and the spare image is let go.
  Settle(surface);
  if (GdiObject* holder = surface.windowSurface ? SpareHolder(surface.frameOf) : nullptr) MoveOffFrame(*holder);
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

// Drops a context's selections and frees it together with its window surface, if any.
void DestroyDc(GdiObject& dc) {
  GdiObject* surface = dc.window != nullptr ? Lookup(dc.bitmap, Kind::Bitmap) : nullptr;
  Unselect(dc.bitmap);
  Unselect(dc.brush);
  Unselect(dc.pen);
  Unselect(dc.palette);
  if (surface != nullptr && surface->windowSurface) FreeObject(*surface);
  FreeObject(dc);
}

// A new context with the defaults Windows gives one: white brush, black pen, default palette.
HDC NewDc(HGDIOBJ bitmap) {
  void* handle = NewObject(Kind::Dc);
  GdiObject* dc = Lookup(handle);
  if (dc == nullptr) return nullptr;
  dc->bitmap = bitmap;
  dc->brush = stock.whiteBrush;
  dc->pen = stock.blackPen;
  dc->palette = stock.defaultPalette;
  Select(dc->bitmap);
  Select(dc->brush);
  Select(dc->pen);
  Select(dc->palette);
  Account(*dc);
  return static_cast<HDC>(handle);
}

// A window's own context, drawing on a surface of the window's client size.
HDC NewWindowDc(HWND window, int width, int height) {
  void* surfaceHandle = NewObject(Kind::Bitmap);
  GdiObject* surface = Lookup(surfaceHandle);
  if (surface == nullptr) return nullptr;
  surface->windowSurface = true;
  if (!SizeSurface(*surface, window, width, height)) {
    FreeObject(*surface);
    return nullptr;
  }
  HDC handle = NewDc(surfaceHandle);
  GdiObject* dc = Lookup(handle);
  if (dc == nullptr) {
    FreeObject(*Lookup(surfaceHandle));
    return nullptr;
  }
  dc->window = window;
  return handle;
}

// The slot of a context that a selection of this object replaces, or null if it cannot hold it.
HGDIOBJ* SelectionSlot(GdiObject& dc, const GdiObject& object, HGDIOBJ handle) {
  switch (object.kind) {
    case Kind::Bitmap:
      // Only memory contexts take bitmaps, and a bitmap lives in one context at a time.
      if (dc.window != nullptr || object.windowSurface) return nullptr;
      if (!object.stock && object.selections > 0 && dc.bitmap != handle) return nullptr;
      return &dc.bitmap;
    case Kind::Brush:
      return &dc.brush;
    case Kind::Pen:
      return &dc.pen;
    default:
      return nullptr;
  }
}

}  // namespace

// ---- Internal interface ----

void ResetGdi() {
  for (GdiObject& object : objects) {
    if (object.kind == Kind::Free) continue;
    if (object.stock) {
      object.selections = 0;
    } else {
      FreeObject(object);
    }
  }
  edgeTable = EdgeTable();
}

// The window's surface and a bitmap holding its spare image move into memory of their own, each
// with its pixels, so that an exchange between them still holds.
void WindowFrameReleased(HWND window) {
  for (GdiObject& object : objects) {
    if (object.kind != Kind::Bitmap || object.frameOf != window) continue;
    MoveOffFrame(object);
  }
}

bool DcSurface(HDC dc, Surface* surface) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  GdiObject* bitmap = context != nullptr ? Lookup(context->bitmap, Kind::Bitmap) : nullptr;
  if (bitmap == nullptr) return false;
  *surface = SurfaceOf(ContentOf(*bitmap));
  return true;
}

HGDIOBJ DcSelectedBitmap(HDC dc) {
  const GdiObject* context = Lookup(dc, Kind::Dc);
  return context != nullptr && context->window == nullptr ? context->bitmap : nullptr;
}

HGDIOBJ DcSelectedBrush(HDC dc) {
  const GdiObject* context = Lookup(dc, Kind::Dc);
  return context != nullptr ? context->brush : nullptr;
}

HGDIOBJ DcSelectedPen(HDC dc) {
  const GdiObject* context = Lookup(dc, Kind::Dc);
  return context != nullptr ? context->pen : nullptr;
}

HPALETTE DcSelectedPalette(HDC dc) {
  const GdiObject* context = Lookup(dc, Kind::Dc);
  return context != nullptr ? context->palette : nullptr;
}

// ---- Device contexts ----

// Every window keeps one context (as with CS_OWNDC): GetDC hands out the same one each time, its
// surface following the client size; the window table deletes it with the window.
HDC GetDC(HWND window) {
  if (InjectedFailure(Call::GetDC)) return nullptr;
  int width = 0, height = 0;
  HDC* slot = IsOwnWindow(window) && WindowClientSize(window, &width, &height) ? WindowDCSlot(window) : nullptr;
  if (slot == nullptr) return nullptr;
  EnsureStock();
  width = std::max(width, 0);
  height = std::max(height, 0);
  GdiObject* dc = Lookup(*slot, Kind::Dc);
  if (dc == nullptr) {
    *slot = NewWindowDc(window, width, height);
    return *slot;
  }
  GdiObject* surface = Lookup(dc->bitmap, Kind::Bitmap);
  return surface != nullptr && SizeSurface(*surface, window, width, height) ? *slot : nullptr;
}

int ReleaseDC(HWND window, HDC dc) {
  HDC* slot = IsOwnWindow(window) ? WindowDCSlot(window) : nullptr;
  return slot != nullptr && dc != nullptr && *slot == dc ? 1 : 0;
}

HDC CreateCompatibleDC(HDC dc) {
  if (InjectedFailure(Call::CreateCompatibleDC)) return nullptr;
  if (dc != nullptr && Lookup(dc, Kind::Dc) == nullptr) return nullptr;
  EnsureStock();
  return NewDc(stock.defaultBitmap);
}

// Also frees a window's own context when the window table lets go of it.
BOOL DeleteDC(HDC dc) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  if (context == nullptr) return FALSE;
  DestroyDc(*context);
  return TRUE;
}

// ---- Objects ----

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (InjectedFailure(Call::CreateCompatibleBitmap)) return nullptr;
  if (dc != nullptr && Lookup(dc, Kind::Dc) == nullptr) return nullptr;
  if (width < 0 || height < 0) return nullptr;
  EnsureStock();
  // As on Windows, an empty bitmap is the shared one-pixel stock bitmap.
  if (width == 0 || height == 0) return static_cast<HBITMAP>(stock.defaultBitmap);
  void* handle = NewObject(Kind::Bitmap);
  GdiObject* bitmap = Lookup(handle);
  if (bitmap == nullptr) return nullptr;
  if (!SizeSurface(*bitmap, nullptr, width, height)) {
    FreeObject(*bitmap);
    return nullptr;
  }
  Account(*bitmap);
  return static_cast<HBITMAP>(handle);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  if (InjectedFailure(Call::CreateSolidBrush)) return nullptr;
  void* handle = NewObject(Kind::Brush);
  GdiObject* brush = Lookup(handle);
  if (brush == nullptr) return nullptr;
  brush->colour = colour;
  Account(*brush);
  return static_cast<HBRUSH>(handle);
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (InjectedFailure(Call::CreatePalette)) return nullptr;
  if (palette == nullptr || palette->palNumEntries == 0) return nullptr;
  void* handle = NewObject(Kind::Palette);
  GdiObject* object = Lookup(handle);
  if (object == nullptr) return nullptr;
  try {
    object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  } catch (const std::bad_alloc&) {
    FreeObject(*object);
    return nullptr;
  }
  Account(*object);
  return static_cast<HPALETTE>(handle);
}

HGDIOBJ GetStockObject(int index) {
  EnsureStock();
  switch (index) {
    case WHITE_BRUSH: return stock.whiteBrush;
    case BLACK_BRUSH: return stock.blackBrush;
    case NULL_BRUSH: return stock.nullBrush;
    case BLACK_PEN: return stock.blackPen;
    default: return nullptr;
  }
}

namespace {

HGDIOBJ SelectInto(HDC dc, HGDIOBJ object) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  GdiObject* selected = Lookup(object);
  if (context == nullptr || selected == nullptr) return nullptr;
  HGDIOBJ* slot = SelectionSlot(*context, *selected, object);
  if (slot == nullptr) return nullptr;
  HGDIOBJ previous = *slot;
  if (previous != object) {
    Unselect(previous);
    ++selected->selections;
    *slot = object;
  }
  return previous;
}

HPALETTE SelectPaletteInto(HDC dc, HPALETTE palette) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  GdiObject* selected = Lookup(palette, Kind::Palette);
  if (context == nullptr || selected == nullptr) return nullptr;
  HPALETTE previous = context->palette;
  if (previous != palette) {
    Unselect(previous);
    ++selected->selections;
    context->palette = palette;
  }
  return previous;
}

intptr_t LogValue(const void* handle) { return static_cast<intptr_t>(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  HGDIOBJ previous = SelectInto(dc, object);
  LogCall(LogKind::SelectObject, LogValue(dc), LogValue(object), LogValue(previous));
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  GdiObject* target = Lookup(object);
  if (target == nullptr || target->kind == Kind::Dc || target->windowSurface) return FALSE;
  if (target->stock) return TRUE;
  // Windows refuses to delete what a device context still holds.
  if (target->selections > 0) return FALSE;
  FreeObject(*target);
  return TRUE;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  HPALETTE previous = SelectPaletteInto(dc, palette);
  LogCall(LogKind::SelectPalette, LogValue(dc), LogValue(palette), LogValue(previous));
  return previous;
}

// Surfaces here are true colour: nothing is mapped into a hardware palette.
UINT RealizePalette(HDC dc) { return Lookup(dc, Kind::Dc) != nullptr ? 0 : kGdiError; }

// ---- Drawing ----

namespace {

GdiObject* SurfaceOfDc(const GdiObject* dc) { return dc != nullptr ? Lookup(dc->bitmap, Kind::Bitmap) : nullptr; }

// The pixels a polygon can touch, fill and outline alike: the box of its points.
DamageRect PolygonBox(const POINT* points, int count) {
  DamageRect box{points[0].x, points[0].y, points[0].x, points[0].y};
  for (int i = 1; i < count; ++i) {
    box.left = std::min<int64_t>(box.left, points[i].x);
    box.right = std::max<int64_t>(box.right, points[i].x);
    box.top = std::min<int64_t>(box.top, points[i].y);
    box.bottom = std::max<int64_t>(box.bottom, points[i].y);
  }
  ++box.right;
  ++box.bottom;
  return box;
}

}  // namespace

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  GdiObject* fill = Lookup(brush, Kind::Brush);
  GdiObject* target = SurfaceOfDc(context);
  if (context == nullptr || fill == nullptr || rect == nullptr || target == nullptr) return 0;
  if (fill->hollow) return 1;
  const uint32_t pixel = ResolveColour(*context, *fill);
  const DamageRect area = Intersection(DamageRect{rect->left, rect->top, rect->right, rect->bottom}, Bounds(*target));
  if (IsEmpty(area)) return 1;
  // Cleared all over, an exchanged bitmap needs its content no more.
  if (pixel == 0 && CoversAll(area, *target)) Unlink(*target);
  Settle(*target);
  // Black changes only what may not be black already.
  Damage changed;
  if (pixel == 0) {
    AddDamageWithin(changed, Damaged(*target), area, 0, 0);
  } else {
    AddDamage(changed, area);
  }
  if (changed.count == 0) return 1;
  AwaitServer(*target);
  FillRects(SurfaceOf(*target), changed, pixel);
  if (pixel == 0) {
    target->damage = DamageOutside(target->damage, area);
  } else {
    AddDamage(target->damage, area);
  }
  ShowWindowRects(*context, changed);
  return 1;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  GdiObject* context = Lookup(dc, Kind::Dc);
  GdiObject* target = SurfaceOfDc(context);
  if (context == nullptr || points == nullptr || count < 2 || target == nullptr) return FALSE;
  GdiObject* brush = Lookup(context->brush, Kind::Brush);
  GdiObject* pen = Lookup(context->pen, Kind::Pen);
  const bool filled = brush != nullptr && !brush->hollow;
  const bool outlined = pen != nullptr && !pen->hollow;
  const DamageRect box = Intersection(PolygonBox(points, count), Bounds(*target));
  if (IsEmpty(box) || (!filled && !outlined)) return TRUE;
  Settle(*target);
  AwaitServer(*target);
  AddDamage(target->damage, box);
  const Surface surface = SurfaceOf(*target);
  try {
    if (filled) FillPolygon(surface, points, count, ResolveColour(*context, *brush), edgeTable);
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  if (outlined) DrawOutline(surface, points, count, ResolveColour(*context, *pen));
  ShowWindowRect(*context, box);
  return TRUE;
}

// Copies only where the source or the destination may hold something other than black: elsewhere
// black would be copied onto black.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  GdiObject* target = Lookup(dest, Kind::Dc);
  GdiObject* to = SurfaceOfDc(target);
  GdiObject* sourceDc = Lookup(source, Kind::Dc);
  GdiObject* from = SurfaceOfDc(sourceDc);
  if (target == nullptr || rop != SRCCOPY || to == nullptr || from == nullptr) return FALSE;
  int64_t w = width, h = height, dx = x, dy = y, sx = sourceX, sy = sourceY;
  // Clip to both surfaces, keeping source and destination in step.
  const int64_t shiftX = std::max({int64_t{0}, -dx, -sx});
  const int64_t shiftY = std::max({int64_t{0}, -dy, -sy});
  dx += shiftX, sx += shiftX, w -= shiftX;
  dy += shiftY, sy += shiftY, h -= shiftY;
  w = std::min({w, int64_t{to->width} - dx, int64_t{from->width} - sx});
  h = std::min({h, int64_t{to->height} - dy, int64_t{from->height} - sy});
  if (w <= 0 || h <= 0) return TRUE;
  Settle(*to);
  const GdiObject& content = ContentOf(*from);
  const DamageRect blit{dx, dy, dx + w, dy + h};
  Damage arriving;
  AddDamageWithin(arriving, content.damage, DamageRect{sx, sy, sx + w, sy + h}, dx - sx, dy - sy);
  Damage changed = arriving;
  AddDamageWithin(changed, Damaged(*to), blit, 0, 0);
  const bool whole = sx == 0 && sy == 0 && CoversAll(blit, *to) && CoversAll(DamageRect{0, 0, w, h}, *from);
  if (changed.count > 0 && whole && ExchangeWhole(*to, target->bitmap, *from, sourceDc->bitmap)) {
    ShowWindowRects(*target, changed);
    return TRUE;
  }
  // Within one surface a part copied first could be the source of a later one: one part then.
  if (to == &content && changed.count > 1) {
    const DamageRect bounds = DamageBounds(changed);
    changed = Damage{};
    AddDamage(changed, bounds);
  }
  if (changed.count > 0) AwaitServer(*to);
  CopyRects(SurfaceOf(*to), SurfaceOf(content), changed, dx - sx, dy - sy);
  Damage rest = DamageOutside(to->damage, blit);
  for (int i = 0; i < arriving.count; ++i) AddDamage(rest, arriving.rects[i]);
  to->damage = rest;
  ShowWindowRects(*target, changed);
  return TRUE;
}

// Bitmaps here are already 32-bit XRGB, the layout of a 32-bit BI_RGB DIB; other formats and
// widths would need conversion and are refused.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
  GdiObject* source = Lookup(bitmap, Kind::Bitmap);
  if (Lookup(dc, Kind::Dc) == nullptr || source == nullptr || source->windowSurface || bits == nullptr ||
      info == nullptr || usage != DIB_RGB_COLORS) {
    return 0;
  }
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const bool topDown = header.biHeight < 0;
  const int64_t height = topDown ? -int64_t{header.biHeight} : header.biHeight;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biBitCount != 32 || header.biCompression != BI_RGB ||
      header.biWidth != source->width || height != source->height || start >= height) {
    return 0;
  }
  const int64_t count = std::min<int64_t>(lines, height - start);
  const GdiObject& content = ContentOf(*source);
  auto* rows = static_cast<uint32_t*>(bits);
  for (int64_t i = 0; i < count; ++i) {
    // Scan line n of a bottom-up DIB is the bitmap's row height - 1 - n.
    const int64_t scanLine = start + i;
    const int64_t row = topDown ? scanLine : height - 1 - scanLine;
    std::memcpy(rows + i * source->width, content.pixels + row * content.stride,
                static_cast<size_t>(source->width) * sizeof(uint32_t));
  }
  return static_cast<int>(count);
}

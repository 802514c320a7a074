// The software GDI's handle table: one slot per object, a small record for each kind of object,
// and handles that carry a generation so that a stale or forged handle is refused.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "platform/portable/gdi/damage.h"
#include "platform/win32.h"

enum class Kind : uint8_t { Free, Dc, Bitmap, Brush, Pen, Palette };

// A device context and what it holds.
struct DcRecord {
  HWND window = nullptr;  // set for a window's own context, whose bitmap is the window surface
  HGDIOBJ bitmap = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  HPALETTE palette = nullptr;
};

// A bitmap, or a window's surface: rows of stride pixels, zero (black) everywhere outside damage.
struct SurfaceRecord {
  bool windowSurface = false;
  int width = 0;
  int height = 0;
  int stride = 0;
  uint32_t* pixels = nullptr;
  size_t mappedPixels = 0;  // size of our own mapping; 0 when the pixels are a window's frame image
  HWND frameOf = nullptr;   // the window whose frame image holds the pixels
  Damage damage;
  // After an exchange (exchange.h) a bitmap's content lies in its window surface's pixels, and its
  // own pixels are stale, bounded by its damage: the bitmap names the surface that holds its
  // content, and that surface names the bitmap back.
  HGDIOBJ contentHeldBy = nullptr;
  HGDIOBJ holdsContentOf = nullptr;
};

// A brush or pen, with the pixel its colour last resolved to and against which palette (palettes
// never change, so the pair stays valid).
struct PaintRecord {
  COLORREF colour = 0;
  bool hollow = false;
  HPALETTE resolvedPalette = nullptr;
  uint32_t resolvedPixel = 0;
};

struct PaletteRecord {
  std::vector<PALETTEENTRY> entries;
};

struct GdiObject {
  Kind kind = Kind::Free;
  bool stock = false;
  bool counted = false;  // counted as a handle of the program's (see Account)
  uint32_t generation = 1;
  int selections = 0;  // device contexts that hold this object
  std::variant<std::monostate, DcRecord, SurfaceRecord, PaintRecord, PaletteRecord> record;
};

// A fresh slot of the given kind, holding that kind's record; null when the table is full or
// memory runs out.
void* NewObject(Kind kind);
// Null unless the handle names a live object (of that kind).
GdiObject* Lookup(const void* handle);
GdiObject* Lookup(const void* handle, Kind kind);
// The records of live objects, or null.
DcRecord* FindDc(const void* handle);
SurfaceRecord* FindSurface(const void* handle);
PaintRecord* FindPaint(const void* handle, Kind kind);
PaletteRecord* FindPalette(const void* handle);
// Empties the slot for reuse, under a new generation; the record's resources are released already.
void ReleaseSlot(GdiObject& object);
// Every slot, live or free, in handle order.
std::vector<GdiObject>& AllObjects();

// A handle the program owns and must free is counted once it is complete; stock objects and
// window surfaces belong to the platform and are never counted.
void Account(GdiObject& object);

// The objects every context starts with, made on first use.
struct StockObjects {
  HGDIOBJ whiteBrush = nullptr;
  HGDIOBJ blackBrush = nullptr;
  HGDIOBJ nullBrush = nullptr;
  HGDIOBJ blackPen = nullptr;
  HGDIOBJ defaultBitmap = nullptr;
  HPALETTE defaultPalette = nullptr;
};
// All null when memory ran out; tried again on the next call.
const StockObjects& Stock();

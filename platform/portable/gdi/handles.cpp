// The software GDI's handle table and its stock objects.
#include "platform/portable/gdi/handles.h"

#include <iterator>
#include <new>

#include "platform/portable/gdi/pixel_memory.h"
#include "platform/portable/test_seam.h"

using Seam::HandleKind;

namespace {

constexpr unsigned kIndexBits = 20;  // slot index in the low bits of a handle, generation above
constexpr size_t kMaxSlots = (size_t{1} << kIndexBits) - 1;

std::vector<GdiObject> objects;
std::vector<uint32_t> freeSlots;
StockObjects stock;

// The twenty static colours of the system's default palette.
const PALETTEENTRY kDefaultPalette[] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

void* HandleOf(size_t index) {
  const uintptr_t generation = objects[index].generation;
  return reinterpret_cast<void*>((generation << kIndexBits) | (index + 1));
}

void MakeRecord(GdiObject& object) {
  switch (object.kind) {
    case Kind::Dc: object.record = DcRecord(); break;
    case Kind::Bitmap: object.record = SurfaceRecord(); break;
    case Kind::Brush: case Kind::Pen: object.record = PaintRecord(); break;
    case Kind::Palette: object.record = PaletteRecord(); break;
    case Kind::Free: object.record = std::monostate(); break;
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

HGDIOBJ NewStockPaint(Kind kind, COLORREF colour, bool hollow) {
  void* handle = NewObject(kind);
  GdiObject* object = Lookup(handle);
  if (object == nullptr) return nullptr;
  object->stock = true;
  PaintRecord& paint = std::get<PaintRecord>(object->record);
  paint.colour = colour;
  paint.hollow = hollow;
  return handle;
}

bool Complete(const StockObjects& made) {
  return made.whiteBrush != nullptr && made.blackBrush != nullptr && made.nullBrush != nullptr &&
         made.blackPen != nullptr && made.defaultBitmap != nullptr && made.defaultPalette != nullptr;
}

// Gives back the slots (and the pixel) of a stock that could not be made whole.
void DropStock() {
  for (HGDIOBJ handle : {stock.whiteBrush, stock.blackBrush, stock.nullBrush, stock.blackPen,
                         stock.defaultBitmap, static_cast<HGDIOBJ>(stock.defaultPalette)}) {
    GdiObject* object = Lookup(handle);
    if (object == nullptr) continue;
    if (SurfaceRecord* pixel = std::get_if<SurfaceRecord>(&object->record)) {
      UnmapPixels(pixel->pixels, pixel->mappedPixels);
    }
    ReleaseSlot(*object);
  }
  stock = StockObjects();
}

bool FillStock(SurfaceRecord& pixel, PaletteRecord& palette) {
  pixel.pixels = MapPixels(1);
  if (pixel.pixels == nullptr) return false;
  pixel.mappedPixels = 1;
  pixel.width = pixel.height = pixel.stride = 1;
  try {
    palette.entries.assign(std::begin(kDefaultPalette), std::end(kDefaultPalette));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Out of memory, nothing of it is kept, and the next call tries again.
void MakeStock() {
  stock.whiteBrush = NewStockPaint(Kind::Brush, RGB(255, 255, 255), false);
  stock.blackBrush = NewStockPaint(Kind::Brush, RGB(0, 0, 0), false);
  stock.nullBrush = NewStockPaint(Kind::Brush, 0, true);
  stock.blackPen = NewStockPaint(Kind::Pen, RGB(0, 0, 0), false);
  stock.defaultBitmap = NewObject(Kind::Bitmap);
  stock.defaultPalette = static_cast<HPALETTE>(NewObject(Kind::Palette));
  GdiObject* bitmap = Lookup(stock.defaultBitmap);
  GdiObject* palette = Lookup(stock.defaultPalette);
  if (!Complete(stock) || bitmap == nullptr || palette == nullptr) return DropStock();
  bitmap->stock = palette->stock = true;
  if (!FillStock(std::get<SurfaceRecord>(bitmap->record), std::get<PaletteRecord>(palette->record))) {
    DropStock();
  }
}

}  // namespace

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
    MakeRecord(objects[index]);
    return HandleOf(index);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
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

DcRecord* FindDc(const void* handle) {
  GdiObject* object = Lookup(handle, Kind::Dc);
  return object != nullptr ? &std::get<DcRecord>(object->record) : nullptr;
}

SurfaceRecord* FindSurface(const void* handle) {
  GdiObject* object = Lookup(handle, Kind::Bitmap);
  return object != nullptr ? &std::get<SurfaceRecord>(object->record) : nullptr;
}

PaintRecord* FindPaint(const void* handle, Kind kind) {
  GdiObject* object = Lookup(handle, kind);
  return object != nullptr ? std::get_if<PaintRecord>(&object->record) : nullptr;
}

PaletteRecord* FindPalette(const void* handle) {
  GdiObject* object = Lookup(handle, Kind::Palette);
  return object != nullptr ? &std::get<PaletteRecord>(object->record) : nullptr;
}

void ReleaseSlot(GdiObject& object) {
  if (object.counted) CountHandle(AccountOf(object.kind), -1);
  const uint32_t generation = object.generation + 1;
  object = GdiObject();
  object.generation = generation == 0 ? 1 : generation;
  freeSlots.push_back(static_cast<uint32_t>(&object - objects.data()));
}

std::vector<GdiObject>& AllObjects() { return objects; }

void Account(GdiObject& object) {
  object.counted = true;
  CountHandle(AccountOf(object.kind), +1);
}

const StockObjects& Stock() {
  if (stock.whiteBrush == nullptr) MakeStock();
  return stock;
}

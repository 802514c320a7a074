// Software GDI objects: device contexts, bitmaps, brushes, the pen and palettes, their creation,
// selection and deletion, and each window's own context.
#include <algorithm>
#include <new>

#include "platform/portable/gdi/drawing.h"
#include "platform/portable/gdi/exchange.h"
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/gdi/handles.h"
#include "platform/portable/gdi/surfaces.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::LogKind;

namespace {

constexpr UINT kGdiError = 0xFFFFFFFFu;

void FreeObject(GdiObject& object) {
  if (SurfaceRecord* surface = std::get_if<SurfaceRecord>(&object.record)) {
    DetachSurface(*surface);
    ReleasePixels(*surface);
  }
  ReleaseSlot(object);
}

void Unselect(const void* handle) {
  GdiObject* object = Lookup(handle);
  if (object != nullptr && object->selections > 0) --object->selections;
}

void Select(const void* handle) {
  GdiObject* object = Lookup(handle);
  if (object != nullptr) ++object->selections;
}

// The old pixels go: an exchanged bitmap takes its content back first.
bool ResizeSurface(SurfaceRecord& surface, HWND window, int width, int height) {
  if (surface.width == width && surface.height == height && surface.pixels != nullptr) return true;
  if (!SurfaceSizeAllowed(width, height)) return false;
  ReturnExchangedContent(surface);
  return SizeSurface(surface, window, width, height);
}

// Drops a context's selections and frees it together with its window surface, if any.
void DestroyDc(GdiObject& object) {
  const DcRecord dc = std::get<DcRecord>(object.record);
  GdiObject* surface = dc.window != nullptr ? Lookup(dc.bitmap, Kind::Bitmap) : nullptr;
  Unselect(dc.bitmap);
  Unselect(dc.brush);
  Unselect(dc.pen);
  Unselect(dc.palette);
  if (surface != nullptr && std::get<SurfaceRecord>(surface->record).windowSurface) FreeObject(*surface);
  FreeObject(object);
}

// A new context with the defaults Windows gives one: white brush, black pen, default palette.
// The stock comes first: making it adds slots, which would move the new context's record.
HDC NewDc(HGDIOBJ bitmap) {
  const StockObjects defaults = Stock();
  if (defaults.whiteBrush == nullptr) return nullptr;
  void* handle = NewObject(Kind::Dc);
  GdiObject* object = Lookup(handle);
  if (object == nullptr) return nullptr;
  DcRecord& dc = std::get<DcRecord>(object->record);
  dc.bitmap = bitmap;
  dc.brush = defaults.whiteBrush;
  dc.pen = defaults.blackPen;
  dc.palette = defaults.defaultPalette;
  Select(dc.bitmap);
  Select(dc.brush);
  Select(dc.pen);
  Select(dc.palette);
  Account(*object);
  return static_cast<HDC>(handle);
}

// A window's own context, drawing on a surface of the window's client size.
HDC NewWindowDc(HWND window, int width, int height) {
  void* surfaceHandle = NewObject(Kind::Bitmap);
  SurfaceRecord* surface = FindSurface(surfaceHandle);
  if (surface == nullptr) return nullptr;
  surface->windowSurface = true;
  if (!ResizeSurface(*surface, window, width, height)) {
    FreeObject(*Lookup(surfaceHandle));
    return nullptr;
  }
  HDC handle = NewDc(surfaceHandle);
  DcRecord* dc = FindDc(handle);
  if (dc == nullptr) {
    FreeObject(*Lookup(surfaceHandle));
    return nullptr;
  }
  dc->window = window;
  return handle;
}

// The slot of a context that a selection of this object replaces, or null if it cannot hold it.
HGDIOBJ* SelectionSlot(DcRecord& dc, const GdiObject& object, HGDIOBJ handle) {
  switch (object.kind) {
    case Kind::Bitmap:
      // Only memory contexts take bitmaps, and a bitmap lives in one context at a time.
      if (dc.window != nullptr || std::get<SurfaceRecord>(object.record).windowSurface) return nullptr;
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

HGDIOBJ SelectInto(HDC dc, HGDIOBJ object) {
  DcRecord* context = FindDc(dc);
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
  DcRecord* context = FindDc(dc);
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

// ---- For the other areas ----

void ResetGdi() {
  for (GdiObject& object : AllObjects()) {
    if (object.kind == Kind::Free) continue;
    if (object.stock) {
      object.selections = 0;
    } else {
      FreeObject(object);
    }
  }
  ResetDrawing();
}

bool SizeWindowDc(HDC* dc, HWND window, int width, int height) {
  Stock();
  width = std::max(width, 0);
  height = std::max(height, 0);
  const DcRecord* context = FindDc(*dc);
  if (context == nullptr) {
    *dc = NewWindowDc(window, width, height);
    return *dc != nullptr;
  }
  SurfaceRecord* surface = FindSurface(context->bitmap);
  return surface != nullptr && ResizeSurface(*surface, window, width, height);
}

// The window's surface and a bitmap holding its spare image move into memory of their own, each
// with its pixels, so that an exchange between them still holds.
void WindowFrameReleased(HWND window) {
  for (GdiObject& object : AllObjects()) {
    SurfaceRecord* surface = object.kind == Kind::Bitmap ? &std::get<SurfaceRecord>(object.record) : nullptr;
    if (surface != nullptr && surface->frameOf == window) MoveOffFrame(*surface);
  }
}

bool DcSurface(HDC dc, Surface* surface) {
  const DcRecord* context = FindDc(dc);
  const SurfaceRecord* bitmap = context != nullptr ? FindSurface(context->bitmap) : nullptr;
  if (bitmap == nullptr) return false;
  *surface = SurfaceOf(CurrentContent(*bitmap));
  return true;
}

HGDIOBJ DcSelectedBitmap(HDC dc) {
  const DcRecord* context = FindDc(dc);
  return context != nullptr && context->window == nullptr ? context->bitmap : nullptr;
}

HGDIOBJ DcSelectedBrush(HDC dc) {
  const DcRecord* context = FindDc(dc);
  return context != nullptr ? context->brush : nullptr;
}

HGDIOBJ DcSelectedPen(HDC dc) {
  const DcRecord* context = FindDc(dc);
  return context != nullptr ? context->pen : nullptr;
}

HPALETTE DcSelectedPalette(HDC dc) {
  const DcRecord* context = FindDc(dc);
  return context != nullptr ? context->palette : nullptr;
}

// ---- Device contexts ----

HDC CreateCompatibleDC(HDC dc) {
  if (InjectedFailure(Call::CreateCompatibleDC)) return nullptr;
  if (dc != nullptr && FindDc(dc) == nullptr) return nullptr;
  const HGDIOBJ bitmap = Stock().defaultBitmap;
  return bitmap != nullptr ? NewDc(bitmap) : nullptr;
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
  if (dc != nullptr && FindDc(dc) == nullptr) return nullptr;
  if (width < 0 || height < 0) return nullptr;
  const StockObjects& stock = Stock();
  // As on Windows, an empty bitmap is the shared one-pixel stock bitmap.
  if (width == 0 || height == 0) return static_cast<HBITMAP>(stock.defaultBitmap);
  void* handle = NewObject(Kind::Bitmap);
  GdiObject* bitmap = Lookup(handle);
  if (bitmap == nullptr) return nullptr;
  if (!ResizeSurface(std::get<SurfaceRecord>(bitmap->record), nullptr, width, height)) {
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
  std::get<PaintRecord>(brush->record).colour = colour;
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
    std::get<PaletteRecord>(object->record)
        .entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  } catch (const std::bad_alloc&) {
    FreeObject(*object);
    return nullptr;
  }
  Account(*object);
  return static_cast<HPALETTE>(handle);
}

HGDIOBJ GetStockObject(int index) {
  const StockObjects& stock = Stock();
  switch (index) {
    case WHITE_BRUSH: return stock.whiteBrush;
    case BLACK_BRUSH: return stock.blackBrush;
    case NULL_BRUSH: return stock.nullBrush;
    case BLACK_PEN: return stock.blackPen;
    default: return nullptr;
  }
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  HGDIOBJ previous = SelectInto(dc, object);
  LogCall(LogKind::SelectObject, LogValue(dc), LogValue(object), LogValue(previous));
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  GdiObject* target = Lookup(object);
  if (target == nullptr || target->kind == Kind::Dc) return FALSE;
  const SurfaceRecord* surface = std::get_if<SurfaceRecord>(&target->record);
  if (surface != nullptr && surface->windowSurface) return FALSE;
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
UINT RealizePalette(HDC dc) { return FindDc(dc) != nullptr ? 0 : kGdiError; }

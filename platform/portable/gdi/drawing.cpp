// Software GDI drawing: FillRect, Polygon, BitBlt and GetDIBits over 32-bit XRGB surfaces, each
// touching only what its damage says may have changed, and showing a window's changes.
#include "platform/portable/gdi/drawing.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/portable/gdi/damage.h"
#include "platform/portable/gdi/exchange.h"
#include "platform/portable/gdi/handles.h"
#include "platform/portable/gdi/raster.h"
#include "platform/portable/gdi/surfaces.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kPaletteRelative = PALETTERGB(0, 0, 0);  // the flag byte of such a colour

EdgeTable edgeTable;

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
uint32_t ResolveColour(const DcRecord& dc, PaintRecord& paint) {
  const COLORREF colour = paint.colour;
  if ((colour & 0xFF000000u) != kPaletteRelative) {
    return PixelOf(GetRValue(colour), GetGValue(colour), GetBValue(colour));
  }
  if (paint.resolvedPalette != dc.palette) {
    const PaletteRecord* palette = FindPalette(dc.palette);
    paint.resolvedPixel = palette != nullptr ? NearestEntry(palette->entries, colour)
                                             : PixelOf(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    paint.resolvedPalette = dc.palette;
  }
  return paint.resolvedPixel;
}

// ---- Shapes ----

SurfaceRecord* SurfaceOfDc(const DcRecord* dc) { return dc != nullptr ? FindSurface(dc->bitmap) : nullptr; }

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

// ---- Block transfers ----

// Where a transfer lands and where it comes from, the same size.
struct Transfer {
  DamageRect to;
  DamageRect from;
  int64_t ShiftX() const { return to.left - from.left; }
  int64_t ShiftY() const { return to.top - from.top; }
};

// Clipped to both surfaces, keeping source and destination in step; empty when nothing is left.
Transfer ClipTransfer(const SurfaceRecord& to, const SurfaceRecord& from, int x, int y, int width, int height,
                      int sourceX, int sourceY) {
  int64_t w = width, h = height, dx = x, dy = y, sx = sourceX, sy = sourceY;
  const int64_t shiftX = std::max({int64_t{0}, -dx, -sx});
  const int64_t shiftY = std::max({int64_t{0}, -dy, -sy});
  dx += shiftX, sx += shiftX, w -= shiftX;
  dy += shiftY, sy += shiftY, h -= shiftY;
  w = std::min({w, int64_t{to.width} - dx, int64_t{from.width} - sx});
  h = std::min({h, int64_t{to.height} - dy, int64_t{from.height} - sy});
  if (w <= 0 || h <= 0) return Transfer{};
  return Transfer{DamageRect{dx, dy, dx + w, dy + h}, DamageRect{sx, sy, sx + w, sy + h}};
}

// What a transfer changes: only where the source or the destination may hold something other
// than black, since elsewhere black would be copied onto black.
struct Changes {
  Damage arriving;  // the source's damage, moved to where it lands
  Damage changed;   // that, and the destination's damage under the transfer
};

Changes ChangedRects(const SurfaceRecord& to, const SurfaceRecord& content, const Transfer& transfer) {
  Changes changes;
  AddDamageWithin(changes.arriving, content.damage, transfer.from, transfer.ShiftX(), transfer.ShiftY());
  changes.changed = changes.arriving;
  AddDamageWithin(changes.changed, Damaged(to), transfer.to, 0, 0);
  return changes;
}

bool IsWholeTransfer(const SurfaceRecord& to, const SurfaceRecord& from, const Transfer& transfer) {
  const DamageRect size{0, 0, transfer.to.right - transfer.to.left, transfer.to.bottom - transfer.to.top};
  return transfer.from.left == 0 && transfer.from.top == 0 && CoversAll(transfer.to, to) && CoversAll(size, from);
}

// Copies what changes and moves the damage with it; the rectangles copied.
Damage CopyChanges(SurfaceRecord& to, const SurfaceRecord& content, const Changes& changes, const Transfer& transfer) {
  Damage copied = changes.changed;
  // Within one surface a part copied first could be the source of a later one: one part then.
  if (&to == &content && copied.count > 1) {
    const DamageRect bounds = DamageBounds(copied);
    copied = Damage{};
    AddDamage(copied, bounds);
  }
  if (copied.count > 0) AwaitServer(to);
  CopyRects(SurfaceOf(to), SurfaceOf(content), copied, transfer.ShiftX(), transfer.ShiftY());
  Damage rest = DamageOutside(to.damage, transfer.to);
  for (int i = 0; i < changes.arriving.count; ++i) AddDamage(rest, changes.arriving.rects[i]);
  to.damage = rest;
  return copied;
}

}  // namespace

void ResetDrawing() { edgeTable = EdgeTable(); }

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  const DcRecord* context = FindDc(dc);
  PaintRecord* fill = FindPaint(brush, Kind::Brush);
  SurfaceRecord* target = SurfaceOfDc(context);
  if (context == nullptr || fill == nullptr || rect == nullptr || target == nullptr) return 0;
  if (fill->hollow) return 1;
  const uint32_t pixel = ResolveColour(*context, *fill);
  const DamageRect area = Intersection(DamageRect{rect->left, rect->top, rect->right, rect->bottom}, Bounds(*target));
  if (IsEmpty(area)) return 1;
  // Cleared all over, an exchanged bitmap needs its content no more.
  if (pixel == 0 && CoversAll(area, *target)) DropExchangedContent(*target);
  ReturnExchangedContent(*target);
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
  const DcRecord* context = FindDc(dc);
  SurfaceRecord* target = SurfaceOfDc(context);
  if (context == nullptr || points == nullptr || count < 2 || target == nullptr) return FALSE;
  PaintRecord* brush = FindPaint(context->brush, Kind::Brush);
  PaintRecord* pen = FindPaint(context->pen, Kind::Pen);
  const bool filled = brush != nullptr && !brush->hollow;
  const bool outlined = pen != nullptr && !pen->hollow;
  const DamageRect box = Intersection(PolygonBox(points, count), Bounds(*target));
  if (IsEmpty(box) || (!filled && !outlined)) return TRUE;
  ReturnExchangedContent(*target);
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

// Clip, work out what changes, exchange a whole bitmap with a whole window where that can stand
// for the copy, and copy otherwise.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  const DcRecord* target = FindDc(dest);
  SurfaceRecord* to = SurfaceOfDc(target);
  const DcRecord* sourceDc = FindDc(source);
  SurfaceRecord* from = SurfaceOfDc(sourceDc);
  if (target == nullptr || rop != SRCCOPY || to == nullptr || from == nullptr) return FALSE;
  const Transfer transfer = ClipTransfer(*to, *from, x, y, width, height, sourceX, sourceY);
  if (IsEmpty(transfer.to)) return TRUE;
  ReturnExchangedContent(*to);
  const SurfaceRecord& content = CurrentContent(*from);
  const Changes changes = ChangedRects(*to, content, transfer);
  if (changes.changed.count > 0 && IsWholeTransfer(*to, *from, transfer) &&
      ExchangeWhole(*to, target->bitmap, *from, sourceDc->bitmap)) {
    ShowWindowRects(*target, changes.changed);
    return TRUE;
  }
  ShowWindowRects(*target, CopyChanges(*to, content, changes, transfer));
  return TRUE;
}

// Bitmaps here are already 32-bit XRGB, the layout of a 32-bit BI_RGB DIB; other formats and
// widths would need conversion and are refused.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
  const SurfaceRecord* source = FindSurface(bitmap);
  if (FindDc(dc) == nullptr || source == nullptr || source->windowSurface || bits == nullptr || info == nullptr ||
      usage != DIB_RGB_COLORS) {
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
  const SurfaceRecord& content = CurrentContent(*source);
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

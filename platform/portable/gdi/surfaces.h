// Pixel surfaces of bitmaps and windows: their memory (their own, or a window's frame image from
// the presenter), their bounds and damage, and the loops that fill and copy sets of rectangles.
#pragma once

#include <cstdint>

#include "platform/portable/gdi/damage.h"
#include "platform/portable/gdi/handles.h"
#include "platform/portable/gdi/raster.h"

Surface SurfaceOf(const SurfaceRecord& record);
DamageRect Bounds(const SurfaceRecord& surface);
bool CoversAll(const DamageRect& rect, const SurfaceRecord& surface);
// Where the surface may not be black, as far as drawing is to rely on it.
Damage Damaged(const SurfaceRecord& surface);
uint32_t* PixelAddress(const Surface& surface, int64_t x, int64_t y);

// Whether a surface of that size may be made at all.
bool SurfaceSizeAllowed(int width, int height);
// Gives a bitmap or window surface its size, all black; refused beyond the largest size we allow.
// A window's surface is its frame image when the presenter has one of the same size and layout.
// The caller has already taken any exchanged content back (exchange.h).
bool SizeSurface(SurfaceRecord& surface, HWND window, int width, int height);
// Lets go of the surface's own mapping, if any.
void ReleasePixels(SurfaceRecord& surface);
// A frame image may still be being read by the display server.
void AwaitServer(const SurfaceRecord& surface);
// Moves a surface out of a frame image into memory of its own, keeping its pixels; without
// memory it is emptied.
void MoveOffFrame(SurfaceRecord& surface);
// The bitmap holding the window's spare frame image, if any.
SurfaceRecord* SpareHolder(HWND window);

// Copies the rectangles of `to` from where they lie in `from`, (shiftX, shiftY) away.
void CopyRects(const Surface& to, const Surface& from, const Damage& rects, int64_t shiftX = 0, int64_t shiftY = 0);
void FillRects(const Surface& surface, const Damage& rects, uint32_t pixel);

// Shows rectangles (within the surface) of a window's own context on the display.
void ShowWindowRect(const DcRecord& dc, const DamageRect& rect);
void ShowWindowRects(const DcRecord& dc, const Damage& rects);

// What the GDI test hooks and the presenter ask of the software GDI.
#pragma once

#include <cstdint>

#include "platform/portable/raster.h"
#include "platform/win32.h"

// The surface a device context draws on (its selected bitmap, or its window's surface).
bool DcSurface(HDC dc, Surface* surface);

// Objects selected into a device context, or null for an invalid one.
HGDIOBJ DcSelectedBitmap(HDC dc);
HGDIOBJ DcSelectedBrush(HDC dc);
HGDIOBJ DcSelectedPen(HDC dc);
HPALETTE DcSelectedPalette(HDC dc);

// The presenter lets go of a window's frame image: a surface drawn in it keeps its pixels in
// memory of its own from now on.
void WindowFrameReleased(HWND window);

// Every object but the stock ones is freed (ResetPortablePlatform).
void ResetGdi();

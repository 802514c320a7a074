// What the GDI test hooks read of the software GDI's state.
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

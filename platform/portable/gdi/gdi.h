// What the other portable areas and the test library ask of the software GDI, beyond the Windows
// entries themselves.
#pragma once

#include <cstdint>

#include "platform/portable/gdi/raster.h"
#include "platform/win32.h"

// A window's own context (as with CS_OWNDC), drawing on a surface of the window's client size:
// `*dc` is the window's context so far, resized, or else a new one is made there. False when
// the context cannot be had at that size.
bool SizeWindowDc(HDC* dc, HWND window, int width, int height);

// The surface a device context draws on (its selected bitmap, or its window's surface).
bool DcSurface(HDC dc, Surface* surface);

// Objects selected into a device context, or null for an invalid one (and, for the bitmap, for
// a window's context, whose surface is not a bitmap of the program's).
HGDIOBJ DcSelectedBitmap(HDC dc);
HGDIOBJ DcSelectedBrush(HDC dc);
HGDIOBJ DcSelectedPen(HDC dc);
HPALETTE DcSelectedPalette(HDC dc);

// The presenter let go of a window's frame image: a surface drawn in it keeps its pixels in
// memory of its own from now on.
void WindowFrameReleased(HWND window);

// Every object but the stock ones is freed (ResetPortablePlatform).
void ResetGdi();

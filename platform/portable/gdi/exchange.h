// The pixel exchange. The saver copies its whole back bitmap onto its whole window every frame.
// Instead of copying, the two surfaces exchange pixels: the window takes the bitmap's, and the
// bitmap the window's old ones, which stay stale until the bitmap is cleared all over (the next
// frame's first call). Should anything else draw on the bitmap, read it or change the window
// first, the bitmap takes its content back by a copy. Where the window surface is a frame image,
// the bitmap holds the window's second image, so that both can be sent without a copy.
// Seam::Switch::PixelExchange off, every such copy is a copy.
#pragma once

#include "platform/portable/gdi/handles.h"

// The surface holding a surface's content: itself, or after an exchange its window surface.
const SurfaceRecord& CurrentContent(const SurfaceRecord& surface);

// Before the surface changes: the exchanged bitmap that it is, or whose content it holds, takes
// its content back.
void ReturnExchangedContent(SurfaceRecord& surface);
// The bitmap's content is wanted no more (it is about to be cleared all over): the exchange ends
// without a copy back.
void DropExchangedContent(SurfaceRecord& bitmap);

// A copy of the whole of a bitmap onto the whole of a window surface the same size (whose own
// exchanged content is back already), done as an exchange where the two can trade pixels; false
// where it must be copied.
bool ExchangeWhole(SurfaceRecord& window, HGDIOBJ windowHandle, SurfaceRecord& bitmap, HGDIOBJ bitmapHandle);

// Before a bitmap goes: the content of a window surface's exchanged bitmap goes back to it, and a
// spare frame image is left black for the next bitmap to hold.
void DetachSurface(SurfaceRecord& surface);

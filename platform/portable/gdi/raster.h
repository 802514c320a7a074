// The software rasterizer behind Polygon and FillRect: spans, even-odd polygon fill, outlines.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

// A 32-bit XRGB pixel surface (0x00RRGGBB), rows of stride pixels.
struct Surface {
  uint32_t* pixels;
  int width;
  int height;
  int stride;
};

// One polygon edge, oriented top to bottom, with the state of its scanline crossing.
struct Edge {
  int64_t topX;       // x of the upper vertex
  int64_t firstRow;   // first scanline it crosses, clipped to the surface
  int64_t endRow;     // one past the last scanline it crosses, clipped
  int64_t quotient;   // crossing column relative to topX: quotient + (remainder > 0)
  int64_t remainder;  // 0 <= remainder < denominator
  int64_t denominator;
  int64_t stepQuotient;  // per scanline: quotient += stepQuotient, remainder += stepRemainder
  int64_t stepRemainder;
  int64_t column;  // first pixel column at or right of the crossing on the current scanline
};

// Scratch reused from call to call so that drawing allocates only when a polygon has more
// edges than any before it.
struct EdgeTable {
  std::vector<Edge> edges;
  std::vector<uint32_t> active;  // indexes into edges, ordered by column on each scanline
};

// Fills [left, right) x [top, bottom), clipped to the surface.
void FillSpanRect(const Surface& surface, int64_t left, int64_t top, int64_t right, int64_t bottom,
                  uint32_t pixel);

// Fills the polygon by the even-odd rule, sampling each pixel at its corner (x, y); a point
// exactly on an edge belongs to the polygon when the edge is a left or top edge. Clipped to the surface.
void FillPolygon(const Surface& surface, const POINT* points, int count, uint32_t pixel,
                 EdgeTable& table);

// Draws the closed one-pixel outline through the points, clipped to the surface.
void DrawOutline(const Surface& surface, const POINT* points, int count, uint32_t pixel);

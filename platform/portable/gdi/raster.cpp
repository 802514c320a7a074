// Scanline rasterizer: an edge table walked one scanline at a time, with exact integer crossings.
//
// Fill convention, the system's: pixel (x, y) is sampled at its corner, the point (x, y) itself.
// An edge from y0 to y1 (y0 < y1) crosses the scanlines y0 .. y1 - 1, so a point on a horizontal
// top edge is inside and one on a bottom edge is outside. On a scanline the crossings are sorted,
// and pixels from a crossing's column (the first point at or right of it) up to the next
// crossing's column are filled, pairwise (even-odd): a rectangle's right and bottom edges stay
// out, and shapes that share an edge cover each pixel exactly once.
//
// Crossings are kept as a quotient and remainder stepped per scanline (as a line drawer steps its
// error term), so no coordinate, however large, overflows; only the first step of each edge needs
// a 128-bit product. Work is bounded by the surface: rows outside it are never visited and spans
// are clamped to it.
#include "platform/portable/gdi/raster.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

__extension__ typedef __int128 Wide;

// floor(numerator / denominator) for a positive denominator.
int64_t FloorDiv(int64_t numerator, int64_t denominator) {
  int64_t quotient = numerator / denominator;
  if (numerator % denominator != 0 && numerator < 0) --quotient;
  return quotient;
}

// The same for a wide numerator; the 64-bit division is much the cheaper, so it is used
// whenever the numerator fits.
int64_t FloorDiv(Wide numerator, int64_t denominator) {
  if (numerator >= INT64_MIN && numerator <= INT64_MAX) return FloorDiv(static_cast<int64_t>(numerator), denominator);
  Wide quotient = numerator / denominator;
  if (numerator % denominator != 0 && numerator < 0) --quotient;
  return static_cast<int64_t>(quotient);
}

// A rational value stepped by a constant: value = quotient + remainder / denominator.
struct Stepper {
  int64_t quotient;
  int64_t remainder;
  int64_t denominator;
  int64_t stepQuotient;
  int64_t stepRemainder;
};

// Starts at start / denominator and advances by step / denominator per call of Advance.
Stepper MakeStepper(Wide start, int64_t step, int64_t denominator) {
  Stepper s;
  s.denominator = denominator;
  s.quotient = FloorDiv(start, denominator);
  s.remainder = static_cast<int64_t>(start - static_cast<Wide>(s.quotient) * denominator);
  s.stepQuotient = FloorDiv(step, denominator);
  s.stepRemainder = step - s.stepQuotient * denominator;
  return s;
}

// Branch-free: whether the remainder wraps follows the slope, not a pattern the processor could
// predict, and a mispredicted branch per edge and scanline cost more than the filling itself.
// The wrapped remainder is worked out beside the unwrapped one and chosen by a conditional move,
// so each step waits on three instructions of the step before rather than six: a line's pixels
// are one chain of such steps.
void Advance(int64_t& quotient, int64_t& remainder, int64_t stepQuotient, int64_t stepRemainder,
             int64_t denominator) {
  const int64_t stepped = remainder + stepRemainder;
  const int64_t wrapped = stepped - denominator;
  const bool wraps = wrapped >= 0;
  quotient += stepQuotient + wraps;
  remainder = wraps ? wrapped : stepped;
}

// Fills count pixels. The C library's wide-character fill is a 32-bit fill tuned for this
// processor (widest vector stores, string stores for long runs); black goes to memset.
static_assert(sizeof(wchar_t) == sizeof(uint32_t), "wmemset must fill 32-bit pixels");
void FillPixels(uint32_t* to, size_t count, uint32_t pixel) {
  if (pixel == 0) {
    std::memset(to, 0, count * sizeof(uint32_t));
    return;
  }
  std::wmemset(reinterpret_cast<wchar_t*>(to), static_cast<wchar_t>(pixel), count);
}

uint32_t* Row(const Surface& surface, int64_t y) {
  return surface.pixels + static_cast<size_t>(y) * static_cast<size_t>(surface.stride);
}

// ---- Edge table ----

// Adds the edge a-b unless it crosses no visible scanline or lies wholly right of the surface
// (a crossing at or beyond the right border changes the parity of no visible pixel).
void AddEdge(const Surface& surface, const POINT& a, const POINT& b, std::vector<Edge>& edges) {
  if (a.y == b.y) return;
  const POINT& top = a.y < b.y ? a : b;
  const POINT& bottom = a.y < b.y ? b : a;
  if (std::min(top.x, bottom.x) >= surface.width) return;
  Edge e;
  e.firstRow = std::max<int64_t>(top.y, 0);
  e.endRow = std::min<int64_t>(bottom.y, surface.height);
  if (e.firstRow >= e.endRow) return;
  const int64_t height = static_cast<int64_t>(bottom.y) - top.y;
  const int64_t dx = static_cast<int64_t>(bottom.x) - top.x;
  // Crossing on row y: topX + (y - topY) dx / height; its column is the ceiling of that.
  const Wide start = static_cast<Wide>(e.firstRow - top.y) * dx;
  const Stepper s = MakeStepper(start, dx, height);
  e.topX = top.x;
  e.quotient = s.quotient;
  e.remainder = s.remainder;
  e.denominator = s.denominator;
  e.stepQuotient = s.stepQuotient;
  e.stepRemainder = s.stepRemainder;
  e.column = 0;
  edges.push_back(e);
}

void FillSpan(const Surface& surface, uint32_t* row, int64_t from, int64_t to, uint32_t pixel) {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, surface.width);
  if (from < to) FillPixels(row + from, static_cast<size_t>(to - from), pixel);
}

// Orders the active edges by column; they are nearly sorted from the previous scanline.
void SortActive(const std::vector<Edge>& edges, std::vector<uint32_t>& active) {
  for (size_t i = 1; i < active.size(); ++i) {
    const uint32_t moving = active[i];
    size_t j = i;
    while (j > 0 && edges[active[j - 1]].column > edges[moving].column) {
      active[j] = active[j - 1];
      --j;
    }
    active[j] = moving;
  }
}

// ---- Outline ----

// Plots the pixels of the segment from a (included) to b (excluded): one pixel per step along
// the major axis, the minor coordinate rounded to nearest, halves towards the lesser coordinate
// whichever way the segment runs (as the system's lines are drawn). Only the steps that land
// inside the surface along the major axis are visited.
void DrawSegment(const Surface& surface, const POINT& a, const POINT& b, uint32_t pixel) {
  const int64_t dx = static_cast<int64_t>(b.x) - a.x;
  const int64_t dy = static_cast<int64_t>(b.y) - a.y;
  if (dx == 0 && dy == 0) {
    if (a.x >= 0 && a.x < surface.width && a.y >= 0 && a.y < surface.height) Row(surface, a.y)[a.x] = pixel;
    return;
  }
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t major0 = xMajor ? a.x : a.y;
  const int64_t minor0 = xMajor ? a.y : a.x;
  const int64_t majorDelta = xMajor ? dx : dy;
  const int64_t minorDelta = xMajor ? dy : dx;
  const int64_t majorLimit = xMajor ? surface.width : surface.height;
  const int64_t minorLimit = xMajor ? surface.height : surface.width;
  const int64_t steps = majorDelta < 0 ? -majorDelta : majorDelta;
  const int64_t direction = majorDelta < 0 ? -1 : 1;
  int64_t first = 0;
  int64_t end = steps;
  if (direction > 0) {
    first = std::max<int64_t>(first, -major0);
    end = std::min<int64_t>(end, majorLimit - major0);
  } else {
    first = std::max<int64_t>(first, major0 - majorLimit + 1);
    end = std::min<int64_t>(end, major0 + 1);
  }
  if (first >= end) return;
  // minor(i) = minor0 + ceil(i minorDelta / steps - 1/2) = minor0 + floor((2 i minorDelta + steps - 1) / (2 steps))
  Stepper s = MakeStepper(static_cast<Wide>(2 * first) * minorDelta + steps - 1, 2 * minorDelta, 2 * steps);
  for (int64_t i = first; i < end; ++i) {
    const int64_t major = major0 + direction * i;
    const int64_t minor = minor0 + s.quotient;
    if (minor >= 0 && minor < minorLimit) {
      if (xMajor) {
        Row(surface, minor)[major] = pixel;
      } else {
        Row(surface, major)[minor] = pixel;
      }
    }
    Advance(s.quotient, s.remainder, s.stepQuotient, s.stepRemainder, s.denominator);
  }
}

// The column of an edge's crossing on its current scanline: the first pixel at or right of it.
int64_t CrossingColumn(int64_t topX, int64_t quotient, int64_t remainder) {
  return topX + quotient + (remainder > 0 ? 1 : 0);
}

// Fills the rows [y, until) between two edges that stay the only active ones throughout, and
// advances them to the scanline `until`, retiring neither. Between two edges the even-odd rule
// fills from the lesser column to the greater, whichever edge that is on each row, so this gives
// exactly what the general walk gives, without its sort and bookkeeping per scanline: most
// polygons (every convex one) spend nearly all their rows here.
void FillBetweenTwoEdges(const Surface& surface, Edge& a, Edge& b, int64_t y, int64_t until, uint32_t pixel) {
  int64_t aQuotient = a.quotient, aRemainder = a.remainder;
  int64_t bQuotient = b.quotient, bRemainder = b.remainder;
  for (;;) {
    const int64_t aColumn = CrossingColumn(a.topX, aQuotient, aRemainder);
    const int64_t bColumn = CrossingColumn(b.topX, bQuotient, bRemainder);
    FillSpan(surface, Row(surface, y), std::min(aColumn, bColumn), std::max(aColumn, bColumn), pixel);
    if (++y == until) break;
    Advance(aQuotient, aRemainder, a.stepQuotient, a.stepRemainder, a.denominator);
    Advance(bQuotient, bRemainder, b.stepQuotient, b.stepRemainder, b.denominator);
  }
  a.quotient = aQuotient, a.remainder = aRemainder;
  b.quotient = bQuotient, b.remainder = bRemainder;
}

// After the scanline y - 1: drops the active edges that end there and steps the others to y.
void StepActive(std::vector<Edge>& edges, std::vector<uint32_t>& active, int64_t y) {
  size_t kept = 0;
  for (uint32_t index : active) {
    Edge& e = edges[index];
    if (e.endRow <= y) continue;
    Advance(e.quotient, e.remainder, e.stepQuotient, e.stepRemainder, e.denominator);
    active[kept++] = index;
  }
  active.resize(kept);
}

}  // namespace

void FillSpanRect(const Surface& surface, int64_t left, int64_t top, int64_t right, int64_t bottom,
                  uint32_t pixel) {
  top = std::max<int64_t>(top, 0);
  bottom = std::min<int64_t>(bottom, surface.height);
  if (top >= bottom) return;
  // Whole rows of a gapless surface are one run of pixels: fill them in one go.
  if (left <= 0 && right >= surface.width && surface.stride == surface.width) {
    FillPixels(Row(surface, top), static_cast<size_t>(Row(surface, bottom) - Row(surface, top)), pixel);
    return;
  }
  for (int64_t y = top; y < bottom; ++y) FillSpan(surface, Row(surface, y), left, right, pixel);
}

void FillPolygon(const Surface& surface, const POINT* points, int count, uint32_t pixel,
                 EdgeTable& table) {
  if (count < 3 || surface.width <= 0 || surface.height <= 0) return;
  std::vector<Edge>& edges = table.edges;
  std::vector<uint32_t>& active = table.active;
  edges.clear();
  active.clear();
  const size_t n = static_cast<size_t>(count);
  edges.reserve(n);
  active.reserve(n);

  // Build: every visible edge, top to bottom, ordered by first scanline.
  for (size_t i = 0; i < n; ++i) AddEdge(surface, points[i], points[(i + 1) % n], edges);
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(),
            [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });

  // Walk the scanlines that some edge crosses.
  size_t next = 0;
  int64_t y = edges[0].firstRow;
  while (next < edges.size() || !active.empty()) {
    if (active.empty()) y = edges[next].firstRow;
    while (next < edges.size() && edges[next].firstRow == y) active.push_back(static_cast<uint32_t>(next++));
    if (active.size() == 2) {
      // Two edges until one of them ends or another begins.
      Edge& a = edges[active[0]];
      Edge& b = edges[active[1]];
      const int64_t nextStart = next < edges.size() ? edges[next].firstRow : INT64_MAX;
      const int64_t until = std::min({a.endRow, b.endRow, nextStart});
      FillBetweenTwoEdges(surface, a, b, y, until, pixel);
      y = until;
      StepActive(edges, active, y);
      continue;
    }
    for (uint32_t index : active) {
      Edge& e = edges[index];
      e.column = CrossingColumn(e.topX, e.quotient, e.remainder);
    }
    SortActive(edges, active);

    // Fill between pairs of crossings; an unpaired last one pairs with an edge beyond the border.
    uint32_t* row = Row(surface, y);
    for (size_t i = 0; i < active.size(); i += 2) {
      const int64_t from = edges[active[i]].column;
      const int64_t to = i + 1 < active.size() ? edges[active[i + 1]].column : surface.width;
      FillSpan(surface, row, from, to, pixel);
    }

    // Step to the next scanline, retiring edges that end here.
    ++y;
    StepActive(edges, active, y);
  }
}

void DrawOutline(const Surface& surface, const POINT* points, int count, uint32_t pixel) {
  if (count < 1 || surface.width <= 0 || surface.height <= 0) return;
  const size_t n = static_cast<size_t>(count);
  for (size_t i = 0; i < n; ++i) DrawSegment(surface, points[i], points[(i + 1) % n], pixel);
}

// Damage rectangles: intersections, bounding unions and the bound of a remainder.
#include "platform/portable/damage.h"

#include <algorithm>

namespace {

bool tracking = true;

}  // namespace

bool IsEmpty(const DamageRect& rect) { return rect.left >= rect.right || rect.top >= rect.bottom; }

DamageRect Intersection(const DamageRect& a, const DamageRect& b) {
  return DamageRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
}

DamageRect BoundingUnion(const DamageRect& a, const DamageRect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return DamageRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                    std::max(a.bottom, b.bottom)};
}

DamageRect BoundOfRemainder(const DamageRect& area, const DamageRect& cut) {
  if (IsEmpty(area) || IsEmpty(Intersection(area, cut))) return area;
  const bool spansColumns = cut.left <= area.left && cut.right >= area.right;
  const bool spansRows = cut.top <= area.top && cut.bottom >= area.bottom;
  if (spansColumns && spansRows) return DamageRect{};
  DamageRect rest = area;
  // A cut across the whole width leaves the rows above or below it; one across the whole height
  // the columns beside it. Only a cut at one end leaves a single band.
  if (spansColumns) {
    if (cut.top <= area.top) rest.top = cut.bottom;
    else if (cut.bottom >= area.bottom) rest.bottom = cut.top;
  } else if (spansRows) {
    if (cut.left <= area.left) rest.left = cut.right;
    else if (cut.right >= area.right) rest.right = cut.left;
  }
  return rest;
}

DamageRect Shifted(const DamageRect& rect, int64_t dx, int64_t dy) {
  return DamageRect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

void SetDamageTracking(bool on) { tracking = on; }
bool DamageTracking() { return tracking; }

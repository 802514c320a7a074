// Damage rectangles: intersections, bounding unions, the bound of a remainder, and small sets.
#include "platform/portable/gdi/damage.h"

#include <algorithm>

#include "platform/portable/test_seam.h"

namespace {

// Two rectangles merge when their bound wastes at most 1/kMergeWasteShare of their area.
constexpr int64_t kMergeWasteShare = 8;

int64_t Area(const DamageRect& rect) { return IsEmpty(rect) ? 0 : (rect.right - rect.left) * (rect.bottom - rect.top); }

// What merging two rectangles into their bound adds beyond what the two cover.
int64_t MergeCost(const DamageRect& a, const DamageRect& b) {
  return Area(BoundingUnion(a, b)) - Area(a) - Area(b) + Area(Intersection(a, b));
}

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

void AddDamage(Damage& damage, const DamageRect& rect) {
  if (IsEmpty(rect)) return;
  DamageRect merged = rect;
  // Rectangles whose bound adds little (the same object a frame later, faces of one object) become
  // one; the grown one may now be close to others, so the search starts again. Objects that merely
  // overlap stay apart, or a cascade of merges would leave one bound around them all.
  for (int i = 0; i < damage.count;) {
    if (MergeCost(merged, damage.rects[i]) * kMergeWasteShare <= Area(merged) + Area(damage.rects[i])) {
      merged = BoundingUnion(merged, damage.rects[i]);
      damage.rects[i] = damage.rects[--damage.count];
      i = 0;
    } else {
      ++i;
    }
  }
  if (damage.count < kMaxDamageRects) {
    damage.rects[damage.count++] = merged;
    return;
  }
  int cheapest = 0;
  for (int i = 1; i < damage.count; ++i) {
    if (MergeCost(merged, damage.rects[i]) < MergeCost(merged, damage.rects[cheapest])) cheapest = i;
  }
  damage.rects[cheapest] = BoundingUnion(damage.rects[cheapest], merged);
}

Damage DamageOutside(const Damage& damage, const DamageRect& cut) {
  Damage rest;
  for (int i = 0; i < damage.count; ++i) AddDamage(rest, BoundOfRemainder(damage.rects[i], cut));
  return rest;
}

void AddDamageWithin(Damage& into, const Damage& damage, const DamageRect& clip, int64_t dx, int64_t dy) {
  for (int i = 0; i < damage.count; ++i) AddDamage(into, Shifted(Intersection(damage.rects[i], clip), dx, dy));
}

DamageRect DamageBounds(const Damage& damage) {
  DamageRect bounds;
  for (int i = 0; i < damage.count; ++i) bounds = BoundingUnion(bounds, damage.rects[i]);
  return bounds;
}

bool DamageTracking() { return SwitchOn(Seam::Switch::DamageTracking); }

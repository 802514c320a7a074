// Damage: a few rectangles per surface that together bound every pixel that may differ from
// black, so that clearing, copying and showing touch only what can have changed.
#pragma once

#include <cstdint>

// [left, right) x [top, bottom); empty when either side is not positive.
struct DamageRect {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;
};

bool IsEmpty(const DamageRect& rect);
DamageRect Intersection(const DamageRect& a, const DamageRect& b);
// The smallest rectangle holding both; an empty one adds nothing.
DamageRect BoundingUnion(const DamageRect& a, const DamageRect& b);
// A bound of what is left of `area` once `cut` is taken away: exact when the cut spans the area
// along one axis, the whole area otherwise.
DamageRect BoundOfRemainder(const DamageRect& area, const DamageRect& cut);
DamageRect Shifted(const DamageRect& rect, int64_t dx, int64_t dy);

// Up to kMaxDamageRects rectangles, which may overlap; a new one whose bound with one of them adds
// little, or that no room is left for, is merged into it, so nine objects keep nine bounds rather
// than one around them all.
constexpr int kMaxDamageRects = 16;
struct Damage {
  int count = 0;
  DamageRect rects[kMaxDamageRects];
};

void AddDamage(Damage& damage, const DamageRect& rect);
// A bound of what is left of the damage once `cut` is taken away.
Damage DamageOutside(const Damage& damage, const DamageRect& cut);
// Adds the damage's parts within `clip`, moved by (dx, dy).
void AddDamageWithin(Damage& into, const Damage& damage, const DamageRect& clip, int64_t dx, int64_t dy);
DamageRect DamageBounds(const Damage& damage);

// Whether drawing uses the bounds (Seam::Switch::DamageTracking). Off, every surface counts as
// damaged all over and each call clears, copies and shows all it is asked to, as without
// tracking; the bounds are kept either way. Tests compare the two.
bool DamageTracking();

// Painter's order: a table-driven horizontal distance and the depth sort built on it.
#pragma once

#include <cstdint>

#include "geometry/types.h"

// About ten times the length of the vector (a, b), from the slope and fine sine tables.
int32_t Hypotenuse(int32_t a, int32_t b);

// 1 when q is strictly nearer the viewer than p (by the key Hypotenuse(x, -z)), else 0.
int32_t CompareDepth(const Vertex& p, const Vertex& q);

// Shell sort, gaps 9, 5, 3, 2, 1, farthest first; the order of equal keys is part of the behaviour.
void SortByDepth(DepthRecord* records, int32_t count);

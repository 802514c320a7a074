// Turning a point about one axis by a whole number of degrees, in 32-bit fixed point.
#pragma once

#include "geometry/types.h"

// Turns point in place about axis by the angle that angleIndex stands for (index - 360 degrees),
// with the 1/128 tables: x' = (x*C - y*S) >> 7 and so on, flooring. Within the design's limits
// (index 0..719, |coordinate| <= 8,388,607) the result is exact to the design; outside them the
// index is clamped into the table and the arithmetic wraps instead of overflowing.
void RotatePoint(Vertex& point, int32_t angleIndex, AxisCode axis);
